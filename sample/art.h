#pragma once
// The sample movie's pictures, letters and sounds, all made by code when the movie is written:
// a bitmap, gradient shapes, glyphs cut from a free font on the build machine and short tones.

#include "swf/writer.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace fw::sample {

// A square picture of side pixels: rows of premultiplied alpha, red, green, blue.
std::vector<std::uint8_t> SmileyPixels(int side);

// A rectangle with rounded corners of radius r, clockwise, filled on its right with fill
// (twips).
void RoundRect(swf::ShapeBuilder& b, double x, double y, double w, double h, double r);
// A circle around (cx, cy) of radius r, clockwise, in eight curves (twips).
void Circle(swf::ShapeBuilder& b, double cx, double cy, double r);

// A read-only, unselectable edit text of w x h pixels that shows text in the font, size pixels
// high.
swf::EditText Caption(std::uint16_t id, std::uint16_t fontId, const std::string& text, double w,
                      double h, double size, swf::Rgba colour);

// Mono 16-bit PCM at 22 kHz, little-endian, as DefineSound carries it.
swf::SoundDefinition ClickSound(std::uint16_t id);
swf::SoundDefinition ChimeSound(std::uint16_t id);

// The outlines of a TrueType file, for embedding the characters a movie shows.
class GlyphCutter {
public:
    // Throws std::runtime_error when the file cannot be read as a font.
    explicit GlyphCutter(const std::string& path);
    ~GlyphCutter();
    GlyphCutter(const GlyphCutter&) = delete;
    GlyphCutter& operator=(const GlyphCutter&) = delete;

    // A static text of UTF-8 text in the font (its glyphs added to font as needed), size
    // pixels high, its baseline at y and centred on centreX (pixels of the movie).
    swf::StaticText Line(swf::Font& font, std::uint16_t id, const std::string& text, double size,
                         swf::Rgba colour, double centreX, double baseline);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace fw::sample
