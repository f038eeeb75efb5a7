#pragma once
// A rich-text edit control that shows RTF files.

#include "win/control.h"

namespace fw::win {

struct RichEditArgs {
    HWND parent = nullptr;
    int id = 0;
    bool readOnly = true;
    COLORREF background = RGB(255, 255, 255);
};

class RichEdit : public Control {
public:
    void Create(const RichEditArgs& args);
    // Fills the parent's client area.
    void FillParent();
    // The largest document LoadRtfFile reads.
    static constexpr unsigned long long kMaxDocumentBytes = 16ull << 20;

    // Replaces the text with the file read as rich text; raises FileError when
    // the file cannot be read or is larger than kMaxDocumentBytes.
    void LoadRtfFile(const std::wstring& path);
};

} // namespace fw::win
