#pragma once
// What later tags add to a button: the colour transform of its records (for buttons of the
// first kind) and the sounds of its transitions.

#include "movie.h"

#include <span>

namespace fw::swf {

// DefineButtonCxform and DefineButtonSound, applied to the button defined before them; a tag
// naming no button is noted among the movie's problems.
void ReadButtonColour(Movie& movie, std::span<const std::uint8_t> body);
void ReadButtonSounds(Movie& movie, std::span<const std::uint8_t> body);

} // namespace fw::swf
