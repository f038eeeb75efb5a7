#pragma once
// The system's side of the program folder rules: its protected folders, full
// long paths, and the OEM code page the removal batch file is written in.

#include <windows.h>

#include <string>

#include "setup/program_folder.h"
#include "setup/start_decision.h"

namespace fw {

// The Windows and system folders, the program files folders, and the
// profiles with the shell folders of this user and of all users.
SystemFolders KnownSystemFolders();

// The path made absolute (against the current folder) with its short names
// written out long, as far as the folders on it exist: the form the folder
// rules compare.
std::wstring FullLongPath(const std::wstring& path);

// The OEM code page and short names of this system.
class Win32Oem : public OemPort {
public:
    std::optional<std::string> ExactOem(std::wstring_view text) override;
    std::optional<std::wstring> ShortPath(const std::wstring& path) override;
};

} // namespace fw
