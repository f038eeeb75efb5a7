// taskbar.exe CLASS: sends the restore command to the top-level window of that
// class, as a click on its taskbar button would. Answers 0 when the window was
// found, 1 when not.
#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR cmd, int) {
    HWND window = ::FindWindowW(cmd, nullptr);
    if (!window) {
        return 1;
    }
    ::SendMessageW(window, WM_SYSCOMMAND, SC_RESTORE, 0);
    return 0;
}
