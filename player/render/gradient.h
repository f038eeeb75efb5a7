#pragma once
// The colours along a gradient, for gradient fills and the gradient filters alike.

#include "picture.h"

#include <array>
#include <vector>

namespace fw::render {

// 256 premultiplied colours from the gradient's start (0) to its end (255).
struct GradientTable {
    std::array<Pixel, 256> colours{};
};

// Up to 15 stops, each colour carried by the colour transform; no stop at all leaves the
// table transparent.
GradientTable MakeGradientTable(const std::vector<swf::GradientStop>& stops,
                                swf::Interpolation interpolation,
                                const swf::ColorTransform& cx = {});

} // namespace fw::render
