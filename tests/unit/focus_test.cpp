// The Tab order's reading of tabIndex: the values a movie may give it that the corpus's movies
// never do (fractions, NaN, booleans, texts, numbers beyond 32 bits).

#include "swf/player.h"
#include "swf/writer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <string>
#include <vector>

namespace {

using namespace fw::swf;

class Host : public PlayerHost {
public:
    void FsCommand(const std::string&, const std::string&) override {}
    void TraceOutput(const std::string& text) override { traces.push_back(text); }
    void Problem(const std::string& text) override { problems.push_back(text); }
    std::vector<std::string> traces;
    std::vector<std::string> problems;
};

// Two empty clips, "a" below "b", so that ties go to "a".
Movie TwoClips() {
    Movie m = ParseMovie(MovieWriter(MovieOptions{}).ShowFrame().Finish());
    m.sprites[2] = Sprite{2, {Frame{}}};
    for (int depth : {1, 2}) {
        Placement p;
        p.depth = static_cast<std::uint16_t>(depth);
        p.character = 2;
        p.name = depth == 1 ? "a" : "b";
        m.frames[0].placements.push_back(p);
    }
    return m;
}

// Traces Selection.getFocus().
ActionBlock TraceFocus() {
    ActionBlock call = ActionWriter()
                           .Push({0.0, std::string("Selection")})
                           .Do(Op::GetVariable)
                           .Push({std::string("getFocus")})
                           .Finish();
    call.pop_back(); // the end: the call and the trace follow
    call.insert(call.end(), {0x52, static_cast<std::uint8_t>(Op::Trace), 0});
    return call;
}

TEST(TabOrder, ReadsTabIndexAsAWholeNumberOfThirtyTwoBits) {
    struct Case {
        const char* what;
        std::optional<Value> a, b;
        const char* first; // what the first Tab reaches
    };
    const Case cases[] = {
        {"by index", Value(2), Value(1), "_level0.b"},
        {"fraction cut", Value(1.9), Value(1), "_level0.a"},
        {"NaN as 0", Value(std::nan("")), Value(1), "_level0.a"},
        {"true as 1", Value(true), Value(2), "_level0.a"},
        {"below 32 bits first", Value(-3e9), Value(-5), "_level0.a"},
        {"above 32 bits first", Value(3e9), Value(-5), "_level0.a"},
        {"text first", Value("9"), Value(-5), "_level0.a"},
        {"-1 as none", Value(-1), Value(5), "_level0.b"},
        {"null as none", Value(Null{}), Value(5), "_level0.b"},
        {"unset as none", std::nullopt, Value(5), "_level0.b"},
    };
    for (const auto& c : cases) {
        Host host;
        Player player(host);
        player.Load(TwoClips());
        player.Tick();
        for (const char* name : {"a", "b"}) {
            player.SetVariable(std::string(name) + ".tabEnabled", Value(true));
            const auto& index = *name == 'a' ? c.a : c.b;
            if (index) {
                player.SetVariable(std::string(name) + ".tabIndex", *index);
            }
        }
        player.KeyDown(9, 9);
        player.RunBlock(TraceFocus());
        EXPECT_EQ(host.traces, std::vector<std::string>{c.first}) << c.what;
        EXPECT_TRUE(host.problems.empty()) << c.what << ": " << host.problems.front();
    }
}

} // namespace
