// Loading other movies where the corpus does not look: files that are missing or no movie at
// all, pictures by their headers only, a movie that loads itself every frame, and symbols
// imported from shared libraries.

#include "render/picture.h"
#include "swf/player.h"
#include "swf/writer.h"

#include <gtest/gtest.h>

#include <algorithm>
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

// object.method(args), its result left on the stack; the object is a variable's value.
ActionWriter& Call(ActionWriter& w, const std::string& object, const std::string& method,
                   std::vector<PushItem> args) {
    std::reverse(args.begin(), args.end());
    args.push_back(static_cast<double>(args.size()));
    args.push_back(object);
    return w.Push(args).Do(Op::GetVariable).Push({method}).RawBytes(kCallMethod);
}

// ImportAssets (57) or ImportAssets2 (71) of (id, name) pairs from the address.
std::vector<std::uint8_t>
Import(bool second, const std::string& url,
       const std::vector<std::pair<std::uint16_t, std::string>>& symbols) {
    std::vector<std::uint8_t> b(url.begin(), url.end());
    b.push_back(0);
    if (second) {
        b.insert(b.end(), {1, 0});
    }
    b.insert(b.end(), {static_cast<std::uint8_t>(symbols.size()), 0});
    for (const auto& [id, name] : symbols) {
        b.insert(b.end(), {static_cast<std::uint8_t>(id), static_cast<std::uint8_t>(id >> 8)});
        b.insert(b.end(), name.begin(), name.end());
        b.push_back(0);
    }
    return b;
}

Shape Square(std::uint16_t id, Rgba colour) {
    ShapeBuilder b(id, 32);
    b.Style(0, b.Fill(colour), 0).Rect(0, 0, 200, 200);
    return b.Build();
}

Placement PlaceAt(std::uint16_t depth, std::uint16_t character, double x) {
    Placement p;
    p.depth = depth;
    p.character = character;
    p.matrix = Matrix{1, 0, 0, 1, x * 20, 0};
    return p;
}

// The library's own shape 1 is red, the importing movie's blue: an imported box (a sprite
// placing shape 1) shows red wherever it stands, placed by the timeline or attached by name,
// and is made of the class the library's initialisation registers for it; an imported sound
// and bitmap are found by their names. Of an import and the movie's own definition of one id, the
// first in the file holds.
TEST(MovieLoading, ImportedSymbolsComeFromTheLibrarysDictionary) {
    Host host;
    ActionWriter registration; // Object.registerClass("Box", _global.Made)
    SetFunction(registration, "_global", "Made", Say("made", {}));
    registration.Push({std::string("Made")})
        .Do(Op::GetVariable)
        .Push({std::string("Box"), 2.0, std::string("Object")})
        .Do(Op::GetVariable)
        .Push({std::string("registerClass")})
        .RawBytes(kCallMethod)
        .Do(Op::Pop);
    host.files["lib.swf"] = Text(
        MovieWriter(MovieOptions{8})
            .DefineShape(Square(1, Rgba{255, 0, 0, 255}))
            .DefineSprite(2, MovieWriter()
                                 .Place(PlaceAt(1, 1, 0))
                                 .Actions(ActionWriter().Push({std::string("box")}).Do(Op::Trace))
                                 .ShowFrame())
            .Export(2, "Box")
            .DefineSound(
                SoundDefinition{3, 3, 2, true, false, 2205, std::vector<std::uint8_t>(4410)})
            .Export(3, "Tick")
            .DefineBitsLossless2(4, 3, 1, std::vector<std::uint8_t>(12, 255))
            .Export(4, "Dots")
            .InitActions(2, registration)
            .ShowFrame()
            .Finish());
    ActionWriter attach;
    Call(attach, "this", "attachMovie", {std::string("Shared"), std::string("b"), 1.0})
        .Do(Op::Pop)
        .Push({std::string("b"), 0.0, 20.0})
        .Do(Op::SetProperty)
        .Push({std::string("s"), 0.0, std::string("Sound")})
        .RawBytes(kNewObject)
        .Do(Op::SetVariable);
    Call(attach, "s", "attachSound", {std::string("Tick")})
        .Do(Op::Pop)
        .Push({std::string("s")})
        .Do(Op::GetVariable)
        .Push({std::string("duration")})
        .Do(Op::GetMember)
        .Do(Op::Trace)
        .Push({std::string("Dots"), 1.0, std::string("flash")})
        .Do(Op::GetVariable)
        .Push({std::string("display")})
        .Do(Op::GetMember)
        .Push({std::string("BitmapData")})
        .Do(Op::GetMember)
        .Push({std::string("loadBitmap")})
        .RawBytes(kCallMethod)
        .Push({std::string("width")})
        .Do(Op::GetMember)
        .Do(Op::Trace);
    for (bool second : {false, true}) {
        auto importing =
            MovieWriter(MovieOptions{8})
                .DefineShape(Square(1, Rgba{0, 0, 255, 255}))
                .Tag(second ? 71 : 57,
                     Import(second, "lib.swf", {{7, "Box"}, {1, "Box"}, {9, "Box"}}))
                .Tag(second ? 71 : 57,
                     Import(second, "lib.swf", {{8, "Box"}, {10, "Tick"}, {11, "Dots"}}))
                .DefineShape(Square(9, Rgba{0, 0, 255, 255}))
                .Export(8, "Shared")
                .Place(PlaceAt(1, 7, 0))
                .Place(PlaceAt(2, 1, 10))
                .Place(PlaceAt(4, 9, 30))
                .Actions(attach)
                .ShowFrame()
                .Finish();
        host.traces.clear();
        Player player(host);
        player.Load(ParseMovie(importing));
        player.Tick();
        fw::render::Picture picture(40, 20);
        player.Render(picture, Matrix{0.05, 0, 0, 0.05, 0, 0});
        EXPECT_EQ(0xFFFF0000u, picture.Row(5)[5]) << "placed, tag " << (second ? 71 : 57);
        EXPECT_EQ(0xFF0000FFu, picture.Row(5)[15]) << "the movie's own shape 1";
        EXPECT_EQ(0xFFFF0000u, picture.Row(5)[25]) << "attached, tag " << (second ? 71 : 57);
        EXPECT_EQ(0xFFFF0000u, picture.Row(5)[35]) << "imported before the movie's own 9";
        EXPECT_EQ(
            (std::vector<std::string>{"made", "made", "box", "box", "made", "100", "3", "box"}),
            host.traces);
    }
}

// A missing library, a symbol the library does not export and libraries importing from each
// other in a ring leave the imported ids unknown: nothing is drawn, nothing attached, and
// the movie goes on.
TEST(MovieLoading, ImportsThatLeadNowhereShowNothing) {
    Host host;
    host.files["a.swf"] = Text(MovieWriter()
                                   .Tag(57, Import(false, "b.swf", {{3, "Ring"}}))
                                   .Export(3, "Ring")
                                   .ShowFrame()
                                   .Finish());
    host.files["b.swf"] = Text(MovieWriter()
                                   .Tag(57, Import(false, "a.swf", {{4, "Ring"}}))
                                   .Export(4, "Ring")
                                   .ShowFrame()
                                   .Finish());
    host.files["lib.swf"] = Text(MovieWriter().ShowFrame().Finish());
    ActionWriter attach;
    for (const char* symbol : {"Ring", "Gone", "Unexported"}) {
        Call(attach, "this", "attachMovie", {std::string(symbol), std::string(symbol), 1.0})
            .Do(Op::TypeOf)
            .Do(Op::Trace);
    }
    auto importing = MovieWriter()
                         .Tag(57, Import(false, "a.swf", {{5, "Ring"}}))
                         .Tag(57, Import(false, "missing.swf", {{6, "Gone"}}))
                         .Tag(57, Import(false, "lib.swf", {{7, "Unexported"}}))
                         .Place(PlaceAt(1, 5, 0))
                         .Place(PlaceAt(2, 6, 10))
                         .Place(PlaceAt(3, 7, 20))
                         .Actions(attach)
                         .ShowFrame()
                         .ShowFrame()
                         .Finish();
    Player player(host);
    player.Load(ParseMovie(importing));
    player.Tick();
    player.Tick();
    fw::render::Picture picture(40, 20);
    player.Render(picture, Matrix{0.05, 0, 0, 0.05, 0, 0});
    for (int x : {5, 15, 25}) {
        EXPECT_EQ(0xFFFFFFFFu, picture.Row(5)[x]) << "at " << x;
    }
    EXPECT_EQ((std::vector<std::string>{"undefined", "undefined", "undefined"}), host.traces);
}

} // namespace
