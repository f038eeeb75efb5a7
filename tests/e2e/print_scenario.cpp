// wine-shares: printer
// The movie's "print" on a 1024 x 768 screen: one landscape page from the PDF
// printer whose picture is the movie's own 800 x 600 rectangle, pixel for
// pixel, in both display modes; and the error box when there is no default
// printer.
#include "print_page.h"

#include <cstdio>

using namespace fwtest;

namespace {

constexpr int kPictureW = 800, kPictureH = 600;
// The sample movie's stage colour.
constexpr COLORREF kStage = RGB(0x1c, 0x2b, 0x4a);

std::string DefaultPrinterOnHost() {
    std::string name =
        Host("LC_ALL=C lpstat -d 2>/dev/null | sed -n 's/^system default destination: //p'").output;
    while (!name.empty() && (name.back() == '\n' || name.back() == '\r')) {
        name.pop_back();
    }
    return name;
}

// The PDF printer as the test platform sets it up.
std::string AddPdfPrinter(const std::string& name) {
    return "lpadmin -p '" + name +
           "' -E -v cups-pdf:/ -m lsb/usr/cups-pdf/CUPS-PDF_opt.ppd "
           "2>/dev/null || lpadmin -p '" +
           name + "' -E -v cups-pdf:/ -P /usr/share/ppd/cups-pdf/CUPS-PDF_opt.ppd";
}

} // namespace

TEST_F(PrintingShell, OneLandscapePageShowsTheMoviesRectanglePixelForPixel) {
    if (!HostAvailable()) {
        GTEST_SKIP() << "the page is read on the host";
    }
    if (DefaultPrinterOnHost().empty()) {
        GTEST_SKIP() << "no default printer on the host";
    }
    ASSERT_EQ(::GetSystemMetrics(SM_CXSCREEN), 1024);
    ASSERT_EQ(::GetSystemMetrics(SM_CYSCREEN), 768);
    StartToMovie();
    // The 800 x 600 mode, then the full window: in each the page shows the
    // control's own rectangle as the screen shows it.
    struct Mode {
        const char* name;
        const wchar_t* command;
        POINT origin;
        int width, height;
    };
    for (const Mode& m : {Mode{"800 x 600", L"normalize", {112, 84}, kPictureW, kPictureH},
                          Mode{"full window", L"maximize", {0, 0}, 1024, 768}}) {
        SCOPED_TRACE(m.name);
        ASSERT_TRUE(Fire(main_, m.command, L""));
        // The control's window stands where the mode puts it.
        const RECT expected{m.origin.x, m.origin.y, m.origin.x + m.width, m.origin.y + m.height};
        ASSERT_TRUE(WaitFor(
            [&] {
                const RECT r = WindowRect(::GetParent(PlayerWindow(main_)));
                return ::EqualRect(&r, &expected) != FALSE;
            },
            10s));
        ::Sleep(1000);
        const std::string screen = HostScratch() + "/screen.png";
        ASSERT_TRUE(HostScreenshot(screen));
        const auto page = PrintPage();
        ASSERT_TRUE(page.has_value());
        const int bw = page->box.right - page->box.left, bh = page->box.bottom - page->box.top;

        // The stage at every corner: no black ground taken in.
        const POINT corners[] = {
            {10, 10}, {m.width - 10, 10}, {10, m.height - 10}, {m.width - 10, m.height - 10}};
        std::vector<POINT> onPage;
        for (POINT c : corners) {
            onPage.push_back(page->At(c.x, c.y, m.width, m.height));
        }
        const auto corner = HostImagePixels(page->png, onPage);
        ASSERT_EQ(corner.size(), onPage.size());
        for (std::size_t i = 0; i < corner.size(); ++i) {
            EXPECT_TRUE(ColoursAlike(corner[i], kStage))
                << "expected the stage at (" << corners[i].x << "," << corners[i].y << "), got "
                << DescribeColour(corner[i]);
        }
        EXPECT_EQ(RedPixels(page->png, page->box), 0) << "expected the ground covered entirely";
        const auto seen = CompareWithScreen(*page, screen, m.width, m.height, m.origin, 1024, 768);
        EXPECT_TRUE(seen.differing.empty())
            << "expected the page to show the screen: " << JoinLines(seen.differing);
        EXPECT_GE(seen.compared, 50u) << "expected most of the picture plain enough to compare";
        EXPECT_GE(seen.screenColours, 2u) << "expected the movie's colours in the picture";
        std::printf("%s: page %dx%d, picture %dx%d at (%ld,%ld), %zu points, %zu colours\n", m.name,
                    page->width, page->height, bw, bh, page->box.left, page->box.top, seen.compared,
                    seen.screenColours);
    }
    EXPECT_TRUE(shell_->Running());
}

TEST_F(PrintingShell, WithoutADefaultPrinterTheErrorBoxShowsAndTheMovieRunsOn) {
    if (!HostAvailable()) {
        GTEST_SKIP() << "the printer is taken away on the host";
    }
    // Wine takes its printers and their default from the system at each start,
    // so the system's printer goes for this run and comes back however it ends.
    const std::string printer = DefaultPrinterOnHost();
    ASSERT_FALSE(printer.empty()) << "expected a default printer on the host to take away";
    struct Restore {
        std::string name;
        ~Restore() { Host(AddPdfPrinter(name) + " ; lpadmin -d '" + name + "'"); }
    } restore{printer};
    // Should this run be cut off before it restores the printer, the host does.
    Host("(sleep 60; LC_ALL=C lpstat -d 2>/dev/null | grep -q 'system default destination' || "
         "{ " +
         AddPdfPrinter(printer) + " ; lpadmin -d '" + printer +
         "'; }) >/dev/null 2>&1 </dev/null &");
    ASSERT_EQ(Host("lpadmin -x '" + printer + "'").status, 0);
    ASSERT_TRUE(DefaultPrinterOnHost().empty()) << "expected no default printer on the host";
    // And this prefix forgets the one it knew.
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER,
                        L"Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows", 0,
                        KEY_ALL_ACCESS, &key) == ERROR_SUCCESS) {
        ::RegDeleteValueW(key, L"Device");
        ::RegCloseKey(key);
    }

    StartToMovie();
    const auto before = PdfFiles();
    ASSERT_TRUE(Print()) << "the player refused the fire request";
    auto box = WaitMessageBox(shell_->Pid(), 30s);
    ASSERT_TRUE(box.has_value()) << "expected the error box";
    EXPECT_EQ(box->text, L"There is no default printer currently selected.");
    EXPECT_EQ(box->caption, L"Fenwobble");
    PressButton(box->hwnd, IDOK);
    EXPECT_TRUE(WaitFor([&] { return !::IsWindow(box->hwnd); }, 5s));

    // The movie runs on: its commands still work.
    ::Sleep(500);
    EXPECT_TRUE(shell_->Running());
    const auto fired = TraceMatching(trace_, {L"FSCommand"}).size();
    ASSERT_TRUE(Fire(main_, L"savecolor", L"green"));
    EXPECT_TRUE(WaitFor([&] { return TraceMatching(trace_, {L"FSCommand"}).size() > fired; }, 10s));
    EXPECT_TRUE(WaitFor(
        [&] { return RegReadString(HKEY_LOCAL_MACHINE, kProgramKey, L"color") == L"green"; }, 5s))
        << "expected the movie's commands handled after the box";
    EXPECT_EQ(PdfFiles().size(), before.size()) << "expected no page";
}
