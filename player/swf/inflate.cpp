#include "inflate.h"

#include <algorithm>
#include <array>

namespace fw::swf {
namespace {

constexpr int kMaxBits = 15;
constexpr int kMaxLitLen = 288;
constexpr int kMaxDist = 30;

struct Failure {
    const char* what;
};

// Canonical Huffman table: how many codes have each length, and the symbols in code order.
struct Huffman {
    std::array<std::uint16_t, kMaxBits + 1> count{};
    std::array<std::uint16_t, kMaxLitLen> symbol{};
};

class Decoder {
public:
    Decoder(std::span<const std::uint8_t> in, std::size_t maxOutput, std::vector<std::uint8_t>& out)
        : in_(in), max_(maxOutput), out_(out) {}

    void Run() {
        bool last = false;
        while (!last) {
            last = Bits(1) != 0;
            switch (Bits(2)) {
            case 0:
                Stored();
                break;
            case 1:
                Fixed();
                break;
            case 2:
                Dynamic();
                break;
            default:
                throw Failure{"invalid block type"};
            }
        }
    }

    // Position of the first byte after the deflate data (the checksum follows it).
    std::size_t BytePosition() const { return pos_; }

private:
    std::uint32_t Bits(int need) {
        std::uint32_t val = bitBuf_;
        while (bitCount_ < need) {
            if (pos_ >= in_.size()) {
                throw Failure{"stream ends early"};
            }
            val |= static_cast<std::uint32_t>(in_[pos_++]) << bitCount_;
            bitCount_ += 8;
        }
        bitBuf_ = val >> need;
        bitCount_ -= need;
        return val & ((1u << need) - 1u);
    }

    void Put(std::uint8_t b) {
        if (out_.size() >= max_) {
            throw Failure{"output larger than announced"};
        }
        out_.push_back(b);
    }

    void Stored() {
        bitBuf_ = 0;
        bitCount_ = 0;
        if (in_.size() - pos_ < 4) {
            throw Failure{"stream ends early"};
        }
        unsigned len = in_[pos_] | (in_[pos_ + 1] << 8);
        unsigned nlen = in_[pos_ + 2] | (in_[pos_ + 3] << 8);
        pos_ += 4;
        if (len != (~nlen & 0xffffu)) {
            throw Failure{"stored block length check failed"};
        }
        if (in_.size() - pos_ < len) {
            throw Failure{"stream ends early"};
        }
        for (unsigned i = 0; i < len; ++i) {
            Put(in_[pos_++]);
        }
    }

    int Decode(const Huffman& h) {
        int code = 0;
        int first = 0;
        int index = 0;
        for (int len = 1; len <= kMaxBits; ++len) {
            code |= static_cast<int>(Bits(1));
            int count = h.count[len];
            if (code - count < first) {
                return h.symbol[index + (code - first)];
            }
            index += count;
            first += count;
            first <<= 1;
            code <<= 1;
        }
        throw Failure{"invalid Huffman code"};
    }

    // Builds a table from code lengths; incomplete codes are allowed only where deflate
    // allows them (a single distance code), over-subscribed ones never.
    static int Build(Huffman& h, const std::uint8_t* length, int n) {
        h.count.fill(0);
        for (int s = 0; s < n; ++s) {
            ++h.count[length[s]];
        }
        if (h.count[0] == n) {
            return 0;
        }
        int left = 1;
        for (int len = 1; len <= kMaxBits; ++len) {
            left <<= 1;
            left -= h.count[len];
            if (left < 0) {
                return left;
            }
        }
        std::array<std::uint16_t, kMaxBits + 1> offs{};
        for (int len = 1; len < kMaxBits; ++len) {
            offs[len + 1] = offs[len] + h.count[len];
        }
        for (int s = 0; s < n; ++s) {
            if (length[s] != 0) {
                h.symbol[offs[length[s]]++] = static_cast<std::uint16_t>(s);
            }
        }
        return left;
    }

    void Codes(const Huffman& lencode, const Huffman& distcode) {
        static constexpr std::uint16_t kLenBase[29] = {3,  4,  5,  6,   7,   8,   9,   10,  11, 13,
                                                       15, 17, 19, 23,  27,  31,  35,  43,  51, 59,
                                                       67, 83, 99, 115, 131, 163, 195, 227, 258};
        static constexpr std::uint8_t kLenExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                                       2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
        static constexpr std::uint16_t kDistBase[30] = {
            1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
            193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
        static constexpr std::uint8_t kDistExtra[30] = {0, 0, 0,  0,  1,  1,  2,  2,  3,  3,
                                                        4, 4, 5,  5,  6,  6,  7,  7,  8,  8,
                                                        9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
        for (;;) {
            int symbol = Decode(lencode);
            if (symbol < 256) {
                Put(static_cast<std::uint8_t>(symbol));
                continue;
            }
            if (symbol == 256) {
                return;
            }
            symbol -= 257;
            if (symbol >= 29) {
                throw Failure{"invalid length code"};
            }
            std::size_t len = kLenBase[symbol] + Bits(kLenExtra[symbol]);
            int dsym = Decode(distcode);
            if (dsym >= 30) {
                throw Failure{"invalid distance code"};
            }
            std::size_t dist = kDistBase[dsym] + Bits(kDistExtra[dsym]);
            if (dist > out_.size()) {
                throw Failure{"distance too far back"};
            }
            for (std::size_t i = 0; i < len; ++i) {
                Put(out_[out_.size() - dist]);
            }
        }
    }

    void Fixed() {
        if (!fixedBuilt_) {
            std::array<std::uint8_t, kMaxLitLen> lengths{};
            int s = 0;
            for (; s < 144; ++s) {
                lengths[s] = 8;
            }
            for (; s < 256; ++s) {
                lengths[s] = 9;
            }
            for (; s < 280; ++s) {
                lengths[s] = 7;
            }
            for (; s < kMaxLitLen; ++s) {
                lengths[s] = 8;
            }
            Build(fixedLen_, lengths.data(), kMaxLitLen);
            lengths.fill(5);
            Build(fixedDist_, lengths.data(), kMaxDist);
            fixedBuilt_ = true;
        }
        Codes(fixedLen_, fixedDist_);
    }

    void Dynamic() {
        static constexpr std::uint8_t kOrder[19] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                                    11, 4,  12, 3, 13, 2, 14, 1, 15};
        int nlen = static_cast<int>(Bits(5)) + 257;
        int ndist = static_cast<int>(Bits(5)) + 1;
        int ncode = static_cast<int>(Bits(4)) + 4;
        if (nlen > 286 || ndist > kMaxDist) {
            throw Failure{"bad code counts"};
        }
        std::array<std::uint8_t, kMaxLitLen + kMaxDist> lengths{};
        for (int i = 0; i < ncode; ++i) {
            lengths[kOrder[i]] = static_cast<std::uint8_t>(Bits(3));
        }
        Huffman lencode;
        Huffman distcode;
        if (Build(lencode, lengths.data(), 19) != 0) {
            throw Failure{"incomplete code length code"};
        }
        lengths.fill(0);
        int index = 0;
        while (index < nlen + ndist) {
            int symbol = Decode(lencode);
            if (symbol < 16) {
                lengths[index++] = static_cast<std::uint8_t>(symbol);
                continue;
            }
            std::uint8_t len = 0;
            int repeat = 0;
            if (symbol == 16) {
                if (index == 0) {
                    throw Failure{"repeat with no first length"};
                }
                len = lengths[index - 1];
                repeat = 3 + static_cast<int>(Bits(2));
            } else if (symbol == 17) {
                repeat = 3 + static_cast<int>(Bits(3));
            } else {
                repeat = 11 + static_cast<int>(Bits(7));
            }
            if (index + repeat > nlen + ndist) {
                throw Failure{"too many lengths"};
            }
            while (repeat-- > 0) {
                lengths[index++] = len;
            }
        }
        if (lengths[256] == 0) {
            throw Failure{"no end-of-block code"};
        }
        int err = Build(lencode, lengths.data(), nlen);
        if (err < 0 || (err > 0 && nlen - lencode.count[0] != 1)) {
            throw Failure{"incomplete literal/length code"};
        }
        err = Build(distcode, lengths.data() + nlen, ndist);
        if (err < 0 || (err > 0 && ndist - distcode.count[0] != 1)) {
            throw Failure{"incomplete distance code"};
        }
        Codes(lencode, distcode);
    }

    std::span<const std::uint8_t> in_;
    std::size_t pos_ = 0;
    std::uint32_t bitBuf_ = 0;
    int bitCount_ = 0;
    std::size_t max_;
    std::vector<std::uint8_t>& out_;
    bool fixedBuilt_ = false;
    Huffman fixedLen_;
    Huffman fixedDist_;
};

} // namespace

std::uint32_t Adler32(std::span<const std::uint8_t> data) {
    std::uint32_t a = 1;
    std::uint32_t b = 0;
    for (std::uint8_t byte : data) {
        a = (a + byte) % 65521u;
        b = (b + a) % 65521u;
    }
    return (b << 16) | a;
}

InflateResult ZlibInflate(std::span<const std::uint8_t> input, std::size_t maxOutput) {
    InflateResult result;
    if (input.size() < 2) {
        result.error = "zlib header missing";
        return result;
    }
    unsigned cmf = input[0];
    unsigned flg = input[1];
    if ((cmf & 0x0f) != 8 || (cmf >> 4) > 7 || ((cmf << 8) | flg) % 31 != 0) {
        result.error = "not a zlib stream";
        return result;
    }
    if (flg & 0x20) {
        result.error = "zlib preset dictionary not supported";
        return result;
    }
    Decoder decoder(input.subspan(2), maxOutput, result.data);
    try {
        decoder.Run();
    } catch (const Failure& f) {
        result.error = f.what;
        return result;
    }
    std::size_t end = 2 + decoder.BytePosition();
    if (input.size() - end < 4) {
        result.error = "zlib checksum missing";
        return result;
    }
    std::uint32_t stored = (static_cast<std::uint32_t>(input[end]) << 24) |
                           (static_cast<std::uint32_t>(input[end + 1]) << 16) |
                           (static_cast<std::uint32_t>(input[end + 2]) << 8) | input[end + 3];
    if (stored != Adler32(result.data)) {
        result.error = "zlib checksum mismatch";
    }
    return result;
}

std::vector<std::uint8_t> ZlibStore(std::span<const std::uint8_t> data) {
    std::vector<std::uint8_t> out{0x78, 0x01};
    std::size_t pos = 0;
    do {
        std::size_t len = std::min<std::size_t>(data.size() - pos, 0xffff);
        bool last = pos + len == data.size();
        out.push_back(last ? 1 : 0);
        out.push_back(static_cast<std::uint8_t>(len & 0xff));
        out.push_back(static_cast<std::uint8_t>(len >> 8));
        out.push_back(static_cast<std::uint8_t>(~len & 0xff));
        out.push_back(static_cast<std::uint8_t>((~len >> 8) & 0xff));
        out.insert(out.end(), data.begin() + static_cast<std::ptrdiff_t>(pos),
                   data.begin() + static_cast<std::ptrdiff_t>(pos + len));
        pos += len;
    } while (pos < data.size());
    std::uint32_t sum = Adler32(data);
    for (int shift = 24; shift >= 0; shift -= 8) {
        out.push_back(static_cast<std::uint8_t>(sum >> shift));
    }
    return out;
}

} // namespace fw::swf
