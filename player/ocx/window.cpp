#include "window.h"

#include "fire_protocol.h"
#include "module.h"
#include "text.h"
#include "trace.h"

#include <windowsx.h>

namespace fw::player {
namespace {

constexpr UINT_PTR kFrameTimer = 1;
constexpr UINT kFireQueued = WM_APP + 1;
constexpr std::size_t kMaxQueuedFires = 1000;

} // namespace

bool PlayerWindow::Create(const PlayerWindowArgs& args) {
    if (hwnd_) {
        return true;
    }
    owner_ = args.owner;
    static ATOM atom = [] {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.style = CS_HREDRAW | CS_VREDRAW;
        wc.lpfnWndProc = &PlayerWindow::Proc;
        wc.hInstance = ModuleInstance();
        wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
        wc.lpszClassName = kPlayerWindowClass;
        return ::RegisterClassExW(&wc);
    }();
    if (!atom) {
        return false;
    }
    DWORD style = WS_CHILD | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | (args.visible ? WS_VISIBLE : 0);
    const RECT& r = args.bounds;
    ::CreateWindowExW(0, kPlayerWindowClass, L"", style, r.left, r.top, r.right - r.left,
                      r.bottom - r.top, args.parent, nullptr, ModuleInstance(), this);
    return hwnd_ != nullptr;
}

void PlayerWindow::Destroy() {
    if (hwnd_) {
        destroying_ = true;
        ::DestroyWindow(hwnd_);
        destroying_ = false;
    }
    ReleaseBuffer();
}

void PlayerWindow::ReleaseBuffer() {
    if (bufferDc_) {
        ::SelectObject(bufferDc_, bufferOld_);
        ::DeleteDC(bufferDc_);
    }
    if (buffer_) {
        ::DeleteObject(buffer_);
    }
    bufferDc_ = nullptr;
    buffer_ = nullptr;
    bufferOld_ = nullptr;
    bufferSize_ = {};
}

void PlayerWindow::SetFrameInterval(UINT milliseconds) {
    // Setting the timer again would restart its count, and frequent input would hold the
    // frames back.
    if (milliseconds == interval_) {
        return;
    }
    interval_ = milliseconds;
    if (!hwnd_) {
        return; // started when the window exists
    }
    if (milliseconds == 0) {
        ::KillTimer(hwnd_, kFrameTimer);
    } else {
        ::SetTimer(hwnd_, kFrameTimer, milliseconds, nullptr);
    }
}

void PlayerWindow::Invalidate() const {
    if (hwnd_) {
        ::InvalidateRect(hwnd_, nullptr, FALSE);
    }
}

LRESULT CALLBACK PlayerWindow::Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    auto* self = reinterpret_cast<PlayerWindow*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (msg == WM_NCCREATE) {
        self = static_cast<PlayerWindow*>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams);
        self->hwnd_ = hwnd;
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    if (!self) {
        return ::DefWindowProcW(hwnd, msg, wp, lp);
    }
    LRESULT result = 0;
    try {
        result = self->Handle(msg, wp, lp);
    } catch (...) {
        // Nothing may leave a window procedure; the movie simply misses this message.
        TraceLine({L"problem", L"error while handling a window message"});
    }
    if (msg == WM_NCDESTROY) {
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        self->hwnd_ = nullptr;
        self->fires_.clear();
    }
    return result;
}

LRESULT PlayerWindow::Handle(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_CREATE:
        if (interval_) {
            ::SetTimer(hwnd_, kFrameTimer, interval_, nullptr);
        }
        return 0;
    case WM_TIMER:
        if (wp == kFrameTimer && owner_) {
            owner_->OnFrameTimer();
        }
        return 0;
    case WM_ERASEBKGND:
        return 1; // the paint covers everything
    case WM_PAINT:
        OnPaintMessage();
        return 0;
    case WM_COPYDATA:
        return OnCopyData(reinterpret_cast<const COPYDATASTRUCT*>(lp));
    case kFireQueued:
        OnFireQueued();
        return 0;
    case WM_MOUSEMOVE:
    case WM_MOUSELEAVE:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP:
    case WM_MBUTTONDOWN:
    case WM_MBUTTONUP:
        OnMouse(msg, lp);
        break; // and the default handling (the context menu message after a right click)
    case WM_SETCURSOR:
        if (OnSetCursor(wp, lp)) {
            return TRUE;
        }
        break;
    case WM_KEYDOWN:
    case WM_KEYUP:
        OnKey(msg, wp);
        break;
    case WM_CHAR:
        OnChar(wp);
        break;
    case WM_WINDOWPOSCHANGED:
        OnWindowPosChanged(reinterpret_cast<const WINDOWPOS*>(lp));
        break;
    case WM_DESTROY:
        ::KillTimer(hwnd_, kFrameTimer);
        return 0;
    default:
        break;
    }
    return ::DefWindowProcW(hwnd_, msg, wp, lp);
}

void PlayerWindow::OnPaintMessage() {
    PAINTSTRUCT ps;
    HDC dc = ::BeginPaint(hwnd_, &ps);
    RECT client;
    ::GetClientRect(hwnd_, &client);
    // Drawn off screen first, so the picture never flickers; the buffer is
    // kept while the size stays, as the movie repaints many times a second.
    if (!buffer_ || bufferSize_.cx != client.right || bufferSize_.cy != client.bottom) {
        ReleaseBuffer();
        bufferDc_ = ::CreateCompatibleDC(dc);
        buffer_ = ::CreateCompatibleBitmap(dc, client.right, client.bottom);
        if (bufferDc_ && buffer_) {
            bufferOld_ = ::SelectObject(bufferDc_, buffer_);
            bufferSize_ = {client.right, client.bottom};
        } else {
            ReleaseBuffer();
        }
    }
    if (bufferDc_) {
        if (owner_) {
            owner_->OnPaint(bufferDc_, client);
        }
        ::BitBlt(dc, 0, 0, client.right, client.bottom, bufferDc_, 0, 0, SRCCOPY);
    } else if (owner_) {
        owner_->OnPaint(dc, client);
    }
    ::EndPaint(hwnd_, &ps);
}

LRESULT PlayerWindow::OnCopyData(const COPYDATASTRUCT* cds) {
    if (!cds || cds->dwData != FireRequestTag() || (cds->cbData % sizeof(wchar_t)) != 0 ||
        (cds->cbData > 0 && !cds->lpData)) {
        return FALSE;
    }
    if (fires_.size() >= kMaxQueuedFires) {
        return FALSE;
    }
    std::wstring_view text(static_cast<const wchar_t*>(cds->lpData), cds->cbData / sizeof(wchar_t));
    std::size_t sep = text.find(L'\0');
    std::wstring command(text.substr(0, sep));
    std::wstring args(sep == std::wstring_view::npos ? std::wstring_view{} : text.substr(sep + 1));
    fires_.emplace_back(std::move(command), std::move(args));
    ::PostMessageW(hwnd_, kFireQueued, 0, 0);
    return TRUE;
}

void PlayerWindow::OnFireQueued() {
    if (fires_.empty() || !owner_) {
        return;
    }
    auto [command, args] = std::move(fires_.front());
    fires_.pop_front();
    owner_->OnFireRequest(command, args);
}

void PlayerWindow::OnMouse(UINT msg, LPARAM lp) {
    int x = GET_X_LPARAM(lp);
    int y = GET_Y_LPARAM(lp);
    bool changed = false;
    switch (msg) {
    case WM_MOUSEMOVE:
        if (!tracking_) {
            TRACKMOUSEEVENT tme{sizeof tme, TME_LEAVE, hwnd_, 0};
            tracking_ = ::TrackMouseEvent(&tme) != FALSE;
        }
        changed = owner_ && owner_->OnMouseInput(msg, x, y);
        break;
    case WM_MOUSELEAVE:
        tracking_ = false;
        changed = owner_ && owner_->OnMouseInput(msg, 0, 0);
        break;
    case WM_LBUTTONDOWN:
        // Held while the button is down, so the release is seen also outside the window; and a
        // click gives the movie the keyboard, as any control takes it when clicked.
        ::SetCapture(hwnd_);
        if (::GetFocus() != hwnd_) {
            ::SetFocus(hwnd_);
        }
        changed = owner_ && owner_->OnMouseInput(msg, x, y);
        break;
    case WM_LBUTTONUP:
        if (::GetCapture() == hwnd_) {
            ::ReleaseCapture();
        }
        changed = owner_ && owner_->OnMouseInput(msg, x, y);
        break;
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP:
    case WM_MBUTTONDOWN:
    case WM_MBUTTONUP:
        changed = owner_ && owner_->OnMouseInput(msg, x, y);
        break;
    default:
        break;
    }
    if (changed) {
        Invalidate();
    }
    if (msg == WM_MOUSEMOVE || msg == WM_MOUSELEAVE) {
        return;
    }
    const wchar_t* name = msg == WM_LBUTTONDOWN   ? L"WM_LBUTTONDOWN"
                          : msg == WM_LBUTTONUP   ? L"WM_LBUTTONUP"
                          : msg == WM_RBUTTONDOWN ? L"WM_RBUTTONDOWN"
                          : msg == WM_RBUTTONUP   ? L"WM_RBUTTONUP"
                          : msg == WM_MBUTTONDOWN ? L"WM_MBUTTONDOWN"
                                                  : L"WM_MBUTTONUP";
    TraceLine({L"mouse", name, DecimalText(GET_X_LPARAM(lp)), DecimalText(GET_Y_LPARAM(lp))});
}

bool PlayerWindow::OnSetCursor(WPARAM wp, LPARAM lp) {
    if (reinterpret_cast<HWND>(wp) != hwnd_ || LOWORD(lp) != HTCLIENT || !owner_ ||
        !owner_->WantsHand()) {
        return false;
    }
    // The application may set its own cursor afterwards (an hourglass while it works); that
    // one then stands, as the container's choice.
    ::SetCursor(::LoadCursorW(nullptr, IDC_HAND));
    return true;
}

void PlayerWindow::OnKey(UINT msg, WPARAM wp) {
    // Windows' virtual key codes are the codes movies read; a key sent by a program for one
    // character alone has none.
    int keyCode = wp == VK_PACKET ? 0 : static_cast<int>(wp & 0xFF);
    if (msg == WM_KEYDOWN) {
        char32_t character = TakeCharacter();
        typed_[keyCode] = character;
        Key(true, keyCode, character);
        return;
    }
    auto held = typed_.find(keyCode);
    char32_t character = held == typed_.end() ? 0 : held->second;
    if (held != typed_.end()) {
        typed_.erase(held);
    }
    Key(false, keyCode, character);
}

char32_t PlayerWindow::TakeCharacter() {
    // The character a key types follows its key-down in the queue (the message loop translated
    // it before dispatching), so the movie hears both as one event, as keyboards deliver them.
    MSG next;
    if (!::PeekMessageW(&next, hwnd_, WM_CHAR, WM_CHAR, PM_REMOVE)) {
        return 0;
    }
    char32_t character = static_cast<char32_t>(next.wParam & 0xFFFF);
    if (IS_HIGH_SURROGATE(character) && ::PeekMessageW(&next, hwnd_, WM_CHAR, WM_CHAR, PM_REMOVE)) {
        wchar_t low = static_cast<wchar_t>(next.wParam & 0xFFFF);
        if (IS_LOW_SURROGATE(low)) {
            return 0x10000 + ((character - 0xD800) << 10) + (low - 0xDC00);
        }
        return low; // a broken pair loses its first half
    }
    return character;
}

void PlayerWindow::OnChar(WPARAM wp) {
    // A character without a key of its own (sent by a program or an input method): pressed and
    // released at once, under the key that types it on this keyboard, when there is one.
    auto unit = static_cast<wchar_t>(wp & 0xFFFF);
    char32_t character = unit;
    if (IS_HIGH_SURROGATE(unit)) {
        highSurrogate_ = unit;
        return;
    }
    if (IS_LOW_SURROGATE(unit)) {
        if (!highSurrogate_) {
            return;
        }
        character = 0x10000 + ((highSurrogate_ - 0xD800) << 10) + (unit - 0xDC00);
    }
    highSurrogate_ = 0;
    SHORT scan = character < 0x10000 ? ::VkKeyScanW(unit) : -1;
    int keyCode = scan == -1 ? 0 : (scan & 0xFF);
    Key(true, keyCode, character);
    Key(false, keyCode, character);
}

void PlayerWindow::Key(bool down, int keyCode, char32_t character) {
    if (owner_ && owner_->OnKeyInput(down, keyCode, character)) {
        Invalidate();
    }
}

void PlayerWindow::OnWindowPosChanged(const WINDOWPOS* pos) {
    if (destroying_) {
        return;
    }
    if (pos->flags & SWP_SHOWWINDOW) {
        TraceLine({L"show"});
    } else if (pos->flags & SWP_HIDEWINDOW) {
        TraceLine({L"hide"});
    }
}

} // namespace fw::player
