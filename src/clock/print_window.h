#pragma once
// Printing a picture of the main window: the default printer in landscape, a picture the size
// of the movie's control, filled red, crossed by a black diagonal and covered with the window's
// client area as the screen shows it.

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

// The picture of pictureSize pixels: red, a black line 2 pixels wide from (0,0) to its
// opposite corner, then the window's client rectangle (0,0)-pictureSize stretched into
// (0,0)-(client width, client height), cut to the picture. Raises PrintError.
win::GdiObject ComposeWindowPicture(HWND window, SIZE pictureSize);

// Everything the main window's print command does: landscape first (so that a missing printer
// stops the request before any picture exists), the picture of flashSize pixels, one landscape
// page with the picture as large as fits and centred, the job titled jobTitle. The picture is
// released also when a step fails. Raises PrintError.
void PrintWindowPicture(HWND mainWindow, SIZE flashSize, const std::wstring& jobTitle);

} // namespace fw
