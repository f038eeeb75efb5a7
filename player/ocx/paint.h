#pragma once
// Draws the movie's picture into a device context, layer by layer: background, then the tree
// of every level (shapes, what buttons show in their state, text fields), or, while the movie
// shows nothing, the root variables so a person sees what the container handed it.

#include <windows.h>

#include "swf/graphics.h"

namespace fw::swf {
class Player;
}

namespace fw::player {

// The movie's frame shown whole in the rectangle, aspect kept, centred (scale mode 0).
swf::Matrix StageMatrix(const swf::Player& player, const RECT& bounds);

void PaintMovie(HDC dc, const RECT& bounds, swf::Player& player);

} // namespace fw::player
