// wine-shares: sound
// The intro: the two logo clips in the small window on top, then the movie;
// skipping, a key after the end, the removal run and a missing clip.
#include "driver.h"
#include "logo_clips.h"

#include <gtest/gtest.h>

#include <mmsystem.h>

#include <filesystem>

using namespace fwtest;

namespace {

constexpr const char* kClipPattern = "logo_[a-z]+\\.avi";

COLORREF Colour(fw::clips::Rgb c) {
    return RGB(c.r, c.g, c.b);
}

bool SeenOpen(const std::set<std::string>& seen, const std::string& clip) {
    for (const auto& path : seen) {
        if (path.size() >= clip.size() &&
            path.compare(path.size() - clip.size(), clip.size(), clip) == 0) {
            return true;
        }
    }
    return false;
}

std::string Join(const std::set<std::string>& seen) {
    std::string out;
    for (const auto& s : seen) {
        out += s + "; ";
    }
    return out.empty() ? "nothing" : out;
}

// What a screenshot shows of the intro window: the colours at its four
// corners (always the clip's ground) and along the paths the shapes take.
struct IntroShot {
    std::vector<COLORREF> corners;
    std::vector<COLORREF> path;
};

class Intro : public ::testing::Test {
protected:
    void SetUp() override {
        RegisterControl(CdFolder() + L"SWF\\FLASH.OCX");
        RegDeleteTree(HKEY_LOCAL_MACHINE, kProgramKey);
        folder_ = InstalledCopy(L"fwintro");
    }

    void Start(const std::wstring& args = L"") {
        trace_ = TempFile(L"trace");
        shell_ = std::make_unique<Program>(
            StartArgs{.exe = folder_ + L"Fenwobble.exe", .args = args, .trace = trace_});
    }

    std::size_t MovieStarts() const { return TraceMatching(trace_, {L"put", L"Movie"}).size(); }

    // The movie's start is complete once its parameters are handed over.
    std::size_t CompleteStarts() const {
        return TraceMatching(trace_, {L"put", L"FlashVars"}).size();
    }

    std::wstring LastFlashVars() const {
        const auto vars = TraceMatching(trace_, {L"put", L"FlashVars"});
        return vars.empty() ? L"" : vars.back().at(2);
    }

    // A clip's device window is there from its opening to its closing.
    bool ClipDeviceOpen() const {
        return FindWindowOf(shell_->Pid(), L"MCIAVI", L"", false) != nullptr;
    }

    IntroShot Shoot(const RECT& r) {
        static int n = 0;
        const std::string image = HostScratch() + "/intro" + std::to_string(++n) + ".png";
        IntroShot shot;
        if (!HostScreenshot(image)) {
            return shot;
        }
        std::vector<POINT> points = {{r.left + 4, r.top + 4},
                                     {r.right - 5, r.top + 4},
                                     {r.left + 4, r.bottom - 5},
                                     {r.right - 5, r.bottom - 5}};
        // The disc crosses the middle row; the square goes along the diagonal.
        for (int i = 0; i < 32; ++i) {
            points.push_back({r.left + 10 + i * 300 / 32, r.top + 120});
        }
        for (int i = 0; i < 32; ++i) {
            points.push_back({r.left + 50 + i * 220 / 32, r.top + 50 + i * 140 / 32});
        }
        const auto colours = HostImagePixels(image, points);
        if (colours.size() == points.size()) {
            shot.corners.assign(colours.begin(), colours.begin() + 4);
            shot.path.assign(colours.begin() + 4, colours.end());
        }
        return shot;
    }

    // True when the shot shows the clip: its ground at every corner and its
    // shape somewhere on the shape's path.
    static bool Shows(const IntroShot& shot, const fw::clips::LogoClip& clip, int pathFrom,
                      int pathTo) {
        if (shot.corners.empty()) {
            return false;
        }
        for (COLORREF c : shot.corners) {
            if (!ColoursAlike(c, Colour(clip.background), 24)) {
                return false;
            }
        }
        for (int i = pathFrom; i < pathTo; ++i) {
            if (ColoursAlike(shot.path[i], Colour(clip.shape), 24)) {
                return true;
            }
        }
        return false;
    }

    static std::string Describe(const IntroShot& shot) {
        std::string out;
        for (COLORREF c : shot.corners) {
            out += DescribeColour(c) + " ";
        }
        return out.empty() ? "no screenshot" : "corners " + out;
    }

    // Program Manager answers, as on a Windows desktop, so no other program's
    // window comes up over the movie.
    std::unique_ptr<ProgmanServer> progman_ = std::make_unique<ProgmanServer>();
    std::wstring folder_;
    std::wstring trace_;
    std::unique_ptr<Program> shell_;
};

} // namespace

TEST_F(Intro, BothClipsPlayInTheCentredWindowThenTheMovieShows) {
    ASSERT_TRUE(HostAvailable()) << "the screenshots need the host bridge";
    HostFileWatch opened(kClipPattern, 20s);
    ASSERT_TRUE(opened.Started());
    Start();
    HWND intro = WaitWindow(shell_->Pid(), L"TIntroForm", L"", 60s);
    ASSERT_NE(intro, nullptr) << "expected the intro window; windows: " << DescribeWindows();
    // The window is placed before its first clip opens.
    ASSERT_TRUE(WaitFor([&] { return ClipDeviceOpen(); }, 10s, 10ms))
        << "expected the first clip opened";
    const RECT r = WindowRect(intro);
    EXPECT_EQ(r.left, 352);
    EXPECT_EQ(r.top, 264);
    EXPECT_EQ(r.right - r.left, 320);
    EXPECT_EQ(r.bottom - r.top, 240);
    EXPECT_TRUE(::GetWindowLongW(intro, GWL_EXSTYLE) & WS_EX_TOPMOST) << "expected it on top";

    // Screenshots until each clip has been seen, or the intro is over.
    bool sawFirst = false, sawSecond = false, secondBeforeFirst = false;
    IntroShot last;
    WaitFor(
        [&] {
            if (!::IsWindowVisible(intro)) {
                return true;
            }
            last = Shoot(r);
            if (Shows(last, fw::clips::kPelkClip, 0, 32)) {
                sawFirst = true;
                secondBeforeFirst = secondBeforeFirst || sawSecond;
            }
            sawSecond = sawSecond || Shows(last, fw::clips::kBrumvaleClip, 32, 64);
            return false;
        },
        30s, 10ms);
    EXPECT_TRUE(sawFirst) << "expected a blue ground with the yellow disc; last " << Describe(last);
    EXPECT_TRUE(sawSecond) << "expected a green ground with the red square; last "
                           << Describe(last);
    EXPECT_FALSE(secondBeforeFirst) << "expected the blue clip first";

    ASSERT_TRUE(WaitFor([&] { return MovieStarts() >= 2 && CompleteStarts() >= 2; }, 30s))
        << "expected the movie started again at the intro's end";
    EXPECT_FALSE(::IsWindowVisible(intro)) << "expected the intro window hidden";
    const std::wstring vars = LastFlashVars();
    EXPECT_TRUE(vars.ends_with(L"&EscIntro=0"))
        << "expected EscIntro=0, got FlashVars " << std::string(vars.begin(), vars.end());
    HWND main = FindWindowOf(shell_->Pid(), L"TMainForm", L"");
    ASSERT_NE(main, nullptr) << "expected the main window shown";
    ASSERT_NE(PlayerWindow(main), nullptr);
    EXPECT_TRUE(WaitFor([&] { return ::IsWindowVisible(::GetParent(PlayerWindow(main))); }, 10s))
        << "expected the player shown";

    const auto seen = opened.Seen();
    EXPECT_TRUE(SeenOpen(seen, "logo_pelk.avi")) << "opened: " << Join(seen);
    EXPECT_TRUE(SeenOpen(seen, "logo_brumvale.avi")) << "opened: " << Join(seen);

    // A key after the end is no skip: the movie is not started a third time.
    PostKey(main, VK_ESCAPE);
    PostKey(main, VK_SPACE);
    ::Sleep(1500);
    EXPECT_EQ(MovieStarts(), 2u) << "expected no start after the intro's end";
    EXPECT_TRUE(shell_->Running());
}

TEST_F(Intro, SpaceDuringTheFirstClipGoesStraightToTheMovie) {
    ASSERT_TRUE(HostAvailable()) << "the file watch needs the host bridge";
    HostFileWatch opened(kClipPattern, 20s);
    ASSERT_TRUE(opened.Started());
    Start();
    HWND intro = WaitWindow(shell_->Pid(), L"TIntroForm", L"", 60s);
    ASSERT_NE(intro, nullptr);
    ASSERT_TRUE(WaitFor([&] { return ClipDeviceOpen(); }, 10s, 10ms))
        << "expected the first clip opened";
    PostKey(intro, VK_SPACE);

    std::wstring boxText;
    ASSERT_TRUE(WaitFor(
        [&] {
            if (auto box = WaitMessageBox(shell_->Pid(), 0ms)) {
                boxText = box->text;
            }
            return MovieStarts() >= 2 && CompleteStarts() >= 2;
        },
        20s, 10ms))
        << "expected the movie started at the skip";
    EXPECT_TRUE(boxText.empty()) << "expected no message, got "
                                 << std::string(boxText.begin(), boxText.end());
    EXPECT_TRUE(WaitFor([&] { return !::IsWindowVisible(intro); }, 5s))
        << "expected the intro window hidden";
    const std::wstring vars = LastFlashVars();
    EXPECT_TRUE(vars.ends_with(L"&EscIntro=-1"))
        << "expected EscIntro=-1, got FlashVars " << std::string(vars.begin(), vars.end())
        << "; trace: " << [&] {
               std::wstring all;
               for (const auto& line : ReadTrace(trace_)) {
                   if (line[0] != L"call") {
                       for (const auto& f : line) {
                           all += f + L"|";
                       }
                       all += L"\n";
                   }
               }
               return std::string(all.begin(), all.end());
           }();

    // Longer than both clips together: the cut-off play's notification must
    // neither open the second clip nor start the movie again.
    // (The first clip was open too briefly for the watch to be sure to see it.)
    const auto seen = opened.Seen();
    EXPECT_FALSE(SeenOpen(seen, "logo_brumvale.avi")) << "opened: " << Join(seen);
    EXPECT_EQ(MovieStarts(), 2u) << "expected one start at creation and one at the skip";
    HWND main = FindWindowOf(shell_->Pid(), L"TMainForm", L"");
    ASSERT_NE(main, nullptr) << "expected the main window shown";
    EXPECT_TRUE(::IsWindowVisible(::GetParent(PlayerWindow(main)))) << "expected the player shown";
}

TEST_F(Intro, ARemovalRunPlaysNoClip) {
    ASSERT_TRUE(HostAvailable()) << "the file watch needs the host bridge";
    HostFileWatch opened(kClipPattern, 8s);
    ASSERT_TRUE(opened.Started());
    Start(L"-U");
    // The removal asks first; when it does, the answer is no and the program ends.
    HWND intro = nullptr;
    std::optional<MessageBoxInfo> question;
    ASSERT_TRUE(WaitFor(
        [&] {
            intro = FindWindowOf(shell_->Pid(), L"TIntroForm", L"");
            question = WaitMessageBox(shell_->Pid(), 0ms);
            return intro || question;
        },
        60s))
        << "expected the intro window or the removal's question; windows: " << DescribeWindows();
    if (question) {
        ASSERT_TRUE(WaitFor([&] { return ::GetDlgItem(question->hwnd, IDNO) != nullptr; }, 5s))
            << "expected a yes/no question";
        PressButton(question->hwnd, IDNO);
        EXPECT_TRUE(shell_->WaitExit(20s)) << "expected the program to end after the answer no";
    } else {
        const RECT r = WindowRect(intro);
        EXPECT_EQ(r.left, 330);
        EXPECT_EQ(r.top, 113);
        EXPECT_EQ(r.right - r.left, 312);
        EXPECT_EQ(r.bottom - r.top, 206);
    }
    const auto seen = opened.Seen();
    EXPECT_TRUE(seen.empty()) << "expected no clip opened, got " << Join(seen);
    if (shell_->Running()) {
        EXPECT_EQ(MovieStarts(), 1u) << "expected only the start during creation";
        EXPECT_TRUE(TraceMatching(trace_, {L"put", L"FlashVars"}).size() <= 1);
    }
}

TEST_F(Intro, AMissingFirstClipIsReportedThenTheMovieStarts) {
    ASSERT_TRUE(HostAvailable()) << "the file watch needs the host bridge";
    const std::wstring clip = folder_ + L"SWF\\logo_pelk.avi";
    std::filesystem::remove(std::filesystem::path(clip));
    ASSERT_FALSE(FileExists(clip));

    // What MCI itself says when asked to open the missing clip.
    MCI_OPEN_PARMSW open{};
    open.lpstrElementName = clip.c_str();
    const MCIERROR error = ::mciSendCommandW(0, MCI_OPEN, MCI_OPEN_ELEMENT | MCI_WAIT,
                                             reinterpret_cast<DWORD_PTR>(&open));
    ASSERT_NE(error, 0u) << "expected MCI to refuse the missing clip";
    wchar_t text[256] = {};
    ASSERT_TRUE(::mciGetErrorStringW(error, text, 256));
    std::wstring expected = text;
    if (expected.back() != L'.') {
        expected += L'.';
    }

    HostFileWatch opened(kClipPattern, 10s);
    ASSERT_TRUE(opened.Started());
    Start();
    auto box = WaitMessageBox(shell_->Pid(), 60s);
    ASSERT_TRUE(box.has_value()) << "expected the error box; windows: " << DescribeWindows();
    EXPECT_EQ(box->text, expected);
    EXPECT_EQ(box->caption, L"Fenwobble");
    EXPECT_EQ(MovieStarts(), 1u) << "expected the movie to wait for the box";
    PressButton(box->hwnd, IDOK);

    ASSERT_TRUE(WaitFor([&] { return MovieStarts() >= 2 && CompleteStarts() >= 2; }, 20s))
        << "expected the movie started after the box";
    const std::wstring vars = LastFlashVars();
    EXPECT_TRUE(vars.ends_with(L"&EscIntro=0"))
        << "expected EscIntro=0, got FlashVars " << std::string(vars.begin(), vars.end());
    HWND intro = FindWindowOf(shell_->Pid(), L"TIntroForm", L"", false);
    ASSERT_NE(intro, nullptr);
    EXPECT_FALSE(::IsWindowVisible(intro)) << "expected the intro window hidden";
    const auto seen = opened.Seen();
    EXPECT_FALSE(SeenOpen(seen, "logo_brumvale.avi"))
        << "expected the intro to end without the second clip; opened: " << Join(seen);
    EXPECT_EQ(MovieStarts(), 2u);
}
