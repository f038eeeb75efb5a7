#pragma once
// A static text that wraps its words and shows '&' as it is.

#include "win/child_control.h"

namespace fw::win {

struct LabelArgs {
    HWND parent = nullptr;
    int id = 0;
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    std::wstring text;
    HFONT font = nullptr;
    bool visible = true;
};

class Label : public ChildControl {
public:
    void Create(const LabelArgs& a) {
        CreateChild(L"STATIC", SS_LEFT | SS_NOPREFIX, 0, a.parent, a.id, a.left, a.top, a.width,
                    a.height, a.text, a.font, a.visible);
    }
};

} // namespace fw::win
