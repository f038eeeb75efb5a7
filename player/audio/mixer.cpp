#include "mixer.h"

#include <algorithm>
#include <cmath>

namespace fw::audio {
namespace {

// The envelope's levels (0 to 1) at a position in 44.1 kHz samples: the points' levels
// joined by straight lines, the first and last held before and after them.
std::pair<double, double> EnvelopeAt(const std::vector<swf::EnvelopePoint>& env, double at) {
    if (env.empty()) {
        return {1, 1};
    }
    constexpr double kFull = 32768;
    if (at <= env.front().position) {
        return {env.front().left / kFull, env.front().right / kFull};
    }
    for (std::size_t i = 1; i < env.size(); ++i) {
        const auto& a = env[i - 1];
        const auto& b = env[i];
        if (at < b.position) {
            double span = static_cast<double>(b.position) - a.position;
            double t = span > 0 ? (at - a.position) / span : 1;
            return {(a.left + (b.left - a.left) * t) / kFull,
                    (a.right + (b.right - a.right) * t) / kFull};
        }
    }
    return {env.back().left / kFull, env.back().right / kFull};
}

constexpr double kLoud = 1 << 20;

// How long a stream that ran out waits for its next block before it counts as ended, and the
// most it holds ahead of what was heard (a host that does not pull sound at all), in output
// frames.
constexpr std::size_t kStreamWait = kMixRate / 2;
constexpr double kStreamAhead = kMixRate * 4.0;

// What a stream voice is known by among the sounds.
constexpr char kStreamKey = 0;

double Finite(double v) {
    return std::isfinite(v) ? v : 0;
}

// Source channels to speakers: [left from left, left from right, right from left, right from
// right], each a factor.
struct Weights {
    double a = 1, b = 0, c = 0, d = 1;
};

Weights Of(const Transform& t) {
    double v = Finite(t.volume) / 100;
    return {Finite(t.ll) / 100 * v, Finite(t.lr) / 100 * v, Finite(t.rl) / 100 * v,
            Finite(t.rr) / 100 * v};
}

// Applies inner first, then outer.
Weights Then(const Weights& inner, const Weights& outer) {
    return {outer.a * inner.a + outer.b * inner.c, outer.a * inner.b + outer.b * inner.d,
            outer.c * inner.a + outer.d * inner.c, outer.c * inner.b + outer.d * inner.d};
}

} // namespace

std::shared_ptr<const Pcm> Mixer::Decoded(const std::shared_ptr<const swf::SoundDefinition>& sound,
                                          std::string& error) {
    if (!sound) {
        return nullptr;
    }
    auto it = decoded_.find(sound.get());
    if (it != decoded_.end()) {
        return it->second.pcm;
    }
    std::shared_ptr<const Pcm> pcm;
    if (auto decoded = DecodeSound(*sound, mp3_, error)) {
        pcm = std::make_shared<const Pcm>(std::move(*decoded));
    }
    decoded_.emplace(sound.get(), Cached{sound, pcm});
    return pcm;
}

int Mixer::Start(std::shared_ptr<const Pcm> pcm, VoiceStart how) {
    if (!pcm || pcm->frames() == 0 || pcm->rate <= 0 || voices_.size() >= kMaxVoices) {
        return 0;
    }
    Voice v;
    v.number = nextVoice_++;
    double toSource = pcm->rate / kMixRate;
    double frames = static_cast<double>(pcm->frames());
    v.begin = std::min(how.inPoint * toSource, frames);
    v.end = how.outPoint ? std::clamp(*how.outPoint * toSource, v.begin, frames) : frames;
    if (v.end <= v.begin) {
        return 0;
    }
    v.position = v.begin;
    v.loopsLeft = std::max(how.loops, 1);
    v.pcm = std::move(pcm);
    v.how = std::move(how);
    voices_.push_back(std::move(v));
    return voices_.back().number;
}

bool Mixer::Playing(const void* key) const {
    return std::any_of(voices_.begin(), voices_.end(),
                       [&](const Voice& v) { return v.how.key == key; });
}

bool Mixer::PlayingVoice(int voice) const {
    return std::any_of(voices_.begin(), voices_.end(),
                       [&](const Voice& v) { return v.number == voice; });
}

void Mixer::StopVoice(int voice) {
    std::erase_if(voices_, [&](const Voice& v) { return v.number == voice; });
}

void Mixer::StopSound(const void* key) {
    std::erase_if(voices_, [&](const Voice& v) { return v.how.key == key; });
}

void Mixer::StopOwner(int owner) {
    std::erase_if(voices_, [&](const Voice& v) { return v.how.owner == owner; });
}

void Mixer::StopMovie(const void* movie) {
    std::erase_if(voices_, [&](const Voice& v) { return movie && v.how.movie == movie; });
}

void Mixer::StopAll() {
    voices_.clear();
}

void Mixer::Stream(int owner, const Pcm& block) {
    if (block.frames() == 0 || block.rate <= 0 || block.channels < 1 || block.channels > 2) {
        return;
    }
    auto it = std::find_if(voices_.begin(), voices_.end(),
                           [&](const Voice& v) { return v.stream && v.how.owner == owner; });
    if (it != voices_.end() &&
        (it->stream->rate != block.rate || it->stream->channels != block.channels)) {
        voices_.erase(it);
        it = voices_.end();
    }
    if (it == voices_.end()) {
        if (voices_.size() >= kMaxVoices) {
            return;
        }
        Voice v;
        v.number = nextVoice_++;
        v.how.owner = owner;
        v.how.key = &kStreamKey;
        v.stream = std::make_shared<Pcm>();
        v.stream->rate = block.rate;
        v.stream->channels = block.channels;
        v.pcm = v.stream;
        voices_.push_back(std::move(v));
        it = voices_.end() - 1;
    }
    Voice& v = *it;
    auto& samples = v.stream->samples;
    // What was heard goes, but the sample being passed, which the next one is blended with.
    auto heard = static_cast<std::size_t>(v.position);
    heard = heard > 0 ? heard - 1 : 0;
    samples.erase(samples.begin(),
                  samples.begin() +
                      static_cast<long>(heard * static_cast<std::size_t>(block.channels)));
    v.position -= static_cast<double>(heard);
    samples.insert(samples.end(), block.samples.begin(), block.samples.end());
    v.begin = 0;
    v.end = static_cast<double>(v.stream->frames());
    v.position = std::max(v.position, v.end - kStreamAhead * block.rate / kMixRate);
    v.dry = 0;
}

bool Mixer::Streaming(int owner) const {
    return std::any_of(voices_.begin(), voices_.end(),
                       [&](const Voice& v) { return v.stream && v.how.owner == owner; });
}

void Mixer::StopStream(int owner) {
    std::erase_if(voices_, [&](const Voice& v) { return v.stream && v.how.owner == owner; });
}

void Mixer::SetTransform(int owner, const Transform& t) {
    transforms_[owner] = t;
}

void Mixer::Reset() {
    voices_.clear();
    transforms_.clear();
    decoded_.clear();
    acc_.clear();
}

bool Mixer::Render(Voice& v, std::int32_t* acc, std::size_t frames) {
    Weights w;
    if (auto it = transforms_.find(v.how.owner);
        v.how.owner != kEverySound && it != transforms_.end()) {
        w = Of(it->second);
    }
    if (auto it = transforms_.find(kEverySound); it != transforms_.end()) {
        w = Then(w, Of(it->second));
    }
    const Pcm& pcm = *v.pcm;
    const std::int16_t* s = pcm.samples.data();
    const std::size_t ch = static_cast<std::size_t>(pcm.channels);
    const double step = pcm.rate / kMixRate;
    const double toMix = kMixRate / pcm.rate;
    for (std::size_t i = 0; i < frames; ++i) {
        if (v.position >= v.end) {
            if (v.stream) {
                v.dry += frames - i;
                return v.dry < kStreamWait;
            }
            if (--v.loopsLeft <= 0) {
                return false;
            }
            v.position = v.begin + (v.position - v.end);
            if (v.position >= v.end) {
                v.position = v.begin;
            }
        }
        auto at = static_cast<std::size_t>(v.position);
        double f = v.position - static_cast<double>(at);
        std::size_t next = at + 1 < pcm.frames() ? at + 1 : at;
        double left = s[at * ch] + (s[next * ch] - s[at * ch]) * f;
        double right = left;
        if (ch == 2) {
            right = s[at * ch + 1] + (s[next * ch + 1] - s[at * ch + 1]) * f;
        }
        if (!v.how.envelope.empty()) {
            auto [el, er] = EnvelopeAt(v.how.envelope, v.position * toMix);
            left *= el;
            right *= er;
        }
        // Bounded before the cast: a script may ask for any volume at all.
        acc[2 * i] +=
            static_cast<std::int32_t>(std::clamp(w.a * left + w.b * right, -kLoud, kLoud));
        acc[2 * i + 1] +=
            static_cast<std::int32_t>(std::clamp(w.c * left + w.d * right, -kLoud, kLoud));
        v.position += step;
    }
    return true;
}

void Mixer::Mix(std::int16_t* out, std::size_t frames) {
    acc_.assign(2 * frames, 0);
    std::erase_if(voices_, [&](Voice& v) { return !Render(v, acc_.data(), frames); });
    for (std::size_t i = 0; i < 2 * frames; ++i) {
        out[i] = static_cast<std::int16_t>(std::clamp(acc_[i], -32768, 32767));
    }
}

} // namespace fw::audio
