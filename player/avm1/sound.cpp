// Sound: the volume and the balance of a timeline's sounds, or of all sounds when it names no
// timeline, the library sounds it attaches and the MP3 files it loads. A sound names its
// timeline by path, so one renamed away loses it until it is renamed back. What it plays is
// heard through the display's mixer; its position, its end and onSoundComplete follow the
// clock the scripts read, which the mixer keeps pace with.

#include "mp3_info.h"
#include "runtime.h"

#include "audio/mixer.h"
#include "swf/movie.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>

namespace fw::avm1 {
namespace {

// How much of each source channel goes to each speaker, in percent.
struct Mix {
    double volume = 100;
    double ll = 100, lr = 0, rr = 100, rl = 0;
};

// One start of a loaded sound: when, from how far in (ms) and how many times over.
struct Play {
    double start = 0;
    double offset = 0;
    int loops = 1;
};

struct SoundState {
    std::optional<std::string> target; // none: all sounds
    bool loading = false;
    bool loaded = false;
    bool streaming = false;         // loaded with streaming asked: one play at a time
    std::optional<std::string> url; // asked for and not yet read
    std::optional<double> duration;
    double position = 0; // where the last play stood when it ended or was stopped
    std::vector<Play> playing;
    std::vector<Play> queued; // started while loading: they begin once loaded
    double bytesLoaded = 0;
    std::optional<double> bytesTotal;
    // What the mixer plays for it: a library sound attached, or a file loaded and decoded.
    std::shared_ptr<const swf::SoundDefinition> attached;
    std::shared_ptr<const audio::Pcm> pcm;
    const void* key = nullptr;   // the sound, as the mixer knows it
    const void* movie = nullptr; // the movie whose library it is from, which it goes with
    std::vector<int> voices;
};

// Kept on the Sound class: the mix of all sounds and of each timeline by its display id, and
// every sound made, for the stop that stops them all.
struct Mixer : HostData {
    Mix global;
    std::map<int, Mix> clips;
    std::vector<std::weak_ptr<SoundState>> sounds;
    void Trace(std::vector<Object*>&) const override {}
};

struct SoundData : ActiveHost {
    std::shared_ptr<SoundState> state = std::make_shared<SoundState>();
    void Trace(std::vector<Object*>&) const override {}
    bool Poll(Runtime& rt, Object* self) override;
    bool Idle() const override { return !state->url && state->playing.empty(); }
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

SoundState* StateOf(const Value& self) {
    Object* o = self.object();
    auto* data = o && o->host ? dynamic_cast<SoundData*>(o->host.get()) : nullptr;
    return data ? data->state.get() : nullptr;
}

// The timeline a sound names; null when it names none or that one is not there (any more).
Object* TargetClip(Runtime& rt, const SoundState& s) {
    if (!s.target) {
        return nullptr;
    }
    Object* clip = rt.GetPath(*s.target).object();
    return clip && clip->kind == Kind::Clip ? clip : nullptr;
}

// A sound that names a timeline acts only while that timeline is there to be found.
bool TargetLost(Runtime& rt, const SoundState& s) {
    return s.target && !TargetClip(rt, s);
}

// The mix the sound controls and whose sounds it weighs in the mixer; null when its timeline
// is not there (any more).
Mix* MixOf(Runtime& rt, const Value& self, int* owner = nullptr) {
    SoundState* s = StateOf(self);
    Mixer* mixer = MixerOf(rt);
    if (!s || !mixer) {
        return nullptr;
    }
    if (!s->target) {
        if (owner) {
            *owner = audio::kEverySound;
        }
        return &mixer->global;
    }
    Object* clip = TargetClip(rt, *s);
    if (!clip) {
        return nullptr;
    }
    if (owner) {
        *owner = clip->clipId;
    }
    return &mixer->clips[clip->clipId];
}

// Hands a changed mix to the mixer, so what plays is heard with it.
void Heard(Runtime& rt, const Value& self) {
    int owner = audio::kEverySound;
    Mix* m = MixOf(rt, self, &owner);
    audio::Mixer* sounds = rt.display().Sounds();
    if (m && sounds) {
        sounds->SetTransform(owner, audio::Transform{m->volume, m->ll, m->lr, m->rr, m->rl});
    }
}

// Starts the sound's samples in the mixer from an offset in milliseconds.
void PlayVoice(Runtime& rt, SoundState& s, const Value& self, double offset, int loops) {
    audio::Mixer* sounds = rt.display().Sounds();
    if (!sounds) {
        return;
    }
    if (s.attached && !s.pcm) {
        std::string error;
        s.pcm = sounds->Decoded(s.attached, error);
        if (!error.empty()) {
            rt.Report("sound: " + error);
        }
    }
    int owner = audio::kEverySound;
    MixOf(rt, self, &owner);
    audio::VoiceStart how;
    how.owner = owner;
    how.key = s.key;
    how.movie = s.movie;
    how.inPoint = static_cast<std::uint32_t>(std::clamp(offset * audio::kMixRate / 1000, 0.0, 4e9));
    how.loops = loops;
    std::erase_if(s.voices, [&](int v) { return !sounds->PlayingVoice(v); });
    if (int voice = sounds->Start(s.pcm, how)) {
        s.voices.push_back(voice);
    }
}

// The length of one pass of a play, from its offset on.
double PassLength(const SoundState& s, const Play& p) {
    return std::max(0.0, s.duration.value_or(0) - p.offset);
}

double PlayEnd(const SoundState& s, const Play& p) {
    return p.start + PassLength(s, p) * p.loops;
}

double Position(Runtime& rt, const SoundState& s) {
    if (s.playing.empty()) {
        return s.position;
    }
    const Play& p = s.playing.back();
    double pass = PassLength(s, p);
    double into = std::max(0.0, rt.now() - p.start);
    return pass > 0 ? p.offset + std::min(std::fmod(into, pass), pass) : p.offset;
}

void Silence(Runtime& rt, SoundState& s) {
    if (audio::Mixer* sounds = rt.display().Sounds()) {
        for (int v : s.voices) {
            sounds->StopVoice(v);
        }
    }
    s.voices.clear();
}

void StartPlay(Runtime& rt, SoundState& s, const Value& self, Play p) {
    if (s.streaming && !s.playing.empty()) {
        s.position = Position(rt, s);
        s.playing.clear(); // a streamed sound plays once at a time
        Silence(rt, s);
    }
    p.start = rt.now();
    s.playing.push_back(p);
    PlayVoice(rt, s, self, p.offset, p.loops);
}

Value Construct(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    Object* o = self.object();
    if (!o) {
        return Value();
    }
    auto data = std::make_unique<SoundData>();
    Value target = Arg(args, 0);
    if (Object* clip = target.object(); clip && clip->kind == Kind::Clip) {
        data->state->target = rt.Describe(clip);
    } else if (!target.isUndefined()) {
        data->state->target = rt.ToStr(target);
    }
    if (Mixer* mixer = MixerOf(rt)) {
        std::erase_if(mixer->sounds, [](const auto& w) { return w.expired(); });
        mixer->sounds.push_back(data->state);
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
        Heard(rt, self);
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
        Heard(rt, self);
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
    Heard(rt, self);
    return Value();
}

Value GetDuration(Runtime&, Activation&, Value self, std::vector<Value>&) {
    SoundState* s = StateOf(self);
    return s && s->duration ? Value(*s->duration) : Value();
}

// The counters a loaded sound gains: its position reads undefined until it is loaded.
Value PositionProperty(Runtime& rt, Activation&, Value self, std::vector<Value>&) {
    SoundState* s = StateOf(self);
    return s && s->loaded ? Value(Position(rt, *s)) : Value();
}

// A getter the sound itself carries, in place of whatever the movie had put there.
void OwnCounter(Runtime& rt, Object* o, const char* name, NativeFn get) {
    Property& p = o->Set(name, Value(), kDontEnum | kDontDelete);
    p.flags = kDontEnum | kDontDelete;
    p.getter = rt.NewFunction(get);
}

// A sound with something to play (attached or loaded) gains its position and duration.
void AddCounters(Runtime& rt, Object* self) {
    if (self && (!rt.Has(self, "position") || !rt.Has(self, "duration"))) {
        OwnCounter(rt, self, "position", PositionProperty);
        OwnCounter(rt, self, "duration", GetDuration);
    }
}

// start(secondOffset, loops): plays a loaded sound from the offset; one still loading plays
// once loaded; one with nothing loaded stays silent.
Value Start(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    SoundState* s = StateOf(self);
    if (!s || TargetLost(rt, *s)) {
        return Value();
    }
    double offset = args.empty() ? 0 : rt.ToNum(args[0]);
    double loops = args.size() < 2 ? 1 : rt.ToNum(args[1]);
    Play p;
    p.offset = std::isfinite(offset) && offset > 0 ? offset * 1000 : 0;
    p.loops = std::isfinite(loops) && loops >= 1 ? static_cast<int>(std::min(loops, 65535.0)) : 1;
    if (s->loaded) {
        StartPlay(rt, *s, self, p);
        rt.Activate(self.object());
    } else if (s->loading) {
        s->queued.push_back(p);
    }
    return Value();
}

// The library a sound draws on: that of the movie its timeline came from, else the first
// level's; null when its timeline is lost.
const swf::Movie* LibraryOf(Runtime& rt, const SoundState& s) {
    if (!s.target) {
        return rt.movie;
    }
    Object* clip = TargetClip(rt, s);
    return clip ? rt.display().MovieOf(clip->clipId) : nullptr;
}

// The library sound exported under a name; null when there is none.
std::shared_ptr<const swf::SoundDefinition> Exported(Runtime& rt, const swf::Movie* library,
                                                     const std::string& name) {
    if (!library) {
        return nullptr;
    }
    for (const auto& [symbol, id] : library->exports) {
        if (symbol == name || (rt.version() < 7 && AsciiLower(symbol) == AsciiLower(name))) {
            auto it = library->sounds.find(id);
            return it == library->sounds.end() ? nullptr : it->second;
        }
    }
    return rt.display().ImportedSound(library, name);
}

// attachSound(name): the library sound exported under the name is what start plays.
Value AttachSound(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    SoundState* s = StateOf(self);
    if (!s || args.empty()) {
        return Value();
    }
    const swf::Movie* library = LibraryOf(rt, *s);
    auto sound = Exported(rt, library, rt.ToStr(args[0]));
    if (!sound) {
        return Value();
    }
    s->attached = sound;
    s->pcm.reset();
    s->key = sound.get();
    s->movie = library;
    s->loaded = true;
    s->streaming = false;
    s->duration =
        sound->sampleCount > 0 ? std::round(sound->sampleCount * 1000.0 / sound->rate()) : 0;
    AddCounters(rt, self.object());
    return Value();
}

// stop(): this sound's timeline's sounds, or every sound when it names none. A linked sound's
// name stops that sound alone, and no loaded file has one.
Value Stop(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    SoundState* s = StateOf(self);
    Mixer* mixer = MixerOf(rt);
    audio::Mixer* sounds = rt.display().Sounds();
    if (s && TargetLost(rt, *s)) {
        return Value();
    }
    if (s && mixer && !args.empty()) {
        auto sound = Exported(rt, LibraryOf(rt, *s), rt.ToStr(args[0]));
        if (sound && sounds) {
            sounds->StopSound(sound.get());
        }
        for (const auto& weak : mixer->sounds) {
            auto other = weak.lock();
            if (other && sound && other->key == sound.get()) {
                other->position = Position(rt, *other);
                other->playing.clear();
                other->voices.clear();
            }
        }
        return Value();
    }
    if (!s || !mixer) {
        return Value();
    }
    int owner = audio::kEverySound;
    if (sounds && (!s->target || MixOf(rt, self, &owner))) {
        if (owner == audio::kEverySound) {
            sounds->StopAll();
        } else {
            sounds->StopOwner(owner);
        }
    }
    for (const auto& weak : mixer->sounds) {
        auto other = weak.lock();
        if (other && (!s->target || other->target == s->target)) {
            other->position = Position(rt, *other);
            other->playing.clear();
            other->queued.clear();
            Silence(rt, *other);
        }
    }
    return Value();
}

Value GetPosition(Runtime& rt, Activation&, Value self, std::vector<Value>&) {
    SoundState* s = StateOf(self);
    return s && (s->loaded || s->loading) ? Value(Position(rt, *s)) : Value();
}

Value LoadSound(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    SoundState* s = StateOf(self);
    if (!s || args.empty()) {
        return Value();
    }
    s->streaming = rt.ToBool(Arg(args, 1));
    if (s->streaming) {
        s->position = Position(rt, *s);
        s->playing.clear();
        Silence(rt, *s);
    }
    s->loading = true;
    s->loaded = false;
    s->queued.clear();
    s->url = rt.ToStr(args[0]);
    rt.Activate(self.object());
    return Value();
}

Value BytesLoaded(Runtime&, Activation&, Value self, std::vector<Value>&) {
    SoundState* s = StateOf(self);
    return s ? Value(s->bytesLoaded) : Value();
}

Value BytesTotal(Runtime&, Activation&, Value self, std::vector<Value>&) {
    SoundState* s = StateOf(self);
    return s && s->bytesTotal ? Value(*s->bytesTotal) : Value();
}

Value Nothing(Runtime&, Activation&, Value, std::vector<Value>&) {
    return Value();
}

// The tag's frames by their ids, and the older short names of the common ones; several
// comments make a list under their id, the last one stands under its short name. The object
// has no prototype, as the tag is plain data.
Object* Id3Object(Runtime& rt, const std::vector<Id3Frame>& frames) {
    static constexpr std::pair<const char*, const char*> kShortNames[] = {
        {"COMM", "comment"}, {"TALB", "album"}, {"TCON", "genre"}, {"TIT2", "songname"},
        {"TPE1", "artist"},  {"TRCK", "track"}, {"TYER", "year"}};
    Object* id3 = rt.NewObject(nullptr);
    for (const auto& frame : frames) {
        Value text = rt.Text(frame.text);
        Value full = text;
        if (frame.comment) {
            Object* list = nullptr;
            if (Property* p = id3->FindOwn(frame.id); p && p->value.object()) {
                list = p->value.object();
            } else {
                list = rt.NewArray();
            }
            rt.ArraySet(list, Runtime::IndexName(rt.Length(list)), text);
            full = Value(list);
        }
        for (const auto& [id, name] : kShortNames) {
            if (frame.id == id) {
                rt.Put(Value(id3), name, text);
            }
        }
        rt.Put(Value(id3), frame.id, full);
    }
    return id3;
}

// A file arrives: it plays what was started while it loaded, gains its counters, hands its tag
// to onID3 and tells onLoad whether it is a sound at all.
void Arrive(Runtime& rt, Object* self, const std::shared_ptr<SoundState>& s) {
    std::string url = *s->url;
    s->url.reset();
    s->loading = false;
    std::optional<std::string> bytes = rt.display().ReadFile(url);
    Mp3Info info;
    if (bytes) {
        info = ReadMp3Info(*bytes);
    } else {
        rt.Report("could not load " + url);
    }
    bool ok = info.frames > 0;
    if (ok) {
        s->loaded = true;
        s->attached.reset();
        s->pcm.reset();
        s->key = s.get();
        s->movie = nullptr;
        audio::Mixer* sounds = rt.display().Sounds();
        std::string error;
        if (sounds && sounds->mp3()) {
            auto data = reinterpret_cast<const std::uint8_t*>(bytes->data());
            audio::Pcm pcm;
            if (sounds->mp3()->Decode({data, bytes->size()}, pcm, error)) {
                s->pcm = std::make_shared<const audio::Pcm>(std::move(pcm));
            } else {
                rt.Report(url + ": " + error);
            }
        }
        s->bytesLoaded = static_cast<double>(bytes->size());
        s->bytesTotal = s->bytesLoaded;
        s->duration = 0; // until the tag is read
        std::vector<Play> queued;
        queued.swap(s->queued);
        for (const Play& p : queued) {
            StartPlay(rt, *s, Value(self), p);
        }
        AddCounters(rt, self);
        if (info.tag) {
            Object* id3 = Id3Object(rt, *info.tag);
            if (!rt.Has(self, "id3")) {
                self->Set("id3", Value(id3), kDontEnum | kDontDelete | kReadOnly);
            }
            rt.CallMethod(Value(self), "onID3", {Value(true)});
        }
        s->duration = std::round(info.durationMs);
    }
    rt.CallMethod(Value(self), "onLoad", {Value(ok)});
    if (ok && s->streaming) {
        StartPlay(rt, *s, Value(self), Play{});
    }
}

bool SoundData::Poll(Runtime& rt, Object* self) {
    // A handler may give the object another native part; the state lives on while needed.
    std::shared_ptr<SoundState> s = state;
    bool moved = false;
    if (s->url) {
        Arrive(rt, self, s);
        moved = true;
    }
    std::vector<Play> ended;
    std::erase_if(s->playing, [&](const Play& p) {
        bool over = rt.now() >= PlayEnd(*s, p);
        if (over) {
            ended.push_back(p);
        }
        return over;
    });
    for (std::size_t i = 0; i < ended.size(); ++i) {
        s->position = s->duration.value_or(0);
        rt.CallMethod(Value(self), "onSoundComplete", {});
        moved = true;
    }
    return moved;
}

} // namespace

void InstallSound(Runtime& rt, Object* global) {
    Object* proto = rt.NewPlain();
    Object* cls = rt.MakeClass("Sound", Construct, proto, global);
    cls->host = std::make_unique<Mixer>();
    rt.soundClass_ = cls;
    const std::pair<const char*, NativeFn> methods[] = {
        {"getPan", GetPan},
        {"getTransform", GetTransform},
        {"getVolume", GetVolume},
        {"setPan", SetPan},
        {"setTransform", SetTransform},
        {"setVolume", SetVolume},
        {"stop", Stop},
        {"attachSound", AttachSound},
        {"start", Start},
        {"getDuration", GetDuration},
        {"setDuration", Nothing},
        {"getPosition", GetPosition},
        {"setPosition", Nothing},
        {"loadSound", LoadSound},
        {"getBytesLoaded", BytesLoaded},
        {"getBytesTotal", BytesTotal},
    };
    for (const auto& [name, fn] : methods) {
        rt.Method(proto, name, fn);
    }
}

} // namespace fw::avm1
