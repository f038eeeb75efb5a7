// Glyphs of embedded and device fonts drawn into pictures, and texts in a movie's code page.

#include "display/draw_text.h"
#include "display/text_field.h"
#include "render/font_file.h"
#include "swf/code_page.h"

#include <gtest/gtest.h>

#include <set>

using namespace fw;

namespace {

// Writes fields of a shape record bit by bit, as a font's glyph table stores them.
struct Bits {
    std::vector<std::uint8_t> bytes;
    int used = 8;
    void Put(std::uint32_t v, int n) {
        for (int i = n - 1; i >= 0; --i) {
            if (used == 8) {
                bytes.push_back(0);
                used = 0;
            }
            bytes.back() |= static_cast<std::uint8_t>(((v >> i) & 1u) << (7 - used++));
        }
    }
    void Line(int dx, int dy) { // a general line with 12-bit deltas
        Put(1, 1), Put(1, 1), Put(10, 4), Put(1, 1), Put(dx & 0xFFF, 12), Put(dy & 0xFFF, 12);
    }
};

// A font whose only glyph (for 'A') is the square 0..512 by -512..0 of its 1024 em.
std::vector<std::uint8_t> SquareFont1() {
    Bits b;
    b.Put(1, 4), b.Put(0, 4);                                // one fill bit, no line bits
    b.Put(0, 1), b.Put(0x05, 5), b.Put(11, 5), b.Put(0, 11); // move to 0,-512, fill 1
    b.Put(-512 & 0x7FF, 11), b.Put(1, 1);
    b.Line(512, 0), b.Line(0, 512), b.Line(-512, 0), b.Line(0, -512);
    b.Put(0, 6);
    std::vector<std::uint8_t> body = {7, 0, 2, 0}; // id 7, one offset
    body.insert(body.end(), b.bytes.begin(), b.bytes.end());
    return body;
}

std::uint32_t At(const render::Picture& p, int x, int y) {
    return p.Row(y)[x];
}

} // namespace

TEST(RenderText, EmbeddedGlyphCoversItsOutline) {
    std::string problem;
    auto font = swf::ReadFont1(SquareFont1(), problem);
    ASSERT_TRUE(font) << problem;
    ASSERT_EQ(font->glyphs.size(), 1u);
    std::vector<std::uint8_t> info = {7, 0, 1, 'F', 0x00, 'A'};
    ASSERT_TRUE(swf::ApplyFontInfo(*font, info, false));
    EXPECT_EQ(font->name, "F");
    ASSERT_EQ(font->codes, std::vector<std::uint16_t>{'A'});

    swf::Movie movie;
    movie.fonts[7] = *font;
    swf::StaticText text;
    swf::TextRecord record;
    record.fontId = 7;
    record.height = 400; // twips: the square is 10 pixels wide
    record.colour = {255, 0, 0, 255};
    record.x = 100;
    record.y = 400;
    record.glyphs = {{0, 0}};
    text.records = {record};
    render::Picture picture(40, 40);
    swf::Matrix toPixels{0.05, 0, 0, 0.05, 0, 0};
    display::DrawStaticText(text, movie, toPixels, {}, picture, nullptr);
    // x 5..15, y 10..20 pixels.
    EXPECT_EQ(At(picture, 10, 15), 0xFFFF0000u);
    for (auto [x, y] : {std::pair{3, 15}, {17, 15}, {10, 8}, {10, 22}}) {
        EXPECT_EQ(At(picture, x, y), 0u) << "at " << x << "," << y;
    }

    // An edit text with the font embedded draws the same glyph; a character it lacks draws
    // nothing, and the field's bounds cut it.
    display::TextField field;
    field.movie = &movie;
    field.bounds = {0, 200, 0, 500};
    field.embedFonts = true;
    field.newFormat.font = "F";
    field.newFormat.size = 20;
    field.SetText("AB");
    picture.Clear(0);
    display::DrawTextField(field, movie, toPixels, {}, picture, nullptr);
    int covered = 0;
    for (int y = 0; y < 40; ++y) {
        for (int x = 0; x < 40; ++x) {
            covered += At(picture, x, y) != 0;
            EXPECT_TRUE((x < 10 && y < 25) || At(picture, x, y) == 0) << "at " << x << "," << y;
        }
    }
    EXPECT_GT(covered, 50);

    // A narrower field drawn next cuts at its own bounds, not at the wider one's before it.
    field.bounds = {0, 100, 0, 500};
    picture.Clear(0);
    display::DrawTextField(field, movie, toPixels, {}, picture, nullptr);
    for (int y = 0; y < 40; ++y) {
        for (int x = 6; x < 40; ++x) {
            EXPECT_EQ(At(picture, x, y), 0u) << "at " << x << "," << y;
        }
    }
    EXPECT_NE(At(picture, 4, 15), 0u);
}

TEST(RenderText, DeviceStringFollowsItsAdvances) {
    auto fonts = render::DejaVuFonts("/usr/share/fonts/truetype/dejavu");
    if (!fonts) {
        GTEST_SKIP() << "no DejaVu fonts here";
    }
    render::GlyphOutline i, w;
    ASSERT_TRUE(fonts->Glyph(render::Face::Sans, false, false, U'i', i));
    ASSERT_TRUE(fonts->Glyph(render::Face::Sans, false, false, U'W', w));
    EXPECT_GT(w.advance, 2 * i.advance);
    EXPECT_FALSE(w.path.empty());

    // Drawn in a field, a string ends where the layout's advances put its end.
    render::SetDeviceFonts(fonts);
    swf::Movie movie;
    display::TextField field;
    field.movie = &movie;
    field.bounds = {0, 4000, 0, 800};
    field.newFormat.font = "_sans";
    field.newFormat.size = 20;
    field.SetText("WWWW");
    render::Picture picture(200, 40);
    display::DrawTextField(field, movie, {0.05, 0, 0, 0.05, 0, 0}, {}, picture, nullptr);
    render::SetDeviceFonts(nullptr);
    int right = -1;
    std::set<std::uint32_t> levels;
    for (int y = 0; y < 40; ++y) {
        for (int x = 0; x < 200; ++x) {
            if (At(picture, x, y) >> 24 > 128) {
                right = std::max(right, x);
            }
            levels.insert(At(picture, x, y) >> 24);
        }
    }
    double end = 2 + field.Lines()[0].width;
    EXPECT_GT(right, end - 6);
    EXPECT_LT(right, end + 6);
    // Four samples a pixel: an edge takes one of five levels, never the share of its area.
    EXPECT_LE(levels.size(), 5u);
    EXPECT_GE(levels.size(), 3u);
}

TEST(RenderText, CodePageTextDecodes) {
    EXPECT_EQ(swf::CodePageText("\xCF\xF0\xE8\xE2\xE5\xF2 \xA8", 1251), "Привет Ё");
    EXPECT_EQ(swf::CodePageText("\x80 \xE9", 1252), "€ é");
}
