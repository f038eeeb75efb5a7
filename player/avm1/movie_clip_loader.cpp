// Loading other movies from scripts: MovieClipLoader, the clips' loadMovie and unloadMovie,
// and what a clip tells of the movie it came from. The loads themselves are the display's.

#include "runtime.h"

#include <cmath>

namespace fw::avm1 {
namespace {

int ClipOf(const Value& v) {
    Object* o = v.object();
    return o && o->kind == Kind::Clip ? o->clipId : -1;
}

// Where a load goes: a clip, or a level by its number.
struct Target {
    int clip = -1;
    int level = -1;
};

std::optional<Target> TargetOf(Runtime& rt, const Value& v) {
    if (v.isString()) {
        Object* o = rt.ResolveHead(v.asString()).object();
        if (o && o->kind == Kind::Clip) {
            return Target{o->clipId, -1};
        }
        return std::nullopt;
    }
    if (v.isNumber()) {
        double n = std::floor(v.asNumber());
        if (n >= 0 && n < 1e6) {
            return Target{-1, static_cast<int>(n)};
        }
        return std::nullopt;
    }
    if (int clip = ClipOf(v); clip >= 0) {
        return Target{clip, -1};
    }
    return std::nullopt;
}

void Load(Runtime& rt, const Target& t, std::string_view url, Object* loader) {
    if (t.clip >= 0) {
        rt.display().LoadMovie(t.clip, url, loader);
    } else {
        rt.display().LoadLevel(t.level, url, loader);
    }
}

Value LoaderConstruct(Runtime& rt, Activation&, Value self, std::vector<Value>&) {
    // The loader is its own first listener.
    if (Object* o = self.object()) {
        o->Set("_listeners", Value(rt.NewArray({self})), kDontEnum);
    }
    return Value();
}

Value LoadClip(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    if (args.size() < 2) {
        return Value();
    }
    auto target = TargetOf(rt, args[1]);
    if (!args[0].isString() || !target) {
        return Value(false);
    }
    Load(rt, *target, args[0].asString(), self.object());
    return Value(true);
}

Value UnloadClip(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    if (args.empty()) {
        return Value();
    }
    auto target = TargetOf(rt, args[0]);
    if (!target) {
        return Value(false);
    }
    Load(rt, *target, "", self.object());
    return Value(true);
}

Value GetProgress(Runtime& rt, Activation&, Value, std::vector<Value>& args) {
    Value v = Arg(args, 0);
    if (args.empty() || (v.isObject() && ClipOf(v) < 0) || v.isNullish()) {
        return Value();
    }
    Object* out = rt.NewPlain();
    Value loaded;
    Value total;
    int clip = -1;
    if (auto target = TargetOf(rt, v)) {
        clip = target->clip;
        if (clip < 0) {
            Object* level = target->level == 0 ? rt.root() : rt.display().Level(target->level);
            clip = level ? level->clipId : -1;
        }
    }
    if (auto bytes = clip >= 0 ? rt.display().BytesOf(clip) : std::nullopt) {
        loaded = Value(bytes->first);
        total = Value(bytes->second);
    }
    rt.Put(Value(out), "bytesLoaded", loaded);
    rt.Put(Value(out), "bytesTotal", total);
    return Value(out);
}

template <bool Total> Value Bytes(Runtime& rt, Activation&, Value self, std::vector<Value>&) {
    int clip = ClipOf(self);
    auto bytes = clip >= 0 ? rt.display().BytesOf(clip) : std::nullopt;
    if (!bytes) {
        return Value();
    }
    return Value(Total ? bytes->second : bytes->first);
}

Value SwfVersion(Runtime& rt, Activation&, Value self, std::vector<Value>&) {
    int clip = ClipOf(self);
    auto version = clip >= 0 ? rt.display().SwfVersion(clip) : std::nullopt;
    return version ? Value(*version) : Value();
}

Value LockRootGet(Runtime& rt, Activation&, Value self, std::vector<Value>&) {
    int clip = ClipOf(self);
    auto lock = clip >= 0 ? rt.display().LockRoot(clip) : std::nullopt;
    return lock ? Value(*lock) : Value();
}

Value LockRootSet(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    if (int clip = ClipOf(self); clip >= 0) {
        rt.display().SetLockRoot(clip, rt.ToBool(Arg(args, 0)));
    }
    return Value();
}

Value ClipLoadMovie(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    if (int clip = ClipOf(self); clip >= 0 && !args.empty()) {
        rt.display().LoadMovie(clip, rt.ToStr(args[0]), nullptr);
    }
    return Value();
}

Value ClipUnloadMovie(Runtime& rt, Activation&, Value self, std::vector<Value>&) {
    if (int clip = ClipOf(self); clip >= 0) {
        rt.display().LoadMovie(clip, "", nullptr);
    }
    return Value();
}

} // namespace

void InstallLoading(Runtime& rt, Object* global) {
    Object* proto = rt.NewPlain();
    rt.MakeClass("MovieClipLoader", LoaderConstruct, proto, global);
    Value broadcaster = rt.Get(Value(global), "AsBroadcaster");
    for (const char* name : {"addListener", "removeListener", "broadcastMessage"}) {
        proto->Set(name, rt.Get(broadcaster, name), kDontEnum);
    }
    rt.Method(proto, "loadClip", LoadClip);
    rt.Method(proto, "unloadClip", UnloadClip);
    rt.Method(proto, "getProgress", GetProgress);

    Object* clip = rt.clipProto_;
    rt.Method(clip, "loadMovie", ClipLoadMovie);
    rt.Method(clip, "unloadMovie", ClipUnloadMovie);
    rt.Method(clip, "getSWFVersion", SwfVersion);
    Accessor(rt, clip, "_lockroot", LockRootGet, LockRootSet);
    rt.Method(clip, "getBytesLoaded", Bytes<false>);
    rt.Method(clip, "getBytesTotal", Bytes<true>);
}

} // namespace fw::avm1
