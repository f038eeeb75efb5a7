#include "decode.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstdlib>

namespace fw::audio {
namespace {

using swf::SoundCoding;

// Bits from the most significant down, as ADPCM packs its codes; zeros past the end.
class Bits {
public:
    explicit Bits(std::span<const std::uint8_t> data) : data_(data) {}
    std::size_t left() const { return data_.size() * 8 - pos_; }
    std::uint32_t Read(int n) {
        std::uint32_t v = 0;
        for (int i = 0; i < n; ++i) {
            std::uint32_t bit = 0;
            if (pos_ < data_.size() * 8) {
                bit = (data_[pos_ / 8] >> (7 - pos_ % 8)) & 1;
                ++pos_;
            }
            v = (v << 1) | bit;
        }
        return v;
    }
    std::int32_t Signed(int n) {
        std::uint32_t v = Read(n);
        std::uint32_t sign = 1u << (n - 1);
        return static_cast<std::int32_t>(v ^ sign) - static_cast<std::int32_t>(sign);
    }

private:
    std::span<const std::uint8_t> data_;
    std::size_t pos_ = 0;
};

constexpr std::array<std::int32_t, 89> kSteps = {
    7,     8,     9,     10,    11,    12,    13,    14,    16,    17,    19,   21,    23,
    25,    28,    31,    34,    37,    41,    45,    50,    55,    60,    66,   73,    80,
    88,    97,    107,   118,   130,   143,   157,   173,   190,   209,   230,  253,   279,
    307,   337,   371,   408,   449,   494,   544,   598,   658,   724,   796,  876,   963,
    1060,  1166,  1282,  1411,  1552,  1707,  1878,  2066,  2272,  2499,  2749, 3024,  3327,
    3660,  4026,  4428,  4871,  5358,  5894,  6484,  7132,  7845,  8630,  9493, 10442, 11487,
    12635, 13899, 15289, 16818, 18500, 20350, 22385, 24623, 27086, 29794, 32767};

// How the step index moves for each magnitude of a code, by code size (2 to 5 bits).
constexpr std::array<std::int8_t, 2> kIndex2 = {-1, 2};
constexpr std::array<std::int8_t, 4> kIndex3 = {-1, -1, 2, 4};
constexpr std::array<std::int8_t, 8> kIndex4 = {-1, -1, -1, -1, 2, 4, 6, 8};
constexpr std::array<std::int8_t, 16> kIndex5 = {-1, -1, -1, -1, -1, -1, -1, -1,
                                                 1,  2,  4,  6,  8,  10, 13, 16};

const std::int8_t* IndexTable(int bits) {
    return bits == 2   ? kIndex2.data()
           : bits == 3 ? kIndex3.data()
           : bits == 4 ? kIndex4.data()
                       : kIndex5.data();
}

struct AdpcmChannel {
    std::int32_t sample = 0;
    std::int32_t index = 0;

    std::int16_t Step(std::uint32_t code, int bits, const std::int8_t* indexTable) {
        std::int32_t step = kSteps[static_cast<std::size_t>(index)];
        std::uint32_t sign = 1u << (bits - 1);
        std::int32_t diff = step >> (bits - 1);
        for (std::uint32_t mask = sign >> 1; mask; mask >>= 1) {
            if (code & mask) {
                diff += step;
            }
            step >>= 1;
        }
        sample = std::clamp(code & sign ? sample - diff : sample + diff, -32768, 32767);
        index = std::clamp(index + indexTable[code & (sign - 1)], 0, 88);
        return static_cast<std::int16_t>(sample);
    }
};

void DecodeAdpcm(std::span<const std::uint8_t> data, int channels, std::size_t frames,
                 std::vector<std::int16_t>& out) {
    Bits bits(data);
    int size = static_cast<int>(bits.Read(2)) + 2;
    const std::int8_t* table = IndexTable(size);
    std::array<AdpcmChannel, 2> state{};
    std::size_t done = 0;
    // Packets of 4096 samples per channel, each opening with its channels' state in full.
    const std::size_t header = static_cast<std::size_t>(22 * channels);
    while (done < frames && bits.left() >= header) {
        for (int c = 0; c < channels; ++c) {
            state[c].sample = bits.Signed(16);
            state[c].index = static_cast<std::int32_t>(bits.Read(6));
            out.push_back(static_cast<std::int16_t>(state[c].sample));
        }
        ++done;
        for (int i = 1; i < 4096 && done < frames; ++i, ++done) {
            if (bits.left() < static_cast<std::size_t>(size * channels)) {
                return;
            }
            for (int c = 0; c < channels; ++c) {
                out.push_back(state[c].Step(bits.Read(size), size, table));
            }
        }
    }
}

class BitSink {
public:
    void Put(std::uint32_t v, int n) {
        for (int i = n - 1; i >= 0; --i) {
            if (used_ % 8 == 0) {
                bytes.push_back(0);
            }
            bytes.back() |= static_cast<std::uint8_t>(((v >> i) & 1) << (7 - used_ % 8));
            ++used_;
        }
    }
    std::vector<std::uint8_t> bytes;

private:
    std::size_t used_ = 0;
};

void DecodePcm(std::span<const std::uint8_t> data, bool sixteenBit, int channels,
               std::size_t frames, std::vector<std::int16_t>& out) {
    std::size_t width = sixteenBit ? 2 : 1;
    std::size_t count = std::min(frames * static_cast<std::size_t>(channels), data.size() / width);
    count -= count % static_cast<std::size_t>(channels);
    out.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        if (sixteenBit) {
            out.push_back(static_cast<std::int16_t>(data[2 * i] | data[2 * i + 1] << 8));
        } else {
            out.push_back(static_cast<std::int16_t>((data[i] - 128) * 256));
        }
    }
}

// Decodes MP3 frames, drops the first skip sample frames and keeps at most sampleCount (0: all).
bool DecodeMp3(std::span<const std::uint8_t> frames, std::size_t skip, std::uint32_t sampleCount,
               Mp3Decoder* mp3, Pcm& pcm, std::string& error) {
    if (!mp3) {
        error = "MP3 sound not played: no MP3 decoder here";
        return false;
    }
    if (!mp3->Decode(frames, pcm, error)) {
        return false;
    }
    std::size_t channels = static_cast<std::size_t>(std::max(pcm.channels, 1));
    skip = std::min(skip * channels, pcm.samples.size());
    pcm.samples.erase(pcm.samples.begin(), pcm.samples.begin() + static_cast<long>(skip));
    std::size_t most = std::min<std::size_t>(sampleCount, kMaxSoundFrames);
    if (sampleCount > 0 && pcm.frames() > most) {
        pcm.samples.resize(most * channels);
    }
    return true;
}

} // namespace

std::string CodingName(std::uint8_t coding) {
    switch (static_cast<SoundCoding>(coding)) {
    case SoundCoding::PcmNative:
    case SoundCoding::PcmLittle:
        return "uncompressed";
    case SoundCoding::Adpcm:
        return "ADPCM";
    case SoundCoding::Mp3:
        return "MP3";
    case SoundCoding::Nellymoser16k:
    case SoundCoding::Nellymoser8k:
    case SoundCoding::Nellymoser:
        return "Nellymoser";
    case SoundCoding::Speex:
        return "Speex";
    }
    return "coding " + std::to_string(coding);
}

std::optional<Pcm> DecodeSamples(std::uint8_t coding, double rate, bool sixteenBit, bool stereo,
                                 std::uint32_t sampleCount, std::span<const std::uint8_t> data,
                                 Mp3Decoder* mp3, std::string& error) {
    Pcm pcm;
    pcm.rate = rate;
    pcm.channels = stereo ? 2 : 1;
    std::size_t frames = std::min<std::size_t>(sampleCount, kMaxSoundFrames);
    switch (static_cast<SoundCoding>(coding)) {
    case SoundCoding::PcmNative:
    case SoundCoding::PcmLittle:
        DecodePcm(data, sixteenBit, pcm.channels, frames, pcm.samples);
        break;
    case SoundCoding::Adpcm:
        DecodeAdpcm(data, pcm.channels, frames, pcm.samples);
        break;
    case SoundCoding::Mp3: {
        if (data.size() < 2) {
            error = "MP3 sound without data";
            return std::nullopt;
        }
        // The samples before the first one to be heard: the encoder's delay.
        auto seek = static_cast<std::int16_t>(data[0] | data[1] << 8);
        if (!DecodeMp3(data.subspan(2), seek > 0 ? static_cast<std::size_t>(seek) : 0, sampleCount,
                       mp3, pcm, error)) {
            return std::nullopt;
        }
        break;
    }
    default:
        error = CodingName(coding) + " sound not played: its coding is not supported";
        return std::nullopt;
    }
    if (pcm.samples.empty()) {
        error = CodingName(coding) + " sound holds no samples";
        return std::nullopt;
    }
    return pcm;
}

std::optional<Pcm> DecodeStreamBlock(const swf::StreamBlock& block,
                                     std::span<const swf::StreamBlock* const> before,
                                     Mp3Decoder* mp3, std::string& error) {
    const swf::StreamHead& head = block.head;
    std::span<const std::uint8_t> data = block.data;
    constexpr auto kMp3 = static_cast<std::uint8_t>(swf::SoundCoding::Mp3);
    if (head.coding == kMp3) {
        // Each block opens with its own count of samples and, for the first one heard, the
        // encoder's delay to skip; a block of no frames keeps the frame silent.
        if (data.size() < 4) {
            return std::nullopt;
        }
        Pcm pcm;
        pcm.rate = head.rate();
        pcm.channels = head.stereo ? 2 : 1;
        auto count = static_cast<std::uint32_t>(data[0] | data[1] << 8);
        // A frame's data may begin in the frames before it (the layer's bit reservoir), and
        // its first samples finish those of the frame before: decoded after the blocks before,
        // what is theirs (as their counts say) is dropped.
        std::vector<std::uint8_t> joined;
        std::size_t theirs = 0;
        for (const swf::StreamBlock* b : before) {
            if (b && b->head.coding == kMp3 && b->data.size() > 4) {
                joined.insert(joined.end(), b->data.begin() + 4, b->data.end());
                theirs += static_cast<std::size_t>(b->data[0] | b->data[1] << 8);
            }
        }
        std::span<const std::uint8_t> frames = data.subspan(4);
        std::size_t skip = 0;
        if (joined.empty()) {
            auto seek = before.empty() ? static_cast<std::int16_t>(data[2] | data[3] << 8)
                                       : std::int16_t{0};
            skip = seek > 0 ? static_cast<std::size_t>(seek) : 0;
        } else {
            joined.insert(joined.end(), data.begin() + 4, data.end());
            frames = joined;
            skip = theirs;
        }
        if (!DecodeMp3(frames, skip, count, mp3, pcm, error) || pcm.samples.empty()) {
            return std::nullopt;
        }
        return pcm;
    }
    // Uncompressed blocks hold what their bytes hold; ADPCM pads its last byte with bits that
    // would read as samples, so it is held to the head's count (the odd block has one more).
    std::size_t bound = data.size() * 8;
    if (head.coding == static_cast<std::uint8_t>(swf::SoundCoding::Adpcm) &&
        head.samplesPerFrame > 0) {
        bound = head.samplesPerFrame + 1u;
    }
    return DecodeSamples(head.coding, head.rate(), head.sixteenBit, head.stereo,
                         static_cast<std::uint32_t>(std::min<std::size_t>(bound, kMaxSoundFrames)),
                         data, mp3, error);
}

std::vector<std::uint8_t> EncodeAdpcm(std::span<const std::int16_t> samples, int channels,
                                      int bits) {
    bits = std::clamp(bits, 2, 5);
    channels = std::clamp(channels, 1, 2);
    const std::int8_t* table = IndexTable(bits);
    const auto ch = static_cast<std::size_t>(channels);
    BitSink out;
    out.Put(static_cast<std::uint32_t>(bits - 2), 2);
    std::array<AdpcmChannel, 2> state{};
    for (std::size_t i = 0; i < samples.size() / ch; ++i) {
        for (std::size_t c = 0; c < ch; ++c) {
            std::int32_t want = samples[i * ch + c];
            AdpcmChannel& st = state[c];
            if (i % 4096 == 0) {
                st.sample = want;
                out.Put(static_cast<std::uint16_t>(want), 16);
                out.Put(static_cast<std::uint32_t>(st.index), 6);
                continue;
            }
            // The code whose step lands nearest the sample wanted.
            std::uint32_t best = 0;
            std::int32_t bestMiss = INT32_MAX;
            for (std::uint32_t code = 0; code < (1u << bits); ++code) {
                AdpcmChannel trial = st;
                std::int32_t miss = std::abs(trial.Step(code, bits, table) - want);
                if (miss < bestMiss) {
                    bestMiss = miss;
                    best = code;
                }
            }
            st.Step(best, bits, table);
            out.Put(best, bits);
        }
    }
    return std::move(out.bytes);
}

std::optional<Pcm> DecodeSound(const swf::SoundDefinition& sound, Mp3Decoder* mp3,
                               std::string& error) {
    return DecodeSamples(sound.coding, sound.rate(), sound.sixteenBit, sound.stereo,
                         sound.sampleCount, sound.data, mp3, error);
}

} // namespace fw::audio
