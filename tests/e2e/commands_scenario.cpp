// The movie's commands, sent through the stand-in player as the movie would,
// each checked where its effect shows: registry, windows, trace, messages.
#include "driver.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

using namespace fwtest;

namespace {

class Commands : public ::testing::Test {
protected:
    void SetUp() override {
        RegisterControl(CdFolder() + L"SWF\\FLASH.OCX");
        RegDeleteTree(HKEY_LOCAL_MACHINE, kProgramKey);
        folder_ = InstalledCopy(L"fwcmd");
        std::ofstream(std::filesystem::path(folder_ + L"SWF\\rtf.txt")) << "plain text\r\n";
        std::ofstream(std::filesystem::path(folder_ + L"SWF\\help.RTF"))
            << "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\\pard\\plain\\f0 Help for parents\\par}";
    }

    // Starts the shell from the installed copy and waits for its movie.
    void Start() {
        shell_ = std::make_unique<Shell>(StartArgs{.exe = folder_ + L"Fenwobble.exe"});
        ASSERT_NO_FATAL_FAILURE(shell_->WaitMovie());
        trace_ = shell_->Trace();
        main_ = shell_->Main();
    }

    // Skips the intro with Escape; the movie starts again and shows.
    void ShowMovie() { shell_->SkipIntro(); }

    // Sends a command and waits until the player has fired it.
    void Send(const std::wstring& command, const std::wstring& args) {
        ASSERT_TRUE(shell_->Send(command, args)) << "the player did not fire the command";
        // The shell handles the event inside the player's call; give it a moment.
        ::Sleep(300);
    }

    // Program Manager answers, as on a Windows desktop, so no other program's
    // window comes up over the movie.
    std::unique_ptr<ProgmanServer> progman_ = std::make_unique<ProgmanServer>();
    std::wstring folder_;
    std::wstring trace_;
    std::unique_ptr<Shell> shell_;
    HWND main_ = nullptr;
};

} // namespace

TEST_F(Commands, SaveWritesAndForgetsValuesAndTheNextStartHandsThemOver) {
    Start();
    Send(L"savecolor", L"red");
    EXPECT_EQ(RegReadString(HKEY_LOCAL_MACHINE, kProgramKey, L"color"), L"red");
    Send(L"Save Level ", L"5");
    EXPECT_EQ(RegReadString(HKEY_LOCAL_MACHINE, kProgramKey, L"Level"), L"5");
    Send(L"save\u0423\u0440\u043e\u0432\u0435\u043d\u044c", L"\u0442\u0440\u0438");
    EXPECT_EQ(RegReadString(HKEY_LOCAL_MACHINE, kProgramKey,
                            L"\u0423\u0440\u043e\u0432\u0435\u043d\u044c"),
              L"\u0442\u0440\u0438")
        << "expected Cyrillic names and texts to survive";
    Send(L"SAVEcolor", L"NaN");
    EXPECT_FALSE(RegReadString(HKEY_LOCAL_MACHINE, kProgramKey, L"color").has_value())
        << "expected nan to forget the value";
    Send(L"sav", L"x");
    EXPECT_FALSE(RegReadString(HKEY_LOCAL_MACHINE, kProgramKey, L"").value_or(L"") == L"x");
    Send(L"QUIT", L"");
    EXPECT_TRUE(shell_->WaitExit(15s)) << "expected QUIT to end the program";

    Start();
    ASSERT_TRUE(WaitTrace(trace_, {L"put", L"FlashVars"}, 10s));
    const auto vars = TraceMatching(trace_, {L"put", L"FlashVars"}).front().at(2);
    EXPECT_NE(vars.find(L"Level=5&"), std::wstring::npos);
    EXPECT_EQ(vars.find(L"color="), std::wstring::npos);
    Send(L"Quit", L"");
    EXPECT_TRUE(shell_->WaitExit(15s)) << "expected Quit to end the program";
}

TEST_F(Commands, ExecuteShowsDocumentsOpensFilesAndReportsFailures) {
    Start();
    Send(L" quit", L"");
    EXPECT_TRUE(shell_->Running()) << "expected \" quit\" to be no command";

    Send(L"execute", L"help.RTF");
    HWND viewer = WaitWindow(shell_->Pid(), L"TRtfForm", L"Родителям", 10s);
    ASSERT_NE(viewer, nullptr) << "expected the document viewer";
    const RECT r = WindowRect(viewer);
    EXPECT_EQ(r.right - r.left, 700);
    EXPECT_EQ(r.bottom - r.top, 500);
    EXPECT_EQ(r.left, (::GetSystemMetrics(SM_CXSCREEN) - 700) / 2);
    EXPECT_EQ(r.top, (::GetSystemMetrics(SM_CYSCREEN) - 500) / 2);
    HWND edit = FindChild(viewer, L"RichEdit20W");
    ASSERT_NE(edit, nullptr);
    EXPECT_NE(ControlText(edit).find(L"Help for parents"), std::wstring::npos);
    ::PostMessageW(viewer, WM_CLOSE, 0, 0);
    EXPECT_TRUE(WaitFor([&] { return !::IsWindowVisible(viewer); }, 5s));

    Send(L"execute", L"rtf.txt");
    HWND notepad = WaitWindow(0, L"Notepad", L"", 20s);
    EXPECT_NE(notepad, nullptr) << "expected the text file opened through the shell; windows: "
                                << DescribeWindows() << " message: " << [&] {
                                       auto box = WaitMessageBox(shell_->Pid(), 1s);
                                       const std::wstring t = box ? box->text : L"";
                                       if (box) {
                                           PressButton(box->hwnd, IDOK);
                                       }
                                       return std::string(t.begin(), t.end());
                                   }();
    if (notepad) {
        ::PostMessageW(notepad, WM_CLOSE, 0, 0);
    }

    Send(L"execute", L"missing.exe");
    auto box = WaitMessageBox(shell_->Pid(), 10s);
    ASSERT_TRUE(box.has_value());
    EXPECT_EQ(box->text, L"Ошибка 2 вызова внешней программы");
    EXPECT_EQ(box->caption, L"Fenwobble");
    PressButton(box->hwnd, IDOK);
    EXPECT_TRUE(shell_->Running()) << "expected the movie to go on";
}

TEST_F(Commands, DisplayModesPlaceTheControlAndMinimizeHidesTheProgram) {
    Start();
    ShowMovie();
    const int sw = ::GetSystemMetrics(SM_CXSCREEN);
    const int sh = ::GetSystemMetrics(SM_CYSCREEN);

    auto lastRects = [&] {
        const auto rects = TraceMatching(trace_, {L"rects"});
        return rects.empty() ? TraceLine{} : rects.back();
    };
    Send(L"maximize", L"");
    EXPECT_EQ(lastRects(),
              (TraceLine{L"rects", L"0", L"0", std::to_wstring(sw), std::to_wstring(sh)}));
    EXPECT_FALSE(TraceMatching(trace_, {L"verb", L"-1"}).empty()) << "expected OLEIVERB_SHOW";

    Send(L"normalize", L"");
    const RECT host = WindowRect(::GetParent(PlayerWindow(main_)));
    EXPECT_EQ(host.left, (sw - 800) / 2);
    EXPECT_EQ(host.top, (sh - 600) / 2);
    EXPECT_EQ(host.right - host.left, 800);
    EXPECT_EQ(host.bottom - host.top, 600);

    Send(L"cursor", L"WAIT");
    Send(L"cursor", L"busy");
    Send(L"cursor", L"norm");
    EXPECT_TRUE(shell_->Running());

    Send(L"minimize", L"");
    EXPECT_TRUE(WaitFor([&] { return !::IsWindowVisible(main_); }, 5s))
        << "expected the main window hidden with the application minimised";
}

// Restoring the minimised program, as the taskbar does, brings the movie back
// where it was in either display mode, not a black screen.
TEST_F(Commands, RestoreAfterMinimizeShowsTheMovieAsItWas) {
    Start();
    ShowMovie();
    const int sw = ::GetSystemMetrics(SM_CXSCREEN);
    const int sh = ::GetSystemMetrics(SM_CYSCREEN);
    HWND app = FindWindowOf(shell_->Pid(), L"FenwobbleApplication", L"", false);
    ASSERT_NE(app, nullptr) << "expected the application window; windows: " << DescribeWindows();
    HWND host = ::GetParent(PlayerWindow(main_));

    struct Mode {
        const wchar_t* command;
        RECT expected;
    };
    const Mode modes[] = {
        {L"normalize",
         {(sw - 800) / 2, (sh - 600) / 2, (sw - 800) / 2 + 800, (sh - 600) / 2 + 600}},
        {L"maximize", {0, 0, sw, sh}},
    };
    for (const Mode& mode : modes) {
        SCOPED_TRACE(std::string(mode.command, mode.command + wcslen(mode.command)));
        Send(mode.command, L"");
        ::Sleep(500);
        const RECT& r = mode.expected;
        std::vector<POINT> points;
        for (int i = 1; i <= 3; ++i) {
            for (int j = 1; j <= 3; ++j) {
                points.push_back(
                    {r.left + (r.right - r.left) * i / 4, r.top + (r.bottom - r.top) * j / 4});
            }
        }
        std::vector<COLORREF> before;
        for (const POINT& p : points) {
            before.push_back(ScreenPixel(p.x, p.y));
        }

        Send(L"minimize", L"");
        ASSERT_TRUE(WaitFor([&] { return !::IsWindowVisible(main_); }, 5s));
        ::SendMessageW(app, WM_SYSCOMMAND, SC_RESTORE, 0);
        ASSERT_TRUE(WaitFor([&] { return ::IsWindowVisible(main_) != FALSE; }, 5s))
            << "expected the main window back after the restore";
        EXPECT_TRUE(WaitFor([&] { return ::IsWindowVisible(host) != FALSE; }, 5s))
            << "expected the movie visible after the restore";
        const RECT got = WindowRect(host);
        EXPECT_TRUE(EqualRect(&got, &r))
            << "expected the movie at " << r.left << "," << r.top << " " << r.right - r.left << "x"
            << r.bottom - r.top << ", got " << got.left << "," << got.top << " "
            << got.right - got.left << "x" << got.bottom - got.top;
        const bool same = WaitFor(
            [&] {
                for (std::size_t i = 0; i < points.size(); ++i) {
                    if (!ColoursAlike(ScreenPixel(points[i].x, points[i].y), before[i], 8)) {
                        return false;
                    }
                }
                return true;
            },
            5s);
        EXPECT_TRUE(same) << "expected the screen to show the movie as before the minimise";
    }
}

TEST_F(Commands, ARightClickNeverReachesThePlayer) {
    if (!HostAvailable()) {
        GTEST_SKIP() << "no host bridge for real X mouse events";
    }
    Start();
    ShowMovie();
    ::Sleep(500);
    const RECT r = WindowRect(PlayerWindow(main_));
    const std::string x = std::to_string((r.left + r.right) / 2);
    const std::string y = std::to_string((r.top + r.bottom) / 2);
    const POINT centre{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    ASSERT_EQ(::WindowFromPoint(centre), PlayerWindow(main_))
        << "expected the player on top at the click point, found " << [&] {
               const std::wstring c = ClassName(::WindowFromPoint(centre));
               return std::string(c.begin(), c.end());
           }();
    const auto click = Host("xdotool mousemove " + x + " " + y + " click 3 sleep 0.3 click 1");
    ASSERT_EQ(click.status, 0) << click.output;
    EXPECT_TRUE(WaitTrace(trace_, {L"mouse", L"WM_LBUTTONDOWN"}, 10s))
        << "expected the left click to reach the player";
    EXPECT_TRUE(WaitTrace(trace_, {L"mouse", L"WM_LBUTTONUP"}, 5s));
    EXPECT_TRUE(TraceMatching(trace_, {L"mouse", L"WM_RBUTTONDOWN"}).empty())
        << "expected no right-button press at the player";
}
