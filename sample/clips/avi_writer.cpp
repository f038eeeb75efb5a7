#include "clips/avi_writer.h"

#include <array>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

namespace fw::clips {
namespace {

constexpr std::uint32_t kAvifHasIndex = 0x10;
constexpr std::uint32_t kAviifKeyFrame = 0x10;
// Frames larger than this would overflow the 32-bit sizes of a RIFF file long
// before the second frame; AVI 1.0 files stop at 1 GB in practice anyway.
constexpr std::uint64_t kMaxFrameBytes = 256u * 1024u * 1024u;

void PutU32(std::ostream& out, std::uint32_t v) {
    const std::array<char, 4> b = {static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF),
                                   static_cast<char>((v >> 16) & 0xFF),
                                   static_cast<char>((v >> 24) & 0xFF)};
    out.write(b.data(), 4);
}

void PutU16(std::ostream& out, std::uint16_t v) {
    const std::array<char, 2> b = {static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)};
    out.write(b.data(), 2);
}

void PutFourCc(std::ostream& out, const char (&cc)[5]) {
    out.write(cc, 4);
}

std::uint32_t ToU32(std::streamoff v) {
    if (v < 0 || static_cast<std::uint64_t>(v) > std::numeric_limits<std::uint32_t>::max()) {
        throw std::runtime_error("AVI file grew beyond 4 GB");
    }
    return static_cast<std::uint32_t>(v);
}

} // namespace

std::uint32_t DibStride(int width, int bitsPerPixel) {
    const auto bytes = static_cast<std::uint32_t>(bitsPerPixel / 8);
    return (static_cast<std::uint32_t>(width) * bytes + 3u) & ~3u;
}

AviWriter::AviWriter(std::ostream& out, const AviFormat& format) : out_(out), format_(format) {
    if (format.width <= 0 || format.height <= 0) {
        throw std::invalid_argument("AVI frame size must be positive, got " +
                                    std::to_string(format.width) + " x " +
                                    std::to_string(format.height));
    }
    if (format.fps <= 0 || format.fps > 1000) {
        throw std::invalid_argument("AVI frame rate must be 1 to 1000, got " +
                                    std::to_string(format.fps));
    }
    if (format.bitsPerPixel != 24 && format.bitsPerPixel != 32) {
        throw std::invalid_argument("AVI frames must have 24 or 32 bits a pixel, got " +
                                    std::to_string(format.bitsPerPixel));
    }
    const std::uint64_t bytes =
        static_cast<std::uint64_t>(DibStride(format.width, format.bitsPerPixel)) *
        static_cast<std::uint64_t>(format.height);
    if (format.width > 65535 || format.height > 65535 || bytes > kMaxFrameBytes) {
        throw std::invalid_argument("AVI frame too large: " + std::to_string(format.width) + " x " +
                                    std::to_string(format.height));
    }
    frameBytes_ = static_cast<std::uint32_t>(bytes);
    const auto w = static_cast<std::uint32_t>(format.width);
    const auto h = static_cast<std::uint32_t>(format.height);
    const auto fps = static_cast<std::uint32_t>(format.fps);

    if (!out_) {
        throw std::runtime_error("cannot write the AVI file: the stream has failed");
    }
    start_ = out_.tellp();
    if (start_ < 0) {
        throw std::invalid_argument("AVI output must be a seekable stream");
    }
    // The RIFF size is patched by Finish.
    PutFourCc(out_, "RIFF");
    PutU32(out_, 0);
    PutFourCc(out_, "AVI ");

    // hdrl: avih (8 + 56) and strl (12 + strh 8 + 56 + strf 8 + 40).
    constexpr std::uint32_t kStrlSize = 4 + (8 + 56) + (8 + 40);
    constexpr std::uint32_t kHdrlSize = 4 + (8 + 56) + (8 + kStrlSize);
    PutFourCc(out_, "LIST");
    PutU32(out_, kHdrlSize);
    PutFourCc(out_, "hdrl");

    PutFourCc(out_, "avih");
    PutU32(out_, 56);
    PutU32(out_, 1000000u / fps); // microseconds per frame
    PutU32(out_, frameBytes_ * fps);
    PutU32(out_, 0); // padding granularity
    PutU32(out_, kAvifHasIndex);
    totalFramesAt_ = out_.tellp();
    PutU32(out_, 0); // total frames, patched
    PutU32(out_, 0); // initial frames
    PutU32(out_, 1); // streams
    PutU32(out_, frameBytes_ + 8);
    PutU32(out_, w);
    PutU32(out_, h);
    for (int i = 0; i < 4; ++i) {
        PutU32(out_, 0);
    }

    PutFourCc(out_, "LIST");
    PutU32(out_, kStrlSize);
    PutFourCc(out_, "strl");

    PutFourCc(out_, "strh");
    PutU32(out_, 56);
    PutFourCc(out_, "vids");
    PutFourCc(out_, "DIB ");
    PutU32(out_, 0); // flags
    PutU16(out_, 0); // priority
    PutU16(out_, 0); // language
    PutU32(out_, 0); // initial frames
    PutU32(out_, 1); // scale
    PutU32(out_, fps);
    PutU32(out_, 0); // start
    lengthAt_ = out_.tellp();
    PutU32(out_, 0); // length in frames, patched
    PutU32(out_, frameBytes_);
    PutU32(out_, 0xFFFFFFFFu); // default quality
    PutU32(out_, 0);           // sample size: varies (one frame a chunk)
    PutU16(out_, 0);
    PutU16(out_, 0);
    PutU16(out_, static_cast<std::uint16_t>(w));
    PutU16(out_, static_cast<std::uint16_t>(h));

    // BITMAPINFOHEADER: a positive height means bottom-up rows.
    PutFourCc(out_, "strf");
    PutU32(out_, 40);
    PutU32(out_, 40);
    PutU32(out_, w);
    PutU32(out_, h);
    PutU16(out_, 1); // planes
    PutU16(out_, static_cast<std::uint16_t>(format.bitsPerPixel));
    PutU32(out_, 0); // BI_RGB
    PutU32(out_, frameBytes_);
    for (int i = 0; i < 4; ++i) {
        PutU32(out_, 0);
    }

    PutFourCc(out_, "LIST");
    moviSize_ = out_.tellp();
    PutU32(out_, 0); // patched
    moviType_ = out_.tellp();
    PutFourCc(out_, "movi");
    if (!out_) {
        throw std::runtime_error("cannot write the AVI headers");
    }
}

void AviWriter::AddFrame(std::span<const std::uint8_t> bgrTopDown) {
    if (finished_) {
        throw std::logic_error("AVI frame added after the file was finished");
    }
    const std::size_t row = static_cast<std::size_t>(format_.width) * 3u;
    const std::size_t expected = row * static_cast<std::size_t>(format_.height);
    if (bgrTopDown.size() != expected) {
        throw std::invalid_argument("AVI frame must hold " + std::to_string(expected) +
                                    " bytes, got " + std::to_string(bgrTopDown.size()));
    }
    const std::uint32_t offset = ToU32(out_.tellp() - moviType_);
    PutFourCc(out_, "00db");
    PutU32(out_, frameBytes_);
    const std::size_t stride = DibStride(format_.width, format_.bitsPerPixel);
    const std::size_t pixelBytes = static_cast<std::size_t>(format_.bitsPerPixel / 8);
    std::vector<char> line(stride, 0);
    for (int y = format_.height - 1; y >= 0; --y) {
        const auto* src = bgrTopDown.data() + static_cast<std::size_t>(y) * row;
        for (std::size_t x = 0; x < static_cast<std::size_t>(format_.width); ++x) {
            for (std::size_t c = 0; c < 3; ++c) {
                line[x * pixelBytes + c] = static_cast<char>(src[x * 3 + c]);
            }
        }
        out_.write(line.data(), static_cast<std::streamsize>(stride));
    }
    // frameBytes_ is a multiple of four, so no pad byte follows the chunk.
    if (!out_) {
        throw std::runtime_error("cannot write AVI frame " + std::to_string(frames_));
    }
    offsets_.push_back(offset);
    ++frames_;
}

void AviWriter::Finish() {
    if (finished_) {
        throw std::logic_error("AVI file finished twice");
    }
    if (frames_ == 0) {
        throw std::logic_error("an AVI file needs at least one frame");
    }
    finished_ = true;
    const std::streamoff moviEnd = out_.tellp();

    PutFourCc(out_, "idx1");
    PutU32(out_, ToU32(static_cast<std::streamoff>(offsets_.size()) * 16));
    for (const std::uint32_t offset : offsets_) {
        PutFourCc(out_, "00db");
        PutU32(out_, kAviifKeyFrame);
        PutU32(out_, offset);
        PutU32(out_, frameBytes_);
    }
    const std::streamoff end = out_.tellp();

    PatchU32(start_ + 4, ToU32(end - start_ - 8));
    PatchU32(moviSize_, ToU32(moviEnd - moviType_));
    PatchU32(totalFramesAt_, static_cast<std::uint32_t>(frames_));
    PatchU32(lengthAt_, static_cast<std::uint32_t>(frames_));
    out_.seekp(end);
    out_.flush();
    if (!out_) {
        throw std::runtime_error("cannot finish the AVI file");
    }
}

void AviWriter::PatchU32(std::streamoff at, std::uint32_t value) {
    out_.seekp(at);
    PutU32(out_, value);
}

} // namespace fw::clips
