#pragma once
// Morph shapes: read from DefineMorphShape and DefineMorphShape2, and the ordinary shape one
// shows at a given ratio, which is what is drawn, measured and hit-tested.

#include "graphics.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace fw::swf {

// tag 46 or 84. Nullopt, with the fault in problem, for a body it cannot use.
std::optional<MorphShape> ReadMorphShape(int tag, std::span<const std::uint8_t> body,
                                         std::string& problem);

// The shape at ratio (0: the start, 65535: the end): every point, width, colour and matrix
// taken linearly between its start and its end. An edge straight at one end and curved at the
// other bends through a control at the straight edge's middle.
Shape MorphAt(const MorphShape& morph, std::uint16_t ratio);

} // namespace fw::swf
