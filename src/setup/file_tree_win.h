#pragma once
// The folder routines on the real file system.

#include <windows.h>

#include <string>

#include "setup/file_tree.h"

namespace fw {

// FolderPort over FindFirstFileW / DeleteFileW / RemoveDirectoryW.
class Win32Folders : public FolderPort {
public:
    std::vector<FolderEntry> Enumerate(const std::wstring& pattern) override;
    bool DeleteFile(const std::wstring& path) override;
    bool RemoveDirectory(const std::wstring& path) override;
};

// ClearFolder on the real file system.
void ClearFolder(std::wstring_view folder);

// What came of a copy: the shell's return code, whether the user cancelled it,
// and whether every file of the source was found afterwards in the target with
// its size (the shell may report success for a source that does not exist or
// for files cut short on a full disk). The shell shows its own messages; the
// caller decides what a failed copy means for it.
struct CopyResult {
    int code = 0;
    bool aborted = false;
    bool complete = false;
    bool Succeeded() const { return code == 0 && !aborted && complete; }
};

// Copies everything in the source folder (whose text ends with a backslash)
// with its subfolders into the target folder through the shell: files that
// exist are replaced and missing folders made without a question; the shell's
// progress window and messages belong to the owner window.
CopyResult CopyFolderContents(const std::wstring& source, const std::wstring& target, HWND owner);

} // namespace fw
