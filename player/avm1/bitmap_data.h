#pragma once
// The pixels behind a flash.display.BitmapData, for the classes that take one (filters, clips).

#include "object.h"
#include "value.h"

#include <cstdint>
#include <vector>

namespace fw::avm1 {

// Pixels are ARGB, premultiplied by their alpha in a transparent picture.
struct Bitmap : HostData {
    int width = 0;
    int height = 0;
    bool transparent = true;
    bool disposed = false;
    std::vector<std::uint32_t> px;

    bool Inside(int x, int y) const { return x >= 0 && y >= 0 && x < width && y < height; }
    std::uint32_t& At(int x, int y) { return px[static_cast<std::size_t>(y) * width + x]; }
    std::uint32_t At(int x, int y) const { return px[static_cast<std::size_t>(y) * width + x]; }
    // How a colour the script gives is kept.
    std::uint32_t Stored(std::uint32_t argb) const;
    void Trace(std::vector<Object*>&) const override {}
};

std::uint32_t Premultiply(std::uint32_t argb);
std::uint32_t Unpremultiply(std::uint32_t premultiplied);

// The live picture of a BitmapData object; null for anything else or a disposed one.
Bitmap* BitmapOf(const Value& v);

} // namespace fw::avm1
