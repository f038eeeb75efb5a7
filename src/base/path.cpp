#include "base/path.h"

namespace fw {
namespace {

// Where the name of a path starts: after its last separator, or after the drive of "C:name".
std::size_t NameStart(std::wstring_view path) {
    for (std::size_t i = path.size(); i > 0; --i) {
        if (IsPathSeparator(path[i - 1])) {
            return i;
        }
    }
    return HasDriveLetter(path) ? 2 : 0;
}

} // namespace

bool IsPathSeparator(wchar_t c) {
    return c == L'\\' || c == L'/';
}

bool HasDriveLetter(std::wstring_view path) {
    const wchar_t c = path.empty() ? L'\0' : path[0];
    return path.size() >= 2 && path[1] == L':' &&
           ((c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z'));
}

std::wstring PathRoot(std::wstring_view path) {
    if (HasDriveLetter(path)) {
        return std::wstring(path.substr(0, 2)) + L"\\";
    }
    if (path.size() < 2 || !IsPathSeparator(path[0]) || !IsPathSeparator(path[1])) {
        return {};
    }
    // Two separators, the server, one separator, the share.
    std::wstring root = L"\\\\";
    std::size_t i = 2;
    for (int part = 0; part < 2 && (part == 0 || i < path.size()); ++part) {
        while (i < path.size() && !IsPathSeparator(path[i])) {
            root += path[i++];
        }
        root += L'\\';
        ++i;
    }
    return root;
}

std::wstring FolderOf(std::wstring_view path) {
    return std::wstring(path.substr(0, NameStart(path)));
}

std::wstring FileNameOf(std::wstring_view path) {
    return std::wstring(path.substr(NameStart(path)));
}

std::wstring WithoutExtension(std::wstring_view path) {
    const std::size_t dot = path.find_last_of(L'.');
    if (dot == std::wstring_view::npos || dot < NameStart(path)) {
        return std::wstring(path);
    }
    return std::wstring(path.substr(0, dot));
}

std::wstring WithoutTrailingSeparators(std::wstring_view path) {
    const std::size_t keep = HasDriveLetter(path) ? 3 : 1;
    while (path.size() > keep && IsPathSeparator(path.back())) {
        path.remove_suffix(1);
    }
    return std::wstring(path);
}

std::wstring JoinPath(std::wstring_view folder, std::wstring_view name) {
    std::wstring out(folder);
    if (!out.empty() && !IsPathSeparator(out.back())) {
        out += L'\\';
    }
    if (!name.empty() && IsPathSeparator(name.front())) {
        name.remove_prefix(1);
    }
    out += name;
    return out;
}

} // namespace fw
