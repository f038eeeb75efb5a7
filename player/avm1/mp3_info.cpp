#include "mp3_info.h"

#include <array>
#include <cstdint>

namespace fw::avm1 {
namespace {

std::uint32_t Byte(std::string_view s, std::size_t i) {
    return static_cast<unsigned char>(s[i]);
}

std::uint32_t BigEndian(std::string_view s, std::size_t at, int n) {
    std::uint32_t v = 0;
    for (int i = 0; i < n; ++i) {
        v = v << 8 | Byte(s, at + static_cast<std::size_t>(i));
    }
    return v;
}

// Four bytes of seven bits each, as ID3 writes sizes; nullopt when a high bit is set.
std::optional<std::uint32_t> SyncSafe(std::string_view s, std::size_t at) {
    std::uint32_t v = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        if (Byte(s, at + i) & 0x80) {
            return std::nullopt;
        }
        v = v << 7 | Byte(s, at + i);
    }
    return v;
}

// ID3's "unsynchronisation" put a zero byte after every 0xFF; this takes them out again.
std::string Resync(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        out += s[i];
        if (Byte(s, i) == 0xFF && i + 1 < s.size() && s[i + 1] == 0) {
            ++i;
        }
    }
    return out;
}

void PutUtf8(std::string& out, std::uint32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | c >> 6);
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | c >> 12);
        out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | c >> 18);
        out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
        out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// A text in one of ID3's four encodings (Latin-1, UTF-16 with a byte order mark, UTF-16
// big-endian, UTF-8) as UTF-8, without the zeros that end it.
std::string Decode(int encoding, std::string_view s) {
    std::string out;
    if (encoding == 0) {
        for (std::size_t i = 0; i < s.size(); ++i) {
            PutUtf8(out, Byte(s, i));
        }
    } else if (encoding == 3) {
        out = std::string(s);
    } else {
        bool little = false;
        std::size_t i = 0;
        if (encoding == 1 && s.size() >= 2) {
            if (Byte(s, 0) == 0xFF && Byte(s, 1) == 0xFE) {
                little = true;
                i = 2;
            } else if (Byte(s, 0) == 0xFE && Byte(s, 1) == 0xFF) {
                i = 2;
            } else {
                little = true; // no mark: as the tools of the platform write it
            }
        }
        auto unit = [&](std::size_t at) {
            return little ? Byte(s, at) | Byte(s, at + 1) << 8 : Byte(s, at) << 8 | Byte(s, at + 1);
        };
        for (; i + 1 < s.size(); i += 2) {
            std::uint32_t c = unit(i);
            if (c >= 0xD800 && c < 0xDC00 && i + 3 < s.size()) {
                std::uint32_t low = unit(i + 2);
                if (low >= 0xDC00 && low < 0xE000) {
                    c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
                    i += 2;
                }
            }
            PutUtf8(out, c);
        }
    }
    while (!out.empty() && out.back() == '\0') {
        out.pop_back();
    }
    return out;
}

// Where a text that ends with a zero (two in UTF-16) ends, and the next one starts.
std::size_t SkipTerminated(int encoding, std::string_view s, std::size_t from) {
    bool wide = encoding == 1 || encoding == 2;
    for (std::size_t i = from; i + (wide ? 1 : 0) < s.size(); i += wide ? 2 : 1) {
        if (s[i] == 0 && (!wide || s[i + 1] == 0)) {
            return i + (wide ? 2 : 1);
        }
    }
    return s.size();
}

// Version 2.2's three-letter ids of the frames scripts read, as later versions name them.
constexpr std::array<std::array<const char*, 2>, 20> kOldIds{{
    {"TT2", "TIT2"}, {"TT3", "TIT3"}, {"TP1", "TPE1"}, {"TP2", "TPE2"}, {"TAL", "TALB"},
    {"TRK", "TRCK"}, {"TYE", "TYER"}, {"TCO", "TCON"}, {"COM", "COMM"}, {"TCM", "TCOM"},
    {"TLE", "TLEN"}, {"TMT", "TMED"}, {"TOT", "TOAL"}, {"TOA", "TOPE"}, {"TOF", "TOFN"},
    {"TOR", "TORY"}, {"TPA", "TPOS"}, {"TEN", "TENC"}, {"TCR", "TCOP"}, {"TBP", "TBPM"},
}};

std::optional<std::vector<Id3Frame>> ReadTag(std::string_view bytes, std::size_t& end) {
    end = 0;
    if (bytes.size() < 10 || bytes.substr(0, 3) != "ID3") {
        return std::nullopt;
    }
    int version = static_cast<int>(Byte(bytes, 3));
    int flags = static_cast<int>(Byte(bytes, 5));
    auto size = SyncSafe(bytes, 6);
    if (version < 2 || version > 4 || !size) {
        return std::nullopt;
    }
    end = 10 + static_cast<std::size_t>(*size) + (version == 4 && (flags & 0x10) ? 10 : 0);
    std::string body(bytes.substr(10, *size));
    if ((flags & 0x80) && version < 4) {
        body = Resync(body);
    }
    std::size_t pos = 0;
    if (flags & 0x40) {
        if (version == 2) {
            return std::nullopt; // a compressed tag, which nobody defined
        }
        if (body.size() < 4) {
            return std::nullopt;
        }
        auto extended = version == 3 ? std::optional(BigEndian(body, 0, 4) + 4) : SyncSafe(body, 0);
        if (!extended) {
            return std::nullopt;
        }
        pos = *extended;
    }
    std::vector<Id3Frame> frames;
    std::size_t idSize = version == 2 ? 3 : 4;
    std::size_t headerSize = version == 2 ? 6 : 10;
    while (pos + headerSize <= body.size()) {
        std::string id = body.substr(pos, idSize);
        bool named = true;
        for (char c : id) {
            named = named && ((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'));
        }
        if (!named) {
            break; // the padding after the last frame
        }
        std::optional<std::uint32_t> length =
            version == 2   ? std::optional(BigEndian(body, pos + 3, 3))
            : version == 3 ? std::optional(BigEndian(body, pos + 4, 4))
                           : SyncSafe(body, pos + 4);
        if (!length || *length > body.size() - pos - headerSize) {
            break;
        }
        int format = version == 2 ? 0 : static_cast<int>(Byte(body, pos + 9));
        std::string data = body.substr(pos + headerSize, *length);
        pos += headerSize + *length;
        if (version == 2) {
            for (const auto& [old, now] : kOldIds) {
                if (id == old) {
                    id = now;
                }
            }
        }
        bool grouped = version == 3 ? (format & 0x20) : (format & 0x40);
        bool packed = version == 3 ? (format & 0xC0) : (format & 0x0C);
        if (packed || id.size() != 4) {
            continue; // compressed or encrypted: not for scripts
        }
        if (version == 4 && (format & 0x02)) {
            data = Resync(data);
        }
        std::size_t skip = (grouped ? 1 : 0) + (version == 4 && (format & 0x01) ? 4 : 0);
        if (data.size() <= skip) {
            continue;
        }
        data.erase(0, skip);
        int encoding = static_cast<int>(Byte(data, 0));
        if (encoding > 3) {
            continue;
        }
        std::string_view content(data);
        if (id[0] == 'T' && id != "TXXX") {
            frames.push_back({id, Decode(encoding, content.substr(1)), false});
        } else if (id == "COMM" && content.size() >= 4) {
            std::size_t text = SkipTerminated(encoding, content, 4);
            frames.push_back({id, Decode(encoding, content.substr(text)), true});
        }
    }
    return frames;
}

struct FrameHeader {
    std::size_t length = 0;
    int samples = 0;
    int rate = 0;
    int bitrate = 0;
    int layer = 0;
    int channels = 2;
};

// An MPEG audio frame header (layer I, II or III of versions 1, 2 and 2.5); nullopt for one that
// is none or has no length of its own (free format).
std::optional<FrameHeader> ReadFrameHeader(std::uint32_t h) {
    static constexpr int kRates[4][3] = {
        {11025, 12000, 8000}, {0, 0, 0}, {22050, 24000, 16000}, {44100, 48000, 32000}};
    static constexpr int kBitrates[5][15] = {
        {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448}, // 1, I
        {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},    // 1, II
        {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320},     // 1, III
        {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},    // 2, I
        {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160}};        // 2, II and III
    int version = static_cast<int>(h >> 19 & 3); // 0: 2.5, 2: 2, 3: 1
    int layer = 4 - static_cast<int>(h >> 17 & 3);
    int bitrateIndex = static_cast<int>(h >> 12 & 15);
    int rateIndex = static_cast<int>(h >> 10 & 3);
    if ((h >> 21) != 0x7FF || version == 1 || layer == 4 || bitrateIndex == 0 ||
        bitrateIndex == 15 || rateIndex == 3) {
        return std::nullopt;
    }
    bool first = version == 3;
    int table = first ? layer - 1 : (layer == 1 ? 3 : 4);
    int bitrate = kBitrates[table][bitrateIndex] * 1000;
    int rate = kRates[version][rateIndex];
    int padding = static_cast<int>(h >> 9 & 1);
    FrameHeader f;
    f.rate = rate;
    f.bitrate = bitrate;
    f.layer = layer;
    f.channels = (h >> 6 & 3) == 3 ? 1 : 2;
    if (layer == 1) {
        f.samples = 384;
        f.length = static_cast<std::size_t>((12 * bitrate / rate + padding) * 4);
    } else {
        f.samples = layer == 3 && !first ? 576 : 1152;
        f.length = static_cast<std::size_t>(f.samples / 8 * bitrate / rate + padding);
    }
    return f;
}

// Past the ID3v2 tags at the start; the first one's frames read into tag.
std::size_t SkipTags(std::string_view bytes, std::optional<std::vector<Id3Frame>>& tag) {
    std::size_t pos = 0;
    tag = ReadTag(bytes, pos);
    // Further tags may follow the first; their frames are not read.
    for (std::size_t more = 0; pos < bytes.size() && ReadTag(bytes.substr(pos), more) && more;) {
        pos += more;
    }
    return pos;
}

} // namespace

std::optional<Mp3Frame> FirstMp3Frame(std::string_view bytes) {
    std::optional<std::vector<Id3Frame>> tag;
    for (std::size_t pos = SkipTags(bytes, tag); pos + 4 <= bytes.size(); ++pos) {
        auto frame = ReadFrameHeader(BigEndian(bytes, pos, 4));
        if (frame && frame->length >= 4) {
            return Mp3Frame{pos,         frame->length,  frame->layer,
                            frame->rate, frame->bitrate, frame->channels};
        }
    }
    return std::nullopt;
}

Mp3Info ReadMp3Info(std::string_view bytes) {
    Mp3Info info;
    std::size_t pos = SkipTags(bytes, info.tag);
    long long samples = 0;
    int rate = 0;
    while (pos + 4 <= bytes.size()) {
        if (bytes.size() - pos == 128 && bytes.substr(pos, 3) == "TAG") {
            break; // the old tag at the end
        }
        auto frame = ReadFrameHeader(BigEndian(bytes, pos, 4));
        if (!frame || frame->length < 4) {
            ++pos;
            continue;
        }
        rate = rate ? rate : frame->rate;
        samples += frame->samples;
        ++info.frames;
        pos += frame->length;
    }
    info.durationMs = rate ? static_cast<double>(samples) * 1000 / rate : 0;
    return info;
}

} // namespace fw::avm1
