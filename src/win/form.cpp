#include "win/form.h"

#include "win/application.h"
#include "win/control.h"
#include "win/window_class.h"

#include <mmsystem.h>

#include <set>

namespace fw::win {

namespace {

void RegisterFormClass(const std::wstring& name, WNDPROC proc) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = proc;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    wc.hIcon = ProgramIcon();
    wc.lpszClassName = name.c_str();
    RegisterWindowClass(wc);
}

} // namespace

Form::~Form() {
    // A form not made by MakeForm ends here, when its derived parts are gone.
    DestroyHandle();
}

void Form::DestroyHandle() {
    if (hwnd_) {
        ::DestroyWindow(hwnd_);
    }
}

void Form::CreateForm(const FormArgs& args) {
    auto& app = Application::Get();
    const std::wstring cls = args.className.empty() ? L"TForm" : args.className;
    // Every form shares one window procedure; it finds its object through the
    // window's user data set at WM_NCCREATE.
    RegisterFormClass(cls, WndProc);
    color_ = args.color;
    brush_.reset(::CreateSolidBrush(color_));
    textColor_ = args.textColor;
    keyPreview_ = args.keyPreview;
    initialShow_ = args.initialShow;

    int w = args.width;
    int h = args.height;
    if (args.clientSize && w != CW_USEDEFAULT) {
        RECT r{0, 0, w, h};
        ::AdjustWindowRectEx(&r, args.style, FALSE, args.exStyle);
        w = r.right - r.left;
        h = r.bottom - r.top;
    }
    CheckCreated(::CreateWindowExW(args.exStyle, cls.c_str(), args.caption.c_str(),
                                   args.style & ~WS_VISIBLE, args.left, args.top, w, h,
                                   app.Handle(), nullptr, ::GetModuleHandleW(nullptr), this),
                 L"the window " + cls);
    if (!app.MainForm()) {
        app.SetMainForm(this);
    }
}

Form* Form::FromHandle(HWND hwnd) {
    if (!hwnd) {
        return nullptr;
    }
    if (reinterpret_cast<WNDPROC>(::GetWindowLongPtrW(hwnd, GWLP_WNDPROC)) != WndProc) {
        return nullptr;
    }
    return reinterpret_cast<Form*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
}

LRESULT CALLBACK Form::WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_NCCREATE) {
        auto* cs = reinterpret_cast<CREATESTRUCTW*>(lp);
        auto* self = static_cast<Form*>(cs->lpCreateParams);
        self->hwnd_ = hwnd;
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<Form*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!self) {
        return ::DefWindowProcW(hwnd, msg, wp, lp);
    }
    LRESULT result = 0;
    bool done = false;
    Guarded([&] {
        result = self->HandleMessage(msg, wp, lp);
        done = true;
    });
    if (!done) {
        result = ::DefWindowProcW(hwnd, msg, wp, lp);
    }
    if (msg == WM_NCDESTROY) {
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        self->hwnd_ = nullptr;
        Application::Get().FormDestroyed(self);
    }
    return result;
}

UINT Form::ShiftState() {
    UINT s = 0;
    if (::GetKeyState(VK_SHIFT) < 0) {
        s |= 1;
    }
    if (::GetKeyState(VK_MENU) < 0) {
        s |= 2;
    }
    if (::GetKeyState(VK_CONTROL) < 0) {
        s |= 4;
    }
    return s;
}

bool Form::PreviewKey(MSG& msg) {
    HWND top = ::GetAncestor(msg.hwnd, GA_ROOT);
    Form* form = FromHandle(top);
    if (!form || !form->keyPreview_ || top == msg.hwnd) {
        return false;
    }
    WORD key = static_cast<WORD>(msg.wParam);
    const bool down = msg.message == WM_KEYDOWN || msg.message == WM_SYSKEYDOWN;
    Guarded([&] {
        if (down) {
            form->OnKeyDown(key, ShiftState());
        } else {
            form->OnKeyUp(key, ShiftState());
        }
    });
    // A handler that zeroes the key consumes it.
    msg.wParam = key;
    return key == 0;
}

LRESULT Form::Default(UINT msg, WPARAM wp, LPARAM lp) {
    return ::DefWindowProcW(hwnd_, msg, wp, lp);
}

LRESULT Form::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_ERASEBKGND: {
        RECT r;
        ::GetClientRect(hwnd_, &r);
        ::FillRect(reinterpret_cast<HDC>(wp), &r, static_cast<HBRUSH>(brush_.get()));
        return 1;
    }
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLOREDIT:
        return ColorControl(msg, wp, lp);
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = ::BeginPaint(hwnd_, &ps);
        OnPaint(dc, ps.rcPaint);
        ::EndPaint(hwnd_, &ps);
        return 0;
    }
    case WM_SHOWWINDOW:
        // Not sent for every way of showing (a maximising show has none), so
        // Show and ShowInitial notify as well; the flag keeps it to once.
        // A non-zero status is the owner hiding or restoring its popups (the
        // program minimised and restored): the form was not shown or hidden by
        // the program, and its show handler must not run again. The default
        // handling hides or shows the form then, which sends this message once
        // more with a zero status, so that one is passed over too.
        if (lp != 0) {
            ++ownerToggling_;
            const LRESULT result = Default(msg, wp, lp);
            --ownerToggling_;
            return result;
        }
        if (ownerToggling_ > 0) {
            break;
        }
        if (wp) {
            NotifyShown();
        } else if (showNotified_) {
            showNotified_ = false;
            OnHide();
        }
        // The default handling hides and shows owned windows with their owner.
        break;
    case WM_CLOSE:
        OnClose();
        return 0;
    case WM_KEYDOWN: {
        WORD key = static_cast<WORD>(wp);
        OnKeyDown(key, ShiftState());
        return 0;
    }
    case WM_KEYUP: {
        WORD key = static_cast<WORD>(wp);
        OnKeyUp(key, ShiftState());
        return 0;
    }
    case WM_TIMER:
        OnTimer(wp);
        return 0;
    case WM_SIZE:
        OnResize();
        return 0;
    case WM_COMMAND:
        if (Control* c = Control::FromHandle(reinterpret_cast<HWND>(lp))) {
            c->OnCommand(HIWORD(wp));
            return 0;
        }
        break;
    case WM_NOTIFY: {
        auto* hdr = reinterpret_cast<NMHDR*>(lp);
        LRESULT result = 0;
        if (Control* c = hdr ? Control::FromHandle(hdr->hwndFrom) : nullptr) {
            c->OnNotify(*hdr, result);
        }
        return result;
    }
    case WM_HSCROLL:
    case WM_VSCROLL:
        if (Control* c = Control::FromHandle(reinterpret_cast<HWND>(lp))) {
            c->OnScroll(LOWORD(wp));
            return 0;
        }
        break;
    case WM_WINDOWPOSCHANGED:
        // Every way of showing or hiding the window passes here.
        if (reinterpret_cast<const WINDOWPOS*>(lp)->flags & (SWP_SHOWWINDOW | SWP_HIDEWINDOW)) {
            OnVisibilityChanged();
        }
        break;
    case MM_MIXM_CONTROL_CHANGE:
        OnMixerControlChange();
        return 0;
    case WM_SETCURSOR:
        if (Application::Get().ApplyScreenCursor()) {
            return TRUE;
        }
        break;
    case WM_DESTROY:
        OnDestroy();
        return 0;
    default:
        break;
    }
    return Default(msg, wp, lp);
}

LRESULT Form::ColorControl(UINT msg, WPARAM wp, LPARAM lp) {
    const auto dc = reinterpret_cast<HDC>(wp);
    if (textColor_ != CLR_INVALID) {
        ::SetTextColor(dc, textColor_);
    } else if (msg == WM_CTLCOLOREDIT) {
        return Default(msg, wp, lp);
    }
    if (msg == WM_CTLCOLOREDIT) {
        return reinterpret_cast<LRESULT>(::GetSysColorBrush(COLOR_WINDOW));
    }
    ::SetBkColor(dc, color_);
    return reinterpret_cast<LRESULT>(brush_.get());
}

void Form::OnClose() {
    if (Application::Get().MainForm() == this) {
        // Closing the main window ends the program.
        Application::Get().Terminate();
    } else if (inModal_) {
        modalResult_ = mrCancel;
    } else {
        Hide();
    }
}

void Form::NotifyShown() {
    if (!showNotified_) {
        showNotified_ = true;
        OnShow();
    }
}

void Form::Show() {
    ::ShowWindow(hwnd_, SW_SHOW);
    if (Visible()) {
        NotifyShown();
    }
    ::UpdateWindow(hwnd_);
}

void Form::ShowInitial() {
    ::ShowWindow(hwnd_, initialShow_);
    if (Visible()) {
        NotifyShown();
    }
    ::UpdateWindow(hwnd_);
}

void Form::Hide() {
    ::ShowWindow(hwnd_, SW_HIDE);
}
bool Form::Visible() const {
    return hwnd_ && ::IsWindowVisible(hwnd_);
}
void Form::BringToFront() {
    ::SetWindowPos(hwnd_, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
}

void Form::SetBounds(int left, int top, int width, int height) {
    ::SetWindowPos(hwnd_, nullptr, left, top, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

RECT Form::Bounds() const {
    RECT r{};
    ::GetWindowRect(hwnd_, &r);
    return r;
}
int Form::Width() const {
    const RECT r = Bounds();
    return r.right - r.left;
}
int Form::Height() const {
    const RECT r = Bounds();
    return r.bottom - r.top;
}
int Form::ClientWidth() const {
    RECT r{};
    ::GetClientRect(hwnd_, &r);
    return r.right;
}
int Form::ClientHeight() const {
    RECT r{};
    ::GetClientRect(hwnd_, &r);
    return r.bottom;
}

void Form::SetClientHeight(int height) {
    SetBounds(Bounds().left, Bounds().top, Width(), Height() - ClientHeight() + height);
}

void Form::SetCaption(const std::wstring& caption) {
    ::SetWindowTextW(hwnd_, caption.c_str());
}

std::wstring Form::Caption() const {
    const int n = ::GetWindowTextLengthW(hwnd_);
    std::wstring s(static_cast<std::size_t>(n) + 1, L'\0');
    ::GetWindowTextW(hwnd_, s.data(), n + 1);
    s.resize(static_cast<std::size_t>(n));
    return s;
}

int Form::ShowModal() {
    auto& app = Application::Get();
    // Disable the other windows of the thread so only this form takes input.
    struct Disabled {
        static BOOL CALLBACK Collect(HWND h, LPARAM lp) {
            auto* self = reinterpret_cast<std::pair<HWND, std::set<HWND>*>*>(lp);
            if (h != self->first && ::IsWindowVisible(h) && ::IsWindowEnabled(h)) {
                self->second->insert(h);
            }
            return TRUE;
        }
    };
    std::set<HWND> disabled;
    std::pair<HWND, std::set<HWND>*> ctx{hwnd_, &disabled};
    ::EnumThreadWindows(::GetCurrentThreadId(), Disabled::Collect, reinterpret_cast<LPARAM>(&ctx));
    for (HWND h : disabled) {
        ::EnableWindow(h, FALSE);
    }
    modalResult_ = mrNone;
    inModal_ = true;
    Show();
    ::SetActiveWindow(hwnd_);
    while (modalResult_ == mrNone && hwnd_ && app.HandleMessage()) {
    }
    if (modalResult_ == mrNone) {
        modalResult_ = mrCancel;
    }
    inModal_ = false;
    for (HWND h : disabled) {
        ::EnableWindow(h, TRUE);
    }
    if (hwnd_) {
        Hide();
    }
    return modalResult_;
}

} // namespace fw::win
