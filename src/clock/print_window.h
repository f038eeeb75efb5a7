#pragma once
// Printing a picture of the main window: the default printer in landscape, a picture of the
// movie's control, filled red, crossed by a black diagonal and covered with what the screen
// shows of the control.

#include "win/error.h"
#include "win/handle.h"

#include <windows.h>

#include <string>

namespace fw {

// Raised by printing; the application's error box shows its text.
class PrintError : public win::Error {
public:
    using win::Error::Error;
};

inline constexpr wchar_t kNoDefaultPrinter[] = L"There is no default printer currently selected";
inline constexpr wchar_t kPrinterOperationNotSupported[] =
    L"Operation not supported on selected printer";

// Switches the process-wide printer to landscape, choosing the system's default printer on the
// first call. The choice and the orientation stay for the rest of the process; the system's
// own printer settings are not changed. Raises PrintError (kNoDefaultPrinter,
// kPrinterOperationNotSupported or the system's text when the printers cannot be listed).
void SetDefaultPrinterLandscape();

// The picture of the source rectangle (in the window's client coordinates): red, a black line
// 2 pixels wide from (0,0) to its opposite corner, then what the window shows of the rectangle
// copied pixel for pixel to its own place in the picture. Raises PrintError.
win::GdiObject ComposeWindowPicture(HWND window, const RECT& source);

// Everything the main window's print command does: landscape first (so that a missing printer
// stops the request before any picture exists), the picture of the control's rectangle
// flashRect, one landscape page with the picture as large as fits and centred, the job titled
// jobTitle. The picture is released also when a step fails. Raises PrintError.
void PrintWindowPicture(HWND mainWindow, const RECT& flashRect, const std::wstring& jobTitle);

} // namespace fw
