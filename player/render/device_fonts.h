#pragma once
// The fonts of the machine, for texts that do not embed their own: the host says where their
// outlines come from (font files natively, the platform in the control).

#include "path.h"

#include <cstdint>
#include <memory>
#include <string_view>

namespace fw::render {

// The three families a movie can ask for by name; any other name maps onto one of them.
enum class Face : std::uint8_t { Sans, Serif, Mono };

// "_sans", "_serif", "_typewriter" and the usual names of fonts of each kind; unknown names
// are sans.
Face FaceOf(std::string_view name);

// One character: its outline in ems (1 = the font's size), y down from the baseline, to be
// filled NonZero; and how far the pen moves after it.
struct GlyphOutline {
    Path path;
    double advance = 0;
};

class DeviceFonts {
public:
    virtual ~DeviceFonts() = default;
    // False when the face has no glyph for the character.
    virtual bool Glyph(Face face, bool bold, bool italic, char32_t code,
                       GlyphOutline& out) const = 0;
};

// What the host installed; nullptr draws device texts as nothing. Drawing happens on one
// thread, the one that installs them.
void SetDeviceFonts(std::shared_ptr<const DeviceFonts> fonts);
const DeviceFonts* CurrentDeviceFonts();

} // namespace fw::render
