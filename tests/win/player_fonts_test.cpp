// Device fonts of the control: glyph outlines and advances of the platform's fonts, as the
// player draws device texts with them.

#include "ocx/gdi_fonts.h"
#include "render/device_fonts.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

using fw::render::Face;

TEST(PlayerFonts, GlyphsOfEachFace) {
    fw::player::InstallDeviceFonts();
    const fw::render::DeviceFonts* fonts = fw::render::CurrentDeviceFonts();
    ASSERT_NE(fonts, nullptr) << "expected device fonts installed";
    fw::render::GlyphOutline probe;
    if (!fonts->Glyph(Face::Sans, false, false, U'A', probe)) {
        GTEST_SKIP() << "no TrueType font for Arial here";
    }
    struct Case {
        Face face;
        bool bold;
        bool italic;
    };
    const Case cases[] = {{Face::Sans, false, false},
                          {Face::Sans, true, false},
                          {Face::Serif, false, true},
                          {Face::Mono, false, false}};
    for (const auto& c : cases) {
        fw::render::GlyphOutline w, i, space;
        ASSERT_TRUE(fonts->Glyph(c.face, c.bold, c.italic, U'W', w));
        ASSERT_TRUE(fonts->Glyph(c.face, c.bold, c.italic, U'i', i));
        ASSERT_TRUE(fonts->Glyph(c.face, c.bold, c.italic, U' ', space));
        EXPECT_FALSE(w.path.empty()) << "expected an outline for W";
        EXPECT_TRUE(space.path.empty()) << "expected no outline for a space";
        EXPECT_GT(w.advance, 0.3) << "expected an advance of most of an em, got " << w.advance;
        EXPECT_LT(w.advance, 1.5) << "expected an advance of most of an em, got " << w.advance;
        if (c.face == Face::Mono) {
            EXPECT_DOUBLE_EQ(w.advance, i.advance) << "expected one advance for all";
        } else {
            EXPECT_GT(w.advance, i.advance) << "expected W wider than i";
        }
        // Outlines sit on the baseline, y down: W rises above it.
        double top = 0;
        for (const auto& s : w.path.segments) {
            top = std::min(top, s.from.y);
        }
        EXPECT_LT(top, -0.5) << "expected W to rise most of an em, got " << top;
    }
}

} // namespace
