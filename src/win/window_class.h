#pragma once
// Window classes and windows whose making can fail: each failure is raised as
// an Error that names what was being made and the system's reason.

#include <windows.h>

#include <string>

namespace fw::win {

// Registers the class; one that is registered already (a second window of the
// same kind) is no failure.
void RegisterWindowClass(const WNDCLASSEXW& wc);

// The window just created, or the error when there is none.
HWND CheckCreated(HWND hwnd, const std::wstring& what);

} // namespace fw::win
