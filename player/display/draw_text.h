#pragma once
// Drawing texts: text fields (embedded glyphs or device fonts) and the static texts of the
// file, as glyph outlines through the rasteriser.

#include "render/picture.h"
#include "swf/movie.h"

namespace fw::display {

class TextField;

// A text field as it shows now: background, border, the visible lines of its text.
void DrawTextField(const TextField& field, const swf::Movie& movie, const swf::Matrix& toPixels,
                   const swf::ColorTransform& cx, render::Picture& target,
                   const render::Mask* clip);

// A static text of the movie (DefineText); toPixels carries the space it is placed in, the
// text's own matrix is applied here.
void DrawStaticText(const swf::StaticText& text, const swf::Movie& movie,
                    const swf::Matrix& toPixels, const swf::ColorTransform& cx,
                    render::Picture& target, const render::Mask* clip);
// Whether a point of the space a static text of the movie is placed in falls on one of its
// glyphs; false where the movie has no static text of that id.
bool HitStaticText(const swf::Movie& movie, std::uint16_t id, swf::Point local);

} // namespace fw::display
