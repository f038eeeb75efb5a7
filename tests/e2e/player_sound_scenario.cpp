// wine-shares: sound
// The movie heard: a tone the movie plays reaches the sound server's null sink through the
// control hosted in the shell, at its own pitch, and the movie's "setvolume" 10 makes it half
// as loud as "setvolume" 20, so a game's volume buttons are heard to work. An MP3 tone goes
// through the system's codec the same way, and a movie that replaces it falls silent at once
// and lets the device go.
#include "sound_window.h"
#include "swf/writer.h"
#include "tone.h"

#include <mmsystem.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>

using namespace fwtest;

namespace {

constexpr double kHz = 440;
constexpr int kAmplitude = 12000;

// One second of tone, looped for minutes, started on the only frame of a movie that stops there
// (so the frame timer rests while the sound plays on).
std::vector<std::uint8_t> ToneMovie() {
    using namespace fw::swf;
    MovieWriter w(MovieOptions{6, 800, 600, 12, false});
    const auto samples = fw::test::Sine(kHz, 44100, 44100, 1, kAmplitude);
    SoundDefinition sound;
    sound.id = 1;
    sound.coding = static_cast<std::uint8_t>(SoundCoding::PcmLittle);
    sound.rateCode = 3;
    sound.sixteenBit = true;
    sound.sampleCount = static_cast<std::uint32_t>(samples.size());
    for (std::int16_t s : samples) {
        sound.data.push_back(static_cast<std::uint8_t>(s & 0xFF));
        sound.data.push_back(static_cast<std::uint8_t>((s >> 8) & 0xFF));
    }
    w.DefineSound(sound);
    SoundStart start;
    start.id = 1;
    start.info.loops = 600;
    w.StartSound(start);
    w.Actions(ActionWriter().Do(Op::Stop)).ShowFrame();
    return w.Finish();
}

// A movie that loops its MP3 tone (half a second of 440 Hz at 22 kHz) for minutes and, from
// its second frame on, loads "QuietN.swf" over itself, N the volume it was told last: only the
// file written for volume 10 is there.
std::vector<std::uint8_t> Mp3Movie() {
    using namespace fw::swf;
    std::ifstream in(L"Z:" FW_UNIT_DATA_W L"/tone440.mp3", std::ios::binary);
    SoundDefinition sound;
    sound.id = 1;
    sound.coding = static_cast<std::uint8_t>(SoundCoding::Mp3);
    sound.rateCode = 2;
    sound.sixteenBit = true;
    sound.sampleCount = 11025;
    sound.data.assign({0, 0}); // no samples to skip
    sound.data.insert(sound.data.end(), std::istreambuf_iterator<char>(in), {});
    MovieWriter w(MovieOptions{6, 800, 600, 12, false});
    w.DefineSound(sound);
    SoundStart start;
    start.id = 1;
    start.info.loops = 600;
    w.StartSound(start).ShowFrame();
    ActionWriter load;
    load.Push({"Quiet", "currentvolume"}).Do(Op::GetVariable).Do(Op::StringAdd);
    load.Push({".swf"}).Do(Op::StringAdd).Push({"_level0"}).GetUrl2();
    w.Actions(load).ShowFrame();
    w.Actions(ActionWriter().GotoFrame(1).Do(Op::Play)).ShowFrame();
    return w.Finish();
}

// What the null sink plays for a while, recorded on the host: 16-bit stereo at 44.1 kHz.
std::vector<std::int16_t> Record(const std::string& name) {
    const std::string file = "\"$WINEPREFIX/drive_c/" + name + ".raw\"";
    const auto r = Host("timeout 3 parec --device=null.monitor --format=s16le --rate=44100 "
                        "--channels=2 --raw --latency-msec=50 >" +
                        file + "; test -s " + file);
    EXPECT_EQ(r.status, 0) << "expected a recording: " << r.output;
    std::ifstream in((L"C:\\" + std::wstring(name.begin(), name.end()) + L".raw").c_str(),
                     std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), {});
    std::vector<std::int16_t> samples(bytes.size() / 2);
    std::memcpy(samples.data(), bytes.data(), samples.size() * 2);
    // The first moments may still hold what played before the volume changed.
    const std::size_t settle = std::min<std::size_t>(samples.size(), 2 * 44100 / 5);
    samples.erase(samples.begin(), samples.begin() + static_cast<long>(settle));
    return samples;
}

// The pitch of one channel from the median time between rising crossings, so a moment a loaded
// machine drops does not bend it; gaps counts the periods it stretched.
double PitchOf(const std::vector<std::int16_t>& samples, int channel, int* gaps) {
    std::vector<std::size_t> periods;
    bool low = false;
    std::size_t last = 0;
    for (std::size_t i = static_cast<std::size_t>(channel); i < samples.size(); i += 2) {
        low = low || samples[i] < -200;
        if (low && samples[i] > 200) {
            low = false;
            if (last != 0) {
                periods.push_back(i / 2 - last);
            }
            last = i / 2;
        }
    }
    if (periods.empty()) {
        return 0;
    }
    std::vector<std::size_t> sorted = periods;
    std::nth_element(sorted.begin(), sorted.begin() + sorted.size() / 2, sorted.end());
    const std::size_t median = sorted[sorted.size() / 2];
    *gaps = static_cast<int>(std::count_if(periods.begin(), periods.end(),
                                           [&](std::size_t p) { return p > median * 3 / 2; }));
    return 44100.0 / static_cast<double>(median);
}

class PlayerSound : public ::testing::Test {
protected:
    virtual std::vector<std::uint8_t> Movie() { return ToneMovie(); }

    void SetUp() override {
        if (!HostAvailable()) {
            GTEST_SKIP() << "no host bridge to record the sound server";
        }
        ASSERT_GT(::waveOutGetNumDevs(), 0u) << "expected a wave device from the sound server";
        ASSERT_NO_FATAL_FAILURE(StartWithMovie(L"SoundTest", Movie(), shell_));
        trace_ = shell_->Trace();
    }

    void TearDown() override {
        if (shell_) {
            shell_->Kill();
        }
    }

    // The movie's "setvolume", then the level the shell tells it back, once it stands.
    void SetVolume(int level) {
        ASSERT_TRUE(shell_->Send(L"setvolume", std::to_wstring(level)));
        const auto told = [&] {
            const auto lines =
                TraceMatching(trace_, {L"call", L"SetVariable", L"_root.currentvolume"});
            return !lines.empty() && lines.back().size() > 3 &&
                   lines.back()[3] == std::to_wstring(level);
        };
        ASSERT_TRUE(WaitFor(told, 10s)) << "expected the movie told volume " << level;
        ::Sleep(300); // what the device holds at the old volume plays out
    }

    std::unique_ptr<ProgmanServer> progman_ = std::make_unique<ProgmanServer>();
    std::unique_ptr<Shell> shell_;
    std::wstring trace_;
};

// A recording of the movie's tone: long enough, and at its pitch on the left.
std::vector<std::int16_t> RecordTone(const std::string& name, int* gaps) {
    auto heard = Record(name);
    EXPECT_GT(heard.size(), 2u * 44100 / 2) << "expected half a second recorded at least";
    EXPECT_NEAR(PitchOf(heard, 0, gaps), kHz, 5) << "expected the movie's tone on the left";
    return heard;
}

class PlayerMp3Sound : public PlayerSound {
protected:
    std::vector<std::uint8_t> Movie() override { return Mp3Movie(); }
};

} // namespace

TEST_F(PlayerSound, TheMoviesToneIsHeardAndItsVolumeHalvesIt) {
    ASSERT_NO_FATAL_FAILURE(SetVolume(20));
    int gaps = 0;
    const auto loud = RecordTone("fw_tone20", &gaps);
    EXPECT_NEAR(PitchOf(loud, 1, &gaps), kHz, 5) << "expected the movie's tone on the right";
    const int full = fw::test::Listen(loud, 2, 0, 44100).peak;
    EXPECT_NEAR(full, kAmplitude, kAmplitude / 10) << "expected the tone at full volume";

    ASSERT_NO_FATAL_FAILURE(SetVolume(10));
    const auto quiet = RecordTone("fw_tone10", &gaps);
    const int half = fw::test::Listen(quiet, 2, 0, 44100).peak;
    ASSERT_GT(full, 0);
    EXPECT_NEAR(static_cast<double>(half) / full, 0.5, 0.05)
        << "peaks " << half << " at 10 and " << full << " at 20";
    std::printf("peak %d at volume 20, %d at 10; %d gaps heard\n", full, half, gaps);
}

TEST_F(PlayerMp3Sound, TheMp3IsHeardAndTheMovieReplacingItFallsSilentAndLetsTheDeviceGo) {
    ASSERT_NO_FATAL_FAILURE(SetVolume(20));
    int gaps = 0;
    const auto heard = RecordTone("fw_mp3", &gaps);
    EXPECT_NEAR(fw::test::Listen(heard, 2, 0, 44100).peak, 16000, 2000) << "expected it decoded";

    using namespace fw::swf;
    MovieWriter quiet(MovieOptions{6, 800, 600, 12, false});
    quiet.Actions(ActionWriter().Push({"quiet"}).Do(Op::Trace).Do(Op::Stop)).ShowFrame();
    const auto bytes = quiet.Finish();
    std::ofstream(L"C:\\SoundTest\\SWF\\Quiet10.swf", std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<long>(bytes.size()));
    ASSERT_TRUE(shell_->Send(L"setvolume", L"10"));
    ASSERT_TRUE(WaitTrace(trace_, {L"trace", L"quiet"}, 10s)) << "expected the movie replaced";
    const auto after = Record("fw_quiet");
    EXPECT_LT(fw::test::Listen(after, 2, 0, 44100).peak, 300) << "expected the old tone gone";
    // Nothing sounds, so the control closes the device and the server's stream goes with it.
    const auto streams = [] {
        const auto r = Host("pactl list short sink-inputs | wc -l");
        return r.status == 0 && r.output.rfind("0\n", 0) == 0;
    };
    EXPECT_TRUE(WaitFor(streams, 5s)) << "expected no stream left playing";
}
