#include "win/files.h"

#include <windows.h>

namespace fw::win {

bool FileExists(const std::wstring& path) {
    const DWORD attr = ::GetFileAttributesW(path.c_str());
    return attr != INVALID_FILE_ATTRIBUTES && !(attr & FILE_ATTRIBUTE_DIRECTORY);
}

bool FolderExists(const std::wstring& path) {
    const DWORD attr = ::GetFileAttributesW(path.c_str());
    return attr != INVALID_FILE_ATTRIBUTES && (attr & FILE_ATTRIBUTE_DIRECTORY);
}

bool ForceFolders(std::wstring path) {
    while (path.size() > 3 && (path.back() == L'\\' || path.back() == L'/')) {
        path.pop_back();
    }
    if (path.empty()) {
        return false;
    }
    if (FolderExists(path)) {
        return true;
    }
    const auto slash = path.find_last_of(L"\\/");
    // Stop at a drive's root ("C:") or the root of the current drive.
    if (slash != std::wstring::npos && slash > 0 && path[slash - 1] != L':' &&
        !ForceFolders(path.substr(0, slash))) {
        return false;
    }
    return ::CreateDirectoryW(path.c_str(), nullptr) || FolderExists(path);
}

} // namespace fw::win
