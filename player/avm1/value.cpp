#include "value.h"

#include "swf/code_page.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

namespace fw::avm1 {

std::string NumberToString(double n) {
    if (std::isnan(n)) {
        return "NaN";
    }
    if (std::isinf(n)) {
        return n > 0 ? "Infinity" : "-Infinity";
    }
    if (n == 0) {
        return "0";
    }
    if (n >= -2147483648.0 && n <= 2147483647.0 && n == std::trunc(n)) {
        return std::to_string(static_cast<long long>(n));
    }
    // 15 significant digits, then decide between plain and exponent form.
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.14e", n);
    std::string s(buf);
    std::size_t e = s.find('e');
    int exponent = std::atoi(s.c_str() + e + 1);
    std::string sign = s[0] == '-' ? "-" : "";
    std::string digits;
    for (std::size_t i = sign.size(); i < e; ++i) {
        if (s[i] != '.') {
            digits += s[i];
        }
    }
    while (digits.size() > 1 && digits.back() == '0') {
        digits.pop_back();
    }
    if (exponent >= 15 || exponent < -5) {
        std::string out = sign + digits.substr(0, 1);
        if (digits.size() > 1) {
            out += "." + digits.substr(1);
        }
        out += exponent >= 0 ? "e+" : "e-";
        out += std::to_string(std::abs(exponent));
        return out;
    }
    if (exponent < 0) {
        return sign + "0." + std::string(static_cast<std::size_t>(-exponent - 1), '0') + digits;
    }
    auto intLen = static_cast<std::size_t>(exponent + 1);
    if (digits.size() <= intLen) {
        return sign + digits + std::string(intLen - digits.size(), '0');
    }
    return sign + digits.substr(0, intLen) + "." + digits.substr(intLen);
}

double StringToNumber(std::string_view s) {
    const double nan = std::nan("");
    std::size_t i = 0;
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t' || s[i] == '\r' || s[i] == '\n')) {
        ++i;
    }
    s.remove_prefix(i);
    if (s.empty()) {
        return nan;
    }
    bool negative = false;
    std::string_view body = s;
    if (body[0] == '-' || body[0] == '+') {
        negative = body[0] == '-';
        body.remove_prefix(1);
    }
    if (body.size() > 2 && body[0] == '0' && (body[1] == 'x' || body[1] == 'X')) {
        double v = 0;
        for (char c : body.substr(2)) {
            int d;
            if (c >= '0' && c <= '9') {
                d = c - '0';
            } else if (c >= 'a' && c <= 'f') {
                d = c - 'a' + 10;
            } else if (c >= 'A' && c <= 'F') {
                d = c - 'A' + 10;
            } else {
                return nan;
            }
            v = v * 16 + d;
        }
        return negative ? -v : v;
    }
    // Validate the decimal shape ourselves: strtod would also accept "inf", "nan" and hex floats.
    std::size_t p = 0;
    std::size_t mantissaDigits = 0;
    while (p < body.size() && body[p] >= '0' && body[p] <= '9') {
        ++p;
        ++mantissaDigits;
    }
    if (p < body.size() && body[p] == '.') {
        ++p;
        while (p < body.size() && body[p] >= '0' && body[p] <= '9') {
            ++p;
            ++mantissaDigits;
        }
    }
    if (mantissaDigits == 0) {
        return nan;
    }
    if (p < body.size() && (body[p] == 'e' || body[p] == 'E')) {
        std::size_t q = p + 1;
        if (q < body.size() && (body[q] == '+' || body[q] == '-')) {
            ++q;
        }
        std::size_t expDigits = 0;
        while (q < body.size() && body[q] >= '0' && body[q] <= '9') {
            ++q;
            ++expDigits;
        }
        if (expDigits == 0) {
            return nan;
        }
        p = q;
    }
    if (p != body.size()) {
        return nan;
    }
    std::string text(body);
    double v = std::strtod(text.c_str(), nullptr);
    return negative ? -v : v;
}

double ToNumber(const Value& v, int version) {
    switch (v.type()) {
    case Value::Type::Undefined:
    case Value::Type::Null:
        return version >= 7 ? std::nan("") : 0.0;
    case Value::Type::Boolean:
        return v.asBool() ? 1.0 : 0.0;
    case Value::Type::Number:
        return v.asNumber();
    case Value::Type::String:
        return StringToNumber(v.asString(), version);
    case Value::Type::Object:
        return std::nan("");
    }
    return std::nan("");
}

std::string ToString(const Value& v, int version) {
    switch (v.type()) {
    case Value::Type::Undefined:
        return version >= 7 ? "undefined" : "";
    case Value::Type::Null:
        return "null";
    case Value::Type::Boolean:
        if (version < 5) {
            return v.asBool() ? "1" : "0";
        }
        return v.asBool() ? "true" : "false";
    case Value::Type::Number:
        return NumberToString(v.asNumber());
    case Value::Type::String:
        return v.asString();
    case Value::Type::Object:
        return "[object Object]";
    }
    return {};
}

bool ToBoolean(const Value& v, int version) {
    switch (v.type()) {
    case Value::Type::Undefined:
    case Value::Type::Null:
        return false;
    case Value::Type::Boolean:
        return v.asBool();
    case Value::Type::Number:
        return v.asNumber() != 0 && !std::isnan(v.asNumber());
    case Value::Type::String:
        if (version >= 7) {
            return !v.asString().empty();
        } else {
            double n = StringToNumber(v.asString(), version);
            return n != 0 && !std::isnan(n);
        }
    case Value::Type::Object:
        return true;
    }
    return false;
}

std::string TypeName(const Value& v) {
    switch (v.type()) {
    case Value::Type::Undefined:
        return "undefined";
    case Value::Type::Null:
        return "null";
    case Value::Type::Boolean:
        return "boolean";
    case Value::Type::Number:
        return "number";
    case Value::Type::String:
        return "string";
    case Value::Type::Object:
        return "object";
    }
    return "undefined";
}

bool StrictEquals(const Value& a, const Value& b) {
    if (a.type() != b.type()) {
        return false;
    }
    switch (a.type()) {
    case Value::Type::Undefined:
    case Value::Type::Null:
        return true;
    case Value::Type::Boolean:
        return a.asBool() == b.asBool();
    case Value::Type::Number: // NaN equals NaN here
        return a.asNumber() == b.asNumber() ||
               (std::isnan(a.asNumber()) && std::isnan(b.asNumber()));
    case Value::Type::String:
        return a.asString() == b.asString();
    case Value::Type::Object:
        return a.asObject() == b.asObject();
    }
    return false;
}

bool AbstractEquals(const Value& a, const Value& b, int version) {
    using T = Value::Type;
    if (a.type() == b.type()) {
        return StrictEquals(a, b);
    }
    auto nullish = [](const Value& v) { return v.type() == T::Undefined || v.type() == T::Null; };
    if (nullish(a) || nullish(b)) {
        return nullish(a) && nullish(b);
    }
    if (a.type() == T::Object || b.type() == T::Object) {
        // Plain objects have no primitive value that could equal a number or text.
        return false;
    }
    if (a.type() == T::String && b.type() == T::String) {
        return a.asString() == b.asString();
    }
    // Numbers, texts and booleans meet as numbers.
    return ToNumber(a, version) == ToNumber(b, version);
}

Value AbstractLess(const Value& a, const Value& b, int version) {
    // An object left after ToPrimitive is never less nor greater.
    if (a.isObject() || b.isObject()) {
        return Value(false);
    }
    const Value& pa = a;
    const Value& pb = b;
    if (pa.isString() && pb.isString()) {
        return Value(ToUtf16(pa.asString()) < ToUtf16(pb.asString())); // by UTF-16 units
    }
    double x = ToNumber(pa, version);
    double y = ToNumber(pb, version);
    if (std::isnan(x) || std::isnan(y)) {
        return Value();
    }
    return Value(x < y);
}

std::string NumberToRadix(double n, int radix) {
    if (radix == 10 || radix < 2 || radix > 36) {
        return NumberToString(n);
    }
    if (std::isnan(n) || std::isinf(n)) {
        return NumberToString(n);
    }
    // Other bases print the 32-bit integer part, as the reference player does.
    std::int64_t i = ToInt32(n);
    bool negative = i < 0;
    std::uint64_t u = static_cast<std::uint64_t>(negative ? -i : i);
    std::string out;
    do {
        out.insert(out.begin(), "0123456789abcdefghijklmnopqrstuvwxyz"[u % radix]);
        u /= radix;
    } while (u);
    return negative ? "-" + out : out;
}

double StringToNumber(std::string_view s, int version) {
    if (version < 5) {
        // Version 4 reads the number the text starts with, and 0 when there is none.
        std::size_t i = 0;
        while (i < s.size() && (s[i] == ' ' || s[i] == '\t' || s[i] == '\r' || s[i] == '\n')) {
            ++i;
        }
        std::size_t start = i;
        if (i < s.size() && (s[i] == '-' || s[i] == '+')) {
            ++i;
        }
        std::size_t digits = 0;
        while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
            ++i;
            ++digits;
        }
        if (i < s.size() && s[i] == '.') {
            ++i;
            while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
                ++i;
                ++digits;
            }
        }
        if (digits == 0) {
            return 0;
        }
        return std::strtod(std::string(s.substr(start, i - start)).c_str(), nullptr);
    }
    if (version == 5) {
        std::string_view body = s;
        while (!body.empty() &&
               (body[0] == ' ' || body[0] == '\t' || body[0] == '\r' || body[0] == '\n')) {
            body.remove_prefix(1);
        }
        if (!body.empty() && (body[0] == '-' || body[0] == '+')) {
            body.remove_prefix(1);
        }
        if (body.size() > 1 && body[0] == '0' && (body[1] == 'x' || body[1] == 'X')) {
            return std::nan("");
        }
    }
    if (version >= 6) {
        // From version 6 "0x" makes a hex integer and a leading zero an octal one (when every
        // digit is one and nothing comes before the sign), both wrapping at 32 bits.
        std::string_view body = s;
        bool negative = !body.empty() && body[0] == '-';
        if (!body.empty() && (body[0] == '-' || body[0] == '+')) {
            body.remove_prefix(1);
        }
        int base = 0;
        if (body.size() > 2 && body[0] == '0' && (body[1] == 'x' || body[1] == 'X')) {
            base = 16;
            body.remove_prefix(2);
            if (body.size() > 1 && (body[0] == '-' || body[0] == '+')) {
                negative = negative != (body[0] == '-'); // "0x-10" is -16
                body.remove_prefix(1);
            }
        } else if (body.size() > 1 && body[0] == '0' &&
                   body.find_first_not_of("01234567") == std::string_view::npos) {
            base = 8;
        }
        if (base) {
            std::uint32_t v = 0;
            for (char c : body) {
                int d = (c >= '0' && c <= '9')   ? c - '0'
                        : (c >= 'a' && c <= 'f') ? c - 'a' + 10
                        : (c >= 'A' && c <= 'F') ? c - 'A' + 10
                                                 : 99;
                if (d >= base) {
                    return std::nan("");
                }
                v = v * static_cast<std::uint32_t>(base) + static_cast<std::uint32_t>(d);
            }
            double n = static_cast<std::int32_t>(v);
            return negative ? -n : n;
        }
    }
    return StringToNumber(s);
}

std::int32_t ToInt32(double d) {
    return static_cast<std::int32_t>(ToUint32(d));
}

std::uint32_t ToUint32(double d) {
    if (std::isnan(d) || std::isinf(d)) {
        return 0;
    }
    double t = std::trunc(d);
    double m = std::fmod(t, 4294967296.0);
    if (m < 0) {
        m += 4294967296.0;
    }
    return static_cast<std::uint32_t>(m);
}

std::u16string ToUtf16(std::string_view s) {
    std::u16string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size();) {
        auto c = static_cast<unsigned char>(s[i]);
        std::uint32_t cp = c;
        std::size_t len = 1;
        if (c >= 0xF0) {
            len = 4;
            cp = c & 0x07;
        } else if (c >= 0xE0) {
            len = 3;
            cp = c & 0x0F;
        } else if (c >= 0xC0) {
            len = 2;
            cp = c & 0x1F;
        }
        if (i + len > s.size()) {
            len = 1;
            cp = c;
        } else {
            for (std::size_t k = 1; k < len; ++k) {
                auto cc = static_cast<unsigned char>(s[i + k]);
                if ((cc & 0xC0) != 0x80) {
                    len = 1;
                    cp = c;
                    break;
                }
                cp = (cp << 6) | (cc & 0x3F);
            }
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
        i += len;
    }
    return out;
}

std::string FromUtf16(std::u16string_view s) {
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        std::uint32_t cp = s[i];
        if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < s.size() && s[i + 1] >= 0xDC00 &&
            s[i + 1] < 0xE000) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (s[i + 1] - 0xDC00);
            ++i;
        }
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
    return out;
}

namespace {

void AppendUtf8(std::string& out, std::uint32_t cp) {
    out += FromUtf16(cp < 0x10000
                         ? std::u16string(1, static_cast<char16_t>(cp))
                         : std::u16string{static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10)),
                                          static_cast<char16_t>(0xDC00 + (cp & 0x3FF))});
}

// The well-formed UTF-8 sequence starting at s[i], its length, or 0 when ill-formed: then the
// longest well-formed start of one (at least a byte) is what one U+FFFD replaces.
std::size_t Utf8Sequence(std::string_view s, std::size_t i, std::size_t& badPrefix) {
    auto c = static_cast<unsigned char>(s[i]);
    badPrefix = 1;
    if (c < 0x80) {
        return 1;
    }
    std::size_t len = 0;
    unsigned char lo = 0x80;
    unsigned char hi = 0xBF;
    if (c >= 0xC2 && c <= 0xDF) {
        len = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
        len = 3;
        lo = c == 0xE0 ? 0xA0 : 0x80;
        hi = c == 0xED ? 0x9F : 0xBF;
    } else if (c >= 0xF0 && c <= 0xF4) {
        len = 4;
        lo = c == 0xF0 ? 0x90 : 0x80;
        hi = c == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    for (std::size_t k = 1; k < len; ++k) {
        if (i + k >= s.size()) {
            return 0;
        }
        auto cc = static_cast<unsigned char>(s[i + k]);
        if (cc < (k == 1 ? lo : 0x80) || cc > (k == 1 ? hi : 0xBF)) {
            return 0;
        }
        badPrefix = k + 1;
    }
    return len;
}

} // namespace

std::string MovieText(std::string_view bytes, int version) {
    std::string out;
    out.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size();) {
        auto c = static_cast<unsigned char>(bytes[i]);
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
            ++i;
        } else if (version < 6) {
            AppendUtf8(out, swf::FromCodePage(c, swf::CodePage()));
            ++i;
        } else {
            std::size_t bad = 1;
            std::size_t len = Utf8Sequence(bytes, i, bad);
            if (len) {
                out.append(bytes.substr(i, len));
                i += len;
            } else {
                out += "\xEF\xBF\xBD";
                i += bad;
            }
        }
    }
    return out;
}

std::string OutsideText(std::string_view s) {
    // Our own texts hold lone surrogates in the three-byte form FromUtf16 gives them.
    if (s.find('\xED') == std::string_view::npos) {
        return std::string(s);
    }
    std::u16string u = ToUtf16(s);
    for (std::size_t i = 0; i < u.size(); ++i) {
        bool high = u[i] >= 0xD800 && u[i] < 0xDC00;
        bool low = u[i] >= 0xDC00 && u[i] < 0xE000;
        if (high && i + 1 < u.size() && u[i + 1] >= 0xDC00 && u[i + 1] < 0xE000) {
            ++i;
        } else if (high || low) {
            u[i] = 0xFFFD;
        }
    }
    return FromUtf16(u);
}

std::string AsciiLower(std::string_view s) {
    std::string k(s);
    for (char& c : k) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return k;
}

} // namespace fw::avm1
