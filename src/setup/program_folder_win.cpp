#include "setup/program_folder_win.h"

#include "base/path.h"

#include <knownfolders.h>
#include <shlobj.h>

#include <memory>

namespace fw {
namespace {

struct CoTaskMemFreer {
    void operator()(wchar_t* p) const { ::CoTaskMemFree(p); }
};

void AddKnown(std::vector<std::wstring>& to, const KNOWNFOLDERID& id) {
    wchar_t* raw = nullptr;
    const HRESULT hr = ::SHGetKnownFolderPath(id, KF_FLAG_DONT_VERIFY, nullptr, &raw);
    const std::unique_ptr<wchar_t, CoTaskMemFreer> path(raw);
    if (SUCCEEDED(hr) && path && *path) {
        to.emplace_back(path.get());
    }
}

// A folder from a call shaped like GetWindowsDirectoryW(buffer, size).
template <typename Call> void AddFrom(std::vector<std::wstring>& to, Call call) {
    wchar_t buf[MAX_PATH + 1] = {};
    const UINT n = call(buf, MAX_PATH + 1);
    if (n > 0 && n <= MAX_PATH) {
        to.emplace_back(buf, n);
    }
}

// A path rewritten by GetLongPathNameW or GetShortPathNameW; nullopt when the
// call fails (for a path that does not exist, among others).
std::optional<std::wstring> Rewritten(DWORD(WINAPI* call)(LPCWSTR, LPWSTR, DWORD),
                                      const std::wstring& path) {
    const DWORD n = call(path.c_str(), nullptr, 0);
    if (n == 0) {
        return std::nullopt;
    }
    std::wstring out(n, L'\0');
    const DWORD got = call(path.c_str(), out.data(), n);
    if (got == 0 || got >= n) {
        return std::nullopt;
    }
    out.resize(got);
    return out;
}

} // namespace

SystemFolders KnownSystemFolders() {
    SystemFolders f;
    AddFrom(f.system, [](wchar_t* b, UINT n) { return ::GetWindowsDirectoryW(b, n); });
    AddFrom(f.system, [](wchar_t* b, UINT n) { return ::GetSystemDirectoryW(b, n); });
    AddFrom(f.system, [](wchar_t* b, UINT n) { return ::GetSystemWow64DirectoryW(b, n); });
    for (const KNOWNFOLDERID* id :
         {&FOLDERID_Windows, &FOLDERID_System, &FOLDERID_SystemX86, &FOLDERID_Fonts}) {
        AddKnown(f.system, *id);
    }
    for (const KNOWNFOLDERID* id :
         {&FOLDERID_ProgramFiles, &FOLDERID_ProgramFilesX86, &FOLDERID_ProgramFilesX64,
          &FOLDERID_ProgramFilesCommon, &FOLDERID_ProgramFilesCommonX86}) {
        AddKnown(f.programFiles, *id);
    }
    for (const KNOWNFOLDERID* id :
         {&FOLDERID_Profile,         &FOLDERID_UserProfiles,   &FOLDERID_Public,
          &FOLDERID_Desktop,         &FOLDERID_PublicDesktop,  &FOLDERID_Documents,
          &FOLDERID_PublicDocuments, &FOLDERID_Downloads,      &FOLDERID_PublicDownloads,
          &FOLDERID_Music,           &FOLDERID_PublicMusic,    &FOLDERID_Pictures,
          &FOLDERID_PublicPictures,  &FOLDERID_Videos,         &FOLDERID_PublicVideos,
          &FOLDERID_SavedGames,      &FOLDERID_Favorites,      &FOLDERID_Links,
          &FOLDERID_Contacts,        &FOLDERID_RoamingAppData, &FOLDERID_LocalAppData,
          &FOLDERID_LocalAppDataLow, &FOLDERID_ProgramData,    &FOLDERID_StartMenu,
          &FOLDERID_Programs,        &FOLDERID_Startup,        &FOLDERID_CommonStartMenu,
          &FOLDERID_CommonPrograms,  &FOLDERID_CommonStartup,  &FOLDERID_Templates,
          &FOLDERID_SendTo,          &FOLDERID_Recent}) {
        AddKnown(f.user, *id);
    }
    AddFrom(f.user, [](wchar_t* b, UINT n) { return ::GetTempPathW(n, b); });
    return f;
}

std::wstring FullLongPath(const std::wstring& path) {
    if (path.empty()) {
        return path;
    }
    const DWORD n = ::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (n == 0) {
        return path;
    }
    std::wstring full(n, L'\0');
    const DWORD got = ::GetFullPathNameW(path.c_str(), n, full.data(), nullptr);
    if (got == 0 || got >= n) {
        return path;
    }
    full.resize(got);
    // Write out the longest part that exists; what is not there yet has no
    // short name to expand.
    std::wstring head = full;
    std::wstring tail;
    for (;;) {
        if (const auto longHead = Rewritten(::GetLongPathNameW, head)) {
            return *longHead + tail;
        }
        const auto slash = head.find_last_of(L"\\/", head.size() > 1 ? head.size() - 2 : 0);
        if (slash == std::wstring::npos || slash <= 1) {
            return full;
        }
        tail = head.substr(slash) + tail;
        head.resize(slash);
        if (!head.empty() && head.back() == L':') {
            head += L'\\';
            tail.erase(0, 1);
        }
    }
}

std::optional<std::string> Win32Oem::ExactOem(std::wstring_view text) {
    if (text.empty()) {
        return std::string();
    }
    const UINT cp = ::GetOEMCP();
    const int len = static_cast<int>(text.size());
    // UTF-8 holds every character but takes neither the best-fit flag nor
    // the default character question; an unpaired surrogate still fails it.
    const bool utf8 = cp == CP_UTF8;
    const DWORD flags = utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
    BOOL usedDefault = FALSE;
    BOOL* used = utf8 ? nullptr : &usedDefault;
    const int n = ::WideCharToMultiByte(cp, flags, text.data(), len, nullptr, 0, nullptr, used);
    if (n <= 0 || usedDefault) {
        return std::nullopt;
    }
    std::string bytes(static_cast<std::size_t>(n), '\0');
    if (::WideCharToMultiByte(cp, flags, text.data(), len, bytes.data(), n, nullptr, used) != n ||
        usedDefault) {
        return std::nullopt;
    }
    // Read back, the bytes must give the very text.
    const int back = ::MultiByteToWideChar(cp, 0, bytes.data(), n, nullptr, 0);
    std::wstring again(static_cast<std::size_t>(back > 0 ? back : 0), L'\0');
    if (back <= 0 || ::MultiByteToWideChar(cp, 0, bytes.data(), n, again.data(), back) != back ||
        again != text) {
        return std::nullopt;
    }
    return bytes;
}

std::optional<std::wstring> Win32Oem::ShortPath(const std::wstring& path) {
    if (const auto whole = Rewritten(::GetShortPathNameW, path)) {
        return whole;
    }
    // A file not made yet: its folder's short form and its own name.
    const std::wstring folderPath = FolderOf(path);
    const auto folder =
        folderPath.empty() ? std::nullopt : Rewritten(::GetShortPathNameW, folderPath);
    if (!folder) {
        return std::nullopt;
    }
    return JoinPath(*folder, FileNameOf(path));
}

} // namespace fw
