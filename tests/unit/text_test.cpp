#include "base/text.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>

namespace {

TEST(AsciiLower, ChangesOnlyLatinCapitals) {
    EXPECT_EQ(fw::AsciiLower(std::string("QuIt")), "quit");
    // 0xC0 is Cyrillic capital A in Windows-1251: it must stay as it is.
    EXPECT_EQ(fw::AsciiLower(std::string("SAVE\xC0Z")), "save\xC0z");
    EXPECT_EQ(fw::AsciiLower(std::wstring(L"Save\u0416")), L"save\u0416");
}

TEST(TrimControl, RemovesCodesUpTo32OnBothEnds) {
    EXPECT_EQ(fw::TrimControl(std::string(" \t\x01Level \x1f")), "Level");
    EXPECT_EQ(fw::TrimControl(std::string("  ")), "");
    EXPECT_EQ(fw::TrimControl(std::string("a b")), "a b");
    EXPECT_EQ(fw::TrimControl(std::string("\xC0 ")), "\xC0");
    EXPECT_EQ(fw::TrimControl(std::wstring(L"\u0416\t")), L"\u0416");
}

struct ParseCase {
    const char* text;
    std::optional<std::int32_t> expected;
};

TEST(ParseInt32, AcceptsDecimalSignsAndHexForms) {
    const ParseCase cases[] = {
        {"15", 15},
        {"  7", 7},
        {"-1", -1},
        {"+20", 20},
        {"$14", 20},
        {"0x14", 20},
        {"0X1f", 31},
        {"-$A", -10},
        {"$FFFFFFFF", -1},
        {"2147483647", 2147483647},
        {"-2147483648", INT32_MIN},
        {"2147483648", std::nullopt},
        {"", std::nullopt},
        {"   ", std::nullopt},
        {"7 ", std::nullopt},
        {"1.5", std::nullopt},
        {"abc", std::nullopt},
        {"0x", std::nullopt},
        {"$", std::nullopt},
        {"-", std::nullopt},
        {"99999999999999999999", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(fw::ParseInt32(std::string(c.text)), c.expected) << "for \"" << c.text << "\"";
    }
    EXPECT_EQ(fw::ParseInt32(std::wstring(L" -0x10")), -16);
}

TEST(RoundHalfEven, HalvesGoToTheEvenNeighbour) {
    EXPECT_EQ(fw::RoundHalfEven(0.5), 0);
    EXPECT_EQ(fw::RoundHalfEven(1.5), 2);
    EXPECT_EQ(fw::RoundHalfEven(2.5), 2);
    EXPECT_EQ(fw::RoundHalfEven(-2.5), -2);
    EXPECT_EQ(fw::RoundHalfEven(10.4), 10);
    EXPECT_EQ(fw::RoundHalfEven(10.6), 11);
    EXPECT_EQ(fw::RoundHalfEven(std::nan("")), 0);
}

struct DecimalCase {
    std::int64_t value;
    const wchar_t* expected;
};

TEST(DecimalText, WritesEveryDigitAndTheSign) {
    const DecimalCase cases[] = {
        {0, L"0"},
        {7, L"7"},
        {-7, L"-7"},
        {10, L"10"},
        {-100, L"-100"},
        {90, L"90"},
        {4294967295, L"4294967295"},
        {INT32_MAX, L"2147483647"},
        {INT32_MIN, L"-2147483648"},
        {INT64_MAX, L"9223372036854775807"},
        {INT64_MIN, L"-9223372036854775808"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(fw::DecimalText(c.value), c.expected) << "for " << c.value;
    }
}

TEST(DecimalText, AgreesWithTheStandardLibraryAcrossMagnitudes) {
    // Each power of ten and its neighbours, both signs: every digit count and carry.
    std::int64_t power = 1;
    for (int digits = 1; digits <= 18; ++digits, power *= 10) {
        for (const std::int64_t v : {power - 1, power, power + 1, -power + 1, -power, -power - 1}) {
            EXPECT_EQ(fw::DecimalText(v), std::to_wstring(v)) << "for " << v;
        }
    }
}

TEST(CutText, KeepsShortTextsAndCutsLongOnesWithAnEllipsis) {
    const std::wstring pair = L"\xD83D\xDE00"; // one character in two UTF-16 units
    struct Case {
        std::wstring text;
        std::size_t max;
        std::wstring expected;
    };
    const Case cases[] = {
        {L"", 5, L""},
        {L"level", 5, L"level"},
        {L"levels", 5, L"leve\u2026"},
        {L"\u0438\u043c\u044f\u0438\u043c\u044f", 4, L"\u0438\u043c\u044f\u2026"},
        {L"ab" + pair + L"cd", 4, L"ab\u2026"},
        {L"ab" + pair + L"cd", 5, L"ab" + pair + L"\u2026"},
        {L"abc", 1, L"\u2026"},
        {L"abc", 0, L""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(fw::CutText(c.text, c.max), c.expected) << "at " << c.max;
    }
    // A value name at the registry's limit fits a message box afterwards.
    const std::wstring shown = fw::CutText(std::wstring(16383, L'n'), 200);
    EXPECT_EQ(shown.size(), 200u);
    EXPECT_EQ(shown.back(), L'\u2026');
}

} // namespace
