#pragma once
// Conversions between the program's UTF-16 texts and the byte texts that
// peers read (system ANSI or OEM code page, Windows-1251, UTF-8).

#include <windows.h>

#include <string>
#include <string_view>

namespace fw::win {

inline constexpr UINT kCp1251 = 1251;

std::string Narrow(std::wstring_view s, UINT codePage = CP_ACP);
std::wstring Widen(std::string_view s, UINT codePage = CP_ACP);
std::string ToUtf8(std::wstring_view s);
std::wstring FromUtf8(std::string_view s);

// The system's text for a Win32 error code, without the trailing line break.
std::wstring SystemErrorText(DWORD code);

// Full path of the running executable, and its folder with the trailing backslash.
std::wstring ExePath();
std::wstring ExeFolder();

} // namespace fw::win
