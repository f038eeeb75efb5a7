// The shell starts with a black, borderless main window over the whole
// screen, and ends when that window is closed.
#include "driver.h"

#include <gtest/gtest.h>

using namespace fwtest;

TEST(MainWindow, CoversTheScreenBlackAndBorderlessAndEndsWhenClosed) {
    RegisterControl(CdFolder() + L"SWF\\FLASH.OCX");
    RegWriteString(HKEY_LOCAL_MACHINE, kProgramKey, L"", L""); // registered: no offer
    const std::wstring trace = TempFile(L"trace");
    Program shell({.trace = trace});
    HWND main = WaitWindow(shell.Pid(), L"TMainForm", L"MainForm", 20s);
    ASSERT_NE(main, nullptr) << "expected a visible TMainForm window";

    // The control starts from the window's stored settings and extent.
    const std::vector<TraceLine> settings = {
        {L"setting", L"WMode", L"Transparent"},
        {L"setting", L"Quality", L"High"},
        {L"setting", L"AllowScriptAccess", L"always"},
        {L"setting", L"Scale", L"ShowAll"},
        {L"extent", L"21167", L"15875"}, // 800 x 600 pixels in HIMETRIC at 96 dpi
    };
    for (const TraceLine& line : settings) {
        EXPECT_EQ(TraceMatching(trace, line).size(), 1u)
            << "expected the control handed " << std::string(line[1].begin(), line[1].end());
    }

    const LONG style = ::GetWindowLongW(main, GWL_STYLE);
    EXPECT_EQ(style & (WS_CAPTION | WS_THICKFRAME | WS_BORDER), 0)
        << "expected no caption or border, got style " << std::hex << style;
    EXPECT_TRUE(style & WS_MAXIMIZE)
        << "expected a maximised window, got style " << std::hex << style;

    const RECT r = WindowRect(main);
    const int sw = ::GetSystemMetrics(SM_CXSCREEN);
    const int sh = ::GetSystemMetrics(SM_CYSCREEN);
    EXPECT_EQ(r.left, 0);
    EXPECT_EQ(r.top, 0);
    EXPECT_EQ(r.right, sw) << "expected the window to reach the screen's right edge";
    EXPECT_EQ(r.bottom, sh) << "expected the window to reach the screen's bottom edge";

    // Black where no child covers it: the corners stay black in every mode.
    WaitFor([&] { return ScreenPixel(5, 5) == RGB(0, 0, 0); }, 5s);
    for (POINT p : {POINT{5, 5}, POINT{sw - 5, 5}, POINT{5, sh - 5}, POINT{sw - 5, sh - 5}}) {
        EXPECT_EQ(ScreenPixel(p.x, p.y), RGB(0, 0, 0)) << "expected black at " << p.x << "," << p.y;
    }

    ::PostMessageW(main, WM_CLOSE, 0, 0);
    EXPECT_TRUE(shell.WaitExit(15s)) << "expected the program to end after its window closed";
}
