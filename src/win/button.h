#pragma once
// A push button; the parent hears of clicks through BN_CLICKED.

#include "win/child_control.h"

namespace fw::win {

struct ButtonArgs {
    HWND parent = nullptr;
    int id = 0;
    int left = 0;
    int top = 0;
    int width = 75;
    int height = 25;
    std::wstring caption;
    HFONT font = nullptr;
    bool visible = true;
};

class Button : public ChildControl {
public:
    void Create(const ButtonArgs& a) {
        CreateChild(L"BUTTON", WS_TABSTOP | BS_PUSHBUTTON, 0, a.parent, a.id, a.left, a.top,
                    a.width, a.height, a.caption, a.font, a.visible);
    }
    // As a user's click: BN_CLICKED reaches the parent when the button is enabled.
    void Click() { ::SendMessageW(Handle(), BM_CLICK, 0, 0); }
};

} // namespace fw::win
