#pragma once
// Anti-aliased filling and stroking of paths into a picture.

#include "paint.h"
#include "path.h"
#include "picture.h"

namespace fw::render {

enum class FillRule { EvenOdd, NonZero };

// Paints what the path covers over the target (source over). A clip, when given, scales the
// coverage of each pixel by its own.
void FillPath(Picture& target, const Path& path, FillRule rule, const Paint& paint,
              const Mask* clip = nullptr);

// What the path covers, added into the mask (the union of everything covered so far).
void CoverPath(Mask& mask, const Path& path, FillRule rule);

struct StrokeStyle {
    double width = 1; // pixels; 0 draws a hairline of one pixel
    swf::Cap startCap = swf::Cap::Round;
    swf::Cap endCap = swf::Cap::Round;
    swf::Join join = swf::Join::Round;
    double miterLimit = 3; // in widths
    bool noClose = false;  // a closed line keeps its caps
};

// The outline of a stroke along the path's lines, to be filled NonZero.
Path StrokeOutline(const Path& path, const StrokeStyle& style);

void StrokePath(Picture& target, const Path& path, const StrokeStyle& style, const Paint& paint,
                const Mask* clip = nullptr);

} // namespace fw::render
