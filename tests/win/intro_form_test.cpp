// The intro window driving the two clips through the system's MCI, with a
// stand-in for the main window that records what the intro asks of it.

#include "clips/logo_clips.h"
#include "intro/IntroFrm.h"
#include "win/application.h"
#include "win/strings.h"

#include "box_watcher.h"
#include "intro_test_support.h"
#include "mci_text.h"

#include <gtest/gtest.h>

#include <mmsystem.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;

using fwtest::MciErrorText;
using intro_test::HasVideoDevice;

template <typename P> bool PumpUntil(P done, DWORD limitMs = 20000) {
    return intro_test::PumpUntilWithin(done, limitMs);
}

// A program folder of its own: "<temp>\fw_intro_<n>\" with the clips in SWF.
fs::path ProgramFolder(const std::string& name, bool withClips) {
    wchar_t tmp[MAX_PATH];
    ::GetTempPathW(MAX_PATH, tmp);
    const fs::path dir =
        fs::path(tmp) / ("fw_intro_" + name + "_" + std::to_string(::GetCurrentProcessId()));
    fs::create_directories(dir / "SWF");
    if (withClips) {
        fw::clips::WriteClip(fw::clips::kPelkClip, dir / "SWF");
        fw::clips::WriteClip(fw::clips::kBrumvaleClip, dir / "SWF");
    }
    return dir;
}

std::wstring WithSlash(const fs::path& p) {
    return p.wstring() + L"\\";
}

struct MainWindowStandIn {
    std::vector<std::string> log;
    bool escIntro = false;
    fw::TIntroForm* intro = nullptr;

    fw::intro::IntroHost Host() {
        fw::intro::IntroHost h;
        h.hideMainWindow = [this] { log.push_back("hide main"); };
        h.showMainWindow = [this] { log.push_back("show main"); };
        h.escIntro = [this] { return escIntro; };
        h.setEscIntro = [this](bool v) { escIntro = v; };
        h.startMovie = [this] { log.push_back(escIntro ? "movie esc=-1" : "movie esc=0"); };
        h.showFlash = [this] { log.push_back("show flash"); };
        // The main window's skip, in its order.
        h.keyUp = [this](std::uint16_t& key, unsigned) {
            if ((key != VK_ESCAPE && key != VK_SPACE) || !intro || !intro->Visible()) {
                return;
            }
            escIntro = true;
            intro->CloseMediaPlayer();
            intro->Hide();
            log.push_back("show main");
            log.push_back("movie esc=-1");
            log.push_back("show flash");
        };
        return h;
    }
    int Count(const std::string& s) const {
        return static_cast<int>(std::count(log.begin(), log.end(), s));
    }
};

class IntroForm : public ::testing::Test {
protected:
    static void SetUpTestSuite() { fw::win::Application::Get().Initialize(); }
    void SetUp() override {
        if (!HasVideoDevice()) {
            GTEST_SKIP() << "MCI has no avivideo device here";
        }
    }
    static void TearDownTestSuite() {
        wchar_t tmp[MAX_PATH];
        ::GetTempPathW(MAX_PATH, tmp);
        const std::string suffix = "_" + std::to_string(::GetCurrentProcessId());
        std::error_code ec;
        for (const auto& e : fs::directory_iterator(tmp, ec)) {
            const std::string name = e.path().filename().string();
            if (name.rfind("fw_intro_", 0) == 0 && name.size() > suffix.size() &&
                name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0) {
                fs::remove_all(e.path(), ec);
            }
        }
    }
};

TEST_F(IntroForm, BothClipsPlayInACentredBlackWindowThenTheMovieStarts) {
    MainWindowStandIn main;
    const fs::path folder = ProgramFolder("full", true);
    auto intro =
        fw::TIntroForm::Create({main.Host(), std::vector<std::wstring>{}, WithSlash(folder)});
    main.intro = intro.get();

    const int cx = ::GetSystemMetrics(SM_CXSCREEN);
    const int cy = ::GetSystemMetrics(SM_CYSCREEN);
    const RECT r = intro->Bounds();
    EXPECT_EQ(r.left, (cx - 320) / 2);
    EXPECT_EQ(r.top, (cy - 240) / 2);
    EXPECT_EQ(r.right - r.left, 320);
    EXPECT_EQ(r.bottom - r.top, 240);
    if (cx == 1024 && cy == 768) {
        EXPECT_EQ(r.left, 352);
        EXPECT_EQ(r.top, 264);
    }
    const LONG style = ::GetWindowLongW(intro->Handle(), GWL_STYLE);
    const LONG exStyle = ::GetWindowLongW(intro->Handle(), GWL_EXSTYLE);
    EXPECT_EQ(style & (WS_CAPTION | WS_THICKFRAME | WS_BORDER), 0) << "no border, no caption";
    EXPECT_NE(exStyle & WS_EX_TOPMOST, 0) << "stays on top";
    EXPECT_TRUE(intro->Visible());
    EXPECT_EQ(intro->State(), fw::intro::IntroState::FirstClip);
    EXPECT_EQ(main.log, (std::vector<std::string>{"hide main"}));

    ASSERT_TRUE(PumpUntil([&] { return intro->State() == fw::intro::IntroState::SecondClip; }));
    EXPECT_EQ(intro->Player().FileName(), WithSlash(folder) + L"SWF\\logo_brumvale.avi");
    ASSERT_TRUE(PumpUntil([&] { return main.Count("show flash") > 0; }));
    EXPECT_EQ(main.log,
              (std::vector<std::string>{"hide main", "show main", "movie esc=0", "show flash"}));
    EXPECT_FALSE(intro->Visible());
    EXPECT_FALSE(intro->Player().IsOpen());

    // Esc after the end: the main window sees a hidden intro and does nothing.
    ::PostMessageW(intro->Handle(), WM_KEYUP, VK_ESCAPE, 0);
    PumpUntil([] { return false; }, 300);
    EXPECT_EQ(main.Count("movie esc=-1") + main.Count("movie esc=0"), 1);
}

// Where each intro window of this thread stood when it was first shown.
std::vector<RECT> g_shownAt;

LRESULT CALLBACK RecordFirstShow(int code, WPARAM wp, LPARAM lp) {
    const auto* m = reinterpret_cast<const CWPSTRUCT*>(lp);
    wchar_t cls[32] = {};
    if (code == HC_ACTION && m->message == WM_SHOWWINDOW && m->wParam &&
        ::GetClassNameW(m->hwnd, cls, 32) && std::wstring(cls) == L"TIntroForm") {
        RECT r{};
        ::GetWindowRect(m->hwnd, &r);
        g_shownAt.push_back(r);
    }
    return ::CallNextHookEx(nullptr, code, wp, lp);
}

// Refuses to create intro windows on this thread.
LRESULT CALLBACK RefuseIntroWindow(int code, WPARAM wp, LPARAM lp) {
    wchar_t cls[32] = {};
    if (code == HCBT_CREATEWND && ::GetClassNameW(reinterpret_cast<HWND>(wp), cls, 32) &&
        std::wstring(cls) == L"TIntroForm") {
        return 1;
    }
    return ::CallNextHookEx(nullptr, code, wp, lp);
}

TEST_F(IntroForm, TheWindowIsFirstShownInTheMiddleOfTheScreen) {
    MainWindowStandIn main;
    g_shownAt.clear();
    HHOOK hook =
        ::SetWindowsHookExW(WH_CALLWNDPROC, RecordFirstShow, nullptr, ::GetCurrentThreadId());
    ASSERT_NE(hook, nullptr);
    auto intro = fw::TIntroForm::Create(
        {main.Host(), std::vector<std::wstring>{}, WithSlash(ProgramFolder("place", true))});
    ::UnhookWindowsHookEx(hook);
    ASSERT_FALSE(g_shownAt.empty()) << "expected the window shown";
    const RECT first = g_shownAt.front();
    const int cx = ::GetSystemMetrics(SM_CXSCREEN);
    const int cy = ::GetSystemMetrics(SM_CYSCREEN);
    EXPECT_EQ(first.left, (cx - 320) / 2) << "expected it centred when first shown";
    EXPECT_EQ(first.top, (cy - 240) / 2);
    EXPECT_EQ(first.right - first.left, 320);
    EXPECT_EQ(first.bottom - first.top, 240);
}

TEST_F(IntroForm, WithoutItsWindowTheMovieStillBecomesVisible) {
    MainWindowStandIn main;
    HHOOK hook = ::SetWindowsHookExW(WH_CBT, RefuseIntroWindow, nullptr, ::GetCurrentThreadId());
    ASSERT_NE(hook, nullptr);
    std::unique_ptr<fw::TIntroForm> intro;
    std::string error;
    try {
        intro = fw::TIntroForm::Create(
            {main.Host(), std::vector<std::wstring>{}, WithSlash(ProgramFolder("nowin", true))});
    } catch (const std::exception& e) {
        error = e.what();
    }
    ::UnhookWindowsHookEx(hook);
    EXPECT_EQ(intro, nullptr);
    EXPECT_FALSE(error.empty()) << "expected the failure raised for the error box";
    EXPECT_EQ(main.log, (std::vector<std::string>{"show main", "movie esc=0", "show flash"}));
    EXPECT_FALSE(main.escIntro);
}

TEST_F(IntroForm, SpaceDuringTheFirstClipSkipsBothClips) {
    MainWindowStandIn main;
    const fs::path folder = ProgramFolder("skip", true);
    auto intro =
        fw::TIntroForm::Create({main.Host(), std::vector<std::wstring>{}, WithSlash(folder)});
    main.intro = intro.get();
    ::PostMessageW(intro->Handle(), WM_KEYUP, VK_SPACE, 0);
    ASSERT_TRUE(PumpUntil([&] { return main.Count("show flash") > 0; }));
    // Longer than both clips: any notification of the cut-off play has come.
    PumpUntil([] { return false; }, 4500);
    EXPECT_EQ(main.log,
              (std::vector<std::string>{"hide main", "show main", "movie esc=-1", "show flash"}));
    EXPECT_EQ(intro->Player().FileName(), WithSlash(folder) + L"SWF\\logo_pelk.avi")
        << "the second clip never opened";
    EXPECT_FALSE(intro->Player().IsOpen());
    EXPECT_FALSE(intro->Visible());
    EXPECT_EQ(intro->State(), fw::intro::IntroState::Ended);
}

TEST_F(IntroForm, ARemovalRunLeavesTheWindowAtItsStoredPlace) {
    for (const std::wstring first : {L"-u", L"-U"}) {
        MainWindowStandIn main;
        auto intro = fw::TIntroForm::Create(
            {main.Host(), std::vector<std::wstring>{first}, WithSlash(ProgramFolder("u", true))});
        const RECT r = intro->Bounds();
        EXPECT_EQ(r.left, 330);
        EXPECT_EQ(r.top, 113);
        EXPECT_EQ(intro->ClientWidth(), 312);
        EXPECT_EQ(intro->ClientHeight(), 206);
        EXPECT_TRUE(intro->Visible());
        EXPECT_FALSE(intro->Player().IsOpen());
        EXPECT_TRUE(intro->Player().FileName().empty()) << "no clip named";
        EXPECT_TRUE(main.log.empty());
    }
}

TEST_F(IntroForm, AMissingClipIsReportedThenTheMovieStarts) {
    const std::wstring kNotFound = MciErrorText(MCIERR_FILE_NOT_FOUND);
    MainWindowStandIn main;
    ErrorBoxWatcher watcher;
    // The data folder exists but holds no clip.
    auto intro = fw::TIntroForm::Create(
        {main.Host(), std::vector<std::wstring>{}, WithSlash(ProgramFolder("missing", false))});
    const auto texts = watcher.Texts();
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0], kNotFound.c_str()) << fw::win::ToUtf8(texts[0]);
    EXPECT_EQ(main.log,
              (std::vector<std::string>{"hide main", "show main", "movie esc=0", "show flash"}));
    EXPECT_FALSE(intro->Visible());
    EXPECT_EQ(intro->State(), fw::intro::IntroState::Ended);
}

} // namespace
