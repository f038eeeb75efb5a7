#pragma once
// What the intro's Windows tests share: whether MCI can play video here, and
// handling messages until a condition holds.

#include <windows.h>

#include <mmsystem.h>

#include <string>

namespace intro_test {

inline bool HasVideoDevice() {
    wchar_t driver[MAX_PATH] = {};
    DWORD size = sizeof(driver);
    return ::RegGetValueW(HKEY_LOCAL_MACHINE,
                          L"Software\\Microsoft\\Windows NT\\CurrentVersion\\MCI32", L"avivideo",
                          RRF_RT_REG_SZ, nullptr, driver, &size) == ERROR_SUCCESS &&
           driver[0] != 0;
}

// Handles messages until the predicate holds; gives up after the limit so a
// lost notification fails the test rather than hanging it.
template <typename P> bool PumpUntilWithin(P done, DWORD limitMs) {
    const DWORD start = ::GetTickCount();
    while (!done()) {
        if (::GetTickCount() - start > limitMs) {
            return false;
        }
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
    return true;
}

} // namespace intro_test
