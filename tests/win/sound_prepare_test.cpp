// The sound devices brought up on a helper thread before anything else in the
// process has used the mixer, as the start-up does while it measures the
// processor: the mixer then serves this thread and its window as it would have
// without the preparation, and a second preparation is harmless. Its own
// executable (and so its own process) keeps the mixer untouched until the test
// prepares it. Skips where the system has no mixer device; the volume and the
// mute switch changed are put back.

#include "sound/SndControls.h"
#include "sound/win_mixer.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <mmsystem.h>

namespace fw {
namespace {

TEST(SoundPrepare, ThePreparedMixerServesTheWindowThatOpensIt) {
    PrepareMixerDevices();
    PrepareMixerDevices(); // the second call starts nothing more
    WinMixerPort port;     // waits for the helper thread
    if (port.GetNumDevs() == 0) {
        GTEST_SKIP() << "no mixer device (no sound server)";
    }
    EXPECT_EQ(mixerGetNumDevs(), port.GetNumDevs());

    // The devices came up on another thread; this thread's window still gets
    // every device opened for its notifications.
    HWND window = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                  GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(nullptr, window);
    SndControls snd(port);
    snd.OpenMixer(reinterpret_cast<mixer::WindowHandle>(window));
    EXPECT_EQ(mixerGetNumDevs(), snd.MixerHandles().size()) << "expected every device open";
    TSndControl& general = *snd.GeneralLine();
    ASSERT_TRUE(general.HasVolume()) << "expected a master volume control";
    ASSERT_TRUE(general.HasMute()) << "expected a master mute switch";
    const auto volume = general.ReadVolume();
    const auto on = general.ReadSoundOn();
    ASSERT_TRUE(volume.has_value() && on.has_value()) << "expected the master line readable";

    const std::uint32_t lo = general.VolumeControl().Bounds.dwMinimum;
    const std::uint32_t hi = general.VolumeControl().Bounds.dwMaximum;
    for (std::uint32_t v : {lo + (hi - lo) / 4, hi, lo}) {
        general.SetVolume(v);
        const std::uint32_t got = general.GetVolume();
        EXPECT_EQ(v, got) << "wrote " << v << ": expected " << v << ", got " << got;
    }
    for (bool soundOn : {!*on, *on}) {
        general.SetSoundOn(soundOn);
        EXPECT_EQ(soundOn, general.IsSoundOn()) << "expected " << (soundOn ? "on" : "muted");
    }

    general.SetVolume(*volume);
    snd.CloseMixer();
    EXPECT_TRUE(snd.MixerHandles().empty());
    DestroyWindow(window);
}

} // namespace
} // namespace fw
