// wine-shares: sound
// The control's sound out on the system's wave device: opened when a sound starts, fed while it
// sounds, drained and closed after the silence, closed at once when told; with no device the
// sounds still run their course at the clock's pace, unheard. And MP3 through the system's codec.

#include "audio/decode.h"
#include "ocx/acm_mp3.h"
#include "ocx/wave_out.h"
#include "tone.h"
#include "win/strings.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <fstream>
#include <functional>
#include <iterator>

namespace {

using namespace fw::player;
using Clock = std::chrono::steady_clock;

// A tone of a given length; a test may lengthen it while it plays, as a movie starts sounds.
class Tone : public WaveSource {
public:
    explicit Tone(std::size_t frames) : length(frames) {}
    void Fill(std::int16_t* out, std::size_t frames) override {
        for (std::size_t i = 0; i < frames; ++i, ++pulled) {
            const double v = pulled < length ? 8000 * std::sin(pulled * 0.0627) : 0;
            out[2 * i] = out[2 * i + 1] = static_cast<std::int16_t>(v);
        }
    }
    bool Sounding() override { return pulled < length; }
    std::size_t length;
    std::size_t pulled = 0;
};

// Runs this thread's messages (the device's notices come through them) until done says so.
bool Pump(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    const auto until = Clock::now() + timeout;
    while (!done()) {
        if (Clock::now() > until) {
            return false;
        }
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::DispatchMessageW(&msg);
        }
        ::Sleep(5);
    }
    return true;
}

double Seconds(std::size_t frames) {
    return static_cast<double>(frames) / kWaveRate;
}

#define SKIP_WITHOUT_DEVICE()                                                                      \
    if (::waveOutGetNumDevs() == 0) {                                                              \
        GTEST_SKIP() << "no wave device (no sound server)";                                        \
    }

TEST(PlayerSoundOut, PlaysAtTheDevicePaceThenDrainsAndLetsTheDeviceGo) {
    SKIP_WITHOUT_DEVICE();
    Tone tone(kWaveRate / 2);
    WaveOut out(tone, {WAVE_MAPPER, 300});
    out.Wake();
    ASSERT_TRUE(out.DevicePlaying()) << "expected the device opened for a sound";
    EXPECT_EQ(tone.pulled, WaveOut::kBuffers * WaveOut::kBufferFrames)
        << "expected only the first buffers filled ahead";
    const auto start = Clock::now();
    ASSERT_TRUE(Pump([&] { return !out.DevicePlaying(); }, std::chrono::seconds(10)))
        << "expected the device let go after the silence; pulled " << Seconds(tone.pulled) << " s";
    const double took = std::chrono::duration<double>(Clock::now() - start).count();
    // The half second of tone and the 0.3 s of silence after it (to the last buffer but one)
    // went out at the device's pace.
    EXPECT_GE(Seconds(tone.pulled), 0.8 - Seconds(WaveOut::kBufferFrames) - 0.001);
    EXPECT_LE(Seconds(tone.pulled), 0.8 + Seconds(WaveOut::kBuffers * WaveOut::kBufferFrames));
    EXPECT_GT(took, 0.4) << "expected the tone played, not swallowed at once";
}

TEST(PlayerSoundOut, ASoundDuringTheDrainPlaysOnAndCloseStopsAtOnce) {
    SKIP_WITHOUT_DEVICE();
    Tone tone(kWaveRate / 10);
    WaveOut out(tone, {WAVE_MAPPER, 2000});
    out.Wake();
    ASSERT_TRUE(out.DevicePlaying());
    ASSERT_TRUE(Pump([&] { return tone.pulled > kWaveRate / 2; }, std::chrono::seconds(5)));
    tone.length = tone.pulled + 10 * kWaveRate; // another sound starts
    out.Wake();
    ASSERT_TRUE(
        Pump([&] { return tone.pulled > tone.length - 9 * kWaveRate; }, std::chrono::seconds(5)))
        << "expected the new sound fed";
    EXPECT_TRUE(out.DevicePlaying());
    out.Close();
    EXPECT_FALSE(out.DevicePlaying());
    const std::size_t closedAt = tone.pulled;
    Pump([] { return false; }, std::chrono::milliseconds(300));
    EXPECT_EQ(tone.pulled, closedAt) << "expected nothing pulled after the close";
}

TEST(PlayerSoundOut, NothingOpensWhileNothingSounds) {
    Tone tone(0);
    WaveOut out(tone);
    out.Wake();
    EXPECT_FALSE(out.DevicePlaying());
    EXPECT_FALSE(out.SilentClock());
    EXPECT_EQ(tone.pulled, 0u);
}

TEST(PlayerSoundOut, WithoutADeviceTheSoundsRunTheirCourseUnheard) {
    Tone tone(kWaveRate / 2);
    WaveOut out(tone, {1000, 300}); // no such device
    out.Wake();
    EXPECT_FALSE(out.DevicePlaying());
    ASSERT_TRUE(out.SilentClock()) << "expected the sounds pulled by the clock";
    const auto start = Clock::now();
    ASSERT_TRUE(Pump([&] { return !out.SilentClock(); }, std::chrono::seconds(10)))
        << "expected the clock to rest after the silence";
    const double took = std::chrono::duration<double>(Clock::now() - start).count();
    EXPECT_GE(Seconds(tone.pulled), 0.8 - Seconds(WaveOut::kBufferFrames) - 0.001);
    EXPECT_GT(took, 0.6) << "expected the clock's pace";
}

TEST(PlayerSoundOut, Mp3ThroughTheSystemCodec) {
    std::wstring path = L"Z:" + fw::win::FromUtf8(FW_UNIT_DATA "/tone440.mp3");
    std::ifstream in(path.c_str(), std::ios::binary);
    std::vector<std::uint8_t> file((std::istreambuf_iterator<char>(in)), {});
    ASSERT_FALSE(file.empty()) << "expected the tone at " << FW_UNIT_DATA;
    AcmMp3Decoder mp3;
    fw::audio::Pcm pcm;
    std::string error;
    ASSERT_TRUE(mp3.Decode(file, pcm, error)) << error;
    EXPECT_EQ(pcm.rate, 22050);
    EXPECT_EQ(pcm.channels, 1);
    // Half a second of tone, give or take the codec's delay and its last frame.
    EXPECT_NEAR(pcm.frames(), 11025u, 2000u);
    EXPECT_NEAR(fw::test::Listen(pcm.samples, 1, 0, 22050).hz, 440, 5);
    const std::vector<std::uint8_t> junk{0xff, 0x00, 0x12, 0x34};
    EXPECT_FALSE(mp3.Decode(junk, pcm, error));
    EXPECT_FALSE(error.empty());
}

} // namespace
