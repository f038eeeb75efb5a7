// wine-shares: sound
// The sound lines on the system's mixer (winmm). Skips where the system has no
// mixer device; every volume and mute it changes is put back.

#include "sound/SndControls.h"
#include "sound/win_mixer.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <mmsystem.h>

#include <cstring>
#include <optional>
#include <string>

namespace fw {
namespace {

#define SKIP_WITHOUT_MIXER()                                                                       \
    if (mixerGetNumDevs() == 0) {                                                                  \
        GTEST_SKIP() << "no mixer device (no sound server)";                                       \
    }

// Puts a line's volume and mute back as they were.
class Restore {
public:
    explicit Restore(TSndControl& line) : line_(line) {
        if (line.HasVolume()) {
            volume_ = line.ReadVolume();
        }
        if (line.HasMute()) {
            on_ = line.ReadSoundOn();
        }
    }
    ~Restore() {
        if (volume_) {
            line_.SetVolume(*volume_);
        }
        if (on_) {
            line_.SetSoundOn(*on_);
        }
    }

private:
    TSndControl& line_;
    std::optional<std::uint32_t> volume_;
    std::optional<bool> on_;
};

// The destination line of a device that lists a control.
std::optional<mixer::MixerLine> DestinationOf(mixer::MixerPort& port, std::uint32_t mixerId,
                                              std::uint32_t controlId) {
    mixer::MixerCaps caps;
    if (port.GetDevCaps(mixerId, caps) != mixer::kNoError) {
        return std::nullopt;
    }
    auto lists = [&](const mixer::MixerLine& line) {
        if (line.cControls == 0 || line.cControls > kMaxMixerItems) {
            return false;
        }
        std::vector<mixer::MixerControl> controls(line.cControls);
        mixer::MixerLineControls request;
        request.cbStruct = kMixerLineControlsSize;
        request.dwLineID = line.dwLineID;
        request.cControls = line.cControls;
        request.cbmxctrl = kMixerControlSize;
        request.pamxctrl = controls.data();
        if (port.GetLineControls(mixerId, request, mixer::kGetLineControlsAll) != mixer::kNoError) {
            return false;
        }
        for (const auto& c : controls) {
            if (c.dwControlID == controlId) {
                return true;
            }
        }
        return false;
    };
    for (std::uint32_t d = 0; d < caps.cDestinations; ++d) {
        mixer::MixerLine line;
        line.cbStruct = kMixerLineSize;
        line.dwDestination = d;
        if (port.GetLineInfo(mixerId, line, mixer::kGetLineInfoDestination) == mixer::kNoError &&
            lists(line)) {
            return line;
        }
    }
    return std::nullopt;
}

TEST(SoundMixer, GeneralIsTheMasterVolumeOfTheFirstPlaybackDestination) {
    SKIP_WITHOUT_MIXER();
    WinMixerPort port;
    SndControls snd(port);
    snd.OpenMixer(0);
    const TSndControl& general = *snd.GeneralLine();
    ASSERT_TRUE(general.HasVolume()) << "expected a master volume control";
    ASSERT_TRUE(general.HasMute()) << "expected a master mute switch";
    EXPECT_FALSE(general.HasPeak());
    EXPECT_EQ(general.MuteMixerId(), snd.MixerId());

    const struct {
        const char* what;
        std::uint32_t mixerId, controlId;
    } controls[] = {{"volume", general.VolumeMixerId(), general.VolumeControl().dwControlID},
                    {"mute", general.MuteMixerId(), general.MuteControl().dwControlID}};
    // Its name follows the system's language ("Master Volume" in English), so
    // the line is told by its kind: the first destination, the speakers, fed by
    // at least one source.
    for (const auto& c : controls) {
        SCOPED_TRACE(c.what);
        const auto line = DestinationOf(port, c.mixerId, c.controlId);
        ASSERT_TRUE(line.has_value()) << "expected the control on a destination line";
        EXPECT_EQ(0u, line->dwDestination);
        EXPECT_EQ(mixer::kDstSpeakers, line->dwComponentType)
            << "expected the speakers, got component type " << line->dwComponentType;
        EXPECT_GT(line->cConnections, 0u);
    }
    EXPECT_EQ(mixer::kControlVolume, general.VolumeControl().dwControlType);
    EXPECT_LT(general.VolumeControl().Bounds.dwMinimum, general.VolumeControl().Bounds.dwMaximum);
    EXPECT_GT(general.VolumeControl().Metrics.cSteps, 0u);

    // Every device opened is closed again.
    EXPECT_EQ(mixerGetNumDevs(), snd.MixerHandles().size());
    snd.CloseMixer();
    EXPECT_TRUE(snd.MixerHandles().empty());
}

TEST(SoundMixer, MasterVolumeAndMuteAreWrittenAndReadBack) {
    SKIP_WITHOUT_MIXER();
    WinMixerPort port;
    SndControls snd(port);
    snd.OpenMixer(0);
    TSndControl& general = *snd.GeneralLine();
    ASSERT_TRUE(general.HasVolume() && general.HasMute());
    Restore restore(general);

    const std::uint32_t lo = general.VolumeControl().Bounds.dwMinimum;
    const std::uint32_t hi = general.VolumeControl().Bounds.dwMaximum;
    const std::uint32_t mid = lo + (hi - lo) / 2;
    const struct {
        std::uint32_t written, read;
    } volumes[] = {{hi, hi}, {lo, lo}, {mid, mid}, {hi - 31, hi - 31}, {0xFFFFFFFFu, hi}};
    for (const auto& v : volumes) {
        general.SetVolume(v.written);
        const std::uint32_t got = general.GetVolume();
        EXPECT_EQ(v.read, got) << "wrote " << v.written << ": expected " << v.read << ", got "
                               << got;
    }
    for (bool on : {false, true, false}) {
        general.SetSoundOn(on);
        EXPECT_EQ(on, general.IsSoundOn()) << "expected " << (on ? "on" : "muted");
    }
}

} // namespace
} // namespace fw
