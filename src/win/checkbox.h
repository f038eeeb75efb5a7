#pragma once
// A check box: a button that the user's click toggles before onClick runs.

#include "win/button.h"

namespace fw::win {

struct CheckBoxArgs {
    ControlPlace place;
    std::wstring caption;
    bool checked = false;
};

class CheckBox : public Button {
public:
    void Create(const CheckBoxArgs& a) {
        CreateWindowOf(L"BUTTON", WS_TABSTOP | BS_AUTOCHECKBOX, 0, a.place, a.caption);
        SetChecked(a.checked);
    }
    bool Checked() const { return ::SendMessageW(Handle(), BM_GETCHECK, 0, 0) == BST_CHECKED; }
    // Sets the state without calling onClick (which runs after the user's click
    // has toggled it).
    void SetChecked(bool checked) {
        ::SendMessageW(Handle(), BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
    }
};

} // namespace fw::win
