#include "swf/byte_reader.h"
#include "swf/graphics.h"
#include "swf/movie.h"
#include "swf/writer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace {

using namespace fw::swf;
using Bytes = std::vector<std::uint8_t>;

// Bodies written bit by bit by hand from the file format's field tables, so they check the
// reader against the format rather than against our own writer.

// Scale 1.5 / -0.5 in 18-bit fields, skews 0.25 / -0.25 in 17 bits, translation 10, -3.
const Bytes kMatrix = {0xC9, 0x80, 0x00, 0xE0, 0x00, 0x31, 0x20,
                       0x00, 0x70, 0x00, 0x0A, 0xAE, 0x80};

// DefineShape2 id 7: a red fill and a 40-twip blue line around (0,0) (100,0) (100,100), a
// curve through (50,100) to (0,50) and back up; then new styles (a green fill, no lines) and a
// 50-twip square at (150,0) whose last side is a general line with no x step.
const Bytes kShape = {0x07, 0x00, 0x50, 0x00, 0x64, 0x00, 0x03, 0x20, 0x01, 0x00, 0xFF, 0x00, 0x00,
                      0x01, 0x28, 0x00, 0x00, 0x00, 0xFF, 0x11, 0x34, 0x27, 0xB0, 0xC9, 0xB2, 0xC9,
                      0x2C, 0xE0, 0x13, 0xA7, 0x6A, 0xCE, 0x55, 0x29, 0x60, 0x04, 0x01, 0x00, 0x00,
                      0xFF, 0x00, 0x00, 0x10, 0xD4, 0x65, 0xAA, 0xCB, 0x52, 0x76, 0xB0, 0x13, 0x80};

TEST(SwfMatrix, DecodesScaleSkewAndTranslation) {
    ByteReader r(kMatrix);
    Matrix m = ReadMatrix(r);
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(r.pos(), kMatrix.size()) << "expected the whole record read";
    EXPECT_DOUBLE_EQ(m.a, 1.5);
    EXPECT_DOUBLE_EQ(m.d, -0.5);
    EXPECT_DOUBLE_EQ(m.b, 0.25);
    EXPECT_DOUBLE_EQ(m.c, -0.25);
    EXPECT_DOUBLE_EQ(m.tx, 10);
    EXPECT_DOUBLE_EQ(m.ty, -3);
    // x' = 1.5 x - 0.25 y + 10, y' = 0.25 x - 0.5 y - 3
    EXPECT_EQ(m.Apply(Point{4, 8}), (Point{14, -6}));
}

TEST(SwfMatrix, ComposesAndInverts) {
    const Matrix cases[] = {
        {1, 0, 0, 1, 0, 0},
        {2, 0, 0, 3, 40, -60},
        {0, 1, -1, 0, 5, 5},
        {1.5, 0.25, -0.25, -0.5, 10, -3},
    };
    const Point p{123, -45};
    for (const auto& m : cases) {
        auto inv = m.Inverse();
        ASSERT_TRUE(inv.has_value());
        Point back = inv->Apply(m.Apply(p));
        EXPECT_NEAR(back.x, p.x, 1e-9);
        EXPECT_NEAR(back.y, p.y, 1e-9);
        Matrix outer{2, 0, 0, 2, 7, 9};
        Point composed = m.Then(outer).Apply(p);
        Point stepwise = outer.Apply(m.Apply(p));
        EXPECT_NEAR(composed.x, stepwise.x, 1e-9);
        EXPECT_NEAR(composed.y, stepwise.y, 1e-9);
    }
    EXPECT_FALSE((Matrix{0, 0, 0, 0, 1, 1}).Inverse().has_value())
        << "expected a flattening matrix to have no inverse";
}

TEST(SwfColorTransform, ScalesAddsAndClamps) {
    struct Case {
        ColorTransform t;
        Rgba in;
        Rgba expected;
    };
    ColorTransform half;
    half.mult[3] = 128;
    ColorTransform brighter;
    brighter.add[0] = 100;
    brighter.add[1] = -100;
    const Case cases[] = {
        {ColorTransform{}, {10, 20, 30, 255}, {10, 20, 30, 255}},
        {half, {10, 20, 30, 255}, {10, 20, 30, 127}},
        {brighter, {200, 50, 30, 255}, {255, 0, 30, 255}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.t.Apply(c.in), c.expected);
    }
}

TEST(SwfShape, DecodesStraightCurvedEdgesAndStyleChanges) {
    std::string problem;
    auto shape = ReadShape(22, kShape, problem);
    ASSERT_TRUE(shape.has_value()) << problem;
    EXPECT_EQ(shape->id, 7);
    EXPECT_EQ(shape->bounds, (Bounds{0, 200, 0, 100}));
    ASSERT_EQ(shape->fills.size(), 2u);
    EXPECT_EQ(shape->fills[0].colour, (Rgba{255, 0, 0, 255}));
    EXPECT_EQ(shape->fills[1].colour, (Rgba{0, 255, 0, 255}));
    ASSERT_EQ(shape->lines.size(), 1u);
    EXPECT_EQ(shape->lines[0].width, 40);
    EXPECT_EQ(shape->lines[0].colour, (Rgba{0, 0, 255, 255}));

    struct Expected {
        Point from, to;
        bool curve;
        Point control;
        int fill1, line;
    };
    const Expected expected[] = {
        {{0, 0}, {100, 0}, false, {}, 1, 1},          {{100, 0}, {100, 100}, false, {}, 1, 1},
        {{100, 100}, {0, 50}, true, {50, 100}, 1, 1}, {{0, 50}, {0, 0}, false, {}, 1, 1},
        {{150, 0}, {200, 0}, false, {}, 2, 0},        {{200, 0}, {200, 50}, false, {}, 2, 0},
        {{200, 50}, {150, 50}, false, {}, 2, 0},      {{150, 50}, {150, 0}, false, {}, 2, 0},
    };
    ASSERT_EQ(shape->edges.size(), std::size(expected));
    for (std::size_t i = 0; i < std::size(expected); ++i) {
        SCOPED_TRACE("edge " + std::to_string(i));
        const Edge& e = shape->edges[i];
        EXPECT_EQ(e.from, expected[i].from);
        EXPECT_EQ(e.to, expected[i].to);
        EXPECT_EQ(e.control.has_value(), expected[i].curve);
        if (e.control) {
            EXPECT_EQ(*e.control, expected[i].control);
        }
        EXPECT_EQ(e.fill0, 0);
        EXPECT_EQ(e.fill1, expected[i].fill1);
        EXPECT_EQ(e.line, expected[i].line);
    }

    // Geometry: one contour per fill, the curve flattened, the outline stroked once.
    ASSERT_EQ(shape->regions.size(), 2u);
    EXPECT_EQ(shape->regions[0].contours.size(), 1u);
    EXPECT_GT(shape->regions[0].contours[0].size(), 5u) << "expected the curve flattened";
    ASSERT_EQ(shape->strokes.size(), 1u);
    EXPECT_EQ(shape->strokes[0].lines.size(), 1u);
    // Points on and off the filled areas; the blue line reaches 20 twips out.
    const std::pair<Point, bool> hits[] = {
        {{50, 20}, true},   {{90, 90}, true},  {{10, 95}, false},  {{175, 25}, true},
        {{125, 25}, false}, {{-15, 30}, true}, {{-30, 30}, false},
    };
    for (const auto& [p, inside] : hits) {
        EXPECT_EQ(HitShape(*shape, p), inside) << "at " << p.x << "," << p.y;
    }
}

TEST(SwfShape, ReportsBadBodies) {
    struct Case {
        const char* what;
        int tag;
        Bytes body;
    };
    Bytes cut(kShape.begin(), kShape.begin() + 30);
    Bytes badFill = kShape;
    badFill[9] = 0x77; // fill style type
    const Case cases[] = {
        {"empty", 22, {}},
        {"cut in the edges", 22, cut},
        {"unknown fill type", 22, badFill},
        {"new styles in the first kind", 2, kShape},
    };
    for (const auto& c : cases) {
        std::string problem;
        EXPECT_FALSE(ReadShape(c.tag, c.body, problem).has_value()) << c.what;
        EXPECT_FALSE(problem.empty()) << c.what;
    }
}

TEST(SwfShape, FillsOnTheLeftRunReversedAndJoinIntoOneContour) {
    // A square drawn as two halves in opposite directions, the fill on their left side.
    ShapeBuilder b(1);
    int fill = b.Fill(Rgba{1, 2, 3, 255});
    b.Style(fill, 0, 0).MoveTo(0, 0).LineTo(0, 100).LineTo(100, 100);
    b.MoveTo(0, 0).Style(0, fill, 0).LineTo(100, 0).LineTo(100, 100);
    Shape s = b.Build();
    ASSERT_EQ(s.regions.size(), 1u);
    ASSERT_EQ(s.regions[0].contours.size(), 1u) << "expected the halves joined";
    EXPECT_TRUE(Contains(s.regions[0].contours, Point{50, 50}));
    EXPECT_FALSE(Contains(s.regions[0].contours, Point{150, 50}));
}

TEST(SwfShowAll, KeepsTheAspectAndCentres) {
    struct Case {
        int w, h;
        Point topLeft, bottomRight;
    };
    // An 800 x 600 frame (16000 x 12000 twips).
    const Case cases[] = {
        {800, 600, {0, 0}, {800, 600}},
        {1024, 768, {0, 0}, {1024, 768}},
        {1000, 600, {100, 0}, {900, 600}},
        {800, 800, {0, 100}, {800, 700}},
    };
    for (const auto& c : cases) {
        Matrix m = ShowAllMatrix(0, 0, 16000, 12000, c.w, c.h);
        EXPECT_EQ(m.Apply(Point{0, 0}), c.topLeft) << c.w << "x" << c.h;
        EXPECT_EQ(m.Apply(Point{16000, 12000}), c.bottomRight) << c.w << "x" << c.h;
    }
}

TEST(SwfButton, ReadsRecordsConditionsAndKeys) {
    // DefineButton2 id 3, not a menu; two records; two condition actions.
    const Bytes body = {
        0x03, 0x00, 0x00, 0x12, 0x00,                   // id, flags, action offset 18
        0x09, 0x05, 0x00, 0x01, 0x00, 0x00, 0x00,       // up + hit: char 5 depth 1, identity, no cx
        0x06, 0x06, 0x00, 0x02, 0x00, 0x04, 0xA0, 0x00, // over+down: char 6, depth 2, tx=ty=1
        0x00,                                           // end of records
        0x06, 0x00, 0x08, 0x00, 0x07, 0x00,             // release: stop
        0x00, 0x00, 0x00, 0x1A, 0x06, 0x00,             // last: key 13 (enter): play
    };
    std::string problem;
    auto b = ReadButton2(body, problem);
    ASSERT_TRUE(b.has_value()) << problem;
    EXPECT_EQ(b->id, 3);
    ASSERT_EQ(b->records.size(), 2u);
    EXPECT_EQ(b->records[0].states, kStateUp | kStateHit);
    EXPECT_EQ(b->records[0].character, 5);
    EXPECT_EQ(b->records[1].states, kStateOver | kStateDown);
    EXPECT_EQ(b->records[1].depth, 2);
    EXPECT_EQ(b->records[1].matrix, (Matrix{1, 0, 0, 1, 1, 1}));
    ASSERT_EQ(b->actions.size(), 2u);
    EXPECT_EQ(b->actions[0].conditions, kCondRelease);
    EXPECT_EQ(b->actions[0].key, 0);
    EXPECT_EQ(b->actions[0].actions, (Bytes{0x07, 0x00}));
    EXPECT_EQ(b->actions[1].conditions, 0);
    EXPECT_EQ(b->actions[1].key, 13);
    EXPECT_EQ(b->actions[1].actions, (Bytes{0x06, 0x00}));
}

TEST(SwfEditText, ReadsFieldsAsStored) {
    // Id 9, bounds 0..2000 x 0..400, has text + word wrap + colour + font, html + layout,
    // font 4 at 240 twips, colour 11 22 33 ff, centred with margins 20 40, variable, text.
    Bytes body = {0x09, 0x00, 0x60, 0x00, 0x3E, 0x80, 0x00, 0x0C, 0x80, 0xC5,
                  0x22, 0x04, 0x00, 0xF0, 0x00, 0x11, 0x22, 0x33, 0xFF, 0x02,
                  0x14, 0x00, 0x28, 0x00, 0x00, 0x00, 0x00, 0x00};
    for (char c : std::string("_root.currentvolume")) {
        body.push_back(static_cast<std::uint8_t>(c));
    }
    body.push_back(0);
    for (char c : std::string("<b>7</b>")) {
        body.push_back(static_cast<std::uint8_t>(c));
    }
    body.push_back(0);
    std::string problem;
    auto t = ReadEditText(body, problem);
    ASSERT_TRUE(t.has_value()) << problem;
    EXPECT_EQ(t->id, 9);
    EXPECT_EQ(t->bounds, (Bounds{0, 2000, 0, 400}));
    EXPECT_TRUE(t->hasText);
    EXPECT_TRUE(t->wordWrap);
    EXPECT_FALSE(t->multiline);
    EXPECT_TRUE(t->html);
    EXPECT_TRUE(t->hasFont);
    EXPECT_EQ(t->fontId, 4);
    EXPECT_EQ(t->height, 240);
    EXPECT_EQ(t->colour, (Rgba{0x11, 0x22, 0x33, 0xFF}));
    EXPECT_EQ(t->align, TextAlign::Center);
    EXPECT_EQ(t->leftMargin, 20);
    EXPECT_EQ(t->rightMargin, 40);
    EXPECT_EQ(t->variable, "_root.currentvolume");
    EXPECT_EQ(t->initialText, "<b>7</b>");
    EXPECT_EQ(PlainFromHtml(t->initialText), "7");

    body.resize(body.size() - 4);
    EXPECT_FALSE(ReadEditText(body, problem).has_value()) << "expected a cut text refused";
}

TEST(SwfEditText, HtmlBecomesPlainText) {
    const std::pair<std::string, std::string> cases[] = {
        {"plain", "plain"},
        {"<p align=\"center\"><font face=\"Arial\">a &amp; b</font></p>", "a & b"},
        {"one<br>two<BR/>three", "one\ntwo\nthree"},
        {"&lt;tag&gt; &quot;q&quot; &apos; &unknown;", "<tag> \"q\" ' &unknown;"},
        {"cut <b", "cut "},
    };
    for (const auto& [html, plain] : cases) {
        EXPECT_EQ(PlainFromHtml(html), plain) << html;
    }
}

TEST(SwfPlacement, ReadsEachPlacementKind) {
    struct Case {
        const char* what;
        int tag;
        Bytes body;
        Placement expected;
    };
    Placement place2;
    place2.depth = 5;
    place2.character = 2;
    place2.matrix = Matrix{1, 0, 0, 1, 10, -3};
    place2.name = "bar";
    Placement move;
    move.depth = 5;
    move.move = true;
    move.colour = ColorTransform{};
    move.colour->mult[3] = 128;
    Placement remove2;
    remove2.kind = Placement::Kind::Remove;
    remove2.depth = 7;
    Placement place3;
    place3.depth = 1;
    place3.character = 4;
    place3.visible = false;
    const Case cases[] = {
        {"PlaceObject2 with matrix and name",
         26,
         {0x26, 0x05, 0x00, 0x02, 0x00, 0x0A, 0xAE, 0x80, 'b', 'a', 'r', 0x00},
         place2},
        // cxform with alpha: mult only, 9 bits: 256 256 256 128
        {"PlaceObject2 moving a colour",
         26,
         {0x09, 0x05, 0x00, 0x69, 0x00, 0x40, 0x10, 0x02, 0x00},
         move},
        {"RemoveObject2", 28, {0x07, 0x00}, remove2},
        {"PlaceObject3 hidden", 70, {0x02, 0x20, 0x01, 0x00, 0x04, 0x00, 0x00}, place3},
    };
    for (const auto& c : cases) {
        std::string problem;
        auto p = ReadPlacement(c.tag, c.body, problem);
        ASSERT_TRUE(p.has_value()) << c.what << ": " << problem;
        EXPECT_EQ(*p, c.expected) << c.what;
    }
    std::string problem;
    EXPECT_FALSE(ReadPlacement(26, Bytes{0x02, 0x05}, problem).has_value());
}

// The writer and the reader agree on every record they both know.
TEST(SwfWriterRoundTrip, ShapesButtonsTextsFontsAndPlacements) {
    ShapeBuilder sb(1, 22);
    int red = sb.Fill(Rgba{255, 0, 0, 255});
    int line = sb.Line(30, Rgba{0, 0, 0, 255});
    sb.Style(0, red, line).Rect(-100, -50, 2000, 1000);
    sb.Style(red, 0, 0).MoveTo(3000, 0).CurveTo(3500, 800, 4000, 0).LineTo(3000, 0);
    Shape shape = sb.Build();
    ShapeBuilder sb3(2, 32);
    sb3.Style(0, sb3.Fill(Rgba{0, 128, 0, 100}), 0).Rect(0, 0, 300, 300);
    Shape shape3 = sb3.Build();

    Font font{3, "Tahoma", true, false};
    EditText text;
    text.id = 4;
    text.bounds = Bounds{0, 4000, 0, 600};
    text.hasFont = true;
    text.fontId = 3;
    text.height = 360;
    text.colour = Rgba{255, 255, 0, 255};
    text.align = TextAlign::Right;
    text.readOnly = true;
    text.noSelect = true;
    text.variable = "currentvolume";
    text.hasText = true;
    text.initialText = "\xd0\x93\xd1\x80\xd0\xbe\xd0\xbc\xd0\xba\xd0\xbe\xd1\x81\xd1\x82\xd1\x8c";

    Button button;
    button.id = 5;
    ColorTransform faded;
    faded.mult[3] = 128;
    faded.add[0] = 20;
    button.records = {
        ButtonRecord{kStateUp | kStateOver | kStateHit, 1, 1, Matrix{}, ColorTransform{}},
        ButtonRecord{kStateDown, 2, 2, Matrix{2, 0.5, -0.5, 2, 100, 200}, faded},
    };
    button.actions = {
        ButtonAction{kCondRelease, 0, ActionWriter().FsCommand("quit", "").Finish()},
        ButtonAction{kCondPress | kCondRollOver, 0, ActionWriter().Do(Op::Stop).Finish()},
        ButtonAction{0, 32, ActionWriter().Do(Op::Play).Finish()},
    };

    Placement place;
    place.depth = 10;
    place.character = 5;
    place.matrix = Matrix{1, 0, 0, 1, 1000, 2000};
    place.name = "quitButton";
    Placement placeHidden;
    placeHidden.depth = 11;
    placeHidden.character = 4;
    placeHidden.visible = false;
    placeHidden.colour = faded;
    Placement move;
    move.depth = 10;
    move.move = true;
    move.matrix = Matrix{0.5, 0, 0, 0.5, -20, 40};

    MovieWriter w;
    w.DefineShape(shape).DefineShape(shape3).DefineFont(font).DefineEditText(text);
    w.DefineButton2(button).Place(place).Place(placeHidden).ShowFrame();
    w.Place(move).Remove(11).ShowFrame();
    Movie m = ParseMovie(w.Finish());
    ASSERT_TRUE(m.valid);
    EXPECT_TRUE(m.problems.empty()) << m.problems.front();

    ASSERT_EQ(m.characters.count(1), 1u);
    const auto& s1 = std::get<Shape>(m.characters.at(1));
    EXPECT_EQ(s1.edges, shape.edges);
    EXPECT_EQ(s1.fills, shape.fills);
    EXPECT_EQ(s1.lines, shape.lines);
    EXPECT_EQ(s1.bounds, shape.bounds);
    const auto& s2 = std::get<Shape>(m.characters.at(2));
    EXPECT_EQ(s2.fills, shape3.fills) << "expected the alpha kept in the third kind";
    EXPECT_EQ(s2.edges, shape3.edges);
    EXPECT_EQ(m.fonts.at(3), font);
    EXPECT_EQ(std::get<EditText>(m.characters.at(4)), text);
    EXPECT_EQ(std::get<Button>(m.characters.at(5)), button);
    ASSERT_EQ(m.frames.size(), 2u);
    EXPECT_EQ(m.frames[0].placements, (std::vector<Placement>{place, placeHidden}));
    Placement removed;
    removed.kind = Placement::Kind::Remove;
    removed.depth = 11;
    EXPECT_EQ(m.frames[1].placements, (std::vector<Placement>{move, removed}));
}

} // namespace
