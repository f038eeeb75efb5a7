#include "app/startup.h"

#include "win/application.h"
#include "win/error.h"
#include "win/files.h"
#include "win/handle.h"
#include "win/strings.h"

#include <windows.h>

#include <shlobj.h>

#include <vector>

namespace fw {

namespace {

constexpr std::size_t kCommandLineLimit = 512;
constexpr std::size_t kFolderLimit = 255;

std::int32_t Yipes(DWORD error) {
    ::MessageBoxW(win::Application::Get().Handle(), win::SystemErrorText(error).c_str(), L"Yipes!",
                  MB_OK);
    return -1;
}

} // namespace

SystemFolders ReadSystemFolders() {
    std::vector<wchar_t> buf(2048, L'\0');
    ::GetSystemDirectoryW(buf.data(), 2047);
    SystemFolders f;
    f.system = std::wstring(buf.data()) + L"\\";
    f.flash = f.system + L"Macromed\\Flash\\";
    return f;
}

std::int32_t RunAndWait(const std::wstring& commandLine, std::uint16_t showCommand) {
    if (commandLine.size() > kCommandLineLimit) {
        return Yipes(ERROR_FILENAME_EXCED_RANGE);
    }
    std::vector<wchar_t> cmd(commandLine.begin(), commandLine.end());
    cmd.push_back(L'\0');
    std::vector<wchar_t> folder(kFolderLimit + 1, L'\0');
    const DWORD n = ::GetCurrentDirectoryW(static_cast<DWORD>(folder.size()), folder.data());
    if (n == 0 || n > kFolderLimit) {
        return Yipes(n == 0 ? ::GetLastError() : ERROR_FILENAME_EXCED_RANGE);
    }
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    si.dwFlags = STARTF_USESHOWWINDOW;
    si.wShowWindow = showCommand;
    PROCESS_INFORMATION pi{};
    if (!::CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE,
                          CREATE_NEW_CONSOLE | NORMAL_PRIORITY_CLASS, nullptr, folder.data(), &si,
                          &pi)) {
        return Yipes(::GetLastError());
    }
    win::KernelHandle process(pi.hProcess);
    win::KernelHandle thread(pi.hThread);
    ::WaitForSingleObject(process.get(), INFINITE);
    DWORD code = 0;
    ::GetExitCodeProcess(process.get(), &code);
    return static_cast<std::int32_t>(code);
}

bool ProvisionFlashControl(const SystemFolders& folders, const std::wstring& source) {
    auto& app = win::Application::Get();
    const std::wstring target = folders.flash + L"FLASH.OCX";

    if (!win::FolderExists(folders.flash)) {
        win::ForceFolders(folders.flash);
    }
    if (!::CopyFileW(source.c_str(), target.c_str(), FALSE)) {
        app.ShowMessage(L"Unable to find and copy Macromedia Shockwave Flash.OCX");
        return false;
    }
    try {
        if (win::FileExists(target)) {
            HMODULE lib = ::LoadLibraryW(target.c_str());
            if (reinterpret_cast<std::uintptr_t>(lib) >= 32) {
                win::Module owned(lib);
                if (::GetProcAddress(lib, "DllRegisterServer")) {
                    std::vector<wchar_t> shortPath(2048, L'\0');
                    ::GetShortPathNameW(target.c_str(), shortPath.data(), 2047);
                    const std::wstring command =
                        folders.system + L"regsvr32.exe /s " + std::wstring(shortPath.data());
                    RunAndWait(command, SW_HIDE);
                }
            }
        } else {
            app.ShowMessage(L"Not yet copied");
        }
    } catch (const std::exception&) {
        app.ShowMessage(L"Unable to register Macromedia Shockwave Flash.");
        return false;
    }
    return true;
}

} // namespace fw
