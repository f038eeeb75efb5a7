#include "base/text.h"

#include <cmath>
#include <iterator>
#include <limits>
#include <type_traits>

namespace fw {
namespace {

template <typename Ch> std::basic_string<Ch> LowerImpl(std::basic_string_view<Ch> s) {
    std::basic_string<Ch> out(s);
    for (auto& c : out) {
        if (c >= Ch('A') && c <= Ch('Z')) {
            c = static_cast<Ch>(c - Ch('A') + Ch('a'));
        }
    }
    return out;
}

template <typename Ch> bool IsControlOrBlank(Ch c) {
    // Compare as unsigned so that bytes above 127 (Cyrillic in 1251) are kept.
    using U = std::make_unsigned_t<Ch>;
    return static_cast<U>(c) <= 32;
}

template <typename Ch> std::basic_string<Ch> TrimImpl(std::basic_string_view<Ch> s) {
    std::size_t b = 0;
    std::size_t e = s.size();
    while (b < e && IsControlOrBlank(s[b])) {
        ++b;
    }
    while (e > b && IsControlOrBlank(s[e - 1])) {
        --e;
    }
    return std::basic_string<Ch>(s.substr(b, e - b));
}

template <typename Ch> int DigitValue(Ch c, int base) {
    int v = -1;
    if (c >= Ch('0') && c <= Ch('9')) {
        v = static_cast<int>(c - Ch('0'));
    } else if (c >= Ch('a') && c <= Ch('f')) {
        v = static_cast<int>(c - Ch('a')) + 10;
    } else if (c >= Ch('A') && c <= Ch('F')) {
        v = static_cast<int>(c - Ch('A')) + 10;
    }
    return v < base ? v : -1;
}

template <typename Ch> std::optional<std::int32_t> ParseImpl(std::basic_string_view<Ch> s) {
    std::size_t i = 0;
    while (i < s.size() && s[i] == Ch(' ')) {
        ++i;
    }
    bool negative = false;
    if (i < s.size() && (s[i] == Ch('+') || s[i] == Ch('-'))) {
        negative = s[i] == Ch('-');
        ++i;
    }
    int base = 10;
    if (i < s.size() && s[i] == Ch('$')) {
        base = 16;
        ++i;
    } else if (i + 1 < s.size() && s[i] == Ch('0') &&
               (s[i + 1] == Ch('x') || s[i + 1] == Ch('X'))) {
        base = 16;
        i += 2;
    }
    if (i == s.size()) {
        return std::nullopt;
    }
    // Hexadecimal takes the full 32-bit pattern ($FFFFFFFF is -1); decimal must fit.
    const std::uint64_t limit =
        base == 16 ? 0xFFFFFFFFull : (negative ? 0x80000000ull : 0x7FFFFFFFull);
    std::uint64_t value = 0;
    for (; i < s.size(); ++i) {
        const int d = DigitValue(s[i], base);
        if (d < 0) {
            return std::nullopt;
        }
        value = value * static_cast<unsigned>(base) + static_cast<unsigned>(d);
        if (value > limit) {
            return std::nullopt;
        }
    }
    auto bits = static_cast<std::uint32_t>(value);
    if (negative) {
        bits = 0u - bits;
    }
    return static_cast<std::int32_t>(bits);
}

} // namespace

std::string AsciiLower(std::string_view s) {
    return LowerImpl(s);
}
std::wstring AsciiLower(std::wstring_view s) {
    return LowerImpl(s);
}
std::string TrimControl(std::string_view s) {
    return TrimImpl(s);
}
std::wstring TrimControl(std::wstring_view s) {
    return TrimImpl(s);
}
std::optional<std::int32_t> ParseInt32(std::string_view s) {
    return ParseImpl(s);
}
std::optional<std::int32_t> ParseInt32(std::wstring_view s) {
    return ParseImpl(s);
}

std::int64_t RoundHalfEven(double v) {
    if (!std::isfinite(v)) {
        return 0;
    }
    constexpr double kMax = 9.2e18;
    if (v > kMax || v < -kMax) {
        return v > 0 ? std::numeric_limits<std::int64_t>::max()
                     : std::numeric_limits<std::int64_t>::min();
    }
    return static_cast<std::int64_t>(std::nearbyint(v));
}

std::wstring DecimalText(std::int64_t v) {
    // Work on the magnitude unsigned, so the most negative number has one too.
    std::uint64_t rest = v < 0 ? 0 - static_cast<std::uint64_t>(v) : static_cast<std::uint64_t>(v);
    wchar_t digits[20];
    wchar_t* first = std::end(digits);
    do {
        *--first = static_cast<wchar_t>(L'0' + rest % 10);
        rest /= 10;
    } while (rest != 0);
    std::wstring out(v < 0 ? L"-" : L"");
    out.append(first, std::end(digits));
    return out;
}

std::wstring CutText(std::wstring_view s, std::size_t maxChars) {
    if (s.size() <= maxChars) {
        return std::wstring(s);
    }
    if (maxChars == 0) {
        return {};
    }
    std::size_t keep = maxChars - 1;
    if (keep > 0 && s[keep - 1] >= 0xD800 && s[keep - 1] <= 0xDBFF) {
        --keep; // the first half of a pair whose second half is cut off
    }
    std::wstring cut(s.substr(0, keep));
    cut += L'\u2026';
    return cut;
}

bool StartsWith(std::string_view s, std::string_view prefix) {
    return s.substr(0, prefix.size()) == prefix;
}
bool StartsWith(std::wstring_view s, std::wstring_view prefix) {
    return s.substr(0, prefix.size()) == prefix;
}

} // namespace fw
