#pragma once
// A one-line text field; onChange hears of every change, changes made by the
// program included.

#include "win/control.h"

namespace fw::win {

struct EditArgs {
    ControlPlace place;
    std::wstring text;
    int maxLength = 0; // 0: no limit
};

class Edit : public Control {
public:
    Edit() { ReflectCommand(EN_CHANGE, onChange); }
    void Create(const EditArgs& a) {
        CreateWindowOf(L"EDIT", WS_TABSTOP | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE, a.place, a.text);
        if (a.maxLength > 0) {
            ::SendMessageW(Handle(), EM_SETLIMITTEXT, static_cast<WPARAM>(a.maxLength), 0);
        }
    }
    int MaxLength() const {
        return static_cast<int>(::SendMessageW(Handle(), EM_GETLIMITTEXT, 0, 0));
    }

    std::function<void()> onChange;
};

} // namespace fw::win
