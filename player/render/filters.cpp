// The filters a placement (or a script) puts on a layer. The ones that shade work on the
// layer's alpha as a plane of numbers 0..1: blurred by repeated boxes, shifted along the
// light's angle, strengthened, then coloured and put together with the layer.

#include "effects.h"
#include "gradient.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace fw::render {
namespace {

// What a blur of the file's numbers asks for, in pixels of the layer.
struct Blur {
    double radiusX = 0; // half the box, may be fractional
    double radiusY = 0;
    int passes = 0;
};

double Sane(double v, double lo, double hi, double fallback = 0) {
    return std::isfinite(v) ? std::clamp(v, lo, hi) : fallback;
}

double Number(const swf::Filter& f, std::size_t i) {
    return i < f.numbers.size() ? f.numbers[i] : 0.0;
}

double Scale(double s) {
    return Sane(s, 0, kMaxSide, 1);
}

Blur BlurOf(const swf::Filter& f, double scaleX, double scaleY) {
    Blur b;
    b.radiusX = std::min(Sane(Number(f, 0), 0, 255) * Scale(scaleX) / 2, double{kMaxSide});
    b.radiusY = std::min(Sane(Number(f, 1), 0, 255) * Scale(scaleY) / 2, double{kMaxSide});
    switch (f.id) {
    case 1:
        b.passes = f.flags >> 3;
        break;
    case 3:
    case 4:
    case 7:
        b.passes = f.flags & 0x0F;
        break;
    default:
        b.passes = f.flags & 0x1F;
        break;
    }
    b.passes = std::min(b.passes, 15);
    return b;
}

// The light's offset for the filters that have one, in whole pixels.
struct Offset {
    int x = 0;
    int y = 0;
};

Offset OffsetOf(const swf::Filter& f, double scaleX, double scaleY) {
    if (f.id != 0 && f.id != 3 && f.id != 4 && f.id != 7) {
        return {};
    }
    double angle = Sane(Number(f, 2), -1e6, 1e6);
    double distance = Sane(Number(f, 3), -kMaxSide, kMaxSide);
    double x = std::cos(angle) * distance * Scale(scaleX);
    double y = std::sin(angle) * distance * Scale(scaleY);
    return {static_cast<int>(std::lround(std::clamp(x, -double{kMaxSide}, double{kMaxSide}))),
            static_cast<int>(std::lround(std::clamp(y, -double{kMaxSide}, double{kMaxSide})))};
}

double Strength(const swf::Filter& f) {
    return Sane(Number(f, f.id == 2 ? 2 : 4), 0, 255);
}

int Spread(double radius, int passes) {
    return static_cast<int>(std::min<double>(kMaxSide, std::ceil(radius) * passes));
}

// A plane of numbers the size of the grown layer.
struct Plane {
    int width = 0;
    int height = 0;
    std::vector<float> v;
    Plane(int w, int h) : width(w), height(h), v(static_cast<std::size_t>(w) * h, 0.0f) {}
    float& At(int x, int y) { return v[static_cast<std::size_t>(y) * width + x]; }
    float At(int x, int y) const {
        return x < 0 || y < 0 || x >= width || y >= height
                   ? 0.0f
                   : v[static_cast<std::size_t>(y) * width + x];
    }
};

// One pass of a box 2r+1 wide (the outermost taps weighted by r's fraction) along count
// values spaced stride apart; nothing lies beyond the ends.
void BoxLine(float* line, int count, std::size_t stride, double radius, std::vector<double>& sum) {
    int whole = static_cast<int>(radius);
    double part = radius - whole;
    double norm = 1.0 / (2 * whole + 1 + 2 * part);
    sum.assign(static_cast<std::size_t>(count) + 1, 0.0);
    for (int i = 0; i < count; ++i) {
        sum[i + 1] = sum[i] + line[i * stride];
    }
    auto range = [&](long long from, long long to) { // sum of [from, to], clipped
        from = std::max<long long>(from, 0);
        to = std::min<long long>(to, count - 1);
        return from > to ? 0.0 : sum[to + 1] - sum[from];
    };
    auto tap = [&](long long i) { return i < 0 || i >= count ? 0.0 : double{line[i * stride]}; };
    std::vector<float> out(count);
    for (int i = 0; i < count; ++i) {
        double v = range(i - whole, i + whole);
        if (part > 0) {
            v += part * (tap(i - whole - 1) + tap(i + whole + 1));
        }
        out[i] = static_cast<float>(v * norm);
    }
    for (int i = 0; i < count; ++i) {
        line[i * stride] = out[i];
    }
}

void BlurPlane(Plane& p, const Blur& b) {
    std::vector<double> sum;
    for (int pass = 0; pass < b.passes; ++pass) {
        if (b.radiusX > 0) {
            for (int y = 0; y < p.height; ++y) {
                BoxLine(&p.At(0, y), p.width, 1, b.radiusX, sum);
            }
        }
        if (b.radiusY > 0) {
            for (int x = 0; x < p.width; ++x) {
                BoxLine(&p.At(x, 0), p.height, p.width, b.radiusY, sum);
            }
        }
    }
}

// The layer's alpha placed in the grown picture, moved by (dx, dy).
Plane AlphaPlane(const Picture& layer, int width, int height, int left, int top, int dx = 0,
                 int dy = 0) {
    Plane p(width, height);
    for (int y = 0; y < layer.height; ++y) {
        long long oy = static_cast<long long>(y) + top + dy;
        if (oy < 0 || oy >= height) {
            continue;
        }
        const Pixel* row = layer.Row(y);
        for (int x = 0; x < layer.width; ++x) {
            long long ox = static_cast<long long>(x) + left + dx;
            if (ox >= 0 && ox < width) {
                p.At(static_cast<int>(ox), static_cast<int>(oy)) = (row[x] >> 24) / 255.0f;
            }
        }
    }
    return p;
}

Pixel Colour(std::uint32_t rgba) {
    return Premultiplied(
        swf::Rgba{static_cast<std::uint8_t>(rgba >> 24), static_cast<std::uint8_t>(rgba >> 16),
                  static_cast<std::uint8_t>(rgba >> 8), static_cast<std::uint8_t>(rgba)});
}

// A premultiplied pixel scaled by f in 0..1.
Pixel Times(Pixel p, double f) {
    if (!(f > 0)) {
        return 0;
    }
    Pixel out = 0;
    for (int k = 0; k < 32; k += 8) {
        double v = ((p >> k) & 0xFF) * std::clamp(f, 0.0, 1.0);
        out |= static_cast<Pixel>(std::min(static_cast<int>(v + 0.5), 255)) << k;
    }
    return out;
}

// top + under * keep, each channel held to 255; keep defaults to what top leaves uncovered.
Pixel Over(Pixel top, Pixel under, double keep = -1) {
    if (keep < 0) {
        keep = 1 - (top >> 24) / 255.0;
    }
    Pixel rest = Times(under, keep), out = 0;
    for (int k = 0; k < 32; k += 8) {
        out |= std::min<Pixel>(((top >> k) & 0xFF) + ((rest >> k) & 0xFF), 255) << k;
    }
    return out;
}

// The grown picture with the layer copied in place.
Picture Grown(const Picture& layer, const Reach& r) {
    Picture out(layer.width + r.left + r.right, layer.height + r.top + r.bottom);
    for (int y = 0; y < layer.height && y + r.top < out.height; ++y) {
        const Pixel* in = layer.Row(y);
        Pixel* row = out.Row(y + r.top);
        for (int x = 0; x < layer.width && x + r.left < out.width; ++x) {
            row[x + r.left] = in[x];
        }
    }
    return out;
}

Picture BlurFilter(const Picture& layer, const swf::Filter& f, const Reach& r, double sx,
                   double sy) {
    Picture out = Grown(layer, r);
    Blur b = BlurOf(f, sx, sy);
    Plane channel(out.width, out.height);
    for (int k = 0; k < 32; k += 8) {
        for (std::size_t i = 0; i < out.pixels.size(); ++i) {
            channel.v[i] = static_cast<float>((out.pixels[i] >> k) & 0xFF);
        }
        BlurPlane(channel, b);
        for (std::size_t i = 0; i < out.pixels.size(); ++i) {
            Pixel v = static_cast<Pixel>(std::clamp(std::lround(channel.v[i]), 0L, 255L));
            out.pixels[i] = (out.pixels[i] & ~(Pixel{0xFF} << k)) | (v << k);
        }
    }
    return out;
}

// Drop shadow, glow and their gradient form: a blurred copy of the alpha behind the layer (or,
// inner, the blurred hole of the layer inside it).
Picture ShadowFilter(const Picture& layer, const swf::Filter& f, const Reach& r, double sx,
                     double sy) {
    Picture out = Grown(layer, r);
    bool inner = f.flags & 0x80, knockout = f.flags & 0x40;
    bool hide = f.id == 0 && !(f.flags & 0x20);
    Offset o = OffsetOf(f, sx, sy);
    Plane shade = AlphaPlane(layer, out.width, out.height, r.left, r.top, o.x, o.y);
    BlurPlane(shade, BlurOf(f, sx, sy));
    double strength = Strength(f);
    bool gradient = f.id == 4;
    GradientTable table;
    Pixel colour = 0;
    if (gradient) {
        std::vector<swf::GradientStop> stops;
        for (std::size_t i = 0; i < f.colours.size() && i < f.ratios.size(); ++i) {
            Pixel c = Colour(f.colours[i]);
            stops.push_back({f.ratios[i], Straight(c)});
        }
        table = MakeGradientTable(stops, swf::Interpolation::Rgb);
    } else if (!f.colours.empty()) {
        colour = Colour(f.colours[0]);
    }
    for (std::size_t i = 0; i < out.pixels.size(); ++i) {
        Pixel object = out.pixels[i];
        double a = (object >> 24) / 255.0;
        double amount = shade.v[i];
        if (inner) {
            amount = 1 - amount;
        }
        amount = std::clamp(amount * strength, 0.0, 1.0);
        Pixel s =
            gradient ? table.colours[static_cast<int>(amount * 255 + 0.5)] : Times(colour, amount);
        if (inner) {
            s = Times(s, a); // only where the layer is
            double covered = a > 0 ? (s >> 24) / (a * 255) : 1;
            out.pixels[i] = knockout || hide ? s : Over(s, Times(object, 1 - covered), 1);
        } else if (knockout) {
            out.pixels[i] = Times(s, 1 - a);
        } else {
            out.pixels[i] = hide ? s : Over(object, s);
        }
    }
    return out;
}

// Bevel and gradient bevel: the blurred alpha seen from the light's side minus the same seen
// from the other side gives the highlight; the opposite, the shadow.
Picture BevelFilter(const Picture& layer, const swf::Filter& f, const Reach& r, double sx,
                    double sy) {
    Picture out = Grown(layer, r);
    bool knockout = f.flags & 0x40;
    enum { Inner, Outer, Full } type = f.flags & 0x10 ? Full : f.flags & 0x80 ? Inner : Outer;
    Offset o = OffsetOf(f, sx, sy);
    Plane alpha = AlphaPlane(layer, out.width, out.height, r.left, r.top);
    BlurPlane(alpha, BlurOf(f, sx, sy));
    double strength = Strength(f);
    bool gradient = f.id == 7;
    GradientTable table;
    Pixel highlight = 0, shadow = 0;
    if (gradient) {
        std::vector<swf::GradientStop> stops;
        for (std::size_t i = 0; i < f.colours.size() && i < f.ratios.size(); ++i) {
            stops.push_back({f.ratios[i], Straight(Colour(f.colours[i]))});
        }
        table = MakeGradientTable(stops, swf::Interpolation::Rgb);
    } else {
        highlight = f.colours.size() > 0 ? Colour(f.colours[0]) : 0;
        shadow = f.colours.size() > 1 ? Colour(f.colours[1]) : 0;
    }
    // Read through the checked accessor: the offset reaches past the plane's edges.
    const Plane& shade = alpha;
    for (int y = 0; y < out.height; ++y) {
        Pixel* row = out.Row(y);
        for (int x = 0; x < out.width; ++x) {
            double lit = shade.At(x + o.x, y + o.y) - shade.At(x - o.x, y - o.y);
            lit = std::clamp(lit * strength, -1.0, 1.0);
            Pixel bevel;
            if (gradient) {
                // The gradient runs from the highlight (0) through the middle to the shadow.
                bevel = table.colours[std::clamp(static_cast<int>(128 - lit * 128), 0, 255)];
            } else {
                bevel = lit >= 0 ? Times(highlight, lit) : Times(shadow, -lit);
            }
            Pixel object = row[x];
            double a = (object >> 24) / 255.0;
            if (type == Inner) {
                bevel = Times(bevel, a);
            } else if (type == Outer) {
                bevel = Times(bevel, 1 - a);
            }
            if (knockout) {
                row[x] = type == Full ? Times(bevel, 1 - a) : bevel;
            } else if (type == Outer) {
                row[x] = Over(object, bevel);
            } else {
                row[x] = Over(bevel, object);
            }
        }
    }
    return out;
}

// A 4 x 5 matrix on the straight colour; the last column adds in 0..255.
Picture ColourMatrixFilter(const Picture& layer, const swf::Filter& f) {
    Picture out = layer;
    if (f.numbers.size() < 20) {
        return out;
    }
    double m[20];
    for (int i = 0; i < 20; ++i) {
        m[i] = Sane(f.numbers[i], -1e9, 1e9);
    }
    for (Pixel& p : out.pixels) {
        p = ApplyColourMatrix(p, m);
    }
    return out;
}

Picture ConvolutionFilter(const Picture& layer, const swf::Filter& f) {
    Picture out = layer;
    int cols = static_cast<int>(Sane(Number(f, 0), 0, 15));
    int rows = static_cast<int>(Sane(Number(f, 1), 0, 15));
    if (cols == 0 || rows == 0 || f.numbers.size() < 4 + static_cast<std::size_t>(cols * rows)) {
        return out;
    }
    double divisor = Sane(Number(f, 2), -1e9, 1e9);
    if (divisor == 0) {
        divisor = 1;
    }
    double bias = Sane(Number(f, 3), -1e9, 1e9);
    bool preserveAlpha = f.flags & 0x01, clamp = f.flags & 0x02;
    swf::Rgba outside = f.colours.empty() ? swf::Rgba{0, 0, 0, 0} : Straight(Colour(f.colours[0]));
    auto straight = [&](int x, int y) {
        if (x < 0 || y < 0 || x >= layer.width || y >= layer.height) {
            if (!clamp) {
                return outside;
            }
            x = std::clamp(x, 0, layer.width - 1);
            y = std::clamp(y, 0, layer.height - 1);
        }
        return Straight(layer.Row(y)[x]);
    };
    for (int y = 0; y < layer.height; ++y) {
        for (int x = 0; x < layer.width; ++x) {
            double sum[4] = {};
            for (int j = 0; j < rows; ++j) {
                for (int i = 0; i < cols; ++i) {
                    double w = Sane(f.numbers[4 + j * cols + i], -1e9, 1e9);
                    swf::Rgba c = straight(x + i - cols / 2, y + j - rows / 2);
                    sum[0] += w * c.r;
                    sum[1] += w * c.g;
                    sum[2] += w * c.b;
                    sum[3] += w * c.a;
                }
            }
            auto ch = [&](int k) {
                return static_cast<std::uint8_t>(std::clamp(sum[k] / divisor + bias, 0.0, 255.0));
            };
            swf::Rgba c{ch(0), ch(1), ch(2), ch(3)};
            if (preserveAlpha) {
                c.a = static_cast<std::uint8_t>(layer.Row(y)[x] >> 24);
            }
            out.Row(y)[x] = Premultiplied(c);
        }
    }
    return out;
}

} // namespace

Pixel ApplyColourMatrix(Pixel p, const double m[20]) {
    swf::Rgba c = Straight(p);
    double in[4] = {static_cast<double>(c.r), static_cast<double>(c.g), static_cast<double>(c.b),
                    static_cast<double>(c.a)};
    std::uint8_t v[4];
    for (int row = 0; row < 4; ++row) {
        const double* r = m + row * 5;
        double s = r[0] * in[0] + r[1] * in[1] + r[2] * in[2] + r[3] * in[3] + r[4];
        v[row] = static_cast<std::uint8_t>(std::clamp(s, 0.0, 255.0));
    }
    return Premultiplied(swf::Rgba{v[0], v[1], v[2], v[3]});
}

Reach FilterReach(const swf::Filter& filter, double scaleX, double scaleY) {
    Reach r;
    if (filter.id == 5 || filter.id == 6 || filter.id > 7) {
        return r;
    }
    Blur b = BlurOf(filter, scaleX, scaleY);
    int x = Spread(b.radiusX, b.passes), y = Spread(b.radiusY, b.passes);
    r = {x, y, x, y};
    bool onTop = (filter.id == 3 || filter.id == 7) && (filter.flags & 0x10);
    bool inner = (filter.flags & 0x80) && !onTop;
    Offset o = OffsetOf(filter, scaleX, scaleY);
    if (filter.id == 0 || filter.id == 4) {
        if (inner) {
            return {};
        }
        r.left = std::max(0, x - o.x);
        r.right = std::max(0, x + o.x);
        r.top = std::max(0, y - o.y);
        r.bottom = std::max(0, y + o.y);
    } else if (filter.id == 2) {
        if (inner) {
            return {};
        }
    } else if (filter.id == 3 || filter.id == 7) {
        if (inner) {
            return {};
        }
        int ox = std::abs(o.x), oy = std::abs(o.y);
        r = {x + ox, y + oy, x + ox, y + oy};
    }
    auto cap = [](int v) { return std::min(v, kMaxSide); };
    return {cap(r.left), cap(r.top), cap(r.right), cap(r.bottom)};
}

Picture ApplyFilter(const Picture& layer, const swf::Filter& filter, double scaleX, double scaleY) {
    Reach r = FilterReach(filter, scaleX, scaleY);
    switch (filter.id) {
    case 0:
    case 2:
    case 4:
        return ShadowFilter(layer, filter, r, scaleX, scaleY);
    case 1:
        return BlurFilter(layer, filter, r, scaleX, scaleY);
    case 3:
    case 7:
        return BevelFilter(layer, filter, r, scaleX, scaleY);
    case 5:
        return ConvolutionFilter(layer, filter);
    case 6:
        return ColourMatrixFilter(layer, filter);
    default:
        return layer;
    }
}

} // namespace fw::render
