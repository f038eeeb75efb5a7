#pragma once
// The start-up decision on Windows: removal, installation from the CD to the
// hard disk, registration where the program runs, or the normal start. It
// reaches the main window only through this context and returns whether the
// movie is to be started.

#include <windows.h>

#include <string>
#include <vector>

namespace fw {

class TDdeClientConv;

struct StartupContext {
    std::vector<std::wstring> args; // command-line arguments after the program
    std::wstring exePath;           // the running executable
    HWND mainWindow = nullptr;
    TDdeClientConv* programGroup = nullptr;
};

// The command-line arguments of this process after the program's name.
std::vector<std::wstring> ProcessArguments();

// Runs the decision; true when the movie is to be started. Every road that
// does not start the movie has requested the end of the program.
bool RunStartupDecision(const StartupContext& ctx);

void RunRegistration(const StartupContext& ctx);
void RunInstallation(const StartupContext& ctx);
void RunRemoval(const StartupContext& ctx);

} // namespace fw
