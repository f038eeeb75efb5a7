// The shell starts with a black, borderless main window over the whole
// screen, and ends when that window is closed.
#include "driver.h"

#include <gtest/gtest.h>

using namespace fwtest;

TEST(MainWindow, CoversTheScreenBlackAndBorderlessAndEndsWhenClosed) {
    RegisterControl(CdFolder() + L"SWF\\FLASH.OCX");
    RegWriteString(HKEY_LOCAL_MACHINE, kProgramKey, L"", L""); // registered: no offer
    Program shell({});
    HWND main = WaitWindow(shell.Pid(), L"TMainForm", L"MainForm", 20s);
    ASSERT_NE(main, nullptr) << "expected a visible TMainForm window";

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
