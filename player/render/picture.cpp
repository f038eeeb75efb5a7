#include "picture.h"

#include <algorithm>

namespace fw::render {

Picture::Picture(int w, int h, Pixel fill)
    : width(std::clamp(w, 0, kMaxSide)), height(std::clamp(h, 0, kMaxSide)),
      pixels(static_cast<std::size_t>(width) * height, fill) {}

void Picture::Clear(Pixel fill) {
    std::fill(pixels.begin(), pixels.end(), fill);
}

Pixel Premultiplied(swf::Rgba c) {
    auto mul = [&](std::uint8_t v) { return static_cast<Pixel>((v * c.a + 127) / 255); };
    return (Pixel{c.a} << 24) | (mul(c.r) << 16) | (mul(c.g) << 8) | mul(c.b);
}

swf::Rgba Straight(Pixel p) {
    std::uint8_t a = static_cast<std::uint8_t>(p >> 24);
    if (a == 0) {
        return swf::Rgba{0, 0, 0, 0};
    }
    auto un = [&](int shift) {
        return static_cast<std::uint8_t>(std::min(255u, (((p >> shift) & 0xFF) * 255 + a / 2) / a));
    };
    return swf::Rgba{un(16), un(8), un(0), a};
}

Pixel Transformed(Pixel p, const swf::ColorTransform& cx) {
    swf::Rgba c = Straight(p);
    std::uint8_t* channel[4] = {&c.r, &c.g, &c.b, &c.a};
    for (int k = 0; k < 4; ++k) {
        int v = (*channel[k] * cx.mult[k]) / 256 + cx.add[k];
        *channel[k] = static_cast<std::uint8_t>(std::clamp(v, 0, 255));
    }
    return Premultiplied(c);
}

} // namespace fw::render
