#pragma once
// Portable text and number helpers shared by every subsystem.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace fw {

// Lower-cases only the ASCII letters A to Z; every other character is kept,
// so command words compare the same whatever the system's code page.
std::string AsciiLower(std::string_view s);
std::wstring AsciiLower(std::wstring_view s);

// Removes leading and trailing characters of code 32 or less (blanks and
// control characters), as the registry value names of the movie are cleaned.
std::string TrimControl(std::string_view s);
std::wstring TrimControl(std::wstring_view s);

// Reads a whole text as a signed 32-bit integer: leading blanks, an optional
// sign, decimal or hexadecimal with a leading '$' or "0x"/"0X". Anything else
// (empty, trailing junk, overflow) is no number.
std::optional<std::int32_t> ParseInt32(std::string_view s);
std::optional<std::int32_t> ParseInt32(std::wstring_view s);

// Rounds to the nearest integer with halves going to the even neighbour.
std::int64_t RoundHalfEven(double v);

// The decimal digits of a number with a leading '-' when it is negative, as std::to_wstring
// writes them. Built by hand: on Windows std::to_wstring goes through the C library's formatted
// printing, which would be linked into the program for this alone.
std::wstring DecimalText(std::int64_t v);

// The text cut to at most maxChars UTF-16 units, its end replaced by "…" when it had to be
// cut; a surrogate pair is never split. For names that a message box must keep readable.
std::wstring CutText(std::wstring_view s, std::size_t maxChars);

bool StartsWith(std::string_view s, std::string_view prefix);
bool StartsWith(std::wstring_view s, std::wstring_view prefix);

} // namespace fw
