#pragma once
// The parameter text handed to a movie: "name=value&name=value", URL-encoded.

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace fw::swf {

// Decodes %XX escapes (the bytes of UTF-8 texts) and '+' as a space. A '%' not followed by two
// hex digits stays as it is, so a text that was never encoded passes through unchanged.
std::string UrlDecode(std::string_view s);

// Splits the text into pairs in order. Empty pieces (as from a trailing "&") are skipped; a
// piece without "=" is a name with an empty value; only the first "=" separates.
std::vector<std::pair<std::string, std::string>> ParseFlashVars(std::string_view text);

} // namespace fw::swf
