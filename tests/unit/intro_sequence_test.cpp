#include "intro/intro_sequence.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using fw::intro::IntroHost;
using fw::intro::IntroSequence;
using fw::intro::IntroState;
using fw::intro::Placement;

std::string Ascii(const std::wstring& s) {
    return std::string(s.begin(), s.end());
}

const std::wstring kFolder = L"C:\\Games\\Fenwobble\\";
const std::wstring kPelk = L"C:\\Games\\Fenwobble\\SWF\\logo_pelk.avi";
const std::wstring kBrumvale = L"C:\\Games\\Fenwobble\\SWF\\logo_brumvale.avi";

// Records every call of the intro window, its player and the main window in
// one log, in the order they happen.
class Recorder : public fw::intro::IntroPort {
public:
    std::vector<std::string> log;
    bool escIntro = true; // as left by an earlier skip: the intro must clear it
    // "open <name>" / "play <name>" -> error text thrown
    std::map<std::string, std::string> failures;
    // When set, FileName reports this instead of what was set.
    std::wstring reportedName;
    std::function<void()> duringErrorBox;

    void PlaceWindow(const Placement& p) override {
        log.push_back("place " + std::to_string(p.left) + "," + std::to_string(p.top) + " " +
                      std::to_string(p.width) + "x" + std::to_string(p.height));
    }
    void HideWindow() override { log.push_back("hide intro"); }
    void SetFileName(const std::wstring& path) override {
        name_ = path;
        log.push_back("file " + Ascii(path.substr(path.rfind(L'\\') + 1)));
    }
    std::wstring FileName() const override { return reportedName.empty() ? name_ : reportedName; }
    void SetDisplayToWindow() override { log.push_back("display"); }
    void Open() override { Step("open"); }
    void Play() override { Step("play"); }
    void Close() override { log.push_back("close"); }
    void ReportError(const std::exception& e) override {
        log.push_back(std::string("error box: ") + e.what());
        if (duringErrorBox) {
            duringErrorBox();
        }
    }

    IntroHost Host() {
        IntroHost h;
        h.hideMainWindow = [this] { log.push_back("hide main"); };
        h.showMainWindow = [this] { log.push_back("show main"); };
        h.escIntro = [this] { return escIntro; };
        h.setEscIntro = [this](bool v) {
            escIntro = v;
            log.push_back(v ? "esc=-1" : "esc=0");
        };
        h.startMovie = [this] { log.push_back(escIntro ? "movie esc=-1" : "movie esc=0"); };
        h.showFlash = [this] { log.push_back("show flash"); };
        h.keyUp = [this](std::uint16_t& key, unsigned shift) {
            log.push_back("main keyup " + std::to_string(key) + " " + std::to_string(shift));
            key = 0;
        };
        return h;
    }

    int Count(const std::string& entry) const {
        return static_cast<int>(std::count(log.begin(), log.end(), entry));
    }
    bool Has(const std::string& entry) const { return Count(entry) > 0; }

private:
    void Step(const std::string& op) {
        const std::string key = op + " " + Ascii(name_.substr(name_.rfind(L'\\') + 1));
        log.push_back(key);
        if (auto it = failures.find(key); it != failures.end()) {
            throw std::runtime_error(it->second);
        }
    }
    std::wstring name_;
};

// The main window's side of a skip key, in its order: flag, player, windows, movie.
void MainWindowSkip(Recorder& r, IntroSequence& s) {
    r.Host().setEscIntro(true);
    s.CloseMediaPlayer();
    r.HideWindow();
    r.log.push_back("show main");
    r.log.push_back("movie esc=-1");
    r.log.push_back("show flash");
}

const std::vector<std::string> kFirstClipStart = {
    "hide main",          "esc=0",   "place 352,264 320x240",
    "file logo_pelk.avi", "display", "open logo_pelk.avi",
    "play logo_pelk.avi"};

std::vector<std::string> Join(std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

TEST(IntroPlacement, CentresWithDivisionTruncatingTowardZero) {
    struct Case {
        int w, h;
        Placement expected;
    };
    const Case cases[] = {
        {1024, 768, {352, 264, 320, 240}}, {800, 600, {240, 180, 320, 240}},
        {1025, 769, {352, 264, 320, 240}}, {640, 480, {160, 120, 320, 240}},
        {320, 240, {0, 0, 320, 240}},      {319, 239, {0, 0, 320, 240}},
        {318, 237, {-1, -1, 320, 240}},    {300, 200, {-10, -20, 320, 240}},
        {0, 0, {-160, -120, 320, 240}},
    };
    for (const auto& c : cases) {
        const Placement p = fw::intro::IntroPlacement(c.w, c.h);
        EXPECT_EQ(p, c.expected) << c.w << "x" << c.h << ": expected " << c.expected.left << ","
                                 << c.expected.top << ", got " << p.left << "," << p.top;
    }
}

TEST(IntroRemovalRun, OnlyTheFirstParameterInAnyCase) {
    struct Case {
        std::vector<std::wstring> params;
        bool removal;
    };
    const Case cases[] = {
        {{}, false},           {{L"-u"}, true},          {{L"-U"}, true},
        {{L"-u", L"x"}, true}, {{L"x", L"-u"}, false},   {{L"-u "}, false},
        {{L" -u"}, false},     {{L"/u"}, false},         {{L"u"}, false},
        {{L""}, false},        {{L"-uninstall"}, false},
    };
    for (const auto& c : cases) {
        std::string shown;
        for (const auto& p : c.params) {
            shown += "[" + Ascii(p) + "]";
        }
        EXPECT_EQ(fw::intro::IsRemovalRun(c.params), c.removal) << shown;
    }
}

TEST(IntroClipPath, OneBackslashBeforeTheDataFolder) {
    EXPECT_EQ(fw::intro::ClipPath(kFolder, fw::intro::kFirstClip), kPelk);
    EXPECT_EQ(fw::intro::ClipPath(L"D:\\", fw::intro::kSecondClip), L"D:\\SWF\\logo_brumvale.avi");
}

TEST(IntroSequence, BothClipsPlayThenTheMovieStartsUnskipped) {
    Recorder r;
    IntroSequence s(r, r.Host(), kFolder);
    s.FormShow({}, 1024, 768);
    EXPECT_EQ(r.log, kFirstClipStart);
    EXPECT_EQ(s.State(), IntroState::FirstClip);

    s.MediaPlayerNotify();
    EXPECT_EQ(s.State(), IntroState::SecondClip);
    s.MediaPlayerNotify();
    EXPECT_EQ(s.State(), IntroState::Ended);
    EXPECT_EQ(r.log,
              Join(kFirstClipStart, {"close", "file logo_brumvale.avi", "display",
                                     "open logo_brumvale.avi", "play logo_brumvale.avi", "close",
                                     "hide intro", "show main", "movie esc=0", "show flash"}));

    // Esc after the end reaches the main window, whose intro is hidden; a
    // stray notification and a second show change nothing.
    const auto ended = r.log.size();
    s.MediaPlayerNotify();
    s.FormShow({}, 1024, 768);
    EXPECT_EQ(r.log.size(), ended);
}

TEST(IntroSequence, ARemovalRunPlaysNothing) {
    for (const std::wstring first : {L"-u", L"-U"}) {
        Recorder r;
        IntroSequence s(r, r.Host(), kFolder);
        s.FormShow({first}, 1024, 768);
        s.MediaPlayerNotify();
        EXPECT_TRUE(r.log.empty())
            << "expected no call, got " << r.log.size() << " starting with " << r.log.front();
        EXPECT_EQ(s.State(), IntroState::NotStarted);
    }
}

TEST(IntroSequence, WithoutAnIntroWindowTheMovieComesAtOnceExceptInARemovalRun) {
    struct Case {
        std::vector<std::wstring> params;
        bool movie;
    };
    const Case cases[] = {
        {{}, true}, {{L"x", L"-u"}, true}, {{L"-u"}, false}, {{L"-U", L"x"}, false}};
    for (const auto& c : cases) {
        Recorder r;
        fw::intro::StartMovieWithoutIntro(r.Host(), c.params);
        const std::vector<std::string> movie = {"esc=0", "show main", "movie esc=0", "show flash"};
        EXPECT_EQ(r.log, c.movie ? movie : std::vector<std::string>{})
            << c.params.size() << " parameters";
    }
}

TEST(IntroSequence, ASkipSwallowsTheNotificationOfTheCutOffClip) {
    struct Case {
        const char* name;
        int notificationsBeforeSkip;
    };
    const Case cases[] = {{"during the first clip", 0}, {"during the second clip", 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Recorder r;
        IntroSequence s(r, r.Host(), kFolder);
        s.FormShow({}, 800, 600);
        for (int i = 0; i < c.notificationsBeforeSkip; ++i) {
            s.MediaPlayerNotify();
        }
        MainWindowSkip(r, s);
        EXPECT_EQ(s.State(), IntroState::Ended);
        const auto afterSkip = r.log;
        s.MediaPlayerNotify(); // MCI's notification for the aborted play
        s.MediaPlayerNotify();
        EXPECT_EQ(r.log, afterSkip);
        EXPECT_EQ(r.Count("movie esc=-1"), 1);
        EXPECT_EQ(r.Count("movie esc=0"), 0);
        EXPECT_EQ(r.Has("file logo_brumvale.avi"), c.notificationsBeforeSkip > 0);
        EXPECT_TRUE(r.Has("place 240,180 320x240"));
    }
}

TEST(IntroSequence, AClipThatFailsIsReportedThenTheIntroEnds) {
    struct Case {
        std::string failing;
        std::string text;
        bool secondClipTried;
    };
    const Case cases[] = {
        {"open logo_pelk.avi",
         "Cannot find the specified file. Make sure the path and filename are correct.", false},
        {"play logo_pelk.avi", "Unknown error code", false},
        {"open logo_brumvale.avi", "The specified file cannot be played", true},
        {"play logo_brumvale.avi", "Unknown error code", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.failing);
        Recorder r;
        r.failures[c.failing] = c.text;
        IntroSequence s(r, r.Host(), kFolder);
        s.FormShow({}, 1024, 768);
        if (c.secondClipTried) {
            s.MediaPlayerNotify();
        }
        EXPECT_EQ(s.State(), IntroState::Ended);
        const auto box = std::find(r.log.begin(), r.log.end(), "error box: " + c.text);
        ASSERT_NE(box, r.log.end());
        EXPECT_EQ(std::vector<std::string>(box + 1, r.log.end()),
                  (std::vector<std::string>{"close", "hide intro", "show main", "movie esc=0",
                                            "show flash"}));
        EXPECT_EQ(r.Has("file logo_brumvale.avi"), c.secondClipTried);
        EXPECT_FALSE(r.Has("play logo_brumvale.avi") && c.failing != "play logo_brumvale.avi");
        const auto ended = r.log.size();
        s.MediaPlayerNotify();
        EXPECT_EQ(r.log.size(), ended) << "a late notification restarts nothing";
    }
}

TEST(IntroSequence, ASkipDuringTheErrorBoxEndsTheIntroOnce) {
    Recorder r;
    r.failures["open logo_pelk.avi"] = "Cannot find the specified file.";
    IntroSequence* seq = nullptr;
    r.duringErrorBox = [&] { MainWindowSkip(r, *seq); };
    IntroSequence s(r, r.Host(), kFolder);
    seq = &s;
    s.FormShow({}, 1024, 768);
    EXPECT_EQ(r.Count("movie esc=-1"), 1);
    EXPECT_EQ(r.Count("movie esc=0"), 0);
    EXPECT_EQ(r.Count("hide intro"), 1);
    EXPECT_EQ(r.Count("show flash"), 1);
}

TEST(IntroSequence, OnlyTheExactFirstClipPathLeadsToTheSecondClip) {
    struct Case {
        std::wstring reported;
        bool secondClip;
    };
    const Case cases[] = {
        {kPelk, true},
        {L"C:\\GAMES\\FENWOBBLE\\SWF\\LOGO_PELK.AVI", false},
        {L"C:\\Games\\Fenwobble\\SWF\\logo_pelk.AVI", false},
        {L"C:\\Games\\Fenwobble\\SWF\\\\logo_pelk.avi", false},
        {L"C:\\Games\\Fenwobble\\SWF\\logo_pelk.avi ", false},
        {L"logo_pelk.avi", false},
        {kBrumvale, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Ascii(c.reported));
        Recorder r;
        IntroSequence s(r, r.Host(), kFolder);
        s.FormShow({}, 1024, 768);
        r.reportedName = c.reported;
        s.MediaPlayerNotify();
        EXPECT_EQ(s.State(), c.secondClip ? IntroState::SecondClip : IntroState::Ended);
        EXPECT_EQ(r.Has("play logo_brumvale.avi"), c.secondClip);
        EXPECT_EQ(r.Has("movie esc=0"), !c.secondClip);
    }
}

TEST(IntroSequence, KeysGoToTheMainWindowUnchanged) {
    struct Case {
        std::uint16_t key;
        unsigned shift;
    };
    const Case cases[] = {{27, 0}, {32, 0}, {32, 1}, {27, 4}, {13, 0}, {65, 2}, {0xFFFF, 7}};
    for (const auto& c : cases) {
        Recorder r;
        IntroSequence s(r, r.Host(), kFolder);
        std::uint16_t key = c.key;
        s.FormKeyUp(key, c.shift);
        EXPECT_EQ(r.log, (std::vector<std::string>{"main keyup " + std::to_string(c.key) + " " +
                                                   std::to_string(c.shift)}));
        EXPECT_EQ(key, 0) << "the main window's change of the key reaches the caller";
    }
}

TEST(IntroSequence, EveryHostCallbackIsRequired) {
    using Member = void (*)(IntroHost&);
    const Member clear[] = {
        [](IntroHost& h) { h.hideMainWindow = nullptr; },
        [](IntroHost& h) { h.showMainWindow = nullptr; },
        [](IntroHost& h) { h.escIntro = nullptr; },
        [](IntroHost& h) { h.setEscIntro = nullptr; },
        [](IntroHost& h) { h.startMovie = nullptr; },
        [](IntroHost& h) { h.showFlash = nullptr; },
        [](IntroHost& h) { h.keyUp = nullptr; },
    };
    for (std::size_t i = 0; i < std::size(clear); ++i) {
        Recorder r;
        IntroHost h = r.Host();
        clear[i](h);
        EXPECT_THROW(IntroSequence(r, h, kFolder), std::invalid_argument) << "member " << i;
    }
    Recorder r;
    EXPECT_NO_THROW(IntroSequence(r, r.Host(), kFolder));
}

} // namespace

namespace {

TEST(IntroSequence, TheFlagAloneSwallowsANotification) {
    // The skip's flag is set before the player closes; a notification already
    // queued by then must not start the second clip.
    Recorder r;
    IntroSequence s(r, r.Host(), kFolder);
    s.FormShow({}, 1024, 768);
    r.Host().setEscIntro(true);
    const auto before = r.log;
    s.MediaPlayerNotify();
    EXPECT_EQ(r.log, before);
    EXPECT_EQ(s.State(), IntroState::FirstClip);
}

} // namespace
