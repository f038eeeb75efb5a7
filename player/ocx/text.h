#pragma once
// Text conversions at the control's edges: COM speaks UTF-16, the movie UTF-8.

#include <windows.h>

#include <string>
#include <string_view>

namespace fw::player {

std::string ToUtf8(std::wstring_view s);
std::wstring FromUtf8(std::string_view s); // invalid sequences become U+FFFD

// A number's decimal text, as std::to_wstring writes it. std::to_wstring would link the C
// library's wide formatted printing into the control; std::to_string's digits are written inline.
inline std::wstring DecimalText(long long v) {
    const std::string digits = std::to_string(v);
    return std::wstring(digits.begin(), digits.end());
}

} // namespace fw::player
