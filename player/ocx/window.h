#pragma once
// The control's child window: runs the movie's timer, paints, takes fire requests and
// reports what the container does to it.

#include <windows.h>

#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <utility>

namespace fw::player {

class PlayerWindowOwner {
public:
    virtual void OnFrameTimer() = 0;
    virtual void OnPaint(HDC dc, const RECT& client) = 0;
    virtual void OnFireRequest(const std::wstring& command, const std::wstring& args) = 0;
    // Left button and movement (WM_MOUSEMOVE, WM_LBUTTONDOWN, WM_LBUTTONUP, WM_MOUSELEAVE) in
    // client pixels; answers whether the picture changed.
    virtual bool OnMouseInput(UINT msg, int x, int y) = 0;
    // A key going down or up: its virtual key code (what the movie's Key.getCode reads; 0 when
    // the character came without a key) and the character it types (0 for none); answers
    // whether the picture changed.
    virtual bool OnKeyInput(bool down, int keyCode, char32_t character) = 0;
    // Whether the pointer stands over something to click (the hand shows there).
    virtual bool WantsHand() const = 0;

protected:
    ~PlayerWindowOwner() = default;
};

struct PlayerWindowArgs {
    HWND parent = nullptr;
    RECT bounds{};
    bool visible = true;
    PlayerWindowOwner* owner = nullptr;
};

class PlayerWindow {
public:
    PlayerWindow() = default;
    ~PlayerWindow() { Destroy(); }
    PlayerWindow(const PlayerWindow&) = delete;
    PlayerWindow& operator=(const PlayerWindow&) = delete;

    bool Create(const PlayerWindowArgs& args);
    void Destroy();
    HWND hwnd() const { return hwnd_; }

    // Starts, changes or stops (interval 0) the frame timer.
    void SetFrameInterval(UINT milliseconds);
    void Invalidate() const;

private:
    static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    LRESULT Handle(UINT msg, WPARAM wp, LPARAM lp);
    void OnPaintMessage();
    LRESULT OnCopyData(const COPYDATASTRUCT* cds);
    void OnFireQueued();
    void OnMouse(UINT msg, LPARAM lp);
    bool OnSetCursor(WPARAM wp, LPARAM lp);
    void OnKey(UINT msg, WPARAM wp);
    void OnChar(WPARAM wp);
    char32_t TakeCharacter();
    void Key(bool down, int keyCode, char32_t character);
    void OnWindowPosChanged(const WINDOWPOS* pos);
    void ReleaseBuffer();

    HWND hwnd_ = nullptr;
    // The off-screen picture, kept between paints while the size stays.
    HDC bufferDc_ = nullptr;
    HBITMAP buffer_ = nullptr;
    HGDIOBJ bufferOld_ = nullptr;
    SIZE bufferSize_{};
    PlayerWindowOwner* owner_ = nullptr;
    UINT interval_ = 0;
    bool destroying_ = false;
    bool tracking_ = false;     // asked to hear when the mouse leaves
    wchar_t highSurrogate_ = 0; // the first half of a character that came alone
    // What each key held down typed, so its release reports the same character.
    std::map<int, char32_t> typed_;
    std::deque<std::pair<std::wstring, std::wstring>> fires_;
};

} // namespace fw::player
