#include "render/effects.h"
#include "render/paint.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace fw::render {
namespace {

int Red(Pixel p) {
    return (p >> 16) & 0xFF;
}
int Blue(Pixel p) {
    return p & 0xFF;
}
int Alpha(Pixel p) {
    return p >> 24;
}

// Red at the start, blue at the end, its square laid over pixels 0..256 of each row.
swf::FillStyle RedToBlue(std::uint8_t type, swf::Spread spread = swf::Spread::Pad) {
    swf::FillStyle f;
    f.type = type;
    f.solid = false;
    f.gradient.spread = spread;
    f.gradient.stops = {{0, {255, 0, 0, 255}}, {255, {0, 0, 255, 255}}};
    return f;
}

const swf::Matrix kSquareTo256{256.0 / 32768, 0, 0, 256.0 / 32768, 128, 128};

std::vector<Pixel> Row(const Paint& p, int x, int y, int count) {
    std::vector<Pixel> out(count);
    p.Span(x, y, count, out.data());
    return out;
}

TEST(RenderGradient, LinearRunsFromFirstToLastStop) {
    auto paint = GradientPaint(RedToBlue(swf::kFillLinear), kSquareTo256, {});
    auto row = Row(*paint, 0, 0, 256);
    EXPECT_EQ(row[0], 0xFFFF0000u);
    EXPECT_EQ(row[255], 0xFF0000FFu);
    EXPECT_NEAR(Red(row[128]), 127, 2);
    EXPECT_NEAR(Blue(row[128]), 128, 2);
    EXPECT_TRUE(paint->Opaque());
}

TEST(RenderGradient, SpreadModesBeyondTheSquare) {
    // 32 pixels past the end (an eighth of the way on) and 32 before the start.
    struct Case {
        swf::Spread spread;
        int redAfter;
        int redBefore;
    } cases[] = {{swf::Spread::Pad, 0, 255},
                 {swf::Spread::Reflect, 32, 223},
                 {swf::Spread::Repeat, 223, 32}};
    for (const Case& c : cases) {
        auto paint = GradientPaint(RedToBlue(swf::kFillLinear, c.spread), kSquareTo256, {});
        EXPECT_NEAR(Red(Row(*paint, 288, 0, 1)[0]), c.redAfter, 2)
            << "spread " << int(c.spread) << " after the end";
        EXPECT_NEAR(Red(Row(*paint, -33, 0, 1)[0]), c.redBefore, 2)
            << "spread " << int(c.spread) << " before the start";
    }
}

TEST(RenderGradient, RadialAndFocalFromCentreToRim) {
    auto radial = GradientPaint(RedToBlue(swf::kFillRadial), kSquareTo256, {});
    EXPECT_GE(Red(Row(*radial, 128, 128, 1)[0]), 250);
    EXPECT_EQ(Row(*radial, 257, 128, 1)[0], 0xFF0000FFu); // just past the rim
    EXPECT_EQ(Row(*radial, 0, 0, 1)[0], 0xFF0000FFu);     // beyond it, padded
    EXPECT_NEAR(Red(Row(*radial, 128 + 64, 128, 1)[0]), 127, 3);

    swf::FillStyle focal = RedToBlue(swf::kFillFocal);
    focal.gradient.focal = 0.5; // the start moves halfway to the right rim
    auto paint = GradientPaint(focal, kSquareTo256, {});
    EXPECT_GE(Red(Row(*paint, 128 + 64, 128, 1)[0]), 250);
    EXPECT_LT(Red(Row(*paint, 128 + 96, 128, 1)[0]), Red(Row(*paint, 128 + 32, 128, 1)[0]))
        << "a quarter radius from the focus towards the near rim is further along than "
           "the same distance towards the far one";
}

TEST(RenderGradient, DegenerateInputs) {
    // A flattened matrix paints the last stop; no stops paint nothing.
    swf::Matrix flat{0, 0, 0, 0, 5, 5};
    auto paint = GradientPaint(RedToBlue(swf::kFillRadial), flat, {});
    EXPECT_EQ(Row(*paint, 3, 3, 1)[0], 0xFF0000FFu);
    swf::FillStyle none = RedToBlue(swf::kFillLinear);
    none.gradient.stops.clear();
    EXPECT_EQ(Row(*GradientPaint(none, kSquareTo256, {}), 10, 0, 1)[0], 0u);
    // Half the alpha through the colour transform, then premultiplied.
    swf::ColorTransform half;
    half.mult[3] = 128;
    Pixel p = Row(*GradientPaint(RedToBlue(swf::kFillLinear), kSquareTo256, half), 0, 0, 1)[0];
    EXPECT_EQ(p, 0x7F7F0000u);
}

TEST(RenderBitmapPaint, NearestSmoothRepeatAndClip) {
    // A black and a white pixel, each drawn four pixels wide.
    std::vector<Pixel> px = {0xFF000000, 0xFFFFFFFF};
    PictureView view{2, 1, px.data()};
    swf::Matrix four{4, 0, 0, 4, 0, 0};
    auto nearest = BitmapPaint(view, four, false, false, {});
    auto smooth = BitmapPaint(view, four, false, true, {});
    auto tiled = BitmapPaint(view, four, true, false, {});
    EXPECT_EQ(Row(*nearest, 3, 0, 2), (std::vector<Pixel>{0xFF000000, 0xFFFFFFFF}));
    // Either side of the boundary, smoothing mixes the two by the distance to each centre.
    auto mixed = Row(*smooth, 3, 0, 2);
    EXPECT_NEAR(Red(mixed[0]), 96, 2);
    EXPECT_NEAR(Red(mixed[1]), 159, 2);
    EXPECT_EQ(Alpha(mixed[0]), 255);
    EXPECT_EQ(Row(*nearest, -3, 0, 1)[0], 0xFF000000u) << "clipped: the edge pixel extends";
    EXPECT_EQ(Row(*tiled, -3, 0, 1)[0], 0xFFFFFFFFu) << "repeating: the last column comes first";
    EXPECT_EQ(Row(*tiled, 9, 0, 1)[0], 0xFF000000u);
    auto empty = BitmapPaint(PictureView{}, four, true, true, {});
    EXPECT_EQ(Row(*empty, 0, 0, 1)[0], 0u);
}

TEST(RenderComposite, EveryBlendModeOnOnePair) {
    const Pixel dst = 0xFF804020;
    struct Case {
        BlendMode mode;
        Pixel src;
        Pixel expected;
    } cases[] = {
        {BlendMode::Normal, 0xFF40C0FF, 0xFF40C0FF},
        {BlendMode::Normal, 0x80400000, 0xFF802010},
        {BlendMode::Layer, 0xFF40C0FF, 0xFF40C0FF},
        {BlendMode::Multiply, 0xFF40C0FF, 0xFF203020},
        {BlendMode::Screen, 0xFF40C0FF, 0xFFA0D0FF},
        {BlendMode::Lighten, 0xFF40C0FF, 0xFF80C0FF},
        {BlendMode::Darken, 0xFF40C0FF, 0xFF404020},
        {BlendMode::Difference, 0xFF40C0FF, 0xFF4080DF},
        {BlendMode::Add, 0xFF40C0FF, 0xFFC0FFFF},
        {BlendMode::Subtract, 0xFF40C0FF, 0xFF400000},
        {BlendMode::Invert, 0xFF40C0FF, 0xFF7FBFDF},
        {BlendMode::Alpha, 0x80000000, 0x80402010},
        {BlendMode::Erase, 0x80000000, 0x7F402010},
        {BlendMode::Overlay, 0xFF40C0FF, 0xFF416040},
        {BlendMode::Hardlight, 0xFF40C0FF, 0xFF40A1FF},
    };
    for (const Case& c : cases) {
        Picture target(1, 1, dst);
        Composite(target, Picture(1, 1, c.src), 0, 0, c.mode);
        EXPECT_EQ(target.pixels[0], c.expected)
            << "mode " << int(c.mode) << ": expected " << std::hex << c.expected << ", got "
            << target.pixels[0];
    }
}

TEST(RenderComposite, OffsetAndMaskLimitTheSource) {
    Picture target(4, 1, 0xFF000000);
    Mask mask{4, 1, {255, 0, 128, 255}};
    Composite(target, Picture(3, 1, 0xFFFFFFFF), 1, 0, BlendMode::Normal, &mask);
    EXPECT_EQ(target.pixels, (std::vector<Pixel>{0xFF000000, 0xFF000000, 0xFF808080, 0xFFFFFFFF}));
    Composite(target, Picture(3, 1, 0xFFFF0000), -2000000000, 0, BlendMode::Normal);
    Composite(target, Picture(3, 1, 0xFFFF0000), 2000000000, 0, BlendMode::Add);
    EXPECT_EQ(target.pixels[3], 0xFFFFFFFFu) << "far offsets leave the target alone";
}

swf::Filter Shadow(double blur, double angle, double distance, std::uint8_t flags) {
    swf::Filter f;
    f.id = 0;
    f.colours = {0x000000FF};
    f.numbers = {blur, blur, angle, distance, 1};
    f.flags = flags;
    return f;
}

std::uint64_t TotalAlpha(const Picture& p) {
    std::uint64_t sum = 0;
    for (Pixel px : p.pixels) {
        sum += Alpha(px);
    }
    return sum;
}

TEST(RenderFilters, BlurSpreadsWithoutLosingAlpha) {
    Picture square(10, 10, 0xFFFFFFFF);
    swf::Filter blur;
    blur.id = 1;
    blur.numbers = {8, 8};
    blur.flags = 2 << 3; // two passes
    Reach r = FilterReach(blur, 1, 1);
    EXPECT_EQ(r.left, 8);
    EXPECT_EQ(r.bottom, 8);
    Picture out = ApplyFilter(square, blur, 1, 1);
    ASSERT_EQ(out.width, 26);
    ASSERT_EQ(out.height, 26);
    EXPECT_NEAR(double(TotalAlpha(out)), 100 * 255.0, 100 * 255.0 * 0.01);
    EXPECT_GT(Alpha(out.Row(13)[1]), 0) << "the blur reaches into the grown border";
    EXPECT_LT(Alpha(out.Row(13)[8]), 255);
    // At twice the scale the box is twice as wide.
    EXPECT_EQ(FilterReach(blur, 2, 2).right, 16);
}

TEST(RenderFilters, DropShadowFallsAlongTheAngle) {
    Picture square(4, 4, 0xFFFFFFFF);
    const double pi = std::acos(-1.0);
    struct Case {
        double angle;
        int dx, dy;
    } cases[] = {{0, 10, 0}, {pi / 2, 0, 10}, {pi, -10, 0}};
    for (const Case& c : cases) {
        swf::Filter f = Shadow(0, c.angle, 10, 0x20 | 1);
        Reach r = FilterReach(f, 1, 1);
        EXPECT_EQ(r.right - r.left, c.dx) << "angle " << c.angle;
        EXPECT_EQ(r.bottom - r.top, c.dy) << "angle " << c.angle;
        Picture out = ApplyFilter(square, f, 1, 1);
        ASSERT_EQ(out.width, 4 + std::abs(c.dx));
        int ox = r.left, oy = r.top;
        EXPECT_EQ(out.Row(oy + 1)[ox + 1], 0xFFFFFFFFu) << "the layer stays on top";
        EXPECT_EQ(out.Row(oy + 1 + c.dy)[ox + 1 + c.dx], 0xFF000000u) << "angle " << c.angle;
    }
    // Hidden object: only the shadow; knockout: the layer's own place is cut out.
    Picture hidden = ApplyFilter(square, Shadow(0, 0, 2, 1), 1, 1);
    EXPECT_EQ(hidden.Row(1)[3], 0xFF000000u);
    EXPECT_EQ(hidden.Row(1)[0], 0u);
    Picture knocked = ApplyFilter(square, Shadow(0, 0, 2, 0x60 | 1), 1, 1);
    EXPECT_EQ(knocked.Row(1)[3], 0u);
    EXPECT_EQ(knocked.Row(1)[5], 0xFF000000u);
}

TEST(RenderFilters, InnerBevelLitFromBeyondItsLayer) {
    // An inner bevel does not grow the layer, yet its light and shade are looked up ten pixels
    // off: from beyond a 4 x 4 layer nothing lights it, so it stays as it was.
    Picture square(4, 4, 0xFFFFFFFF);
    swf::Filter bevel = Shadow(0, 0, 10, 0x80 | 1);
    bevel.id = 3;
    bevel.colours = {0xFFFFFFFF, 0x000000FF};
    Picture out = ApplyFilter(square, bevel, 1, 1);
    EXPECT_EQ(out.width, 4);
    EXPECT_EQ(out.pixels, square.pixels);
}

TEST(RenderFilters, ColourMatrixSwapsChannels) {
    swf::Filter f;
    f.id = 6;
    f.numbers = {0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 1, 0};
    EXPECT_EQ(ApplyFilter(Picture(1, 1, 0x80800000), f, 1, 1).pixels[0], 0x80000080u);
}

TEST(RenderFilters, HostileNumbersStayBounded) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    Picture square(4, 4, 0xFFFFFFFF);
    swf::Filter far = Shadow(nan, 0, 1e9, 0x20 | 1);
    Reach r = FilterReach(far, inf, nan);
    EXPECT_LE(r.right, kMaxSide);
    Picture out = ApplyFilter(square, far, 1, 1);
    EXPECT_LE(out.width, kMaxSide);
    EXPECT_EQ(out.height, 4);
    swf::Filter blur;
    blur.id = 1;
    blur.numbers = {nan, -5};
    blur.flags = 0xFF;
    EXPECT_EQ(ApplyFilter(square, blur, 1, 1).pixels, square.pixels);
    swf::Filter convolution;
    convolution.id = 5;
    convolution.numbers = {200, 200, 0, nan}; // a size far beyond its numbers
    EXPECT_EQ(ApplyFilter(square, convolution, 1, 1).pixels, square.pixels);
    swf::Filter unknown;
    unknown.id = 99;
    EXPECT_EQ(ApplyFilter(square, unknown, 1, 1).width, 4);
}

} // namespace
} // namespace fw::render
