#pragma once
// A check box child control (an automatic check box button).

#include <windows.h>

#include <string>

namespace fw::win {

struct CheckBoxArgs {
    HWND parent = nullptr;
    int id = 0;
    int left = 0;
    int top = 0;
    int width = 97;
    int height = 17;
    std::wstring caption;
    bool checked = false;
    HFONT font = nullptr;
};

class CheckBox {
public:
    CheckBox() = default;
    ~CheckBox();
    CheckBox(const CheckBox&) = delete;
    CheckBox& operator=(const CheckBox&) = delete;

    void Create(const CheckBoxArgs& args);
    HWND Handle() const { return hwnd_; }

    bool Checked() const;
    // Sets the state without telling the parent (no BN_CLICKED).
    void SetChecked(bool checked);
    bool Visible() const;
    void SetVisible(bool visible);

private:
    HWND hwnd_ = nullptr;
};

} // namespace fw::win
