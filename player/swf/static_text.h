#pragma once
// Static texts (DefineText and DefineText2): runs of glyphs of the movie's fonts, placed by
// the file. The player keeps what scripts read back from them: which characters they show
// and in which order.

#include "graphics.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace fw::swf {

struct TextGlyph {
    std::uint32_t index = 0;  // into the font's glyph table
    std::int32_t advance = 0; // twips
};

// One run of glyphs; a run that names no font, colour or position keeps the previous run's.
struct TextRecord {
    std::uint16_t fontId = 0;
    double height = 0; // twips
    Rgba colour;
    double x = 0, y = 0; // twips, in the text's own space
    std::vector<TextGlyph> glyphs;
};

struct StaticText {
    std::uint16_t id = 0;
    Bounds bounds;
    Matrix matrix;
    std::vector<TextRecord> records;
};

// How a text (static or edit) is to be smoothed (CSMTextSettings).
struct TextSettings {
    bool advanced = false;    // the newer anti-aliasing
    std::uint8_t gridFit = 0; // 0 none, 1 pixel, 2 subpixel
    float thickness = 0;
    float sharpness = 0;
};

// The id of the text the settings belong to, and the settings.
std::optional<std::pair<std::uint16_t, TextSettings>>
ReadTextSettings(std::span<const std::uint8_t> body);

std::optional<StaticText> ReadStaticText(std::span<const std::uint8_t> body, bool withAlpha,
                                         std::string& problem);

} // namespace fw::swf
