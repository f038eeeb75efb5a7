#pragma once
// Bounds-checked little-endian reading over a byte span: every read past the end fails
// softly (ok() turns false and zeros come back), so callers check once after a group of reads.

#include <cstdint>
#include <cstring>
#include <span>
#include <string>

namespace fw::swf {

class ByteReader {
public:
    explicit ByteReader(std::span<const std::uint8_t> data) : data_(data) {}

    bool ok() const { return ok_; }
    std::size_t pos() const { return pos_; }
    std::size_t size() const { return data_.size(); }
    std::size_t left() const { return data_.size() - pos_; }
    bool atEnd() const { return pos_ >= data_.size(); }

    std::uint8_t U8() {
        if (!Need(1)) {
            return 0;
        }
        return data_[pos_++];
    }
    std::uint16_t U16() {
        if (!Need(2)) {
            return 0;
        }
        std::uint16_t v = static_cast<std::uint16_t>(data_[pos_] | (data_[pos_ + 1] << 8));
        pos_ += 2;
        return v;
    }
    std::uint32_t U32() {
        if (!Need(4)) {
            return 0;
        }
        std::uint32_t v = static_cast<std::uint32_t>(data_[pos_]) |
                          (static_cast<std::uint32_t>(data_[pos_ + 1]) << 8) |
                          (static_cast<std::uint32_t>(data_[pos_ + 2]) << 16) |
                          (static_cast<std::uint32_t>(data_[pos_ + 3]) << 24);
        pos_ += 4;
        return v;
    }
    float F32() {
        std::uint32_t bits = U32();
        float f;
        std::memcpy(&f, &bits, sizeof f);
        return f;
    }
    // Action doubles store the high word first, each word little-endian.
    double ActionDouble() {
        std::uint64_t hi = U32();
        std::uint64_t lo = U32();
        std::uint64_t bits = (hi << 32) | lo;
        double d;
        std::memcpy(&d, &bits, sizeof d);
        return d;
    }
    // A zero-terminated string; a missing terminator is an error.
    std::string CString() {
        std::size_t start = pos_;
        while (pos_ < data_.size() && data_[pos_] != 0) {
            ++pos_;
        }
        if (pos_ >= data_.size()) {
            ok_ = false;
            pos_ = data_.size();
            return {};
        }
        std::string s(reinterpret_cast<const char*>(data_.data()) + start, pos_ - start);
        ++pos_;
        return s;
    }
    std::span<const std::uint8_t> Bytes(std::size_t n) {
        if (!Need(n)) {
            return {};
        }
        auto s = data_.subspan(pos_, n);
        pos_ += n;
        return s;
    }
    void Skip(std::size_t n) { Bytes(n); }

private:
    bool Need(std::size_t n) {
        if (!ok_ || data_.size() - pos_ < n) {
            ok_ = false;
            pos_ = data_.size();
            return false;
        }
        return true;
    }

    std::span<const std::uint8_t> data_;
    std::size_t pos_ = 0;
    bool ok_ = true;
};

// Reads bit fields most significant bit first, as the movie header's rectangle is stored.
class BitReader {
public:
    explicit BitReader(ByteReader& bytes) : bytes_(bytes) {}
    std::uint32_t Unsigned(int n) {
        std::uint32_t v = 0;
        for (int i = 0; i < n; ++i) {
            if (bit_ == 0) {
                cur_ = bytes_.U8();
                bit_ = 8;
            }
            --bit_;
            v = (v << 1) | ((cur_ >> bit_) & 1u);
        }
        return v;
    }
    // Drops the rest of the current byte: the next field starts on a byte boundary.
    void Align() { bit_ = 0; }
    std::int32_t Signed(int n) {
        if (n == 0) {
            return 0;
        }
        std::uint32_t v = Unsigned(n);
        if (n < 32 && (v & (1u << (n - 1)))) {
            v |= ~((1u << n) - 1u);
        }
        return static_cast<std::int32_t>(v);
    }

private:
    ByteReader& bytes_;
    std::uint8_t cur_ = 0;
    int bit_ = 0;
};

} // namespace fw::swf
