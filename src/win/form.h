#pragma once
// Base of every top-level window of the program. The object is tied to its
// HWND at WM_NCCREATE and untied at WM_NCDESTROY; messages go through a plain
// switch to typed handlers that derived forms override, and the notifications
// of child controls go back to the control that sent them.

#include <windows.h>

#include <memory>
#include <string>
#include <utility>

#include "win/handle.h"

namespace fw::win {

struct FormArgs {
    // The window class, named after the form's class so tests can find it.
    std::wstring className;
    std::wstring caption;
    DWORD style = WS_OVERLAPPEDWINDOW;
    DWORD exStyle = 0;
    int left = CW_USEDEFAULT;
    int top = CW_USEDEFAULT;
    int width = CW_USEDEFAULT;
    int height = CW_USEDEFAULT;
    // When set, width and height are the client size.
    bool clientSize = false;
    COLORREF color = ::GetSysColor(COLOR_BTNFACE);
    // The text colour of the form's labels, fields and buttons; CLR_INVALID
    // leaves the system's.
    COLORREF textColor = CLR_INVALID;
    // Key events of any child reach OnKeyDown/OnKeyUp of the form first.
    bool keyPreview = false;
    // How the message loop shows the main form when it starts.
    int initialShow = SW_SHOWNORMAL;
};

enum ModalResult { mrNone = 0, mrOk = IDOK, mrCancel = IDCANCEL };

class Form {
public:
    virtual ~Form();
    Form(const Form&) = delete;
    Form& operator=(const Form&) = delete;

    HWND Handle() const { return hwnd_; }

    void Show();
    void Hide();
    bool Visible() const;
    void BringToFront();
    void SetBounds(int left, int top, int width, int height);
    RECT Bounds() const;
    int Width() const;
    int Height() const;
    int ClientWidth() const;
    int ClientHeight() const;
    void SetClientHeight(int height);
    void SetCaption(const std::wstring& caption);
    std::wstring Caption() const;

    // Shows the form modally: other windows of the program are disabled until
    // the modal result is set (or the end is requested), then it is hidden.
    int ShowModal();
    void SetModalResult(int result) { modalResult_ = result; }
    int GetModalResult() const { return modalResult_; }
    bool InModal() const { return inModal_; }

    // Used by the message loop when it starts.
    void ShowInitial();
    // Gives a key message to the form of its window when that form previews
    // keys; true when the message is consumed.
    static bool PreviewKey(MSG& msg);
    static Form* FromHandle(HWND hwnd);

protected:
    Form() = default;
    // Creates the window; derived constructors call it, then build children.
    void CreateForm(const FormArgs& args);

    // Destroys the window now, while the derived form is whole (MakeForm calls it).
    void DestroyHandle();

    LRESULT Default(UINT msg, WPARAM wp, LPARAM lp);

    // Once for each showing that the program made, not for the owner's
    // hiding and restoring of its popups.
    virtual void OnShow() {}
    virtual void OnHide() {}
    // Any change of the window's visibility, the owner's included.
    virtual void OnVisibilityChanged() {}
    // A closing request (close box, Alt+F4); the default hides the form, or
    // ends a modal showing with Cancel.
    virtual void OnClose();
    virtual void OnKeyDown(WORD& /*key*/, UINT /*shift*/) {}
    virtual void OnKeyUp(WORD& /*key*/, UINT /*shift*/) {}
    virtual void OnTimer(UINT_PTR /*id*/) {}
    virtual void OnResize() {}
    // A mixer opened with this window as its callback changed one of its controls.
    virtual void OnMixerControlChange() {}
    virtual void OnPaint(HDC /*dc*/, const RECT& /*dirty*/) {}
    virtual void OnDestroy() {}

private:
    static LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp);
    LRESULT ColorControl(UINT msg, WPARAM wp, LPARAM lp);
    static UINT ShiftState();
    void NotifyShown();

    HWND hwnd_ = nullptr;
    GdiObject brush_;
    COLORREF color_ = 0;
    COLORREF textColor_ = CLR_INVALID;
    bool keyPreview_ = false;
    int initialShow_ = SW_SHOWNORMAL;
    int modalResult_ = mrNone;
    bool inModal_ = false;
    bool showNotified_ = false;
    int ownerToggling_ = 0; // inside the owner's hiding or restoring of its popups
};

// Makes a form whose window is destroyed before any of its derived parts:
// OnDestroy runs on the whole form. Every form of the program is made here.
template <typename T, typename... A> std::unique_ptr<T> MakeForm(A&&... args) {
    struct Made final : T {
        explicit Made(A&&... a) : T(std::forward<A>(a)...) {}
        ~Made() override { this->DestroyHandle(); }
        Made(const Made&) = delete;
        Made& operator=(const Made&) = delete;
    };
    return std::make_unique<Made>(std::forward<A>(args)...);
}

} // namespace fw::win
