#include "win/window_class.h"

#include "win/error.h"
#include "win/strings.h"

namespace fw::win {

void RegisterWindowClass(const WNDCLASSEXW& wc) {
    if (::RegisterClassExW(&wc) == 0) {
        const DWORD code = ::GetLastError();
        if (code != ERROR_CLASS_ALREADY_EXISTS) {
            throw Error(std::wstring(L"Cannot register the window class ") + wc.lpszClassName +
                        L". " + SystemErrorText(code));
        }
    }
}

HWND CheckCreated(HWND hwnd, const std::wstring& what) {
    if (!hwnd) {
        throw Error(L"Cannot create " + what + L". " + SystemErrorText(::GetLastError()));
    }
    return hwnd;
}

} // namespace fw::win
