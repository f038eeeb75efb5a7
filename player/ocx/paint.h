#pragma once
// Shows the movie's picture in a device context: the stage drawn by the player's own renderer
// into a picture the size of the rectangle, copied in one go; while the movie shows nothing,
// the root variables, so a person sees what the container handed it.

#include <windows.h>

#include "swf/graphics.h"

namespace fw::swf {
class Player;
struct Picture;
} // namespace fw::swf

namespace fw::player {

// The movie's frame shown whole in the rectangle, aspect kept, centred (scale mode 0).
swf::Matrix StageMatrix(const swf::Player& player, const RECT& bounds);

// picture: the player's CurrentPicture as it stands, which the caller may keep.
void PaintMovie(HDC dc, const RECT& bounds, swf::Player& player, const swf::Picture& picture);

} // namespace fw::player
