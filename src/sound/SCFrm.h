#pragma once
// The sound control window: one row per sound line (slider, check box, level
// bar). It lives hidden for the whole run; its General slider is the volume the
// movie sets and reads.

#include "sound/SndControls.h"
#include "sound/mixer_port.h"
#include "sound/sound_panel.h"
#include "win/checkbox.h"
#include "win/form.h"
#include "win/handle.h"
#include "win/progressbar.h"
#include "win/trackbar.h"

#include <array>
#include <cstdint>
#include <memory>

namespace fw {

class TSoundControlForm : public win::Form {
public:
    // Creates the window hidden and opens the mixer for it; `port` stands in for
    // the system's mixer (tests).
    static std::unique_ptr<TSoundControlForm> Create(std::unique_ptr<mixer::MixerPort> port = {});

    // The volume bridge: a percentage of the General slider's range (above 100
    // counts as 100), written to the master volume; and the slider's position as
    // a percentage (0 when the slider has no range).
    void SetGeneralVolume(std::uint16_t percent);
    std::uint16_t GetGeneralVolume();

    // What the rows show, for tests and for anyone who looks.
    bool GeneralChecked() const { return checks_[0].Checked(); }
    const win::TrackBar& TrackBarOf(SoundLine row) const { return sliders_[Index(row)]; }
    const win::CheckBox& CheckBoxOf(SoundLine row) const { return checks_[Index(row)]; }
    const win::ProgressBar& ProgressBarOf(SoundLine row) const { return levels_[Index(row)]; }
    const SndControls& Mixer() const { return snd_; }

protected:
    explicit TSoundControlForm(std::unique_ptr<mixer::MixerPort> port);
    void OnTimer(UINT_PTR id) override;
    void OnMixerControlChange() override { MMMixmControlChange(); }
    void OnVisibilityChanged() override { RunTimer1(Visible()); }
    void OnDestroy() override;

private:
    // The controls behind the rows the panel keeps.
    class TrackBarView : public SliderView {
    public:
        explicit TrackBarView(win::TrackBar& bar) : bar_(bar) {}
        void SetShown(bool shown) override { bar_.SetVisible(shown); }
        void SetMax(int max) override {
            bar_.SetRange(0, max);
            bar_.SetTickFrequency(1);
        }
        int Max() const override { return bar_.Max(); }
        int Position() const override { return bar_.Position(); }
        void SetPosition(int position) override { bar_.SetPosition(position); }

    private:
        win::TrackBar& bar_;
    };
    class CheckBoxView : public CheckView {
    public:
        explicit CheckBoxView(win::CheckBox& box) : box_(box) {}
        void SetShown(bool shown) override { box_.SetVisible(shown); }
        bool Checked() const override { return box_.Checked(); }
        void SetChecked(bool checked) override { box_.SetChecked(checked); }

    private:
        win::CheckBox& box_;
    };
    class ProgressBarView : public LevelView {
    public:
        explicit ProgressBarView(win::ProgressBar& bar) : bar_(bar) {}
        void SetShown(bool shown) override { bar_.SetVisible(shown); }
        void SetMax(int max) override { bar_.SetRange(0, max); }
        void SetPosition(int position) override { bar_.SetPosition(position); }

    private:
        win::ProgressBar& bar_;
    };

    static std::size_t Index(SoundLine row) { return static_cast<std::size_t>(row); }

    void FormCreate();
    void FormDestroy();
    void MMMixmControlChange();
    void Timer1Timer();
    // Starts or stops Timer1, which has work only while the window is shown.
    void RunTimer1(bool run);

    std::unique_ptr<mixer::MixerPort> port_;
    SndControls snd_;
    win::GdiObject font_;
    std::array<win::TrackBar, kSoundLineCount> sliders_;
    std::array<win::CheckBox, kSoundLineCount> checks_;
    std::array<win::ProgressBar, kSoundLineCount> levels_;
    std::array<TrackBarView, kSoundLineCount> sliderViews_;
    std::array<CheckBoxView, kSoundLineCount> checkViews_;
    std::array<ProgressBarView, kSoundLineCount> levelViews_;
    SoundPanel panel_;
    bool timerOn_ = false;
};

} // namespace fw
