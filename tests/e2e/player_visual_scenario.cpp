// wine-shares: sound
// The sample movie as a person sees it: drawn in the 800 x 600 picture, its buttons changing
// under the real X mouse and sending their commands, its volume bar following the shell.
#include "driver.h"

#include <gtest/gtest.h>

#include <sstream>

using namespace fwtest;

namespace {

// Where the movie's 800 x 600 picture stands on a 1024 x 768 screen.
constexpr int kLeft = 112;
constexpr int kTop = 84;

// Colours the movie draws with (see the sample movie's source).
constexpr COLORREF kBackground = RGB(0x1c, 0x2b, 0x4a);
constexpr COLORREF kButtonUp = RGB(0x3a, 0x5a, 0x9a);
constexpr COLORREF kButtonOver = RGB(0x67, 0x87, 0xc7);
constexpr COLORREF kButtonDown = RGB(0x0d, 0x2d, 0x6d);
constexpr COLORREF kBar = RGB(0x3c, 0xc8, 0x5a);
constexpr COLORREF kTrack = RGB(0x0e, 0x16, 0x26);

std::string Hex(COLORREF c) {
    std::ostringstream s;
    s << std::hex << "#" << int(GetRValue(c)) << "," << int(GetGValue(c)) << ","
      << int(GetBValue(c));
    return s.str();
}

// A point of the movie in screen coordinates, as xdotool wants it.
std::string At(int x, int y) {
    return std::to_string(kLeft + x) + " " + std::to_string(kTop + y);
}

COLORREF MoviePixel(int x, int y) {
    return ScreenPixel(kLeft + x, kTop + y);
}

bool WaitPixel(int x, int y, COLORREF expected, Ms timeout = 5s) {
    return WaitFor([&] { return MoviePixel(x, y) == expected; }, timeout);
}

class PlayerVisual : public ::testing::Test {
protected:
    void SetUp() override {
        RegisterControl(CdFolder() + L"SWF\\FLASH.OCX");
        RegDeleteTree(HKEY_LOCAL_MACHINE, kProgramKey);
        RegWriteString(HKEY_LOCAL_MACHINE, kProgramKey, L"", L"");
        shell_ = std::make_unique<Shell>(StartArgs{});
        ASSERT_NO_FATAL_FAILURE(shell_->WaitMovie());
        ASSERT_NO_FATAL_FAILURE(shell_->SkipIntro());
        trace_ = shell_->Trace();
        main_ = shell_->Main();
        // The button rows stand drawn once the picture is up.
        ASSERT_TRUE(WaitPixel(48, 298, kButtonUp, 10s))
            << "expected the first button drawn, got " << Hex(MoviePixel(48, 298));
        ::Sleep(300);
    }

    void TearDown() override {
        if (shell_) {
            shell_->Kill();
        }
    }

    // Program Manager answers, as on a Windows desktop, so no other program's window comes up
    // over the movie.
    std::unique_ptr<ProgmanServer> progman_ = std::make_unique<ProgmanServer>();
    std::wstring trace_;
    std::unique_ptr<Shell> shell_;
    HWND main_ = nullptr;
};

} // namespace

TEST_F(PlayerVisual, TheGameScreenStandsWhereTheMovieDrawsIt) {
    struct Probe {
        const char* what;
        int x, y;
        COLORREF expected;
    };
    const Probe probes[] = {
        {"background, top left", 2, 2, kBackground},
        {"background, bottom right", 797, 597, kBackground},
        {"background between buttons", 275, 320, kBackground},
        {"maximize button", 48, 298, kButtonUp},
        {"forget-level button", 48, 490, kButtonUp},
        {"level button", 538, 426, kButtonUp},
        {"full volume bar, its right end", 650, 235, kBar},
    };
    for (const auto& p : probes) {
        EXPECT_EQ(MoviePixel(p.x, p.y), p.expected)
            << p.what << ": expected " << Hex(p.expected) << ", got " << Hex(MoviePixel(p.x, p.y));
    }
    EXPECT_EQ(ScreenPixel(kLeft - 3, kTop + 100), RGB(0, 0, 0))
        << "expected the black window around the picture";
}

TEST_F(PlayerVisual, AButtonShowsOverAndDownAndSendsItsCommandOnRelease) {
    if (!HostAvailable()) {
        GTEST_SKIP() << "no host bridge for X mouse events";
    }
    // The "level +1" button: over, then held down, then released.
    ASSERT_EQ(Host("xdotool mousemove " + At(645, 443)).status, 0);
    EXPECT_TRUE(WaitPixel(538, 426, kButtonOver))
        << "expected the over state, got " << Hex(MoviePixel(538, 426));
    EXPECT_EQ(MoviePixel(48, 298), kButtonUp) << "expected the other buttons left up";
    ASSERT_EQ(Host("xdotool mousedown 1").status, 0);
    EXPECT_TRUE(WaitPixel(538, 426, kButtonDown))
        << "expected the down state, got " << Hex(MoviePixel(538, 426));
    EXPECT_TRUE(TraceMatching(trace_, {L"FSCommand", L"savelevel"}).empty())
        << "expected nothing sent before the release";
    ASSERT_EQ(Host("xdotool mouseup 1").status, 0);
    ASSERT_TRUE(WaitTrace(trace_, {L"FSCommand", L"savelevel", L"1"}, 10s))
        << "expected the release to send savelevel 1";
    EXPECT_TRUE(WaitPixel(538, 426, kButtonOver)) << "expected the over state after the release";
    EXPECT_TRUE(WaitFor(
        [&] { return RegReadString(HKEY_LOCAL_MACHINE, kProgramKey, L"level") == L"1"; }, 5s));

    // A second click counts on from the level the movie keeps.
    ASSERT_EQ(Host("xdotool click 1").status, 0);
    ASSERT_TRUE(WaitTrace(trace_, {L"FSCommand", L"savelevel", L"2"}, 10s));

    // Pressed on a button and released outside it: no command.
    const auto before = TraceMatching(trace_, {L"FSCommand"}).size();
    ASSERT_EQ(Host("xdotool mousedown 1 mousemove " + At(400, 580) + " mouseup 1").status, 0);
    ::Sleep(500);
    EXPECT_EQ(TraceMatching(trace_, {L"FSCommand"}).size(), before)
        << "expected a release outside the button to send nothing";
    EXPECT_TRUE(WaitPixel(538, 426, kButtonUp)) << "expected the button back up";
}

TEST_F(PlayerVisual, TheVolumeButtonsStepFromTheVolumeTheShellReports) {
    if (!HostAvailable()) {
        GTEST_SKIP() << "no host bridge for X mouse events";
    }
    // The shell reports the full volume (20): the bar is full; "-" asks for 19.
    ASSERT_TRUE(WaitTrace(trace_, {L"call", L"SetVariable", L"_root.currentvolume", L"20"}, 10s));
    ASSERT_EQ(Host("xdotool mousemove " + At(222, 235) + " click 1").status, 0);
    ASSERT_TRUE(WaitTrace(trace_, {L"FSCommand", L"setvolume", L"19"}, 10s));
    // The shell sets 95 % and reports 19 back; the bar loses its last twentieth.
    ASSERT_TRUE(WaitTrace(trace_, {L"call", L"SetVariable", L"_root.currentvolume", L"19"}, 10s));
    EXPECT_TRUE(WaitPixel(650, 235, kTrack))
        << "expected the bar shortened, got " << Hex(MoviePixel(650, 235));
    EXPECT_EQ(MoviePixel(620, 235), kBar);
    ASSERT_EQ(Host("xdotool mousemove " + At(690, 235) + " click 1").status, 0);
    ASSERT_TRUE(WaitTrace(trace_, {L"FSCommand", L"setvolume", L"20"}, 10s));
    EXPECT_TRUE(WaitPixel(650, 235, kBar)) << "expected the bar full again";
}
