#include "local_path.h"

namespace fw::swf {

std::optional<std::string> LocalPath(std::string_view url) {
    url = url.substr(0, url.find_first_of("?#"));
    if (url.empty() || url.find(':') != std::string_view::npos || url[0] == '/' || url[0] == '\\') {
        return std::nullopt;
    }
    std::string out;
    std::size_t start = 0;
    while (start <= url.size()) {
        std::size_t end = url.find_first_of("/\\", start);
        std::string_view part =
            url.substr(start, end == std::string_view::npos ? end : end - start);
        if (part == "..") {
            return std::nullopt;
        }
        if (!part.empty() && part != ".") {
            out += out.empty() ? "" : "/";
            out += part;
        }
        if (end == std::string_view::npos) {
            break;
        }
        start = end + 1;
    }
    if (out.empty()) {
        return std::nullopt;
    }
    return out;
}

} // namespace fw::swf
