// flash.filters: the bitmap filter classes. A blur keeps its settings in native data made by its
// constructor the first time it runs on an object; before that its properties read undefined,
// and a second run converts its arguments but changes nothing. The other filters are classes
// scripts can name, extend and test for.

#include "runtime.h"

#include <algorithm>
#include <cmath>

namespace fw::avm1 {
namespace {

struct Blur : HostData {
    double blurX = 4;
    double blurY = 4;
    int quality = 1;
    void Trace(std::vector<Object*>&) const override {}
};

Blur* BlurOf(const Value& self) {
    Object* o = self.object();
    return o ? dynamic_cast<Blur*>(o->host.get()) : nullptr;
}

double Amount(Runtime& rt, const Value& v, double fallback) {
    if (v.isUndefined()) {
        return fallback;
    }
    double n = rt.ToNum(v);
    return std::isnan(n) ? 0 : std::clamp(n, 0.0, 255.0);
}

int Quality(Runtime& rt, const Value& v, int fallback) {
    if (v.isUndefined()) {
        return fallback;
    }
    return std::clamp(static_cast<int>(ToInt32(rt.ToNum(v))), 0, 15);
}

Value BlurCtor(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    Blur made;
    made.blurX = Amount(rt, Arg(args, 0), 4);
    made.blurY = Amount(rt, Arg(args, 1), 4);
    made.quality = Quality(rt, Arg(args, 2), 1);
    Object* o = self.object();
    if (o && !o->host) {
        o->host = std::make_unique<Blur>(made);
    }
    return Value();
}

template <int Field> Value BlurGet(Runtime&, Activation&, Value self, std::vector<Value>&) {
    Blur* b = BlurOf(self);
    if (!b) {
        return Value();
    }
    return Field == 0 ? Value(b->blurX) : Field == 1 ? Value(b->blurY) : Value(b->quality);
}

template <int Field> Value BlurSet(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    Blur* b = BlurOf(self);
    if (!b) {
        return Value();
    }
    if (Field == 0) {
        b->blurX = Amount(rt, Arg(args, 0), b->blurX);
    } else if (Field == 1) {
        b->blurY = Amount(rt, Arg(args, 0), b->blurY);
    } else {
        b->quality = Quality(rt, Arg(args, 0), b->quality);
    }
    return Value();
}

Value BlurClone(Runtime& rt, Activation&, Value self, std::vector<Value>&) {
    Blur* b = BlurOf(self);
    if (!b) {
        return Value();
    }
    Value ctor = rt.Get(rt.Get(rt.Get(Value(rt.global()), "flash"), "filters"), "BlurFilter");
    return rt.Construct(ctor, {Value(b->blurX), Value(b->blurY), Value(b->quality)});
}

Value PlainCtor(Runtime&, Activation&, Value, std::vector<Value>&) {
    return Value();
}

} // namespace

void InstallFilters(Runtime& rt, Object* global) {
    Object* filters = Package(rt, global, "flash.filters");
    Object* base = rt.NewPlain();
    rt.MakeClass("BitmapFilter", PlainCtor, base, filters);
    Object* blur = rt.NewObject(base);
    rt.MakeClass("BlurFilter", BlurCtor, blur, filters);
    Accessor(rt, blur, "blurX", BlurGet<0>, BlurSet<0>);
    Accessor(rt, blur, "blurY", BlurGet<1>, BlurSet<1>);
    Accessor(rt, blur, "quality", BlurGet<2>, BlurSet<2>);
    rt.Method(blur, "clone", BlurClone);
    for (const char* name :
         {"BevelFilter", "ColorMatrixFilter", "ConvolutionFilter", "DisplacementMapFilter",
          "DropShadowFilter", "GlowFilter", "GradientBevelFilter", "GradientGlowFilter"}) {
        rt.MakeClass(name, PlainCtor, rt.NewObject(base), filters);
    }
}

} // namespace fw::avm1
