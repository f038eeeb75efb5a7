#pragma once
// Drawing the display tree into a picture: shapes, drawings, bitmaps, texts and buttons, with
// their colour transforms, masks, blend modes and filters.

#include "render/picture.h"
#include "swf/graphics.h"

namespace fw::display {

class Stage;

// Draws every level of the stage over what the target holds; toPixels carries the stage's
// twips to the target's pixels.
void DrawStage(const Stage& stage, render::Picture& target, const swf::Matrix& toPixels);

} // namespace fw::display
