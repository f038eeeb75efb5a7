#pragma once
// Shared by the sound scenarios: the shell's hidden sound window read from
// outside (its first slider and the "General" check box), the movie's
// "setvolume" and what the movie is told of the volume.
#include "driver.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <cmath>
#include <string>

namespace fwtest {

// Halves go to the even neighbour.
inline long long HalfEven(double v) {
    return std::llrint(v); // the default rounding mode is to nearest, ties to even
}

inline LRESULT Ask(HWND control, UINT msg, WPARAM wp = 0, LPARAM lp = 0) {
    DWORD_PTR result = 0;
    ::SendMessageTimeoutW(control, msg, wp, lp, SMTO_ABORTIFHUNG, 5000, &result);
    return static_cast<LRESULT>(result);
}

// The slider of the first row: the topmost one.
inline HWND FirstSlider(HWND form) {
    HWND best = nullptr;
    LONG bestTop = 0;
    for (HWND h = ::FindWindowExW(form, nullptr, TRACKBAR_CLASSW, nullptr); h;
         h = ::FindWindowExW(form, h, TRACKBAR_CLASSW, nullptr)) {
        const RECT r = WindowRect(h);
        if (!best || r.top < bestTop) {
            best = h;
            bestTop = r.top;
        }
    }
    return best;
}

inline HWND CheckBoxNamed(HWND form, const std::wstring& caption) {
    return ::FindWindowExW(form, nullptr, L"Button", caption.c_str());
}

struct VolumeCase {
    const wchar_t* argument;
    double share; // of the slider's range
};

// "setvolume" N asks for N of 20.
inline const VolumeCase kVolumeCases[] = {
    {L"15", 0.75}, {L"0", 0.0}, {L"20", 1.0}, {L"10", 0.5}, {L"7", 0.35}, {L"20", 1.0},
};

// The shell started from an installed copy, its movie shown after the intro.
class SoundShell : public ::testing::Test {
protected:
    void SetUp() override {
        RegisterControl(CdFolder() + L"SWF\\FLASH.OCX");
        RegDeleteTree(HKEY_LOCAL_MACHINE, kProgramKey);
        folder_ = InstalledCopy(L"fwsound");
        shell_ = std::make_unique<Shell>(StartArgs{.exe = folder_ + L"Fenwobble.exe"});
        ASSERT_NO_FATAL_FAILURE(shell_->WaitMovie());
        ASSERT_NO_FATAL_FAILURE(shell_->SkipIntro());
        trace_ = shell_->Trace();
        main_ = shell_->Main();
        sound_ = FindWindowOf(shell_->Pid(), L"TSoundControlForm", L"", false);
        ASSERT_NE(sound_, nullptr) << "expected the sound window";
        slider_ = FirstSlider(sound_);
        ASSERT_NE(slider_, nullptr) << "expected the sound window's sliders";
    }

    int Position() const { return static_cast<int>(Ask(slider_, TBM_GETPOS)); }
    int Max() const { return static_cast<int>(Ask(slider_, TBM_GETRANGEMAX)); }

    // The volume the movie was told last, or -1.
    int MovieVolume() const {
        const auto told = TraceMatching(trace_, {L"call", L"SetVariable", L"_root.currentvolume"});
        return told.empty() ? -1 : std::stoi(told.back().at(3));
    }

    // The movie's "setvolume"; true when the player fired it.
    bool SetVolume(const std::wstring& args) { return shell_->Send(L"setvolume", args); }

    // The slider's place as a percentage, then on the movie's 0..20.
    static int MovieVolumeFor(int position, int max) {
        const long long percent = max <= 0 ? 0 : HalfEven(100.0 * position / max);
        return static_cast<int>(HalfEven(percent / 5.0));
    }

    // One "setvolume" from the movie: the slider goes to the case's share of
    // its range and the movie is told that place on its own 0..20 scale, which
    // lands in *told. Callers wrap it in ASSERT_NO_FATAL_FAILURE, so a player
    // that refuses the command ends the test.
    void ExpectVolumeRoad(const VolumeCase& c, int max, int* told = nullptr) {
        const std::string arg(c.argument, c.argument + wcslen(c.argument));
        ASSERT_TRUE(SetVolume(c.argument)) << "setvolume " << arg << ": the player refused";
        const int expected = static_cast<int>(HalfEven(c.share * max));
        EXPECT_TRUE(WaitFor([&] { return Position() == expected; }, 5s))
            << "setvolume " << arg << ": expected the slider at " << expected << " of " << max
            << ", got " << Position();
        const int movie = MovieVolumeFor(expected, max);
        if (told != nullptr) {
            *told = movie;
        }
        EXPECT_TRUE(WaitFor([&] { return MovieVolume() == movie; }, 10s))
            << "setvolume " << arg << ": expected the movie told " << movie << ", got "
            << MovieVolume();
    }

    // Program Manager answers, as on a Windows desktop, so no other program's
    // window comes up over the movie.
    std::unique_ptr<ProgmanServer> progman_ = std::make_unique<ProgmanServer>();
    std::wstring folder_;
    std::wstring trace_;
    std::unique_ptr<Shell> shell_;
    HWND main_ = nullptr;
    HWND sound_ = nullptr;
    HWND slider_ = nullptr;
};

} // namespace fwtest
