#pragma once
// How the small fuzzers read their input, so that seed files stay readable
// text: every byte is one character, except 0xFF, which takes the next two
// bytes (low first) as one UTF-16 unit, so Cyrillic and any other character,
// the separators themselves included, can still appear in a field.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <string>
#include <vector>

namespace fwfuzz {

// The fields of the input split at each raw separator byte (-1: one field).
inline std::vector<std::wstring> Fields(const std::uint8_t* data, std::size_t size,
                                        int separator = -1) {
    std::vector<std::wstring> out(1);
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == 0xFF) {
            const unsigned lo = i + 1 < size ? data[i + 1] : 0;
            const unsigned hi = i + 2 < size ? data[i + 2] : 0;
            out.back() += static_cast<wchar_t>(lo | (hi << 8));
            i += 2;
        } else if (data[i] == separator) {
            out.emplace_back();
        } else {
            out.back() += static_cast<wchar_t>(data[i]);
        }
    }
    return out;
}

// Stops the run with the broken promise; libFuzzer keeps the input.
[[noreturn]] inline void Broken(const char* what) {
    std::fprintf(stderr, "broken invariant: %s\n", what);
    std::abort();
}

#define FW_FUZZ_CHECK(cond)                                                                        \
    do {                                                                                           \
        if (!(cond)) {                                                                             \
            ::fwfuzz::Broken(#cond);                                                               \
        }                                                                                          \
    } while (false)

inline bool AsciiEqualNoCase(const std::wstring& a, const std::wstring& b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto fold = [](wchar_t c) { return c >= L'A' && c <= L'Z' ? wchar_t(c + 32) : c; };
        if (fold(a[i]) != fold(b[i])) {
            return false;
        }
    }
    return true;
}

} // namespace fwfuzz
