#include "image_file.h"

#include <climits>
#include <cstdlib>

// The decoder reads from memory only, and only the formats movies carry.
#define STBI_ONLY_JPEG
#define STBI_ONLY_PNG
#define STBI_ONLY_GIF
#define STBI_NO_STDIO
#define STBI_NO_LINEAR
#define STBI_NO_HDR
#define STBI_MAX_DIMENSIONS 8192
// Zeroed memory: a scan naming a Huffman table the file never defined then finds an empty one
// instead of whatever the allocation held.
#define STBI_MALLOC(size) std::calloc(1, size)
#define STBI_REALLOC(p, size) std::realloc(p, size)
#define STBI_FREE(p) std::free(p)
#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wconversion"
#endif
#include <stb_image.h>
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

#include <algorithm>
#include <memory>

namespace fw::swf {

static_assert(STBI_MAX_DIMENSIONS == kMaxBitmapSide);

ImageFormat SniffImage(std::span<const std::uint8_t> b) {
    if (b.size() >= 3 && b[0] == 0xFF && b[1] == 0xD8) {
        return ImageFormat::Jpeg;
    }
    if (b.size() >= 8 && b[0] == 0x89 && b[1] == 'P' && b[2] == 'N' && b[3] == 'G') {
        return ImageFormat::Png;
    }
    if (b.size() >= 6 && b[0] == 'G' && b[1] == 'I' && b[2] == 'F' && b[3] == '8') {
        return ImageFormat::Gif;
    }
    return ImageFormat::Unknown;
}

namespace {

// The decoder trusts a Huffman table's code counts to fit its 256 symbols; a file whose counts
// add up to more would have it write past the table. Every table anywhere in the stream is
// checked, read as the decoder reads it (on past its segment while the segment says so).
bool HuffmanCountsFit(std::span<const std::uint8_t> b) {
    auto at = [&](std::size_t i) -> unsigned { return i < b.size() ? b[i] : 0u; };
    for (std::size_t p = 0; p + 1 < b.size(); ++p) {
        if (b[p] != 0xFF || b[p + 1] != 0xC4) {
            continue;
        }
        long left = static_cast<long>(at(p + 2) << 8 | at(p + 3)) - 2;
        std::size_t t = p + 4;
        while (left > 0 && t < b.size()) {
            unsigned n = 0;
            for (std::size_t i = 1; i <= 16; ++i) {
                n += at(t + i);
            }
            if (n > 256) {
                return false;
            }
            t += 17 + n;
            left -= 17 + static_cast<long>(n);
        }
    }
    return true;
}

// The decoder grows its buffer to what a PNG chunk announces before reading it; a length
// beyond the file would have it ask for gigabytes.
bool PngChunksFit(std::span<const std::uint8_t> b) {
    std::size_t p = 8;
    while (p + 8 <= b.size()) {
        std::size_t length =
            static_cast<std::size_t>(b[p]) << 24 | b[p + 1] << 16 | b[p + 2] << 8 | b[p + 3];
        if (length > b.size() - p - 8) {
            return false;
        }
        p += 12 + length;
    }
    return true;
}

} // namespace

std::optional<Image> DecodeImageFile(std::span<const std::uint8_t> bytes, std::string& problem,
                                     std::size_t maxPixels) {
    if (SniffImage(bytes) == ImageFormat::Unknown) {
        problem = "not a JPEG, PNG or GIF picture";
        return std::nullopt;
    }
    if (bytes.size() > static_cast<std::size_t>(INT_MAX)) {
        problem = "picture file too large";
        return std::nullopt;
    }
    ImageFormat format = SniffImage(bytes);
    if ((format == ImageFormat::Jpeg && !HuffmanCountsFit(bytes)) ||
        (format == ImageFormat::Png && !PngChunksFit(bytes))) {
        problem = "picture damaged: a table or chunk larger than the file allows";
        return std::nullopt;
    }
    auto size = static_cast<int>(bytes.size());
    int w = 0;
    int h = 0;
    int channels = 0;
    // The header first: a picture too large is refused before anything is allocated for it.
    if (!stbi_info_from_memory(bytes.data(), size, &w, &h, &channels)) {
        problem = std::string("picture unreadable: ") + stbi_failure_reason();
        return std::nullopt;
    }
    if (w <= 0 || h <= 0 || w > kMaxBitmapSide || h > kMaxBitmapSide ||
        static_cast<std::size_t>(w) * static_cast<std::size_t>(h) >
            std::min(maxPixels, kMaxBitmapPixels)) {
        problem = "picture of " + std::to_string(w) + " x " + std::to_string(h) + " too large";
        return std::nullopt;
    }
    std::unique_ptr<stbi_uc, void (*)(void*)> rgba(
        stbi_load_from_memory(bytes.data(), size, &w, &h, &channels, 4), stbi_image_free);
    if (!rgba) {
        problem = std::string("picture damaged: ") + stbi_failure_reason();
        return std::nullopt;
    }
    Image image;
    image.width = w;
    image.height = h;
    image.pixels.resize(static_cast<std::size_t>(w) * static_cast<std::size_t>(h));
    const stbi_uc* p = rgba.get();
    for (auto& px : image.pixels) {
        std::uint32_t a = p[3];
        auto mul = [a](std::uint32_t c) { return (c * a + 127) / 255; };
        px = a << 24 | mul(p[0]) << 16 | mul(p[1]) << 8 | mul(p[2]);
        p += 4;
    }
    return image;
}

} // namespace fw::swf
