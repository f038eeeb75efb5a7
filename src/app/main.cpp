#include "shell/MainFrm.h"
#include "win/application.h"

#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    auto& app = fw::win::Application::Get();
    app.Initialize();
    std::unique_ptr<fw::TMainForm> mainForm;
    fw::win::Guarded([&] { mainForm = fw::TMainForm::Create(); });
    if (!mainForm) {
        return 1;
    }
    app.Run();
    return 0;
}
