#pragma once
// A small media player over MCI: it keeps the clip's file name, the display
// window and the open device, and has its own message-only window that
// receives MCI's completion messages.

#include <windows.h>

#include <functional>
#include <string>

namespace fw {

class TMediaPlayer {
public:
    TMediaPlayer();
    ~TMediaPlayer();
    TMediaPlayer(const TMediaPlayer&) = delete;
    TMediaPlayer& operator=(const TMediaPlayer&) = delete;

    void SetFileName(std::wstring name) { fileName_ = std::move(name); }
    const std::wstring& FileName() const { return fileName_; }

    // Remembered while no clip is open; applied at once to an open clip with video.
    void SetDisplay(HWND window);
    HWND Display() const { return display_; }

    // Closes an open clip, then opens FileName with the device MCI picks for
    // it. Throws win::Error with MCI's text for the failure.
    void Open();
    // Plays from the current position to the end without waiting; MCI posts a
    // completion message when playing ends. Throws win::Error when refused.
    void Play();
    // Stops and closes the clip; nothing when none is open.
    void Close();

    bool IsOpen() const { return device_ != 0; }
    UINT DeviceId() const { return device_; }
    HWND Handle() const { return window_; }

    // Runs for every MM_MCINOTIFY the player's window receives, whatever its kind.
    std::function<void()> OnNotify;

    // MCI's text for an error code, or "Unknown error code" when it has none.
    static std::wstring ErrorText(DWORD code);

private:
    static LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    void ApplyDisplay();

    HWND window_ = nullptr;
    UINT device_ = 0;
    bool hasVideo_ = false;
    HWND display_ = nullptr;
    std::wstring fileName_;
};

} // namespace fw
