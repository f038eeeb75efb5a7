#pragma once
// Putting layers together: blend modes, and the filters of a placement.

#include "picture.h"

#include "swf/filter.h"

namespace fw::render {

// As the file numbers them; 0 reads as Normal.
enum class BlendMode : std::uint8_t {
    Normal = 1,
    Layer = 2,
    Multiply = 3,
    Screen = 4,
    Lighten = 5,
    Darken = 6,
    Difference = 7,
    Add = 8,
    Subtract = 9,
    Invert = 10,
    Alpha = 11,
    Erase = 12,
    Overlay = 13,
    Hardlight = 14,
};

// Puts source onto target with its top-left corner at (dx, dy). Alpha and Erase change the
// target's alpha only. A clip, when given, is the target's size and scales the source.
void Composite(Picture& target, const Picture& source, int dx, int dy, BlendMode mode,
               const Mask* clip = nullptr);

// How far a filter reaches beyond its layer's edges, in pixels, at the given scale (pixels
// per pixel of the movie's stage, across and down).
struct Reach {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
};
Reach FilterReach(const swf::Filter& filter, double scaleX, double scaleY);

// The layer with the filter applied, grown by its reach; origin moves by (-reach.left,
// -reach.top) so the caller can composite it at the right place.
Picture ApplyFilter(const Picture& layer, const swf::Filter& filter, double scaleX, double scaleY);

// One pixel through a colour matrix filter's 4 x 5 numbers (row by row: red, green, blue,
// alpha; the fifth column adds in 0..255), worked on its straight colour.
Pixel ApplyColourMatrix(Pixel p, const double m[20]);

} // namespace fw::render
