#pragma once
// A one-line text field; the parent hears of every change through EN_CHANGE,
// changes made by the program included.

#include "win/child_control.h"

namespace fw::win {

struct EditArgs {
    HWND parent = nullptr;
    int id = 0;
    int left = 0;
    int top = 0;
    int width = 121;
    int height = 23;
    std::wstring text;
    HFONT font = nullptr;
    bool visible = true;
    int maxLength = 0; // 0: no limit
};

class Edit : public ChildControl {
public:
    void Create(const EditArgs& a) {
        CreateChild(L"EDIT", WS_TABSTOP | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE, a.parent, a.id, a.left,
                    a.top, a.width, a.height, a.text, a.font, a.visible);
        if (a.maxLength > 0) {
            ::SendMessageW(Handle(), EM_SETLIMITTEXT, static_cast<WPARAM>(a.maxLength), 0);
        }
    }
    int MaxLength() const {
        return static_cast<int>(::SendMessageW(Handle(), EM_GETLIMITTEXT, 0, 0));
    }
};

} // namespace fw::win
