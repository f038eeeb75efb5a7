#include "swf/movie.h"
#include "swf/writer.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

using namespace fw::swf;
using Bytes = std::vector<std::uint8_t>;

// Recompresses an uncompressed movie with the reference zlib, as authoring tools do.
Bytes ToCws(const Bytes& fws, int level = 9) {
    Bytes body(fws.begin() + 8, fws.end());
    uLongf size = compressBound(static_cast<uLong>(body.size()));
    Bytes z(size);
    EXPECT_EQ(compress2(z.data(), &size, body.data(), static_cast<uLong>(body.size()), level),
              Z_OK);
    z.resize(size);
    Bytes out(fws.begin(), fws.begin() + 8);
    out[0] = 'C';
    out.insert(out.end(), z.begin(), z.end());
    return out;
}

Bytes ThreeFrameMovie(MovieOptions options) {
    MovieWriter w(options);
    w.Background(Rgb{0x10, 0x20, 0x30});
    w.InitActions(7, ActionWriter().Push({std::string("init"), 1.0}).Do(Op::SetVariable));
    w.Label("start");
    w.Actions(ActionWriter().Do(Op::Stop));
    w.ShowFrame();
    std::uint8_t shapeBody[80] = {1, 2, 3};
    w.Tag(2, shapeBody);                 // a shape: not ours, skipped by its length
    w.Tag(26, shapeBody, /*long*/ true); // placement in the long tag form
    w.Label("middle").Label("alias");
    w.ShowFrame();
    w.Actions(ActionWriter().Do(Op::Play));
    w.Actions(ActionWriter().Do(Op::Stop));
    w.ShowFrame();
    return w.Finish();
}

void ExpectThreeFrames(const Movie& m, std::uint8_t version, const std::string& encoding) {
    SCOPED_TRACE(encoding);
    ASSERT_TRUE(m.valid);
    EXPECT_TRUE(m.problems.empty()) << m.problems.front();
    EXPECT_EQ(m.version, version);
    EXPECT_EQ(m.frameSize, (TwipsRect{0, 640 * 20, 0, 480 * 20}));
    EXPECT_DOUBLE_EQ(m.frameRate, 24.5);
    EXPECT_EQ(m.declaredFrameCount, 3);
    ASSERT_EQ(m.frames.size(), 3u);
    EXPECT_TRUE(m.hasBackground);
    EXPECT_EQ(m.background, (Rgb{0x10, 0x20, 0x30}));
    EXPECT_EQ(m.frames[0].initActions.size(), 1u);
    EXPECT_EQ(m.frames[0].actions, (std::vector<ActionBlock>{{0x07, 0x00}}));
    EXPECT_EQ(m.frames[0].labels, std::vector<std::string>{"start"});
    EXPECT_TRUE(m.frames[1].actions.empty());
    EXPECT_EQ(m.frames[1].labels, (std::vector<std::string>{"middle", "alias"}));
    EXPECT_EQ(m.frames[2].actions, (std::vector<ActionBlock>{{0x06, 0x00}, {0x07, 0x00}}));
    EXPECT_EQ(m.FindLabel("START"), 0);
    EXPECT_EQ(m.FindLabel("alias"), 1);
    EXPECT_EQ(m.FindLabel("nowhere"), -1);
}

TEST(ParseMovie, ReadsEveryTagKindInBothEncodingsAndAllVersions) {
    for (std::uint8_t version = 4; version <= 10; ++version) {
        MovieOptions o{version, 640, 480, 24.5, false};
        Bytes fws = ThreeFrameMovie(o);
        ExpectThreeFrames(ParseMovie(fws), version, "uncompressed");
        ExpectThreeFrames(ParseMovie(ToCws(fws, 9)), version, "zlib level 9");
        ExpectThreeFrames(ParseMovie(ToCws(fws, 0)), version, "zlib stored");
        o.compressed = true;
        Bytes own = ThreeFrameMovie(o);
        EXPECT_EQ(own[0], 'C');
        ExpectThreeFrames(ParseMovie(own), version, "writer's own compression");
    }
}

TEST(ParseMovie, KeepsActionsAfterTheLastShownFrame) {
    MovieWriter w;
    w.ShowFrame();
    w.Actions(ActionWriter().Do(Op::Stop));
    Movie m = ParseMovie(w.Finish());
    ASSERT_EQ(m.frames.size(), 2u);
    EXPECT_EQ(m.frames[1].actions.size(), 1u);
}

TEST(ParseMovie, AnEmptyMovieStillHasOneFrame) {
    Movie m = ParseMovie(MovieWriter().Finish());
    EXPECT_TRUE(m.valid);
    EXPECT_FALSE(m.hasBackground);
    EXPECT_EQ(m.frames.size(), 1u);
}

TEST(ParseMovie, ShowsWhatIsNotAMovieAsAnEmptyOne) {
    struct Case {
        const char* what;
        std::string bytes;
        const char* problem;
    };
    const Case cases[] = {
        {"empty file", "", "not a movie file"},
        {"text file", "Hello, this is not a movie at all", "not a movie file"},
        {"signature only", "FWS", "not a movie file"},
        {"lzma movie", std::string("ZWS\x0d\x10\x00\x00\x00", 8) + "xxxxxxxx",
         "LZMA-compressed movies are not supported"},
        {"header without body", std::string("FWS\x06\x08\x00\x00\x00", 8), "header cut short"},
        {"compressed with garbage", std::string("CWS\x06\x40\x00\x00\x00", 8) + "garbage!",
         "compressed body: not a zlib stream"},
        {"compressed, declared length below the header",
         std::string("CWS\x06\x04\x00\x00\x00", 8) + "xx", "declared length too small"},
    };
    for (const auto& c : cases) {
        Movie m = ParseMovie(
            std::span(reinterpret_cast<const std::uint8_t*>(c.bytes.data()), c.bytes.size()));
        EXPECT_FALSE(m.valid) << c.what;
        EXPECT_EQ(m.frames.size(), 1u) << c.what;
        ASSERT_FALSE(m.problems.empty()) << c.what;
        EXPECT_EQ(m.problems.front(), c.problem) << c.what;
    }
}

TEST(ParseMovie, NotesDamageAndKeepsWhatCameBeforeIt) {
    MovieWriter w;
    w.Background(Rgb{1, 2, 3});
    w.Actions(ActionWriter().Do(Op::Stop));
    w.ShowFrame();
    Bytes good = w.Finish();

    struct Case {
        const char* what;
        Bytes bytes;
        const char* problem;
    };
    Bytes overlong = good;
    overlong.resize(overlong.size() - 2); // drop End
    // A tag announcing 0x3e bytes where only a few follow.
    overlong.push_back(0x3e);
    overlong.push_back(0x03);
    overlong.push_back(0x00);
    Bytes noEnd = good;
    noEnd.resize(noEnd.size() - 2);
    Bytes wrongLength = good;
    wrongLength[4] = static_cast<std::uint8_t>(wrongLength[4] + 5);
    Bytes zeroRate = good;
    // The rectangle of 800 x 600 takes 5 + 4 * 15 bits, 9 bytes; the rate follows.
    zeroRate[8 + 9] = 0;
    zeroRate[8 + 10] = 0;
    Bytes cutCws = ToCws(good);
    cutCws.resize(cutCws.size() - 6);
    const Case cases[] = {
        {"tag longer than the file", overlong, "tag 12 runs past the end of the file"},
        {"no end tag", noEnd, "no end tag"},
        {"declared length differs", wrongLength, nullptr},
        {"frame rate zero", zeroRate, "frame rate 0, played at 12"},
        {"compressed body cut short", cutCws, nullptr},
    };
    for (const auto& c : cases) {
        Movie m = ParseMovie(c.bytes);
        EXPECT_TRUE(m.valid) << c.what;
        ASSERT_FALSE(m.problems.empty()) << c.what;
        if (c.problem) {
            EXPECT_NE(std::find(m.problems.begin(), m.problems.end(), c.problem), m.problems.end())
                << c.what << ": first problem " << m.problems.front();
        }
        EXPECT_EQ(m.background, (Rgb{1, 2, 3})) << c.what;
        EXPECT_GE(m.frames.size(), 1u) << c.what;
    }
}

TEST(ParseMovie, EveryTruncationIsReadWithoutFault) {
    Bytes fws = ThreeFrameMovie(MovieOptions{6, 640, 480, 24.5, false});
    Bytes cws = ToCws(fws);
    for (const Bytes* file : {&fws, &cws}) {
        for (std::size_t cut = 0; cut < file->size(); ++cut) {
            Movie m = ParseMovie(std::span(file->data(), cut));
            EXPECT_FALSE(m.problems.empty()) << "cut at " << cut;
            EXPECT_GE(m.frames.size(), 1u);
            EXPECT_LE(m.frames.size(), 3u);
        }
    }
}

TEST(ParseMovie, CapsTheDecodedSizeAtTheDeclaredLength) {
    MovieWriter w;
    std::vector<std::uint8_t> big(5000, 0);
    w.Tag(2, big);
    w.ShowFrame();
    Bytes cws = ToCws(w.Finish());
    cws[4] = 100; // claims 100 bytes in all
    cws[5] = 0;
    Movie m = ParseMovie(cws);
    ASSERT_FALSE(m.problems.empty());
    EXPECT_EQ(m.problems.front(), "compressed body: output larger than announced");
}

} // namespace
