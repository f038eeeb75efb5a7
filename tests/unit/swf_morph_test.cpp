// Morph shapes read from their tags and shown at a ratio, and buttons of the first kind with
// what later tags add to them.

#include "swf/morph.h"
#include "swf/movie.h"
#include "swf/player.h"
#include "swf/writer.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using namespace fw::swf;
using Bytes = std::vector<std::uint8_t>;

// DefineMorphShape id 9, written by hand from the format's tables: one fill from opaque red to
// half-transparent blue, no lines; the start is an edge (0,0) to (100,0) filled on its right,
// the end (after the 17 bytes the offset gives) an edge (0,0) to (0,200).
const Bytes kMorph = {0x09, 0x00, 0x00, 0x00, 0x11, 0x00, 0x00, 0x00, 0x01, 0x00,
                      0xFF, 0x00, 0x00, 0xFF, 0x00, 0x00, 0xFF, 0x7F, 0x00, 0x10,
                      0x14, 0x1D, 0x86, 0x40, 0x00, 0x00, 0xDD, 0x64, 0x00};

void ExpectPoint(Point got, double x, double y, const char* what) {
    EXPECT_NEAR(got.x, x, 0.01) << what << ": expected x " << x << ", got " << got.x;
    EXPECT_NEAR(got.y, y, 0.01) << what << ": expected y " << y << ", got " << got.y;
}

TEST(SwfMorph, ReadsPairedStylesAndFindsTheEndEdgesByTheOffset) {
    std::string problem;
    auto m = ReadMorphShape(46, kMorph, problem);
    ASSERT_TRUE(m) << problem;
    EXPECT_EQ(problem, "");
    ASSERT_EQ(m->startEdges.size(), 1u);
    ASSERT_EQ(m->endEdges.size(), 1u);
    EXPECT_EQ(m->startEdges[0].fill1, 1);
    EXPECT_EQ(m->endFills.at(0).colour, (Rgba{0, 0, 255, 127}));
    Shape end = MorphAt(*m, 65535);
    ExpectPoint(end.edges[0].to, 0, 200, "end");
    EXPECT_EQ(end.edges[0].fill1, 1) << "expected the end to keep the start's styles";

    // Every cut of the body is refused or read, never more.
    for (std::size_t n = 0; n < kMorph.size(); ++n) {
        Bytes cut(kMorph.begin(), kMorph.begin() + static_cast<std::ptrdiff_t>(n));
        std::string p;
        EXPECT_FALSE(ReadMorphShape(46, cut, p)) << "cut at " << n;
        EXPECT_NE(p, "") << "cut at " << n;
    }
}

TEST(SwfMorph, ShapesBetweenTheEndsMixEdgesWidthsAndColours) {
    MorphShape m;
    m.id = 4;
    m.tag = 46;
    m.endBounds = Bounds{0, 400, 0, 200};
    m.startFills = {FillStyle{}};
    m.startFills[0].colour = Rgba{255, 0, 0, 255};
    m.endFills = {FillStyle{}};
    m.endFills[0].colour = Rgba{0, 0, 255, 55};
    m.startLines = {LineStyle{}};
    m.endLines = {LineStyle{}};
    m.endLines[0].width = 60;
    // A straight edge that becomes a curve, and a curve that stays one.
    m.startEdges = {Edge{{0, 0}, {100, 0}, std::nullopt, 0, 1, 1},
                    Edge{{100, 0}, {0, 0}, Point{50, 100}, 0, 1, 1}};
    m.endEdges = {Edge{{0, 0}, {200, 0}, Point{100, 200}}, Edge{{200, 0}, {0, 0}, Point{100, 0}}};

    struct Case {
        std::uint16_t ratio;
        double t;
    };
    for (Case c : {Case{0, 0}, Case{32768, 32768 / 65535.0}, Case{65535, 1}}) {
        Shape s = MorphAt(m, c.ratio);
        ASSERT_EQ(s.edges.size(), 2u);
        ExpectPoint(s.edges[0].to, 100 + 100 * c.t, 0, "straight edge's end");
        ASSERT_TRUE(s.edges[0].control) << "ratio " << c.ratio;
        // The straight start bends about its middle.
        ExpectPoint(*s.edges[0].control, 50 + 50 * c.t, 200 * c.t, "straight edge's control");
        ExpectPoint(*s.edges[1].control, 50 + 50 * c.t, 100 - 100 * c.t, "curve's control");
        EXPECT_NEAR(s.lines[0].width, 20 + 40 * c.t, 0.01) << "ratio " << c.ratio;
        EXPECT_NEAR(s.fills[0].colour.r, 255 - 255 * c.t, 0.5) << "ratio " << c.ratio;
        EXPECT_NEAR(s.fills[0].colour.a, 255 - 200 * c.t, 0.5) << "ratio " << c.ratio;
        EXPECT_NEAR(s.bounds.xMax, 400 * c.t, 0.01) << "ratio " << c.ratio;
        EXPECT_EQ(s.edges[1].fill1, 1);
        EXPECT_FALSE(s.regions.empty()) << "expected the fill built, ratio " << c.ratio;
    }
}

TEST(SwfButton1, ReadsRecordsReleaseActionsColourAndSounds) {
    // DefineButton id 5: up and hit show character 2 at depth 1; on release, Stop.
    const Bytes button = {0x05, 0x00, 0x09, 0x02, 0x00, 0x01, 0x00, 0x00, 0x00, 0x07, 0x00};
    // DefineButtonCxform: red +16. DefineButtonSound: idle to over-up plays sound 9 three times.
    const Bytes colour = {0x05, 0x00, 0x99, 0x00, 0x00};
    const Bytes sounds = {0x05, 0x00, 0x00, 0x00, 0x09, 0x00, 0x04,
                          0x03, 0x00, 0x00, 0x00, 0x00, 0x00};
    MovieWriter w;
    w.Tag(7, button).Tag(23, colour).Tag(17, sounds).Tag(23, Bytes{0x06, 0x00}).ShowFrame();
    Movie movie = ParseMovie(w.Finish());
    const auto* b = std::get_if<Button>(&movie.characters.at(5));
    ASSERT_TRUE(b);
    ASSERT_EQ(b->records.size(), 1u);
    EXPECT_EQ(b->records[0].states, kStateUp | kStateHit);
    EXPECT_EQ(b->records[0].character, 2);
    EXPECT_EQ(b->records[0].colour.add[0], 16);
    ASSERT_EQ(b->actions.size(), 1u);
    EXPECT_EQ(b->actions[0].conditions, kCondRelease);
    EXPECT_EQ(b->actions[0].actions, (Bytes{0x07, 0x00}));
    EXPECT_EQ(b->sounds[1].sound, 9);
    EXPECT_EQ(b->sounds[1].info.loops, 3);
    EXPECT_EQ(b->sounds[0].sound, 0);
    ASSERT_EQ(movie.problems.size(), 1u) << "expected the colour of a missing button noted";
}

class QuietHost : public PlayerHost {
public:
    void FsCommand(const std::string&, const std::string&) override {}
    void TraceOutput(const std::string&) override {}
    void Problem(const std::string&) override {}
};

TEST(SwfDrawSettings, ScriptsSetAndReadBackHowAClipIsDrawn) {
    struct Case {
        const char* property;
        PushItem value;
        const char* read;
    };
    const Case cases[] = {
        {"blendMode", std::string("multiply"), "multiply"},
        {"blendMode", 4.0, "screen"},
        {"blendMode", std::string("bogus"), "screen"}, // left as it was
        {"blendMode", 15.0, "screen"},
        {"opaqueBackground", 33488896.0, "16711680"}, // 0x1FF0000: the colour's bits only
        {"opaqueBackground", PushNull{}, ""},         // none: undefined
        {"cacheAsBitmap", 1.0, "true"},
    };
    MovieWriter timeline;
    timeline.ShowFrame();
    MovieWriter w(MovieOptions{.version = 8});
    Placement place;
    place.depth = 1;
    place.character = 2;
    place.name = "mc";
    w.DefineSprite(2, timeline).Place(place).ShowFrame();
    QuietHost host;
    Player player(host);
    player.Load(ParseMovie(w.Finish()));
    player.Tick();
    for (const Case& c : cases) {
        ActionWriter a;
        a.Push({std::string("mc")}).Do(Op::GetVariable);
        a.Push({std::string(c.property), c.value}).Do(Op::SetMember);
        a.Push({std::string("r"), std::string("mc")}).Do(Op::GetVariable);
        a.Push({std::string(c.property)}).Do(Op::GetMember).Do(Op::SetVariable);
        player.RunBlock(a.Finish());
        EXPECT_EQ(player.GetVariableText("r"), c.read) << c.property << " -> " << c.read;
    }
}

} // namespace
