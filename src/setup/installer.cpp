#include "setup/installer.h"
#include "base/path.h"

#include "setup/StartingFrm.h"
#include "setup/ddeml_port.h"
#include "setup/file_tree.h"
#include "setup/file_tree_win.h"
#include "setup/program_folder.h"
#include "setup/program_folder_win.h"
#include "setup/program_group.h"
#include "setup/start_decision.h"
#include "win/application.h"
#include "win/error.h"
#include "win/files.h"
#include "win/handle.h"
#include "win/registry.h"
#include "win/strings.h"

#include <shellapi.h>

#include <memory>

namespace fw {

namespace {

const std::wstring kProgramKey = L"\\Software\\Brumvale\\Fenwobble";
const std::wstring kAppPathsKey =
    L"\\Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Fenwobble.exe";
const std::wstring kUninstallKey =
    L"\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Fenwobble.exe";
const std::wstring kCurrentVersionKey = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
const std::wstring kTitle = L"Тавилон";
const std::wstring kOfferCaption = L"Уcтановка Тавилон"; // the second letter is a Latin c
const std::wstring kRemovalCaption = L"Удаление Тавилон";
const std::wstring kFolderPrompt = L"Файлы программы будут записываться в директорию:";
const std::wstring kCopying = L"Копирование файлов...";
const std::wstring kNotCompleted = L"Установка не завершена";
const std::wstring kRemoved = L"Приложение Тавилон удалено";

DriveType DriveTypeOf(const std::wstring& path) {
    const std::wstring root = PathRoot(path);
    return static_cast<DriveType>(::GetDriveTypeW(root.empty() ? nullptr : root.c_str()));
}

std::optional<std::uint64_t> FreeBytes(const std::wstring& root) {
    ULARGE_INTEGER avail{};
    if (!::GetDiskFreeSpaceExW(root.empty() ? nullptr : root.c_str(), &avail, nullptr, nullptr)) {
        return std::nullopt;
    }
    return avail.QuadPart;
}

void WriteKey(const std::wstring& key,
              const std::vector<std::pair<std::wstring, std::wstring>>& values) {
    win::Registry reg(HKEY_LOCAL_MACHINE);
    reg.OpenKey(key, true);
    for (const auto& [name, value] : values) {
        reg.WriteString(name, value);
    }
}

void EndWithNotice(TStartingForm& dialog, const std::wstring& text) {
    win::Application::Get().SetScreenCursor(win::ScreenCursor::Default);
    dialog.ShowFailureNotice(text);
    win::Application::Get().Terminate();
}

void WriteBatchFile(const std::wstring& path, const std::string& bytes) {
    win::FileHandle file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        throw win::FileError(L"Cannot create file \"" + path + L"\". " +
                             win::SystemErrorText(::GetLastError()));
    }
    DWORD written = 0;
    if (!::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                     nullptr) ||
        written != bytes.size()) {
        throw win::FileError(L"Cannot write file \"" + path + L"\". " +
                             win::SystemErrorText(::GetLastError()));
    }
}

} // namespace

std::vector<std::wstring> ProcessArguments() {
    int argc = 0;
    wchar_t** argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
    std::vector<std::wstring> args;
    for (int i = 1; argv && i < argc; ++i) {
        args.emplace_back(argv[i]);
    }
    if (argv) {
        ::LocalFree(argv);
    }
    return args;
}

bool RunStartupDecision(const StartupContext& ctx) {
    win::Registry reg(HKEY_LOCAL_MACHINE);
    StartFacts facts;
    facts.args = ctx.args;
    if (IsRemovalSwitch(ctx.args)) {
        RunRemoval(ctx);
        return false;
    }
    facts.programKeyExists = reg.KeyExists(kProgramKey);
    if (facts.programKeyExists && reg.OpenKey(kProgramKey, false)) {
        if (reg.ValueExists(L"")) {
            facts.defaultValue = reg.ReadString(L"");
        }
        reg.CloseKey();
    }
    facts.drive = DriveTypeOf(ctx.exePath);
    const StartRoad road = DecideStart(facts, [] {
        return win::Application::Get().MessageBox(OfferText(), kOfferCaption, MB_YESNO) == IDYES;
    });
    switch (road) {
    case StartRoad::Install:
        RunInstallation(ctx);
        return false;
    case StartRoad::Register:
        RunRegistration(ctx);
        return true;
    case StartRoad::Normal:
        return true;
    case StartRoad::Removal:
        break;
    }
    return false;
}

void RunRegistration(const StartupContext& ctx) {
    const std::wstring folder = FolderOf(ctx.exePath);
    const std::wstring registered = RegisteredExePath(folder);
    WriteKey(kProgramKey, {{L"", L""}});
    WriteKey(kAppPathsKey, {{L"", registered}, {L"Path", folder}});
    // Quoted: unquoted, a path with blanks lets "C:\Program.exe" run in its place.
    WriteKey(kUninstallKey,
             {{L"DisplayName", kTitle}, {L"UninstallString", L"\"" + registered + L"\" -u"}});
    if (ctx.programGroup) {
        RunInstallSequence(*ctx.programGroup, registered, [](std::wstring_view text) {
            ShowInformation(win::Application::Get().Handle(), text);
        });
    }
}

void RunInstallation(const StartupContext& ctx) {
    auto& app = win::Application::Get();
    // The dialog ends with the installation: every road out of it has asked
    // the program to end, and its last notice is up until then.
    const std::unique_ptr<TStartingForm> dialog = TStartingForm::Create();

    std::wstring programFiles;
    {
        win::Registry reg(HKEY_LOCAL_MACHINE);
        if (reg.OpenKey(kCurrentVersionKey, false)) {
            programFiles = reg.ReadString(L"ProgramFilesDir");
        }
    }
    const std::wstring defaultFolder = programFiles + L"\\" + L"Brumvale" + L"\\" + L"Fenwobble";
    if (dialog->ShowPathPrompt(kFolderPrompt, defaultFolder) != win::mrOk) {
        EndWithNotice(*dialog, kNotCompleted);
        return;
    }
    for (;;) {
        const std::int64_t free = FreeMegabytes(FreeBytes(FreeSpaceRoot(dialog->PathText())));
        if (free >= kRequiredMegabytes) {
            break;
        }
        // A user whose drives are all too small can leave the same way as
        // from the first showing.
        if (dialog->ShowShortage(ShortageText(free)) != win::mrOk) {
            EndWithNotice(*dialog, kNotCompleted);
            return;
        }
    }
    const std::wstring target = dialog->PathText();
    if (target.empty()) {
        EndWithNotice(*dialog, CannotCreateText(target));
        return;
    }
    // A drive root, a system, program files or user folder would mix the
    // program's files with others' and could never be cleared on removal.
    if (JudgeTarget(FullLongPath(target), KnownSystemFolders()) != FolderVerdict::Own) {
        EndWithNotice(*dialog, kNotCompleted);
        return;
    }
    if (!win::ForceFolders(target)) {
        EndWithNotice(*dialog, CannotCreateText(target));
        return;
    }

    dialog->ShowCopyingNotice(kCopying);
    app.ProcessMessages();
    const CopyResult copy = CopyFolderContents(win::ExeFolder(), target, dialog->Handle());
    if (!copy.Succeeded()) {
        // A copy that failed or was cancelled must not be started or marked:
        // the next start from the CD offers the installation again.
        EndWithNotice(*dialog, kNotCompleted);
        return;
    }
    const std::wstring targetExe = JoinPath(target, FileNameOf(ctx.exePath));
    WriteKey(kProgramKey, {{L"", kTransferMarker}});
    ::ShellExecuteW(ctx.mainWindow, L"open", targetExe.c_str(), L"", target.c_str(), SW_HIDE);
    app.Terminate();
}

void RunRemoval(const StartupContext& ctx) {
    auto& app = win::Application::Get();
    const std::wstring folder = FolderOf(ctx.exePath);
    if (app.MessageBox(RemovalQuestion(folder), kRemovalCaption, MB_YESNO) != IDYES) {
        app.Terminate();
        return;
    }
    // Only a folder that is the program's own is cleared; from any other, and
    // from the CD, the batch file takes the executable alone.
    const bool cleared = DriveTypeOf(ctx.exePath) != DriveType::CdRom &&
                         JudgeProgramFolder(FullLongPath(folder), KnownSystemFolders(),
                                            win::FileExists) == FolderVerdict::Own;
    if (cleared) {
        ClearFolder(folder);
    }
    win::Registry reg(HKEY_LOCAL_MACHINE);
    reg.DeleteKey(kProgramKey);
    reg.DeleteKey(kAppPathsKey);
    reg.DeleteKey(kUninstallKey);
    if (ctx.programGroup) {
        RunRemovalSequence(*ctx.programGroup, [&app] { app.ProcessMessages(); });
    }

    // The batch file erases the executable once this process has let go of
    // it. Its text is settled before the report, which says when no exact
    // batch file can be written and the executable stays.
    const std::wstring batch = BatchPath(ctx.exePath);
    Win32Oem oem;
    const std::optional<std::string> bytes = BatchFileBytes(ctx.exePath, batch, oem);
    std::wstring report = kRemoved;
    if (!cleared) {
        report += L"\r\n" + UntouchedFolderText(folder);
    }
    if (!bytes) {
        report += L"\r\n" + ExecutableStaysText(ctx.exePath);
    }
    app.ShowMessage(report);
    app.Terminate();
    if (!bytes) {
        return;
    }
    // A read-only executable loses the attribute, so that the erase can succeed.
    const DWORD attr = ::GetFileAttributesW(ctx.exePath.c_str());
    if (attr != INVALID_FILE_ATTRIBUTES && (attr & FILE_ATTRIBUTE_READONLY)) {
        ::SetFileAttributesW(ctx.exePath.c_str(), attr & ~FILE_ATTRIBUTE_READONLY);
    }
    WriteBatchFile(batch, *bytes);
    ::ShellExecuteW(nullptr, L"Open", batch.c_str(), nullptr, nullptr, SW_HIDE);
}

} // namespace fw
