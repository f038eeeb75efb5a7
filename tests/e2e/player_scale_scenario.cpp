// wine-shares: sound
// A movie of known geometry in the real shell: its red rectangle lands on the exact screen
// pixels the "show all" scale gives, in the 800 x 600 picture and across the whole main window
// after "maximize", with the movie's background filling the bands the aspect leaves; and its
// edit text bound to currentvolume follows the volume the shell reports.
#include "driver.h"
#include "swf/writer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <vector>

using namespace fwtest;

namespace {

// A 640 x 400 movie (not the screen's 4:3, so both modes leave bands above and below).
constexpr int kMovieW = 640;
constexpr int kMovieH = 400;
// The red rectangle and the volume field, in the movie's pixels.
constexpr RECT kRed{100, 100, 300, 200};
constexpr RECT kField{100, 240, 400, 300};

constexpr COLORREF kBackground = RGB(0x10, 0x60, 0x30);
constexpr COLORREF kRedColour = RGB(0xff, 0x00, 0x00);

std::vector<std::uint8_t> TestMovie() {
    using namespace fw::swf;
    MovieWriter w(MovieOptions{6, kMovieW, kMovieH, 12, false});
    w.Background(Rgb{0x10, 0x60, 0x30});
    ShapeBuilder sb(1, 22);
    sb.Style(0, sb.Fill(Rgba{0xff, 0, 0, 255}), 0)
        .Rect(kRed.left * 20.0, kRed.top * 20.0, (kRed.right - kRed.left) * 20.0,
              (kRed.bottom - kRed.top) * 20.0);
    w.DefineShape(sb.Build());
    w.DefineFont(Font{2, "Arial", true, false});
    EditText field;
    field.id = 3;
    field.bounds =
        Bounds{0, (kField.right - kField.left) * 20.0, 0, (kField.bottom - kField.top) * 20.0};
    field.hasFont = true;
    field.fontId = 2;
    field.height = 800;
    field.colour = Rgba{0xff, 0xff, 0xff, 255};
    field.readOnly = true;
    field.noSelect = true;
    field.variable = "currentvolume";
    w.DefineEditText(field);
    Placement rect;
    rect.depth = 1;
    rect.character = 1;
    w.Place(rect);
    Placement text;
    text.depth = 2;
    text.character = 3;
    text.matrix = Matrix{1, 0, 0, 1, kField.left * 20.0, kField.top * 20.0};
    w.Place(text);
    w.Actions(ActionWriter().Do(Op::Stop));
    w.ShowFrame();
    return w.Finish();
}

std::string Hex(COLORREF c) {
    std::ostringstream s;
    s << std::hex << "#" << int(GetRValue(c)) << "," << int(GetGValue(c)) << ","
      << int(GetBValue(c));
    return s.str();
}

// A copy of part of the screen, row by row.
struct Shot {
    RECT area{};
    std::vector<COLORREF> pixels;
    COLORREF At(int x, int y) const {
        return pixels[static_cast<std::size_t>((y - area.top) * (area.right - area.left) +
                                               (x - area.left))];
    }
};

Shot Screenshot(RECT area) {
    Shot shot;
    shot.area = area;
    const int w = area.right - area.left;
    const int h = area.bottom - area.top;
    HDC screen = ::GetDC(nullptr);
    HDC mem = ::CreateCompatibleDC(screen);
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = -h;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HBITMAP dib = ::CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (dib && bits) {
        HGDIOBJ old = ::SelectObject(mem, dib);
        ::BitBlt(mem, 0, 0, w, h, screen, area.left, area.top, SRCCOPY);
        ::GdiFlush();
        const auto* p = static_cast<const std::uint32_t*>(bits);
        shot.pixels.reserve(static_cast<std::size_t>(w) * h);
        for (int i = 0; i < w * h; ++i) {
            const std::uint32_t v = p[i]; // 0x00RRGGBB
            shot.pixels.push_back(RGB((v >> 16) & 0xff, (v >> 8) & 0xff, v & 0xff));
        }
        ::SelectObject(mem, old);
        ::DeleteObject(dib);
    }
    ::DeleteDC(mem);
    ::ReleaseDC(nullptr, screen);
    return shot;
}

// Where the movie's picture lands in a control at (left, top) of the given size.
struct Placed {
    double scale;
    double x0;
    double y0;
    int X(double movieX) const { return static_cast<int>(std::lround(x0 + movieX * scale)); }
    int Y(double movieY) const { return static_cast<int>(std::lround(y0 + movieY * scale)); }
};

Placed ShowAll(int left, int top, int width, int height) {
    const double scale = std::min(double(width) / kMovieW, double(height) / kMovieH);
    return {scale, left + (width - kMovieW * scale) / 2, top + (height - kMovieH * scale) / 2};
}

// The first and last red pixel along a row or a column of the shot; -1 when none.
std::pair<int, int> RedRun(const Shot& s, bool row, int at) {
    int first = -1;
    int last = -1;
    const int from = row ? s.area.left : s.area.top;
    const int to = row ? s.area.right : s.area.bottom;
    for (int i = from; i < to; ++i) {
        if ((row ? s.At(i, at) : s.At(at, i)) == kRedColour) {
            if (first < 0) {
                first = i;
            }
            last = i;
        }
    }
    return {first, last};
}

// The lowest screen row the main window's surface reaches on the X screen. Without a window
// manager a maximising show leaves the surface at the size the window was created with.
int ShownBottom() {
    if (!HostAvailable()) {
        return 1 << 20;
    }
    const std::string info = Host("xwininfo -name MainForm").output;
    auto field = [&](const char* name) {
        const std::size_t at = info.find(name);
        return at == std::string::npos ? -1 : std::atoi(info.c_str() + at + std::strlen(name));
    };
    const int top = field("Absolute upper-left Y:");
    const int height = field("Height:");
    return top < 0 || height <= 0 ? 1 << 20 : top + height;
}

class PlayerScale : public ::testing::Test {
protected:
    void SetUp() override {
        const std::wstring folder = InstalledCopy(L"ScaleTest");
        {
            const auto bytes = TestMovie();
            FILE* f = _wfopen((folder + L"SWF\\Game.swf").c_str(), L"wb");
            ASSERT_NE(f, nullptr);
            ASSERT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), f), bytes.size());
            std::fclose(f);
        }
        RegisterControl(folder + L"SWF\\FLASH.OCX");
        shell_ =
            std::make_unique<Shell>(StartArgs{.exe = folder + L"Fenwobble.exe", .workDir = folder});
        ASSERT_NO_FATAL_FAILURE(shell_->WaitMovie());
        ASSERT_NO_FATAL_FAILURE(shell_->SkipIntro());
        trace_ = shell_->Trace();
        main_ = shell_->Main();
        player_ = PlayerWindow(main_);
    }

    void TearDown() override {
        if (shell_) {
            shell_->Kill();
        }
    }

    // Checks the rectangle's edges and the bands for a control placed at the given rectangle.
    void CheckPicture(const char* mode, RECT control) {
        const Placed p = ShowAll(control.left, control.top, control.right - control.left,
                                 control.bottom - control.top);
        const int cx = (p.X(kRed.left) + p.X(kRed.right)) / 2;
        const int cy = (p.Y(kRed.top) + p.Y(kRed.bottom)) / 2;
        // The picture is up once the rectangle's corners stand where this mode puts them.
        const bool drawn = WaitFor(
            [&] {
                return ScreenPixel(p.X(kRed.left) + 1, p.Y(kRed.top) + 1) == kRedColour &&
                       ScreenPixel(p.X(kRed.right) - 2, p.Y(kRed.bottom) - 2) == kRedColour &&
                       ScreenPixel(p.X(kRed.left) - 2, p.Y(kRed.top) + 1) != kRedColour &&
                       ScreenPixel(p.X(kRed.right) + 1, p.Y(kRed.bottom) - 2) != kRedColour;
            },
            10s);
        EXPECT_TRUE(drawn) << mode << ": expected the rectangle's corners in place";
        const Shot shot = Screenshot(control);
        struct Edge {
            const char* what;
            int got;
            int expected;
        };
        const auto across = RedRun(shot, true, cy);
        const auto down = RedRun(shot, false, cx);
        // The last red pixel is the one before the edge at right/bottom.
        const Edge edges[] = {
            {"left edge", across.first, p.X(kRed.left)},
            {"right edge", across.second + 1, p.X(kRed.right)},
            {"top edge", down.first, p.Y(kRed.top)},
            {"bottom edge", down.second + 1, p.Y(kRed.bottom)},
        };
        for (const auto& e : edges) {
            EXPECT_LE(std::abs(e.got - e.expected), 1)
                << mode << ", " << e.what << ": expected " << e.expected << ", got " << e.got;
        }
        // Nothing red anywhere else: the whole shot holds exactly the rectangle's pixels.
        std::size_t red = 0;
        for (COLORREF c : shot.pixels) {
            red += c == kRedColour;
        }
        const double expectedRed =
            (p.X(kRed.right) - p.X(kRed.left)) * double(p.Y(kRed.bottom) - p.Y(kRed.top));
        EXPECT_NEAR(double(red), expectedRed,
                    (p.X(kRed.right) - p.X(kRed.left)) * 2.0 +
                        (p.Y(kRed.bottom) - p.Y(kRed.top)) * 2.0)
            << mode << ": red pixels";
        // The bands the aspect leaves, above and below, and the picture's corners, in the
        // movie's background.
        const int left = control.left + 2;
        const int right = control.right - 3;
        const int bottom = control.bottom;
        EXPECT_GE(ShownBottom(), bottom)
            << mode << ": expected the main window's surface to reach the control's bottom";
        ASSERT_GT(bottom, p.Y(kMovieH) + 1) << mode << ": expected the band below in view";
        struct Probe {
            const char* what;
            int x, y;
        };
        const Probe probes[] = {
            {"band above, left", left, control.top + 1},
            {"band above, right", right, p.Y(0) - 2},
            {"band below, left", left, bottom - 2},
            {"band below, right", right, p.Y(kMovieH) + 1},
            {"picture, top left", p.X(0) + 1, p.Y(0) + 1},
            {"picture, bottom right", p.X(kMovieW) - 2, p.Y(kMovieH) - 2},
            {"left of the rectangle", p.X(kRed.left) - 3, cy},
            {"below the rectangle", cx, p.Y(kRed.bottom) + 2},
        };
        for (const auto& pr : probes) {
            HWND under = ::WindowFromPoint(POINT{pr.x, pr.y});
            const std::wstring cls = under ? ClassName(under) : L"";
            EXPECT_EQ(shot.At(pr.x, pr.y), kBackground)
                << mode << ", " << pr.what << " (" << pr.x << "," << pr.y << "): expected "
                << Hex(kBackground) << ", got " << Hex(shot.At(pr.x, pr.y))
                << " on a window of class " << std::string(cls.begin(), cls.end());
        }
    }

    // Program Manager answers, as on a Windows desktop, so no other program's window comes up
    // over the movie.
    std::unique_ptr<ProgmanServer> progman_ = std::make_unique<ProgmanServer>();
    std::wstring trace_;
    std::unique_ptr<Shell> shell_;
    HWND main_ = nullptr;
    HWND player_ = nullptr;
};

} // namespace

TEST_F(PlayerScale, TheRectangleLandsWhereShowAllPutsItInBothModes) {
    const RECT normal = WindowRect(player_);
    EXPECT_EQ(normal.right - normal.left, 800);
    EXPECT_EQ(normal.bottom - normal.top, 600);
    CheckPicture("800 x 600", normal);

    ASSERT_TRUE(Fire(main_, L"maximize", L""));
    const RECT window = WindowRect(main_);
    ASSERT_TRUE(WaitFor(
        [&] {
            const RECT r = WindowRect(player_);
            return r.right - r.left == window.right - window.left &&
                   r.bottom - r.top == window.bottom - window.top;
        },
        10s))
        << "expected the control over the whole main window";
    const RECT full = WindowRect(player_);
    EXPECT_EQ(full.right - full.left, 1024);
    EXPECT_EQ(full.bottom - full.top, 768);
    CheckPicture("full window", full);

    ASSERT_TRUE(Fire(main_, L"normalize", L""));
    ASSERT_TRUE(WaitFor(
        [&] {
            const RECT r = WindowRect(player_);
            return r.right - r.left == 800;
        },
        10s));
    CheckPicture("800 x 600 again", WindowRect(player_));
}

TEST_F(PlayerScale, TheBoundFieldShowsTheVolumeTheShellSets) {
    const RECT control = WindowRect(player_);
    const Placed p = ShowAll(control.left, control.top, 800, 600);
    const RECT field{p.X(kField.left), p.Y(kField.top), p.X(kField.right), p.Y(kField.bottom)};
    auto textPixels = [&] {
        std::size_t n = 0;
        for (COLORREF c : Screenshot(field).pixels) {
            n += c != kBackground;
        }
        return n;
    };
    const std::wstring steps[] = {L"5", L"17", L"5"};
    std::vector<std::vector<COLORREF>> shots;
    for (const auto& volume : steps) {
        const std::string v(volume.begin(), volume.end()); // digits only
        ASSERT_TRUE(Fire(main_, L"setvolume", volume));
        ASSERT_TRUE(
            WaitTrace(trace_, {L"call", L"SetVariable", L"_root.currentvolume", volume}, 10s))
            << "expected the shell to report volume " << v;
        // The report repeats each second; two more make sure the field was drawn since.
        const auto seen = TraceMatching(trace_, {L"call", L"SetVariable"}).size();
        ASSERT_TRUE(WaitFor(
            [&] {
                return TraceMatching(trace_, {L"call", L"SetVariable"}).size() >= seen + 2;
            },
            10s));
        EXPECT_GT(textPixels(), 20u) << "expected the number drawn for volume " << v;
        shots.push_back(Screenshot(field).pixels);
    }
    EXPECT_NE(shots[0], shots[1]) << "expected the field to change from 5 to 17";
    EXPECT_EQ(shots[0], shots[2]) << "expected 5 to look the same both times";
}
