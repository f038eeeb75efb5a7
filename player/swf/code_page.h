#pragma once
// Texts of movies before version 6 are bytes in the code page of the machine playing them
// (Windows-1251 on a Russian system); from version 6 they are UTF-8. We keep UTF-8 throughout.

#include <cstdint>
#include <string>
#include <string_view>

namespace fw::swf {

// The host's code page; 1251 and 1252 are known, any other reads as 1252.
inline int& CodePage() {
    static int page = 1252;
    return page;
}
inline void SetCodePage(int page) {
    CodePage() = page;
}

inline void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

// One byte of the code page as a character; bytes the page leaves open stand for themselves.
inline char16_t FromCodePage(std::uint8_t b, int page) {
    static constexpr char16_t k1252[32] = {
        0x20AC, 0x81,   0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0x8D,   0x017D, 0x8F,   0x90,   0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x9D,   0x017E, 0x0178,
    };
    static constexpr char16_t k1251[64] = {
        0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, 0x20AC, 0x2030, 0x0409,
        0x2039, 0x040A, 0x040C, 0x040B, 0x040F, 0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x0098, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, 0x00A0,
        0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7, 0x0401, 0x00A9, 0x0404, 0x00AB,
        0x00AC, 0x00AD, 0x00AE, 0x0407, 0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6,
        0x00B7, 0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457,
    };
    if (b < 0x80) {
        return b;
    }
    if (page == 1251) {
        return b >= 0xC0 ? static_cast<char16_t>(0x0410 + (b - 0xC0)) : k1251[b - 0x80];
    }
    return b < 0xA0 ? k1252[b - 0x80] : b;
}

// Bytes in the code page as UTF-8.
inline std::string CodePageText(std::string_view bytes, int page = CodePage()) {
    std::string out;
    out.reserve(bytes.size());
    for (char c : bytes) {
        AppendUtf8(out, FromCodePage(static_cast<std::uint8_t>(c), page));
    }
    return out;
}

} // namespace fw::swf
