#pragma once
// The bitmap tags: JPEG pictures (with the movie's shared tables, with an alpha plane, or a
// PNG or GIF file in their place) and zlib-packed lossless pixels with or without alpha.

#include "image.h"
#include "image_file.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace fw::swf {

struct BitmapTag {
    std::uint16_t id = 0;
    std::optional<Image> image; // none when the tag is damaged or over the limits
};

// Reads DefineBits (with jpegTables, the movie's JPEGTables body), DefineBitsJPEG2, 3 and 4,
// DefineBitsLossless and DefineBitsLossless2. A bitmap of more than maxPixels is refused.
// What was wrong goes to problem.
BitmapTag ReadBitmap(std::uint16_t code, std::span<const std::uint8_t> body,
                     std::span<const std::uint8_t> jpegTables, std::string& problem,
                     std::size_t maxPixels = kMaxBitmapPixels);

// One JPEG stream out of pieces that each may open and close their own (shared tables, then
// the picture; old files also put a stray end and start before the picture's own start).
std::vector<std::uint8_t> JoinJpeg(std::span<const std::span<const std::uint8_t>> parts);

} // namespace fw::swf
