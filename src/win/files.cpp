#include "win/files.h"

#include "base/path.h"

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
    path = WithoutTrailingSeparators(path);
    if (path.empty()) {
        return false;
    }
    if (FolderExists(path)) {
        return true;
    }
    // Stop at a drive's root ("C:\", "C:") or the root of the current drive.
    const std::wstring parent = WithoutTrailingSeparators(FolderOf(path));
    if (!parent.empty() && parent.back() != L':' && !IsPathSeparator(parent.back()) &&
        !ForceFolders(parent)) {
        return false;
    }
    return ::CreateDirectoryW(path.c_str(), nullptr) || FolderExists(path);
}

} // namespace fw::win
