#pragma once
// The process entry's pieces: the system folders, running a program and
// waiting for it, and provisioning the player control from the program's
// own data folder.

#include <cstdint>
#include <string>

namespace fw {

struct SystemFolders {
    std::wstring system; // the system folder with its trailing backslash
    std::wstring flash;  // system + "Macromed\Flash\"
};
SystemFolders ReadSystemFolders();

// Runs a command line as a separate process and waits for its end; returns
// its exit code, or -1 (after the "Yipes!" box with the system's text) when it
// cannot be started. A command line over 512 characters or a current folder
// over 255 is refused the same way rather than cut short.
std::int32_t RunAndWait(const std::wstring& commandLine, std::uint16_t showCommand);

// Copies the control (FLASH.OCX of the data folder) into the Flash folder and registers
// it silently. Every failure is shown in its own message. Returns whether the
// start-up goes on to decide between creating the main window again and asking
// for a new start: false after a failed copy or registration, when neither
// would help and the program goes on with what it has.
bool ProvisionFlashControl(const SystemFolders& folders, const std::wstring& source);

} // namespace fw
