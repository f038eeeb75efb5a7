#pragma once
// Perlin's turbulence as BitmapData.perlinNoise draws it: portable, and the same on every host.

#include <cstdint>
#include <vector>

namespace fw::avm1 {

struct PerlinOptions {
    double baseX = 0;
    double baseY = 0;
    int octaves = 0;
    std::int32_t seed = 0;
    bool stitch = false;
    bool fractal = false;
    unsigned channels = 7; // red 1, green 2, blue 4, alpha 8
    bool gray = false;
    // Each octave's shift in pixels; octaves past the list are not shifted.
    std::vector<std::pair<double, double>> offsets;
};

// Unpremultiplied ARGB, row by row. Alpha is 255 unless the picture is transparent and the
// alpha channel is asked for.
std::vector<std::uint32_t> PerlinNoise(int width, int height, bool transparent,
                                       const PerlinOptions& options);

} // namespace fw::avm1
