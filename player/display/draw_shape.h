#pragma once
// Shapes through the rasteriser: each fill style's outline filled with its paint, then each
// line style's lines stroked; or, for a mask, only what they cover.

#include "render/paint.h"
#include "render/picture.h"
#include "swf/movie.h"

#include <memory>
#include <vector>

namespace fw::display {

// The bitmaps a shape's bitmap fills show, by their number: the movie's, or, for a shape the
// drawing methods made, its own (numbered from 1).
struct FillBitmaps {
    const swf::Movie* movie = nullptr;
    const std::vector<render::PictureView>* own = nullptr;
};

// The paint of a fill style under a matrix from the shape's twips to the target's pixels; null
// for a bitmap there is none of.
std::unique_ptr<render::Paint> FillPaint(const swf::FillStyle& fill, FillBitmaps bitmaps,
                                         const swf::Matrix& m, const swf::ColorTransform& cx);

// m carries the shape's twips to the target's pixels; stageScale is pixels per twip of the
// stage, the width a line that does not scale keeps.
void DrawShape(const swf::Shape& shape, FillBitmaps bitmaps, const swf::Matrix& m,
               const swf::ColorTransform& cx, double stageScale, render::Picture& target,
               const render::Mask* clip);

void CoverShape(const swf::Shape& shape, const swf::Matrix& m, double stageScale,
                render::Mask& mask);

} // namespace fw::display
