#include "swf/player.h"
#include "swf/writer.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

using namespace fw::swf;
using Events = std::vector<std::pair<std::string, std::string>>;

class RecordingHost : public PlayerHost {
public:
    void FsCommand(const std::string& command, const std::string& args) override {
        events.emplace_back(command, args);
        if (onCommand) {
            onCommand();
        }
    }
    void TraceOutput(const std::string& text) override { traces.push_back(text); }
    void Problem(const std::string& text) override { problems.push_back(text); }

    Events events;
    std::vector<std::string> traces;
    std::vector<std::string> problems;
    std::function<void()> onCommand;
};

Movie OneFrame(const ActionWriter& actions, std::uint8_t version = 6) {
    MovieWriter w(MovieOptions{version, 800, 600, 12, false});
    w.Actions(actions);
    w.ShowFrame();
    return ParseMovie(w.Finish());
}

// Runs a one-frame movie and answers its variable r as text.
struct MovieRun {
    RecordingHost host;
    Player player{host};
    explicit MovieRun(const ActionWriter& actions, std::uint8_t version = 6) {
        player.Load(OneFrame(actions, version));
        player.Tick();
    }
    std::string R() { return player.GetVariableText("r"); }
};

ActionWriter Binary(PushItem a, PushItem b, Op op) {
    ActionWriter w;
    w.Push({std::string("r"), a, b}).Do(op).Do(Op::SetVariable);
    return w;
}

TEST(Interpreter, ArithmeticAndComparisons) {
    struct Case {
        PushItem a;
        PushItem b;
        Op op;
        std::uint8_t version;
        const char* r;
    };
    const Case cases[] = {
        {2.0, 3.0, Op::Add2, 6, "5"},
        {std::string("2"), 3.0, Op::Add2, 6, "23"},
        {2.0, std::string("x"), Op::Add2, 6, "2x"},
        {PushUndefined{}, 1.0, Op::Add2, 6, "1"},
        {PushUndefined{}, 1.0, Op::Add2, 7, "NaN"},
        {true, 1.0, Op::Add2, 6, "2"},
        {std::string("2"), std::string("3"), Op::Add, 6, "5"},
        {10.0, 4.0, Op::Subtract, 6, "6"},
        {std::string("10"), 4, Op::Subtract, 6, "6"},
        {2.5, 4.0, Op::Multiply, 6, "10"},
        {1.0, 3.0, Op::Divide, 6, "0.333333333333333"},
        {1.0, 0.0, Op::Divide, 6, "Infinity"},
        {1.0, 0.0, Op::Divide, 4, "#ERROR#"},
        {7.0, 3.0, Op::Modulo, 6, "1"},
        {-7.5, 2.0, Op::Modulo, 6, "-1.5"},
        {1.0, std::string("1"), Op::Equals2, 6, "true"},
        {1.0, std::string("1"), Op::StrictEquals, 6, "false"},
        {std::int32_t{3}, 3.0, Op::StrictEquals, 6, "true"},
        {1.0, 2.0, Op::Less2, 6, "true"},
        {std::string("b"), std::string("a"), Op::Less2, 6, "false"},
        {std::string("x"), 2.0, Op::Less2, 6, ""}, // NaN: undefined
        {3.0, 2.0, Op::Greater, 6, "true"},
        {2.0, 2.0, Op::Greater, 6, "false"},
        {1.0, 0.0, Op::And, 6, "false"},
        {1.0, 0.0, Op::Or, 6, "true"},
        {1.0, 1.0, Op::And, 4, "1"}, // version 4 pushes numbers for truth
        {std::string("ab"), std::string("cd"), Op::StringAdd, 6, "abcd"},
        {std::string("ab"), std::string("ab"), Op::StringEquals, 6, "true"},
        {std::string("ab"), std::string("aB"), Op::StringEquals, 6, "false"},
        {std::string("a"), std::string("b"), Op::StringLess, 6, "true"},
        {2.0, 3.0, Op::Equals, 6, "false"},
        {2.0, 3.0, Op::Less, 6, "true"},
        {PushFloat{1.5f}, PushFloat{0.25f}, Op::Add2, 6, "1.75"},
        {PushNull{}, PushUndefined{}, Op::Equals2, 6, "true"},
    };
    int i = 0;
    for (const auto& c : cases) {
        MovieRun run(Binary(c.a, c.b, c.op), c.version);
        EXPECT_EQ(run.R(), c.r) << "case " << i;
        EXPECT_TRUE(run.host.problems.empty()) << "case " << i << ": " << run.host.problems.front();
        ++i;
    }
}

TEST(Interpreter, UnaryOperations) {
    struct Case {
        PushItem a;
        Op op;
        std::uint8_t version;
        const char* r;
    };
    const Case cases[] = {
        {std::string("41"), Op::Increment, 6, "42"},
        {0.5, Op::Decrement, 6, "-0.5"},
        {PushUndefined{}, Op::Increment, 6, "1"},
        {PushUndefined{}, Op::Increment, 7, "NaN"},
        {0.0, Op::Not, 6, "true"},
        {std::string("0"), Op::Not, 6, "true"},
        {std::string("0"), Op::Not, 7, "false"},
        {1.0, Op::Not, 4, "0"},
        {std::string("h\xC3\xA9llo"), Op::StringLength, 5, "6"}, // bytes before 6
        {std::string("h\xC3\xA9llo"), Op::StringLength, 6, "5"}, // UTF-16 units from 6
        {-3.7, Op::ToInteger, 6, "-3"},
        {std::string("0x10"), Op::ToNumber, 6, "16"},
        {12.5, Op::ToString, 6, "12.5"},
        {std::string("t"), Op::TypeOf, 6, "string"},
        {PushNull{}, Op::TypeOf, 6, "null"},
        {true, Op::TypeOf, 6, "boolean"},
    };
    int i = 0;
    for (const auto& c : cases) {
        ActionWriter w;
        w.Push({std::string("r"), c.a}).Do(c.op).Do(Op::SetVariable);
        MovieRun run(w, c.version);
        EXPECT_EQ(run.R(), c.r) << "case " << i++;
    }
}

TEST(Interpreter, StringExtractClampsToTheText) {
    struct Case {
        double index;
        double count;
        const char* r;
    };
    const Case cases[] = {{2, 3, "ell"}, {1, 100, "hello"}, {0, 2, "he"},
                          {4, -1, "lo"}, {9, 2, ""},        {3, 0, ""}};
    for (const auto& c : cases) {
        ActionWriter w;
        w.Push({std::string("r"), std::string("hello"), c.index, c.count})
            .Do(Op::StringExtract)
            .Do(Op::SetVariable);
        MovieRun run(w);
        EXPECT_EQ(run.R(), c.r) << "index " << c.index << " count " << c.count;
    }
}

TEST(Interpreter, LoopsWithIfAndJump) {
    // i = 1; sum = 0; while (i <= 10) { sum += i; i++ } r = sum
    ActionWriter w;
    auto top = w.NewLabel();
    auto done = w.NewLabel();
    w.ConstantPool({"i", "sum"});
    w.Push({PushConstant{0}, 1.0}).Do(Op::SetVariable);
    w.Push({PushConstant{1}, 0.0}).Do(Op::SetVariable);
    w.Bind(top);
    w.Push({10.0, PushConstant{0}}).Do(Op::GetVariable).Do(Op::Less2).If(done); // 10 < i: leave
    w.Push({PushConstant{1}, PushConstant{1}})
        .Do(Op::GetVariable)
        .Push({PushConstant{0}})
        .Do(Op::GetVariable)
        .Do(Op::Add2)
        .Do(Op::SetVariable);
    w.Push({PushConstant{0}, PushConstant{0}})
        .Do(Op::GetVariable)
        .Do(Op::Increment)
        .Do(Op::SetVariable);
    w.Jump(top);
    w.Bind(done);
    w.Push({std::string("r"), PushConstant{1}}).Do(Op::GetVariable).Do(Op::SetVariable);
    MovieRun run(w);
    EXPECT_EQ(run.R(), "55");
    EXPECT_EQ(run.player.GetVariableText("i"), "11");
    EXPECT_TRUE(run.host.problems.empty());
}

TEST(Interpreter, RegistersDuplicateSwapAndLocals) {
    ActionWriter w;
    w.Push({7.0}).StoreRegister(2).Do(Op::Pop);
    w.Push({std::string("a"), PushRegister{2}}).Do(Op::DefineLocal);
    w.Push({std::string("b")}).Do(Op::DefineLocal2);       // declared, undefined
    w.Push({std::string("a")}).Do(Op::DefineLocal2);       // keeps 7
    w.Push({1.0, 2.0}).Do(Op::StackSwap).Do(Op::Subtract); // 2 - 1
    w.Do(Op::PushDuplicate).Do(Op::Add2);                  // 1 + 1
    w.Push({std::string("r")}).Do(Op::StackSwap).Do(Op::SetVariable);
    MovieRun run(w);
    EXPECT_EQ(run.R(), "2");
    EXPECT_EQ(run.player.GetVariableText("a"), "7");
    auto vars = run.player.RootVariables();
    ASSERT_EQ(vars.size(), 3u);
    EXPECT_EQ(vars[1], (std::pair<std::string, std::string>{"b", "undefined"}));
}

TEST(Interpreter, ObjectsMembersAndPaths) {
    ActionWriter w;
    // settings = {volume: 5}; settings.volume++; _root.copy = settings.volume
    w.Push({std::string("settings"), std::string("volume"), 5.0, 1.0})
        .Do(Op::InitObject)
        .Do(Op::SetVariable);
    w.Push({std::string("settings")}).Do(Op::GetVariable).Push({std::string("volume")});
    w.Push({std::string("settings")})
        .Do(Op::GetVariable)
        .Push({std::string("volume")})
        .Do(Op::GetMember);
    w.Do(Op::Increment).Do(Op::SetMember);
    w.Push({std::string("_root"), PushUndefined{}}).Do(Op::Pop).Do(Op::GetVariable);
    w.Push({std::string("copy"), std::string("settings.volume")})
        .Do(Op::GetVariable)
        .Do(Op::SetMember);
    w.Push({std::string("/:slash"), std::string("s")}).Do(Op::SetVariable);
    w.Push({std::string("_level0.dotted"), std::string("d")}).Do(Op::SetVariable);
    w.Push({std::string("len"), std::string("abc"), std::string("length")})
        .Do(Op::GetMember)
        .Do(Op::SetVariable);
    w.Push({std::string("nowhere.x"), 1.0}).Do(Op::SetVariable); // no such object: reported
    MovieRun run(w);
    struct Case {
        const char* path;
        const char* text;
    };
    const Case cases[] = {
        {"copy", "6"},
        {"_root.copy", "6"},
        {"_level0.settings.volume", "6"},
        {"settings", "[object Object]"},
        {"slash", "s"},
        {"_root:slash", "s"},
        {"dotted", "d"},
        {"len", "3"},
        {"missing", ""},
        {"nowhere.x", ""},
        {"_root._currentframe", "1"},
        {"_root._totalframes", "1"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(run.player.GetVariableText(c.path), c.text) << c.path;
    }
    ASSERT_EQ(run.host.problems.size(), 1u);
    EXPECT_EQ(run.host.problems[0], "no object for variable nowhere.x");
}

TEST(Interpreter, FsCommandThroughGetUrlAndGetUrl2) {
    ActionWriter w;
    w.FsCommand("save level", "3");
    w.GetUrl("fscommand:quit", "");                // letter case of the prefix is free
    w.GetUrl("http://example.invalid/", "_blank"); // not a command: reported, not fired
    w.Push({std::string("FSCommand:setvolume"), std::string("1")})
        .Push({std::string("5")})
        .Do(Op::Add2)
        .GetUrl2(0); // target popped first: "15"
    w.Push({std::string("FSCommand:"), std::string("cursor")}).Do(Op::StringAdd);
    w.Push({std::string("arrow")}).GetUrl2(0x40);
    MovieRun run(w);
    EXPECT_EQ(
        run.host.events,
        (Events{{"save level", "3"}, {"quit", ""}, {"setvolume", "15"}, {"cursor", "arrow"}}));
    ASSERT_EQ(run.host.problems.size(), 1u);
    EXPECT_EQ(run.host.problems[0], "address not opened: http://example.invalid/");
}

TEST(Interpreter, TraceWritesTheValueAsText) {
    ActionWriter w;
    w.Push({std::string("hello")}).Do(Op::Trace);
    w.Push({PushUndefined{}}).Do(Op::Trace);
    w.Push({0.1, 0.2}).Do(Op::Add2).Do(Op::Trace);
    MovieRun run(w);
    EXPECT_EQ(run.host.traces, (std::vector<std::string>{"hello", "undefined", "0.3"}));
}

TEST(Interpreter, BadCodeStopsTheBlockAndIsReported) {
    struct Case {
        const char* what;
        std::function<void(ActionWriter&)> build;
        const char* problem;
    };
    const std::uint8_t shortPush[] = {0}; // string type without its terminator
    const std::uint8_t badType[] = {42};
    const std::uint8_t farJump[] = {0x00, 0x10};
    const std::uint8_t backJump[] = {0x00, 0x80};
    const std::uint8_t oneByte[] = {0x01};
    const std::uint8_t shortPool[] = {0x03, 0x00, 'a', 0};
    const std::uint8_t badRegister[] = {9};
    const Case cases[] = {
        {"push cut short", [&](ActionWriter& w) { w.Raw(0x96, shortPush); },
         "action block stopped: push cut short"},
        {"unknown push type", [&](ActionWriter& w) { w.Raw(0x96, badType); },
         "action block stopped: unknown push type 42"},
        {"jump past the end", [&](ActionWriter& w) { w.Raw(0x99, farJump); },
         "action block stopped: jump out of range"},
        {"jump before the start", [&](ActionWriter& w) { w.Raw(0x99, backJump); },
         "action block stopped: jump out of range"},
        {"jump offset cut short", [&](ActionWriter& w) { w.Raw(0x99, oneByte); },
         "action block stopped: jump offset cut short"},
        {"constant pool cut short", [&](ActionWriter& w) { w.Raw(0x88, shortPool); },
         "action block stopped: constant pool cut short"},
        {"bad register", [&](ActionWriter& w) { w.Raw(0x87, badRegister); },
         "action block stopped: bad register"},
        {"action runs past the block",
         [](ActionWriter& w) {
             const std::uint8_t bytes[] = {0x96, 0x20, 0x00, 0x00, 'x'};
             w.RawBytes(bytes);
         },
         "action block stopped: action 0x96 runs past the end of its block"},
        {"endless loop",
         [](ActionWriter& w) {
             auto top = w.NewLabel();
             w.Bind(top).Jump(top);
         },
         "action block stopped: more than 100000 actions"},
        {"growing text",
         [](ActionWriter& w) {
             auto top = w.NewLabel();
             w.Push({std::string("s"), std::string("ab")}).Do(Op::SetVariable);
             w.Bind(top);
             w.Push({std::string("s"), std::string("s")}).Do(Op::GetVariable);
             w.Push({std::string("s")}).Do(Op::GetVariable).Do(Op::StringAdd).Do(Op::SetVariable);
             w.Jump(top);
         },
         "action block stopped: text longer than 1048576 bytes"},
        {"growing stack",
         [](ActionWriter& w) {
             auto top = w.NewLabel();
             w.Bind(top).Push({1.0}).Jump(top);
         },
         "action block stopped: stack deeper than 10000"},
    };
    for (const auto& c : cases) {
        ActionWriter w;
        w.Push({std::string("before"), 1.0}).Do(Op::SetVariable);
        c.build(w);
        w.Push({std::string("after"), 1.0}).Do(Op::SetVariable);
        // A second block of the same frame still runs.
        MovieWriter m;
        m.Actions(w);
        m.Actions(ActionWriter().Push({std::string("next"), 1.0}).Do(Op::SetVariable));
        m.ShowFrame();
        RecordingHost host;
        PlayerLimits limits;
        limits.actionsPerBlock = 100000;
        Player player(host, limits);
        player.Load(ParseMovie(m.Finish()));
        player.Tick();
        EXPECT_EQ(player.GetVariableText("before"), "1") << c.what;
        EXPECT_EQ(player.GetVariableText("after"), "") << c.what;
        EXPECT_EQ(player.GetVariableText("next"), "1") << c.what;
        ASSERT_EQ(host.problems.size(), 1u) << c.what;
        EXPECT_EQ(host.problems[0], c.problem) << c.what;
    }
}

TEST(Interpreter, UnknownActionsAreSkippedByTheirLength) {
    const std::uint8_t body[] = {0x01, 0x02, 0x03};
    ActionWriter w;
    w.Push({std::string("before"), 1.0}).Do(Op::SetVariable);
    w.Do(static_cast<Op>(0x16));
    w.Raw(0xA5, body);
    w.Push({std::string("after"), 1.0}).Do(Op::SetVariable);
    MovieRun run(w);
    EXPECT_EQ(run.player.GetVariableText("before"), "1");
    EXPECT_EQ(run.player.GetVariableText("after"), "1");
    EXPECT_TRUE(run.host.problems.empty()) << run.host.problems.front();
}

TEST(Interpreter, TextMadeInOneTickIsBudgeted) {
    ActionWriter w;
    w.Push({std::string(60000, 'x')});
    for (int i = 0; i < 3; ++i) {
        w.Do(Op::PushDuplicate).Do(Op::StringAdd); // 480000 bytes at the end
    }
    auto top = w.NewLabel();
    w.Bind(top).Do(Op::PushDuplicate).Jump(top);
    MovieWriter m;
    m.Actions(w);
    m.Actions(ActionWriter().Push({std::string("later"), 1.0}).Do(Op::SetVariable));
    m.ShowFrame();
    m.Actions(ActionWriter().Push({std::string("next"), 1.0}).Do(Op::SetVariable));
    m.ShowFrame();
    RecordingHost host;
    Player player(host);
    player.Load(ParseMovie(m.Finish()));
    player.Tick();
    const std::string stop = "action block stopped: more than 33554432 bytes of text in one tick";
    // The rest of the tick has no text left; the next tick has its own budget.
    EXPECT_EQ(host.problems, (std::vector<std::string>{stop, stop}));
    EXPECT_EQ(player.GetVariableText("later"), "");
    player.Tick();
    EXPECT_EQ(player.GetVariableText("next"), "1");
}

TEST(Interpreter, ABlockEndingInsideAnActionLengthStops) {
    MovieWriter m;
    const std::uint8_t block[] = {0x07, 0x96, 0x01}; // Stop, then half a length
    m.Actions(block);
    m.ShowFrame();
    RecordingHost host;
    Player player(host);
    player.Load(ParseMovie(m.Finish()));
    player.Tick();
    EXPECT_FALSE(player.playing());
    EXPECT_EQ(host.problems,
              std::vector<std::string>{"action block stopped: action length cut short"});
}

TEST(Interpreter, MissingConstantAndRegisterReadUndefined) {
    ActionWriter w;
    w.ConstantPool({"only"});
    w.Push({std::string("r"), PushConstant{5}}).Do(Op::SetVariable);
    w.Push({std::string("q"), PushRegister{200}}).Do(Op::SetVariable);
    MovieRun run(w, 7);
    EXPECT_EQ(run.player.RootVariables(), (Events{{"r", "undefined"}, {"q", "undefined"}}));
    EXPECT_EQ(run.host.problems,
              (std::vector<std::string>{"constant 5 not in the pool",
                                        "push of register 200 reads undefined"}));
}

// Five frames; the frame number (1-based) is written to "f" as each is entered.
MovieWriter NumberedFrames(int count) {
    MovieWriter w(MovieOptions{6, 800, 600, 12, false});
    for (int i = 1; i <= count; ++i) {
        w.Label("L" + std::to_string(i));
        w.Actions(ActionWriter()
                      .Push({std::string("f"), std::string("f")})
                      .Do(Op::GetVariable)
                      .Push({std::to_string(i)})
                      .Do(Op::StringAdd)
                      .Do(Op::SetVariable));
        w.ShowFrame();
    }
    return w;
}

TEST(Timeline, FiresCommandsOnTheirFramesInOrder) {
    MovieWriter w(MovieOptions{6, 800, 600, 12, false});
    for (int frame = 1; frame <= 5; ++frame) {
        if (frame == 2) {
            w.Actions(ActionWriter().FsCommand("save level", "3"));
        }
        if (frame == 5) {
            w.Actions(ActionWriter().FsCommand("quit", "").Do(Op::Stop));
        }
        w.ShowFrame();
    }
    RecordingHost host;
    Player player(host);
    player.Load(ParseMovie(w.Finish()));
    std::vector<std::size_t> countAfterTick;
    for (int tick = 0; tick < 8; ++tick) {
        player.Tick();
        countAfterTick.push_back(host.events.size());
    }
    EXPECT_EQ(countAfterTick, (std::vector<std::size_t>{0, 1, 1, 1, 2, 2, 2, 2}));
    EXPECT_EQ(host.events, (Events{{"save level", "3"}, {"quit", ""}}));
    EXPECT_EQ(player.currentFrame(), 4);
    EXPECT_FALSE(player.playing());
}

TEST(Timeline, LoopsAndObeysPlayAndStop) {
    RecordingHost host;
    Player player(host);
    player.Load(ParseMovie(NumberedFrames(3).Finish()));
    EXPECT_EQ(player.currentFrame(), -1);
    for (int i = 0; i < 5; ++i) {
        player.Tick();
    }
    EXPECT_EQ(player.GetVariableText("f"), "12312");
    player.Stop();
    player.Tick();
    EXPECT_EQ(player.GetVariableText("f"), "12312");
    player.Play();
    player.Tick();
    EXPECT_EQ(player.GetVariableText("f"), "123123");
}

TEST(Timeline, ALateHostPlaysTheFramesItMissedUpToALimit) {
    RecordingHost host;
    Player player(host);
    player.Load(ParseMovie(NumberedFrames(3).Finish()));
    const double frame = 1000.0 / 12;
    // On time, early, three frames late, eight frames late; then after a long rest (the
    // timer off while the movie stood still) it starts afresh rather than catching up.
    std::vector<int> played;
    for (double ms : {1000.0, 1000 + frame, 1000 + 1.9 * frame, 1000 + 5.1 * frame,
                      1000 + 13.05 * frame, 60000.0, 60000 + frame}) {
        played.push_back(player.PlayDue(ms));
    }
    EXPECT_EQ(played, (std::vector<int>{1, 1, 1, 3, Player::kMaxCatchUp, 1, 1}));
}

TEST(Timeline, TicksAreNeededOnlyWhileTheyCanMoveTheMovieOn) {
    enum Do { Tick, Stop, Play, GotoAndStop, GotoAndPlay };
    struct Step {
        Do what;
        bool needed; // afterwards
    };
    struct Case {
        const char* what;
        int frames;
        std::vector<Step> steps;
    };
    const Case cases[] = {
        {"three frames",
         3,
         {{Tick, true},
          {Tick, true},
          {Stop, false},
          {Tick, false},
          {GotoAndStop, false},
          {Play, true},
          {Tick, true},
          {GotoAndPlay, true}}},
        {"stopped before the first frame", 3, {{Stop, true}, {Tick, false}, {Play, true}}},
        {"one frame", 1, {{Tick, false}, {Play, false}, {GotoAndPlay, false}, {Tick, false}}},
    };
    for (const auto& c : cases) {
        RecordingHost host;
        Player player(host);
        player.Load(ParseMovie(NumberedFrames(c.frames).Finish()));
        EXPECT_TRUE(player.NeedsTicks()) << c.what << ": expected the first frame to wait";
        int i = 0;
        for (const auto& s : c.steps) {
            switch (s.what) {
            case Tick:
                player.Tick();
                break;
            case Stop:
                player.Stop();
                break;
            case Play:
                player.Play();
                break;
            case GotoAndStop:
                player.RunBlock(ActionWriter().GotoFrame(0).Do(Op::Stop).Finish());
                break;
            case GotoAndPlay:
                player.RunBlock(ActionWriter().GotoFrame(0).Do(Op::Play).Finish());
                break;
            }
            EXPECT_EQ(player.NeedsTicks(), s.needed) << c.what << ", step " << i;
            if (!s.needed) {
                // A tick now would do nothing at all.
                const std::string entered = player.GetVariableText("f");
                const int frame = player.currentFrame();
                player.Tick();
                EXPECT_EQ(player.GetVariableText("f"), entered) << c.what << ", step " << i;
                EXPECT_EQ(player.currentFrame(), frame) << c.what << ", step " << i;
            }
            ++i;
        }
    }
}

TEST(Timeline, GotoActionsEnterTheirFrames) {
    struct Case {
        const char* what;
        std::function<void(ActionWriter&)> jump;
        const char* f; // frames entered during the first tick
        int frame;     // where the playhead stands after it
        bool playing;
    };
    const Case cases[] = {
        {"goto frame stops", [](ActionWriter& w) { w.GotoFrame(3); }, "14", 3, false},
        {"goto past the end shows the last without its scripts",
         [](ActionWriter& w) { w.GotoFrame(99); }, "1", 4, false},
        {"goto label", [](ActionWriter& w) { w.GoToLabel("l3").Do(Op::Stop); }, "13", 2, false},
        {"goto unknown label", [](ActionWriter& w) { w.GoToLabel("zz"); }, "1", 0, true},
        {"goto2 number and play", [](ActionWriter& w) { w.Push({2.0}).GotoFrame2(true); }, "12", 1,
         true},
        {"goto2 number and stop",
         [](ActionWriter& w) { w.Push({std::string("4")}).GotoFrame2(false); }, "14", 3, false},
        {"goto2 label with path",
         [](ActionWriter& w) { w.Push({std::string("_root:L5")}).GotoFrame2(false); }, "15", 4,
         false},
        {"goto2 with scene bias", [](ActionWriter& w) { w.Push({1.0}).GotoFrame2(false, 2); }, "13",
         2, false},
        {"next frame", [](ActionWriter& w) { w.Do(Op::NextFrame); }, "12", 1, false},
        {"previous frame on the first", [](ActionWriter& w) { w.Do(Op::PreviousFrame); }, "1", 0,
         false},
        {"goto the current frame", [](ActionWriter& w) { w.GotoFrame(0); }, "1", 0, false},
    };
    for (const auto& c : cases) {
        MovieWriter w = NumberedFrames(5);
        // Rebuild with the jump in frame 1, after its numbering block.
        MovieWriter m(MovieOptions{6, 800, 600, 12, false});
        for (int i = 1; i <= 5; ++i) {
            m.Label("L" + std::to_string(i));
            ActionWriter a;
            a.Push({std::string("f"), std::string("f")})
                .Do(Op::GetVariable)
                .Push({std::to_string(i)})
                .Do(Op::StringAdd)
                .Do(Op::SetVariable);
            if (i == 1) {
                c.jump(a);
            }
            m.Actions(a);
            m.ShowFrame();
        }
        RecordingHost host;
        Player player(host);
        player.Load(ParseMovie(m.Finish()));
        player.Tick();
        EXPECT_EQ(player.GetVariableText("f"), c.f) << c.what;
        EXPECT_EQ(player.currentFrame(), c.frame) << c.what;
        EXPECT_EQ(player.playing(), c.playing) << c.what;
    }
}

TEST(Timeline, EndlessGotoBetweenFramesIsCut) {
    MovieWriter m;
    m.Actions(ActionWriter().GotoFrame(1));
    m.ShowFrame();
    m.Actions(ActionWriter().GotoFrame(0));
    m.ShowFrame();
    RecordingHost host;
    Player player(host);
    player.Load(ParseMovie(m.Finish()));
    player.Tick();
    ASSERT_EQ(host.problems.size(), 1u);
    EXPECT_EQ(host.problems[0], "more than 256 frames entered in one tick");
    // The gotos stopped the timeline, so the player goes on working with no frame to enter.
    player.Tick();
    EXPECT_EQ(host.problems.size(), 1u);
    EXPECT_FALSE(player.playing());
}

TEST(Timeline, InitActionsRunBeforeTheFrameActions) {
    MovieWriter m;
    m.Actions(ActionWriter()
                  .Push({std::string("order"), std::string("order")})
                  .Do(Op::GetVariable)
                  .Push({std::string("A")})
                  .Do(Op::StringAdd)
                  .Do(Op::SetVariable));
    m.InitActions(
        1, ActionWriter().Push({std::string("order"), std::string("I")}).Do(Op::SetVariable));
    m.ShowFrame();
    RecordingHost host;
    Player player(host);
    player.Load(ParseMovie(m.Finish()));
    player.Tick();
    EXPECT_EQ(player.GetVariableText("order"), "IA");
}

TEST(Host, VariablesAndParametersFromOutside) {
    RecordingHost host;
    Player player(host);
    MovieWriter m(MovieOptions{6, 800, 600, 12, false});
    m.Actions(ActionWriter()
                  .Push({std::string("seen"), std::string("currentvolume")})
                  .Do(Op::GetVariable)
                  .Do(Op::SetVariable));
    m.ShowFrame();
    m.ShowFrame();
    player.Load(ParseMovie(m.Finish()));
    player.ApplyFlashVars("ProcessorFreq=450&EscIntro=0&name=A+B%21");
    player.SetVariable("_root.currentvolume", Value("15"));
    player.SetVariable("_level0.other", Value("x"));
    player.Tick();
    EXPECT_EQ(player.GetVariableText("seen"), "15");
    EXPECT_EQ(player.GetVariableText("_root.ProcessorFreq"), "450");
    EXPECT_EQ(player.GetVariableText("processorfreq"), "450"); // version 6: any letter case
    EXPECT_EQ(player.RootVariables(), (Events{{"ProcessorFreq", "450"},
                                              {"EscIntro", "0"},
                                              {"name", "A B!"},
                                              {"currentvolume", "15"},
                                              {"other", "x"},
                                              {"seen", "15"}}));
    // A parameter name is never a path.
    player.ApplyFlashVars("a.b=1");
    EXPECT_EQ(player.RootVariables().back(), (std::pair<std::string, std::string>{"a.b", "1"}));
}

TEST(Host, ReplacingTheMovieFromACommandIsSafe) {
    auto movie = [](std::uint8_t version) {
        MovieWriter m(MovieOptions{.version = version});
        m.Actions(ActionWriter()
                      .FsCommand("reload", "")
                      .Push({std::string("after"), 1.0})
                      .Do(Op::SetVariable));
        m.Actions(ActionWriter().Push({std::string("second"), 1.0}).Do(Op::SetVariable));
        m.ShowFrame();
        return m.Finish();
    };
    auto first = movie(8);
    auto next = movie(6);
    RecordingHost host;
    Player player(host);
    int loads = 0;
    host.onCommand = [&] {
        if (++loads == 1) {
            player.Load(ParseMovie(next));
        }
    };
    player.Load(ParseMovie(first));
    player.Tick();
    // The replaced movie's scripts stop; the new one starts on the next tick, by its own
    // version's rules, not those of the code it cut short.
    EXPECT_EQ(player.RootVariables(), Events{});
    EXPECT_EQ(player.currentFrame(), -1);
    EXPECT_EQ(player.runtime().version(), 6);
    player.Tick();
    EXPECT_EQ(player.GetVariableText("after"), "1");
    EXPECT_EQ(player.GetVariableText("second"), "1");
}

TEST(Host, NotAMovieIsPlayedAsAnEmptyOne) {
    RecordingHost host;
    Player player(host);
    const std::uint8_t junk[] = {'G', 'I', 'F', '8', '9', 'a'};
    player.Load(ParseMovie(junk));
    player.Tick();
    player.Tick();
    EXPECT_EQ(player.currentFrame(), 0);
    EXPECT_EQ(host.problems, std::vector<std::string>{"not a movie file"});
    player.SetVariable("x", Value("1"));
    EXPECT_EQ(player.GetVariableText("x"), "1");
}

} // namespace
