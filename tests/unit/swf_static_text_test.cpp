#include "swf/static_text.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using namespace fw::swf;
using Bytes = std::vector<std::uint8_t>;

// DefineText id 9, written by hand from the format's tables: empty bounds and matrix, 4 bits a
// glyph index, 8 an advance. The first run names font 3, red, x 100, height 240 and glyphs
// (1, +50) (2, -10); the second only moves to y 300 and holds glyph (3, 0).
const Bytes kText = {0x09, 0x00, 0x00, 0x00, 0x04, 0x08, 0x8D, 0x03, 0x00,
                     0xFF, 0x00, 0x00, 0x64, 0x00, 0xF0, 0x00, 0x02, 0x13,
                     0x22, 0xF6, 0x82, 0x2C, 0x01, 0x01, 0x30, 0x00, 0x00};

TEST(SwfStaticText, RunsKeepWhatTheyDoNotChange) {
    std::string problem;
    auto text = ReadStaticText(kText, false, problem);
    ASSERT_TRUE(text.has_value()) << problem;
    EXPECT_EQ(problem, "");
    EXPECT_EQ(text->id, 9);
    ASSERT_EQ(text->records.size(), 2u);
    const TextRecord& first = text->records[0];
    ASSERT_EQ(first.glyphs.size(), 2u);
    EXPECT_EQ(first.glyphs[1].index, 2u);
    EXPECT_EQ(first.glyphs[1].advance, -10);
    const TextRecord& second = text->records[1];
    EXPECT_EQ(second.fontId, 3);
    EXPECT_EQ(second.height, 240);
    EXPECT_EQ(second.colour.r, 255);
    // The second run starts where the first one's advances end.
    EXPECT_EQ(second.x, 100 + 50 - 10);
    EXPECT_EQ(second.y, 300);
    ASSERT_EQ(second.glyphs.size(), 1u);
    EXPECT_EQ(second.glyphs[0].index, 3u);
}

TEST(SwfStaticText, CutShortKeepsTheWholeRunsAndSaysSo) {
    Bytes cut(kText.begin(), kText.end() - 4);
    std::string problem;
    auto text = ReadStaticText(cut, false, problem);
    ASSERT_TRUE(text.has_value());
    EXPECT_EQ(text->records.size(), 1u);
    EXPECT_NE(problem, "") << "expected the cut to be reported";
    EXPECT_FALSE(ReadStaticText(Bytes{0x09}, false, problem).has_value());
}

TEST(SwfStaticText, SmoothingSettingsNameTheirText) {
    // Text 2: the newer anti-aliasing, fitted to subpixels, thickness 0, sharpness 0.
    const Bytes body = {0x02, 0x00, 0x50, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    auto settings = ReadTextSettings(body);
    ASSERT_TRUE(settings.has_value());
    EXPECT_EQ(settings->first, 2);
    EXPECT_TRUE(settings->second.advanced);
    EXPECT_EQ(settings->second.gridFit, 2);
    EXPECT_FALSE(ReadTextSettings(Bytes(body.begin(), body.end() - 2)).has_value());
}

} // namespace
