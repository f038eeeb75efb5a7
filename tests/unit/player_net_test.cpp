#include "avm1/mp3_info.h"
#include "tools/scripted_net.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace {

using fw::avm1::Id3Frame;
using fw::avm1::ReadMp3Info;
using fw::avm1::SocketConnection;
using fw::play::ParsePeerScript;
using fw::play::PeerStep;
using fw::play::ScriptedNet;

// An MPEG-2 layer III frame at 22050 Hz and 64 kbit/s: 576 samples in 72 * 64000 / 22050 bytes.
constexpr int kFrameBytes = 208;
constexpr double kFrameMs = 576 * 1000.0 / 22050;

std::string Frames(int n) {
    std::string out;
    for (int i = 0; i < n; ++i) {
        std::string frame(kFrameBytes, '\x55');
        frame.replace(0, 4, "\xFF\xF3\x80\x44");
        out += frame;
    }
    return out;
}

std::string Be(std::uint32_t v, int bytes, int bitsPerByte) {
    std::string out;
    for (int i = bytes - 1; i >= 0; --i) {
        out += static_cast<char>((v >> (i * bitsPerByte)) & ((1u << bitsPerByte) - 1));
    }
    return out;
}

// A tag of the given version around frames already laid out for it.
std::string Tag(int version, const std::string& frames, char flags = 0) {
    return std::string("ID3") + static_cast<char>(version) + '\0' + flags +
           Be(static_cast<std::uint32_t>(frames.size()), 4, 7) + frames;
}

std::string Frame(int version, const std::string& id, const std::string& data) {
    auto size = static_cast<std::uint32_t>(data.size());
    if (version == 2) {
        return id + Be(size, 3, 8) + data;
    }
    return id + Be(size, 4, version == 4 ? 7 : 8) + std::string(2, '\0') + data;
}

TEST(Mp3Info, DurationCountsFramesPastJunkAndTags) {
    std::string v1(128, ' ');
    v1.replace(0, 3, "TAG");
    const struct {
        const char* what;
        std::string bytes;
        int frames;
    } cases[] = {
        {"bare", Frames(10), 10},
        {"after a tag", Tag(3, Frame(3, "TIT2", std::string("\0x", 2))) + Frames(7), 7},
        {"junk between", Frames(3) + "junk" + Frames(4), 7},
        {"old tag at the end", Frames(5) + v1, 5},
        {"no audio", "not an mp3 at all", 0},
    };
    for (const auto& c : cases) {
        auto info = ReadMp3Info(c.bytes);
        EXPECT_EQ(c.frames, info.frames) << c.what;
        EXPECT_NEAR(c.frames * kFrameMs, info.durationMs, 1e-9) << c.what;
    }
}

TEST(Mp3Info, FirstFrameAsACodecIsToldIt) {
    const std::string tag = Tag(3, Frame(3, "TIT2", std::string("\0x", 2)));
    std::string mono = Frames(2);
    mono[3] = '\xC4';
    const struct {
        const char* what;
        std::string bytes;
        std::size_t offset;
        int channels;
    } cases[] = {{"after a tag and junk", tag + "junk" + Frames(2), tag.size() + 4, 2},
                 {"mono", mono, 0, 1}};
    for (const auto& c : cases) {
        auto frame = fw::avm1::FirstMp3Frame(c.bytes);
        ASSERT_TRUE(frame) << c.what;
        EXPECT_EQ(frame->offset, c.offset) << c.what;
        EXPECT_EQ(frame->length, std::size_t{kFrameBytes}) << c.what;
        EXPECT_EQ(frame->layer, 3) << c.what;
        EXPECT_EQ(frame->rate, 22050) << c.what;
        EXPECT_EQ(frame->bitrate, 64000) << c.what;
        EXPECT_EQ(frame->channels, c.channels) << c.what;
    }
    EXPECT_FALSE(fw::avm1::FirstMp3Frame("not an mp3 at all"));
}

TEST(Mp3Info, TagTextsInEveryEncodingAndVersion) {
    const std::string latin("\x00"
                            "Caf\xE9",
                            5);
    const std::string utf16le = std::string("\x01\xFF\xFE"
                                            "A\0b\0",
                                            7);
    const std::string utf16be = std::string("\x02\0B\0c", 5);
    const std::string utf8 = std::string("\x03"
                                         "\xD0\xAF\0",
                                         4);
    const std::string comment = std::string("\x00"
                                            "eng"
                                            "desc\0"
                                            "said",
                                            13);
    // Unsynchronisation puts a zero after each 0xFF of the whole tag.
    std::string unsynced = Frame(3, "TCON",
                                 std::string("\x00\xFF"
                                             "x",
                                             3));
    unsynced.insert(unsynced.find('\xFF') + 1, 1, '\0');
    const struct {
        const char* what;
        std::string tag;
        std::vector<Id3Frame> expected;
    } cases[] = {
        {"2.3",
         Tag(3, Frame(3, "TPE1", latin) + Frame(3, "TALB", utf16le) + Frame(3, "COMM", comment) +
                    std::string(10, '\0')),
         {{"TPE1", "Caf\xC3\xA9", false}, {"TALB", "Ab", false}, {"COMM", "said", true}}},
        {"2.4 sizes",
         Tag(4, Frame(4, "TIT2", utf16be) + Frame(4, "TYER", utf8)),
         {{"TIT2", "Bc", false}, {"TYER", "\xD0\xAF", false}}},
        {"2.2 names",
         Tag(2, Frame(2, "TT2", latin) + Frame(2, "WXX", latin)),
         {{"TIT2", "Caf\xC3\xA9", false}}},
        {"unsynchronised", Tag(3, unsynced, '\x80'), {{"TCON", "\xC3\xBFx", false}}},
    };
    for (const auto& c : cases) {
        auto info = ReadMp3Info(c.tag + Frames(1));
        ASSERT_TRUE(info.tag) << c.what;
        ASSERT_EQ(c.expected.size(), info.tag->size()) << c.what;
        for (std::size_t i = 0; i < c.expected.size(); ++i) {
            EXPECT_EQ(c.expected[i].id, (*info.tag)[i].id) << c.what;
            EXPECT_EQ(c.expected[i].text, (*info.tag)[i].text) << c.what;
            EXPECT_EQ(c.expected[i].comment, (*info.tag)[i].comment) << c.what;
        }
        EXPECT_EQ(1, info.frames) << c.what;
    }
    EXPECT_FALSE(ReadMp3Info(Frames(2)).tag);
    // A size that overruns the file ends the frames, not the reading.
    auto cut = ReadMp3Info(Tag(3, Frame(3, "TIT2", latin)).substr(0, 18));
    ASSERT_TRUE(cut.tag);
    EXPECT_TRUE(cut.tag->empty());
}

TEST(PeerScript, ReadsStepsAndRefusesWhatIsNone) {
    std::string error;
    auto steps = ParsePeerScript(R"([{"type": "Receive", "expected": [104, 0]},
        {"type": "Send", "payload": [0, 255]}, {"type": "WaitForDisconnect"},
        {"type": "Disconnect"}])",
                                 error);
    ASSERT_TRUE(steps) << error;
    ASSERT_EQ(4u, steps->size());
    EXPECT_EQ(PeerStep::Kind::Receive, (*steps)[0].kind);
    EXPECT_EQ(std::string("h\0", 2), (*steps)[0].bytes);
    EXPECT_EQ(std::string("\0\xFF", 2), (*steps)[1].bytes);
    EXPECT_EQ(PeerStep::Kind::WaitForDisconnect, (*steps)[2].kind);
    for (const char* bad : {R"({"type": "Send"})", R"([{"type": "Shout"}])",
                            R"([{"type": "Send", "payload": [256]}])",
                            R"([{"type": "Receive", "expected": "hi"}])", "[{"}) {
        error.clear();
        EXPECT_FALSE(ParsePeerScript(bad, error)) << bad;
        EXPECT_FALSE(error.empty()) << bad;
    }
}

using Kind = SocketConnection::Event::Kind;

TEST(ScriptedPeer, PlaysItsPartInTurn) {
    std::string error;
    auto steps = ParsePeerScript(R"([{"type": "Receive", "expected": [104, 0]},
        {"type": "Send", "payload": [111, 107, 0]}, {"type": "WaitForDisconnect"},
        {"type": "Send", "payload": [33]}])",
                                 error);
    ASSERT_TRUE(steps) << error;
    std::ostringstream err;
    ScriptedNet net(err, ".", *steps);
    auto peer = net.Connect("localhost", 8001);
    ASSERT_TRUE(peer);
    auto e = peer->Poll();
    ASSERT_TRUE(e);
    EXPECT_EQ(Kind::Connected, e->kind);
    EXPECT_FALSE(peer->Poll()) << "the peer waits for the movie's data";
    peer->Send(std::string("h\0", 2));
    e = peer->Poll();
    ASSERT_TRUE(e);
    EXPECT_EQ(Kind::Data, e->kind);
    EXPECT_EQ(std::string("ok\0", 3), e->bytes);
    EXPECT_FALSE(peer->Poll()) << "the peer waits for the movie to hang up";
    peer->Close();
    e = peer->Poll();
    ASSERT_TRUE(e);
    EXPECT_EQ("!", e->bytes);
    EXPECT_TRUE(err.str().empty()) << err.str();

    // A movie that strays from the script is told of on the error stream, once.
    auto strayed = net.Connect("localhost", 8001);
    strayed->Poll();
    strayed->Send("other");
    EXPECT_FALSE(strayed->Poll());
    EXPECT_FALSE(strayed->Poll());
    EXPECT_NE(std::string::npos, err.str().find("other data")) << err.str();

    std::ostringstream quiet;
    EXPECT_FALSE(ScriptedNet(quiet, ".", std::nullopt).Connect("localhost", 1))
        << "without a script nothing answers";
}

} // namespace
