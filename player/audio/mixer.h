#pragma once
// The voices that sound at once, mixed into 44.1 kHz stereo as the host pulls it: each voice
// one decoded sound, resampled, shaped by its envelope, looped, and weighted by the volume
// and balance of the clip that plays it and of all sounds. Time moves only as Mix is called.

#include "decode.h"

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace fw::audio {

inline constexpr int kMixRate = 44100;
inline constexpr std::size_t kMaxVoices = 32;
// The owner whose transform weighs every sound, and that of a sound no clip plays.
inline constexpr int kEverySound = -1;

// How much of each source channel reaches each speaker, in percent, and the volume over both
// (as scripts set them: setVolume, setPan, setTransform). ll: left into left, lr: right into
// left, rr: right into right, rl: left into right.
struct Transform {
    double volume = 100;
    double ll = 100, lr = 0, rr = 100, rl = 0;
};

struct VoiceStart {
    int owner = kEverySound;     // the clip whose timeline or Sound started it
    const void* key = nullptr;   // the sound it plays, for stopping it by name
    const void* movie = nullptr; // the movie whose library holds it, which it goes with
    std::uint32_t inPoint = 0;   // in samples at 44.1 kHz from the sound's start
    std::optional<std::uint32_t> outPoint;
    int loops = 1;
    std::vector<swf::EnvelopePoint> envelope;
};

class Mixer {
public:
    // The decoder MP3 sounds go through; none: they are reported, not played.
    void SetMp3Decoder(Mp3Decoder* mp3) { mp3_ = mp3; }
    Mp3Decoder* mp3() const { return mp3_; }

    // A defined sound decoded once and kept while the movie is; null with error set the
    // first time for a sound that does not play.
    std::shared_ptr<const Pcm> Decoded(const std::shared_ptr<const swf::SoundDefinition>& sound,
                                       std::string& error);

    // Starts a voice; returns its number, 0 when there is nothing to play or no voice free.
    int Start(std::shared_ptr<const Pcm> pcm, VoiceStart how);
    bool Playing(const void* key) const;
    bool PlayingVoice(int voice) const;
    void StopVoice(int voice);
    void StopSound(const void* key);
    void StopOwner(int owner);
    void StopMovie(const void* movie);
    void StopAll();
    // A clip's stream: what each frame its timeline enters brings is appended and played on
    // from where the last left off, at the pace of the output rather than of the timeline.
    // While it has samples (and a moment after, in case the host pulls ahead of the frames)
    // it counts among voices(). A block of another coding starts it afresh.
    void Stream(int owner, const Pcm& block);
    bool Streaming(int owner) const;
    void StopStream(int owner);
    // The weights of an owner's sounds; kEverySound's weigh every sound.
    void SetTransform(int owner, const Transform& t);

    // The next frames of output, left and right interleaved (2 * frames values).
    void Mix(std::int16_t* out, std::size_t frames);

    // Everything back to silence, as for another movie; the decoder stays.
    void Reset();
    std::size_t voices() const { return voices_.size(); }

private:
    struct Voice {
        int number = 0;
        std::shared_ptr<const Pcm> pcm;
        VoiceStart how;
        double position = 0; // in source frames
        double begin = 0, end = 0;
        int loopsLeft = 1;
        std::shared_ptr<Pcm> stream; // a stream's samples, which grow as frames bring more
        std::size_t dry = 0;         // output frames a stream has waited for samples
    };
    bool Render(Voice& v, std::int32_t* acc, std::size_t frames);

    Mp3Decoder* mp3_ = nullptr;
    std::vector<Voice> voices_;
    std::map<int, Transform> transforms_;
    // Held with its definition, so the address never comes to name another sound.
    struct Cached {
        std::shared_ptr<const swf::SoundDefinition> sound;
        std::shared_ptr<const Pcm> pcm; // null: it does not play
    };
    std::map<const swf::SoundDefinition*, Cached> decoded_;
    std::vector<std::int32_t> acc_;
    int nextVoice_ = 1;
};

} // namespace fw::audio
