#include "render/raster.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

using namespace fw::render;
using fw::swf::Point;

constexpr double kPi = 3.14159265358979323846;

Path Polygon(std::initializer_list<Point> pts) {
    Path p;
    const Point* v = pts.begin();
    for (std::size_t i = 0; i < pts.size(); ++i) {
        p.Line(v[i], v[(i + 1) % pts.size()]);
    }
    return p;
}

Path Rect(double x0, double y0, double x1, double y1) {
    return Polygon({{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}});
}

// A circle of four quadratic arcs per quarter (each within 0.03 % of the true radius).
Path Circle(double cx, double cy, double r) {
    Path p;
    const int n = 16;
    double half = kPi / n, k = r / std::cos(half);
    for (int i = 0; i < n; ++i) {
        double a0 = 2 * half * i, a1 = 2 * half * (i + 1), am = (a0 + a1) / 2;
        p.Quad({cx + r * std::cos(a0), cy + r * std::sin(a0)},
               {cx + k * std::cos(am), cy + k * std::sin(am)},
               {cx + r * std::cos(a1), cy + r * std::sin(a1)});
    }
    return p;
}

Mask Cover(const Path& path, FillRule rule = FillRule::NonZero, int w = 100, int h = 100) {
    Mask m{w, h, std::vector<std::uint8_t>(std::size_t(w) * h, 0)};
    CoverPath(m, path, rule);
    return m;
}

double Area(const Mask& m) {
    double sum = 0;
    for (std::uint8_t c : m.cover) {
        sum += c / 255.0;
    }
    return sum;
}

int At(const Mask& m, int x, int y) {
    return m.cover[std::size_t(y) * m.width + x];
}

TEST(RenderFill, CoverageFollowsTheArea) {
    Mask square = Cover(Rect(10, 10, 20, 30));
    EXPECT_EQ(Area(square), 200.0);
    EXPECT_EQ(At(square, 10, 10), 255);
    EXPECT_EQ(At(square, 9, 10), 0);
    EXPECT_EQ(At(square, 20, 29), 0);

    Mask half = Cover(Rect(10.5, 10, 11, 11));
    EXPECT_NEAR(At(half, 10, 10), 128, 1) << "a half-covered pixel";
    Mask diagonal = Cover(Polygon({{10, 10}, {11, 10}, {11, 11}}));
    EXPECT_NEAR(At(diagonal, 10, 10), 128, 1) << "a pixel cut on its diagonal";

    double r = 30;
    double circle = Area(Cover(Circle(50, 50, r)));
    EXPECT_NEAR(circle, kPi * r * r, kPi * r * r * 0.005);

    // Wider than one band of cells, and tilted, so every band must meet the next exactly.
    Mask wide =
        Cover(Polygon({{0, 0}, {8000, 37}, {8000, 300}, {0, 263}}), FillRule::NonZero, 8192, 300);
    EXPECT_NEAR(Area(wide), 8000.0 * 263, 8000.0 * 263 * 1e-4);
}

TEST(RenderFill, FillRulesOnAStar) {
    Path star;
    Point pts[5];
    for (int i = 0; i < 5; ++i) {
        double a = -kPi / 2 + i * 4 * kPi / 5;
        pts[i] = {50 + 40 * std::cos(a), 50 + 40 * std::sin(a)};
    }
    for (int i = 0; i < 5; ++i) {
        star.Line(pts[i], pts[(i + 1) % 5]);
    }
    Mask even = Cover(star, FillRule::EvenOdd), nonzero = Cover(star, FillRule::NonZero);
    EXPECT_EQ(At(even, 50, 50), 0) << "the centre winds twice";
    EXPECT_EQ(At(nonzero, 50, 50), 255);
    EXPECT_EQ(At(even, 50, 15), 255) << "a point winds once";
    EXPECT_GT(Area(nonzero), Area(even) + 500);
}

TEST(RenderFill, PaintsThroughTheClip) {
    Picture pic(4, 1, 0xFFFFFFFF);
    Mask clip{4, 1, {255, 128, 0, 255}};
    FillPath(pic, Rect(0, 0, 3, 1), FillRule::NonZero, SolidPaint(0xFF000000), &clip);
    EXPECT_EQ(pic.pixels[0], 0xFF000000u);
    EXPECT_NEAR(int(pic.pixels[1] & 0xFF), 127, 1) << "half the clip, half the black";
    EXPECT_EQ(pic.pixels[2], 0xFFFFFFFFu) << "no clip, no paint";
    EXPECT_EQ(pic.pixels[3], 0xFFFFFFFFu) << "outside the path";

    Picture glass(1, 1, 0xFF0000FF);
    FillPath(glass, Rect(0, 0, 1, 1), FillRule::NonZero, SolidPaint(0x80800000));
    EXPECT_EQ(glass.pixels[0] >> 24, 0xFFu);
    EXPECT_NEAR(int(glass.pixels[0] >> 16 & 0xFF), 128, 1);
    EXPECT_NEAR(int(glass.pixels[0] & 0xFF), 127, 1);
}

double StrokeArea(const Path& path, const StrokeStyle& style) {
    return Area(Cover(StrokeOutline(path, style)));
}

TEST(RenderStroke, WidthCapsAndJoinsAddWhatGeometrySays) {
    Path line;
    line.Line({20, 50.5}, {80, 50.5});
    StrokeStyle hair{0, fw::swf::Cap::None, fw::swf::Cap::None};
    Mask h = Cover(StrokeOutline(line, hair));
    EXPECT_EQ(At(h, 50, 50), 255);
    EXPECT_EQ(At(h, 50, 49), 0);
    EXPECT_EQ(At(h, 50, 51), 0);

    StrokeStyle s{10, fw::swf::Cap::None, fw::swf::Cap::None};
    EXPECT_NEAR(StrokeArea(line, s), 600, 1);
    s.startCap = s.endCap = fw::swf::Cap::Square;
    EXPECT_NEAR(StrokeArea(line, s), 700, 1);
    s.startCap = s.endCap = fw::swf::Cap::Round;
    EXPECT_NEAR(StrokeArea(line, s), 600 + kPi * 25, 2);

    // A right angle (two 400 px² arms overlapping by 25): a bevel adds half the corner square, a
    // mitre all of it, round a quarter disc.
    Path corner;
    corner.Line({20, 20}, {60, 20});
    corner.Line({60, 20}, {60, 60});
    StrokeStyle j{10, fw::swf::Cap::None, fw::swf::Cap::None, fw::swf::Join::Bevel};
    EXPECT_NEAR(StrokeArea(corner, j), 775 + 12.5, 1);
    j.join = fw::swf::Join::Miter;
    EXPECT_NEAR(StrokeArea(corner, j), 775 + 25, 1);
    j.miterLimit = 0.6; // the tip, 0.71 widths out, is cut at 0.6
    EXPECT_NEAR(StrokeArea(corner, j), 800 - std::pow(5 * std::sqrt(2.0) - 6, 2), 1);
    j.join = fw::swf::Join::Round;
    EXPECT_NEAR(StrokeArea(corner, j), 775 + kPi * 25 / 4, 1);

    // Closed, the square's corners are joined; left open they keep their caps.
    Path box = Rect(20, 20, 60, 60);
    StrokeStyle c{10, fw::swf::Cap::None, fw::swf::Cap::None, fw::swf::Join::Miter};
    EXPECT_NEAR(StrokeArea(box, c), 50 * 50 - 30 * 30, 1);
    c.noClose = true;
    EXPECT_NEAR(StrokeArea(box, c), 50 * 50 - 30 * 30 - 25, 1);
}

TEST(RenderFill, HostileInputIsSurvived) {
    Picture pic(64, 64, 0);
    double nan = std::numeric_limits<double>::quiet_NaN();
    double inf = std::numeric_limits<double>::infinity();
    Path bad;
    bad.Line({nan, 0}, {10, 10});
    bad.Quad({0, 0}, {inf, 5}, {10, 10});
    bad.Line({-1e300, -1e300}, {1e300, 1e300});
    bad.Quad({-1e9, 10}, {5e9, 1e9}, {1e9, 30});
    FillPath(pic, bad, FillRule::NonZero, SolidPaint(0xFFFFFFFF));
    StrokePath(pic, bad, StrokeStyle{1e12}, SolidPaint(0xFFFFFFFF));

    Path many;
    for (int i = 0; i < 1000000; ++i) {
        many.Line({0, 0}, {64, 64.0 * (i % 7)});
    }
    FillPath(pic, many, FillRule::EvenOdd, SolidPaint(0xFF00FF00));
    StrokePath(pic, many, StrokeStyle{3}, SolidPaint(0xFF00FF00));

    // Far away geometry costs nothing and covers nothing; its winding left of the picture stays.
    Mask far = Cover(Rect(-1e7, 10, 20, 20), FillRule::NonZero, 64, 64);
    EXPECT_EQ(Area(far), 200.0);
    Mask across = Cover(Rect(-1e7, 10, 1e7, 20), FillRule::NonZero, 64, 64);
    EXPECT_EQ(Area(across), 640.0) << "both sides outside";
}

} // namespace
