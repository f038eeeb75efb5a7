#pragma once
// Whether a folder is the program's own: the removal clears only such a
// folder and the installation copies only into one that could become it. A
// copy of the executable on the Desktop, in a drive root or in the Windows
// folder must never take its neighbours with it. The system's folders come in
// through SystemFolders, so the rules are the same on Windows and in the host
// tests.

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace fw {

// A path in one spelling for comparing: backslashes only, "." and ".."
// resolved (never above the root), no empty names and no trailing separator,
// trailing dots and blanks of each name dropped (as the system drops them),
// letters in one case; "\\?\" and "\\.\" prefixes taken off. "c:\games" for
// "C:\Games\.\", "c:\" for "C:\Games\.."; empty for a path without a root.
std::wstring ComparablePath(std::wstring_view path);

// The folders no program may claim. A folder that is one of these or lies
// above one of them is never the program's.
struct SystemFolders {
    std::vector<std::wstring> system;       // the Windows folder, the system folders
    std::vector<std::wstring> programFiles; // the program files folders, common files
    std::vector<std::wstring> user;         // the profiles, their shell folders, temp
};

enum class FolderVerdict {
    Own,          // the program's: the removal may clear it, the installation use it
    NoRoot,       // empty or relative: nothing can be said of it
    DriveRoot,    // "C:\", "\\server\share\"
    SystemFolder, // the Windows or a system folder or above
    ProgramFiles, // a program files folder itself or above
    UserFolder,   // a profile, one of its shell folders, or above
    NoGameData,   // no data folder "SWF\" with "Game.swf" in it
};

// An installation target: every rule but the data folder, which is not there yet.
FolderVerdict JudgeTarget(std::wstring_view folder, const SystemFolders& system);

// A program folder at removal: JudgeTarget, and the folder holds
// "SWF\Game.swf" (asked through fileExists with the full file path).
FolderVerdict JudgeProgramFolder(std::wstring_view folder, const SystemFolders& system,
                                 const std::function<bool(const std::wstring&)>& fileExists);

} // namespace fw
