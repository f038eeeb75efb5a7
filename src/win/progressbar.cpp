#include "win/progressbar.h"

#include "win/error.h"

#include <commctrl.h>

namespace fw::win {

ProgressBar::~ProgressBar() {
    if (hwnd_ && ::IsWindow(hwnd_)) {
        ::DestroyWindow(hwnd_);
    }
}

void ProgressBar::Create(const ProgressBarArgs& a) {
    DWORD style = WS_CHILD | WS_VISIBLE | (a.smooth ? PBS_SMOOTH : 0);
    hwnd_ = ::CreateWindowExW(0, PROGRESS_CLASSW, L"", style, a.left, a.top, a.width, a.height,
                              a.parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(a.id)),
                              ::GetModuleHandleW(nullptr), nullptr);
    if (!hwnd_) {
        throw Error(L"Cannot create a progress bar");
    }
    SetRange(a.min, a.max);
}

void ProgressBar::SetRange(int min, int max) {
    ::SendMessageW(hwnd_, PBM_SETRANGE32, min, max);
}

int ProgressBar::Max() const {
    return static_cast<int>(::SendMessageW(hwnd_, PBM_GETRANGE, FALSE, 0));
}

int ProgressBar::Position() const {
    return static_cast<int>(::SendMessageW(hwnd_, PBM_GETPOS, 0, 0));
}

void ProgressBar::SetPosition(int position) {
    ::SendMessageW(hwnd_, PBM_SETPOS, position, 0);
}

bool ProgressBar::Visible() const {
    return (::GetWindowLongW(hwnd_, GWL_STYLE) & WS_VISIBLE) != 0;
}

void ProgressBar::SetVisible(bool visible) {
    ::ShowWindow(hwnd_, visible ? SW_SHOW : SW_HIDE);
}

} // namespace fw::win
