#pragma once
// Windows-1251, the code page of the program's own texts, for peers that read
// bytes whatever the system's code page is.

#include <string>
#include <string_view>

namespace fw {

// Each character becomes its Windows-1251 byte; a character that the code page
// lacks (and each half of a surrogate pair, taken together) becomes '?'.
std::string ToCp1251(std::wstring_view text);

// The reverse: every one of the 256 bytes has its character.
std::wstring FromCp1251(std::string_view bytes);

} // namespace fw
