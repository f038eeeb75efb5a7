#pragma once
// Folder routines of the installation and the removal: clearing a folder
// recursively. The clearing
// reaches the file system through FolderPort, so its rules are the same on
// Windows and in the host tests.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace fw {

// Attribute bits of a folder entry, as the platform reports them.
inline constexpr std::uint32_t kAttrReadOnly = 0x01;
inline constexpr std::uint32_t kAttrHidden = 0x02;
inline constexpr std::uint32_t kAttrSystem = 0x04;
inline constexpr std::uint32_t kAttrVolume = 0x08;
inline constexpr std::uint32_t kAttrDirectory = 0x10;
inline constexpr std::uint32_t kAttrArchive = 0x20;
// A junction or symbolic link: its target belongs to somebody else.
inline constexpr std::uint32_t kAttrReparsePoint = 0x400;

// One result of a folder enumeration.
struct FolderEntry {
    std::wstring name;
    std::uint32_t attributes = 0;
};

// The file system as the clearing sees it; shaped like FindFirstFile /
// FindNextFile / FindClose, DeleteFile and RemoveDirectory.
class FolderPort {
public:
    virtual ~FolderPort() = default;
    // Every entry that matches the pattern (a folder followed by "\*.*"),
    // "." and ".." included when the platform lists them; empty when the
    // folder does not exist. The list is taken before the caller changes
    // anything.
    virtual std::vector<FolderEntry> Enumerate(const std::wstring& pattern) = 0;
    // Both return false when the platform refuses; the callers go on.
    virtual bool DeleteFile(const std::wstring& path) = 0;
    virtual bool RemoveDirectory(const std::wstring& path) = 0;
};

// Deletes everything in the folder except hidden, system and volume entries;
// a subfolder goes with its contents, unless something in it had to stay.
// Failures are skipped silently and the folder itself is kept. An empty text
// does nothing.
//
// Two passes: the subfolders first, then the files. A junction or symbolic
// link to a folder is removed as a link and never entered, so that clearing
// cannot reach files outside the folder.
void ClearFolder(FolderPort& fs, std::wstring_view folder);

// Deletes one entry of the folder: a subfolder is cleared and then removed, a
// file is deleted; "." and ".." are ignored.
void DeleteFolderEntry(FolderPort& fs, const FolderEntry& entry, std::wstring_view folder);

} // namespace fw
