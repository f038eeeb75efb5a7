#pragma once
// A push button.

#include "win/control.h"

namespace fw::win {

class Button : public Control {
public:
    Button() { ReflectCommand(BN_CLICKED, onClick); }
    void Create(const TextControlArgs& a) {
        CreateWindowOf(L"BUTTON", WS_TABSTOP | BS_PUSHBUTTON, 0, a.place, a.text);
    }
    // As a user's click: reaches onClick when the button is enabled.
    void Click() { ::SendMessageW(Handle(), BM_CLICK, 0, 0); }

    std::function<void()> onClick;
};

} // namespace fw::win
