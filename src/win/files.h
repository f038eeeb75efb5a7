#pragma once
// Small questions and changes on the file system shared by the program's parts.

#include <string>

namespace fw::win {

bool FileExists(const std::wstring& path);
bool FolderExists(const std::wstring& path);
// Creates a folder with all its missing parents; false when it cannot.
bool ForceFolders(std::wstring path);

} // namespace fw::win
