#include "base/text.h"

#include <gtest/gtest.h>

#include <cmath>

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

} // namespace
