// MovieClip: the timeline methods, acting through the display interface.

#include "runtime.h"

#include <algorithm>
#include <cmath>

namespace fw::avm1 {
namespace {

int Clip(const Value& self) {
    Object* o = self.object();
    return o && o->kind == Kind::Clip ? o->clipId : -1;
}

int Frame(Runtime& rt, int clip, const Value& v) {
    if (v.isString()) {
        double n = StringToNumber(v.asString());
        if (std::isnan(n)) {
            return rt.display().FindLabel(clip, v.asString());
        }
        return static_cast<int>(std::clamp(n, -1e9, 1e9)) - 1;
    }
    double n = rt.ToNum(v);
    return std::isnan(n) ? -1 : static_cast<int>(std::clamp(n, -1e9, 1e9)) - 1;
}

template <bool Play> Value Goto(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    int clip = Clip(self);
    if (clip < 0) {
        return Value();
    }
    int frame = Frame(rt, clip, Arg(args, 0));
    if (frame >= 0) {
        rt.display().GotoFrame(clip, frame);
    }
    rt.display().SetPlaying(clip, Play);
    return Value();
}

template <bool Play> Value SetPlaying(Runtime& rt, Activation&, Value self, std::vector<Value>&) {
    if (int clip = Clip(self); clip >= 0) {
        rt.display().SetPlaying(clip, Play);
    }
    return Value();
}

template <int Step> Value Step1(Runtime& rt, Activation&, Value self, std::vector<Value>&) {
    int clip = Clip(self);
    if (clip >= 0) {
        int frame = rt.display().CurrentFrame(clip) + Step;
        if (frame >= 0) {
            rt.display().GotoFrame(clip, frame);
        }
        rt.display().SetPlaying(clip, false);
    }
    return Value();
}

Value ToStringFn(Runtime& rt, Activation&, Value self, std::vector<Value>&) {
    Object* o = self.object();
    return o && o->kind == Kind::Clip ? Value(rt.Describe(o)) : Value("[object Object]");
}

Value Loaded(Runtime&, Activation&, Value, std::vector<Value>&) {
    return Value(1);
}

Value Depth(Runtime&, Activation&, Value, std::vector<Value>&) {
    return Value(-16384);
}

Value Construct(Runtime&, Activation&, Value, std::vector<Value>&) {
    return Value();
}

} // namespace

void InstallMovieClip(Runtime& rt, Object* global) {
    Object* proto = rt.NewPlain();
    rt.clipProto_ = proto;
    rt.MakeClass("MovieClip", Construct, proto, global);
    rt.Method(proto, "play", SetPlaying<true>);
    rt.Method(proto, "stop", SetPlaying<false>);
    rt.Method(proto, "gotoAndPlay", Goto<true>);
    rt.Method(proto, "gotoAndStop", Goto<false>);
    rt.Method(proto, "nextFrame", Step1<1>);
    rt.Method(proto, "prevFrame", Step1<-1>);
    rt.Method(proto, "toString", ToStringFn);
    rt.Method(proto, "getBytesLoaded", Loaded);
    rt.Method(proto, "getBytesTotal", Loaded);
    rt.Method(proto, "getDepth", Depth);
}

} // namespace fw::avm1
