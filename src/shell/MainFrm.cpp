#include "shell/MainFrm.h"

#include "base/text.h"
#include "clock/print_window.h"
#include "clock/processor_freq.h"
#include "clock/win_clock_port.h"
#include "setup/installer.h"
#include "shell/RtfFrm.h"
#include "shell/commands.h"
#include "win/application.h"
#include "win/error.h"
#include "win/files.h"
#include "win/registry.h"
#include "win/strings.h"

#include <shellapi.h>

namespace fw {

namespace {

// {D27CDB6E-AE6D-11CF-96B8-444553540000}
constexpr CLSID kFlashClsid = {
    0xD27CDB6E, 0xAE6D, 0x11CF, {0x96, 0xB8, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
// {D27CDB6D-AE6D-11CF-96B8-444553540000}
constexpr IID kFlashEventsIid = {
    0xD27CDB6D, 0xAE6D, 0x11CF, {0x96, 0xB8, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};

constexpr UINT_PTR kTimer1 = 1;
constexpr UINT kTimer1Interval = 50;

enum MenuId : UINT {
    kExitItem = 101,
    kMinimizeItem,
    kMaximizeItem,
    kRestoreItem,
    kSaveiniItem,
    kPrintInem,
};

} // namespace

std::unique_ptr<TMainForm> TMainForm::Create() {
    return win::MakeForm<TMainForm>();
}

TMainForm::TMainForm() {
    win::FormArgs args;
    args.className = L"TMainForm";
    args.caption = L"MainForm";
    args.style = WS_POPUP | WS_CLIPCHILDREN;
    args.left = 0;
    args.top = 0;
    // Shown maximised; created at the screen's size as well, because without a
    // window manager (Wine on a bare X server) a maximising show does not
    // resize the window on screen.
    args.width = ::GetSystemMetrics(SM_CXSCREEN);
    args.height = ::GetSystemMetrics(SM_CYSCREEN);
    args.color = RGB(0, 0, 0);
    args.keyPreview = true;
    args.initialShow = SW_SHOWMAXIMIZED;
    CreateForm(args);

    win::OleControlArgs flash;
    flash.place = {Handle(), 0, 0, 0, 800, 600, nullptr, false};
    flash.clsid = kFlashClsid;
    flash.eventsIid = kFlashEventsIid;
    flash.settings = {{L"WMode", L"Transparent"},
                      {L"Quality", L"High"},
                      {L"AllowScriptAccess", L"always"},
                      {L"Scale", L"ShowAll"}};
    flash.onEvent = [this](DISPID id, const std::vector<std::wstring>& a) {
        if (id == flash::kFSCommand) {
            Flash1FSCommand(a.size() > 0 ? a[0] : std::wstring(),
                            a.size() > 1 ? a[1] : std::wstring());
        }
    };
    flash1_.Create(flash);

    win::Application::Get().OnMessage = [this](MSG& msg, bool& handled) {
        ApplicationEvents1Message(msg, handled);
    };

    popupMenu1_.reset(::CreatePopupMenu());
    ::AppendMenuW(popupMenu1_.get(), MF_STRING, kExitItem, L"Выход");
    ::AppendMenuW(popupMenu1_.get(), MF_STRING, kMinimizeItem, L"Свернуть");
    ::AppendMenuW(popupMenu1_.get(), MF_STRING, kMaximizeItem, L"На весь экран");
    ::AppendMenuW(popupMenu1_.get(), MF_STRING, kRestoreItem, L"800x600");
    ::AppendMenuW(popupMenu1_.get(), MF_STRING, kSaveiniItem, L"Сохранить");
    ::AppendMenuW(popupMenu1_.get(), MF_STRING, kPrintInem, L"Печатать");

    processorClockCounter_ =
        std::make_unique<TProcessorClockCounter>(std::make_unique<Win32ClockPort>());
    processorClockCounter_->SetOnPrecizeProc(
        PrecizeMethod<&TMainForm::ProcessorClockCounterPrecizeProc>(this));

    // The conversation connects as soon as the window is loaded.
    DdeClientConv1.SetLink(kProgmanService, L"");

    // An error in the creation handler is reported and the window completes.
    win::Guarded([&] { FormCreate(); });
}

TMainForm::~TMainForm() {
    if (Handle()) {
        ::KillTimer(Handle(), kTimer1);
    }
    auto& app = win::Application::Get();
    app.OnMessage = nullptr;
}

void TMainForm::FormCreate() {
    ProcessorFreq = MeasureProcessorFreq(*processorClockCounter_);
    StartupContext ctx;
    ctx.args = ProcessArguments();
    ctx.exePath = win::ExePath();
    ctx.mainWindow = Handle();
    ctx.programGroup = &DdeClientConv1;
    if (RunStartupDecision(ctx)) {
        StartMovie();
    }
}

void TMainForm::ProcessorClockCounterPrecizeProc(TProcessorClockCounter* /*sender*/) {
    ::Sleep(kProcessorFreqSleepMs);
}

void TMainForm::StartMovie() {
    FlashError = false;
    flash1_.PutString(flash::kMovie, win::ExeFolder() + L"SWF\\Game.swf");
    if (!win::FileExists(flash1_.GetString(flash::kMovie))) {
        win::Application::Get().Terminate();
    }

    win::Registry reg(HKEY_LOCAL_MACHINE);
    if (reg.KeyExists(kProgramKey)) {
        std::vector<std::pair<std::wstring, std::wstring>> saved;
        if (reg.OpenKey(kProgramKey, false)) {
            for (const auto& name : reg.ValueNames()) {
                if (!name.empty()) {
                    saved.emplace_back(name, reg.ReadString(name));
                }
            }
        }
        const std::wstring vars = BuildFlashVars(saved, ProcessorFreq, EscIntro);
        try {
            flash1_.PutString(flash::kFlashVars, vars);
        } catch (const std::exception&) {
            FlashError = true;
        }
    }
    ::SetTimer(Handle(), kTimer1, kTimer1Interval, nullptr);
}

void TMainForm::OnShow() {
    FormShow();
}

void TMainForm::FormShow() {
    flash1_.Hide();
    flash1_.PutInt(flash::kScaleMode, 0);
    const int sw = ::GetSystemMetrics(SM_CXSCREEN);
    const int sh = ::GetSystemMetrics(SM_CYSCREEN);
    flash1_.SetBounds(CentredOrigin(sw, 800), CentredOrigin(sh, 600), 800, 600);
    flash1_.PutString(flash::kWMode, L"transparent");
}

void TMainForm::PlaceFlash(int left, int top, int width, int height) {
    flash1_.SetBounds(left, top, width, height);
    flash1_.PutInt(flash::kScaleMode, 0);
    flash1_.DoVerb(OLEIVERB_SHOW);
}

void TMainForm::ExitItemClick() {
    win::Application::Get().Terminate();
}

void TMainForm::MinimizeItemClick() {
    win::Application::Get().Minimize();
}

void TMainForm::MaximizeItemClick() {
    PlaceFlash(0, 0, Width(), Height());
}

void TMainForm::RestoreItemClick() {
    const int sw = ::GetSystemMetrics(SM_CXSCREEN);
    const int sh = ::GetSystemMetrics(SM_CYSCREEN);
    PlaceFlash(CentredOrigin(sw, 800), CentredOrigin(sh, 600), 800, 600);
}

void TMainForm::SaveiniItemClick() {
    Flash1FSCommand(L"saveini", L"");
}

void TMainForm::PrintInemClick() {
    PrintWindowPicture(Handle(), flash1_.BoundsInParent(), win::Application::Get().Title());
}

void TMainForm::OnTimer(UINT_PTR id) {
    if (id == kTimer1) {
        Timer1Timer();
    }
}

void TMainForm::Timer1Timer() {
    if (!peers_.getGeneralVolume) {
        return;
    }
    const int v = MovieVolumeFromPercent(peers_.getGeneralVolume());
    flash1_.CallMethod(flash::kSetVariable, {L"_root.currentvolume", DecimalText(v)});
}

void TMainForm::ApplicationEvents1Message(MSG& msg, bool& handled) {
    if (msg.message == WM_RBUTTONDOWN) {
        handled = true;
    }
}

void TMainForm::FormKeyUp(WORD& key, UINT /*shift*/) {
    if (key != VK_ESCAPE && key != VK_SPACE) {
        return;
    }
    if (!peers_.introVisible || !peers_.introVisible()) {
        return;
    }
    EscIntro = true;
    if (peers_.closeIntroPlayer) {
        peers_.closeIntroPlayer();
    }
    if (peers_.hideIntro) {
        peers_.hideIntro();
    }
    Show();
    StartMovie();
    flash1_.Show();
}

void TMainForm::Flash1FSCommand(const std::wstring& command, const std::wstring& args) {
    const CommandAction a = DecideCommand(command, args);
    switch (a.kind) {
    case CommandKind::None:
        break;
    case CommandKind::Quit:
        ExitItemClick();
        break;
    case CommandKind::Minimize:
        MinimizeItemClick();
        break;
    case CommandKind::Maximize:
        MaximizeItemClick();
        break;
    case CommandKind::Normalize:
        RestoreItemClick();
        break;
    case CommandKind::Print:
        PrintInemClick();
        break;
    case CommandKind::SetVolume:
        if (peers_.setGeneralVolume) {
            peers_.setGeneralVolume(a.volumePercent);
        }
        break;
    case CommandKind::Cursor:
        if (a.cursor == CursorChoice::Default) {
            win::Application::Get().SetScreenCursor(win::ScreenCursor::Default);
        } else if (a.cursor == CursorChoice::HourGlass) {
            win::Application::Get().SetScreenCursor(win::ScreenCursor::HourGlass);
        }
        break;
    case CommandKind::Execute:
        ExecuteFile(a.file, a.document);
        break;
    case CommandKind::Save:
        SaveValue(a.valueName, a.deleteValue, a.valueText);
        break;
    }
}

void TMainForm::ExecuteFile(const std::wstring& name, bool document) {
    const std::wstring path = win::ExeFolder() + L"SWF\\" + name;
    if (document) {
        if (peers_.rtfForm) {
            peers_.rtfForm->ShowDocument(path);
        }
        return;
    }
    // The shell's open takes no path of MAX_PATH characters or more (some
    // implementations overrun their buffers on one): such a file cannot be
    // found, and is reported as ShellExecute reports a missing file.
    const auto result = path.size() >= MAX_PATH
                            ? static_cast<INT_PTR>(SE_ERR_FNF)
                            : reinterpret_cast<INT_PTR>(::ShellExecuteW(
                                  Handle(), L"open", path.c_str(), L"", L"", SW_SHOWNORMAL));
    if (result <= 32) {
        win::Application::Get().ShowMessage(L"Ошибка " + DecimalText(result) +
                                            L" вызова внешней программы");
    }
}

void TMainForm::SaveValue(const std::wstring& name, bool remove, const std::wstring& text) {
    win::Registry reg(HKEY_LOCAL_MACHINE);
    reg.OpenKey(kProgramKey, true);
    if (remove) {
        reg.DeleteValue(name);
    } else {
        reg.WriteString(name, text);
    }
}

} // namespace fw
