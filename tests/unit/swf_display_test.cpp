// The player's stage: what stands at each depth as frames advance and scripts jump, how
// buttons change state and act under the mouse and the keyboard, edit texts bound to
// variables, and the display properties scripts read and write.

#include "swf/player.h"
#include "swf/writer.h"
#include "swf_volume_loop_movie.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace {

using namespace fw::swf;

class RecordingHost : public PlayerHost {
public:
    void FsCommand(const std::string& command, const std::string&) override {
        commands.push_back(command);
    }
    void TraceOutput(const std::string&) override {}
    void Problem(const std::string& text) override { problems.push_back(text); }

    std::vector<std::string> commands;
    std::vector<std::string> problems;
};

Shape Square(std::uint16_t id, Rgba colour, double x, double y, double side) {
    ShapeBuilder b(id, 32);
    b.Style(0, b.Fill(colour), 0).Rect(x, y, side, side);
    return b.Build();
}

Placement Place(std::uint16_t depth, std::uint16_t character, double tx, std::string name = {}) {
    Placement p;
    p.depth = depth;
    p.character = character;
    p.matrix = Matrix{1, 0, 0, 1, tx, 0};
    if (!name.empty()) {
        p.name = std::move(name);
    }
    return p;
}

Placement Move(std::uint16_t depth, double tx) {
    Placement p;
    p.depth = depth;
    p.move = true;
    p.matrix = Matrix{1, 0, 0, 1, tx, 0};
    return p;
}

// character and x translation per depth
using Stage = std::map<int, std::pair<int, double>>;

Stage StageOf(const Player& player) {
    Stage stage;
    for (const auto& [depth, item] : player.displayList()) {
        stage[depth] = {item.character, item.matrix.tx};
    }
    return stage;
}

ActionBlock Goto(std::uint16_t frame) {
    return ActionWriter().GotoFrame(frame).Finish();
}

// Three frames: squares placed, moved, replaced and removed.
Movie ThreeFrames() {
    MovieWriter w;
    w.DefineShape(Square(1, {255, 0, 0, 255}, 0, 0, 200));
    w.DefineShape(Square(2, {0, 255, 0, 255}, 0, 0, 200));
    w.DefineShape(Square(3, {0, 0, 255, 255}, 0, 0, 200));
    w.Place(Place(1, 1, 0, "a")).Place(Place(2, 2, 100)).ShowFrame();
    w.Place(Move(1, 500)).Remove(2).Place(Place(3, 3, 300)).ShowFrame();
    w.Remove(1).Place(Place(2, 1, 700)).ShowFrame();
    return ParseMovie(w.Finish());
}

TEST(SwfStage, FramesAndGotosRebuildTheDisplayList) {
    struct Step {
        const char* what;
        int gotoFrame; // -1: one tick
        Stage expected;
    };
    const Stage first = {{1, {1, 0}}, {2, {2, 100}}};
    const Stage second = {{1, {1, 500}}, {3, {3, 300}}};
    const Stage third = {{2, {1, 700}}, {3, {3, 300}}};
    const Step steps[] = {
        {"first tick", -1, first},
        {"next frame", -1, second},
        {"last frame", -1, third},
        {"loop back to the first", -1, first},
        {"goto the last, skipping one", 2, third},
        {"goto back to the second", 1, second},
        {"goto the next one", 2, third},
        {"goto the first", 0, first},
    };
    RecordingHost host;
    Player player(host);
    player.Load(ThreeFrames());
    for (const auto& s : steps) {
        if (s.gotoFrame < 0) {
            player.Tick();
        } else {
            player.RunBlock(Goto(static_cast<std::uint16_t>(s.gotoFrame)));
            EXPECT_EQ(player.currentFrame(), s.gotoFrame) << s.what;
        }
        EXPECT_EQ(StageOf(player), s.expected) << s.what;
    }
    EXPECT_TRUE(host.problems.empty()) << host.problems.front();
}

// A host may sleep through frames that carry nothing while nothing else plays, and catch up
// on the clock; a script anywhere, or one the host runs, makes every frame count.
TEST(SwfStage, OnlyFramesCarryingNothingInAScriptlessMovieAreQuiet) {
    auto movie = [](bool script) {
        MovieWriter w;
        w.DefineShape(Square(1, {255, 0, 0, 255}, 0, 0, 200));
        w.Place(Place(1, 1, 0)).ShowFrame().ShowFrame().ShowFrame().ShowFrame();
        w.Place(Move(1, 500)).ShowFrame().ShowFrame();
        if (script) {
            w.Actions(ActionWriter().Push({std::string("x")}).Do(Op::Trace));
        }
        w.ShowFrame();
        return ParseMovie(w.Finish());
    };
    RecordingHost host;
    Player player(host);
    player.Load(movie(false));
    EXPECT_EQ(player.QuietFrames(8), 0) << "before the first frame";
    const double frameMs = 1000.0 / player.movie().frameRate;
    EXPECT_EQ(player.PlayDue(0), 1);
    EXPECT_EQ(player.QuietFrames(8), 3);
    EXPECT_EQ(player.QuietFrames(2), 2);
    EXPECT_EQ(player.CatchUp(frameMs / 2), 0) << "nothing due yet";
    EXPECT_EQ(player.CatchUp(frameMs * 3.2), 3);
    EXPECT_EQ(player.currentFrame(), 3);
    EXPECT_EQ(player.QuietFrames(8), 0) << "the next frame moves the square";
    player.Tick();
    EXPECT_EQ(player.QuietFrames(8), 2) << "up to the loop, which rebuilds the stage";
    player.Stop();
    EXPECT_EQ(player.QuietFrames(8), 0) << "stopped";
    player.Play();
    player.RunBlock(ActionWriter().Push({std::string("y"), 1.0}).Do(Op::SetVariable).Finish());
    EXPECT_EQ(player.QuietFrames(8), 0) << "after a script of the host";

    player.Load(movie(true));
    player.Tick();
    EXPECT_EQ(player.QuietFrames(8), 0) << "a movie with a script in its last frame";
    EXPECT_TRUE(host.problems.empty()) << host.problems.front();
}

TEST(SwfStage, WhatTheScriptsMovedKeepsItsPlaceAcrossGotos) {
    RecordingHost host;
    Player player(host);
    player.Load(ThreeFrames());
    player.Stop();
    player.Tick();
    ActionWriter set;
    set.Push({std::string("a"), 0.0, 42.0}).Do(Op::SetProperty);
    player.RunBlock(set.Finish());
    ASSERT_EQ(StageOf(player).at(1), (std::pair<int, double>{1, 840}));
    // Frame 1 moves depth 1 to 500, but the script's place wins while the item stays.
    player.RunBlock(Goto(1));
    EXPECT_EQ(StageOf(player).at(1), (std::pair<int, double>{1, 840}));
    player.RunBlock(Goto(0));
    EXPECT_EQ(StageOf(player).at(1), (std::pair<int, double>{1, 840}));
    // Once removed, the item comes back where the timeline puts it.
    player.RunBlock(Goto(2));
    EXPECT_EQ(StageOf(player).count(1), 0u);
    player.RunBlock(Goto(0));
    EXPECT_EQ(StageOf(player).at(1), (std::pair<int, double>{1, 0}));
}

TEST(SwfStage, PropertiesAreSetAndReadByScripts) {
    struct Case {
        int property;
        double value;
        const char* read; // the value read back, as text
    };
    const Case cases[] = {
        {0, 12.5, "12.5"}, // _x
        {1, -30, "-30"},   // _y
        {2, 250, "250"},   // _xscale
        {3, 50, "50"},     // _yscale
        {6, 25, "25"},     // _alpha
        {7, 0, "false"},   // _visible, read as the reference player reads it
        {10, 90, "90"},    // _rotation
    };
    for (const auto& c : cases) {
        RecordingHost host;
        Player player(host);
        player.Load(ThreeFrames());
        player.Stop();
        player.Tick();
        ActionWriter w;
        w.Push({std::string("_root.a"), static_cast<double>(c.property), c.value})
            .Do(Op::SetProperty);
        w.Push({std::string("r"), std::string("a"), static_cast<double>(c.property)})
            .Do(Op::GetProperty)
            .Do(Op::SetVariable);
        player.RunBlock(w.Finish());
        EXPECT_EQ(player.GetVariableText("r"), c.read) << "property " << c.property;
        EXPECT_TRUE(host.problems.empty()) << "property " << c.property;
    }
    // What each property does to the item itself.
    RecordingHost host;
    Player player(host);
    player.Load(ThreeFrames());
    player.Stop();
    player.Tick();
    ASSERT_TRUE(player.SetItemProperty("a", 1, -30));
    ASSERT_TRUE(player.SetItemProperty("a", 2, 250));
    ASSERT_TRUE(player.SetItemProperty("a", 6, 25));
    ASSERT_TRUE(player.SetItemProperty("a", 7, 0));
    const DisplayItem& item = player.displayList().at(1);
    EXPECT_DOUBLE_EQ(item.matrix.ty, -600);
    EXPECT_DOUBLE_EQ(item.matrix.a, 2.5);
    EXPECT_EQ(item.colour.mult[3], 64);
    EXPECT_FALSE(item.visible);
    EXPECT_TRUE(item.scripted);
}

TEST(SwfStage, PropertiesOfMissingItemsAreReportedAndReadUndefined) {
    RecordingHost host;
    Player player(host);
    player.Load(ThreeFrames());
    player.Stop();
    player.Tick();
    ActionWriter w;
    w.Push({std::string("nothing"), 0.0, 5.0}).Do(Op::SetProperty);
    w.Push({std::string("r"), std::string("nothing"), 0.0}).Do(Op::GetProperty).Do(Op::SetVariable);
    w.Push({std::string("q"), std::string("a"), 99.0}).Do(Op::GetProperty).Do(Op::SetVariable);
    player.RunBlock(w.Finish());
    EXPECT_EQ(player.GetVariableText("r"), "");
    EXPECT_TRUE(player.GetVariable("r").isUndefined());
    EXPECT_TRUE(player.GetVariable("q").isUndefined()) << "expected an unknown property undefined";
    ASSERT_EQ(host.problems.size(), 1u);
    EXPECT_NE(host.problems[0].find("nothing"), std::string::npos) << host.problems[0];
    EXPECT_EQ(StageOf(player).at(1), (std::pair<int, double>{1, 0})) << "expected a unchanged";
}

// A button whose hit area (a 400-twip square at 100,100 of its own space) is smaller than what
// it shows (a 1000-twip square), placed twice as large at (2000, 1000), listening to every
// transition and to the space key.
Movie ButtonMovie(bool alsoHidden = false) {
    MovieWriter w;
    w.DefineShape(Square(1, {255, 0, 0, 255}, 0, 0, 1000));
    w.DefineShape(Square(2, {0, 255, 0, 255}, 0, 0, 1000));
    w.DefineShape(Square(3, {0, 0, 255, 255}, 0, 0, 1000));
    w.DefineShape(Square(4, {0, 0, 0, 255}, 100, 100, 400));
    Button button;
    button.id = 10;
    button.records = {
        ButtonRecord{kStateUp, 1, 1, Matrix{}, ColorTransform{}},
        ButtonRecord{kStateOver, 2, 1, Matrix{}, ColorTransform{}},
        ButtonRecord{kStateDown, 3, 1, Matrix{}, ColorTransform{}},
        ButtonRecord{kStateHit, 4, 2, Matrix{}, ColorTransform{}},
    };
    auto say = [](const char* what) { return ActionWriter().FsCommand(what, "").Finish(); };
    button.actions = {
        ButtonAction{kCondRollOver, 0, say("rollOver")},
        ButtonAction{kCondRollOut, 0, say("rollOut")},
        ButtonAction{kCondPress, 0, say("press")},
        ButtonAction{kCondRelease, 0, say("release")},
        ButtonAction{kCondDragOut, 0, say("dragOut")},
        ButtonAction{kCondDragOver, 0, say("dragOver")},
        ButtonAction{kCondReleaseOut, 0, say("releaseOut")},
        ButtonAction{0, 32, say("space")},
    };
    w.DefineButton2(button);
    Placement p;
    p.depth = 5;
    p.character = 10;
    p.matrix = Matrix{2, 0, 0, 2, 2000, 1000};
    p.name = "b";
    w.Place(p);
    if (alsoHidden) {
        Placement hidden = p;
        hidden.depth = 6;
        hidden.name = "hidden";
        hidden.visible = false;
        w.Place(hidden);
    }
    w.ShowFrame();
    return ParseMovie(w.Finish());
}

TEST(SwfStage, HitTestingGoesThroughTheHitShapeOnly) {
    struct Case {
        Point p;
        bool over;
    };
    // The hit square covers 2200..3000 by 1200..2000 on the stage; the shown one 2000..4000.
    const Case cases[] = {
        {{2600, 1600}, true},  {{2201, 1201}, true},    {{2999, 1999}, true},
        {{2100, 1100}, false}, {{3500, 1500}, false},   {{3900, 2900}, false},
        {{0, 0}, false},       {{-2600, -1600}, false}, {{2600, 2100}, false},
    };
    for (bool alsoHidden : {false, true}) {
        RecordingHost host;
        Player player(host);
        player.Load(ButtonMovie(alsoHidden));
        player.Tick();
        for (const auto& c : cases) {
            player.MouseMove(c.p);
            EXPECT_EQ(player.OverButton(), c.over)
                << "at " << c.p.x << "," << c.p.y << (alsoHidden ? " with a hidden twin" : "");
        }
        ASSERT_TRUE(player.SetItemProperty("b", 7, 0));
        player.MouseMove({2600, 1600});
        EXPECT_FALSE(player.OverButton()) << "expected a hidden button not hit";
    }
}

TEST(SwfStage, ButtonsChangeStateAndActOnTheirTransitions) {
    enum Do { MoveIn, MoveOut, Down, Up, Leave, Space, OtherKey };
    struct Step {
        Do what;
        std::uint8_t state;
        std::vector<std::string> commands;
        bool changed;
    };
    const Step steps[] = {
        {MoveOut, kStateUp, {}, false},
        {MoveIn, kStateOver, {"rollOver"}, true},
        {MoveIn, kStateOver, {}, false},
        {Down, kStateDown, {"press"}, true},
        {MoveOut, kStateUp, {"dragOut"}, true},
        {MoveIn, kStateDown, {"dragOver"}, true},
        {Up, kStateOver, {"release"}, true},
        {Leave, kStateUp, {"rollOut"}, true},
        {MoveIn, kStateOver, {"rollOver"}, true},
        {Down, kStateDown, {"press"}, true},
        {MoveOut, kStateUp, {"dragOut"}, true},
        {Up, kStateUp, {"releaseOut"}, true},
        {Down, kStateUp, {}, false}, // pressed outside: nothing
        {Up, kStateUp, {}, false},
        {Space, kStateUp, {"space"}, true},
        {OtherKey, kStateUp, {}, false},
        {MoveIn, kStateOver, {"rollOver"}, true},
        {MoveOut, kStateUp, {"rollOut"}, true},
    };
    RecordingHost host;
    Player player(host);
    player.Load(ButtonMovie());
    player.Tick();
    int i = 0;
    for (const auto& s : steps) {
        host.commands.clear();
        bool changed = false;
        switch (s.what) {
        case MoveIn:
            changed = player.MouseMove({2600, 1600});
            break;
        case MoveOut:
            changed = player.MouseMove({3800, 3800});
            break;
        case Down:
            changed = player.MouseDown();
            break;
        case Up:
            changed = player.MouseUp();
            break;
        case Leave:
            changed = player.MouseLeave();
            break;
        case Space:
            changed = player.KeyPress(32);
            break;
        case OtherKey:
            changed = player.KeyPress('a');
            break;
        }
        EXPECT_EQ(player.displayList().at(5).buttonState, s.state) << "step " << i;
        EXPECT_EQ(host.commands, s.commands) << "step " << i;
        EXPECT_EQ(changed, s.changed) << "step " << i;
        ++i;
    }
    EXPECT_TRUE(host.problems.empty()) << host.problems.front();
}

TEST(SwfStage, AButtonRemovedWhileHeldIsForgotten) {
    RecordingHost host;
    Player player(host);
    player.Load(ButtonMovie());
    player.Tick();
    player.MouseMove({2600, 1600});
    ASSERT_TRUE(player.MouseDown());
    // The movie is replaced while the button is held: the release finds nothing to act on.
    player.Load(ThreeFrames());
    player.Tick();
    host.commands.clear();
    EXPECT_FALSE(player.MouseUp());
    EXPECT_FALSE(player.OverButton());
    EXPECT_TRUE(host.commands.empty());
}

Movie FieldMovie(const std::string& variable, const std::string& text, bool html) {
    MovieWriter w;
    w.DefineFont(Font{1, "Arial", false, false});
    EditText field;
    field.id = 2;
    field.bounds = Bounds{0, 2000, 0, 400};
    field.hasFont = true;
    field.fontId = 1;
    field.variable = variable;
    field.hasText = !text.empty();
    field.initialText = text;
    field.html = html;
    w.DefineEditText(field);
    w.Place(Place(1, 2, 0)).ShowFrame();
    return ParseMovie(w.Finish());
}

TEST(SwfStage, EditTextsShowTheirBoundVariableLive) {
    struct Case {
        const char* variable;
        const char* initial;
        bool html;
        const char* shownFirst;
        const char* set; // nullptr: not set
        const char* shownAfter;
    };
    const Case cases[] = {
        {"currentvolume", "", false, "", "75", "75"},
        {"currentvolume", "50", false, "50", "0", "0"},
        {"_root.level", "1", false, "1", "7", "7"},
        {"", "\xd0\x93\xd1\x80\xd0\xbe\xd0\xbc\xd0\xba\xd0\xbe", false,
         "\xd0\x93\xd1\x80\xd0\xbe\xd0\xbc\xd0\xba\xd0\xbe", nullptr,
         "\xd0\x93\xd1\x80\xd0\xbe\xd0\xbc\xd0\xba\xd0\xbe"},
        {"msg", "<p>a &amp; b</p>", true, "a & b", "<b>x</b>", "x"},
    };
    for (const auto& c : cases) {
        RecordingHost host;
        Player player(host);
        player.Load(FieldMovie(c.variable, c.initial, c.html));
        player.Tick();
        const auto& field = std::get<EditText>(player.movie().characters.at(2));
        EXPECT_EQ(player.FieldText(field), c.shownFirst) << c.variable << " " << c.initial;
        if (*c.variable && *c.initial) {
            EXPECT_EQ(player.GetVariableText(c.variable), c.initial)
                << "expected the field's own text to give the unset variable its value";
        }
        if (c.set) {
            player.SetVariable(c.variable, Value(std::string(c.set)));
        }
        EXPECT_EQ(player.FieldText(field), c.shownAfter) << c.variable << " " << c.initial;
    }
}

TEST(SwfStage, AFieldDoesNotOverwriteAVariableAlreadySet) {
    RecordingHost host;
    Player player(host);
    player.Load(FieldMovie("currentvolume", "50", false));
    player.SetVariable("currentvolume", Value(30.0));
    player.Tick();
    const auto& field = std::get<EditText>(player.movie().characters.at(2));
    EXPECT_EQ(player.FieldText(field), "30");
    // A script changing the variable shows at once.
    ActionWriter w;
    w.Push({std::string("currentvolume"), 31.0}).Do(Op::SetVariable);
    player.RunBlock(w.Finish());
    EXPECT_EQ(player.FieldText(field), "31");
}

TEST(SwfStage, ThePictureChangesOnlyWithWhatTheStageShows) {
    enum Do { Tick, Set, SetNumber };
    struct Step {
        const char* what;
        Do action;
        const char* name;
        const char* value;
        bool changed;
    };
    const Step steps[] = {
        {"the first frame", Tick, nullptr, nullptr, true},
        {"the bar sized to no volume", Tick, nullptr, nullptr, true},
        {"the loop with nothing new", Tick, nullptr, nullptr, false},
        {"and again", Tick, nullptr, nullptr, false},
        {"a variable nobody shows", Set, "other", "1", false},
        {"the shown volume", Set, "volume", "10", true},
        {"the bar follows", Tick, nullptr, nullptr, true},
        {"the loop with the same volume", Tick, nullptr, nullptr, false},
        {"the volume told again, unchanged", Set, "_root.volume", "10", false},
        {"the volume told as the same number", SetNumber, "volume", "10", false},
        {"a field bound by its path", Set, "label", "x", true},
        {"the loop once more", Tick, nullptr, nullptr, false},
    };
    RecordingHost host;
    Player player(host);
    player.Load(ParseMovie(test::VolumeLoopMovie(12)));
    for (const auto& s : steps) {
        const Picture before = player.CurrentPicture();
        if (s.action == Tick) {
            player.Tick();
        } else if (s.action == SetNumber) {
            player.SetVariable(s.name, Value(std::stod(s.value)));
        } else {
            player.SetVariable(s.name, Value(std::string(s.value)));
        }
        EXPECT_EQ(player.CurrentPicture() != before, s.changed) << s.what;
    }
    EXPECT_EQ(player.ItemProperty("bar", 2), 50.0);
    EXPECT_TRUE(host.problems.empty()) << host.problems.front();
}

TEST(SwfStage, PropertiesSetAgainEveryFrameLeaveThePictureAsItWas) {
    struct Case {
        double rotation;
        double xscale;
        double yscale;
    };
    // Scales and turns whose arithmetic does not come back to the same last digit.
    const Case cases[] = {{45, 33, 100}, {10, 33, 70}, {10, 45, 45}, {30, 75, 15}, {0, 20, 20}};
    for (const auto& c : cases) {
        RecordingHost host;
        Player player(host);
        player.Load(ThreeFrames());
        player.Stop();
        player.Tick();
        auto set = [&] {
            ASSERT_TRUE(player.SetItemProperty("a", 10, c.rotation));
            ASSERT_TRUE(player.SetItemProperty("a", 2, c.xscale));
            ASSERT_TRUE(player.SetItemProperty("a", 3, c.yscale));
        };
        set();
        const Picture first = player.CurrentPicture();
        for (int frame = 0; frame < 50; ++frame) {
            set();
        }
        EXPECT_EQ(player.CurrentPicture(), first)
            << "rotation " << c.rotation << ", scales " << c.xscale << " " << c.yscale;
        EXPECT_NEAR(*player.ItemProperty("a", 2), c.xscale, 1e-6);
        EXPECT_NEAR(*player.ItemProperty("a", 10), c.rotation, 1e-6);
        // A change still shows, however small on the stage.
        ASSERT_TRUE(player.SetItemProperty("a", 2, c.xscale + 0.01));
        EXPECT_NE(player.CurrentPicture(), first) << "rotation " << c.rotation;
    }
}

TEST(SwfStage, ThePictureDrawsWhatClipsHoldThroughTheirPlacesAndSkipsHiddenClipsAndMasks) {
    MovieWriter inner;
    inner.Place(Place(1, 1, 100)).ShowFrame();
    MovieWriter movie;
    movie.DefineShape(Square(1, {255, 0, 0, 255}, 0, 0, 200)).DefineSprite(2, inner);
    Placement shown = Place(1, 2, 1000, "clip");
    shown.matrix->ty = 2000;
    Placement hidden = Place(2, 2, 0);
    hidden.visible = false;
    Placement mask = Place(3, 1, 0);
    mask.clipDepth = 4;
    movie.Place(shown).Place(hidden).Place(mask).Place(Place(4, 1, 500)).ShowFrame();
    RecordingHost host;
    Player player(host);
    player.Load(ParseMovie(movie.Finish()));
    player.Tick();

    const Picture picture = player.CurrentPicture();
    ASSERT_EQ(picture.drawn.size(), 2u) << "expected the clip's square and the root's last one";
    EXPECT_EQ(picture.drawn[0].character, 1);
    EXPECT_EQ(picture.drawn[0].matrix.tx, 1100) << "expected the clip's place added to its child's";
    EXPECT_EQ(picture.drawn[0].matrix.ty, 2000);
    EXPECT_EQ(picture.drawn[1].matrix.tx, 500);

    // A clip moved by a script moves what it holds.
    ASSERT_TRUE(player.SetItemProperty("clip", 0, 20));
    EXPECT_EQ(player.CurrentPicture().drawn[0].matrix.tx, 500);
    EXPECT_TRUE(host.problems.empty()) << host.problems.front();
}

TEST(SwfStage, ThePictureOfAnEmptyStageIsItsVariablesAndOfButtonsTheirState) {
    // Nothing placed: the root variables are what is shown.
    RecordingHost host;
    Player player(host);
    MovieWriter empty;
    empty.ShowFrame();
    player.Load(ParseMovie(empty.Finish()));
    player.Tick();
    Picture before = player.CurrentPicture();
    player.SetVariable("a", Value(std::string("1")));
    EXPECT_NE(player.CurrentPicture(), before) << "expected a new variable shown";
    before = player.CurrentPicture();
    player.SetVariable("a", Value(std::string("1")));
    EXPECT_EQ(player.CurrentPicture(), before) << "expected the same value to show alike";

    // A button under the mouse shows another state.
    player.Load(ButtonMovie());
    player.Tick();
    before = player.CurrentPicture();
    player.MouseMove({2600, 1600});
    EXPECT_NE(player.CurrentPicture(), before) << "expected the hovered button to show";
    before = player.CurrentPicture();
    player.MouseMove({2700, 1700});
    EXPECT_EQ(player.CurrentPicture(), before) << "expected a move within the button to show alike";
}

} // namespace
