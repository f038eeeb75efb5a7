#pragma once
// Which addresses a movie may load from beside itself (plain relative paths only), and where an
// address points when taken against the one the movie came from.

#include <optional>
#include <string>
#include <string_view>

namespace fw::swf {

// The relative path an address names, its parts joined by '/', without its query and fragment;
// nullopt for a network address, a drive, an absolute path, a way up ("..") or nothing at all.
std::optional<std::string> LocalPath(std::string_view url);

// An address as taken against the base one a movie was played from: one with a scheme stands
// as it is, one from '/' keeps the base's scheme and host, any other replaces the base's last
// part. With no base, the address as it is.
std::string ResolveUrl(std::string_view base, std::string_view url);

} // namespace fw::swf
