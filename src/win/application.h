#pragma once
// The application object: title, the hidden application window that owns the
// taskbar button, the message loop with its OnMessage hook, the end request,
// the standard error box and the simple message dialog, the screen cursor.

#include <windows.h>

#include <exception>
#include <functional>
#include <string>

namespace fw::win {

class Form;

// The program's own icon for its windows, or the system's where the program has none (the tests).
HICON ProgramIcon();

// Screen cursor ids as the movie's commands name them.
enum class ScreenCursor { Default = 0, HourGlass = -11 };

class Application {
public:
    static Application& Get();

    // Initialises the common controls and the hidden application window; raises
    // Error when the window cannot be made. OLE is the caller's (an OleScope).
    void Initialize();
    bool Initialized() const { return appWindow_ != nullptr; }

    const std::wstring& Title() const { return title_; }
    HWND Handle() const { return appWindow_; }

    // The first form created becomes the main form; the loop shows it.
    Form* MainForm() const { return mainForm_; }
    void SetMainForm(Form* form) { mainForm_ = form; }
    void FormDestroyed(Form* form);

    // Called for every message the loop takes from the queue, before dispatch.
    // Setting handled to true drops the message.
    std::function<void(MSG& msg, bool& handled)> OnMessage;

    // Shows the main form and runs until the end is requested.
    void Run();
    // Requests the end: the loop (and any modal loop) ends when it next looks
    // at its queue; the caller goes on normally.
    void Terminate();
    bool TerminateRequested() const { return terminate_; }
    // Handles every message waiting in the queue, then returns.
    void ProcessMessages();
    // Waits for and handles one message; false when the end was requested.
    bool HandleMessage();

    void Minimize();
    void Restore();
    bool Minimized() const;

    // The standard error box: the error's text with a closing full stop, the
    // title as caption, the stop icon, OK; the program goes on afterwards.
    // While one is up, further errors are dropped, not queued.
    void ShowException(const std::exception& e);
    void ShowException(const std::wstring& text);
    // The simple message dialog: text, the title as caption, one OK button.
    void ShowMessage(const std::wstring& text);
    // A system message box owned by the application window.
    int MessageBox(const std::wstring& text, const std::wstring& caption, UINT flags);

    void SetScreenCursor(ScreenCursor c);
    ScreenCursor GetScreenCursor() const { return cursor_; }
    // Applies the screen cursor when it is not the default; true when it did.
    bool ApplyScreenCursor() const;

private:
    Application() = default;
    bool ProcessMessage(MSG& msg);
    static LRESULT CALLBACK AppWndProc(HWND, UINT, WPARAM, LPARAM);

    HWND appWindow_ = nullptr;
    std::wstring title_;
    Form* mainForm_ = nullptr;
    bool terminate_ = false;
    bool errorBoxUp_ = false;
    ScreenCursor cursor_ = ScreenCursor::Default;
};

// Runs a callable and reports whatever escapes it in the standard error box;
// every window procedure, timer and callback of the program goes through it.
template <typename F> void Guarded(F&& f) noexcept {
    try {
        f();
    } catch (const std::exception& e) {
        Application::Get().ShowException(e);
    } catch (...) {
        Application::Get().ShowException(std::wstring(L"Unknown error"));
    }
}

} // namespace fw::win
