#include "sound/SCFrm.h"

#include "sound/win_mixer.h"

namespace fw {

namespace {

constexpr UINT_PTR kTimer1 = 1;
constexpr UINT kTimer1Interval = 100;
constexpr int kTrackBarId = 100;
constexpr int kCheckBoxId = 200;
constexpr int kProgressBarId = 300;

const wchar_t* const kRowCaptions[kSoundLineCount] = {L"General", L"Wave", L"CD", L"Mic"};

} // namespace

std::unique_ptr<TSoundControlForm>
TSoundControlForm::Create(std::unique_ptr<mixer::MixerPort> port) {
    if (!port) {
        port = std::make_unique<WinMixerPort>();
    }
    auto form = win::MakeForm<TSoundControlForm>(std::move(port));
    form->FormCreate();
    return form;
}

TSoundControlForm::TSoundControlForm(std::unique_ptr<mixer::MixerPort> port)
    : port_(std::move(port)),
      snd_(*port_), sliderViews_{TrackBarView(sliders_[0]), TrackBarView(sliders_[1]),
                                 TrackBarView(sliders_[2]), TrackBarView(sliders_[3])},
      checkViews_{CheckBoxView(checks_[0]), CheckBoxView(checks_[1]), CheckBoxView(checks_[2]),
                  CheckBoxView(checks_[3])},
      levelViews_{ProgressBarView(levels_[0]), ProgressBarView(levels_[1]),
                  ProgressBarView(levels_[2]), ProgressBarView(levels_[3])},
      panel_(snd_, {SoundRowViews{&sliderViews_[0], &checkViews_[0], &levelViews_[0]},
                    SoundRowViews{&sliderViews_[1], &checkViews_[1], &levelViews_[1]},
                    SoundRowViews{&sliderViews_[2], &checkViews_[2], &levelViews_[2]},
                    SoundRowViews{&sliderViews_[3], &checkViews_[3], &levelViews_[3]}}) {
    win::FormArgs args;
    args.className = L"TSoundControlForm";
    args.caption = L"Sound Control";
    args.style = WS_OVERLAPPEDWINDOW;
    args.exStyle = WS_EX_TOPMOST;
    args.left = 241;
    args.top = 604;
    args.width = 411;
    args.height = 229;
    CreateForm(args);

    font_.reset(::CreateFontW(-11, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                              OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                              DEFAULT_PITCH | FF_DONTCARE, L"MS Sans Serif"));
    const auto font = static_cast<HFONT>(font_.get());
    ::SendMessageW(Handle(), WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);

    // Created in tab order: the sliders, then the check boxes, then the level bars.
    for (std::size_t k = 0; k < kSoundLineCount; ++k) {
        const int id = static_cast<int>(k);
        const int top = 8 + 40 * id;
        win::TrackBarArgs a{{Handle(), kTrackBarId + id, 8, top, 150, 45, font}};
        a.max = kDefaultSliderMax;
        sliders_[k].Create(a);
        const auto row = static_cast<SoundLine>(k);
        sliders_[k].onChange = [this, row](int) { panel_.GeneralTrackBarChange(row); };
        checks_[k].onClick = [this, row] { panel_.GeneralCBClick(row); };
    }
    for (std::size_t k = 0; k < kSoundLineCount; ++k) {
        const int id = static_cast<int>(k);
        checks_[k].Create(
            {{Handle(), kCheckBoxId + id, 168, 8 + 40 * id, 65, 17, font}, kRowCaptions[k]});
    }
    for (std::size_t k = 0; k < kSoundLineCount; ++k) {
        const int id = static_cast<int>(k);
        levels_[k].Create({{Handle(), kProgressBarId + id, 240, 8 + 40 * id, 150, 16}, 0, 100});
    }
}

void TSoundControlForm::FormCreate() {
    RunTimer1(Visible());
    // The mixer tells this window of every control change, whoever made it.
    snd_.OpenMixer(reinterpret_cast<mixer::WindowHandle>(Handle()));
    panel_.UpdateControls();
}

void TSoundControlForm::FormDestroy() {
    // The timer goes first, so no tick reads a line that is being freed.
    RunTimer1(false);
    snd_.CloseMixer();
}

void TSoundControlForm::RunTimer1(bool run) {
    // The level bars move only while someone can see them; a hidden window, the usual case,
    // is not woken ten times a second for nothing.
    if (run == timerOn_ || !Handle()) {
        return;
    }
    if (run) {
        timerOn_ = ::SetTimer(Handle(), kTimer1, kTimer1Interval, nullptr) != 0;
    } else {
        ::KillTimer(Handle(), kTimer1);
        timerOn_ = false;
    }
}

void TSoundControlForm::OnTimer(UINT_PTR id) {
    if (id == kTimer1) {
        Timer1Timer();
    }
}

void TSoundControlForm::OnDestroy() {
    FormDestroy();
}

void TSoundControlForm::MMMixmControlChange() {
    panel_.UpdateControls();
}

void TSoundControlForm::Timer1Timer() {
    panel_.Timer1Timer(Visible());
}

void TSoundControlForm::SetGeneralVolume(std::uint16_t percent) {
    panel_.SetGeneralVolume(percent);
}

std::uint16_t TSoundControlForm::GetGeneralVolume() {
    return panel_.GetGeneralVolume();
}

} // namespace fw
