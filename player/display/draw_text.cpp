#include "draw_text.h"

#include "text_field.h"

namespace fw::display {

void DrawTextField(const TextField&, const swf::Movie&, const swf::Matrix&,
                   const swf::ColorTransform&, render::Picture&, const render::Mask*) {}

void DrawStaticText(const swf::StaticText&, const swf::Movie&, const swf::Matrix&,
                    const swf::ColorTransform&, render::Picture&, const render::Mask*) {}

} // namespace fw::display
