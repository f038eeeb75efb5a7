// The mouse and keys coming in: fwplay's recorded scripts, and what the player's input entry
// does with nested transforms and the keyboard's state, which the corpus reaches only through
// movies at the stage's origin.

#include "swf/player.h"
#include "swf/writer.h"
#include "tools/input_script.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace fw::swf;
using fw::play::InputEvent;
using fw::play::ParseInputScript;

TEST(InputScript, ReadsEventsKeysAndPositions) {
    struct Case {
        const char* json;
        InputEvent::Kind kind;
        int keyCode;
        char32_t keyChar;
        double x, y;
    };
    using K = InputEvent::Kind;
    const Case cases[] = {
        {R"([{"type": "Wait"}])", K::Wait, 0, 0, 0, 0},
        {R"([{"type":"MouseMove","pos":[270.5, -3]}])", K::MouseMove, 0, 0, 270.5, -3},
        {R"([{"type":"MouseDown","pos":[1,2],"btn":"Left"}])", K::MouseDown, 0, 0, 1, 2},
        {R"([{"type":"KeyDown","key":{"Char":"a"}}])", K::KeyDown, 65, U'a', 0, 0},
        {R"([{"type":"KeyUp","key":{"Char":"\""}}])", K::KeyUp, 222, U'"', 0, 0},
        {R"([{"type":"KeyDown","key":{"Char":"("}}])", K::KeyDown, 57, U'(', 0, 0},
        {R"([{"type":"KeyDown","key":"Tab"}])", K::KeyDown, 9, 9, 0, 0},
        {R"([{"type":"KeyDown","key":"ArrowLeft"}])", K::KeyDown, 37, 0, 0, 0},
        {R"([{"type":"TextInput","codepoint":"\u0436"}])", K::Text, 0, 0, 0, 0},
    };
    for (const auto& c : cases) {
        std::string error;
        auto events = ParseInputScript(c.json, error);
        ASSERT_TRUE(events) << c.json << ": " << error;
        ASSERT_EQ(events->size(), 1u) << c.json;
        const InputEvent& e = events->front();
        EXPECT_EQ(e.kind, c.kind) << c.json;
        EXPECT_EQ(e.keyCode, c.keyCode) << c.json;
        EXPECT_EQ(e.keyChar, c.keyChar) << c.json;
        EXPECT_EQ(e.x, c.x) << c.json;
        EXPECT_EQ(e.y, c.y) << c.json;
    }
    std::string error;
    auto typed = ParseInputScript(R"([{"type":"TextInput","codepoint":"ж"}])", error);
    ASSERT_TRUE(typed) << error;
    EXPECT_EQ(typed->front().codepoint, U'ж');
}

TEST(InputScript, RefusesWhatItCannotReadWithAReason) {
    const std::vector<std::string> cases = {
        "",
        "{}",
        "[",
        R"([{"type":"Wait"}] x)",
        R"([{"type":"Jump"}])",
        R"([{"type":"MouseMove"}])",
        R"([{"type":"MouseMove","pos":[1]}])",
        R"([{"type":"KeyDown","key":"Hyper"}])",
        R"([{"type":"KeyDown","key":{"Char":"é"}}])",
        R"([{"type":"Wait","x":"\u12"}])",
        std::string(100000, '[') + std::string(100000, ']'),
    };
    for (const auto& text : cases) {
        std::string error;
        EXPECT_FALSE(ParseInputScript(text, error)) << "expected refused: " << text.substr(0, 40);
        EXPECT_FALSE(error.empty()) << "expected a reason for " << text.substr(0, 40);
    }
}

class Host : public PlayerHost {
public:
    void FsCommand(const std::string&, const std::string&) override {}
    void TraceOutput(const std::string& text) override { traces.push_back(text); }
    void Problem(const std::string& text) override { problems.push_back(text); }
    std::vector<std::string> traces;
    std::vector<std::string> problems;
};

// A trace of the named variable's text.
ActionBlock TraceOf(const std::string& name) {
    return ActionWriter().Push({name}).Do(Op::GetVariable).Do(Op::Trace).Finish();
}

// Sprite 2, placed twice as large at (1000, 1000) as "clip", holds button 10 at (100, 0), whose
// hit area is a 400-twip square at its origin; the press traces the timeline it acts on.
Movie NestedButtonMovie() {
    MovieWriter w(MovieOptions{});
    ShapeBuilder b(4, 32);
    b.Style(0, b.Fill({0, 0, 0, 255}), 0).Rect(0, 0, 400, 400);
    Movie m = ParseMovie(w.DefineShape(b.Build()).ShowFrame().Finish());
    Button button;
    button.id = 10;
    button.records = {ButtonRecord{kStateHit | kStateUp, 4, 1, Matrix{}, ColorTransform{}}};
    button.actions = {ButtonAction{kCondPress, 0, TraceOf("this")}};
    m.characters[10] = button;
    Placement inner;
    inner.depth = 1;
    inner.character = 10;
    inner.matrix = Matrix{1, 0, 0, 1, 100, 0};
    Frame spriteFrame;
    spriteFrame.placements.push_back(inner);
    m.sprites[2] = Sprite{2, {spriteFrame}};
    Placement outer;
    outer.depth = 1;
    outer.character = 2;
    outer.name = "clip";
    outer.matrix = Matrix{2, 0, 0, 2, 1000, 1000};
    m.frames[0].placements.push_back(outer);
    return m;
}

TEST(PlayerInput, AButtonInsideAScaledClipIsHitThroughBothTransformsAndActsOnTheClip) {
    Host host;
    Player player(host);
    player.Load(NestedButtonMovie());
    player.Tick();
    struct Probe {
        Point p;
        bool over;
    };
    // The hit square covers 1200..2000 by 1000..1800 on the stage.
    const Probe probes[] = {{{1100, 1100}, false},
                            {{1250, 1050}, true},
                            {{1990, 1790}, true},
                            {{2100, 1500}, false},
                            {{1500, 900}, false}};
    for (const auto& p : probes) {
        player.MouseMove(p.p);
        EXPECT_EQ(player.OverButton(), p.over) << "at " << p.p.x << "," << p.p.y;
    }
    player.MouseMove({1600, 1400});
    EXPECT_TRUE(player.MouseDown());
    EXPECT_EQ(host.traces, std::vector<std::string>{"_level0.clip"});
    EXPECT_TRUE(host.problems.empty()) << host.problems.front();
}

TEST(PlayerInput, KeysAndMouseButtonsKeepTheirStateForScripts) {
    Host host;
    Player player(host);
    player.Load(NestedButtonMovie());
    player.Tick();
    // Key.isDown(code) for each code after each step, and Key.getCode().
    auto ask = [&](double code) {
        ActionBlock call = ActionWriter()
                               .Push({code, 1.0, std::string("Key")})
                               .Do(Op::GetVariable)
                               .Push({std::string("isDown")})
                               .Finish();
        call.pop_back(); // the end: the call and the trace follow
        call.insert(call.end(), {0x52, static_cast<std::uint8_t>(Op::Trace), 0});
        player.RunBlock(call);
    };
    player.KeyDown(65, U'a');
    player.MouseDown();
    ask(65);
    ask(1);
    player.KeyUp(65, U'a');
    player.MouseUp();
    ask(65);
    ask(1);
    EXPECT_EQ(host.traces, (std::vector<std::string>{"true", "true", "false", "false"}));
}

TEST(PlayerInput, ADraggedClipFollowsThePointerWithinItsRectangleUntilLetGo) {
    Host host;
    Player player(host);
    player.Load(NestedButtonMovie());
    player.Tick();
    auto where = [&] {
        for (const char* property : {"_x", "_y"}) {
            player.RunBlock(ActionWriter()
                                .Push({std::string("clip")})
                                .Do(Op::GetVariable)
                                .Push({std::string(property)})
                                .Do(Op::GetMember)
                                .Do(Op::Trace)
                                .Finish());
        }
    };
    // startDrag("clip", lock centre, within 0..100 by 0..60 pixels)
    ActionBlock start =
        ActionWriter().Push({0.0, 0.0, 100.0, 60.0, 1.0, 1.0, std::string("clip")}).Finish();
    start.insert(start.end() - 1, 0x27);
    player.MouseMove({600, 400});
    player.RunBlock(start);
    where();
    player.MouseMove({3000, 600});
    where();
    ActionBlock stop = ActionWriter().Finish();
    stop.insert(stop.begin(), 0x28);
    player.RunBlock(stop);
    player.MouseMove({200, 200});
    where();
    EXPECT_EQ(host.traces, (std::vector<std::string>{"30", "20", "100", "30", "100", "30"}));
    EXPECT_TRUE(host.problems.empty()) << host.problems.front();
}

} // namespace
