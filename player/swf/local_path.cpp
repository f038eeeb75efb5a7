#include "local_path.h"

#include <algorithm>
#include <cctype>

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

std::string ResolveUrl(std::string_view base, std::string_view url) {
    auto schemeEnd = [](std::string_view text) {
        // A scheme is a letter then letters, digits, '+', '-' or '.', up to ':'; one letter
        // alone is a drive.
        std::size_t i = 0;
        while (i < text.size() &&
               (std::isalnum(static_cast<unsigned char>(text[i])) ||
                (i > 0 && (text[i] == '+' || text[i] == '-' || text[i] == '.')))) {
            ++i;
        }
        bool letter = !text.empty() && std::isalpha(static_cast<unsigned char>(text[0]));
        return letter && i > 1 && i < text.size() && text[i] == ':' ? i : std::string_view::npos;
    };
    if (base.empty() || schemeEnd(url) != std::string_view::npos) {
        return std::string(url);
    }
    base = base.substr(0, base.find_first_of("?#"));
    std::size_t rest = schemeEnd(base);
    rest = rest == std::string_view::npos ? 0 : rest + 1;
    if (base.substr(rest, 2) == "//") {
        rest = std::min(base.find('/', rest + 2), base.size()); // past the host
    }
    if (!url.empty() && (url[0] == '/' || url[0] == '\\')) {
        return std::string(base.substr(0, rest)) + std::string(url);
    }
    std::size_t last = base.find_last_of('/');
    std::size_t keep = last == std::string_view::npos || last < rest ? rest : last + 1;
    std::string out(base.substr(0, keep));
    if (keep == rest && rest > 0 && base.substr(0, rest).find("//") != std::string_view::npos) {
        out += '/';
    }
    return out + std::string(url);
}

} // namespace fw::swf
