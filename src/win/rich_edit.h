#pragma once
// A rich-text edit control that shows RTF files.

#include <windows.h>

#include <string>

namespace fw::win {

struct RichEditArgs {
    HWND parent = nullptr;
    int id = 0;
    bool readOnly = true;
    COLORREF background = RGB(255, 255, 255);
};

class RichEdit {
public:
    void Create(const RichEditArgs& args);
    HWND Handle() const { return hwnd_; }
    // Fills the parent's client area.
    void FillParent();
    // Replaces the text with the file read as rich text; raises FileError when
    // the file cannot be read.
    void LoadRtfFile(const std::wstring& path);
    std::wstring Text() const;

private:
    HWND hwnd_ = nullptr;
};

} // namespace fw::win
