// Printing the window's picture: how the picture is composed from the screen, and the print
// job on the default printer (skipped where the system has none).

#include "clock/print_window.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <winspool.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

// The window under test shows four quarters of known colours, none of them red or black.
constexpr COLORREF kTopLeft = RGB(0, 0, 255);
constexpr COLORREF kTopRight = RGB(0, 255, 0);
constexpr COLORREF kBottomLeft = RGB(255, 255, 0);
constexpr COLORREF kBottomRight = RGB(0, 255, 255);
constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kBlack = RGB(0, 0, 0);

LRESULT CALLBACK QuartersProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_PAINT) {
        PAINTSTRUCT ps;
        HDC dc = ::BeginPaint(hwnd, &ps);
        RECT client;
        ::GetClientRect(hwnd, &client);
        const int w = client.right, h = client.bottom;
        const struct {
            RECT r;
            COLORREF c;
        } parts[] = {{{0, 0, w / 2, h / 2}, kTopLeft},
                     {{w / 2, 0, w, h / 2}, kTopRight},
                     {{0, h / 2, w / 2, h}, kBottomLeft},
                     {{w / 2, h / 2, w, h}, kBottomRight}};
        for (const auto& p : parts) {
            HBRUSH brush = ::CreateSolidBrush(p.c);
            ::FillRect(dc, &p.r, brush);
            ::DeleteObject(brush);
        }
        ::EndPaint(hwnd, &ps);
        return 0;
    }
    return ::DefWindowProcW(hwnd, msg, wp, lp);
}

// A borderless window at the screen's top-left corner whose client area is width x height.
// One window serves every case: without a window manager each destruction waits for X.
class QuartersWindow {
public:
    QuartersWindow(int width, int height) {
        static const HWND shared = [] {
            WNDCLASSW wc{};
            wc.lpfnWndProc = QuartersProc;
            wc.hInstance = ::GetModuleHandleW(nullptr);
            wc.lpszClassName = L"FwPrintTestQuarters";
            ::RegisterClassW(&wc);
            return ::CreateWindowExW(WS_EX_TOPMOST, L"FwPrintTestQuarters", L"print test",
                                     WS_POPUP | WS_VISIBLE, 0, 0, 100, 100, nullptr, nullptr,
                                     ::GetModuleHandleW(nullptr), nullptr);
        }();
        hwnd_ = shared;
        EXPECT_NE(hwnd_, nullptr);
        ::SetWindowPos(hwnd_, HWND_TOPMOST, 0, 0, width, height, SWP_SHOWWINDOW);
        ::InvalidateRect(hwnd_, nullptr, TRUE);
        ::UpdateWindow(hwnd_);
        // Let the display catch up with what the window drew.
        for (int i = 0; i < 20; ++i) {
            MSG msg;
            while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
                ::DispatchMessageW(&msg);
            }
            ::Sleep(10);
        }
        ::GdiFlush();
        RECT client{};
        ::GetClientRect(hwnd_, &client);
        EXPECT_EQ(client.right, width);
        EXPECT_EQ(client.bottom, height);
    }
    HWND get() const { return hwnd_; }

private:
    HWND hwnd_ = nullptr;
};

// The picture's pixels, top row first.
class Pixels {
public:
    Pixels(HBITMAP bitmap, int width, int height) : width_(width), data_(width * height) {
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof(info.bmiHeader);
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        HDC screen = ::GetDC(nullptr);
        EXPECT_EQ(::GetDIBits(screen, bitmap, 0, height, data_.data(), &info, DIB_RGB_COLORS),
                  height);
        ::ReleaseDC(nullptr, screen);
    }
    COLORREF At(int x, int y) const {
        const DWORD v = data_[static_cast<std::size_t>(y) * width_ + x];
        return RGB((v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF);
    }
    int Count(COLORREF c, int x0, int y0, int x1, int y1) const {
        int n = 0;
        for (int y = y0; y < y1; ++y) {
            for (int x = x0; x < x1; ++x) {
                n += At(x, y) == c;
            }
        }
        return n;
    }

private:
    int width_;
    std::vector<DWORD> data_;
};

struct Probe {
    int x, y;
    COLORREF expected;
};

struct ComposeCase {
    const char* name;
    int clientW, clientH;
    RECT control; // the control's rectangle in the client area
    std::vector<Probe> probes;
    RECT copied; // where the picture holds the window; red and the diagonal elsewhere
};

TEST(PrintWin, PictureCopiesTheControlsRectangleOverRedAndDiagonal) {
    // The four quarters of an 800 x 600 window, each at its corners.
    const std::vector<Probe> kQuartersWhole = {{0, 0, kTopLeft},         {399, 299, kTopLeft},
                                               {400, 0, kTopRight},      {799, 299, kTopRight},
                                               {0, 300, kBottomLeft},    {399, 599, kBottomLeft},
                                               {400, 300, kBottomRight}, {799, 599, kBottomRight}};
    const ComposeCase cases[] = {
        // The control fills the client area: pixel for pixel.
        {"full screen", 800, 600, {0, 0, 800, 600}, kQuartersWhole, {0, 0, 800, 600}},
        // The centred 800x600 control on a 1024x768 screen: its own rectangle, pixel for pixel,
        // so the quarters' edges at 512 and 384 show at 400 and 300.
        {"centred on a larger screen",
         1024,
         768,
         {112, 84, 912, 684},
         kQuartersWhole,
         {0, 0, 800, 600}},
        // The centred control larger than a 640x480 client: what the window shows of it, in
        // its place; red and the diagonal of the whole picture show around it.
        {"client smaller than the control",
         640,
         480,
         {-80, -60, 720, 540},
         {{80, 60, kTopLeft},
          {399, 299, kTopLeft},
          {400, 60, kTopRight},
          {719, 299, kTopRight},
          {80, 300, kBottomLeft},
          {400, 539, kBottomRight},
          {719, 539, kBottomRight},
          {400, 20, kRed},
          {20, 300, kRed},
          {780, 300, kRed},
          {400, 580, kRed},
          {40, 30, kBlack},
          {760, 570, kBlack}},
         {80, 60, 720, 540}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QuartersWindow window(c.clientW, c.clientH);
        fw::win::GdiObject picture = fw::ComposeWindowPicture(window.get(), c.control);
        BITMAP bm{};
        ASSERT_NE(::GetObjectW(picture.get(), sizeof(bm), &bm), 0);
        EXPECT_EQ(bm.bmWidth, 800);
        EXPECT_EQ(bm.bmHeight, 600);
        const Pixels pixels(static_cast<HBITMAP>(picture.get()), 800, 600);
        for (const auto& p : c.probes) {
            EXPECT_EQ(pixels.At(p.x, p.y), p.expected)
                << "at (" << p.x << "," << p.y << "): expected 0x" << std::hex << p.expected
                << ", got 0x" << pixels.At(p.x, p.y);
        }
        const RECT& in = c.copied;
        EXPECT_EQ(pixels.Count(kRed, in.left, in.top, in.right, in.bottom), 0)
            << "red shows through the copy";
        EXPECT_EQ(pixels.Count(kBlack, in.left, in.top, in.right, in.bottom), 0)
            << "black shows in the copy";
        // Outside the copy only the diagonal crosses the red ground: in each row a short black
        // run where the line from (0,0) to (800,600) passes.
        for (int y = 0; y < 600; ++y) {
            if (y >= in.top && y < in.bottom) {
                continue;
            }
            const int onLine = y * 800 / 600;
            const int black = pixels.Count(kBlack, 0, y, 800, y + 1);
            const int nearLine =
                pixels.Count(kBlack, std::max(onLine - 4, 0), y, std::min(onLine + 5, 800), y + 1);
            if (black < 1 || black > 6 || nearLine != black) {
                ADD_FAILURE() << "row " << y << ": expected 1 to 6 black pixels around x=" << onLine
                              << ", got " << black << " (" << nearLine << " near the line)";
                break;
            }
        }
    }
}

TEST(PrintWin, EmptyPictureIsRefusedWithClearError) {
    QuartersWindow window(200, 100);
    const RECT rects[] = {{0, 0, 0, 600}, {10, 10, 810, 10}, {0, 0, -5, 10}};
    for (const auto& r : rects) {
        try {
            fw::ComposeWindowPicture(window.get(), r);
            ADD_FAILURE() << "expected an error for " << r.right - r.left << "x" << r.bottom - r.top
                          << ", got none";
        } catch (const fw::PrintError& e) {
            EXPECT_NE(e.Text().find(L"empty"), std::wstring::npos);
        }
    }
}

bool HasDefaultPrinter() {
    DWORD size = 0;
    ::GetDefaultPrinterW(nullptr, &size);
    return size > 0;
}

// Runs before any successful print: the process keeps the printer it first found.
TEST(PrintWin, MissingDefaultPrinterStopsBeforeAnyPicture) {
    HKEY key = nullptr;
    const wchar_t* path = L"Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows";
    // A prefix that never saw a printer may lack the key: then there is no default either.
    const LONG opened =
        ::RegOpenKeyExW(HKEY_CURRENT_USER, path, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, &key);
    ASSERT_TRUE(opened == ERROR_SUCCESS || opened == ERROR_FILE_NOT_FOUND)
        << "expected the key or none, got error " << opened;
    wchar_t saved[512] = {};
    DWORD savedSize = sizeof(saved);
    const bool hadDevice =
        key && ::RegQueryValueExW(key, L"Device", nullptr, nullptr, reinterpret_cast<BYTE*>(saved),
                                  &savedSize) == ERROR_SUCCESS;
    if (hadDevice) {
        ::RegDeleteValueW(key, L"Device");
    }
    std::wstring text;
    try {
        QuartersWindow window(200, 100);
        fw::PrintWindowPicture(window.get(), RECT{0, 0, 200, 100}, L"no printer");
    } catch (const fw::PrintError& e) {
        text = e.Text();
    }
    if (hadDevice) {
        ::RegSetValueExW(key, L"Device", 0, REG_SZ, reinterpret_cast<const BYTE*>(saved),
                         savedSize);
    }
    if (key) {
        ::RegCloseKey(key);
    }
    if (HasDefaultPrinter() == false && hadDevice) {
        ADD_FAILURE() << "the default printer was not restored";
    }
    EXPECT_EQ(text, L"There is no default printer currently selected");
}

struct PrintCase {
    const char* title;
    int clientW, clientH;
};

// Prints one landscape page per case; tests/win/print_check.sh reads the pages back.
TEST(PrintWin, PrintsOneLandscapePagePerRequest) {
    if (!HasDefaultPrinter()) {
        GTEST_SKIP() << "no default printer";
    }
    const char* tag = std::getenv("FW_PRINT_TAG");
    const std::wstring suffix = tag ? std::wstring(tag, tag + std::strlen(tag)) : L"";
    const PrintCase cases[] = {{"fwprint-full", 800, 600}, {"fwprint-small", 640, 480}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.title);
        QuartersWindow window(c.clientW, c.clientH);
        const std::wstring title = std::wstring(c.title, c.title + std::strlen(c.title)) + suffix;
        try {
            fw::PrintWindowPicture(window.get(), RECT{0, 0, 800, 600}, title);
        } catch (const fw::PrintError& e) {
            ADD_FAILURE() << "expected the page printed, got " << e.what();
        }
    }
}

} // namespace
