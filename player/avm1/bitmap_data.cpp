// flash.display.BitmapData: a picture of 32-bit pixels the scripts read and write. Pixels are
// kept premultiplied by their alpha, as the reference player keeps them, so a colour read back
// shows the same rounding there; an opaque picture keeps its colours whole with alpha 255.
// A method on a disposed picture, or on an object that is none, answers -1.

#include "bitmap_data.h"
#include "filters.h"
#include "perlin_noise.h"

#include "runtime.h"
#include "swf/image.h"

#include "render/effects.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace fw::avm1 {

std::uint32_t Premultiply(std::uint32_t argb) {
    std::uint32_t a = argb >> 24;
    if (a == 255) {
        return argb;
    }
    if (a == 0) {
        return 0;
    }
    auto ch = [&](int shift) { return ((((argb >> shift) & 255) * a + 127) / 255) << shift; };
    return a << 24 | ch(16) | ch(8) | ch(0);
}

std::uint32_t Unpremultiply(std::uint32_t p) {
    std::uint32_t a = p >> 24;
    if (a == 255 || a == 0) {
        return a == 0 ? 0 : p;
    }
    auto ch = [&](int shift) {
        return std::min<std::uint32_t>(255, (((p >> shift) & 255) * 255 + a / 2) / a) << shift;
    };
    return a << 24 | ch(16) | ch(8) | ch(0);
}

std::uint32_t Bitmap::Stored(std::uint32_t argb) const {
    return transparent ? Premultiply(argb) : argb | 0xFF000000u;
}

Bitmap* BitmapOf(const Value& v) {
    Object* o = v.object();
    auto* b = o && o->host ? dynamic_cast<Bitmap*>(o->host.get()) : nullptr;
    return b && !b->disposed ? b : nullptr;
}

namespace {

struct Rect {
    int x = 0, y = 0, w = 0, h = 0;
};

int Int(Runtime& rt, const Value& v) {
    return ToInt32(rt.ToNum(v));
}

Rect ReadRect(Runtime& rt, const Value& v) {
    return {Int(rt, rt.Get(v, "x")), Int(rt, rt.Get(v, "y")), Int(rt, rt.Get(v, "width")),
            Int(rt, rt.Get(v, "height"))};
}

Value GeomClass(Runtime& rt, const char* name) {
    return rt.Get(rt.Get(rt.Get(Value(rt.global()), "flash"), "geom"), name);
}

Value NewRect(Runtime& rt, double x, double y, double w, double h) {
    return rt.Construct(GeomClass(rt, "Rectangle"), {Value(x), Value(y), Value(w), Value(h)});
}

Value ClassOf(Runtime& rt) {
    return rt.Get(rt.Get(rt.Get(Value(rt.global()), "flash"), "display"), "BitmapData");
}

// A new picture of the class the global path names now.
Object* NewBitmap(Runtime& rt, int w, int h, bool transparent) {
    Object* o = rt.NewObject(rt.Get(ClassOf(rt), "prototype").object());
    auto b = std::make_unique<Bitmap>();
    b->width = w;
    b->height = h;
    b->transparent = transparent;
    b->px.assign(static_cast<std::size_t>(w) * h, 0);
    o->host = std::move(b);
    return o;
}

bool ValidSize(int version, double w, double h) {
    if (!(w >= 1 && h >= 1)) {
        return false;
    }
    if (version <= 9) {
        return w <= 2880 && h <= 2880;
    }
    return w <= 8191 && h <= 8191 && w * h < 16777216;
}

// The part of a w x h copy from (sx, sy) in src to (dx, dy) in dst that lies in both.
bool ClipCopy(const Bitmap& src, const Bitmap& dst, int& sx, int& sy, int& dx, int& dy, int& w,
              int& h) {
    auto axis = [](int& s, int& d, int& n, int slimit, int dlimit) {
        if (s < 0) {
            n += s;
            d -= s;
            s = 0;
        }
        if (d < 0) {
            n += d;
            s -= d;
            d = 0;
        }
        n = std::min({n, slimit - s, dlimit - d});
        return n > 0;
    };
    return axis(sx, dx, w, src.width, dst.width) && axis(sy, dy, h, src.height, dst.height);
}

// What a method that moves pixels between pictures reads first: the source, its rectangle and
// the destination point, clipped to both pictures. The source is copied: it may be the
// destination.
struct Area {
    Bitmap* src = nullptr;
    Rect asked;
    int sx = 0, sy = 0, dx = 0, dy = 0, w = 0, h = 0;
    std::vector<std::uint32_t> copy;

    // Calls f(x, y, source pixel, destination pixel) over the area, x and y from its corner.
    template <typename F> void ForEach(Bitmap& dst, F&& f) const {
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                f(x, y, copy[static_cast<std::size_t>(sy + y) * src->width + sx + x],
                  dst.At(dx + x, dy + y));
            }
        }
    }
};

// Null when the arguments name no area or nothing of it lies in both pictures.
std::optional<Area> ReadArea(Runtime& rt, const Bitmap& dst, const std::vector<Value>& args) {
    Area a;
    a.src = BitmapOf(Arg(args, 0));
    if (!a.src || !Arg(args, 1).isObject()) {
        return std::nullopt;
    }
    // A point that is none reads as (0, 0).
    a.asked = ReadRect(rt, args[1]);
    a.dx = Int(rt, rt.Get(Arg(args, 2), "x"));
    a.dy = Int(rt, rt.Get(Arg(args, 2), "y"));
    a.sx = a.asked.x, a.sy = a.asked.y, a.w = a.asked.w, a.h = a.asked.h;
    if (!ClipCopy(*a.src, dst, a.sx, a.sy, a.dx, a.dy, a.w, a.h)) {
        return std::nullopt;
    }
    a.copy = a.src->px;
    return a;
}

Value Construct(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    Object* o = self.object();
    double w = rt.ToNum(Arg(args, 0));
    double h = rt.ToNum(Arg(args, 1));
    bool transparent = Arg(args, 2).isUndefined() ? true : rt.ToBool(Arg(args, 2));
    std::uint32_t fill = Arg(args, 3).isUndefined() ? 0xFFFFFFFFu : ToUint32(rt.ToNum(args[3]));
    if (!o || !ValidSize(rt.version(), std::trunc(w), std::trunc(h))) {
        rt.constructFailed = true;
        return Value();
    }
    auto b = std::make_unique<Bitmap>();
    b->width = static_cast<int>(w);
    b->height = static_cast<int>(h);
    b->transparent = transparent;
    b->px.assign(static_cast<std::size_t>(b->width) * b->height, b->Stored(fill));
    o->host = std::move(b);
    return Value();
}

Value GetWidth(Runtime&, Activation&, Value self, std::vector<Value>&) {
    Bitmap* b = BitmapOf(self);
    return Value(b ? b->width : -1);
}

Value GetHeight(Runtime&, Activation&, Value self, std::vector<Value>&) {
    Bitmap* b = BitmapOf(self);
    return Value(b ? b->height : -1);
}

Value GetTransparent(Runtime&, Activation&, Value self, std::vector<Value>&) {
    Bitmap* b = BitmapOf(self);
    return b ? Value(b->transparent) : Value(-1);
}

Value GetRectangle(Runtime& rt, Activation&, Value self, std::vector<Value>&) {
    Bitmap* b = BitmapOf(self);
    return b ? NewRect(rt, 0, 0, b->width, b->height) : Value(-1);
}

Value GetPixel32(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    Bitmap* b = BitmapOf(self);
    if (!b) {
        return Value(-1);
    }
    int x = Int(rt, Arg(args, 0));
    int y = Int(rt, Arg(args, 1));
    if (!b->Inside(x, y)) {
        return Value(0);
    }
    return Value(static_cast<double>(static_cast<std::int32_t>(Unpremultiply(b->At(x, y)))));
}

Value GetPixel(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    Bitmap* b = BitmapOf(self);
    if (!b) {
        return Value(-1);
    }
    int x = Int(rt, Arg(args, 0));
    int y = Int(rt, Arg(args, 1));
    if (!b->Inside(x, y)) {
        return Value(0);
    }
    return Value(static_cast<double>(Unpremultiply(b->At(x, y)) & 0xFFFFFF));
}

template <bool WithAlpha>
Value SetPixel(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    Bitmap* b = BitmapOf(self);
    if (!b) {
        return Value(-1);
    }
    int x = Int(rt, Arg(args, 0));
    int y = Int(rt, Arg(args, 1));
    std::uint32_t c = ToUint32(rt.ToNum(Arg(args, 2)));
    if (b->Inside(x, y)) {
        if (!WithAlpha) {
            c = (Unpremultiply(b->At(x, y)) & 0xFF000000u) | (c & 0xFFFFFF);
        }
        b->At(x, y) = b->Stored(c);
    }
    return Value();
}

Value FillRect(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    Bitmap* b = BitmapOf(self);
    if (!b) {
        return Value(-1);
    }
    if (!Arg(args, 0).isObject()) {
        return Value();
    }
    Rect r = ReadRect(rt, args[0]);
    std::uint32_t c = b->Stored(ToUint32(rt.ToNum(Arg(args, 1))));
    int x0 = std::max(r.x, 0), y0 = std::max(r.y, 0);
    int x1 = std::min<long long>(static_cast<long long>(r.x) + r.w, b->width);
    int y1 = std::min<long long>(static_cast<long long>(r.y) + r.h, b->height);
    for (int y = y0; y < y1; ++y) {
        for (int x = x0; x < x1; ++x) {
            b->At(x, y) = c;
        }
    }
    return Value();
}

// Source over destination, both premultiplied.
std::uint32_t Over(std::uint32_t s, std::uint32_t d) {
    std::uint32_t keep = 255 - (s >> 24);
    std::uint32_t out = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        std::uint32_t v = ((s >> shift) & 255) + ((d >> shift) & 255) * keep / 255;
        out |= std::min<std::uint32_t>(v, 255) << shift;
    }
    return out;
}

// Scales a premultiplied pixel by an alpha.
std::uint32_t Fade(std::uint32_t p, std::uint32_t alpha) {
    std::uint32_t out = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        out |= (((p >> shift) & 255) * alpha + 127) / 255 << shift;
    }
    return out;
}

// Copies a source pixel (premultiplied) into the destination as copyPixels and draw do.
void Put(const Bitmap& dst, std::uint32_t& d, std::uint32_t s, bool merge) {
    // An opaque picture has no alpha to take the source's, so the source always lands over it.
    std::uint32_t v = merge || !dst.transparent ? Over(s, d) : s;
    d = dst.transparent ? v : v | 0xFF000000u;
}

Value CopyPixels(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    Bitmap* dst = BitmapOf(self);
    if (!dst) {
        return Value(-1);
    }
    auto area = ReadArea(rt, *dst, args);
    if (!area) {
        return Value();
    }
    Bitmap* alpha = BitmapOf(Arg(args, 3));
    int ax = 0, ay = 0;
    if (alpha && Arg(args, 4).isObject()) {
        ax = Int(rt, rt.Get(args[4], "x")) + area->sx - area->asked.x;
        ay = Int(rt, rt.Get(args[4], "y")) + area->sy - area->asked.y;
    }
    bool merge = rt.ToBool(Arg(args, 5));
    area->ForEach(*dst, [&](int x, int y, std::uint32_t s, std::uint32_t& d) {
        if (alpha) {
            s = Fade(s, alpha->Inside(ax + x, ay + y) ? alpha->At(ax + x, ay + y) >> 24 : 0);
        }
        Put(*dst, d, s, merge);
    });
    return Value();
}

int ChannelShift(std::uint32_t channel) {
    switch (channel) {
    case 1:
        return 16;
    case 2:
        return 8;
    case 4:
        return 0;
    case 8:
        return 24;
    default:
        return -1;
    }
}

Value CopyChannel(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    Bitmap* dst = BitmapOf(self);
    if (!dst) {
        return Value(-1);
    }
    auto area = ReadArea(rt, *dst, args);
    int from = ChannelShift(ToUint32(rt.ToNum(Arg(args, 3))));
    int to = ChannelShift(ToUint32(rt.ToNum(Arg(args, 4))));
    if (!area || from < 0 || to < 0) {
        return Value();
    }
    area->ForEach(*dst, [&](int, int, std::uint32_t s, std::uint32_t& d) {
        std::uint32_t v = (Unpremultiply(s) >> from) & 255;
        d = dst->Stored((Unpremultiply(d) & ~(255u << to)) | v << to);
    });
    return Value();
}

Value Clone(Runtime& rt, Activation&, Value self, std::vector<Value>&) {
    Bitmap* b = BitmapOf(self);
    if (!b) {
        return Value(-1);
    }
    Object* o = NewBitmap(rt, b->width, b->height, b->transparent);
    static_cast<Bitmap*>(o->host.get())->px = b->px;
    return Value(o);
}

Value Dispose(Runtime&, Activation&, Value self, std::vector<Value>&) {
    Bitmap* b = BitmapOf(self);
    if (!b) {
        return Value(-1);
    }
    b->disposed = true;
    b->px = {};
    return Value();
}

Value Compare(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    Bitmap* a = BitmapOf(self);
    if (!a) {
        return Value(-1);
    }
    Bitmap* b = BitmapOf(Arg(args, 0));
    if (!b) {
        return Value(-2);
    }
    if (a->width != b->width) {
        return Value(-3);
    }
    if (a->height != b->height) {
        return Value(-4);
    }
    std::vector<std::uint32_t> diff(a->px.size());
    bool same = true;
    for (std::size_t i = 0; i < diff.size(); ++i) {
        std::uint32_t p = Unpremultiply(a->px[i]), q = Unpremultiply(b->px[i]);
        if ((p & 0xFFFFFF) != (q & 0xFFFFFF)) {
            std::uint32_t out = 0xFF000000u;
            for (int shift = 0; shift < 24; shift += 8) {
                out |= ((((p >> shift) & 255) - ((q >> shift) & 255)) & 255) << shift;
            }
            diff[i] = out;
        } else if ((p >> 24) != (q >> 24)) {
            diff[i] = (((p >> 24) - (q >> 24)) & 255) << 24 | 0xFFFFFF;
        } else {
            continue;
        }
        same = false;
    }
    if (same) {
        return Value(0);
    }
    Object* o = NewBitmap(rt, a->width, a->height, true);
    auto* out = static_cast<Bitmap*>(o->host.get());
    for (std::size_t i = 0; i < diff.size(); ++i) {
        out->px[i] = Premultiply(diff[i]);
    }
    return Value(o);
}

// Reads {x, y} of a point given to hitTest: both must be the object's own.
bool OwnPoint(Runtime& rt, const Value& v, int& x, int& y) {
    Object* o = v.object();
    if (!o || !o->FindOwn("x") || !o->FindOwn("y")) {
        return false;
    }
    x = Int(rt, rt.Get(v, "x"));
    y = Int(rt, rt.Get(v, "y"));
    return true;
}

Value HitTest(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    Bitmap* b = BitmapOf(self);
    if (!b) {
        return Value(-1);
    }
    int px = 0, py = 0;
    if (!OwnPoint(rt, Arg(args, 0), px, py)) {
        return Value(-2);
    }
    std::uint32_t threshold = ToUint32(rt.ToNum(Arg(args, 1))) & 255;
    Value second = Arg(args, 2);
    Object* so = second.object();
    auto alphaAt = [](const Bitmap& m, int x, int y) { return m.At(x, y) >> 24; };
    if (so && so->host && dynamic_cast<Bitmap*>(so->host.get())) {
        Bitmap* other = BitmapOf(second);
        if (!other) {
            return Value(-3);
        }
        int qx = 0, qy = 0;
        if (!OwnPoint(rt, Arg(args, 3), qx, qy)) {
            return Value(-4);
        }
        std::uint32_t threshold2 = ToUint32(rt.ToNum(Arg(args, 4))) & 255;
        for (int y = 0; y < b->height; ++y) {
            for (int x = 0; x < b->width; ++x) {
                int ox = x + px - qx, oy = y + py - qy;
                if (other->Inside(ox, oy) && alphaAt(*b, x, y) >= threshold &&
                    alphaAt(*other, ox, oy) >= threshold2) {
                    return Value(true);
                }
            }
        }
        return Value(false);
    }
    if (so && so->FindOwn("x") && so->FindOwn("y") && so->FindOwn("width") &&
        so->FindOwn("height")) {
        Rect r = ReadRect(rt, second);
        int x0 = std::max(r.x - px, 0), y0 = std::max(r.y - py, 0);
        int x1 = std::min(r.x - px + r.w, b->width), y1 = std::min(r.y - py + r.h, b->height);
        for (int y = y0; y < y1; ++y) {
            for (int x = x0; x < x1; ++x) {
                if (alphaAt(*b, x, y) >= threshold) {
                    return Value(true);
                }
            }
        }
        return Value(false);
    }
    int qx = 0, qy = 0;
    if (!OwnPoint(rt, second, qx, qy)) {
        return Value(-3);
    }
    qx -= px;
    qy -= py;
    if (!b->Inside(qx, qy)) {
        return Value(false);
    }
    std::uint32_t a = alphaAt(*b, qx, qy);
    return Value(a != 0 && a >= threshold);
}

// The reference player's random numbers: the minimal standard Lehmer generator.
struct Lehmer {
    std::uint32_t state;
    explicit Lehmer(double seed) {
        // Seeds below 1 count up from 1: 0 is 1, -1 is 2.
        std::int64_t s = ToInt32(seed);
        s = s > 0 ? s : 1 - s;
        state = static_cast<std::uint32_t>(s % 2147483647 == 0 ? 1 : s % 2147483647);
    }
    std::uint32_t Next() {
        state = static_cast<std::uint32_t>(static_cast<std::uint64_t>(state) * 16807 % 2147483647);
        return state;
    }
};

Value Noise(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    Bitmap* b = BitmapOf(self);
    if (!b) {
        return Value(-1);
    }
    Lehmer rng(rt.ToNum(Arg(args, 0)));
    std::uint32_t low = Arg(args, 1).isUndefined() ? 0 : ToUint32(rt.ToNum(args[1])) & 255;
    std::uint32_t high = Arg(args, 2).isUndefined() ? 255 : ToUint32(rt.ToNum(args[2])) & 255;
    std::uint32_t channels = Arg(args, 3).isUndefined() ? 7 : ToUint32(rt.ToNum(args[3]));
    bool gray = rt.ToBool(Arg(args, 4));
    auto value = [&]() -> std::uint32_t {
        if (high < low) {
            return low;
        }
        return low + rng.Next() % (high - low + 1);
    };
    for (auto& p : b->px) {
        std::uint32_t c = 0;
        if (gray) {
            std::uint32_t v = value();
            c = v << 16 | v << 8 | v;
        } else {
            for (int bit = 0; bit < 3; ++bit) {
                if (channels & (1u << bit)) {
                    c |= value() << (16 - 8 * bit);
                }
            }
        }
        std::uint32_t a = (channels & 8) && b->transparent ? value() : 255;
        p = b->Stored(a << 24 | c);
    }
    return Value();
}

Value PerlinNoiseMethod(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    Bitmap* b = BitmapOf(self);
    if (!b) {
        return Value(-1);
    }
    PerlinOptions o;
    o.baseX = rt.ToNum(Arg(args, 0));
    o.baseY = rt.ToNum(Arg(args, 1));
    o.octaves = ToInt32(rt.ToNum(Arg(args, 2)));
    o.seed = ToInt32(rt.ToNum(Arg(args, 3)));
    o.stitch = rt.ToBool(Arg(args, 4));
    o.fractal = rt.ToBool(Arg(args, 5));
    o.channels = Arg(args, 6).isUndefined() ? 7 : ToUint32(rt.ToNum(args[6]));
    o.gray = rt.ToBool(Arg(args, 7));
    if (Value list = Arg(args, 8); list.isObject()) {
        int count = std::clamp(Int(rt, rt.Get(list, "length")), 0, std::max(o.octaves, 0));
        for (int i = 0; i < count; ++i) {
            Value point = rt.Get(list, std::to_string(i));
            o.offsets.emplace_back(rt.ToNum(rt.Get(point, "x")), rt.ToNum(rt.Get(point, "y")));
        }
    }
    std::vector<std::uint32_t> pixels = PerlinNoise(b->width, b->height, b->transparent, o);
    for (std::size_t i = 0; i < pixels.size() && i < b->px.size(); ++i) {
        // The reference player keeps the noise's colours as they come, unscaled by its alpha,
        // so they show brighter than the same colour set by a script. A colour above its alpha
        // is no premultiplied colour; held at the alpha it shows the same over white.
        std::uint32_t p = pixels[i];
        std::uint32_t a = b->transparent ? p >> 24 : 255;
        auto ch = [&](int shift) { return std::min((p >> shift) & 255, a) << shift; };
        b->px[i] = a << 24 | ch(16) | ch(8) | ch(0);
    }
    return Value();
}

// A fixed shuffle of the 2^bits numbers below 2^bits: an odd multiple, an added odd number and
// folding the high half onto the low one are each undone modulo 2^bits.
std::uint32_t Shuffle(std::uint32_t n, int bits) {
    std::uint32_t mask = (1u << bits) - 1;
    n = (n * 0x2C1B3C6Du + 0x297A2D39u) & mask;
    return n ^ (n >> ((bits + 1) / 2));
}

// Writes the fill colour (or, from another picture, its pixels) over the count next pixels of a
// shuffled walk through the area; the walk goes on from the seed, whose next value is returned,
// so repeated calls with it cover every pixel once before any is written again. The area's first
// pixel is written on every call.
Value PixelDissolve(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    Bitmap* dst = BitmapOf(self);
    if (!dst || !BitmapOf(Arg(args, 0))) {
        return Value(-1);
    }
    if (!Arg(args, 1).isObject()) {
        return Value(-4);
    }
    if (args.size() < 5) {
        return Value(0);
    }
    std::int64_t seed = Int(rt, args[3]);
    std::int64_t count = Int(rt, args[4]);
    std::uint32_t fill = dst->Stored(ToUint32(rt.ToNum(Arg(args, 5))));
    auto area = ReadArea(rt, *dst, args);
    if (!area || count < 0) {
        return Value(0);
    }
    bool own = area->src == dst;
    std::int64_t size = static_cast<std::int64_t>(area->w) * area->h;
    auto put = [&](std::int64_t i) {
        int x = static_cast<int>(i % area->w);
        int y = static_cast<int>(i / area->w);
        dst->At(area->dx + x, area->dy + y) =
            own ? fill
                : area->copy[static_cast<std::size_t>(area->sy + y) * area->src->width + area->sx +
                             x];
    };
    put(0);
    int bits = 2;
    while ((std::int64_t{1} << bits) < size) {
        bits += 2;
    }
    std::int64_t period = std::int64_t{1} << bits;
    std::int64_t walk = ((seed % period) + period) % period;
    count = std::min(count, size);
    for (std::int64_t n = 0; n < count && size > 1; ++n) {
        std::int64_t i = 0;
        for (std::int64_t tries = 0; (i == 0 || i >= size) && tries <= period; ++tries) {
            walk = (walk + 1) % period;
            i = Shuffle(static_cast<std::uint32_t>(walk), bits);
        }
        if (i > 0 && i < size) {
            put(i);
        }
    }
    return Value(static_cast<double>(walk));
}

bool Compares(const std::string& op, std::uint32_t a, std::uint32_t b) {
    if (op == "<") {
        return a < b;
    }
    if (op == "<=") {
        return a <= b;
    }
    if (op == ">") {
        return a > b;
    }
    if (op == ">=") {
        return a >= b;
    }
    if (op == "==") {
        return a == b;
    }
    return a != b;
}

Value Threshold(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    Bitmap* dst = BitmapOf(self);
    if (!dst) {
        return Value(-1);
    }
    auto area = ReadArea(rt, *dst, args);
    std::string op = rt.ToStr(Arg(args, 3));
    static const char* kOps[] = {"<", "<=", ">", ">=", "==", "!="};
    if (!area ||
        std::none_of(std::begin(kOps), std::end(kOps), [&](const char* k) { return op == k; })) {
        return Value(0);
    }
    std::uint32_t threshold = ToUint32(rt.ToNum(Arg(args, 4)));
    std::uint32_t color = Arg(args, 5).isUndefined() ? 0 : ToUint32(rt.ToNum(args[5]));
    std::uint32_t mask = Arg(args, 6).isUndefined() ? 0xFFFFFFFFu : ToUint32(rt.ToNum(args[6]));
    bool copySource = rt.ToBool(Arg(args, 7));
    int count = 0;
    area->ForEach(*dst, [&](int, int, std::uint32_t s, std::uint32_t& d) {
        if (Compares(op, Unpremultiply(s) & mask, threshold & mask)) {
            d = dst->Stored(color);
            ++count;
        } else if (copySource) {
            d = dst->transparent ? s : s | 0xFF000000u;
        }
    });
    return Value(count);
}

Value FloodFill(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    Bitmap* b = BitmapOf(self);
    if (!b) {
        return Value(-1);
    }
    int x = Int(rt, Arg(args, 0)), y = Int(rt, Arg(args, 1));
    std::uint32_t c = b->Stored(ToUint32(rt.ToNum(Arg(args, 2))));
    if (!b->Inside(x, y) || b->At(x, y) == c) {
        return Value();
    }
    std::uint32_t from = b->At(x, y);
    std::vector<std::pair<int, int>> todo{{x, y}};
    while (!todo.empty()) {
        auto [cx, cy] = todo.back();
        todo.pop_back();
        if (!b->Inside(cx, cy) || b->At(cx, cy) != from) {
            continue;
        }
        b->At(cx, cy) = c;
        todo.insert(todo.end(), {{cx + 1, cy}, {cx - 1, cy}, {cx, cy + 1}, {cx, cy - 1}});
    }
    return Value();
}

Value ColorTransform(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    Bitmap* b = BitmapOf(self);
    if (!b) {
        return Value(-1);
    }
    if (!Arg(args, 0).isObject() || !Arg(args, 1).isObject()) {
        return Value();
    }
    Rect r = ReadRect(rt, args[0]);
    static const char* kNames[4][2] = {{"blueMultiplier", "blueOffset"},
                                       {"greenMultiplier", "greenOffset"},
                                       {"redMultiplier", "redOffset"},
                                       {"alphaMultiplier", "alphaOffset"}};
    double mult[4], add[4];
    for (int i = 0; i < 4; ++i) {
        mult[i] = rt.ToNum(rt.Get(args[1], kNames[i][0]));
        add[i] = rt.ToNum(rt.Get(args[1], kNames[i][1]));
    }
    int x0 = std::max(r.x, 0), y0 = std::max(r.y, 0);
    int x1 = std::min(r.x + r.w, b->width), y1 = std::min(r.y + r.h, b->height);
    for (int y = y0; y < y1; ++y) {
        for (int x = x0; x < x1; ++x) {
            std::uint32_t p = Unpremultiply(b->At(x, y)), out = 0;
            for (int i = 0; i < 4; ++i) {
                double v = ((p >> (8 * i)) & 255) * mult[i] + add[i];
                v = std::isnan(v) ? 0 : std::clamp(v, 0.0, 255.0);
                out |= static_cast<std::uint32_t>(v) << (8 * i);
            }
            b->At(x, y) = b->Stored(out);
        }
    }
    return Value();
}

Value GetColorBoundsRect(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    Bitmap* b = BitmapOf(self);
    if (!b) {
        return Value(-1);
    }
    std::uint32_t mask = ToUint32(rt.ToNum(Arg(args, 0)));
    std::uint32_t color = ToUint32(rt.ToNum(Arg(args, 1)));
    bool find = Arg(args, 2).isUndefined() ? true : rt.ToBool(args[2]);
    int x0 = b->width, y0 = b->height, x1 = -1, y1 = -1;
    for (int y = 0; y < b->height; ++y) {
        for (int x = 0; x < b->width; ++x) {
            if (((Unpremultiply(b->At(x, y)) & mask) == (color & mask)) == find) {
                x0 = std::min(x0, x), y0 = std::min(y0, y);
                x1 = std::max(x1, x), y1 = std::max(y1, y);
            }
        }
    }
    if (x1 < 0) {
        return NewRect(rt, 0, 0, 0, 0);
    }
    return NewRect(rt, x0, y0, x1 - x0 + 1, y1 - y0 + 1);
}

Value Scroll(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    Bitmap* b = BitmapOf(self);
    if (!b) {
        return Value(-1);
    }
    int dx = Int(rt, Arg(args, 0)), dy = Int(rt, Arg(args, 1));
    std::vector<std::uint32_t> copy(b->px);
    for (int y = 0; y < b->height; ++y) {
        for (int x = 0; x < b->width; ++x) {
            int sx = x - dx, sy = y - dy;
            if (b->Inside(sx, sy)) {
                b->At(x, y) = copy[static_cast<std::size_t>(sy) * b->width + sx];
            }
        }
    }
    return Value();
}

Value Merge(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    Bitmap* dst = BitmapOf(self);
    if (!dst) {
        return Value(-1);
    }
    auto area = ReadArea(rt, *dst, args);
    if (!area) {
        return Value();
    }
    // Blue, green, red, alpha: the byte order of a pixel.
    const std::size_t which[4] = {5, 4, 3, 6};
    std::uint32_t m[4];
    for (int i = 0; i < 4; ++i) {
        m[i] = ToUint32(rt.ToNum(Arg(args, which[i]))) & 255;
    }
    area->ForEach(*dst, [&](int, int, std::uint32_t s, std::uint32_t& d) {
        std::uint32_t su = Unpremultiply(s), du = Unpremultiply(d), out = 0;
        for (int i = 0; i < 4; ++i) {
            std::uint32_t sc = (su >> (8 * i)) & 255, dc = (du >> (8 * i)) & 255;
            out |= ((sc * m[i] + dc * (256 - m[i])) / 256 & 255) << (8 * i);
        }
        d = dst->Stored(out);
    });
    return Value();
}

Value PaletteMap(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    Bitmap* dst = BitmapOf(self);
    if (!dst) {
        return Value(-1);
    }
    auto area = ReadArea(rt, *dst, args);
    if (!area) {
        return Value();
    }
    // Per channel (red, green, blue, alpha): 256 entries, or the channel as it is.
    std::vector<std::uint32_t> maps[4];
    const int shifts[4] = {16, 8, 0, 24};
    for (int i = 0; i < 4; ++i) {
        Object* a = Arg(args, 3 + i).object();
        maps[i].resize(256);
        for (std::uint32_t v = 0; v < 256; ++v) {
            maps[i][v] = a ? ToUint32(rt.ToNum(rt.Element(a, v))) : v << shifts[i];
        }
    }
    area->ForEach(*dst, [&](int, int, std::uint32_t s, std::uint32_t& d) {
        std::uint32_t su = Unpremultiply(s), out = 0;
        for (int i = 0; i < 4; ++i) {
            out += maps[i][(su >> shifts[i]) & 255];
        }
        d = dst->Stored(out);
    });
    return Value();
}

// Without a rasteriser only another picture can be drawn, moved by whole pixels.
Value Draw(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    Bitmap* dst = BitmapOf(self);
    if (!dst) {
        return Value(-1);
    }
    Bitmap* src = BitmapOf(Arg(args, 0));
    if (!src) {
        return Value();
    }
    double tx = 0, ty = 0;
    if (Object* m = Arg(args, 1).object()) {
        double a = rt.ToNum(rt.Get(Value(m), "a")), b = rt.ToNum(rt.Get(Value(m), "b"));
        double c = rt.ToNum(rt.Get(Value(m), "c")), d = rt.ToNum(rt.Get(Value(m), "d"));
        tx = rt.ToNum(rt.Get(Value(m), "tx"));
        ty = rt.ToNum(rt.Get(Value(m), "ty"));
        if (a != 1 || b != 0 || c != 0 || d != 1 || tx != std::round(tx) || ty != std::round(ty)) {
            return Value();
        }
    }
    Rect clip{0, 0, dst->width, dst->height};
    if (Arg(args, 4).isObject()) {
        Rect r = ReadRect(rt, args[4]);
        int x0 = std::max(r.x, 0), y0 = std::max(r.y, 0);
        clip = {x0, y0, std::min(r.x + r.w, dst->width) - x0,
                std::min(r.y + r.h, dst->height) - y0};
    }
    std::vector<std::uint32_t> copy(src->px);
    for (int y = clip.y; y < clip.y + clip.h; ++y) {
        for (int x = clip.x; x < clip.x + clip.w; ++x) {
            int sx = x - static_cast<int>(tx), sy = y - static_cast<int>(ty);
            if (src->Inside(sx, sy)) {
                Put(*dst, dst->At(x, y), copy[static_cast<std::size_t>(sy) * src->width + sx],
                    true);
            }
        }
    }
    return Value();
}

// The source's rectangle filtered into this picture at the point. What the filter spreads
// beyond the rectangle lands around the point too, as far as this picture reaches.
Value ApplyFilter(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    Bitmap* dst = BitmapOf(self);
    if (!dst) {
        return Value(-1);
    }
    Bitmap* src = BitmapOf(Arg(args, 0));
    auto filter = FilterRecord(Arg(args, 3));
    if (!src || !Arg(args, 1).isObject() || !filter) {
        return Value();
    }
    Rect r = ReadRect(rt, args[1]);
    int x0 = std::max(r.x, 0), y0 = std::max(r.y, 0);
    int x1 = static_cast<int>(std::min<long long>(static_cast<long long>(r.x) + r.w, src->width));
    int y1 = static_cast<int>(std::min<long long>(static_cast<long long>(r.y) + r.h, src->height));
    if (x0 >= x1 || y0 >= y1) {
        return Value();
    }
    render::Picture layer(x1 - x0, y1 - y0);
    for (int y = 0; y < layer.height; ++y) {
        for (int x = 0; x < layer.width; ++x) {
            layer.Row(y)[x] = src->At(x0 + x, y0 + y);
        }
    }
    render::Reach reach = render::FilterReach(*filter, 1, 1);
    render::Picture out = render::ApplyFilter(layer, *filter, 1, 1);
    long long dx =
        static_cast<long long>(Int(rt, rt.Get(Arg(args, 2), "x"))) + x0 - r.x - reach.left;
    long long dy =
        static_cast<long long>(Int(rt, rt.Get(Arg(args, 2), "y"))) + y0 - r.y - reach.top;
    for (int y = 0; y < out.height; ++y) {
        long long ty = dy + y;
        for (int x = 0; x < out.width && ty >= 0 && ty < dst->height; ++x) {
            long long tx = dx + x;
            if (tx >= 0 && tx < dst->width) {
                std::uint32_t p = out.Row(y)[x];
                dst->At(static_cast<int>(tx), static_cast<int>(ty)) =
                    dst->transparent ? p : Unpremultiply(p) | 0xFF000000u;
            }
        }
    }
    return Value();
}

// A bitmap of the movie's library, by the name it is exported under.
Value LoadBitmap(Runtime& rt, Activation&, Value, std::vector<Value>& args) {
    auto image = rt.display().ExportedBitmap(rt.ToStr(Arg(args, 0)));
    if (!image || image->width <= 0 || image->height <= 0 ||
        image->pixels.size() != static_cast<std::size_t>(image->width) * image->height) {
        return Value();
    }
    Object* o = NewBitmap(rt, image->width, image->height, true);
    BitmapOf(Value(o))->px = image->pixels; // the same premultiplied layout
    return Value(o);
}

} // namespace

void InstallBitmapData(Runtime& rt, Object* global) {
    // flash.geom.Rectangle, which rectangle answers with, is the colour classes' (installed
    // first).
    Object* display = Package(rt, global, "flash.display");
    Object* proto = rt.NewPlain();
    Object* bitmapData = rt.MakeClass("BitmapData", Construct, proto, display);
    rt.Method(bitmapData, "loadBitmap", LoadBitmap);
    Accessor(rt, proto, "width", GetWidth);
    Accessor(rt, proto, "height", GetHeight);
    Accessor(rt, proto, "transparent", GetTransparent);
    Accessor(rt, proto, "rectangle", GetRectangle);
    const std::pair<const char*, NativeFn> methods[] = {
        {"getPixel", GetPixel},
        {"getPixel32", GetPixel32},
        {"setPixel", SetPixel<false>},
        {"setPixel32", SetPixel<true>},
        {"fillRect", FillRect},
        {"copyPixels", CopyPixels},
        {"copyChannel", CopyChannel},
        {"clone", Clone},
        {"dispose", Dispose},
        {"compare", Compare},
        {"hitTest", HitTest},
        {"noise", Noise},
        {"perlinNoise", PerlinNoiseMethod},
        {"threshold", Threshold},
        {"floodFill", FloodFill},
        {"colorTransform", ColorTransform},
        {"getColorBoundsRect", GetColorBoundsRect},
        {"scroll", Scroll},
        {"merge", Merge},
        {"paletteMap", PaletteMap},
        {"draw", Draw},
        {"pixelDissolve", PixelDissolve},
        {"applyFilter", ApplyFilter},
    };
    for (const auto& [name, fn] : methods) {
        rt.Method(proto, name, fn);
    }
}

} // namespace fw::avm1
