#include "win/control.h"

#include "win/application.h"
#include "win/window_class.h"

#include <commctrl.h>

namespace fw::win {

namespace {
// Names the object of a control's window, for the parent's reflection.
constexpr wchar_t kControlProp[] = L"FwControl";
} // namespace

Control::~Control() {
    if (hwnd_) {
        ::DestroyWindow(hwnd_);
    }
}

void Control::CreateWindowOf(const wchar_t* cls, DWORD style, DWORD exStyle, const ControlPlace& p,
                             const std::wstring& text) {
    const HWND hwnd = CheckCreated(
        ::CreateWindowExW(exStyle, cls, text.c_str(),
                          WS_CHILD | (p.visible ? WS_VISIBLE : 0) | style, p.left, p.top, p.width,
                          p.height, p.parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(p.id)),
                          ::GetModuleHandleW(nullptr), nullptr),
        std::wstring(L"a control of class ") + cls);
    if (!::SetWindowSubclass(hwnd, SubclassProc, 0, reinterpret_cast<DWORD_PTR>(this)) ||
        !::SetPropW(hwnd, kControlProp, this)) {
        ::DestroyWindow(hwnd);
        CheckCreated(nullptr, std::wstring(L"the link to a control of class ") + cls);
    }
    hwnd_ = hwnd;
    if (p.font) {
        ::SendMessageW(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(p.font), FALSE);
    }
}

Control* Control::FromHandle(HWND hwnd) {
    return hwnd ? static_cast<Control*>(::GetPropW(hwnd, kControlProp)) : nullptr;
}

LRESULT CALLBACK Control::SubclassProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR id,
                                       DWORD_PTR ref) {
    auto* self = reinterpret_cast<Control*>(ref);
    if (msg == WM_NCDESTROY) {
        ::RemoveWindowSubclass(hwnd, SubclassProc, id);
        ::RemovePropW(hwnd, kControlProp);
        self->hwnd_ = nullptr;
        return ::DefSubclassProc(hwnd, msg, wp, lp);
    }
    LRESULT result = 0;
    bool handled = false;
    Guarded([&] { handled = self->OnOwnMessage(msg, wp, lp, result); });
    return handled ? result : ::DefSubclassProc(hwnd, msg, wp, lp);
}

std::wstring Control::Text() const {
    const int n = ::GetWindowTextLengthW(hwnd_);
    std::wstring s(static_cast<std::size_t>(n) + 1, L'\0');
    const int got = ::GetWindowTextW(hwnd_, s.data(), n + 1);
    s.resize(static_cast<std::size_t>(got > 0 ? got : 0));
    return s;
}

void Control::SetText(const std::wstring& text) {
    ::SetWindowTextW(hwnd_, text.c_str());
}

bool Control::Visible() const {
    return (::GetWindowLongW(hwnd_, GWL_STYLE) & WS_VISIBLE) != 0;
}

void Control::SetVisible(bool visible) {
    ::ShowWindow(hwnd_, visible ? SW_SHOW : SW_HIDE);
}

bool Control::Enabled() const {
    return ::IsWindowEnabled(hwnd_) != FALSE;
}

void Control::SetEnabled(bool enabled) {
    ::EnableWindow(hwnd_, enabled ? TRUE : FALSE);
}

bool Control::Focused() const {
    return hwnd_ && ::GetFocus() == hwnd_;
}

void Control::SetFocus() {
    ::SetFocus(hwnd_);
}

RECT Control::BoundsInParent() const {
    RECT r{};
    ::GetWindowRect(hwnd_, &r);
    ::MapWindowPoints(HWND_DESKTOP, ::GetParent(hwnd_), reinterpret_cast<POINT*>(&r), 2);
    return r;
}

void Control::SetBounds(int left, int top, int width, int height) {
    ::SetWindowPos(hwnd_, nullptr, left, top, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

} // namespace fw::win
