#pragma once
// What the simple child controls (label, edit, button) share: a window that the
// parent destroys with itself, its text, visibility, enabled state and place.

#include <windows.h>

#include <string>

namespace fw::win {

class ChildControl {
public:
    ChildControl() = default;
    ~ChildControl();
    ChildControl(const ChildControl&) = delete;
    ChildControl& operator=(const ChildControl&) = delete;

    HWND Handle() const { return hwnd_; }
    std::wstring Text() const;
    void SetText(const std::wstring& text);
    bool Visible() const;
    void SetVisible(bool visible);
    bool Enabled() const;
    void SetEnabled(bool enabled);
    // Position and size in the parent's client coordinates.
    RECT BoundsInParent() const;

protected:
    void CreateChild(const wchar_t* cls, DWORD style, DWORD exStyle, HWND parent, int id, int left,
                     int top, int width, int height, const std::wstring& text, HFONT font,
                     bool visible);

private:
    HWND hwnd_ = nullptr;
};

} // namespace fw::win
