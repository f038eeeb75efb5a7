// Colour and transforms of clips: Color, flash.geom.ColorTransform, flash.geom.Transform,
// flash.geom.Rectangle, and the clips' transform property.

#include "runtime.h"

#include <cmath>
#include <cstdint>

namespace fw::avm1 {
namespace {

// The player keeps colour transforms as 16-bit integers: larger values wrap.
double Wrap16(double v) {
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(ToInt32(v)));
}

int ClipOf(const Value& v) {
    Object* o = v.object();
    return o && o->kind == Kind::Clip ? o->clipId : -1;
}

Value GeomClass(Runtime& rt, const char* name) {
    return rt.Get(rt.Get(rt.Get(Value(rt.global()), "flash"), "geom"), name);
}

// --- Color ---

int ColorTarget(Runtime& rt, const Value& self) {
    Value target = rt.Get(self, "target");
    if (int id = ClipOf(target); id >= 0) {
        return id;
    }
    if (target.isNullish() || target.isObject()) {
        return -1;
    }
    std::string path = rt.ToStr(target);
    return path.empty() ? -1 : ClipOf(rt.GetPath(path));
}

Value ColorCtor(Runtime&, Activation&, Value self, std::vector<Value>& args) {
    if (Object* o = self.object()) {
        o->Set("target", Arg(args, 0), kDontEnum | kDontDelete);
    }
    return Value();
}

Value GetRgb(Runtime& rt, Activation&, Value self, std::vector<Value>&) {
    GeometryInterface* g = rt.display().Geometry();
    int clip = ColorTarget(rt, self);
    auto t = g && clip >= 0 ? g->GetTint(clip, false) : std::nullopt;
    if (!t) {
        return Value();
    }
    auto add = [&](int i) { return static_cast<std::int32_t>(t->add[i]); };
    return Value(static_cast<double>((add(0) << 16) | (add(1) << 8) | add(2)));
}

Value SetRgb(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    GeometryInterface* g = rt.display().Geometry();
    int clip = ColorTarget(rt, self);
    auto t = g && clip >= 0 ? g->GetTint(clip, false) : std::nullopt;
    if (!t) {
        return Value();
    }
    auto rgb = static_cast<std::uint32_t>(ToInt32(rt.ToNum(Arg(args, 0))));
    for (int i = 0; i < 3; ++i) {
        t->mult[i] = 0;
        t->add[i] = (rgb >> (16 - 8 * i)) & 0xff;
    }
    g->SetTint(clip, *t);
    return Value();
}

const char* const kColorKeys[4][2] = {{"ra", "rb"}, {"ga", "gb"}, {"ba", "bb"}, {"aa", "ab"}};

Value GetColorTransform(Runtime& rt, Activation&, Value self, std::vector<Value>&) {
    GeometryInterface* g = rt.display().Geometry();
    int clip = ColorTarget(rt, self);
    auto t = g && clip >= 0 ? g->GetTint(clip, false) : std::nullopt;
    if (!t) {
        return Value();
    }
    Object* o = rt.NewPlain();
    for (int i = 0; i < 4; ++i) {
        o->Set(kColorKeys[i][0], Value(t->mult[i] * 100));
        o->Set(kColorKeys[i][1], Value(t->add[i]));
    }
    return Value(o);
}

Value SetColorTransform(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    GeometryInterface* g = rt.display().Geometry();
    int clip = ColorTarget(rt, self);
    Object* given = Arg(args, 0).object();
    auto t = g && clip >= 0 && given ? g->GetTint(clip, false) : std::nullopt;
    if (!t) {
        return Value();
    }
    for (int i = 0; i < 4; ++i) {
        // Only the object's own values count, not what it inherits.
        if (given->FindOwn(kColorKeys[i][0])) {
            double percent = rt.ToNum(rt.Get(Value(given), kColorKeys[i][0]));
            t->mult[i] = Wrap16(percent * 256 / 100) / 256;
        }
        if (given->FindOwn(kColorKeys[i][1])) {
            t->add[i] = Wrap16(rt.ToNum(rt.Get(Value(given), kColorKeys[i][1])));
        }
    }
    g->SetTint(clip, *t);
    return Value();
}

// --- ColorTransform ---

const char* const kTintNames[8] = {"redMultiplier",   "greenMultiplier", "blueMultiplier",
                                   "alphaMultiplier", "redOffset",       "greenOffset",
                                   "blueOffset",      "alphaOffset"};

Value TintCtor(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    for (int i = 0; i < 8; ++i) {
        Value v =
            i < static_cast<int>(args.size()) ? Value(rt.ToNum(args[i])) : Value(i < 4 ? 1 : 0);
        rt.Put(self, kTintNames[i], v);
    }
    return Value();
}

Value TintToString(Runtime& rt, Activation&, Value self, std::vector<Value>&) {
    std::string out = "(";
    for (int i = 0; i < 8; ++i) {
        out += std::string(i ? ", " : "") + kTintNames[i] + "=" +
               rt.ToStr(rt.Get(self, kTintNames[i]));
    }
    return rt.Text(out + ")");
}

Value TintGetRgb(Runtime& rt, Activation&, Value self, std::vector<Value>&) {
    auto part = [&](int i) { return ToInt32(rt.ToNum(rt.Get(self, kTintNames[4 + i]))); };
    return Value(static_cast<double>((part(0) << 16) | (part(1) << 8) | part(2)));
}

Value TintSetRgb(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    auto rgb = static_cast<std::uint32_t>(ToInt32(rt.ToNum(Arg(args, 0))));
    for (int i = 0; i < 3; ++i) {
        rt.Put(self, kTintNames[i], Value(0));
        rt.Put(self, kTintNames[4 + i], Value(static_cast<double>((rgb >> (16 - 8 * i)) & 0xff)));
    }
    return Value();
}

Value TintConcat(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    Value other = Arg(args, 0);
    if (!other.isObject()) {
        return Value();
    }
    double m[8];
    double o[8];
    for (int i = 0; i < 8; ++i) {
        m[i] = rt.ToNum(rt.Get(self, kTintNames[i]));
        o[i] = rt.ToNum(rt.Get(other, kTintNames[i]));
    }
    for (int i = 0; i < 4; ++i) {
        rt.Put(self, kTintNames[4 + i], Value(o[4 + i] * m[i] + m[4 + i]));
        rt.Put(self, kTintNames[i], Value(m[i] * o[i]));
    }
    return Value();
}

Value NewTint(Runtime& rt, const Tint& t) {
    std::vector<Value> args;
    for (double v : t.mult) {
        args.emplace_back(v);
    }
    for (double v : t.add) {
        args.emplace_back(v);
    }
    return rt.Construct(GeomClass(rt, "ColorTransform"), std::move(args));
}

// --- Transform ---

struct TransformData : HostData {
    Object* clip = nullptr;
    void Trace(std::vector<Object*>& out) const override {
        if (clip) {
            out.push_back(clip);
        }
    }
};

int TransformClip(const Value& self) {
    Object* o = self.object();
    auto* data = o ? dynamic_cast<TransformData*>(o->host.get()) : nullptr;
    return data && data->clip ? data->clip->clipId : -1;
}

Value TransformCtor(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    Object* o = self.object();
    Object* clip = Arg(args, 0).object();
    if (o && clip && clip->kind == Kind::Clip) {
        auto data = std::make_unique<TransformData>();
        data->clip = clip;
        o->host = std::move(data);
    } else if (rt.constructing) {
        rt.constructFailed = true; // a transform of no clip is no object at all
    }
    return Value();
}

Value NewMatrix(Runtime& rt, const Affine& m) {
    return rt.Construct(GeomClass(rt, "Matrix"),
                        {Value(m.a), Value(m.b), Value(m.c), Value(m.d), Value(m.tx), Value(m.ty)});
}

template <bool Concatenated>
Value GetMatrix(Runtime& rt, Activation&, Value self, std::vector<Value>&) {
    GeometryInterface* g = rt.display().Geometry();
    int clip = TransformClip(self);
    if (!g || clip < 0) {
        return Value();
    }
    auto m = Concatenated ? g->GetStageMatrix(clip) : g->GetMatrix(clip);
    return m ? NewMatrix(rt, *m) : Value();
}

Value SetMatrix(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    GeometryInterface* g = rt.display().Geometry();
    int clip = TransformClip(self);
    Value v = Arg(args, 0);
    if (!g || clip < 0 || !rt.InstanceOf(v, GeomClass(rt, "Matrix").object())) {
        return Value();
    }
    Affine m;
    m.a = rt.ToNum(rt.Get(v, "a"));
    m.b = rt.ToNum(rt.Get(v, "b"));
    m.c = rt.ToNum(rt.Get(v, "c"));
    m.d = rt.ToNum(rt.Get(v, "d"));
    m.tx = rt.ToNum(rt.Get(v, "tx"));
    m.ty = rt.ToNum(rt.Get(v, "ty"));
    g->SetMatrix(clip, m);
    return Value();
}

template <bool Concatenated>
Value GetTintOf(Runtime& rt, Activation&, Value self, std::vector<Value>&) {
    GeometryInterface* g = rt.display().Geometry();
    int clip = TransformClip(self);
    auto t = g && clip >= 0 ? g->GetTint(clip, Concatenated) : std::nullopt;
    return t ? NewTint(rt, *t) : Value();
}

Value SetTintOf(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    GeometryInterface* g = rt.display().Geometry();
    int clip = TransformClip(self);
    Value v = Arg(args, 0);
    if (!g || clip < 0 || !rt.InstanceOf(v, GeomClass(rt, "ColorTransform").object())) {
        return Value();
    }
    Tint t;
    for (int i = 0; i < 4; ++i) {
        t.mult[i] = Wrap16(rt.ToNum(rt.Get(v, kTintNames[i])) * 256) / 256;
        t.add[i] = Wrap16(rt.ToNum(rt.Get(v, kTintNames[4 + i])));
    }
    g->SetTint(clip, t);
    return Value();
}

Value PixelBounds(Runtime& rt, Activation&, Value self, std::vector<Value>&) {
    GeometryInterface* g = rt.display().Geometry();
    int clip = TransformClip(self);
    auto r = g && clip >= 0 ? g->Bounds(clip, -1, true) : std::nullopt;
    if (!r) {
        return Value();
    }
    // An empty clip covers no pixel; its bounds stand at the far corner that means "none".
    constexpr double kNoRectangle = 134217727 / 20.0;
    if (r->xMin >= kNoRectangle && r->yMin >= kNoRectangle) {
        r = Rect{};
    }
    return rt.Construct(
        GeomClass(rt, "Rectangle"),
        {Value(r->xMin), Value(r->yMin), Value(r->xMax - r->xMin), Value(r->yMax - r->yMin)});
}

// A clip's transform: a new Transform on every read; a write copies another's.
Value ClipTransform(Runtime& rt, Activation&, Value self, std::vector<Value>&) {
    if (ClipOf(self) < 0) {
        return Value();
    }
    return rt.Construct(GeomClass(rt, "Transform"), {self});
}

Value SetClipTransform(Runtime& rt, Activation& caller, Value self, std::vector<Value>& args) {
    GeometryInterface* g = rt.display().Geometry();
    int clip = ClipOf(self);
    int from = TransformClip(Arg(args, 0));
    if (!g || clip < 0 || from < 0) {
        return Value();
    }
    if (auto m = g->GetMatrix(from)) {
        g->SetMatrix(clip, *m);
    }
    if (auto t = g->GetTint(from, false)) {
        g->SetTint(clip, *t);
    }
    (void)caller;
    return Value();
}

// --- Rectangle ---

Value RectCtor(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    const char* names[4] = {"x", "y", "width", "height"};
    for (int i = 0; i < 4; ++i) {
        rt.Put(self, names[i], args.empty() ? Value(0) : Arg(args, i));
    }
    return Value();
}

Value RectToString(Runtime& rt, Activation&, Value self, std::vector<Value>&) {
    return rt.Text("(x=" + rt.ToStr(rt.Get(self, "x")) + ", y=" + rt.ToStr(rt.Get(self, "y")) +
                   ", w=" + rt.ToStr(rt.Get(self, "width")) +
                   ", h=" + rt.ToStr(rt.Get(self, "height")) + ")");
}

} // namespace

void InstallColor(Runtime& rt, Object* global) {
    Object* color = rt.NewPlain();
    rt.MakeClass("Color", ColorCtor, color, global);
    rt.Method(color, "getRGB", GetRgb);
    rt.Method(color, "setRGB", SetRgb);
    rt.Method(color, "getTransform", GetColorTransform);
    rt.Method(color, "setTransform", SetColorTransform);

    Object* geom = Package(rt, global, "flash.geom");
    Object* tint = rt.NewPlain();
    rt.MakeClass("ColorTransform", TintCtor, tint, geom);
    rt.Method(tint, "toString", TintToString);
    rt.Method(tint, "concat", TintConcat);
    Accessor(rt, tint, "rgb", TintGetRgb, TintSetRgb);

    Object* transform = rt.NewPlain();
    rt.MakeClass("Transform", TransformCtor, transform, geom);
    Accessor(rt, transform, "matrix", GetMatrix<false>, SetMatrix);
    Accessor(rt, transform, "concatenatedMatrix", GetMatrix<true>);
    Accessor(rt, transform, "colorTransform", GetTintOf<false>, SetTintOf);
    Accessor(rt, transform, "concatenatedColorTransform", GetTintOf<true>);
    Accessor(rt, transform, "pixelBounds", PixelBounds);

    if (!geom->FindOwn("Rectangle")) {
        Object* rect = rt.NewPlain();
        rt.MakeClass("Rectangle", RectCtor, rect, geom);
        rt.Method(rect, "toString", RectToString);
    }
    if (rt.clipProto_) {
        Accessor(rt, rt.clipProto_, "transform", ClipTransform, SetClipTransform);
    }
}

} // namespace fw::avm1
