#pragma once
// A small writer of uncompressed AVI files: one video stream of 24- or 32-bit
// bottom-up DIB frames, every frame a key frame, with the idx1 index that
// players use to seek. Portable: it writes little-endian bytes to any
// seekable stream, so the sample clips can be made on the build machine.

#include <cstdint>
#include <ostream>
#include <span>
#include <vector>

namespace fw::clips {

struct AviFormat {
    int width = 0;  // pixels
    int height = 0; // pixels
    int fps = 0;    // frames per second
    // 32 by default: Wine's built-in RLE codec claims uncompressed frames and
    // copies them byte for byte into a buffer of the display's depth (32 bits
    // on a true-colour screen), so 24-bit clips come out garbled there while
    // 32-bit ones pass unchanged. Windows plays both.
    int bitsPerPixel = 32;
};

// Bytes of one DIB row: the pixels' bytes rounded up to a multiple of four.
std::uint32_t DibStride(int width, int bitsPerPixel);

class AviWriter {
public:
    // Writes the headers at once; the frame count and the sizes are filled in by
    // Finish. Throws std::invalid_argument for a size or rate that AVI cannot hold.
    AviWriter(std::ostream& out, const AviFormat& format);
    AviWriter(const AviWriter&) = delete;
    AviWriter& operator=(const AviWriter&) = delete;

    // One frame given top-down, width * 3 bytes a row in blue, green, red order
    // without padding; stored bottom-up with padded rows as DIBs are (in 32-bit
    // frames each pixel gets a fourth, zero byte).
    void AddFrame(std::span<const std::uint8_t> bgrTopDown);

    // Writes the index and the sizes. Throws std::runtime_error when the stream
    // failed, std::logic_error when called twice or with no frame at all.
    void Finish();

    int FrameCount() const { return frames_; }

private:
    void PatchU32(std::streamoff at, std::uint32_t value);

    std::ostream& out_;
    AviFormat format_;
    std::uint32_t frameBytes_ = 0;
    std::streamoff start_ = 0;
    std::streamoff moviType_ = 0; // position of the 'movi' list type
    std::streamoff moviSize_ = 0;
    std::streamoff totalFramesAt_ = 0;
    std::streamoff lengthAt_ = 0;
    int frames_ = 0;
    bool finished_ = false;
    std::vector<std::uint32_t> offsets_; // each frame chunk, from the 'movi' list type
};

} // namespace fw::clips
