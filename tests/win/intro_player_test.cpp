// wine-shares: sound
// The intro's media player over the system's MCI: opening, playing into a
// window, the completion messages and the error texts.

#include "clips/logo_clips.h"
#include "intro/MediaPlayer.h"
#include "win/application.h"
#include "win/error.h"
#include "win/strings.h"

#include "intro_test_support.h"
#include "mci_text.h"

#include <gtest/gtest.h>

#include <mmsystem.h>

#include <filesystem>
#include <string>

namespace {

std::filesystem::path ClipFolder() {
    static const std::filesystem::path dir = [] {
        wchar_t tmp[MAX_PATH];
        ::GetTempPathW(MAX_PATH, tmp);
        auto d = std::filesystem::path(tmp) /
                 ("fw_intro_player_" + std::to_string(::GetCurrentProcessId()));
        std::filesystem::create_directories(d);
        fw::clips::WriteClip(fw::clips::kPelkClip, d);
        fw::clips::WriteClip(fw::clips::kBrumvaleClip, d);
        return d;
    }();
    return dir;
}

// MCI drivers are listed in the registry; avivideo plays the clips.

using fwtest::MciErrorText;
using intro_test::HasVideoDevice;

template <typename P> bool PumpUntil(P done, DWORD limitMs = 15000) {
    return intro_test::PumpUntilWithin(done, limitMs);
}

// A plain black window for the video.
class VideoWindow {
public:
    VideoWindow() {
        WNDCLASSW wc{};
        wc.lpfnWndProc = ::DefWindowProcW;
        wc.hInstance = ::GetModuleHandleW(nullptr);
        wc.hbrBackground = static_cast<HBRUSH>(::GetStockObject(BLACK_BRUSH));
        wc.lpszClassName = L"IntroPlayerTestVideo";
        ::RegisterClassW(&wc);
        hwnd_ = ::CreateWindowExW(WS_EX_TOPMOST, wc.lpszClassName, L"video", WS_POPUP | WS_VISIBLE,
                                  100, 100, 320, 240, nullptr, nullptr, wc.hInstance, nullptr);
    }
    ~VideoWindow() { ::DestroyWindow(hwnd_); }
    HWND get() const { return hwnd_; }

private:
    HWND hwnd_;
};

fw::clips::Rgb PixelOf(HWND hwnd, int x, int y) {
    HDC dc = ::GetDC(hwnd);
    const COLORREF c = ::GetPixel(dc, x, y);
    ::ReleaseDC(hwnd, dc);
    return {GetRValue(c), GetGValue(c), GetBValue(c)};
}

std::string Show(fw::clips::Rgb c) {
    return std::to_string(c.r) + "," + std::to_string(c.g) + "," + std::to_string(c.b);
}

class IntroPlayer : public ::testing::Test {
protected:
    static void SetUpTestSuite() { fw::win::Application::Get().Initialize(); }
    static void TearDownTestSuite() {
        std::error_code ec;
        std::filesystem::remove_all(ClipFolder(), ec);
    }
    void SetUp() override {
        if (!HasVideoDevice()) {
            GTEST_SKIP() << "MCI has no avivideo device here";
        }
    }
};

TEST(IntroPlayerText, ErrorTextsAreMcisOwnOrUnknown) {
    const std::wstring kNotFound = MciErrorText(MCIERR_FILE_NOT_FOUND);
    struct Case {
        DWORD code;
        const wchar_t* expected; // nullptr: any text of MCI's own
    };
    const Case cases[] = {
        {MCIERR_FILE_NOT_FOUND, kNotFound.c_str()},
        {MCIERR_INVALID_DEVICE_ID, nullptr},
        {MCIERR_UNRECOGNIZED_COMMAND, nullptr},
        {0x7FFF, L"Unknown error code"},
        {MCIERR_CUSTOM_DRIVER_BASE + 77, L"Unknown error code"},
    };
    for (const auto& c : cases) {
        const std::wstring text = fw::TMediaPlayer::ErrorText(c.code);
        if (c.expected) {
            EXPECT_EQ(text, c.expected)
                << "code " << c.code << ": expected " << fw::win::ToUtf8(c.expected) << ", got "
                << fw::win::ToUtf8(text);
        } else {
            EXPECT_FALSE(text.empty()) << "code " << c.code;
            EXPECT_NE(text, L"Unknown error code") << "code " << c.code;
        }
    }
}

TEST_F(IntroPlayer, OpeningWhatCannotBePlayedRaisesMcisText) {
    const std::wstring kNotFound = MciErrorText(MCIERR_FILE_NOT_FOUND);
    const std::filesystem::path junk = ClipFolder() / "not_a_clip.avi";
    FILE* f = _wfopen(junk.c_str(), L"wb");
    ASSERT_NE(f, nullptr);
    fputs("RIFF this is no clip", f);
    fclose(f);
    struct Case {
        std::wstring path;
        const wchar_t* text; // nullptr: any text of MCI's own
    };
    const Case cases[] = {
        {(ClipFolder() / "missing.avi").wstring(), kNotFound.c_str()},
        {junk.wstring(), nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(fw::win::ToUtf8(c.path));
        fw::TMediaPlayer player;
        player.SetFileName(c.path);
        try {
            player.Open();
            FAIL() << "expected an error";
        } catch (const fw::win::Error& e) {
            if (c.text) {
                EXPECT_EQ(e.Text(), c.text) << "got " << e.what();
            } else {
                EXPECT_NE(e.Text(), L"") << e.what();
            }
        }
        EXPECT_FALSE(player.IsOpen());
        EXPECT_THROW(player.Play(), fw::win::Error) << "playing with nothing open";
    }
}

TEST_F(IntroPlayer, PlaysAClipIntoTheWindowAndNotifiesTheEnd) {
    struct Case {
        const fw::clips::LogoClip* clip;
        bool displayBeforeOpen;
    };
    const Case cases[] = {{&fw::clips::kPelkClip, true}, {&fw::clips::kBrumvaleClip, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.clip->fileName);
        VideoWindow window;
        fw::TMediaPlayer player;
        int notifications = 0;
        player.OnNotify = [&] { ++notifications; };
        player.SetFileName((ClipFolder() / c.clip->fileName).wstring());
        if (c.displayBeforeOpen) {
            player.SetDisplay(window.get());
        }
        ASSERT_NO_THROW(player.Open());
        ASSERT_TRUE(player.IsOpen());
        if (!c.displayBeforeOpen) {
            player.SetDisplay(window.get());
        }
        EXPECT_EQ(player.Display(), window.get());
        player.Play();
        ASSERT_TRUE(PumpUntil([&] { return notifications > 0; })) << "no notification came";
        EXPECT_EQ(notifications, 1);
        // The last frame stays in the window: its corner shows the clip's colour.
        const auto corner = PixelOf(window.get(), 4, 4);
        EXPECT_EQ(corner, c.clip->background)
            << "expected " << Show(c.clip->background) << ", got " << Show(corner);
        player.Close();
        EXPECT_FALSE(player.IsOpen());
        player.Close(); // nothing open: nothing sent
    }
}

TEST_F(IntroPlayer, ClosingAPlayingClipStillNotifies) {
    VideoWindow window;
    fw::TMediaPlayer player;
    int notifications = 0;
    player.OnNotify = [&] { ++notifications; };
    player.SetDisplay(window.get());
    player.SetFileName((ClipFolder() / fw::clips::kPelkClip.fileName).wstring());
    player.Open();
    player.Play();
    player.Close();
    EXPECT_TRUE(PumpUntil([&] { return notifications > 0; }, 5000))
        << "expected a notification for the interrupted play";
    // Reopening the same player works after a close.
    player.Open();
    EXPECT_TRUE(player.IsOpen());
}

TEST_F(IntroPlayer, OpeningAgainClosesTheClipBefore) {
    fw::TMediaPlayer player;
    player.SetFileName((ClipFolder() / fw::clips::kPelkClip.fileName).wstring());
    player.Open();
    const UINT first = player.DeviceId();
    player.SetFileName((ClipFolder() / fw::clips::kBrumvaleClip.fileName).wstring());
    player.Open();
    EXPECT_TRUE(player.IsOpen());
    // The first device is no longer open: MCI refuses commands to it.
    MCI_STATUS_PARMS status{};
    status.dwItem = MCI_STATUS_MODE;
    if (first != player.DeviceId()) {
        EXPECT_NE(::mciSendCommandW(first, MCI_STATUS, MCI_STATUS_ITEM | MCI_WAIT,
                                    reinterpret_cast<DWORD_PTR>(&status)),
                  0u);
    }
}

} // namespace
