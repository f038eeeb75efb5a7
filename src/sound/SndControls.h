#pragma once
// SndControls: the four sound lines of the shell (General, Wave, CD, Mic) bound to
// controls of the audio mixer, each with a mute switch, a volume fader and a peak
// meter where the mixer has them.

#include "sound/mixer_port.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace fw {

// Sizes of the winmm records as the 32-bit system knows them; the walk fills the
// cbStruct fields with these.
inline constexpr std::uint32_t kMixerLineSize = 168;
inline constexpr std::uint32_t kMixerControlSize = 148;
inline constexpr std::uint32_t kMixerLineControlsSize = 24;
inline constexpr std::uint32_t kMixerControlDetailsSize = 24;

// A mixer reporting more destinations, sources or controls than this is not
// believed: such a list is skipped rather than walked or fetched.
inline constexpr std::uint32_t kMaxMixerItems = 256;

// One sound line. Its details records point at its own value fields, so a line
// never moves while it lives (it is neither copied nor moved).
class TSndControl {
public:
    explicit TSndControl(mixer::MixerPort& port);
    virtual ~TSndControl() = default;
    TSndControl(const TSndControl&) = delete;
    TSndControl& operator=(const TSndControl&) = delete;

    // Take one control description from a fetched list; the line reads and writes
    // it through the device it was found on. A later assignment of the same kind
    // replaces an earlier one.
    void AssignMute(const mixer::MixerControl& control, std::uint32_t mixerId);
    void AssignVolume(const mixer::MixerControl& control, std::uint32_t mixerId);
    void AssignPeak(const mixer::MixerControl& control, std::uint32_t mixerId);

    // Writes mute value 0 (on) or 1 (off); nothing without a mute control.
    void SetSoundOn(bool on);
    // False without a mute control or when the read fails.
    bool IsSoundOn();
    // Clamps to the control's range and writes; nothing without a volume control.
    void SetVolume(std::uint32_t value);
    // 0 without a volume control or when the read fails.
    std::uint32_t GetVolume();
    // The magnitude of the meter reading; 0 without a meter or when the read fails.
    std::int32_t GetPeak();

    // The same reads, telling a failed read apart from a value.
    std::optional<bool> ReadSoundOn();
    std::optional<std::uint32_t> ReadVolume();

    bool HasMute() const { return hasMute_; }
    bool HasVolume() const { return hasVolume_; }
    bool HasPeak() const { return hasPeak_; }
    const mixer::MixerControl& MuteControl() const { return muteControl_; }
    const mixer::MixerControl& VolumeControl() const { return volumeControl_; }
    const mixer::MixerControl& PeakControl() const { return peakControl_; }
    // The device each control is read and written through (0 while unassigned).
    std::uint32_t MuteMixerId() const { return muteMixerId_; }
    std::uint32_t VolumeMixerId() const { return volumeMixerId_; }
    std::uint32_t PeakMixerId() const { return peakMixerId_; }

private:
    static void PrepareDetails(mixer::MixerControlDetails& details, std::uint32_t controlId,
                               void* value);

    mixer::MixerPort& port_;
    mixer::MixerControl muteControl_{};
    mixer::MixerControlDetails muteDetails_{};
    mixer::MixerControl volumeControl_{};
    mixer::MixerControlDetails volumeDetails_{};
    mixer::MixerControl peakControl_{};
    mixer::MixerControlDetails peakDetails_{};
    bool hasMute_ = false;
    std::int32_t muteValue_ = 0;
    bool hasVolume_ = false;
    std::uint32_t volumeValue_ = 0;
    bool hasPeak_ = false;
    std::int32_t peakValue_ = 0;
    std::uint32_t muteMixerId_ = 0;
    std::uint32_t volumeMixerId_ = 0;
    std::uint32_t peakMixerId_ = 0;
};

// The rows of the sound control window, always in this order.
enum class SoundLine : std::size_t { General = 0, Wave = 1, CD = 2, Mic = 3 };
inline constexpr std::size_t kSoundLineCount = 4;

// The mixer as the shell holds it: the four lines and every device handle opened
// for them.
class SndControls {
public:
    explicit SndControls(mixer::MixerPort& port);
    ~SndControls();
    SndControls(const SndControls&) = delete;
    SndControls& operator=(const SndControls&) = delete;

    // Creates the four lines and fills them from every mixer device; `window`
    // receives the mixer's control change notifications. Reports nothing: a line
    // simply has the controls that were found.
    void OpenMixer(mixer::WindowHandle window);
    // Closes every device handle opened and frees the lines.
    void CloseMixer();

    // The lines between OpenMixer and CloseMixer, null otherwise.
    TSndControl* Line(SoundLine line) const { return lines_[static_cast<std::size_t>(line)].get(); }
    TSndControl* GeneralLine() const { return Line(SoundLine::General); }
    TSndControl* WaveLine() const { return Line(SoundLine::Wave); }
    TSndControl* CDLine() const { return Line(SoundLine::CD); }
    TSndControl* MicLine() const { return Line(SoundLine::Mic); }

    // The device on which the General mute switch was found (0 until then).
    std::uint32_t MixerId() const { return mixerId_; }
    // Handles of the devices opened, in the order they were opened.
    const std::vector<mixer::MixerHandle>& MixerHandles() const { return handles_; }

private:
    void WalkDevice(std::uint32_t mixerId, mixer::WindowHandle window);
    void WalkPlayback(std::uint32_t mixerId, std::uint32_t destinations);
    void WalkRecording(std::uint32_t mixerId);
    // The controls of a line, or nothing when they cannot be fetched.
    std::optional<std::vector<mixer::MixerControl>> FetchControls(std::uint32_t mixerId,
                                                                  const mixer::MixerLine& line);
    std::optional<mixer::MixerLine> ReadSource(std::uint32_t mixerId, std::uint32_t destination,
                                               std::uint32_t source);

    mixer::MixerPort& port_;
    std::array<std::unique_ptr<TSndControl>, kSoundLineCount> lines_;
    std::vector<mixer::MixerHandle> handles_;
    std::uint32_t mixerId_ = 0;
};

} // namespace fw
