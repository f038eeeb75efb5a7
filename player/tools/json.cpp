#include "json.h"

#include <charconv>
#include <cstdint>
#include <cstdlib>

namespace fw::play {
namespace {

class Reader {
public:
    explicit Reader(std::string_view s) : s_(s) {}

    bool Document(Json& out) {
        if (!Value(out, 0)) {
            return false;
        }
        Skip();
        return pos_ == s_.size() || Fail("text after the list");
    }
    std::string error;

private:
    static constexpr int kMaxNesting = 64;

    bool Fail(const std::string& what) {
        if (error.empty()) {
            error = what + " at offset " + std::to_string(pos_);
        }
        return false;
    }
    void Skip() {
        while (pos_ < s_.size() &&
               (s_[pos_] == ' ' || s_[pos_] == '\n' || s_[pos_] == '\r' || s_[pos_] == '\t')) {
            ++pos_;
        }
    }
    bool Eat(char c) {
        Skip();
        if (pos_ < s_.size() && s_[pos_] == c) {
            ++pos_;
            return true;
        }
        return false;
    }
    bool Word(std::string_view w) {
        if (s_.substr(pos_, w.size()) == w) {
            pos_ += w.size();
            return true;
        }
        return false;
    }
    static void PutUtf8(std::string& out, std::uint32_t c) {
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    bool Hex4(std::uint32_t& v) {
        if (pos_ + 4 > s_.size()) {
            return false;
        }
        auto [end, ec] = std::from_chars(s_.data() + pos_, s_.data() + pos_ + 4, v, 16);
        if (ec != std::errc() || end != s_.data() + pos_ + 4) {
            return false;
        }
        pos_ += 4;
        return true;
    }
    bool String(std::string& out) {
        if (!Eat('"')) {
            return Fail("a string expected");
        }
        while (pos_ < s_.size() && s_[pos_] != '"') {
            char c = s_[pos_++];
            if (c != '\\') {
                out += c;
                continue;
            }
            if (pos_ >= s_.size()) {
                break;
            }
            char e = s_[pos_++];
            switch (e) {
            case 'n':
                out += '\n';
                break;
            case 't':
                out += '\t';
                break;
            case 'r':
                out += '\r';
                break;
            case 'b':
                out += '\b';
                break;
            case 'f':
                out += '\f';
                break;
            case 'u': {
                std::uint32_t c1 = 0;
                if (!Hex4(c1)) {
                    return Fail("a bad \\u escape");
                }
                if (c1 >= 0xD800 && c1 < 0xDC00 && Word("\\u")) {
                    std::uint32_t c2 = 0;
                    if (!Hex4(c2) || c2 < 0xDC00 || c2 > 0xDFFF) {
                        return Fail("a bad surrogate pair");
                    }
                    c1 = 0x10000 + ((c1 - 0xD800) << 10) + (c2 - 0xDC00);
                }
                PutUtf8(out, c1);
                break;
            }
            default:
                out += e;
                break;
            }
        }
        if (pos_ >= s_.size()) {
            return Fail("an unterminated string");
        }
        ++pos_;
        return true;
    }
    bool Value(Json& out, int depth) {
        if (depth > kMaxNesting) {
            return Fail("nesting too deep");
        }
        Skip();
        if (pos_ >= s_.size()) {
            return Fail("a value expected");
        }
        char c = s_[pos_];
        if (c == '{') {
            ++pos_;
            out.type = Json::Type::Object;
            if (Eat('}')) {
                return true;
            }
            do {
                std::string name;
                if (!String(name) || !Eat(':') || !Value(out.members[name], depth + 1)) {
                    return Fail("a bad member");
                }
            } while (Eat(','));
            return Eat('}') || Fail("'}' expected");
        }
        if (c == '[') {
            ++pos_;
            out.type = Json::Type::Array;
            if (Eat(']')) {
                return true;
            }
            do {
                out.items.emplace_back();
                if (!Value(out.items.back(), depth + 1)) {
                    return false;
                }
            } while (Eat(','));
            return Eat(']') || Fail("']' expected");
        }
        if (c == '"') {
            out.type = Json::Type::String;
            return String(out.text);
        }
        if (Word("true") || Word("false")) {
            out.type = Json::Type::Bool;
            out.number = s_[pos_ - 2] == 'u' ? 1 : 0; // tr(u)e
            return true;
        }
        if (Word("null")) {
            return true;
        }
        std::size_t start = pos_;
        while (pos_ < s_.size() &&
               std::string_view("+-0123456789.eE").find(s_[pos_]) != std::string_view::npos) {
            ++pos_;
        }
        std::string digits(s_.substr(start, pos_ - start));
        char* end = nullptr;
        out.type = Json::Type::Number;
        out.number = std::strtod(digits.c_str(), &end);
        return (!digits.empty() && end == digits.c_str() + digits.size()) ||
               Fail("a value expected");
    }

    std::string_view s_;
    std::size_t pos_ = 0;
};

} // namespace

bool ParseJson(std::string_view text, Json& out, std::string& error) {
    Reader reader(text);
    if (!reader.Document(out)) {
        error = reader.error;
        return false;
    }
    return true;
}

} // namespace fw::play
