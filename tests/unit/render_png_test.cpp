#include "render/png.h"

#include <gtest/gtest.h>

#include <zlib.h>

#include <string>
#include <vector>

namespace {

using fw::render::DecodePng;
using fw::render::EncodePng;
using fw::render::Picture;
using fw::render::Premultiplied;

// A PNG around raw, already filtered rows, for the formats our encoder never writes.
std::vector<std::uint8_t> HandMadePng(int w, int h, int depth, int colour,
                                      const std::vector<std::uint8_t>& rows,
                                      const std::vector<std::uint8_t>& palette = {},
                                      const std::vector<std::uint8_t>& trns = {}) {
    std::vector<std::uint8_t> out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    auto u32 = [](std::vector<std::uint8_t>& v, std::uint32_t x) {
        v.insert(v.end(), {std::uint8_t(x >> 24), std::uint8_t(x >> 16), std::uint8_t(x >> 8),
                           std::uint8_t(x)});
    };
    auto chunk = [&](const char* type, std::vector<std::uint8_t> data) {
        u32(out, static_cast<std::uint32_t>(data.size()));
        data.insert(data.begin(), type, type + 4);
        out.insert(out.end(), data.begin(), data.end());
        u32(out, static_cast<std::uint32_t>(crc32(0, data.data(), static_cast<uInt>(data.size()))));
    };
    std::vector<std::uint8_t> header;
    u32(header, w);
    u32(header, h);
    header.insert(header.end(), {std::uint8_t(depth), std::uint8_t(colour), 0, 0, 0});
    chunk("IHDR", header);
    if (!palette.empty()) {
        chunk("PLTE", palette);
    }
    if (!trns.empty()) {
        chunk("tRNS", trns);
    }
    uLongf size = compressBound(static_cast<uLong>(rows.size()));
    std::vector<std::uint8_t> packed(size);
    compress(packed.data(), &size, rows.data(), static_cast<uLong>(rows.size()));
    packed.resize(size);
    chunk("IDAT", packed);
    chunk("IEND", {});
    return out;
}

TEST(RenderPng, EncodedPicturesDecodeToTheSamePixels) {
    Picture picture(5, 3);
    for (int y = 0; y < picture.height; ++y) {
        for (int x = 0; x < picture.width; ++x) {
            std::uint8_t v = static_cast<std::uint8_t>(x * 50 + y * 7);
            picture.Row(y)[x] = Premultiplied({v, static_cast<std::uint8_t>(255 - v), 17, 255});
        }
    }
    picture.Row(1)[1] = 0; // fully clear
    picture.Row(2)[3] = Premultiplied({255, 128, 0, 128});
    std::string problem;
    auto back = DecodePng(EncodePng(picture), problem);
    ASSERT_TRUE(back) << problem;
    ASSERT_EQ(picture.width, back->width);
    ASSERT_EQ(picture.height, back->height);
    EXPECT_EQ(picture.pixels, back->pixels);
}

TEST(RenderPng, FormatsOtherWritersUse) {
    std::string problem;
    // Palette with a clear entry, 2 bits a pixel: 0, 1, 2 then 3 (beyond the palette: black).
    auto paletted = DecodePng(
        HandMadePng(4, 1, 2, 3, {0, 0b00011011}, {255, 0, 0, 0, 255, 0, 0, 0, 255}, {255, 0}),
        problem);
    ASSERT_TRUE(paletted) << problem;
    EXPECT_EQ((std::vector<std::uint32_t>{0xFFFF0000, 0, 0xFF0000FF, 0xFF000000}),
              paletted->pixels);
    // Grey at 8 bits, the second row filtered "up" and the third "average".
    auto grey = DecodePng(HandMadePng(2, 3, 8, 0, {0, 10, 20, 2, 5, 5, 3, 1, 2}), problem);
    ASSERT_TRUE(grey) << problem;
    std::vector<std::uint32_t> expected;
    for (int v : {10, 20, 15, 25, 8, 18}) {
        expected.push_back(0xFF000000u | v << 16 | v << 8 | v);
    }
    EXPECT_EQ(expected, grey->pixels);
    // RGB at 16 bits, the row filtered "sub".
    auto deep =
        DecodePng(HandMadePng(2, 1, 16, 2, {1, 0x80, 0, 0, 0, 0x10, 0, 1, 0, 0, 0, 0, 0}), problem);
    ASSERT_TRUE(deep) << problem;
    EXPECT_EQ((std::vector<std::uint32_t>{0xFF800010, 0xFF810010}), deep->pixels);
}

TEST(RenderPng, DamagedFilesAreRefused) {
    auto good = EncodePng(Picture(4, 4, 0xFF336699));
    auto flipped = good;
    flipped[40] ^= 0x01; // inside the pixel data: the checksum no longer fits
    auto cut = good;
    cut.resize(cut.size() - 20);
    auto badFilter = HandMadePng(1, 1, 8, 0, {9, 0});
    auto short_ = HandMadePng(2, 2, 8, 0, {0, 1, 2});
    auto huge = HandMadePng(9000, 1, 1, 0, std::vector<std::uint8_t>(1200));
    const std::pair<std::vector<std::uint8_t>, const char*> cases[] = {
        {{}, "not a PNG"},           {{'G', 'I', 'F', '8'}, "not a PNG"}, {flipped, "checksum"},
        {cut, "cut short"},          {badFilter, "row filter"},           {short_, "inflated"},
        {huge, "size out of range"},
    };
    for (const auto& [bytes, reason] : cases) {
        std::string problem;
        EXPECT_FALSE(DecodePng(bytes, problem)) << reason;
        EXPECT_NE(std::string::npos, problem.find(reason))
            << "expected " << reason << ", got " << problem;
    }
}

} // namespace
