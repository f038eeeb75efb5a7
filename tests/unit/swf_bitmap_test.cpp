#include "swf/bitmap.h"
#include "swf/movie.h"
#include "swf/writer.h"

#include <gtest/gtest.h>
#include <zlib.h>

#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STB_IMAGE_WRITE_STATIC
#include <stb_image_write.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;
using namespace fw::swf;

Bytes Zlib(const Bytes& data) {
    uLongf size = compressBound(static_cast<uLong>(data.size()));
    Bytes out(size);
    compress2(out.data(), &size, data.data(), static_cast<uLong>(data.size()), 9);
    out.resize(size);
    return out;
}

void Append(Bytes& to, const Bytes& more) {
    to.insert(to.end(), more.begin(), more.end());
}
void U16(Bytes& to, unsigned v) {
    to.push_back(static_cast<std::uint8_t>(v));
    to.push_back(static_cast<std::uint8_t>(v >> 8));
}
void U32(Bytes& to, std::uint32_t v) {
    U16(to, v & 0xFFFF);
    U16(to, v >> 16);
}

Bytes LosslessBody(std::uint16_t id, int format, int w, int h, int colours, const Bytes& data) {
    Bytes b;
    U16(b, id);
    b.push_back(static_cast<std::uint8_t>(format));
    U16(b, static_cast<unsigned>(w));
    U16(b, static_cast<unsigned>(h));
    if (format == 3) {
        b.push_back(static_cast<std::uint8_t>(colours - 1));
    }
    Append(b, Zlib(data));
    return b;
}

// A picture file of straight RGBA pixels, written by the reference writer.
Bytes Encoded(const std::vector<std::uint32_t>& rgba, int w, int h, bool jpeg) {
    Bytes out;
    auto sink = [](void* context, void* data, int size) {
        auto* o = static_cast<Bytes*>(context);
        auto* p = static_cast<const std::uint8_t*>(data);
        o->insert(o->end(), p, p + size);
    };
    if (jpeg) {
        stbi_write_jpg_to_func(sink, &out, w, h, 4, rgba.data(), 100);
    } else {
        stbi_write_png_to_func(sink, &out, w, h, 4, rgba.data(), w * 4);
    }
    return out;
}

// A JPEG split as old authoring tools store it: the quantisation and Huffman tables apart.
std::pair<Bytes, Bytes> SplitTables(const Bytes& jpeg) {
    Bytes tables{0xFF, 0xD8};
    Bytes image{0xFF, 0xD8};
    std::size_t at = 2;
    while (at + 4 <= jpeg.size() && jpeg[at + 1] != 0xDA) {
        std::size_t end = at + 2 + static_cast<std::size_t>(jpeg[at + 2] << 8 | jpeg[at + 3]);
        bool table = jpeg[at + 1] == 0xDB || jpeg[at + 1] == 0xC4;
        Bytes& to = table ? tables : image;
        to.insert(to.end(), jpeg.begin() + static_cast<std::ptrdiff_t>(at),
                  jpeg.begin() + static_cast<std::ptrdiff_t>(end));
        at = end;
    }
    image.insert(image.end(), jpeg.begin() + static_cast<std::ptrdiff_t>(at), jpeg.end());
    Append(tables, {0xFF, 0xD9});
    return {tables, image};
}

void ExpectNear(std::uint32_t got, std::uint32_t want, int tolerance, const std::string& what) {
    for (int shift = 0; shift < 32; shift += 8) {
        int g = static_cast<int>(got >> shift & 0xFF);
        int w = static_cast<int>(want >> shift & 0xFF);
        EXPECT_LE(std::abs(g - w), tolerance)
            << what << ": expected " << std::hex << want << ", got " << got;
    }
}

TEST(ReadBitmap, LosslessFormatsGiveTheirPixels) {
    struct Case {
        const char* what;
        std::uint16_t code;
        int format;
        int colours;
        Bytes data; // a 3 x 2 picture, rows padded as the file pads them
        std::vector<std::uint32_t> want;
    };
    const Case cases[] = {
        {"palette RGB",
         20,
         3,
         2,
         {10, 20, 30, 200, 100, 50, /*rows*/ 0, 1, 0, 0, 1, 1, 7, 0},
         {0xFF0A141E, 0xFFC86432, 0xFF0A141E, 0xFFC86432, 0xFFC86432, 0xFF000000}},
        {"RGB15",
         20,
         4,
         0,
         {0x7C, 0x00, 0x03, 0xE0, 0x00, 0x1F, 0, 0, 0x7F, 0xFF, 0x00, 0x00, 0x42, 0x10, 0, 0},
         {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFFFF, 0xFF000000, 0xFF848484}},
        {"xRGB",
         20,
         5,
         0,
         {0, 1, 2, 3, 9, 4, 5, 6, 0, 7, 8, 9, 0, 10, 11, 12, 0, 13, 14, 15, 0, 16, 17, 18},
         {0xFF010203, 0xFF040506, 0xFF070809, 0xFF0A0B0C, 0xFF0D0E0F, 0xFF101112}},
        {"palette RGBA",
         36,
         3,
         2,
         {40, 30, 20, 128, 90, 0, 0, 80, /*rows*/ 1, 0, 5, 0, 0, 0, 1, 0},
         {0x50500000, 0x80281E14, 0x00000000, 0x80281E14, 0x80281E14, 0x50500000}},
        {"ARGB, colour above alpha clamped",
         36,
         5,
         0,
         {255, 1, 2, 3, 128, 200, 100, 50, 0, 9, 9, 9, 64, 64, 64, 64, 255, 0, 0, 0, 1, 1, 1, 1},
         {0xFF010203, 0x80806432, 0x00000000, 0x40404040, 0xFF000000, 0x01010101}},
    };
    for (const auto& c : cases) {
        std::string problem;
        BitmapTag tag =
            ReadBitmap(c.code, LosslessBody(7, c.format, 3, 2, c.colours, c.data), {}, problem);
        EXPECT_EQ(tag.id, 7) << c.what;
        ASSERT_TRUE(tag.image) << c.what << ": " << problem;
        EXPECT_EQ(problem, "") << c.what;
        EXPECT_EQ(tag.image->width, 3) << c.what;
        EXPECT_EQ(tag.image->height, 2) << c.what;
        EXPECT_EQ(tag.image->pixels, c.want) << c.what;
    }
}

TEST(ReadBitmap, JpegsJoinTheirTablesAndTakeAlpha) {
    const int w = 16;
    const int h = 8;
    std::vector<std::uint32_t> rgba(w * h, 0xFF3050C0); // bytes R=C0 G=50 B=30 A=FF
    Bytes jpeg = Encoded(rgba, w, h, true);
    auto [tables, image] = SplitTables(jpeg);
    const std::uint32_t want = 0xFFC05030;

    Bytes bits;
    U16(bits, 1);
    Append(bits, image);
    Bytes stray; // an old file's JPEG2: a stray end and start before the picture
    U16(stray, 2);
    Append(stray, {0xFF, 0xD9, 0xFF, 0xD8});
    Append(stray, jpeg);
    Bytes alphaPlane(w * h);
    for (std::size_t i = 0; i < alphaPlane.size(); ++i) {
        alphaPlane[i] = i % 2 ? 0x80 : 0;
    }
    Bytes withAlpha;
    U16(withAlpha, 3);
    U32(withAlpha, static_cast<std::uint32_t>(jpeg.size()));
    Append(withAlpha, jpeg);
    Append(withAlpha, Zlib(alphaPlane));

    std::string problem;
    BitmapTag a = ReadBitmap(6, bits, tables, problem);
    ASSERT_TRUE(a.image) << problem;
    ExpectNear(a.image->pixels[0], want, 3, "DefineBits with tables");
    BitmapTag b = ReadBitmap(21, stray, {}, problem);
    ASSERT_TRUE(b.image) << problem;
    ExpectNear(b.image->pixels[5], want, 3, "JPEG2 with a stray end and start");
    BitmapTag c = ReadBitmap(35, withAlpha, {}, problem);
    ASSERT_TRUE(c.image) << problem;
    EXPECT_EQ(c.image->pixels[0], 0u);
    // The colours count as multiplied by the plane already; none may exceed its alpha.
    ExpectNear(c.image->pixels[1], 0x80805030, 3, "JPEG3 at half alpha");
}

TEST(ReadBitmap, Jpeg2MayHoldAPng) {
    std::vector<std::uint32_t> rgba{0xFF0000FF, 0x80FFFFFF, 0x00000000, 0x40102030};
    Bytes body;
    U16(body, 4);
    Append(body, Encoded(rgba, 2, 2, false));
    std::string problem;
    BitmapTag tag = ReadBitmap(21, body, {}, problem);
    ASSERT_TRUE(tag.image) << problem;
    std::vector<std::uint32_t> want{0xFFFF0000, 0x80808080, 0x00000000, 0x400C0804};
    EXPECT_EQ(tag.image->pixels, want);
}

TEST(ReadBitmap, DamagedOrHugeBitmapsAreReportedAndDropped) {
    Bytes rows(4 * 2, 1);
    Bytes good = LosslessBody(9, 3, 3, 2, 2, [&] {
        Bytes d{1, 2, 3, 4, 5, 6};
        Append(d, rows);
        return d;
    }());
    Bytes truncated(good.begin(), good.end() - 6);
    Bytes huge = LosslessBody(9, 5, 9000, 1, 0, Bytes(36000, 0));
    Bytes tooMany = LosslessBody(9, 5, 4096, 4097, 0, {}); // refused before inflating
    Bytes noPixels = LosslessBody(9, 5, 4, 4, 0, Bytes(10, 0));
    Bytes format7 = LosslessBody(9, 7, 1, 1, 0, Bytes(4, 0));
    Bytes badJpeg{9, 0, 0xFF, 0xD8, 0xFF, 0xC0, 0x00, 0x11, 0x08};
    Bytes badAlphaOffset{9, 0, 0xFF, 0xFF, 0, 0, 0xFF, 0xD8};
    struct Case {
        const char* what;
        std::uint16_t code;
        const Bytes& body;
    };
    const Case cases[] = {
        {"lossless cut short", 20, truncated},
        {"wider than allowed", 20, huge},
        {"too many pixels", 20, tooMany},
        {"fewer pixels than rows", 36, noPixels},
        {"unknown format", 36, format7},
        {"JPEG cut short", 21, badJpeg},
        {"alpha offset past the end", 35, badAlphaOffset},
    };
    for (const auto& c : cases) {
        std::string problem;
        BitmapTag tag = ReadBitmap(c.code, c.body, {}, problem);
        EXPECT_FALSE(tag.image) << c.what;
        EXPECT_NE(problem, "") << c.what;
    }

    // Through the movie: the good bitmap is kept by its id, the damaged one only reported.
    MovieWriter writer;
    writer.Tag(20, good, true).Tag(20, truncated, true).ShowFrame();
    Bytes file = writer.Finish();
    Movie movie = ParseMovie(file);
    ASSERT_EQ(movie.bitmaps.size(), 1u);
    EXPECT_EQ(movie.bitmaps.at(9)->width, 3);
    ASSERT_EQ(movie.problems.size(), 1u);
    EXPECT_EQ(movie.problems[0].rfind("bitmap 9: ", 0), 0u) << movie.problems[0];
}

} // namespace
