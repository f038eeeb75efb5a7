#include "win/application.h"

#include "base/path.h"
#include "win/error.h"
#include "win/form.h"
#include "win/resource_ids.h"
#include "win/strings.h"
#include "win/window_class.h"

#include <commctrl.h>

namespace fw::win {

namespace {
constexpr wchar_t kAppClass[] = L"FenwobbleApplication";
}

Error::Error(std::wstring text) : std::runtime_error(ToUtf8(text)), text_(std::move(text)) {}

std::wstring ErrorText(const std::exception& e) {
    if (const auto* err = dynamic_cast<const Error*>(&e)) {
        return err->Text();
    }
    return FromUtf8(e.what());
}

HICON ProgramIcon() {
    HICON icon = ::LoadIconW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(FW_IDI_PROGRAM));
    return icon ? icon : ::LoadIconW(nullptr, IDI_APPLICATION);
}

Application& Application::Get() {
    static Application app;
    return app;
}

void Application::Initialize() {
    if (appWindow_) {
        return;
    }
    INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
    ::InitCommonControlsEx(&icc);

    title_ = WithoutExtension(FileNameOf(ExePath()));

    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = AppWndProc;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.hIcon = ProgramIcon();
    wc.lpszClassName = kAppClass;
    RegisterWindowClass(wc);
    // The application window carries the title on the taskbar; it has no size
    // so it is never seen, and owns every form so they minimise with it.
    const int sx = ::GetSystemMetrics(SM_CXSCREEN) / 2;
    const int sy = ::GetSystemMetrics(SM_CYSCREEN) / 2;
    appWindow_ = CheckCreated(
        ::CreateWindowExW(0, kAppClass, title_.c_str(),
                          WS_POPUP | WS_CAPTION | WS_CLIPSIBLINGS | WS_SYSMENU | WS_MINIMIZEBOX, sx,
                          sy, 0, 0, nullptr, nullptr, wc.hInstance, nullptr),
        L"the application window");
}

LRESULT CALLBACK Application::AppWndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_CLOSE:
        Get().Terminate();
        return 0;
    case WM_SYSCOMMAND:
        if ((wp & 0xFFF0) == SC_RESTORE) {
            Get().Restore();
            return 0;
        }
        break;
    default:
        break;
    }
    return ::DefWindowProcW(hwnd, msg, wp, lp);
}

void Application::FormDestroyed(Form* form) {
    if (mainForm_ == form) {
        mainForm_ = nullptr;
    }
}

void Application::Run() {
    if (appWindow_) {
        ::ShowWindow(appWindow_, SW_SHOWNOACTIVATE);
    }
    if (mainForm_ && !terminate_) {
        Guarded([&] { mainForm_->ShowInitial(); });
    }
    while (HandleMessage()) {
    }
}

void Application::Terminate() {
    terminate_ = true;
    if (appWindow_) {
        // Wakes a loop that waits, so it sees the request.
        ::PostMessageW(appWindow_, WM_NULL, 0, 0);
    }
}

bool Application::HandleMessage() {
    if (terminate_) {
        return false;
    }
    MSG msg;
    if (!::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        ::WaitMessage();
        return !terminate_;
    }
    ProcessMessage(msg);
    return !terminate_;
}

void Application::ProcessMessages() {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        ProcessMessage(msg);
    }
}

bool Application::ProcessMessage(MSG& msg) {
    if (msg.message == WM_QUIT) {
        terminate_ = true;
        return true;
    }
    bool handled = false;
    if (OnMessage) {
        Guarded([&] { OnMessage(msg, handled); });
    }
    if (handled) {
        return true;
    }
    if (msg.message == WM_KEYDOWN || msg.message == WM_KEYUP || msg.message == WM_SYSKEYDOWN ||
        msg.message == WM_SYSKEYUP) {
        if (Form::PreviewKey(msg)) {
            return true;
        }
    }
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
    if (msg.message == WM_MOUSEMOVE || msg.message == WM_NCMOUSEMOVE) {
        // Children (the player control) set their own cursors; the screen
        // cursor overrides them all while it is not the default.
        ApplyScreenCursor();
    }
    return true;
}

void Application::Minimize() {
    if (!appWindow_) {
        return;
    }
    ::ShowOwnedPopups(appWindow_, FALSE);
    ::ShowWindow(appWindow_, SW_MINIMIZE);
}

void Application::Restore() {
    if (!appWindow_) {
        return;
    }
    ::ShowWindow(appWindow_, SW_RESTORE);
    ::ShowOwnedPopups(appWindow_, TRUE);
}

bool Application::Minimized() const {
    return appWindow_ && ::IsIconic(appWindow_);
}

void Application::ShowException(const std::exception& e) {
    ShowException(ErrorText(e));
}

void Application::ShowException(const std::wstring& text) {
    // The box's own loop goes on delivering timers and the control's events:
    // an error that comes back every 50 ms would otherwise open box within
    // box until the stack ran out. One box at a time; later errors are dropped.
    if (errorBoxUp_) {
        return;
    }
    std::wstring shown = text;
    if (shown.empty() || shown.back() != L'.') {
        shown += L'.';
    }
    struct Latch {
        bool& up;
        explicit Latch(bool& u) : up(u) { up = true; }
        ~Latch() { up = false; }
        Latch(const Latch&) = delete;
        Latch& operator=(const Latch&) = delete;
    } latch(errorBoxUp_);
    MessageBox(shown, title_, MB_OK | MB_ICONSTOP);
}

void Application::ShowMessage(const std::wstring& text) {
    MessageBox(text, title_, MB_OK);
}

int Application::MessageBox(const std::wstring& text, const std::wstring& caption, UINT flags) {
    return ::MessageBoxW(appWindow_, text.c_str(), caption.c_str(), flags);
}

void Application::SetScreenCursor(ScreenCursor c) {
    cursor_ = c;
    ::SetCursor(::LoadCursorW(nullptr, c == ScreenCursor::HourGlass ? IDC_WAIT : IDC_ARROW));
}

bool Application::ApplyScreenCursor() const {
    if (cursor_ == ScreenCursor::Default) {
        return false;
    }
    ::SetCursor(::LoadCursorW(nullptr, IDC_WAIT));
    return true;
}

} // namespace fw::win
