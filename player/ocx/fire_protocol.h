#pragma once
// How tests and scenarios talk to the stand-in player control from outside.
//
// Making the control fire FSCommand, as its movie would:
//   send WM_COPYDATA to the control's window (class kPlayerWindowClass) with
//   dwData = the value of RegisterWindowMessageW(kFireMessageName) and
//   lpData = the UTF-16 text "command\0args" (cbData bytes, no terminator needed; a text
//   without the \0 separator is a command with empty args).
//   The control answers TRUE when it accepted the request and fires the event soon after
//   from its own message loop (so the sender is never blocked by the container's handler).
//
// The trace file: when the environment variable FENWOBBLE_PLAYER_TRACE names a file, the
// control appends one UTF-8 line per call it receives. Fields are separated by a tab; in
// values, '%', tab, CR and LF are written as %25, %09, %0D and %0A. The lines:
//   put <property> <value>          property written (Movie, FlashVars, ScaleMode, WMode, ...)
//   get <property>                  property read
//   call SetVariable <name> <value> / call GetVariable <name> / call Play / call Stop
//   verb <number>                   IOleObject::DoVerb
//   rects <left> <top> <right> <bottom>    placement (SetObjectRects or activation)
//   show / hide                     the control's window was shown or hidden
//   mouse <message> <x> <y>         WM_LBUTTONDOWN, WM_LBUTTONUP, WM_RBUTTONDOWN, WM_RBUTTONUP
//   FSCommand <command> <args>      event fired to the container
//   load <path> <result>            movie loaded: "N frames", "not found" or "not a movie"
//   trace <text> / problem <text>   the movie's trace() output / a fault in the movie
//   close                           IOleObject::Close

#include <windows.h>

#include <string>
#include <string_view>

namespace fw::player {

inline constexpr wchar_t kFireMessageName[] = L"FenwobblePlayerFire";
inline constexpr wchar_t kPlayerWindowClass[] = L"FenwobblePlayerWindow";
inline constexpr wchar_t kTraceVariable[] = L"FENWOBBLE_PLAYER_TRACE";

inline ULONG_PTR FireRequestTag() {
    return ::RegisterWindowMessageW(kFireMessageName);
}

// Asks the control whose window is given to fire FSCommand(command, args).
inline bool SendFireRequest(HWND control, std::wstring_view command, std::wstring_view args) {
    std::wstring text(command);
    text += L'\0';
    text += args;
    COPYDATASTRUCT cds{};
    cds.dwData = FireRequestTag();
    cds.cbData = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    cds.lpData = text.data();
    return ::SendMessageW(control, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&cds)) == TRUE;
}

namespace detail {
inline BOOL CALLBACK MatchPlayerWindow(HWND hwnd, LPARAM out) {
    wchar_t name[64];
    if (::GetClassNameW(hwnd, name, 64) && std::wstring_view(name) == kPlayerWindowClass) {
        *reinterpret_cast<HWND*>(out) = hwnd;
        return FALSE;
    }
    return TRUE;
}
} // namespace detail

// The first player control window below the given window, or null.
inline HWND FindPlayerWindow(HWND top) {
    HWND found = nullptr;
    ::EnumChildWindows(top, &detail::MatchPlayerWindow, reinterpret_cast<LPARAM>(&found));
    return found;
}

} // namespace fw::player
