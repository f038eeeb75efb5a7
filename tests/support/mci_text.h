#pragma once
// MCI's own text for an error, in the system's language, as the intro's error box quotes it.

#include <windows.h>

#include <mmsystem.h>

#include <string>

namespace fwtest {

inline std::wstring MciErrorText(DWORD code) {
    wchar_t text[512] = {};
    return ::mciGetErrorStringW(code, text, 512) ? std::wstring(text) : L"<no MCI text>";
}

} // namespace fwtest
