// Feeds arbitrary bytes to the font and static text readers and draws what they read: the first
// byte picks the font's kind (DefineFont with DefineFontInfo or DefineFontInfo2, DefineFont2,
// DefineFont3) and the text's (DefineText or DefineText2); the next bytes give the lengths of
// the font's body and of its information tag, and the rest is the text. The text is drawn with
// the font into a small picture at a scale the input picks. Nothing may crash, hang or ask for
// unbounded memory.

#include "display/draw_text.h"
#include "render/picture.h"
#include "swf/graphics.h"
#include "swf/movie.h"
#include "swf/static_text.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace {

// Takes a 16-bit length and that many bytes (or what is left) off the front of the input.
std::span<const std::uint8_t> TakePart(std::span<const std::uint8_t>& in) {
    if (in.size() < 2) {
        in = {};
        return {};
    }
    std::size_t n = std::min<std::size_t>(in.size() - 2, in[0] | (in[1] << 8));
    auto part = in.subspan(2, n);
    in = in.subspan(2 + n);
    return part;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) {
        return 0;
    }
    std::uint8_t pick = data[0];
    std::span<const std::uint8_t> in(data + 1, size - 1);
    auto fontBody = TakePart(in);
    auto infoBody = TakePart(in);
    std::string problem;
    std::optional<fw::swf::Font> font;
    switch (pick % 4) {
    case 0:
    case 1:
        font = fw::swf::ReadFont1(fontBody, problem);
        if (font) {
            fw::swf::ApplyFontInfo(*font, infoBody, pick % 4 == 1);
        }
        break;
    case 2:
        font = fw::swf::ReadFont(fontBody, problem, false);
        break;
    default:
        font = fw::swf::ReadFont(fontBody, problem, true);
        break;
    }
    auto text = fw::swf::ReadStaticText(in, (pick & 4) != 0, problem);
    if (!font || !text) {
        return 0;
    }
    fw::swf::Movie movie;
    for (auto& record : text->records) {
        record.fontId = font->id; // the text always finds the font, whatever ids the input names
    }
    movie.fonts[font->id] = std::move(*font);
    // From far below a pixel a twip to far above, so tiny and huge glyphs are both drawn.
    double scale = ((pick >> 3) + 1) / 160.0;
    fw::render::Picture target(48, 32);
    fw::display::DrawStaticText(*text, movie, fw::swf::Matrix{scale, 0, 0, scale, 4, 24}, {},
                                target, nullptr);
    return 0;
}
