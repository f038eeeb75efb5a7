#include "app/startup.h"
#include "intro/IntroFrm.h"
#include "sound/SCFrm.h"
#include "shell/MainFrm.h"
#include "shell/RtfFrm.h"
#include "win/application.h"
#include "win/com.h"
#include "win/error.h"
#include "win/strings.h"

#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    const fw::SystemFolders folders = fw::ReadSystemFolders();
    // Declared before every form, so OLE ends after the player control has gone.
    const fw::win::OleScope ole;
    auto& app = fw::win::Application::Get();
    try {
        app.Initialize();
    } catch (const std::exception& e) {
        app.ShowException(e);
        return 1;
    }

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

    if (provision &&
        fw::ProvisionFlashControl(folders, fw::win::ExeFolder() + L"SWF" + L"\\FLASH.OCX")) {
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

    fw::TMainForm* main = mainForm.get();
    std::unique_ptr<fw::TSoundControlForm> soundForm;
    fw::win::Guarded([&] { soundForm = fw::TSoundControlForm::Create(); });
    if (soundForm) {
        fw::TSoundControlForm* sound = soundForm.get();
        main->Peers().getGeneralVolume = [sound] { return sound->GetGeneralVolume(); };
        main->Peers().setGeneralVolume = [sound](std::uint16_t p) { sound->SetGeneralVolume(p); };
    }

    std::unique_ptr<fw::TIntroForm> introForm;
    fw::win::Guarded([&] {
        fw::intro::IntroHost host;
        host.hideMainWindow = [main] { main->Hide(); };
        host.showMainWindow = [main] { main->Show(); };
        host.escIntro = [main] { return main->EscIntro; };
        host.setEscIntro = [main](bool v) { main->EscIntro = v; };
        host.startMovie = [main] { main->StartMovie(); };
        host.showFlash = [main] { main->Flash1().Show(); };
        host.keyUp = [main](std::uint16_t& key, unsigned shift) {
            WORD k = key;
            main->FormKeyUp(k, shift);
            key = k;
        };
        auto& peers = main->Peers();
        peers.introVisible = [&introForm] { return introForm && introForm->Visible(); };
        peers.closeIntroPlayer = [&introForm] { introForm->CloseMediaPlayer(); };
        peers.hideIntro = [&introForm] { introForm->Hide(); };
        introForm = fw::TIntroForm::Create({host, std::nullopt, {}});
    });

    std::unique_ptr<fw::TRtfForm> rtfForm;
    fw::win::Guarded([&] { rtfForm = fw::TRtfForm::Create(); });
    main->Peers().rtfForm = rtfForm.get();

    app.Run();
    mainForm->Peers() = {};
    return 0;
}
