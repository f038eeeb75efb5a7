#include "sound/sound_panel.h"

#include "base/text.h"

#include <algorithm>
#include <limits>

namespace fw {

namespace {

constexpr std::int64_t kSliderLimit = std::numeric_limits<int>::max();

int HoldOnSlider(std::int64_t position, int max) {
    return static_cast<int>(std::clamp<std::int64_t>(position, 0, std::max(max, 0)));
}

} // namespace

int SliderMaxFor(const mixer::MixerControl& volume) {
    return static_cast<int>(std::min<std::int64_t>(volume.Metrics.cSteps, kSliderLimit));
}

int SliderPositionFor(std::uint32_t value, const mixer::MixerControl& volume) {
    const std::uint32_t lo = volume.Bounds.dwMinimum;
    const std::uint32_t hi = volume.Bounds.dwMaximum;
    if (hi <= lo) {
        return 0;
    }
    // A reading outside the range is shown at the nearer end rather than wrapping
    // round to the other one.
    value = std::clamp(value, lo, hi);
    const double share = static_cast<double>(value - lo) / static_cast<double>(hi - lo);
    return HoldOnSlider(RoundHalfEven(share * volume.Metrics.cSteps), SliderMaxFor(volume));
}

std::optional<std::uint32_t> VolumeForPosition(std::uint32_t position,
                                               const mixer::MixerControl& volume) {
    const std::uint32_t steps = volume.Metrics.cSteps;
    if (steps == 0) {
        return std::nullopt;
    }
    const std::uint32_t step = (volume.Bounds.dwMaximum - volume.Bounds.dwMinimum) / steps;
    return volume.Bounds.dwMinimum + step * position;
}

int PositionForPercent(std::uint16_t percent, int sliderMax) {
    const double share = std::min<std::uint16_t>(percent, 100) / 100.0;
    return HoldOnSlider(RoundHalfEven(share * sliderMax), sliderMax);
}

std::uint16_t PercentForPosition(int position, int sliderMax) {
    if (sliderMax <= 0) {
        return 0;
    }
    const double share = static_cast<double>(position) / sliderMax;
    return static_cast<std::uint16_t>(std::clamp<std::int64_t>(RoundHalfEven(share * 100), 0, 100));
}

SoundPanel::SoundPanel(SndControls& mixer, const std::array<SoundRowViews, kSoundLineCount>& rows)
    : mixer_(mixer), rows_(rows) {}

void SoundPanel::UpdateControls() {
    for (SoundLine row : {SoundLine::General, SoundLine::Wave, SoundLine::CD, SoundLine::Mic}) {
        UpdateLine(row);
    }
}

void SoundPanel::UpdateLine(SoundLine row) {
    const SoundRowViews& views = Row(row);
    TSndControl* line = LineOf(row);

    if (line && line->HasVolume()) {
        const mixer::MixerControl& volume = line->VolumeControl();
        views.slider->SetShown(true);
        views.slider->SetMax(SliderMaxFor(volume));
        // A failed read says nothing about the volume: the slider stays where it is
        // rather than showing (and writing) silence.
        if (auto value = line->ReadVolume()) {
            const int position = SliderPositionFor(*value, volume);
            if (position != views.slider->Position()) {
                views.slider->SetPosition(position);
                // The slider's quantised value goes back to the mixer only where it
                // reads back as this very position; otherwise each write would be
                // read as a new position and the volume would creep from pass to pass.
                // A value that is already quantised is not written again.
                auto quantised = VolumeForPosition(static_cast<std::uint32_t>(position), volume);
                if (quantised && *quantised != *value &&
                    SliderPositionFor(*quantised, volume) == position) {
                    GeneralTrackBarChange(row);
                }
            }
        }
    } else {
        views.slider->SetShown(false);
    }

    if (line && line->HasMute()) {
        views.check->SetShown(true);
        // What the mixer has just said is not written back to it.
        if (auto on = line->ReadSoundOn()) {
            views.check->SetChecked(*on);
        }
    } else {
        views.check->SetShown(false);
    }

    if (line && line->HasPeak()) {
        views.level->SetShown(true);
        views.level->SetMax(kLevelMax);
        views.level->SetPosition(std::min(line->GetPeak(), kLevelMax));
    } else {
        views.level->SetShown(false);
    }
}

void SoundPanel::GeneralTrackBarChange(SoundLine row) {
    TSndControl* line = LineOf(row);
    if (!line || !line->HasVolume()) {
        return;
    }
    const int position = Row(row).slider->Position();
    if (position < 0) {
        return;
    }
    if (auto value =
            VolumeForPosition(static_cast<std::uint32_t>(position), line->VolumeControl())) {
        line->SetVolume(*value);
    }
}

void SoundPanel::GeneralCBClick(SoundLine row) {
    TSndControl* line = LineOf(row);
    if (!line) {
        return;
    }
    line->SetSoundOn(Row(row).check->Checked());
}

void SoundPanel::Timer1Timer(bool visible) {
    if (!visible) {
        return;
    }
    for (SoundLine row : {SoundLine::General, SoundLine::Wave, SoundLine::CD, SoundLine::Mic}) {
        const SoundRowViews& views = Row(row);
        TSndControl* line = LineOf(row);
        if (line && line->HasPeak()) {
            views.level->SetShown(true);
            views.level->SetPosition(std::min(line->GetPeak(), kLevelMax));
        } else {
            views.level->SetShown(false);
        }
    }
}

void SoundPanel::SetGeneralVolume(std::uint16_t percent) {
    SliderView& slider = *Row(SoundLine::General).slider;
    const int position = PositionForPercent(percent, slider.Max());
    if (position != slider.Position()) {
        slider.SetPosition(position);
        GeneralTrackBarChange(SoundLine::General);
    }
    // Written even when the slider was already there, so the mixer follows the
    // movie's wish after someone else has moved it.
    GeneralTrackBarChange(SoundLine::General);
}

std::uint16_t SoundPanel::GetGeneralVolume() const {
    const SliderView& slider = *Row(SoundLine::General).slider;
    return PercentForPosition(slider.Position(), slider.Max());
}

} // namespace fw
