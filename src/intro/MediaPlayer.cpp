#include "intro/MediaPlayer.h"

#include "win/application.h"
#include "win/error.h"
#include "win/window_class.h"

// digitalv.h builds on the types of mmsystem.h.
#include <mmsystem.h>
#include <digitalv.h>

#include <iterator>

namespace fw {

namespace {

constexpr wchar_t kClass[] = L"TMediaPlayer";

void RegisterPlayerClass() {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = DefWindowProcW; // replaced per window at creation
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.lpszClassName = kClass;
    win::RegisterWindowClass(wc);
}

void Check(MCIERROR err) {
    if (err != 0) {
        throw win::Error(TMediaPlayer::ErrorText(err));
    }
}

} // namespace

TMediaPlayer::TMediaPlayer() {
    RegisterPlayerClass();
    window_ = win::CheckCreated(::CreateWindowExW(0, kClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                                  nullptr, ::GetModuleHandleW(nullptr), nullptr),
                                L"the media player's window");
    ::SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    ::SetWindowLongPtrW(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&WndProc));
}

TMediaPlayer::~TMediaPlayer() {
    OnNotify = nullptr;
    Close();
    ::SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
    ::DestroyWindow(window_);
}

std::wstring TMediaPlayer::ErrorText(DWORD code) {
    wchar_t text[256] = {};
    if (!::mciGetErrorStringW(code, text, static_cast<UINT>(std::size(text))) || !text[0]) {
        return L"Unknown error code";
    }
    return text;
}

LRESULT CALLBACK TMediaPlayer::WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    auto* self = reinterpret_cast<TMediaPlayer*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (msg == MM_MCINOTIFY && self) {
        if (self->OnNotify) {
            win::Guarded([&] { self->OnNotify(); });
        }
        return 0;
    }
    return ::DefWindowProcW(hwnd, msg, wp, lp);
}

void TMediaPlayer::SetDisplay(HWND window) {
    display_ = window;
    if (IsOpen() && hasVideo_) {
        ApplyDisplay();
    }
}

void TMediaPlayer::ApplyDisplay() {
    MCI_DGV_WINDOW_PARMSW p{};
    p.hWnd = display_;
    Check(::mciSendCommandW(device_, MCI_WINDOW, MCI_DGV_WINDOW_HWND | MCI_WAIT,
                            reinterpret_cast<DWORD_PTR>(&p)));
}

void TMediaPlayer::Open() {
    Close();
    MCI_OPEN_PARMSW p{};
    p.dwCallback = reinterpret_cast<DWORD_PTR>(window_);
    p.lpstrElementName = fileName_.c_str();
    Check(::mciSendCommandW(0, MCI_OPEN, MCI_OPEN_ELEMENT | MCI_WAIT,
                            reinterpret_cast<DWORD_PTR>(&p)));
    device_ = p.wDeviceID;

    MCI_GETDEVCAPS_PARMS caps{};
    caps.dwItem = MCI_GETDEVCAPS_HAS_VIDEO;
    hasVideo_ = ::mciSendCommandW(device_, MCI_GETDEVCAPS, MCI_GETDEVCAPS_ITEM | MCI_WAIT,
                                  reinterpret_cast<DWORD_PTR>(&caps)) == 0 &&
                caps.dwReturn != 0;
    if (hasVideo_ && display_) {
        try {
            ApplyDisplay();
        } catch (...) {
            // A clip that cannot be shown where asked is not left open.
            Close();
            throw;
        }
    }
}

void TMediaPlayer::Play() {
    if (!IsOpen()) {
        throw win::Error(ErrorText(MCIERR_INVALID_DEVICE_ID));
    }
    MCI_PLAY_PARMS p{};
    p.dwCallback = reinterpret_cast<DWORD_PTR>(window_);
    Check(::mciSendCommandW(device_, MCI_PLAY, MCI_NOTIFY, reinterpret_cast<DWORD_PTR>(&p)));
}

void TMediaPlayer::Close() {
    if (!IsOpen()) {
        return;
    }
    MCI_GENERIC_PARMS p{};
    ::mciSendCommandW(device_, MCI_CLOSE, MCI_WAIT, reinterpret_cast<DWORD_PTR>(&p));
    device_ = 0;
    hasVideo_ = false;
}

} // namespace fw
