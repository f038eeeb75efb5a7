#include "setup/file_tree.h"

#include "base/path.h"

namespace fw {
namespace {

constexpr std::uint32_t kSkippedAlways = kAttrHidden | kAttrSystem | kAttrVolume;

} // namespace

void ClearFolder(FolderPort& fs, std::wstring_view folder) {
    if (folder.empty()) {
        return;
    }
    const std::wstring pattern = JoinPath(folder, L"*.*");
    for (const FolderEntry& e : fs.Enumerate(pattern)) {
        if ((e.attributes & kSkippedAlways) == 0 && (e.attributes & kAttrDirectory) != 0) {
            DeleteFolderEntry(fs, e, folder);
        }
    }
    for (const FolderEntry& e : fs.Enumerate(pattern)) {
        if ((e.attributes & (kSkippedAlways | kAttrDirectory)) == 0) {
            DeleteFolderEntry(fs, e, folder);
        }
    }
}

void DeleteFolderEntry(FolderPort& fs, const FolderEntry& entry, std::wstring_view folder) {
    if (entry.name.empty() || entry.name == L"." || entry.name == L"..") {
        return;
    }
    const std::wstring path = JoinPath(folder, entry.name);
    if ((entry.attributes & kAttrDirectory) != 0) {
        if ((entry.attributes & kAttrReparsePoint) == 0) {
            ClearFolder(fs, path);
        }
        fs.RemoveDirectory(path);
    } else {
        fs.DeleteFile(path);
    }
}

} // namespace fw
