#pragma once
// The picture the renderer draws into: 32-bit pixels, premultiplied by their alpha, rows top
// to bottom. The same layout as the bitmaps the movie and its scripts hold, so either can be
// drawn from or into the other.

#include "swf/graphics.h"

#include <cstdint>
#include <vector>

namespace fw::render {

// 0xAARRGGBB, each colour channel already multiplied by the alpha.
using Pixel = std::uint32_t;

struct Picture {
    int width = 0;
    int height = 0;
    std::vector<Pixel> pixels;

    Picture() = default;
    // Sizes below zero count as zero; the size is capped by kMaxSide.
    Picture(int width, int height, Pixel fill = 0);

    Pixel* Row(int y) { return pixels.data() + static_cast<std::size_t>(y) * width; }
    const Pixel* Row(int y) const { return pixels.data() + static_cast<std::size_t>(y) * width; }
    void Clear(Pixel fill);
};

// Any side of a picture or layer, in pixels: far beyond a screen, small enough that a hostile
// scale or filter cannot ask for gigabytes.
inline constexpr int kMaxSide = 8192;

// Pixels borrowed from a picture or bitmap (same layout), for painting from them.
struct PictureView {
    int width = 0;
    int height = 0;
    const Pixel* pixels = nullptr;
};

// How much of each pixel something covers, 0..255, the size of the picture it clips.
struct Mask {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> cover;
};

Pixel Premultiplied(swf::Rgba c);
swf::Rgba Straight(Pixel p);
// A premultiplied pixel under a colour transform (applied to its straight colour).
Pixel Transformed(Pixel p, const swf::ColorTransform& cx);

} // namespace fw::render
