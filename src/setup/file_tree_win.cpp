#include "setup/file_tree_win.h"

#include <shellapi.h>

#include <map>

#include "base/path.h"
#include "win/handle.h"

namespace fw {

std::vector<FolderEntry> Win32Folders::Enumerate(const std::wstring& pattern) {
    std::vector<FolderEntry> out;
    WIN32_FIND_DATAW data{};
    win::FindHandle find(::FindFirstFileW(pattern.c_str(), &data));
    if (!find) {
        return out;
    }
    do {
        out.push_back({data.cFileName, static_cast<std::uint32_t>(data.dwFileAttributes)});
    } while (::FindNextFileW(find.get(), &data));
    return out;
}

namespace {

// The path the system resolves an open file or folder to, without the "\\?\"
// prefix; empty when it cannot be opened.
std::wstring FinalPath(const std::wstring& path) {
    win::FileHandle h(::CreateFileW(path.c_str(), 0,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!h) {
        return {};
    }
    std::wstring buf(1024, L'\0');
    DWORD n = ::GetFinalPathNameByHandleW(h.get(), buf.data(), static_cast<DWORD>(buf.size()), 0);
    if (n >= buf.size()) {
        buf.resize(n + 1);
        n = ::GetFinalPathNameByHandleW(h.get(), buf.data(), static_cast<DWORD>(buf.size()), 0);
    }
    if (n == 0 || n >= buf.size()) {
        return {};
    }
    buf.resize(n);
    if (buf.rfind(L"\\\\?\\", 0) == 0) {
        buf.erase(0, 4);
    }
    return buf;
}

bool SamePath(const std::wstring& a, const std::wstring& b) {
    return ::CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                                  static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

} // namespace

bool Win32Folders::DeleteFile(const std::wstring& path) {
    // A file that resolves to somewhere else is a link to a file outside the
    // folder being cleared. Deleting it can delete its target (Wine removes
    // what a Unix link points to), so it is left alone.
    if (const std::wstring folderPath = FolderOf(path); !folderPath.empty()) {
        const std::wstring folder = FinalPath(WithoutTrailingSeparators(folderPath));
        const std::wstring file = FinalPath(path);
        if (!folder.empty() && !file.empty() &&
            !SamePath(file, JoinPath(folder, FileNameOf(path)))) {
            return false;
        }
    }
    return ::DeleteFileW(path.c_str());
}

bool Win32Folders::RemoveDirectory(const std::wstring& path) {
    return ::RemoveDirectoryW(path.c_str());
}

namespace {

// Case-insensitive order, as the file system compares names.
struct NameLess {
    bool operator()(const std::wstring& a, const std::wstring& b) const {
        return ::CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                                      static_cast<int>(b.size()), TRUE) == CSTR_LESS_THAN;
    }
};

// The entries of a folder by name; empty when it cannot be listed. One listing
// per folder is much cheaper than asking for each file apart.
std::map<std::wstring, WIN32_FIND_DATAW, NameLess> ListFolder(const std::wstring& folder) {
    std::map<std::wstring, WIN32_FIND_DATAW, NameLess> out;
    WIN32_FIND_DATAW data{};
    win::FindHandle find(::FindFirstFileW(JoinPath(folder, L"*").c_str(), &data));
    if (!find) {
        return out;
    }
    do {
        const std::wstring name = data.cFileName;
        if (name != L"." && name != L"..") {
            out.emplace(name, data);
        }
    } while (::FindNextFileW(find.get(), &data));
    return out;
}

// True when every file under the source folder has a file of the same size at
// the same place under the target.
bool SameFiles(const std::wstring& source, const std::wstring& target) {
    WIN32_FIND_DATAW data{};
    win::FindHandle find(::FindFirstFileW(JoinPath(source, L"*").c_str(), &data));
    if (!find) {
        return false;
    }
    const auto copies = ListFolder(target);
    do {
        const std::wstring name = data.cFileName;
        if (name == L"." || name == L"..") {
            continue;
        }
        const auto copy = copies.find(name);
        const bool is_folder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        if (copy == copies.end() ||
            is_folder != ((copy->second.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)) {
            return false;
        }
        if (is_folder) {
            if (!SameFiles(JoinPath(source, name), JoinPath(target, name))) {
                return false;
            }
        } else if (copy->second.nFileSizeHigh != data.nFileSizeHigh ||
                   copy->second.nFileSizeLow != data.nFileSizeLow) {
            return false;
        }
    } while (::FindNextFileW(find.get(), &data));
    return true;
}

} // namespace

void ClearFolder(std::wstring_view folder) {
    Win32Folders fs;
    ClearFolder(fs, folder);
}

CopyResult CopyFolderContents(const std::wstring& source, const std::wstring& target, HWND owner) {
    // Each list holds one name and ends with two NULs.
    std::wstring from = source + L"*.*";
    from.append(2, L'\0');
    std::wstring to = target;
    to.append(2, L'\0');

    SHFILEOPSTRUCTW op{};
    op.hwnd = owner;
    op.wFunc = FO_COPY;
    op.pFrom = from.c_str();
    op.pTo = to.c_str();
    op.fFlags = FOF_NOCONFIRMATION | FOF_ALLOWUNDO | FOF_NOCONFIRMMKDIR;
    static_assert((FOF_NOCONFIRMATION | FOF_ALLOWUNDO | FOF_NOCONFIRMMKDIR) == 0x250);
    CopyResult result;
    result.code = ::SHFileOperationW(&op);
    result.aborted = op.fAnyOperationsAborted != FALSE;
    const DWORD attributes = ::GetFileAttributesW(source.c_str());
    result.complete = attributes != INVALID_FILE_ATTRIBUTES &&
                      (attributes & FILE_ATTRIBUTE_DIRECTORY) && SameFiles(source, target);
    return result;
}

} // namespace fw
