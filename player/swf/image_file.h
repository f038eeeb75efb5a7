#pragma once
// Picture files: JPEG (baseline and progressive), PNG and GIF (its first frame), as a bitmap
// tag embeds them or a movie loads them from beside itself.

#include "image.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace fw::swf {

// Any side of a bitmap, and the pixels of one bitmap: far beyond a screen, small enough that a
// hostile header cannot ask for gigabytes.
inline constexpr int kMaxBitmapSide = 8192;
inline constexpr std::size_t kMaxBitmapPixels = 16u << 20;

enum class ImageFormat { Unknown, Jpeg, Png, Gif };
ImageFormat SniffImage(std::span<const std::uint8_t> bytes);

// Decodes a picture file into premultiplied pixels; nullopt and a problem for anything that is
// not one of the formats, is damaged, or has more than maxPixels or a side beyond the limit.
std::optional<Image> DecodeImageFile(std::span<const std::uint8_t> bytes, std::string& problem,
                                     std::size_t maxPixels = kMaxBitmapPixels);

} // namespace fw::swf
