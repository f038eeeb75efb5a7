#include "win/child_control.h"

#include "win/error.h"

namespace fw::win {

ChildControl::~ChildControl() {
    if (hwnd_ && ::IsWindow(hwnd_)) {
        ::DestroyWindow(hwnd_);
    }
}

void ChildControl::CreateChild(const wchar_t* cls, DWORD style, DWORD exStyle, HWND parent, int id,
                               int left, int top, int width, int height, const std::wstring& text,
                               HFONT font, bool visible) {
    hwnd_ = ::CreateWindowExW(exStyle, cls, text.c_str(),
                              WS_CHILD | (visible ? WS_VISIBLE : 0) | style, left, top, width,
                              height, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                              ::GetModuleHandleW(nullptr), nullptr);
    if (!hwnd_) {
        throw Error(std::wstring(L"Cannot create a control of class ") + cls);
    }
    if (font) {
        ::SendMessageW(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    }
}

std::wstring ChildControl::Text() const {
    const int n = ::GetWindowTextLengthW(hwnd_);
    std::wstring s(static_cast<std::size_t>(n) + 1, L'\0');
    const int got = ::GetWindowTextW(hwnd_, s.data(), n + 1);
    s.resize(static_cast<std::size_t>(got > 0 ? got : 0));
    return s;
}

void ChildControl::SetText(const std::wstring& text) {
    ::SetWindowTextW(hwnd_, text.c_str());
}

bool ChildControl::Visible() const {
    return (::GetWindowLongW(hwnd_, GWL_STYLE) & WS_VISIBLE) != 0;
}

void ChildControl::SetVisible(bool visible) {
    ::ShowWindow(hwnd_, visible ? SW_SHOW : SW_HIDE);
}

bool ChildControl::Enabled() const {
    return ::IsWindowEnabled(hwnd_) != FALSE;
}

void ChildControl::SetEnabled(bool enabled) {
    ::EnableWindow(hwnd_, enabled ? TRUE : FALSE);
}

RECT ChildControl::BoundsInParent() const {
    RECT r{};
    ::GetWindowRect(hwnd_, &r);
    ::MapWindowPoints(nullptr, ::GetParent(hwnd_), reinterpret_cast<POINT*>(&r), 2);
    return r;
}

} // namespace fw::win
