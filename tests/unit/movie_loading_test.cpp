// Loading other movies where the corpus does not look: files that are missing or no movie at
// all, pictures by their headers only, and a movie that loads itself every frame.

#include "swf/player.h"
#include "swf/writer.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace {

using namespace fw::swf;

class Host : public PlayerHost {
public:
    void FsCommand(const std::string&, const std::string&) override {}
    void TraceOutput(const std::string& text) override { traces.push_back(text); }
    void Problem(const std::string& text) override { problems.push_back(text); }
    std::optional<std::string> ReadFile(std::string_view url) override {
        auto it = files.find(std::string(url));
        return it == files.end() ? std::nullopt : std::optional<std::string>(it->second);
    }

    std::map<std::string, std::string> files;
    std::vector<std::string> traces;
    std::vector<std::string> problems;
};

const std::vector<std::uint8_t> kCallMethod{0x52};
const std::vector<std::uint8_t> kNewObject{0x40};

std::string Text(const std::vector<std::uint8_t>& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

// this.createEmptyMovieClip(name, depth)
ActionWriter& MakeClip(ActionWriter& w, const std::string& name, double depth) {
    return w.Push({depth, name, 2.0, std::string("this")})
        .Do(Op::GetVariable)
        .Push({std::string("createEmptyMovieClip")})
        .RawBytes(kCallMethod)
        .Do(Op::Pop);
}

// obj[name] = function (t, a, b) { body }
void SetFunction(ActionWriter& w, const std::string& obj, const std::string& name,
                 const ActionWriter& body) {
    auto code = body.Finish(false);
    std::vector<std::uint8_t> def = {0,
                                     3,
                                     0,
                                     't',
                                     0,
                                     'a',
                                     0,
                                     'b',
                                     0,
                                     static_cast<std::uint8_t>(code.size()),
                                     static_cast<std::uint8_t>(code.size() >> 8)};
    w.Push({obj}).Do(Op::GetVariable).Push({name});
    w.Raw(0x9B, def).RawBytes(code).Do(Op::SetMember);
}

// trace(text + " " + a + " " + b), the variables as many as given.
ActionWriter Say(const std::string& text, std::vector<std::string> variables) {
    ActionWriter w;
    w.Push({text});
    for (const auto& v : variables) {
        w.Push({std::string(" "), v}).Do(Op::GetVariable).Do(Op::Add2).Do(Op::Add2);
    }
    w.Do(Op::Trace);
    return w;
}

// Each file goes into a clip through a loader that traces what it hears, and on the clip's
// initialisation the version of what the clip shows.
TEST(MovieLoading, ALoaderTellsWhatEachFileTurnedOutToBe) {
    const std::string png = std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR\0\0\0\x07\0\0\0\x05", 24);
    const std::string gif("GIF89a\x07\0\x05\0", 10);
    const std::string cutJpeg("\xFF\xD8\xFF\xE0\0\x02\xFF", 7);
    const std::string movie =
        Text(MovieWriter().Actions(ActionWriter().Push({1.0}).Do(Op::Trace)).ShowFrame().Finish());
    const std::string size = std::to_string(movie.size());
    struct Case {
        std::string file;
        std::optional<std::string> bytes;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {"movie.swf", movie, {"start", "progress " + size + " " + size, "1", "init 6"}},
        {"picture.png", png, {"start", "progress 24 24", "init -1"}},
        {"picture.gif", gif, {"start", "progress 10 10", "init -1"}},
        {"cut.jpg", cutJpeg, {"start", "progress 0 0", "init -1"}},
        {"notes.txt", std::string("not a movie"), {"start", "progress 0 0", "init -1"}},
        {"missing.swf", std::nullopt, {"error URLNotFound"}},
    };
    for (const auto& c : cases) {
        Host host;
        if (c.bytes) {
            host.files[c.file] = *c.bytes;
        }
        ActionWriter w;
        MakeClip(w, "clip", 1);
        w.Push({std::string("mcl"), 0.0, std::string("MovieClipLoader")})
            .RawBytes(kNewObject)
            .Do(Op::SetVariable);
        SetFunction(w, "mcl", "onLoadStart", Say("start", {}));
        SetFunction(w, "mcl", "onLoadProgress", Say("progress", {"a", "b"}));
        SetFunction(w, "mcl", "onLoadError", Say("error", {"a"}));
        ActionWriter init;
        init.Push({std::string("init "), 0.0, std::string("t")})
            .Do(Op::GetVariable)
            .Push({std::string("getSWFVersion")})
            .RawBytes(kCallMethod)
            .Do(Op::Add2)
            .Do(Op::Trace);
        SetFunction(w, "mcl", "onLoadInit", init);
        w.Push({std::string("clip"), c.file, 2.0, std::string("mcl")})
            .Do(Op::GetVariable)
            .Push({std::string("loadClip")})
            .RawBytes(kCallMethod)
            .Do(Op::Pop);
        Player player(host);
        player.Load(ParseMovie(MovieWriter().Actions(w).ShowFrame().Finish()));
        for (int i = 0; i < 4; ++i) {
            player.Tick();
        }
        EXPECT_EQ(c.expected, host.traces) << c.file;
    }
}

// A movie loading itself into a level and into its own clip every frame neither grows without
// end nor stops.
TEST(MovieLoading, AMovieLoadingItselfEveryFrameStaysBounded) {
    ActionWriter w;
    MakeClip(w, "clip", 1);
    w.GetUrl("self.swf", "_level1").Push({std::string("self.swf"), std::string("clip")});
    w.GetUrl2(0x40);
    auto bytes = MovieWriter().Actions(w).ShowFrame().ShowFrame().Finish();
    Host host;
    host.files["self.swf"] = Text(bytes);
    Player player(host);
    player.Load(ParseMovie(bytes));
    std::size_t early = 0;
    for (int i = 0; i < 60; ++i) {
        player.Tick();
        player.runtime().Collect();
        if (i == 20) {
            early = player.runtime().objectCount();
        }
    }
    EXPECT_LE(player.runtime().objectCount(), early + early / 2)
        << "expected the objects to stay near " << early;
    EXPECT_TRUE(host.problems.empty()) << host.problems.front();
}

} // namespace
