#include "tools/runner.h"

#include "render/png.h"
#include "swf/local_path.h"
#include "swf/writer.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

using namespace fw::play;
using fw::swf::ActionWriter;
using fw::swf::MovieOptions;
using fw::swf::MovieWriter;
using fw::swf::Op;

std::optional<Options> Parse(std::vector<std::string_view> args, std::string& error) {
    return ParseArguments(args, error);
}

TEST(FwplayArguments, AcceptedForms) {
    struct Case {
        std::vector<std::string_view> args;
        std::optional<std::uint32_t> frames;
        std::string movie, png;
    };
    const Case cases[] = {
        {{"m.swf"}, std::nullopt, "m.swf", ""},
        {{"--frames", "3", "m.swf"}, 3, "m.swf", ""},
        {{"m.swf", "--frames=0"}, 0, "m.swf", ""},
        {{"--frames", "10000000", "--png", "o.png", "m.swf"}, 10000000, "m.swf", "o.png"},
        {{"--png=o.png", "--", "--frames"}, std::nullopt, "--frames", "o.png"},
        {{"-"}, std::nullopt, "-", ""},
    };
    for (const auto& c : cases) {
        std::string error;
        auto options = Parse(c.args, error);
        ASSERT_TRUE(options) << c.args.front() << ": " << error;
        EXPECT_EQ(c.frames, options->frames) << c.args.front();
        EXPECT_EQ(c.movie, options->movie) << c.args.front();
        EXPECT_EQ(c.png, options->png) << c.args.front();
    }
    std::string error;
    auto window = Parse({"--window", "1920x1080@1.25", "m.swf"}, error);
    ASSERT_TRUE(window && window->window) << error;
    EXPECT_EQ(1920, window->window->width);
    EXPECT_EQ(1080, window->window->height);
    EXPECT_EQ(1.25, window->window->scale);
    auto plain = Parse({"--window=900x600", "m.swf"}, error);
    ASSERT_TRUE(plain && plain->window) << error;
    EXPECT_EQ(1, plain->window->scale);
    auto shots = Parse({"--png-at", "3=a.png", "--png-at=12=b=c.png", "m.swf"}, error);
    ASSERT_TRUE(shots) << error;
    ASSERT_EQ(2u, shots->captures.size());
    EXPECT_EQ(3u, shots->captures[0].frame);
    EXPECT_EQ("b=c.png", shots->captures[1].file);
    auto help = Parse({"--frames", "2", "--help"}, error);
    ASSERT_TRUE(help);
    EXPECT_TRUE(help->help);
}

TEST(FwplayArguments, RefusedWithAReason) {
    const std::vector<std::vector<std::string_view>> cases = {
        {},
        {"a.swf", "b.swf"},
        {"--frames", "x", "m.swf"},
        {"--frames", "-1", "m.swf"},
        {"--frames", "3x", "m.swf"},
        {"--frames", "10000001", "m.swf"},
        {"--frames=", "m.swf"},
        {"m.swf", "--frames"},
        {"--wav", "", "m.swf"},
        {"--png-at", "0=a.png", "m.swf"},
        {"--png-at", "2=", "m.swf"},
        {"--png-at", "a.png", "m.swf"},
        {"--speed", "2", "m.swf"},
        {"--script-seconds", "0", "m.swf"},
        {"--script-seconds", "1.5", "m.swf"},
        {"--window", "900", "m.swf"},
        {"--window", "0x600", "m.swf"},
        {"--window", "900x600@", "m.swf"},
        {"--window", "900x600@0", "m.swf"},
    };
    for (const auto& args : cases) {
        std::string error;
        EXPECT_FALSE(Parse(args, error)) << (args.empty() ? "(none)" : args.back());
        EXPECT_FALSE(error.empty());
    }
}

// A two-frame movie tracing the clock on each frame; frame 2 of the run says quit when asked to.
std::vector<std::uint8_t> ClockMovie(bool quit) {
    MovieWriter w(MovieOptions{6, 800, 600, 12, false});
    w.Actions(ActionWriter().Do(Op::GetTime).Do(Op::Trace)).ShowFrame();
    ActionWriter second;
    second.Do(Op::GetTime).Do(Op::Trace);
    if (quit) {
        second.FsCommand("quit", "");
    }
    w.Actions(second).ShowFrame();
    return w.Finish();
}

TEST(FwplayRun, TracesEachFrameOnVirtualTime) {
    std::ostringstream out, err;
    ASSERT_EQ(kPlayed, PlayMovie(ClockMovie(false), 5, out, err)) << err.str();
    std::string expected;
    for (int frame = 0; frame < 5; ++frame) {
        expected += std::to_string(static_cast<int>(std::floor(frame * 1000.0 / 12))) + "\n";
    }
    EXPECT_EQ(expected, out.str());
    EXPECT_EQ("", err.str());

    std::ostringstream quitOut, quitErr;
    ASSERT_EQ(kPlayed, PlayMovie(ClockMovie(true), 5, quitOut, quitErr));
    EXPECT_EQ("0\n83\n", quitOut.str()); // ends with the frame that asked

    std::ostringstream ownOut, ownErr; // without a count, the movie's own two frames
    ASSERT_EQ(kPlayed, PlayMovie(ClockMovie(false), std::nullopt, ownOut, ownErr));
    EXPECT_EQ("0\n83\n", ownOut.str());
}

// A frame script that never ends is stopped after its real time, however many actions that is,
// and the frames after it still play.
TEST(FwplayRun, RunawayScriptStopsAfterItsTime) {
    MovieWriter w(MovieOptions{6, 800, 600, 12, false});
    ActionWriter loop;
    auto top = loop.NewLabel();
    loop.Bind(top).Push({std::string("x")}).Do(Op::Pop).Jump(top);
    w.Actions(loop).ShowFrame();
    w.Actions(ActionWriter().Push({std::string("after")}).Do(Op::Trace)).ShowFrame();
    std::ostringstream out, err;
    ASSERT_EQ(kPlayed, PlayMovie(w.Finish(), 2, out, err, {}, 1.0));
    EXPECT_EQ("after\n", out.str());
    EXPECT_NE(std::string::npos, err.str().find("running for more than 1 seconds")) << err.str();
}

TEST(FwplayRun, CutAndGarbageFilesNeverCrash) {
    auto movie = ClockMovie(true);
    for (std::size_t len = 0; len <= movie.size(); ++len) {
        std::ostringstream out, err;
        std::span<const std::uint8_t> cut(movie.data(), len);
        int status = PlayMovie(cut, 3, out, err);
        EXPECT_TRUE(status == kPlayed || status == kNotPlayed) << len;
        if (status == kNotPlayed) {
            EXPECT_NE(std::string::npos, err.str().find("not a movie")) << len;
        }
    }
    std::vector<std::uint8_t> garbage(4096);
    std::uint32_t seed = 12345;
    for (int round = 0; round < 16; ++round) {
        for (auto& b : garbage) {
            seed = seed * 1664525u + 1013904223u;
            b = static_cast<std::uint8_t>(seed >> 24);
        }
        std::copy_n(movie.begin(), 8 + round % 8, garbage.begin()); // a header, then noise
        std::ostringstream out, err;
        int status = PlayMovie(garbage, 4, out, err);
        EXPECT_TRUE(status == kPlayed || status == kNotPlayed) << round;
    }
}

TEST(FwplayRun, FilesThatCannotBePlayed) {
    auto dir = std::filesystem::temp_directory_path() /
               ("fwplay_test_" + std::to_string(std::random_device{}()));
    std::filesystem::create_directories(dir);
    auto big = dir / "big.swf";
    { std::ofstream(big, std::ios::binary) << "FWS"; }
    std::filesystem::resize_file(big, fw::swf::kMaxMovieBytes + 1);
    const std::pair<std::filesystem::path, const char*> cases[] = {
        {dir / "missing.swf", "no such file"},
        {dir, "not a file"},
        {big, "larger than"},
    };
    for (const auto& [path, message] : cases) {
        Options options;
        options.movie = path.string();
        options.wav = (dir / "o.wav").string();
        std::ostringstream out, err;
        EXPECT_EQ(kNotPlayed, fw::play::Run(options, out, err)) << path;
        EXPECT_NE(std::string::npos, err.str().find(message)) << err.str();
        EXPECT_FALSE(std::filesystem::exists(options.wav)) << "no sound is written for no movie";
        EXPECT_EQ("", out.str());
    }
    std::filesystem::remove_all(dir);
}

// The pictures --png and --png-at ask for are written at the movie's size; an unwritable path
// fails the run without losing the others.
TEST(FwplayRun, WritesPicturesOfTheStage) {
    auto dir = std::filesystem::temp_directory_path() /
               ("fwplay_png_" + std::to_string(std::random_device{}()));
    std::filesystem::create_directories(dir);
    MovieWriter w(MovieOptions{6, 31, 17, 12, false});
    w.Background({10, 200, 30}).ShowFrame().ShowFrame();
    auto movie = dir / "m.swf";
    {
        auto bytes = w.Finish();
        std::ofstream(movie, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    }
    Options options;
    options.movie = movie.string();
    options.png = (dir / "last.png").string();
    options.captures = {{1, (dir / "first.png").string()}, {9, (dir / "late.png").string()}};
    std::ostringstream out, err;
    ASSERT_EQ(kPlayed, fw::play::Run(options, out, err)) << err.str();
    for (const char* name : {"last.png", "first.png", "late.png"}) {
        std::ifstream in(dir / name, std::ios::binary);
        std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
        std::string problem;
        auto picture = fw::render::DecodePng(bytes, problem);
        ASSERT_TRUE(picture) << name << ": " << problem;
        EXPECT_EQ(31, picture->width) << name;
        EXPECT_EQ(17, picture->height) << name;
        EXPECT_EQ(std::vector<std::uint32_t>(31 * 17, 0xFF0AC81E), picture->pixels) << name;
    }
    options.captures = {{1, dir.string()}}; // a folder is no file to write
    std::ostringstream out2, err2;
    EXPECT_EQ(kNotPlayed, fw::play::Run(options, out2, err2));
    EXPECT_NE(std::string::npos, err2.str().find("cannot be written")) << err2.str();
    EXPECT_TRUE(std::filesystem::exists(dir / "last.png"));
    std::filesystem::remove_all(dir);
}

TEST(FwplayRun, MoviesLoadOnlyFilesInTheirFolderOrItsHostFolders) {
    auto dir = std::filesystem::temp_directory_path() /
               ("fwplay_load_" + std::to_string(std::random_device{}()));
    auto folder = dir / "movie";
    std::filesystem::create_directories(folder / "sub");
    { std::ofstream(folder / "data.txt", std::ios::binary) << "a=1"; }
    { std::ofstream(folder / "sub" / "x.xml", std::ios::binary) << "<x/>"; }
    { std::ofstream(dir / "outside.txt", std::ios::binary) << "secret"; }
    std::filesystem::create_directories(folder / "localhost");
    { std::ofstream(folder / "localhost" / "page.txt", std::ios::binary) << "web"; }
    const std::pair<std::string, std::optional<std::string>> cases[] = {
        {"data.txt", "a=1"},
        {"sub/x.xml?v=2#top", "<x/>"},
        {"../outside.txt", std::nullopt},
        {"sub/../../outside.txt", std::nullopt},
        {(dir / "outside.txt").string(), std::nullopt},
        {"http://example.org/data.txt", std::nullopt},
        {"http://localhost:8000/page.txt", "web"}, // the host's own folder serves the network
        {"https://localhost/page.txt?x=1", "web"},
        {"http://localhost:8000/../data.txt", std::nullopt},
        {"http://../outside.txt", std::nullopt},
        {"http://localhost", std::nullopt},
        {"C:/data.txt", std::nullopt},
        {"missing.txt", std::nullopt},
        {"sub", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& [url, expected] : cases) {
        auto got = ReadBesideMovie(folder.string(), url);
        EXPECT_EQ(expected, got) << "expected " << expected.value_or("nothing") << " for " << url
                                 << ", got " << got.value_or("nothing");
    }
    std::filesystem::remove_all(dir);
}

TEST(FwplayRun, AddressesTakenAgainstTheMoviesOwn) {
    const std::array<std::array<std::string_view, 3>, 7> cases{{
        {"file:///test.swf", "child.swf", "file:///child.swf"},
        {"http://host:8000/a/b.swf?x=1", "c/d.swf", "http://host:8000/a/c/d.swf"},
        {"http://host:8000/a/b.swf", "/top.swf", "http://host:8000/top.swf"},
        {"http://host", "d.swf", "http://host/d.swf"},
        {"file:///test.swf", "http://other/x.swf", "http://other/x.swf"},
        {"dir/test.swf", "x.swf", "dir/x.swf"},
        {"", "x.swf", "x.swf"},
    }};
    for (const auto& [base, url, expected] : cases) {
        EXPECT_EQ(expected, fw::swf::ResolveUrl(base, url)) << base << " + " << url;
    }
}

} // namespace
