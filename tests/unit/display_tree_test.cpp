// The display tree under what the corpus does not pin: movies that nest a sprite in itself,
// scripts that remove the clip they run on, and a host that loads another movie while a
// sprite's init actions run.

#include "swf/player.h"
#include "swf/writer.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

using namespace fw::swf;

class Host : public PlayerHost {
public:
    void FsCommand(const std::string& command, const std::string&) override {
        if (onCommand) {
            onCommand(command);
        }
    }
    void TraceOutput(const std::string& text) override { traces.push_back(text); }
    void Problem(const std::string& text) override { problems.push_back(text); }

    std::function<void(const std::string&)> onCommand;
    std::vector<std::string> traces;
    std::vector<std::string> problems;
};

// Actions without a body that the writer does not name.
const std::vector<std::uint8_t> kCallMethod{0x52};
const std::vector<std::uint8_t> kRemoveSprite{0x25};

ActionBlock Say(const std::string& text) {
    return ActionWriter().Push({text}).Do(Op::Trace).Finish();
}

Placement Place(std::uint16_t depth, std::uint16_t character, std::string name = {}) {
    Placement p;
    p.depth = depth;
    p.character = character;
    if (!name.empty()) {
        p.name = std::move(name);
    }
    return p;
}

// A movie of one frame placing sprite 2, whose frames are given.
Movie WithSprite(std::vector<Frame> spriteFrames, Frame root = {}) {
    Movie m;
    m.valid = true;
    m.version = 6;
    m.sprites[2] = Sprite{2, std::move(spriteFrames)};
    root.placements.push_back(Place(1, 2, "clip"));
    m.frames.push_back(std::move(root));
    return m;
}

TEST(DisplayTree, ASpriteHoldingItselfStopsAtTheNestingLimit) {
    Frame inner;
    inner.placements.push_back(Place(1, 2, "again"));
    Host host;
    Player player(host);
    player.Load(WithSprite({inner}));
    player.Tick();
    player.Tick();
    ASSERT_FALSE(host.problems.empty()) << "expected the endless nesting reported";
    EXPECT_NE(host.problems[0].find("nested"), std::string::npos) << host.problems[0];
    EXPECT_EQ(player.GetVariableText("clip.again.again._name"), "again");
}

TEST(DisplayTree, AScriptRemovingItsOwnClipGoesOnAndTheClipPlaysNoMore) {
    // Frame 1 of the sprite: it takes itself off the stage, then goes on talking.
    Frame spriteFrame;
    spriteFrame.actions.push_back(ActionWriter()
                                      .Push({0.0, std::string("this")})
                                      .Do(Op::GetVariable)
                                      .Push({std::string("swapDepths")})
                                      .RawBytes(kCallMethod)
                                      .Do(Op::Pop)
                                      .Push({std::string("this")})
                                      .Do(Op::GetVariable)
                                      .RawBytes(kRemoveSprite)
                                      .Push({std::string("after")})
                                      .Do(Op::Trace)
                                      .Finish());
    Frame second;
    second.actions.push_back(Say("not reached"));
    Host host;
    Player player(host);
    player.Load(WithSprite({spriteFrame, second}));
    for (int i = 0; i < 3; ++i) {
        player.Tick();
    }
    EXPECT_EQ(host.traces, (std::vector<std::string>{"after"}));
    EXPECT_TRUE(player.GetVariable("clip").isUndefined()) << "expected the clip gone";
}

TEST(DisplayTree, AMovieLoadedFromAnInitActionReplacesTheTreeMidFrame) {
    Frame root;
    root.initActions.push_back(ActionWriter().FsCommand("swap", "").Finish());
    root.actions.push_back(Say("old movie"));
    Frame spriteFrame;
    spriteFrame.actions.push_back(Say("old clip"));
    Movie next;
    next.valid = true;
    next.version = 6;
    Frame nextFrame;
    nextFrame.actions.push_back(Say("new movie"));
    next.frames.push_back(nextFrame);

    Host host;
    Player player(host);
    host.onCommand = [&](const std::string& command) {
        if (command == "swap") {
            player.Load(next);
        }
    };
    player.Load(WithSprite({spriteFrame}, root));
    player.Tick();
    player.Tick();
    EXPECT_EQ(host.traces, (std::vector<std::string>{"new movie"}));
}

} // namespace

TEST(DisplayTree, AFrameCallingItsOwnScriptsStopsAtTheDepthLimit) {
    // Frame 1 says something, then runs frame 1's scripts again: without a limit, for ever.
    Frame root;
    root.actions.push_back(ActionWriter()
                               .Push({std::string("again")})
                               .Do(Op::Trace)
                               .Push({1.0})
                               .Raw(0x9E, {})
                               .Finish());
    Movie m;
    m.valid = true;
    m.version = 6;
    m.frames.push_back(std::move(root));
    Host host;
    Player player(host);
    player.Load(std::move(m));
    player.Tick();
    ASSERT_FALSE(host.problems.empty()) << "expected the endless calls reported";
    EXPECT_NE(host.problems[0].find("recursion"), std::string::npos) << host.problems[0];
    EXPECT_GT(host.traces.size(), 1u);
    EXPECT_LT(host.traces.size(), 1000u);
}
