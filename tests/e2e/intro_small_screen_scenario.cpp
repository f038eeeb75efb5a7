// wine-run: --screen 800x600 --cd @CD@
// The intro on an 800 x 600 screen: the window is centred on it.
#include "driver.h"
#include "logo_clips.h"

#include <gtest/gtest.h>

using namespace fwtest;

TEST(IntroSmallScreen, TheClipsPlayCentredThenTheMovieStarts) {
    ASSERT_EQ(::GetSystemMetrics(SM_CXSCREEN), 800) << "expected the run's own 800x600 screen";
    ASSERT_EQ(::GetSystemMetrics(SM_CYSCREEN), 600);
    ProgmanServer progman; // answers as on a Windows desktop
    RegisterControl(CdFolder() + L"SWF\\FLASH.OCX");
    const std::wstring folder = InstalledCopy(L"fwintro");
    const std::wstring trace = TempFile(L"trace");
    Program shell({.exe = folder + L"Fenwobble.exe", .trace = trace});

    HWND intro = WaitWindow(shell.Pid(), L"TIntroForm", L"", 60s);
    ASSERT_NE(intro, nullptr) << "expected the intro window; windows: " << DescribeWindows();
    ASSERT_TRUE(
        WaitFor([&] { return FindWindowOf(shell.Pid(), L"MCIAVI", L"", false); }, 10s, 10ms))
        << "expected the first clip opened";
    const RECT r = WindowRect(intro);
    EXPECT_EQ(r.left, 240);
    EXPECT_EQ(r.top, 180);
    EXPECT_EQ(r.right - r.left, 320);
    EXPECT_EQ(r.bottom - r.top, 240);

    if (HostAvailable()) {
        // The clip fills the window: its ground at the window's corners.
        const std::string image = HostScratch() + "/small.png";
        ASSERT_TRUE(HostScreenshot(image));
        const auto c =
            HostImagePixels(image, {{r.left + 4, r.top + 4}, {r.right - 5, r.bottom - 5}});
        ASSERT_EQ(c.size(), 2u);
        const COLORREF blue =
            RGB(fw::clips::kPelkClip.background.r, fw::clips::kPelkClip.background.g,
                fw::clips::kPelkClip.background.b);
        const COLORREF green =
            RGB(fw::clips::kBrumvaleClip.background.r, fw::clips::kBrumvaleClip.background.g,
                fw::clips::kBrumvaleClip.background.b);
        for (COLORREF got : c) {
            EXPECT_TRUE(ColoursAlike(got, blue, 24) || ColoursAlike(got, green, 24))
                << "expected a clip's ground at the window's corners, got " << DescribeColour(got);
        }
    }

    ASSERT_TRUE(WaitFor(
        [&] {
            return TraceMatching(trace, {L"put", L"FlashVars"}).size() >= 2;
        },
        30s))
        << "expected the movie started at the intro's end";
    const auto vars = TraceMatching(trace, {L"put", L"FlashVars"});
    ASSERT_FALSE(vars.empty());
    EXPECT_TRUE(vars.back().at(2).ends_with(L"&EscIntro=0"));
    EXPECT_FALSE(::IsWindowVisible(intro)) << "expected the intro window hidden";
}
