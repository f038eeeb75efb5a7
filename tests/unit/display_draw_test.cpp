// Drawing the display tree: colour transforms down nested clips, masks by clip depth and by
// setMask, blend modes through a layer, the drawing methods' gradient and bitmap fills, and
// what scripts change of how clips draw counting as a change of the picture.

#include "avm1/display_geometry.h"
#include "display/geometry.h"
#include "render/picture.h"
#include "swf/player.h"
#include "swf/writer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <tuple>
#include <string>

namespace {

using namespace fw::swf;
using fw::render::Picture;
using fw::render::Pixel;

class Host : public PlayerHost {
public:
    void FsCommand(const std::string&, const std::string&) override {}
    void TraceOutput(const std::string&) override {}
    void Problem(const std::string&) override {}
};

constexpr Rgba kRed{255, 0, 0, 255};
constexpr Rgba kBlue{0, 0, 255, 255};

// A square of side pixels at (x, y) pixels, filled on its right as the writer draws it.
Shape Square(std::uint16_t id, Rgba colour, double x, double y, double side) {
    ShapeBuilder b(id, 32);
    b.Style(0, b.Fill(colour), 0).Rect(x * 20, y * 20, side * 20, side * 20);
    return b.Build();
}

Placement Place(std::uint16_t depth, std::uint16_t character, std::string name = {}) {
    Placement p;
    p.depth = depth;
    p.character = character;
    p.matrix = Matrix{};
    if (!name.empty()) {
        p.name = std::move(name);
    }
    return p;
}

// A movie of one frame on a white stage.
Movie OneFrame(Frame frame) {
    Movie m;
    m.valid = true;
    m.version = 8;
    m.hasBackground = true;
    m.background = {255, 255, 255};
    m.frames.push_back(std::move(frame));
    return m;
}

// The stage after its first frame, drawn at one pixel per stage pixel into 40 x 40.
Picture Drawn(Movie movie, const ActionBlock& script = {}) {
    Host host;
    Player player(host);
    player.Load(std::move(movie));
    player.Tick();
    if (!script.empty()) {
        player.RunBlock(script);
    }
    Picture picture(40, 40);
    player.Render(picture, Matrix{0.05, 0, 0, 0.05, 0, 0});
    return picture;
}

std::string Hex(Pixel p) {
    char text[16];
    std::snprintf(text, sizeof text, "%08X", static_cast<unsigned>(p));
    return text;
}

void ExpectPixels(const Picture& picture,
                  std::initializer_list<std::tuple<int, int, Pixel, const char*>> cases) {
    for (const auto& [x, y, want, what] : cases) {
        Pixel got = picture.Row(y)[x];
        // Rounding may differ by a level or two between blending paths.
        bool near = true;
        for (int shift = 0; shift < 32; shift += 8) {
            near = near && std::abs(int((got >> shift) & 0xFF) - int((want >> shift) & 0xFF)) <= 2;
        }
        EXPECT_TRUE(near) << what << " at (" << x << ", " << y << "): expected " << Hex(want)
                          << ", got " << Hex(got);
    }
}

TEST(DisplayDraw, ColourTransformsMultiplyDownNestedClips) {
    // The inner placement turns red to blue; the outer one halves the alpha.
    Frame inner;
    inner.placements.push_back(Place(1, 1));
    inner.placements[0].colour = ColorTransform{{0, 256, 256, 256}, {0, 0, 255, 0}};
    Placement outer = Place(1, 2);
    outer.colour = ColorTransform{{256, 256, 256, 128}, {0, 0, 0, 0}};
    outer.matrix = Matrix{1, 0, 0, 1, 200, 200};
    Movie m = OneFrame(Frame{{}, {}, {}, {outer}});
    m.characters[1] = Square(1, kRed, 0, 0, 20);
    m.sprites[2] = Sprite{2, {inner}};
    Picture p = Drawn(std::move(m));
    ExpectPixels(p, {{20, 20, 0xFF8080FF, "half-transparent blue over white"},
                     {5, 5, 0xFFFFFFFF, "the background beside it"}});
}

// target.method(variable) for its effect alone.
ActionBlock CallWithVariable(const std::string& target, const std::string& method,
                             const std::string& variable) {
    return ActionWriter()
        .Push({variable})
        .Do(Op::GetVariable)
        .Push({1.0, target})
        .Do(Op::GetVariable)
        .Push({method})
        .RawBytes(std::vector<std::uint8_t>{0x52}) // CallMethod
        .Do(Op::Pop)
        .Finish();
}

TEST(DisplayDraw, MasksCutWhatTheyCover) {
    Placement mask = Place(1, 1);
    mask.clipDepth = 2; // masks depth 2 only
    Movie m = OneFrame(Frame{{}, {}, {}, {mask, Place(2, 2), Place(3, 3)}});
    m.characters[1] = Square(1, kRed, 0, 0, 20); // the mask's own colour never shows
    m.characters[2] = Square(2, kBlue, 0, 0, 40);
    m.characters[3] = Square(3, Rgba{0, 255, 0, 255}, 30, 30, 10);
    Picture p = Drawn(std::move(m));
    ExpectPixels(p, {{10, 10, 0xFF0000FF, "inside the mask"},
                     {25, 10, 0xFFFFFFFF, "outside the mask"},
                     {35, 35, 0xFF00FF00, "above the masked depths"}});

    // a.setMask(b): b hides itself and cuts a.
    Movie n = OneFrame(Frame{{}, {}, {}, {Place(1, 3, "a"), Place(2, 4, "b")}});
    n.characters[1] = Square(1, kBlue, 0, 0, 40);
    n.characters[2] = Square(2, kRed, 20, 0, 20);
    n.sprites[3] = Sprite{3, {Frame{{}, {}, {}, {Place(1, 1)}}}};
    n.sprites[4] = Sprite{4, {Frame{{}, {}, {}, {Place(1, 2)}}}};
    Picture q = Drawn(std::move(n), CallWithVariable("a", "setMask", "b"));
    ExpectPixels(q, {{30, 10, 0xFF0000FF, "the maskee where the mask is"},
                     {10, 10, 0xFFFFFFFF, "the maskee beyond the mask"},
                     {30, 30, 0xFFFFFFFF, "below the mask, nothing"}});
}

TEST(DisplayDraw, ABlendModeDrawsThroughALayer) {
    Frame f;
    f.placements.push_back(Place(1, 1));
    Placement over = Place(2, 2);
    over.blendMode = 7; // difference
    f.placements.push_back(over);
    Movie m = OneFrame(f);
    m.characters[1] = Square(1, kRed, 0, 0, 20);
    m.characters[2] = Square(2, kBlue, 10, 10, 20);
    Picture p = Drawn(std::move(m));
    ExpectPixels(p, {{15, 15, 0xFFFF00FF, "blue differing from red"},
                     {25, 25, 0xFFFFFF00, "blue differing from white"},
                     {5, 5, 0xFFFF0000, "red alone"}});
}

TEST(DisplayDraw, ALayeredClipTakesItsAlphaAsAWhole) {
    // Two overlapping squares in a half-transparent clip with a blend mode: where they overlap
    // the lower one does not show through the upper.
    Placement clip = Place(1, 3);
    clip.colour = ColorTransform{{256, 256, 256, 128}, {0, 0, 0, 0}};
    clip.blendMode = 7; // difference, over white
    Movie m = OneFrame(Frame{{}, {}, {}, {clip}});
    m.characters[1] = Square(1, kRed, 0, 0, 20);
    m.characters[2] = Square(2, kBlue, 10, 10, 20);
    m.sprites[3] = Sprite{3, {Frame{{}, {}, {}, {Place(1, 1), Place(2, 2)}}}};
    Picture p = Drawn(std::move(m));
    EXPECT_EQ(p.Row(15)[15], p.Row(25)[25]) << "the overlap shows the upper square alone";
    EXPECT_NE(p.Row(15)[15], p.Row(5)[5]);
}

TEST(DisplayDraw, GradientFillsOfTheDrawingMethodsKeepTheirBox) {
    fw::display::Drawing d;
    fw::avm1::DrawCommand c;
    c.op = fw::avm1::DrawCommand::Op::GradientFill;
    c.radial = true;
    c.focal = 0.5;
    c.spread = 1;
    c.stops = {{0xFF0000, 100, 0}, {0x0000FF, 50, 255}};
    c.matrix = {0.5, 0, 0, 0.25, 100, 50}; // the square 16384 pixels across, halved
    d.Apply(c);
    ASSERT_EQ(d.shape.fills.size(), 1u);
    const FillStyle& fill = d.shape.fills[0];
    EXPECT_EQ(fill.type, kFillFocal);
    EXPECT_EQ(fill.gradient.matrix, (Matrix{10, 0, 0, 5, 2000, 1000}));
    EXPECT_EQ(fill.gradient.spread, Spread::Reflect);
    EXPECT_EQ(fill.gradient.focal, 0.5);
    ASSERT_EQ(fill.gradient.stops.size(), 2u);
    EXPECT_EQ(fill.gradient.stops[1].colour, (Rgba{0, 0, 255, 127}));

    // lineGradientStyle paints the current line from then on.
    c.op = fw::avm1::DrawCommand::Op::LineStyle;
    c.width = 4;
    d.Apply(c);
    c.op = fw::avm1::DrawCommand::Op::LineGradient;
    c.radial = false;
    d.Apply(c);
    ASSERT_EQ(d.shape.lines.size(), 2u);
    ASSERT_TRUE(d.shape.lines[1].fill.has_value());
    EXPECT_EQ(d.shape.lines[1].fill->type, kFillLinear);
    EXPECT_EQ(d.shape.lines[1].width, 80);
}

// target.method(args...) for its effect alone.
ActionBlock CallOn(const std::string& target, const std::string& method,
                   std::vector<PushItem> args) {
    ActionWriter w;
    double count = static_cast<double>(args.size());
    std::reverse(args.begin(), args.end());
    args.push_back(count);
    args.push_back(target);
    return w.Push(std::move(args))
        .Do(Op::GetVariable)
        .Push({method})
        .RawBytes(std::vector<std::uint8_t>{0x52}) // CallMethod
        .Do(Op::Pop)
        .Finish();
}

TEST(DisplayDraw, ScriptsChangingHowClipsDrawChangeThePicture) {
    Movie m = OneFrame(Frame{{}, {}, {}, {Place(1, 3, "a"), Place(2, 3, "b")}});
    m.characters[1] = Square(1, kBlue, 0, 0, 20);
    m.sprites[3] = Sprite{3, {Frame{{}, {}, {}, {Place(1, 1)}}}};
    Host host;
    Player player(host);
    player.Load(std::move(m));
    player.Tick();
    auto changes = [&](const ActionBlock& script, const char* what) {
        const fw::swf::Picture before = player.CurrentPicture();
        player.RunBlock(script);
        EXPECT_NE(player.CurrentPicture(), before) << what;
    };
    changes(CallOn("a", "setMask", {std::string("b")}), "setMask");
    changes(CallOn("a", "setMask", {PushNull{}}), "setMask(null)");
    player.RunBlock(CallOn("a", "lineStyle", {2.0}));
    changes(CallOn("a", "lineTo", {10.0, 10.0}), "a line drawn");
    changes(CallOn("a", "clear", {}), "the drawing cleared");
    ActionWriter blend;
    changes(blend.Push({std::string("a")})
                .Do(Op::GetVariable)
                .Push({std::string("blendMode"), std::string("multiply")})
                .Do(Op::SetMember)
                .Finish(),
            "a blend mode");

    // A stage holding only what a script drew is a picture, not an empty stage.
    Host other;
    Player drawn(other);
    drawn.Load(OneFrame(Frame{}));
    drawn.Tick();
    drawn.RunBlock(CallOn("_root", "createEmptyMovieClip", {std::string("c"), 1.0}));
    drawn.RunBlock(CallOn("c", "beginFill", {255.0}));
    drawn.RunBlock(CallOn("c", "lineTo", {10.0, 10.0}));
    EXPECT_FALSE(drawn.CurrentPicture().drawn.empty());
}

TEST(DisplayDraw, BitmapFillsOfTheDrawingMethodsShowTheirBitmapData) {
    // bmp = new flash.display.BitmapData(2, 2, false, 0xFF0000)
    auto made =
        ActionWriter()
            .Push({std::string("bmp"), 16711680.0, false, 2.0, 2.0, 4.0, std::string("flash")})
            .Do(Op::GetVariable)
            .Push({std::string("display")})
            .Do(Op::GetMember)
            .Push({std::string("BitmapData")})
            .RawBytes(std::vector<std::uint8_t>{0x53}) // NewMethod
            .Do(Op::SetVariable)
            .Finish();
    Host host;
    Player player(host);
    player.Load(OneFrame(Frame{}));
    player.Tick();
    player.RunBlock(made);
    player.RunBlock(CallOn("_root", "createEmptyMovieClip", {std::string("c"), 1.0}));
    // c.beginBitmapFill(bmp): repeated across the square drawn below.
    player.RunBlock(CallWithVariable("c", "beginBitmapFill", "bmp"));
    player.RunBlock(CallOn("c", "lineTo", {20.0, 0.0}));
    player.RunBlock(CallOn("c", "lineTo", {20.0, 20.0}));
    player.RunBlock(CallOn("c", "lineTo", {0.0, 20.0}));
    player.RunBlock(CallOn("c", "endFill", {}));
    Picture p(40, 40);
    player.Render(p, Matrix{0.05, 0, 0, 0.05, 0, 0});
    ExpectPixels(p, {{15, 15, 0xFFFF0000, "the bitmap repeated"},
                     {30, 30, 0xFFFFFFFF, "beyond the square"}});
}

} // namespace
