// The clips' blendMode, cacheAsBitmap, opaqueBackground and scrollRect: what scripts set about
// how a clip is drawn, kept by the display for the renderer.

#include "runtime.h"

#include <cmath>
#include <string_view>

namespace fw::avm1 {
namespace {

// By the file's numbers, from 1; 0 reads as normal too.
constexpr std::string_view kBlendNames[] = {
    "normal", "layer",    "multiply", "screen", "lighten", "darken",  "difference",
    "add",    "subtract", "invert",   "alpha",  "erase",   "overlay", "hardlight"};
constexpr int kBlendCount = static_cast<int>(std::size(kBlendNames));

int ClipOf(const Value& self) {
    Object* o = self.object();
    return o && o->kind == Kind::Clip ? o->clipId : -1;
}

// Reads the settings, lets change alter them and hands them back.
template <typename F> void Change(Runtime& rt, const Value& self, F&& change) {
    int clip = ClipOf(self);
    auto s = clip >= 0 ? rt.display().GetDrawSettings(clip) : std::nullopt;
    if (s && change(*s)) {
        rt.display().SetDrawSettings(clip, *s);
    }
}

std::optional<DisplayInterface::DrawSettings> Read(Runtime& rt, const Value& self) {
    int clip = ClipOf(self);
    return clip >= 0 ? rt.display().GetDrawSettings(clip) : std::nullopt;
}

Value GetBlend(Runtime& rt, Activation&, Value self, std::vector<Value>&) {
    auto s = Read(rt, self);
    if (!s) {
        return Value();
    }
    int mode = s->blendMode;
    return Value(std::string(kBlendNames[mode >= 1 && mode <= kBlendCount ? mode - 1 : 0]));
}

// A name, or the file's number of a mode; anything else leaves the mode as it was.
Value SetBlend(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    Value v = Arg(args, 0);
    int mode = 0;
    if (v.isString()) {
        for (int i = 0; i < kBlendCount; ++i) {
            if (v.asString() == kBlendNames[i]) {
                mode = i + 1;
            }
        }
    } else if (v.isNumber()) {
        double n = rt.ToNum(v);
        mode = n >= 1 && n <= kBlendCount ? static_cast<int>(n) : 0;
    }
    if (mode > 0) {
        Change(rt, self, [&](auto& s) {
            s.blendMode = static_cast<std::uint8_t>(mode);
            return true;
        });
    }
    return Value();
}

Value GetCache(Runtime& rt, Activation&, Value self, std::vector<Value>&) {
    auto s = Read(rt, self);
    return s ? Value(s->cacheAsBitmap) : Value();
}

Value SetCache(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    bool on = rt.ToBool(Arg(args, 0));
    Change(rt, self, [&](auto& s) {
        s.cacheAsBitmap = on;
        return true;
    });
    return Value();
}

Value GetOpaque(Runtime& rt, Activation&, Value self, std::vector<Value>&) {
    auto s = Read(rt, self);
    return s && s->opaqueBackground ? Value(static_cast<double>(*s->opaqueBackground)) : Value();
}

// A colour, or undefined or null for none.
Value SetOpaque(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    Value v = Arg(args, 0);
    std::optional<std::uint32_t> colour;
    if (!v.isUndefined() && !v.isNull()) {
        colour = static_cast<std::uint32_t>(ToInt32(rt.ToNum(v))) & 0xFFFFFFu;
    }
    Change(rt, self, [&](auto& s) {
        s.opaqueBackground = colour;
        return true;
    });
    return Value();
}

Value GetScroll(Runtime& rt, Activation&, Value self, std::vector<Value>&) {
    auto s = Read(rt, self);
    if (!s || !s->scrollRect) {
        return Value();
    }
    const Rect& r = *s->scrollRect;
    Value cls = rt.Get(rt.Get(rt.Get(Value(rt.global()), "flash"), "geom"), "Rectangle");
    return rt.Construct(
        cls, {Value(r.xMin), Value(r.yMin), Value(r.xMax - r.xMin), Value(r.yMax - r.yMin)});
}

// A rectangle-like object scrolls the clip; anything else stops it scrolling.
Value SetScroll(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    Value v = Arg(args, 0);
    std::optional<Rect> rect;
    if (v.isObject()) {
        double x = rt.ToNum(rt.Get(v, "x"));
        double y = rt.ToNum(rt.Get(v, "y"));
        rect = Rect{x, x + rt.ToNum(rt.Get(v, "width")), y, y + rt.ToNum(rt.Get(v, "height"))};
    }
    Change(rt, self, [&](auto& s) {
        s.scrollRect = rect;
        return true;
    });
    return Value();
}

void Add(Runtime& rt, const char* name, NativeFn get, NativeFn set) {
    Property& p = rt.clipProto_->Set(name, Value(), kDontEnum | kDontDelete | kOnlyFrom8);
    p.getter = rt.NewFunction(get);
    p.setter = rt.NewFunction(set);
}

} // namespace

void InstallDrawSettings(Runtime& rt, Object*) {
    if (!rt.clipProto_) {
        return;
    }
    Add(rt, "blendMode", GetBlend, SetBlend);
    Add(rt, "cacheAsBitmap", GetCache, SetCache);
    Add(rt, "opaqueBackground", GetOpaque, SetOpaque);
    Add(rt, "scrollRect", GetScroll, SetScroll);
}

} // namespace fw::avm1
