// MovieClip: the timeline methods, acting through the display interface.

#include "bitmap_data.h"
#include "runtime.h"

#include <algorithm>
#include <cmath>

namespace fw::avm1 {
namespace {

int Clip(const Value& self) {
    Object* o = self.object();
    return o && o->kind == Kind::Clip ? o->clipId : -1;
}

// Frame numbers count as 32-bit integers do, wrapping on the way to 0-based.
int ZeroBased(double n) {
    auto frame = static_cast<std::uint32_t>(ToInt32(n)) - 1u;
    return static_cast<std::int32_t>(frame);
}

int Frame(Runtime& rt, int& clip, const Value& given) {
    // An object names its frame by its text, as a label or a number.
    Value v = given.isObject() ? rt.Text(rt.ToStr(given)) : given;
    if (v.isString()) {
        std::string_view text = v.asString();
        // "path:frame" names the frame of another timeline.
        if (auto colon = text.rfind(':'); colon != std::string_view::npos) {
            Object* other = rt.ResolveHead(text.substr(0, colon)).object();
            if (!other || other->kind != Kind::Clip) {
                return -1;
            }
            clip = other->clipId;
            text = text.substr(colon + 1);
        }
        double n = StringToNumber(text);
        if (std::isnan(n)) {
            return rt.display().FindLabel(clip, text);
        }
        return ZeroBased(n);
    }
    double n = rt.ToNum(v);
    return std::isnan(n) ? -1 : ZeroBased(n);
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

Value GetDepth(Runtime& rt, Activation&, Value self, std::vector<Value>&) {
    int clip = Clip(self);
    auto depth = clip >= 0 ? rt.display().Depth(clip) : std::nullopt;
    return depth ? Value(*depth) : Value();
}

// A depth argument as scripts give it; nullopt for what is no number.
std::optional<int> DepthArg(Runtime& rt, const Value& v) {
    double n = rt.ToNum(v);
    if (std::isnan(n)) {
        return std::nullopt;
    }
    return static_cast<int>(ToInt32(n)); // depths wrap as 32-bit integers do
}

template <DisplayInterface::Make How>
Value MakeClip(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    int clip = Clip(self);
    if (clip < 0) {
        return Value();
    }
    std::size_t at = How == DisplayInterface::Make::Attach ? 1 : 0;
    if (args.size() < at + 2) {
        return Value();
    }
    std::string symbol = How == DisplayInterface::Make::Attach ? rt.ToStr(args[0]) : "";
    std::string name = rt.ToStr(args[at]);
    // A depth that is no number makes the clip at depth 0, as a 32-bit integer reads it.
    int depth = DepthArg(rt, args[at + 1]).value_or(0);
    Object* init = Arg(args, at + 2).object();
    Object* made = rt.display().MakeClip(clip, How, symbol, name, depth, init);
    return made ? Value(made) : Value();
}

Value Remove(Runtime& rt, Activation&, Value self, std::vector<Value>&) {
    if (int clip = Clip(self); clip >= 0) {
        rt.display().RemoveClip(clip);
    }
    return Value();
}

Value SwapDepths(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    int clip = Clip(self);
    Value to = Arg(args, 0);
    std::optional<int> depth;
    if (Object* other = to.object(); other && other->kind == Kind::Clip) {
        depth = rt.display().Depth(other->clipId);
    } else if (!to.isObject()) {
        depth = DepthArg(rt, to);
    }
    if (clip >= 0 && depth) {
        rt.display().SwapDepths(clip, *depth);
    }
    return Value();
}

Value NextHighest(Runtime& rt, Activation&, Value self, std::vector<Value>&) {
    int clip = Clip(self);
    return clip >= 0 ? Value(rt.display().NextHighestDepth(clip)) : Value();
}

Value AtDepth(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    int clip = Clip(self);
    auto depth = DepthArg(rt, Arg(args, 0));
    Object* found = clip >= 0 && depth ? rt.display().InstanceAtDepth(clip, *depth) : nullptr;
    return found ? Value(found) : Value();
}

Value AttachBitmap(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    int clip = Clip(self);
    Value bitmap = Arg(args, 0);
    auto depth = DepthArg(rt, Arg(args, 1));
    if (clip >= 0 && BitmapOf(bitmap) && depth) {
        rt.display().AttachBitmap(clip, bitmap.object(), *depth, rt.ToBool(Arg(args, 3)));
    }
    return Value();
}

Value Construct(Runtime&, Activation&, Value, std::vector<Value>&) {
    return Value();
}

} // namespace

void InstallMovieClip(Runtime& rt, Object* global) {
    Object* proto = rt.NewPlain();
    rt.clipProto_ = proto;
    rt.MakeClass("MovieClip", Construct, proto, global)->function->scripted = true;
    rt.Method(proto, "play", SetPlaying<true>);
    rt.Method(proto, "stop", SetPlaying<false>);
    rt.Method(proto, "gotoAndPlay", Goto<true>);
    rt.Method(proto, "gotoAndStop", Goto<false>);
    rt.Method(proto, "nextFrame", Step1<1>);
    rt.Method(proto, "prevFrame", Step1<-1>);
    rt.Method(proto, "toString", ToStringFn);
    rt.Method(proto, "getDepth", GetDepth);
    rt.Method(proto, "createEmptyMovieClip", MakeClip<DisplayInterface::Make::Empty>);
    rt.Method(proto, "attachMovie", MakeClip<DisplayInterface::Make::Attach>);
    rt.Method(proto, "duplicateMovieClip", MakeClip<DisplayInterface::Make::Duplicate>);
    rt.Method(proto, "removeMovieClip", Remove);
    rt.Method(proto, "attachBitmap", AttachBitmap);
    rt.Method(proto, "swapDepths", SwapDepths);
    rt.Method(proto, "getNextHighestDepth", NextHighest);
    rt.Method(proto, "getInstanceAtDepth", AtDepth);
}

} // namespace fw::avm1
