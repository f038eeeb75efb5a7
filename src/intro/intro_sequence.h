#pragma once
// The decisions of the intro: where its window stands, which clip plays next,
// when the intro ends. Free of the platform: the intro window and its media
// player are reached through IntroPort, the main window through IntroHost.

#include <cstdint>
#include <exception>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace fw::intro {

inline constexpr int kIntroWidth = 320;
inline constexpr int kIntroHeight = 240;
inline constexpr wchar_t kFirstClip[] = L"logo_pelk.avi";
inline constexpr wchar_t kSecondClip[] = L"logo_brumvale.avi";

struct Placement {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    friend bool operator==(const Placement&, const Placement&) = default;
};

// 320 x 240 in the middle of the screen; the division truncates toward zero,
// so a screen smaller than the window gives a negative edge rounded up.
Placement IntroPlacement(int screenWidth, int screenHeight);

// A removal run: the first parameter (the program's name not counted) is "-u"
// in any letter case.
bool IsRemovalRun(const std::vector<std::wstring>& params);

// The data folder's clip: programFolder ends with its backslash.
std::wstring ClipPath(std::wstring_view programFolder, std::wstring_view clip);

// What the intro asks of the main window. Every member must be set.
struct IntroHost {
    std::function<void()> hideMainWindow;
    std::function<void()> showMainWindow;
    std::function<bool()> escIntro;
    std::function<void(bool)> setEscIntro;
    std::function<void()> startMovie;
    std::function<void()> showFlash;
    // The main window's key-up handler, which carries out the skip.
    std::function<void(std::uint16_t& key, unsigned shift)> keyUp;
};

// The intro window could not be made: the movie comes at once, as after the
// second clip, except in a removal run, which shows no movie.
void StartMovieWithoutIntro(const IntroHost& host, const std::vector<std::wstring>& params);

// The intro window and its media player.
class IntroPort {
public:
    virtual ~IntroPort() = default;
    virtual void PlaceWindow(const Placement& p) = 0;
    virtual void HideWindow() = 0;
    virtual void SetFileName(const std::wstring& path) = 0;
    virtual std::wstring FileName() const = 0;
    // Makes the intro window the player's display window.
    virtual void SetDisplayToWindow() = 0;
    // Open and Play throw with the player's error text when the clip cannot be
    // opened or played.
    virtual void Open() = 0;
    virtual void Play() = 0;
    virtual void Close() = 0;
    // The application's standard error box; a modal loop runs meanwhile.
    virtual void ReportError(const std::exception& e) = 0;
};

enum class IntroState { NotStarted, FirstClip, SecondClip, Ended };

class IntroSequence {
public:
    // Throws std::invalid_argument when a member of host is missing.
    IntroSequence(IntroPort& port, IntroHost host, std::wstring programFolder);

    // The intro window's show handler: starts the first clip, except in a
    // removal run. Runs once; later calls do nothing.
    void FormShow(const std::vector<std::wstring>& params, int screenWidth, int screenHeight);

    // The player's notify handler: the current clip has ended (or was cut off).
    void MediaPlayerNotify();

    // The intro window's key-up handler: the key goes to the main window.
    void FormKeyUp(std::uint16_t& key, unsigned shift);

    // The main window's skip closes the player; the sequence is over then.
    void CloseMediaPlayer();

    IntroState State() const { return state_; }

private:
    void PlayClip(const wchar_t* clip);
    void EndIntro();

    IntroPort& port_;
    IntroHost host_;
    std::wstring folder_;
    IntroState state_ = IntroState::NotStarted;
};

} // namespace fw::intro
