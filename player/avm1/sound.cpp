// Sound: the volume and the balance of a timeline's sounds, or of all sounds when it names no
// timeline. A sound names its timeline by path, so one renamed away loses it until it is
// renamed back. Nothing is heard here: starting and stopping only keep the counters.

#include "runtime.h"

#include <cmath>
#include <map>

namespace fw::avm1 {
namespace {

// How much of each source channel goes to each speaker, in percent.
struct Mix {
    double volume = 100;
    double ll = 100, lr = 0, rr = 100, rl = 0;
};

// Kept on the Sound class: the mix of all sounds and of each timeline by its display id.
struct Mixer : HostData {
    Mix global;
    std::map<int, Mix> clips;
    void Trace(std::vector<Object*>&) const override {}
};

struct SoundData : HostData {
    std::optional<std::string> target; // none: all sounds
    void Trace(std::vector<Object*>&) const override {}
};

Mixer* MixerOf(Runtime& rt) {
    Object* cls = rt.Get(Value(rt.global()), "Sound").object();
    // The class as installed keeps the mixer even when a script replaces the global name.
    for (Object* c : {cls, rt.soundClass_}) {
        if (c && c->host) {
            if (auto* m = dynamic_cast<Mixer*>(c->host.get())) {
                return m;
            }
        }
    }
    return nullptr;
}

// The mix the sound controls; null when its timeline is not there (any more).
Mix* MixOf(Runtime& rt, const Value& self) {
    Object* o = self.object();
    auto* data = o && o->host ? dynamic_cast<SoundData*>(o->host.get()) : nullptr;
    Mixer* mixer = MixerOf(rt);
    if (!data || !mixer) {
        return nullptr;
    }
    if (!data->target) {
        return &mixer->global;
    }
    Object* clip = rt.GetPath(*data->target).object();
    if (!clip || clip->kind != Kind::Clip) {
        return nullptr;
    }
    return &mixer->clips[clip->clipId];
}

Value Construct(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    Object* o = self.object();
    if (!o) {
        return Value();
    }
    auto data = std::make_unique<SoundData>();
    Value target = Arg(args, 0);
    if (Object* clip = target.object(); clip && clip->kind == Kind::Clip) {
        data->target = rt.Describe(clip);
    } else if (!target.isUndefined()) {
        data->target = rt.ToStr(target);
    }
    o->host = std::move(data);
    return Value();
}

Value GetVolume(Runtime& rt, Activation&, Value self, std::vector<Value>&) {
    Mix* m = MixOf(rt, self);
    return m ? Value(m->volume) : Value();
}

Value SetVolume(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    if (Mix* m = MixOf(rt, self)) {
        double v = rt.ToNum(Arg(args, 0));
        m->volume = std::isfinite(v) ? std::trunc(v) : 0;
    }
    return Value();
}

Value GetPan(Runtime& rt, Activation&, Value self, std::vector<Value>&) {
    Mix* m = MixOf(rt, self);
    if (!m) {
        return Value();
    }
    return Value(m->ll != 100 ? 100 - m->ll : m->rr - 100);
}

Value SetPan(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    if (Mix* m = MixOf(rt, self)) {
        double pan = rt.ToNum(Arg(args, 0));
        pan = std::isfinite(pan) ? std::trunc(pan) : 0;
        m->ll = pan > 0 ? 100 - pan : 100;
        m->rr = pan < 0 ? 100 + pan : 100;
        m->lr = m->rl = 0;
    }
    return Value();
}

Value GetTransform(Runtime& rt, Activation&, Value self, std::vector<Value>&) {
    Mix* m = MixOf(rt, self);
    if (!m) {
        return Value();
    }
    Object* t = rt.NewPlain();
    t->Set("ll", Value(m->ll));
    t->Set("lr", Value(m->lr));
    t->Set("rr", Value(m->rr));
    t->Set("rl", Value(m->rl));
    return Value(t);
}

Value SetTransform(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    Mix* m = MixOf(rt, self);
    Value t = Arg(args, 0);
    if (!m || !t.isObject()) {
        return Value();
    }
    for (auto [name, field] : {std::pair{"ll", &Mix::ll}, std::pair{"lr", &Mix::lr},
                               std::pair{"rr", &Mix::rr}, std::pair{"rl", &Mix::rl}}) {
        if (rt.Has(t.asObject(), name)) {
            double v = rt.ToNum(rt.Get(t, name));
            m->*field = std::isfinite(v) ? std::trunc(v) : 0;
        }
    }
    return Value();
}

Value Zero(Runtime&, Activation&, Value, std::vector<Value>&) {
    return Value(0);
}

Value Nothing(Runtime&, Activation&, Value, std::vector<Value>&) {
    return Value();
}

} // namespace

void InstallSound(Runtime& rt, Object* global) {
    Object* proto = rt.NewPlain();
    Object* cls = rt.MakeClass("Sound", Construct, proto, global);
    cls->host = std::make_unique<Mixer>();
    rt.soundClass_ = cls;
    const std::pair<const char*, NativeFn> methods[] = {
        {"getPan", GetPan},         {"getTransform", GetTransform}, {"getVolume", GetVolume},
        {"setPan", SetPan},         {"setTransform", SetTransform}, {"setVolume", SetVolume},
        {"stop", Nothing},          {"attachSound", Nothing},       {"start", Nothing},
        {"getDuration", Zero},      {"setDuration", Nothing},       {"getPosition", Zero},
        {"setPosition", Nothing},   {"loadSound", Nothing},         {"getBytesLoaded", Nothing},
        {"getBytesTotal", Nothing},
    };
    for (const auto& [name, fn] : methods) {
        rt.Method(proto, name, fn);
    }
    if (rt.version() >= 7) { // the read-only counters came with version 7
        Accessor(rt, proto, "duration", Zero);
        Accessor(rt, proto, "position", Zero);
    }
}

} // namespace fw::avm1
