#include "app/startup.h"
#include "shell/MainFrm.h"
#include "shell/RtfFrm.h"
#include "win/application.h"
#include "win/error.h"

#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    const fw::SystemFolders folders = fw::ReadSystemFolders();
    auto& app = fw::win::Application::Get();
    app.Initialize();

    std::unique_ptr<fw::TMainForm> mainForm;
    bool provision = false;
    bool flashRefused = false;
    try {
        mainForm = fw::TMainForm::Create();
        flashRefused = mainForm->FlashError;
        provision = flashRefused;
    } catch (const fw::win::OleSysError&) {
        provision = true;
    } catch (const std::exception& e) {
        app.ShowException(e);
    }

    if (provision) {
        fw::ProvisionFlashControl(folders);
        try {
            if (!mainForm) {
                mainForm = fw::TMainForm::Create();
            } else if (flashRefused) {
                app.ShowMessage(L"Запустите программу еще раз");
                app.Terminate();
            }
        } catch (const std::exception&) {
            app.ShowMessage(L"Unable to find Macromedia Shockwave Flash.");
        }
    }
    if (!mainForm) {
        // Nothing can be shown without the main window: end after the message.
        return 1;
    }

    std::unique_ptr<fw::TRtfForm> rtfForm;
    fw::win::Guarded([&] { rtfForm = fw::TRtfForm::Create(); });
    mainForm->Peers().rtfForm = rtfForm.get();

    app.Run();
    mainForm->Peers() = {};
    return 0;
}
