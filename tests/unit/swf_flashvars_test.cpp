#include "swf/flashvars.h"

#include <gtest/gtest.h>

namespace {

using Pairs = std::vector<std::pair<std::string, std::string>>;

TEST(ParseFlashVars, SplitsAndDecodes) {
    struct Case {
        const char* text;
        Pairs pairs;
    };
    const Case cases[] = {
        {"", {}},
        {"ProcessorFreq=450&EscIntro=0", {{"ProcessorFreq", "450"}, {"EscIntro", "0"}}},
        {"level=3&ProcessorFreq=450&EscIntro=-1&",
         {{"level", "3"}, {"ProcessorFreq", "450"}, {"EscIntro", "-1"}}},
        {"ini=&a=1", {{"ini", ""}, {"a", "1"}}},
        {"flag&&b=2", {{"flag", ""}, {"b", "2"}}},
        {"=orphan&c=3", {{"c", "3"}}},
        {"expr=a=b", {{"expr", "a=b"}}},
        {"name=John+Smith", {{"name", "John Smith"}}},
        {"p=%2F%3d%26%25", {{"p", "/=&%"}}},
        {"r=%D0%96", {{"r", "\xD0\x96"}}}, // the bytes of a UTF-8 letter
        {"pct=50%&bad=%zz&tail=%4", {{"pct", "50%"}, {"bad", "%zz"}, {"tail", "%4"}}},
        {"a%20b=c", {{"a b", "c"}}},
        {"same=1&same=2", {{"same", "1"}, {"same", "2"}}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(fw::swf::ParseFlashVars(c.text), c.pairs) << "for \"" << c.text << "\"";
    }
}

} // namespace
