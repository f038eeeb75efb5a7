#pragma once
// Base of every child control. The object owns its window: the derived
// control's Create makes it, the object's end destroys it, and the window's
// end (with its parent) unties it. The parent form reflects WM_COMMAND,
// WM_NOTIFY and WM_HSCROLL/WM_VSCROLL to the control that sent them, which
// turns them into its typed callbacks.

#include <windows.h>

#include <functional>
#include <string>

namespace fw::win {

// What every control's arguments give: where it sits and how it starts.
struct ControlPlace {
    HWND parent = nullptr;
    int id = 0;
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    HFONT font = nullptr;
    bool visible = true;
};

// A control that shows a text (a label's, a button's caption).
struct TextControlArgs {
    ControlPlace place;
    std::wstring text;
};

class Control {
public:
    Control() = default;
    virtual ~Control();
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;

    HWND Handle() const { return hwnd_; }
    std::wstring Text() const;
    void SetText(const std::wstring& text);
    // The control's own flag: a control stays visible inside a hidden form.
    bool Visible() const;
    void SetVisible(bool visible);
    bool Enabled() const;
    void SetEnabled(bool enabled);
    bool Focused() const;
    void SetFocus();
    // Position and size in the parent's client coordinates.
    RECT BoundsInParent() const;
    void SetBounds(int left, int top, int width, int height);

    // The control that owns the window; null for any other window.
    static Control* FromHandle(HWND hwnd);

protected:
    // Makes the window of a system class and ties it to this object; raises
    // Error when it cannot.
    void CreateWindowOf(const wchar_t* cls, DWORD style, DWORD exStyle, const ControlPlace& place,
                        const std::wstring& text = {});

    // The one WM_COMMAND notification the control turns into a callback.
    void ReflectCommand(WORD code, const std::function<void()>& callback) {
        commandCode_ = code;
        commandCallback_ = &callback;
    }
    // Reflected notifications; true when the control handled it (a WM_NOTIFY's
    // answer in `result`).
    virtual bool OnNotify(NMHDR& /*hdr*/, LRESULT& /*result*/) { return false; }
    virtual bool OnScroll(WORD /*code*/) { return false; }
    // Messages to the control's own window before its class sees them.
    virtual bool OnOwnMessage(UINT /*msg*/, WPARAM, LPARAM, LRESULT& /*result*/) { return false; }

private:
    friend class Form;
    static LRESULT CALLBACK SubclassProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR id,
                                         DWORD_PTR self);

    void OnCommand(WORD code) const {
        if (commandCallback_ && code == commandCode_ && *commandCallback_) {
            (*commandCallback_)();
        }
    }

    HWND hwnd_ = nullptr;
    WORD commandCode_ = 0;
    const std::function<void()>* commandCallback_ = nullptr;
};

} // namespace fw::win
