#pragma once
// A static text that wraps its words and shows '&' as it is.

#include "win/control.h"

namespace fw::win {

class Label : public Control {
public:
    void Create(const TextControlArgs& a) {
        CreateWindowOf(L"STATIC", SS_LEFT | SS_NOPREFIX, 0, a.place, a.text);
    }
};

} // namespace fw::win
