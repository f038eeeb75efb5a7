// Geometry under what the corpus does not pin: drawn outlines left open, the non-zero rule,
// curves' extremes in bounds, hit tests through nested matrices, and hostile numbers.

#include "display/geometry.h"
#include "display/stage.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

using fw::avm1::DrawCommand;
using Op = DrawCommand::Op;
using namespace fw::display;

DrawCommand Cmd(Op op, double x = 0, double y = 0, double cx = 0, double cy = 0) {
    DrawCommand c;
    c.op = op;
    c.x = x;
    c.y = y;
    c.cx = cx;
    c.cy = cy;
    return c;
}

// A square outline from (0,0) to (size,size) in pixels, its fill left open.
Drawing OpenSquare(double size) {
    Drawing d;
    d.Apply(Cmd(Op::SolidFill));
    d.Apply(Cmd(Op::LineTo, size, 0));
    d.Apply(Cmd(Op::LineTo, size, size));
    d.Apply(Cmd(Op::LineTo, 0, size));
    return d;
}

TEST(DisplayGeometry, OpenFillIsClosedForHitTestsOnly) {
    Drawing d = OpenSquare(10);
    EXPECT_TRUE(HitShapeEdges(d.Closed(), {100, 100})) << "expected the open fill to cover";
    EXPECT_FALSE(HitShapeEdges(d.Closed(), {300, 100}));
    EXPECT_EQ(d.shape.edges.size(), 3u) << "expected the drawing itself left open";
    d.Apply(Cmd(Op::EndFill));
    EXPECT_EQ(d.shape.edges.size(), 4u) << "expected endFill to close the outline";
}

TEST(DisplayGeometry, WindingRules) {
    // Two squares wound the same way, one inside the other: a hole by even-odd only.
    Drawing d;
    d.Apply(Cmd(Op::SolidFill));
    for (double s : {0.0, 5.0}) {
        double e = 20 - s;
        d.Apply(Cmd(Op::MoveTo, s, s));
        d.Apply(Cmd(Op::LineTo, e, s));
        d.Apply(Cmd(Op::LineTo, e, e));
        d.Apply(Cmd(Op::LineTo, s, e));
    }
    fw::swf::Shape shape = d.Closed();
    struct Case {
        bool nonZero;
        fw::swf::Point p;
        bool hit;
    } cases[] = {{false, {40, 40}, true},
                 {false, {200, 200}, false},
                 {true, {200, 200}, true},
                 {true, {40, 40}, true},
                 {true, {500, 500}, false}};
    for (const auto& c : cases) {
        shape.nonZero = c.nonZero;
        EXPECT_EQ(HitShapeEdges(shape, c.p), c.hit)
            << "at " << c.p.x << "," << c.p.y << " nonZero " << c.nonZero;
    }
}

TEST(DisplayGeometry, BoundsOfCurvesAndLines) {
    Clip clip;
    clip.drawing = std::make_shared<Drawing>();
    Drawing& d = *clip.drawing;
    DrawCommand line = Cmd(Op::LineStyle);
    line.width = 4;
    d.Apply(line);
    d.Apply(Cmd(Op::CurveTo, 10, 0, 5, 10)); // its extreme lies at y = 5, not at the control
    auto rect = ContentBounds(clip, false);
    ASSERT_TRUE(rect);
    EXPECT_DOUBLE_EQ(rect->yMax, 100) << "expected the curve's extreme, got " << rect->yMax;
    auto withLines = ContentBounds(clip, true);
    ASSERT_TRUE(withLines);
    EXPECT_DOUBLE_EQ(withLines->yMax, 140) << "expected half the line's width added";
    EXPECT_TRUE(IsInvalid(TransformBounds(InvalidBounds(), fw::swf::Matrix{2, 0, 0, 2, 5, 5})));
}

TEST(DisplayGeometry, HostileNumbersStayFinite) {
    Drawing d = OpenSquare(std::numeric_limits<double>::infinity());
    d.Apply(Cmd(Op::LineTo, std::nan(""), -std::numeric_limits<double>::infinity()));
    for (const auto& e : d.shape.edges) {
        EXPECT_TRUE(std::isfinite(e.to.x) && std::isfinite(e.to.y));
    }
    HitShapeEdges(d.Closed(), {1, 1}); // must neither crash nor hang
}

TEST(DisplayGeometry, HitTestThroughNestedMatrices) {
    Clip root;
    auto child = std::make_unique<Clip>();
    child->parent = &root;
    child->matrix = {2, 0, 0, 2, 200, 0}; // scaled twice, 10 px to the right
    child->drawing = std::make_shared<Drawing>(OpenSquare(10));
    Clip& c = *child;
    root.children[1] = std::move(child);
    root.matrix.tx = 100; // the root itself moved 5 px
    struct Case {
        double x, y;
        bool shape, hit;
    } cases[] = {{16, 1, true, true},
                 {34, 19, true, true},
                 {14, 1, true, false},
                 {36, 1, false, false},
                 {35, 20, false, true}};
    for (const auto& k : cases) {
        EXPECT_EQ(HitTestPoint(c, k.x, k.y, k.shape), k.hit) << "at " << k.x << "," << k.y;
        EXPECT_EQ(HitTestPoint(root, k.x, k.y, k.shape), k.hit) << "root at " << k.x;
    }
}

} // namespace
