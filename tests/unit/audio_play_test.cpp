// Movies playing known tones, heard through the runner's sound output.

#include "audio/decode.h"
#include "swf/player.h"
#include "swf/writer.h"
#include "tools/runner.h"

#include "tone.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <sstream>

namespace {

using namespace fw::swf;
using fw::test::Heard;
using fw::test::Listen;
using fw::test::Sine;

constexpr auto kNewObject = static_cast<Op>(0x40);
constexpr auto kCallMethod = static_cast<Op>(0x52);

// A second of 441 Hz at 22 kHz, mono, in the coding asked for.
SoundDefinition Tone(std::uint8_t coding) {
    SoundDefinition s;
    s.id = 1;
    s.coding = coding;
    s.rateCode = 2;
    s.sampleCount = 22050;
    auto samples = Sine(441, 22050, 22050, 1);
    if (coding == 1) {
        s.data = fw::audio::EncodeAdpcm(samples, 1, 4);
    } else if (coding == 2) {
        std::ifstream in(FW_UNIT_DATA "/tone440.mp3", std::ios::binary);
        s.data.assign({0, 0});
        s.data.insert(s.data.end(), std::istreambuf_iterator<char>(in), {});
        s.sampleCount = 11025;
    } else {
        for (std::int16_t v : samples) {
            s.data.push_back(static_cast<std::uint8_t>(v & 0xff));
            s.data.push_back(static_cast<std::uint8_t>((v >> 8) & 0xff));
        }
    }
    return s;
}

struct Quiet : PlayerHost {
    void FsCommand(const std::string&, const std::string&) override {}
    void TraceOutput(const std::string&) override {}
    void Problem(const std::string&) override {}
};

// s = new Sound(_root), or new Sound() for every sound when global.
ActionWriter NewSound(bool global) {
    ActionWriter a;
    a.Push({"s"});
    if (!global) {
        a.Push({std::string("_root")}).Do(Op::GetVariable).Push({1});
    } else {
        a.Push({0});
    }
    a.Push({"Sound"}).Do(kNewObject).Do(Op::SetVariable);
    return a;
}

// s.method(args...), the arguments pushed last first.
ActionWriter& Call(ActionWriter& a, const std::string& method, std::vector<PushItem> args) {
    auto count = static_cast<std::int32_t>(args.size());
    std::reverse(args.begin(), args.end());
    args.insert(args.end(), {count, "s"});
    a.Push(args).Do(Op::GetVariable).Push({method}).Do(kCallMethod).Do(Op::Pop);
    return a;
}

ActionWriter SoundCall(bool global, const std::string& method, double arg) {
    ActionWriter a = NewSound(global);
    return Call(a, method, {arg});
}

std::vector<std::int16_t> Play(const std::vector<std::uint8_t>& movie, std::uint32_t frames) {
    std::ostringstream out, err;
    std::vector<std::int16_t> sound;
    EXPECT_EQ(fw::play::PlayMovie(movie, frames, out, err, {}, {}, {}, {}, {}, {}, &sound), 0);
    EXPECT_EQ(sound.size(), 2u * 44100 * frames / 12);
    return sound;
}

std::vector<std::uint8_t> Movie(const SoundDefinition& sound, const SoundStart& start,
                                std::optional<ActionWriter> script = {}) {
    MovieWriter w;
    w.DefineSound(sound);
    if (script) {
        w.Actions(*script);
    }
    w.StartSound(start).ShowFrame();
    return w.Finish();
}

TEST(AudioPlay, EventSoundsOfEveryCodingPlayTheirTone) {
    const std::pair<std::uint8_t, double> cases[] = {{3, 1.0}, {0, 1.0}, {1, 1.0}, {2, 0.5}};
    for (auto [coding, seconds] : cases) {
        SoundStart start;
        start.id = 1;
        auto sound = Play(Movie(Tone(coding), start), 24);
        for (int channel : {0, 1}) {
            Heard h = Listen(sound, 2, channel, 44100);
            EXPECT_NEAR(h.hz, coding == 2 ? 440 : 441, 5) << "coding " << int(coding);
            EXPECT_NEAR(h.seconds, seconds, coding == 2 ? 0.06 : 0.01) << "coding " << int(coding);
            EXPECT_NEAR(h.peak, 16000, coding == 3 ? 50 : 1500) << "coding " << int(coding);
        }
    }
}

TEST(AudioPlay, StartSoundLoopsStopsAndNamesByClass) {
    SoundStart looped;
    looped.id = 1;
    looped.info.loops = 3;
    EXPECT_NEAR(Listen(Play(Movie(Tone(3), looped), 48), 2, 0, 44100).seconds, 3, 0.01);

    // The second frame's start stops it; a second start of a sound playing with no-multiple
    // does nothing, a start by class name plays it.
    SoundStart stop{1, {}, {}}, once{1, {}, {}}, byName{0, "tone", {}};
    stop.info.stop = true;
    once.info.noMultiple = true;
    MovieWriter w;
    w.DefineSound(Tone(3)).Export(1, "tone").StartSound(byName).StartSound(once).ShowFrame();
    w.StartSound(stop).ShowFrame().ShowFrame().Actions(ActionWriter().Do(Op::Stop)).ShowFrame();
    EXPECT_NEAR(Listen(Play(w.Finish(), 12), 2, 0, 44100).seconds, 1.0 / 12, 0.002);
}

TEST(AudioPlay, SoundObjectVolumeAndPan) {
    SoundStart start;
    start.id = 1;
    for (bool global : {true, false}) {
        auto half = Play(Movie(Tone(3), start, SoundCall(global, "setVolume", 50)), 12);
        EXPECT_NEAR(Listen(half, 2, 0, 44100).peak, 8000, 50) << "global " << global;
        EXPECT_NEAR(Listen(half, 2, 1, 44100).peak, 8000, 50) << "global " << global;
        auto left = Play(Movie(Tone(3), start, SoundCall(global, "setPan", -100)), 12);
        EXPECT_NEAR(Listen(left, 2, 0, 44100).peak, 16000, 50) << "global " << global;
        EXPECT_EQ(Listen(left, 2, 1, 44100).peak, 0) << "global " << global;
    }
}

TEST(AudioPlay, AttachedSoundStartsAndANewMovieIsSilent) {
    MovieWriter w;
    w.DefineSound(Tone(3)).Export(1, "tone");
    ActionWriter a = NewSound(true);
    Call(Call(a, "attachSound", {"tone"}), "start", {0.5, 2});
    w.Actions(a).ShowFrame();
    auto movie = w.Finish();
    Heard h = Listen(Play(movie, 24), 2, 0, 44100);
    EXPECT_NEAR(h.seconds, 1.0, 0.01) << "half a second, twice";
    EXPECT_NEAR(h.hz, 441, 5);

    Quiet host;
    Player player(host);
    player.Load(ParseMovie(movie));
    player.Tick();
    player.Load(ParseMovie(MovieWriter().ShowFrame().Finish()));
    player.Tick();
    std::vector<std::int16_t> after(2 * 4410, 1);
    player.MixSound(after.data(), 4410);
    EXPECT_EQ(Listen(after, 2, 0, 44100).peak, 0);
}

// A 441 Hz tone at 22 kHz streamed by a timeline over its first `frames` frames, each frame's
// share of it in the coding asked for.
MovieWriter& Stream(MovieWriter& w, std::uint8_t coding, int frames) {
    StreamHead head;
    head.coding = coding;
    head.rateCode = 2;
    head.samplesPerFrame = 1837;
    w.SoundStream(head);
    auto tone = Sine(441, 22050, 22050 * static_cast<std::size_t>(frames) / 12, 1);
    for (int f = 0; f < frames; ++f) {
        std::span<const std::int16_t> share(tone.begin() + 22050 * f / 12,
                                            tone.begin() + 22050 * (f + 1) / 12);
        std::vector<std::uint8_t> block;
        if (coding == 1) {
            block = fw::audio::EncodeAdpcm(share, 1, 4);
        } else {
            for (std::int16_t v : share) {
                block.push_back(static_cast<std::uint8_t>(v & 0xff));
                block.push_back(static_cast<std::uint8_t>((v >> 8) & 0xff));
            }
        }
        w.StreamBlock(block).ShowFrame();
    }
    return w;
}

TEST(AudioPlay, StreamsPlayInStepWithTheirTimeline) {
    for (std::uint8_t coding : {0, 1, 3}) {
        // The main timeline streams a second of tone, then stops a frame later.
        MovieWriter main;
        Stream(main, coding, 12).Actions(ActionWriter().Do(Op::Stop)).ShowFrame();
        Heard h = Listen(Play(main.Finish(), 24), 2, 0, 44100);
        EXPECT_NEAR(h.hz, 441, 5) << "coding " << int(coding);
        EXPECT_NEAR(h.seconds, 1.0, 0.01) << "coding " << int(coding);
        EXPECT_NEAR(h.peak, 16000, coding == 1 ? 1500 : 50) << "coding " << int(coding);
    }
    // A clip's stream goes with the clip: removed after half a second, it is silent.
    MovieWriter clip, w;
    Stream(clip, 3, 12);
    w.DefineSprite(2, clip);
    Placement p;
    p.depth = 1;
    p.character = 2;
    w.Place(p);
    for (int f = 0; f < 6; ++f) {
        w.ShowFrame();
    }
    w.Remove(1).Actions(ActionWriter().Do(Op::Stop)).ShowFrame();
    EXPECT_NEAR(Listen(Play(w.Finish(), 24), 2, 0, 44100).seconds, 0.5, 0.01);
}

// The 440 Hz MP3 tone (MPEG-2 layer III frames of 576 samples at 22 kHz) streamed over the
// frames its samples fall in, each block opening with its count of samples and no seek.
TEST(AudioPlay, AnMp3StreamPlaysWithoutGapsBetweenItsBlocks) {
    std::ifstream in(FW_UNIT_DATA "/tone440.mp3", std::ios::binary);
    std::vector<std::uint8_t> file(std::istreambuf_iterator<char>(in), {});
    constexpr int kKbps[] = {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160};
    constexpr int kRate[] = {22050, 24000, 16000};
    std::vector<std::vector<std::uint8_t>> blocks;
    for (std::size_t at = 0, k = 0; at + 4 <= file.size(); ++k) {
        std::uint8_t b = file[at + 2];
        std::size_t length = 72000u * kKbps[b >> 4] / kRate[(b >> 2) & 3] + ((b >> 1) & 1);
        std::size_t frame = k * 576 * 12 / 22050;
        if (blocks.size() <= frame) {
            blocks.resize(frame + 1, {0, 0, 0, 0});
        }
        auto& block = blocks[frame];
        std::uint16_t count = static_cast<std::uint16_t>((block[0] | block[1] << 8) + 576);
        block[0] = static_cast<std::uint8_t>(count & 0xff);
        block[1] = static_cast<std::uint8_t>(count >> 8);
        length = std::min(length, file.size() - at);
        block.insert(block.end(), file.begin() + static_cast<long>(at),
                     file.begin() + static_cast<long>(at + length));
        at += length;
    }
    MovieWriter w;
    w.SoundStream(StreamHead{2, 2, true, false, 1837});
    for (const auto& block : blocks) {
        w.StreamBlock(block).ShowFrame();
    }
    w.Actions(ActionWriter().Do(Op::Stop)).ShowFrame();
    Heard h = Listen(Play(w.Finish(), 12), 2, 0, 44100);
    EXPECT_NEAR(h.hz, 440, 5);
    EXPECT_NEAR(h.seconds, 0.5, 0.08);
}

TEST(AudioPlay, ButtonSoundsPlayOnTheirTransitions) {
    MovieWriter w;
    w.DefineSound(Tone(3));
    ShapeBuilder square(1, 32);
    square.Style(0, square.Fill({0, 0, 0, 255}), 0).Rect(0, 0, 1000, 1000);
    w.DefineShape(square.Build());
    Button button;
    button.id = 2;
    button.records = {ButtonRecord{kStateUp | kStateOver | kStateDown | kStateHit, 1, 1, Matrix{},
                                   ColorTransform{}}};
    button.sounds[2].sound = 1; // over to down: pressed
    w.DefineButton2(button);
    Placement p;
    p.depth = 1;
    p.character = 2;
    w.Place(p).ShowFrame();

    Quiet host;
    Player player(host);
    player.Load(ParseMovie(w.Finish()));
    player.Tick();
    std::vector<std::int16_t> heard(2 * 22050);
    player.MouseMove({500, 500}, true);
    player.MixSound(heard.data(), 22050);
    EXPECT_EQ(Listen(heard, 2, 0, 44100).peak, 0) << "hovering plays nothing";
    player.MouseDown();
    player.MixSound(heard.data(), 22050);
    Heard h = Listen(heard, 2, 0, 44100);
    EXPECT_NEAR(h.hz, 441, 5);
    EXPECT_NEAR(h.seconds, 0.5, 0.01);
}

// A loaded movie's sounds go when it leaves the stage, though no script stops them; those of
// the movie that loaded it play on.
TEST(AudioPlay, AMovieUnloadedTakesItsSoundsAlong) {
    struct Files : Quiet {
        std::optional<std::string> ReadFile(std::string_view url) override {
            return url == "child.swf" ? std::optional<std::string>(child) : std::nullopt;
        }
        std::string child;
    } host;
    SoundStart looped;
    looped.id = 1;
    looped.info.loops = 100;
    auto child = Movie(Tone(3), looped);
    host.child.assign(child.begin(), child.end());

    SoundDefinition quiet = Tone(3);
    quiet.id = 2;
    for (std::size_t i = 0; i + 1 < quiet.data.size(); i += 2) {
        auto v = static_cast<std::int16_t>(quiet.data[i] | quiet.data[i + 1] << 8) / 4;
        quiet.data[i] = static_cast<std::uint8_t>(v & 0xff);
        quiet.data[i + 1] = static_cast<std::uint8_t>((v >> 8) & 0xff);
    }
    MovieWriter w;
    SoundStart own{2, {}, {}};
    own.info.loops = 100;
    ActionWriter make;
    make.Push({1, "c", 2, "this"}).Do(Op::GetVariable).Push({"createEmptyMovieClip"});
    make.Do(kCallMethod).Do(Op::Pop).Push({"child.swf", "c"}).GetUrl2(0x40); // loadMovie
    w.DefineSound(quiet).StartSound(own).Actions(make).ShowFrame().ShowFrame();
    w.Actions(ActionWriter().Push({"c"}).Do(static_cast<Op>(0x25)).Do(Op::Stop)).ShowFrame();

    Player player(host);
    player.Load(ParseMovie(w.Finish()));
    std::vector<std::int16_t> heard(2 * 4410);
    int peaks[3] = {};
    for (int& peak : peaks) {
        player.Tick();
        player.MixSound(heard.data(), 4410);
        peak = Listen(heard, 2, 0, 44100).peak;
    }
    EXPECT_GT(peaks[1], 16000 - 4000) << "expected the loaded movie's tone";
    EXPECT_NEAR(peaks[2], 4000, 50) << "expected the loaded movie's tone gone with it";
}

// _soundbuftime is the whole player's: set through one clip, every clip reads it; what is no
// number leaves it.
TEST(AudioPlay, SoundBufferTimeIsOneSettingForEveryClip) {
    auto bufTime = [](const std::string& clip) {
        return ActionWriter().Push({clip, 18}).Do(Op::GetProperty).Do(Op::Trace);
    };
    auto setBufTime = [](const std::string& clip, PushItem value) {
        return ActionWriter().Push({clip, 18, value}).Do(Op::SetProperty);
    };
    MovieWriter w;
    w.DefineSprite(1, MovieWriter().ShowFrame());
    Placement p;
    p.depth = 1;
    p.character = 1;
    p.name = "c";
    w.Place(p).Actions(bufTime("")).Actions(setBufTime("c", 10));
    w.Actions(bufTime("")).Actions(setBufTime("", "x")).Actions(bufTime("c")).ShowFrame();
    std::ostringstream out, err;
    EXPECT_EQ(fw::play::PlayMovie(w.Finish(), 1, out, err, {}, {}, {}, {}, {}, {}, nullptr), 0);
    EXPECT_EQ(out.str(), "5\n10\n10\n") << err.str();
}

} // namespace
