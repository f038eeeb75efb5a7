#include "win/trackbar.h"

#include "win/error.h"

#include <commctrl.h>

namespace fw::win {

TrackBar::~TrackBar() {
    if (hwnd_ && ::IsWindow(hwnd_)) {
        ::DestroyWindow(hwnd_);
    }
}

void TrackBar::Create(const TrackBarArgs& a) {
    DWORD style = WS_CHILD | WS_VISIBLE | WS_TABSTOP | TBS_AUTOTICKS;
    style |= a.horizontal ? TBS_HORZ : TBS_VERT;
    hwnd_ = ::CreateWindowExW(0, TRACKBAR_CLASSW, L"", style, a.left, a.top, a.width, a.height,
                              a.parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(a.id)),
                              ::GetModuleHandleW(nullptr), nullptr);
    if (!hwnd_) {
        throw Error(L"Cannot create a trackbar");
    }
    if (a.font) {
        ::SendMessageW(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(a.font), FALSE);
    }
    SetRange(a.min, a.max);
    SetTickFrequency(a.tickFrequency);
    SetPosition(a.position);
}

int TrackBar::Min() const {
    return static_cast<int>(::SendMessageW(hwnd_, TBM_GETRANGEMIN, 0, 0));
}
int TrackBar::Max() const {
    return static_cast<int>(::SendMessageW(hwnd_, TBM_GETRANGEMAX, 0, 0));
}

void TrackBar::SetRange(int min, int max) {
    ::SendMessageW(hwnd_, TBM_SETRANGEMIN, FALSE, min);
    ::SendMessageW(hwnd_, TBM_SETRANGEMAX, TRUE, max);
}

void TrackBar::SetTickFrequency(int frequency) {
    ::SendMessageW(hwnd_, TBM_SETTICFREQ, frequency, 0);
}

int TrackBar::Position() const {
    return static_cast<int>(::SendMessageW(hwnd_, TBM_GETPOS, 0, 0));
}

void TrackBar::SetPosition(int position) {
    ::SendMessageW(hwnd_, TBM_SETPOS, TRUE, position);
}

bool TrackBar::Visible() const {
    return (::GetWindowLongW(hwnd_, GWL_STYLE) & WS_VISIBLE) != 0;
}

void TrackBar::SetVisible(bool visible) {
    ::ShowWindow(hwnd_, visible ? SW_SHOW : SW_HIDE);
}

} // namespace fw::win
