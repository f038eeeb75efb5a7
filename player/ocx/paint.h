#pragma once
// Draws the movie's picture into a device context, layer by layer: background, then the
// movie's own drawing (none yet), then the variables overlay.

#include <windows.h>

namespace fw::swf {
class Player;
}

namespace fw::player {

void PaintMovie(HDC dc, const RECT& bounds, const swf::Player& player);

} // namespace fw::player
