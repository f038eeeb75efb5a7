#include "swf/value.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

using namespace fw::swf;

TEST(NumberToString, PrintsAsTheByteCodeDoes) {
    struct Case {
        double n;
        const char* text;
    };
    const double inf = std::numeric_limits<double>::infinity();
    const Case cases[] = {
        {0.0, "0"},
        {-0.0, "0"},
        {1, "1"},
        {-42, "-42"},
        {2147483647.0, "2147483647"},
        {2147483648.0, "2147483648"},
        {-2147483649.0, "-2147483649"},
        {0.5, "0.5"},
        {0.1 + 0.2, "0.3"},
        {1.0 / 3, "0.333333333333333"},
        {-2.0 / 3, "-0.666666666666667"},
        {123.456, "123.456"},
        {999999999999999.0, "999999999999999"},
        {1e15, "1e+15"},
        {1.5e15, "1.5e+15"},
        {123456789012345678901.0, "1.23456789012346e+20"},
        {0.00001, "0.00001"},
        {0.000015, "0.000015"},
        {0.000001, "1e-6"},
        {-1.5e-7, "-1.5e-7"},
        {1.5e300, "1.5e+300"},
        {std::nan(""), "NaN"},
        {inf, "Infinity"},
        {-inf, "-Infinity"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(NumberToString(c.n), c.text) << "for " << c.text;
    }
}

TEST(StringToNumber, AcceptsDecimalAndHexOnly) {
    struct Case {
        const char* text;
        double n; // NaN where the text is not a number
    };
    const double nan = std::nan("");
    const Case cases[] = {
        {"12", 12},    {"  12", 12},  {"\t\n-3.5", -3.5}, {"+5", 5},      {"1e3", 1000},
        {"1.", 1},     {".5", 0.5},   {"2.5E-1", 0.25},   {"0x1A", 26},   {"-0x10", -16},
        {"0XfF", 255}, {"", nan},     {"   ", nan},       {"12 ", nan},   {"abc", nan},
        {"inf", nan},  {"nan", nan},  {"1e", nan},        {"--1", nan},   {".", nan},
        {"0x", nan},   {"0x1G", nan}, {"1,5", nan},       {"0x1p3", nan}, {"007", 7},
    };
    for (const auto& c : cases) {
        double got = StringToNumber(c.text);
        if (std::isnan(c.n)) {
            EXPECT_TRUE(std::isnan(got)) << "\"" << c.text << "\" gave " << got;
        } else {
            EXPECT_EQ(got, c.n) << "\"" << c.text << "\"";
        }
    }
}

TEST(Conversions, FollowTheFileVersion) {
    struct Case {
        Value v;
        int version;
        const char* text;
        double number; // NaN for NaN
        bool truth;
    };
    const double nan = std::nan("");
    const Case cases[] = {
        {Value(), 6, "", 0, false},
        {Value(), 7, "undefined", nan, false},
        {Value(Null{}), 6, "null", 0, false},
        {Value(Null{}), 7, "null", nan, false},
        {Value(true), 6, "true", 1, true},
        {Value(false), 7, "false", 0, false},
        {Value(2.5), 6, "2.5", 2.5, true},
        {Value(std::nan("")), 7, "NaN", nan, false},
        {Value("0"), 6, "0", 0, false},
        {Value("0"), 7, "0", 0, true}, // a non-empty text is true from version 7
        {Value("abc"), 6, "abc", nan, false},
        {Value("abc"), 7, "abc", nan, true},
        {Value("3"), 6, "3", 3, true},
        {Value(""), 7, "", nan, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string("value \"") + c.text + "\" version " + std::to_string(c.version));
        EXPECT_EQ(ToString(c.v, c.version), c.text);
        double n = ToNumber(c.v, c.version);
        if (std::isnan(c.number)) {
            EXPECT_TRUE(std::isnan(n)) << "got " << n;
        } else {
            EXPECT_EQ(n, c.number);
        }
        EXPECT_EQ(ToBoolean(c.v, c.version), c.truth);
    }
}

TEST(Comparisons, EqualityIdentityAndOrder) {
    ScriptObject a(true);
    ScriptObject b(true);
    struct Case {
        Value x;
        Value y;
        bool equals;
        bool strict;
        int less; // 1 true, 0 false, -1 undefined
    };
    const Case cases[] = {
        {Value(1), Value("1"), true, false, 0},
        {Value("1.0"), Value(1), true, false, 0},
        {Value("a"), Value("b"), false, false, 1},
        {Value("b"), Value("a"), false, false, 0},
        {Value("10"), Value("9"), false, false, 1}, // texts compare as texts
        {Value(10), Value("9"), false, false, 0},   // a number makes it numeric
        {Value(true), Value(1), true, false, 0},
        {Value(), Value(Null{}), true, false, -1},
        {Value(), Value(), true, true, -1},
        {Value(), Value(0), false, false, -1},
        {Value(std::nan("")), Value(std::nan("")), true, true, -1}, // NaN equals NaN here
        {Value(&a), Value(&a), true, true, 0}, // both read as "[object Object]"
        {Value(&a), Value(&b), false, false, 0},
        {Value(&a), Value("[object Object]"), false, false, 0},
        {Value(-1), Value(2), false, false, 1},
    };
    int i = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE("case " + std::to_string(i++));
        EXPECT_EQ(AbstractEquals(c.x, c.y, 7), c.equals);
        EXPECT_EQ(AbstractEquals(c.y, c.x, 7), c.equals);
        EXPECT_EQ(StrictEquals(c.x, c.y), c.strict);
        Value less = AbstractLess(c.x, c.y, 7);
        int got = less.isUndefined() ? -1 : (less.asBool() ? 1 : 0);
        EXPECT_EQ(got, c.less);
    }
}

TEST(ScriptObject, NamesIgnoreCaseOnlyBeforeVersion7) {
    ScriptObject old(false);
    ScriptObject modern(true);
    for (ScriptObject* o : {&old, &modern}) {
        o->Set("Volume", Value(1));
        o->Set("volume", Value(2));
        o->Set("other", Value(3));
    }
    ASSERT_EQ(old.size(), 2u);
    EXPECT_EQ(old.Keys()[0], "Volume"); // the first spelling stays
    EXPECT_EQ(old.Find("VOLUME")->asNumber(), 2);
    ASSERT_EQ(modern.size(), 3u);
    EXPECT_EQ(modern.Find("Volume")->asNumber(), 1);
    EXPECT_EQ(modern.Find("VOLUME"), nullptr);
    EXPECT_EQ(modern.Keys()[2], "other");
}

} // namespace
