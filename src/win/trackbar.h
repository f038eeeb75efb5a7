#pragma once
// A trackbar (slider) child control.

#include <windows.h>

namespace fw::win {

struct TrackBarArgs {
    HWND parent = nullptr;
    int id = 0;
    int left = 0;
    int top = 0;
    int width = 150;
    int height = 45;
    bool horizontal = true;
    int min = 0;
    int max = 10;
    int position = 0;
    // A tick every so many positions.
    int tickFrequency = 1;
    HFONT font = nullptr;
};

class TrackBar {
public:
    TrackBar() = default;
    ~TrackBar();
    TrackBar(const TrackBar&) = delete;
    TrackBar& operator=(const TrackBar&) = delete;

    void Create(const TrackBarArgs& args);
    HWND Handle() const { return hwnd_; }

    int Min() const;
    int Max() const;
    // The position stays inside the range, as the control keeps it.
    void SetRange(int min, int max);
    void SetTickFrequency(int frequency);
    int Position() const;
    void SetPosition(int position);
    bool Visible() const;
    void SetVisible(bool visible);

private:
    HWND hwnd_ = nullptr;
};

} // namespace fw::win
