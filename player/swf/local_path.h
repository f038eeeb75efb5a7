#pragma once
// Which addresses a movie may load from beside itself: plain relative paths only.

#include <optional>
#include <string>
#include <string_view>

namespace fw::swf {

// The relative path an address names, its parts joined by '/', without its query and fragment;
// nullopt for a network address, a drive, an absolute path, a way up ("..") or nothing at all.
std::optional<std::string> LocalPath(std::string_view url);

} // namespace fw::swf
