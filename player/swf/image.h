#pragma once
// A decoded bitmap: what a bitmap tag of the movie or a loaded picture file holds.

#include <cstdint>
#include <vector>

namespace fw::swf {

struct Image {
    int width = 0;
    int height = 0;
    // 0xAARRGGBB premultiplied by the alpha, rows top to bottom (the renderer's own layout).
    std::vector<std::uint32_t> pixels;
};

} // namespace fw::swf
