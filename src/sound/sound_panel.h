#pragma once
// What the sound control window does with its four rows (slider, check box, level
// bar per line), apart from the window itself: the window's controls stand behind
// small views, so the arithmetic and the exchange with the mixer run anywhere.

#include "sound/SndControls.h"

#include <array>
#include <cstdint>
#include <optional>

namespace fw {

// The level bars show a meter's magnitude on this fixed scale.
inline constexpr int kLevelMax = 0x7FFF;
// A slider's range before the mixer has been read (and for good, without a volume
// control).
inline constexpr int kDefaultSliderMax = 10;

// The slider's maximum for a volume control: its number of steps, as far as a
// slider can count.
int SliderMaxFor(const mixer::MixerControl& volume);

// The slider position that shows a volume value: the value's share of the range
// times the number of steps, rounded halves to even and held on the slider. A
// value outside the range counts as the nearer end; a range without width shows 0.
int SliderPositionFor(std::uint32_t value, const mixer::MixerControl& volume);

// The value a slider position writes: the minimum plus the position times the
// whole step (range divided by steps, remainder dropped). Nothing for a control
// without steps.
std::optional<std::uint32_t> VolumeForPosition(std::uint32_t position,
                                               const mixer::MixerControl& volume);

// The General slider position for a percentage (above 100 counts as 100).
int PositionForPercent(std::uint16_t percent, int sliderMax);
// The percentage a slider position stands for; 0 for a slider without range.
std::uint16_t PercentForPosition(int position, int sliderMax);

// A trackbar with minimum 0 and a tick at every position. Setting the position
// from code runs no handler; the panel runs them itself.
class SliderView {
public:
    virtual ~SliderView() = default;
    virtual void SetShown(bool shown) = 0;
    virtual void SetMax(int max) = 0;
    virtual int Max() const = 0;
    virtual int Position() const = 0;
    virtual void SetPosition(int position) = 0;
};

class CheckView {
public:
    virtual ~CheckView() = default;
    virtual void SetShown(bool shown) = 0;
    virtual bool Checked() const = 0;
    virtual void SetChecked(bool checked) = 0;
};

// A smooth progress bar with minimum 0.
class LevelView {
public:
    virtual ~LevelView() = default;
    virtual void SetShown(bool shown) = 0;
    virtual void SetMax(int max) = 0;
    virtual void SetPosition(int position) = 0;
};

struct SoundRowViews {
    SliderView* slider;
    CheckView* check;
    LevelView* level;
};

class SoundPanel {
public:
    // The rows pair with the lines General, Wave, CD, Mic in this order.
    SoundPanel(SndControls& mixer, const std::array<SoundRowViews, kSoundLineCount>& rows);

    // Reads every line into its row (on creation and on each mixer notification).
    void UpdateControls();
    void UpdateLine(SoundLine row);

    // A row's slider has been moved (by the user or by SetGeneralVolume): writes
    // the slider's quantised value.
    void GeneralTrackBarChange(SoundLine row);
    // A row's check box has changed: writes its state as the line's mute.
    void GeneralCBClick(SoundLine row);
    // The level bars' poll; acts only while the window is visible.
    void Timer1Timer(bool visible);

    // The volume the movie sets and reads, as a percentage of the General slider.
    void SetGeneralVolume(std::uint16_t percent);
    std::uint16_t GetGeneralVolume() const;

private:
    TSndControl* LineOf(SoundLine row) const { return mixer_.Line(row); }
    const SoundRowViews& Row(SoundLine row) const { return rows_[static_cast<std::size_t>(row)]; }

    SndControls& mixer_;
    std::array<SoundRowViews, kSoundLineCount> rows_;
};

} // namespace fw
