#pragma once
// Text conversions at the control's edges: COM speaks UTF-16, the movie UTF-8.

#include <windows.h>

#include <string>
#include <string_view>

namespace fw::player {

std::string ToUtf8(std::wstring_view s);
std::wstring FromUtf8(std::string_view s); // invalid sequences become U+FFFD

} // namespace fw::player
