#include "flashvars.h"

namespace fw::swf {
namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

} // namespace

std::string UrlDecode(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        char c = s[i];
        if (c == '+') {
            out += ' ';
        } else if (c == '%' && i + 2 < s.size() && HexDigit(s[i + 1]) >= 0 &&
                   HexDigit(s[i + 2]) >= 0) {
            out += static_cast<char>(HexDigit(s[i + 1]) * 16 + HexDigit(s[i + 2]));
            i += 2;
        } else {
            out += c;
        }
    }
    return out;
}

std::vector<std::pair<std::string, std::string>> ParseFlashVars(std::string_view text) {
    std::vector<std::pair<std::string, std::string>> pairs;
    while (!text.empty()) {
        std::size_t amp = text.find('&');
        std::string_view piece = text.substr(0, amp);
        text = amp == std::string_view::npos ? std::string_view{} : text.substr(amp + 1);
        if (piece.empty()) {
            continue;
        }
        std::size_t eq = piece.find('=');
        std::string name = UrlDecode(piece.substr(0, eq));
        if (name.empty()) {
            continue;
        }
        std::string value =
            eq == std::string_view::npos ? std::string{} : UrlDecode(piece.substr(eq + 1));
        pairs.emplace_back(std::move(name), std::move(value));
    }
    return pairs;
}

} // namespace fw::swf
