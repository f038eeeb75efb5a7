// wine-shares: sound
// The sound control window: its controls as stored, its rows against a mixer the
// test describes, the user's actions, the volume bridge, and the system's mixer
// where there is one (every volume changed is put back).

#include "sound_fake_mixer.h"

#include "sound/SCFrm.h"
#include "sound/win_mixer.h"
#include "win/application.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <mmsystem.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

namespace fw {
namespace {

using test::FakeDevice;
using test::FakeMixer;
using test::Mute;
using test::Peak;
using test::Volume;

// Lends the window a mixer that the test keeps, so the test can look at it after
// the window has gone.
class LentPort : public mixer::MixerPort {
public:
    explicit LentPort(mixer::MixerPort& to) : to_(to) {}
    std::uint32_t GetNumDevs() override { return to_.GetNumDevs(); }
    mixer::MmResult GetDevCaps(std::uint32_t id, mixer::MixerCaps& c) override {
        return to_.GetDevCaps(id, c);
    }
    mixer::MmResult Open(mixer::MixerHandle& h, std::uint32_t id, mixer::WindowHandle w) override {
        return to_.Open(h, id, w);
    }
    mixer::MmResult GetLineInfo(std::uint32_t id, mixer::MixerLine& l, std::uint32_t f) override {
        return to_.GetLineInfo(id, l, f);
    }
    mixer::MmResult GetLineControls(std::uint32_t id, mixer::MixerLineControls& c,
                                    std::uint32_t f) override {
        return to_.GetLineControls(id, c, f);
    }
    mixer::MmResult GetControlDetails(std::uint32_t id, mixer::MixerControlDetails& d,
                                      std::uint32_t f) override {
        return to_.GetControlDetails(id, d, f);
    }
    mixer::MmResult SetControlDetails(std::uint32_t id, mixer::MixerControlDetails& d,
                                      std::uint32_t f) override {
        return to_.SetControlDetails(id, d, f);
    }
    mixer::MmResult Close(mixer::MixerHandle h) override { return to_.Close(h); }

private:
    mixer::MixerPort& to_;
};

// A card: master with 32 steps at full volume, a wave output with a meter, a
// microphone (muted) and a CD input with a mute switch only.
FakeDevice Card() {
    return FakeDevice{
        {{mixer::kDstSpeakers,
          {Mute(), Volume(0, 65535, 32, 65504)},
          {{mixer::kSrcWaveOut, {Mute(), Volume(0, 65535, 65535, 1000), Peak(-300)}}}},
         {mixer::kDstWaveIn,
          {},
          {{mixer::kSrcMicrophone, {Mute(1), Volume(0, 65535, 65535), Peak()}},
           {mixer::kSrcCompactDisc, {Mute()}}}}}};
}

class SoundWindowTest : public testing::Test {
protected:
    void SetUp() override { win::Application::Get().Initialize(); }

    void Open(std::vector<FakeDevice> devices) {
        mixer.devices = std::move(devices);
        form = TSoundControlForm::Create(std::make_unique<LentPort>(mixer));
    }
    std::uint32_t ControlId(SoundLine line, bool mute) const {
        const TSndControl& l = *form->Mixer().Line(line);
        return mute ? l.MuteControl().dwControlID : l.VolumeControl().dwControlID;
    }
    HWND Slider(SoundLine row) const { return form->TrackBarOf(row).Handle(); }
    int Pos(SoundLine row) const {
        return static_cast<int>(SendMessageW(Slider(row), TBM_GETPOS, 0, 0));
    }

    FakeMixer mixer;
    std::unique_ptr<TSoundControlForm> form;
};

std::wstring ClassOf(HWND h) {
    wchar_t buf[64] = {};
    GetClassNameW(h, buf, 64);
    return buf;
}
std::wstring TextOf(HWND h) {
    wchar_t buf[64] = {};
    GetWindowTextW(h, buf, 64);
    return buf;
}

TEST_F(SoundWindowTest, AHiddenWindowOfFourLabelledRowsEachWholeAndApart) {
    Open({Card()});
    HWND w = form->Handle();
    EXPECT_EQ(L"TSoundControlForm", ClassOf(w));
    EXPECT_EQ(L"Sound Control", TextOf(w));
    EXPECT_FALSE(IsWindowVisible(w)) << "expected the window hidden";
    EXPECT_TRUE(GetWindowLongW(w, GWL_EXSTYLE) & WS_EX_TOPMOST);
    RECT client;
    GetClientRect(w, &client);
    const wchar_t* const captions[] = {L"General", L"Wave", L"CD", L"Mic"};
    LONG above = 0;
    for (std::size_t k = 0; k < kSoundLineCount; ++k) {
        const auto row = static_cast<SoundLine>(k);
        SCOPED_TRACE(testing::Message() << "row " << k);
        EXPECT_EQ(captions[k], form->CheckBoxOf(row).Text());
        // Slider, box and level bar from left to right, each whole inside the window.
        const RECT parts[] = {form->TrackBarOf(row).BoundsInParent(),
                              form->CheckBoxOf(row).BoundsInParent(),
                              form->ProgressBarOf(row).BoundsInParent()};
        for (int p = 0; p < 3; ++p) {
            RECT inside;
            IntersectRect(&inside, &parts[p], &client);
            EXPECT_TRUE(EqualRect(&inside, &parts[p])) << "part " << p << " cut off";
            if (p > 0) {
                EXPECT_LE(parts[p - 1].right, parts[p].left) << "part " << p << " overlaps";
            }
        }
        // Each row's box and bar below the row above.
        EXPECT_GE(std::min(parts[1].top, parts[2].top), above);
        above = std::max(parts[1].bottom, parts[2].bottom);
    }
}

TEST_F(SoundWindowTest, RowsShowTheMixerAndWithoutItOnlyTheSliderMoves) {
    Open({Card()});
    const struct {
        SoundLine row;
        bool slider, check, level;
        int max, position;
        bool checked;
    } rows[] = {
        {SoundLine::General, true, true, false, 32, 32, true},
        {SoundLine::Wave, true, true, true, 65535, 1000, true},
        {SoundLine::CD, false, true, false, 10, 0, true},
        {SoundLine::Mic, true, true, true, 65535, 0, false},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(static_cast<int>(r.row));
        EXPECT_EQ(r.slider, form->TrackBarOf(r.row).Visible());
        EXPECT_EQ(r.check, form->CheckBoxOf(r.row).Visible());
        EXPECT_EQ(r.level, form->ProgressBarOf(r.row).Visible());
        EXPECT_EQ(r.max, form->TrackBarOf(r.row).Max());
        EXPECT_EQ(r.position, Pos(r.row));
        EXPECT_EQ(r.checked, form->CheckBoxOf(r.row).Checked());
        if (r.level) {
            EXPECT_EQ(kLevelMax, form->ProgressBarOf(r.row).Max());
        }
    }
    EXPECT_EQ(300, form->ProgressBarOf(SoundLine::Wave).Position());
    EXPECT_TRUE(mixer.writes.empty());

    form.reset();
    Open({});
    for (SoundLine row : {SoundLine::General, SoundLine::Wave, SoundLine::CD, SoundLine::Mic}) {
        EXPECT_FALSE(form->TrackBarOf(row).Visible() || form->CheckBoxOf(row).Visible() ||
                     form->ProgressBarOf(row).Visible());
    }
    const struct {
        std::uint16_t percent;
        int position;
        std::uint16_t reported;
    } bridge[] = {{45, 4, 40}, {55, 6, 60}, {250, 10, 100}, {15 * 5, 8, 80}};
    for (const auto& b : bridge) {
        form->SetGeneralVolume(b.percent);
        EXPECT_EQ(b.position, Pos(SoundLine::General)) << b.percent << "%";
        EXPECT_EQ(b.reported, form->GetGeneralVolume()) << b.percent << "%";
    }
    EXPECT_TRUE(mixer.writes.empty());
}

TEST_F(SoundWindowTest, MixerNotificationRereadsEveryRow) {
    Open({Card()});
    mixer.At(0, ControlId(SoundLine::General, false)).value = 40000;
    mixer.At(0, ControlId(SoundLine::General, true)).value = 1;
    SendMessageW(form->Handle(), MM_MIXM_CONTROL_CHANGE, 0, 0);
    EXPECT_EQ(20, Pos(SoundLine::General));
    EXPECT_FALSE(form->GeneralChecked()) << "expected the General box cleared for a muted master";
    EXPECT_EQ((std::vector<FakeMixer::Write>{{0, ControlId(SoundLine::General, false), 40940}}),
              mixer.writes);
    EXPECT_EQ(62, form->GetGeneralVolume());
}

TEST_F(SoundWindowTest, UserActionsAreWrittenToTheirLines) {
    Open({Card()});
    const std::uint32_t waveMute = ControlId(SoundLine::Wave, true);
    const std::uint32_t waveVolume = ControlId(SoundLine::Wave, false);
    HWND box = form->CheckBoxOf(SoundLine::Wave).Handle();
    SendMessageW(box, BM_CLICK, 0, 0);
    SendMessageW(box, BM_CLICK, 0, 0);
    EXPECT_EQ((std::vector<FakeMixer::Write>{{0, waveMute, 1}, {0, waveMute, 0}}), mixer.writes);

    mixer.writes.clear();
    HWND slider = Slider(SoundLine::Wave);
    SendMessageW(slider, TBM_SETPOS, TRUE, 2500);
    SendMessageW(form->Handle(), WM_HSCROLL, MAKEWPARAM(TB_THUMBPOSITION, 2500),
                 reinterpret_cast<LPARAM>(slider));
    // Letting the thumb go where it is changes nothing.
    SendMessageW(form->Handle(), WM_HSCROLL, TB_ENDTRACK, reinterpret_cast<LPARAM>(slider));
    EXPECT_EQ((std::vector<FakeMixer::Write>{{0, waveVolume, 2500}}), mixer.writes);
}

TEST_F(SoundWindowTest, LevelBarsFollowTheMetersOnlyWhileShown) {
    Open({Card()});
    mixer.At(0, form->Mixer().WaveLine()->PeakControl().dwControlID).value =
        static_cast<std::uint32_t>(-1200);
    SendMessageW(form->Handle(), WM_TIMER, 1, 0);
    EXPECT_EQ(300, form->ProgressBarOf(SoundLine::Wave).Position());
    ShowWindow(form->Handle(), SW_SHOWNOACTIVATE);
    SendMessageW(form->Handle(), WM_TIMER, 1, 0);
    EXPECT_EQ(1200, form->ProgressBarOf(SoundLine::Wave).Position());
    ShowWindow(form->Handle(), SW_HIDE);
}

// Runs the message loop for `ticks` ticks of a 20 ms thread timer of the test's own, or until
// `done` holds, and counts the timer messages that reach `window` meanwhile.
int TimerMessagesWhilePumping(HWND window, int ticks, const std::function<bool()>& done = {}) {
    const UINT_PTR reference = SetTimer(nullptr, 0, 20, nullptr);
    int seen = 0;
    int count = 0;
    // The tick limit only keeps a broken window from hanging the run.
    while (seen < ticks && !(done && done())) {
        MSG msg;
        if (!GetMessageW(&msg, nullptr, 0, 0)) {
            break;
        }
        if (!msg.hwnd && msg.message == WM_TIMER && msg.wParam == reference) {
            ++seen;
        } else if (msg.hwnd == window && msg.message == WM_TIMER) {
            ++count;
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    KillTimer(nullptr, reference);
    return count;
}

TEST_F(SoundWindowTest, TheLevelTimerRunsOnlyWhileTheWindowIsShown) {
    Open({Card()});
    const std::uint32_t meter = form->Mixer().WaveLine()->PeakControl().dwControlID;
    struct Step {
        const char* what;
        int show; // SW_HIDE or SW_SHOWNOACTIVATE
        int level;
    };
    const Step steps[] = {
        {"shown", SW_SHOWNOACTIVATE, 1200},
        {"hidden", SW_HIDE, 0},
        {"shown again", SW_SHOWNOACTIVATE, 700},
        {"hidden again", SW_HIDE, 0},
    };
    EXPECT_EQ(0, TimerMessagesWhilePumping(form->Handle(), 15)) << "expected no timer as created";
    for (const auto& s : steps) {
        ShowWindow(form->Handle(), s.show);
        if (s.show == SW_HIDE) {
            EXPECT_EQ(0, TimerMessagesWhilePumping(form->Handle(), 15))
                << s.what << ": expected no timer";
            continue;
        }
        mixer.At(0, meter).value = static_cast<std::uint32_t>(-s.level);
        const int ticks = TimerMessagesWhilePumping(form->Handle(), 1500, [&] {
            return form->ProgressBarOf(SoundLine::Wave).Position() == s.level;
        });
        EXPECT_GT(ticks, 0) << s.what;
        EXPECT_EQ(s.level, form->ProgressBarOf(SoundLine::Wave).Position())
            << s.what << ": expected the level bar to follow the meter";
    }
}

TEST_F(SoundWindowTest, DestroyingTheWindowClosesEveryMixerHandle) {
    FakeDevice unopenable = Card();
    unopenable.openFails = true;
    Open({Card(), unopenable, Card()});
    HWND w = form->Handle();
    ASSERT_EQ(2u, mixer.opened.size());
    for (const auto& o : mixer.opened) {
        EXPECT_EQ(reinterpret_cast<mixer::WindowHandle>(w), o.window);
    }
    form.reset();
    EXPECT_FALSE(IsWindow(w));
    EXPECT_EQ((std::vector<mixer::MixerHandle>{mixer.opened[0].handle, mixer.opened[1].handle}),
              mixer.closed);
}

// Handles every message waiting for this thread.
void Pump() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

TEST(SoundWindowOnSystemMixer, BridgeWritesTheMasterVolumeAndNotificationsRereadIt) {
    if (mixerGetNumDevs() == 0) {
        GTEST_SKIP() << "no mixer device (no sound server)";
    }
    win::Application::Get().Initialize();
    // A second view of the same mixer: what the window wrote, and a writer of its own.
    WinMixerPort port;
    SndControls other(port);
    other.OpenMixer(0);
    TSndControl& master = *other.GeneralLine();
    ASSERT_TRUE(master.HasVolume() && master.HasMute());
    const std::uint32_t savedVolume = master.GetVolume();
    const bool savedOn = master.IsSoundOn();
    const mixer::MixerControl volume = master.VolumeControl();

    {
        auto form = TSoundControlForm::Create();
        const int max = form->TrackBarOf(SoundLine::General).Max();
        EXPECT_EQ(SliderMaxFor(volume), max);
        for (std::uint16_t percent : {75, 0, 100, 5}) {
            SCOPED_TRACE(percent);
            form->SetGeneralVolume(percent);
            const int position = PositionForPercent(percent, max);
            const std::uint32_t got = master.GetVolume();
            EXPECT_EQ(position, SliderPositionFor(got, volume))
                << "expected the master at position " << position << ", got value " << got;
            EXPECT_EQ(PercentForPosition(position, max), form->GetGeneralVolume());
        }

        // Another writer. The mixer's notification is posted here as the mixer
        // posts it (Wine's mixer posts none); the window rereads the master.
        const int target = PositionForPercent(40, max);
        master.SetVolume(*VolumeForPosition(static_cast<std::uint32_t>(target), volume));
        PostMessageW(form->Handle(), MM_MIXM_CONTROL_CHANGE, 0, volume.dwControlID);
        Pump();
        EXPECT_EQ(target, form->TrackBarOf(SoundLine::General).Position());
        for (bool on : {false, true}) {
            master.SetSoundOn(on);
            PostMessageW(form->Handle(), MM_MIXM_CONTROL_CHANGE, 0,
                         master.MuteControl().dwControlID);
            Pump();
            EXPECT_EQ(on, form->GeneralChecked())
                << "expected the General box " << (on ? "checked" : "cleared");
        }
    }
    master.SetVolume(savedVolume);
    master.SetSoundOn(savedOn);
}

} // namespace
} // namespace fw
