#pragma once
// A progress bar child control.

#include <windows.h>

namespace fw::win {

struct ProgressBarArgs {
    HWND parent = nullptr;
    int id = 0;
    int left = 0;
    int top = 0;
    int width = 150;
    int height = 16;
    int min = 0;
    int max = 100;
    // A continuous bar rather than blocks.
    bool smooth = true;
};

class ProgressBar {
public:
    ProgressBar() = default;
    ~ProgressBar();
    ProgressBar(const ProgressBar&) = delete;
    ProgressBar& operator=(const ProgressBar&) = delete;

    void Create(const ProgressBarArgs& args);
    HWND Handle() const { return hwnd_; }

    void SetRange(int min, int max);
    int Max() const;
    int Position() const;
    void SetPosition(int position);
    bool Visible() const;
    void SetVisible(bool visible);

private:
    HWND hwnd_ = nullptr;
};

} // namespace fw::win
