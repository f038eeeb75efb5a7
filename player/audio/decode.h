#pragma once
// Sounds decoded into 16-bit samples, whatever their coding in the file: uncompressed, ADPCM,
// and MP3 through a decoder the host provides (the platform's codec); Nellymoser and Speex are
// recognised and reported, not played.

#include "swf/sound.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace fw::audio {

// Samples of one or two channels, interleaved.
struct Pcm {
    double rate = 44100;
    int channels = 1;
    std::vector<std::int16_t> samples;
    std::size_t frames() const { return channels > 0 ? samples.size() / channels : 0; }
};

// MP3 frames into samples. The control's is the platform's codec, the runner's mpg123.
class Mp3Decoder {
public:
    virtual ~Mp3Decoder() = default;
    // Decodes every frame in bytes; false with error set when nothing could be decoded.
    virtual bool Decode(std::span<const std::uint8_t> bytes, Pcm& out, std::string& error) = 0;
};

// The most samples a sound may decode to (per channel): ten minutes at 44.1 kHz.
inline constexpr std::size_t kMaxSoundFrames = 44100u * 600;

std::string CodingName(std::uint8_t coding);

// Decodes a defined sound; nullopt with error set for a coding not played (MP3 without a
// decoder among them) or data that yields nothing. Data cut short plays as far as it goes.
std::optional<Pcm> DecodeSound(const swf::SoundDefinition& sound, Mp3Decoder* mp3,
                               std::string& error);

// Samples coded as the file codes them, without the definition around them.
std::optional<Pcm> DecodeSamples(std::uint8_t coding, double rate, bool sixteenBit, bool stereo,
                                 std::uint32_t sampleCount, std::span<const std::uint8_t> data,
                                 Mp3Decoder* mp3, std::string& error);

// One frame's block of a timeline's stream; before: blocks of the frames played just before
// it, oldest first (MP3 decodes on from them), none for the block a stream starts with (whose
// MP3 encoder delay is skipped). nullopt for a block of no samples, with error set when its
// coding does not play.
std::optional<Pcm> DecodeStreamBlock(const swf::StreamBlock& block,
                                     std::span<const swf::StreamBlock* const> before,
                                     Mp3Decoder* mp3, std::string& error);

// Samples coded as ADPCM with codes of 2 to 5 bits, as DefineSound stores them: for sounds of
// our own making (the sample game's) and for checking the decoder against a known tone.
std::vector<std::uint8_t> EncodeAdpcm(std::span<const std::int16_t> samples, int channels,
                                      int bits);

} // namespace fw::audio
