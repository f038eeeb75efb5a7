#pragma once
// Splitting and joining of Windows paths, written once for every subsystem. Both '\' and '/'
// separate names, as the system reads them; what these functions add is always a '\'.

#include <string>
#include <string_view>

namespace fw {

bool IsPathSeparator(wchar_t c);
// Whether the path starts with a drive letter and its colon ("C:", "c:\x", "C:name").
bool HasDriveLetter(std::wstring_view path);

// The root of a path: "C:\" for a drive letter (as written), "\\server\share\" for a network
// path, empty for a path without a root.
std::wstring PathRoot(std::wstring_view path);

// The folder part of a path with its trailing separator, and the name after it: "C:\Games\" and
// "Fenwobble.exe" for "C:\Games\Fenwobble.exe". A path that ends in a separator has an empty
// name; one without a separator has no folder, except the drive of "C:name".
std::wstring FolderOf(std::wstring_view path);
std::wstring FileNameOf(std::wstring_view path);

// The path without the last extension of its name: "C:\P\Game" for "C:\P\Game.exe"; a dot in a
// folder's name is no extension.
std::wstring WithoutExtension(std::wstring_view path);

// The path without its trailing separators, except the one of a drive's root ("C:\" stays, as
// "C:" names the drive's current folder) and a separator that is the whole path.
std::wstring WithoutTrailingSeparators(std::wstring_view path);

// The name inside the folder: one '\' between them, added when the folder does not end in a
// separator (and is not empty) and dropped when the name starts with one.
std::wstring JoinPath(std::wstring_view folder, std::wstring_view name);

} // namespace fw
