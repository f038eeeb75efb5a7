#include "win/checkbox.h"

#include "win/error.h"

namespace fw::win {

CheckBox::~CheckBox() {
    if (hwnd_ && ::IsWindow(hwnd_)) {
        ::DestroyWindow(hwnd_);
    }
}

void CheckBox::Create(const CheckBoxArgs& a) {
    hwnd_ = ::CreateWindowExW(
        0, L"BUTTON", a.caption.c_str(), WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_AUTOCHECKBOX,
        a.left, a.top, a.width, a.height, a.parent,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(a.id)), ::GetModuleHandleW(nullptr), nullptr);
    if (!hwnd_) {
        throw Error(L"Cannot create a check box");
    }
    if (a.font) {
        ::SendMessageW(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(a.font), FALSE);
    }
    SetChecked(a.checked);
}

bool CheckBox::Checked() const {
    return ::SendMessageW(hwnd_, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void CheckBox::SetChecked(bool checked) {
    ::SendMessageW(hwnd_, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

bool CheckBox::Visible() const {
    return (::GetWindowLongW(hwnd_, GWL_STYLE) & WS_VISIBLE) != 0;
}

void CheckBox::SetVisible(bool visible) {
    ::ShowWindow(hwnd_, visible ? SW_SHOW : SW_HIDE);
}

} // namespace fw::win
