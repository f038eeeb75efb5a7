#pragma once
// Sounds as the file stores them: the samples of DefineSound in their own coding, the
// StartSound records telling a timeline to start, stop or loop one, and a timeline's stream:
// its head's coding and each frame's block of samples.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace fw::swf {

// How the samples are coded, as the file numbers it.
enum class SoundCoding : std::uint8_t {
    PcmNative = 0, // little-endian in every file written for the players of its time
    Adpcm = 1,
    Mp3 = 2,
    PcmLittle = 3,
    Nellymoser16k = 4,
    Nellymoser8k = 5,
    Nellymoser = 6,
    Speex = 11,
};

class ByteReader;

// The rate a rate code stands for: 0 5.5 kHz, 1 11 kHz, 2 22 kHz, 3 44 kHz.
inline double SoundRate(std::uint8_t rateCode) {
    return 44100.0 / (1 << (3 - (rateCode & 3)));
}

struct SoundDefinition {
    std::uint16_t id = 0;
    std::uint8_t coding = 0;   // a SoundCoding, or a number no player knows
    std::uint8_t rateCode = 0; // 0 5.5 kHz, 1 11 kHz, 2 22 kHz, 3 44 kHz
    bool sixteenBit = true;
    bool stereo = false;
    std::uint32_t sampleCount = 0; // per channel
    std::vector<std::uint8_t> data;

    double rate() const { return SoundRate(rateCode); }
};

// A level for each speaker from a position on, in samples at 44.1 kHz; 32768 is full.
struct EnvelopePoint {
    std::uint32_t position = 0;
    std::uint16_t left = 32768;
    std::uint16_t right = 32768;
    friend bool operator==(const EnvelopePoint&, const EnvelopePoint&) = default;
};

struct SoundInfo {
    bool stop = false;                     // stops the sound where it plays instead of starting it
    bool noMultiple = false;               // starts it only where it does not play already
    std::optional<std::uint32_t> inPoint;  // in samples at 44.1 kHz
    std::optional<std::uint32_t> outPoint; // the same
    std::uint16_t loops = 1;
    std::vector<EnvelopePoint> envelope;
    friend bool operator==(const SoundInfo&, const SoundInfo&) = default;
};

// StartSound names the sound by id, StartSound2 by the class name it is exported under.
struct SoundStart {
    std::uint16_t id = 0;
    std::string className;
    SoundInfo info;
};

// How a timeline's stream is coded (SoundStreamHead or SoundStreamHead2).
struct StreamHead {
    std::uint8_t coding = 0;
    std::uint8_t rateCode = 0;
    bool sixteenBit = true;
    bool stereo = false;
    std::uint16_t samplesPerFrame = 0; // as the file says: what each block holds on average
    double rate() const { return SoundRate(rateCode); }
};

// One frame's share of its timeline's stream (SoundStreamBlock), with the coding of the head
// before it, so a frame plays its block alone.
struct StreamBlock {
    StreamHead head;
    std::vector<std::uint8_t> data;
};

std::optional<SoundDefinition> ReadDefineSound(std::span<const std::uint8_t> body,
                                               std::string& problem);
// The flags, points, loops and envelope that StartSound, StartSound2 and DefineButtonSound
// share; r.ok() false when they are cut short.
SoundInfo ReadSoundInfo(ByteReader& r);
// code 15 (StartSound) or 89 (StartSound2).
std::optional<SoundStart> ReadStartSound(std::uint16_t code, std::span<const std::uint8_t> body,
                                         std::string& problem);
std::optional<StreamHead> ReadStreamHead(std::span<const std::uint8_t> body, std::string& problem);

} // namespace fw::swf
