#pragma once
// What a fill puts on each pixel it covers: a colour, a gradient or a bitmap.

#include "picture.h"

#include <memory>

namespace fw::render {

class Paint {
public:
    virtual ~Paint() = default;
    // The premultiplied colours of count pixels of row y, starting at x.
    virtual void Span(int x, int y, int count, Pixel* out) const = 0;
    // Every pixel it gives is fully opaque (lets the rasteriser skip blending).
    virtual bool Opaque() const { return false; }
};

class SolidPaint final : public Paint {
public:
    explicit SolidPaint(Pixel colour) : colour_(colour) {}
    void Span(int x, int y, int count, Pixel* out) const override;
    bool Opaque() const override { return (colour_ >> 24) == 0xFF; }

private:
    Pixel colour_;
};

// A gradient fill; toPixels carries the gradient's own square (-16384..16384) into the
// target's pixels, so it is the fill's matrix followed by the shape's.
std::unique_ptr<Paint> GradientPaint(const swf::FillStyle& fill, const swf::Matrix& toPixels,
                                     const swf::ColorTransform& cx);

// A bitmap fill; toPixels carries the bitmap's pixels into the target's. Outside the bitmap a
// clipped fill repeats its edge pixels, a repeating one tiles.
std::unique_ptr<Paint> BitmapPaint(PictureView bitmap, const swf::Matrix& toPixels, bool repeat,
                                   bool smooth, const swf::ColorTransform& cx);

} // namespace fw::render
