#include "setup/program_folder.h"

#include "base/path.h"
#include "base/text.h"

#include <optional>

namespace fw {
namespace {

// One case for the letters of the scripts folder names are written in here:
// Latin with its first two supplements, Greek and Cyrillic. Folder names
// compare without case on Windows, so C:\WINDOWS is the Windows folder.
wchar_t FoldCase(wchar_t c) {
    if ((c >= L'A' && c <= L'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7) ||
        (c >= 0x391 && c <= 0x3AB && c != 0x3A2) || (c >= 0x410 && c <= 0x42F)) {
        return static_cast<wchar_t>(c + 0x20);
    }
    if (c >= 0x400 && c <= 0x40F) {
        return static_cast<wchar_t>(c + 0x50);
    }
    // Latin Extended-A pairs its capitals with the next code, on even codes
    // in the first and third run and on odd codes in the second and fourth.
    const bool evenRun = (c >= 0x100 && c <= 0x137) || (c >= 0x14A && c <= 0x177);
    const bool oddRun = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
    if ((evenRun && c % 2 == 0) || (oddRun && c % 2 == 1)) {
        return static_cast<wchar_t>(c + 1);
    }
    return c == 0x178 ? wchar_t(0xFF) : c;
}

std::wstring Fold(std::wstring_view s) {
    std::wstring out;
    out.reserve(s.size());
    for (wchar_t c : s) {
        out += FoldCase(c);
    }
    return out;
}

struct SplitPath {
    std::wstring root; // "c:" or "\\server\share", folded
    std::vector<std::wstring> names;
};

std::optional<SplitPath> Split(std::wstring_view path) {
    std::wstring s(path);
    for (auto& c : s) {
        if (c == L'/') {
            c = L'\\';
        }
    }
    // "\\?\C:\x" and "\\?\UNC\server\share\x" name what "C:\x" and
    // "\\server\share\x" name.
    while (StartsWith(s, L"\\\\?\\") || StartsWith(s, L"\\\\.\\")) {
        s.erase(0, 4);
        if (AsciiLower(s.substr(0, 4)) == L"unc\\") {
            s.replace(0, 4, L"\\\\");
        }
    }
    SplitPath out;
    std::size_t rest = 0;
    if (HasDriveLetter(s)) {
        // "C:Games" is relative to the drive's current folder.
        if (s.size() == 2 || s[2] != L'\\') {
            return std::nullopt;
        }
        out.root = Fold(s.substr(0, 2));
        rest = 2;
    } else if (StartsWith(s, L"\\\\")) {
        const auto server = s.find(L'\\', 2);
        if (server == std::wstring::npos || server == 2) {
            return std::nullopt;
        }
        auto share = s.find(L'\\', server + 1);
        if (share == std::wstring::npos) {
            share = s.size();
        }
        if (share == server + 1) {
            return std::nullopt;
        }
        out.root = Fold(s.substr(0, share));
        rest = share;
    } else {
        return std::nullopt;
    }
    while (rest < s.size()) {
        auto end = s.find(L'\\', rest);
        if (end == std::wstring::npos) {
            end = s.size();
        }
        std::wstring name = s.substr(rest, end - rest);
        rest = end + 1;
        if (name == L"..") {
            if (!out.names.empty()) {
                out.names.pop_back();
            }
            continue;
        }
        // The system drops a name's trailing dots and blanks, so "Windows."
        // is the Windows folder; a name of dots alone counts as no name,
        // which can only make the folder judged nearer the root.
        while (!name.empty() && (name.back() == L'.' || name.back() == L' ')) {
            name.pop_back();
        }
        if (!name.empty()) {
            out.names.push_back(Fold(name));
        }
    }
    return out;
}

std::wstring Join(const SplitPath& p) {
    if (p.names.empty()) {
        return p.root + L'\\'; // "c:" alone would be the drive's current folder
    }
    std::wstring out = p.root;
    for (const auto& n : p.names) {
        out += L'\\';
        out += n;
    }
    return out;
}

// The folder is the protected one or lies above it.
bool AtOrAbove(const std::wstring& folder, const std::vector<std::wstring>& protectedFolders) {
    for (const auto& p : protectedFolders) {
        const std::wstring guarded = ComparablePath(p);
        if (!guarded.empty() && StartsWith(guarded, folder) &&
            (guarded.size() == folder.size() || guarded[folder.size()] == L'\\')) {
            return true;
        }
    }
    return false;
}

} // namespace

std::wstring ComparablePath(std::wstring_view path) {
    const auto split = Split(path);
    return split ? Join(*split) : std::wstring();
}

FolderVerdict JudgeTarget(std::wstring_view folder, const SystemFolders& system) {
    const auto split = Split(folder);
    if (!split) {
        return FolderVerdict::NoRoot;
    }
    if (split->names.empty()) {
        return FolderVerdict::DriveRoot;
    }
    const std::wstring comparable = Join(*split);
    if (AtOrAbove(comparable, system.system)) {
        return FolderVerdict::SystemFolder;
    }
    if (AtOrAbove(comparable, system.programFiles)) {
        return FolderVerdict::ProgramFiles;
    }
    if (AtOrAbove(comparable, system.user)) {
        return FolderVerdict::UserFolder;
    }
    return FolderVerdict::Own;
}

FolderVerdict JudgeProgramFolder(std::wstring_view folder, const SystemFolders& system,
                                 const std::function<bool(const std::wstring&)>& fileExists) {
    const FolderVerdict verdict = JudgeTarget(folder, system);
    if (verdict != FolderVerdict::Own) {
        return verdict;
    }
    return fileExists(JoinPath(folder, L"SWF\\Game.swf")) ? FolderVerdict::Own
                                                          : FolderVerdict::NoGameData;
}

} // namespace fw
