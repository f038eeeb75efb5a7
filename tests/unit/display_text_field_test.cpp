// The text field model under what the corpus does not pin: typing (which the input lane will
// drive), markup that breaks off or nests deeply, and markup the field wrote read back.

#include "display/text_field.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using fw::display::TextField;

TEST(DisplayTextField, TypingKeepsToMaxCharsRestrictAndTheSelection) {
    struct Case {
        const char* restrict; // null: any character
        int maxChars;
        const char* typed;
        const char* expected;
    };
    const Case cases[] = {
        {nullptr, 0, "ab\ncd", "abcd"}, // one line: the break is dropped
        {nullptr, 3, "abcdef", "abc"},
        {"a-c", 0, "abcdef", "abc"},
        // A refused letter whose other case is let through is typed in that case.
        {"^a-c", 0, "abcdef", "ABCdef"},
        {"0-9\\-", 0, "1-2x", "1-2"},
    };
    for (const auto& c : cases) {
        TextField f;
        if (c.restrict) {
            f.restrict = c.restrict;
        }
        f.maxChars = c.maxChars;
        f.Type(fw::display::Utf16(c.typed));
        EXPECT_EQ(c.expected, f.Text()) << "restrict " << (c.restrict ? c.restrict : "none");
        EXPECT_EQ(f.Length(), f.caret);
    }
    TextField f;
    f.SetText("hello world");
    f.selectionStart = 0;
    f.selectionEnd = 5;
    f.Type(u"HI");
    EXPECT_EQ("HI world", f.Text());
    EXPECT_EQ(2u, f.caret);
}

TEST(DisplayTextField, BrokenOrDeepMarkupKeepsWhatCameBeforeIt) {
    TextField f;
    f.html = true;
    f.SetHtmlText("ok &bogus; &#65; <b>bold <i>unclosed");
    EXPECT_EQ("ok &bogus; A bold unclosed", f.Text());
    f.SetHtmlText("before <font face=\"x");
    EXPECT_EQ("before ", f.Text());
    std::string deep;
    for (int i = 0; i < 5000; ++i) {
        deep += "<font size=\"+1\"><b>";
    }
    f.SetHtmlText(deep + "x");
    EXPECT_EQ("x", f.Text());
}

TEST(DisplayTextField, MarkupItWroteReadsBackToTheSameFormats) {
    TextField f;
    f.html = true;
    f.multiline = true;
    f.SetHtmlText("<p align=\"center\">a<font size=\"20\" color=\"#FF0000\">b<b>c</b></font>"
                  "</p><textformat leftmargin=\"4\"><li><a href=\"u\">d</a></li></textformat>");
    std::string written = f.HtmlText();
    TextField g;
    g.html = true;
    g.multiline = true;
    g.SetHtmlText(written);
    EXPECT_EQ(written, g.HtmlText());
    ASSERT_EQ(f.Length(), g.Length());
    for (std::size_t i = 0; i < f.Length(); ++i) {
        if (f.chars()[i] == u'\r') {
            continue; // a paragraph's break takes the font closed last, which writing moves
        }
        fw::display::CharFormat a, b;
        f.FormatOf(i, i + 1).ApplyTo(a);
        g.FormatOf(i, i + 1).ApplyTo(b);
        EXPECT_TRUE(a == b) << "character " << i;
    }
    EXPECT_EQ(20, f.FormatOf(1, 2).size.value_or(0));
    EXPECT_TRUE(f.FormatOf(4, 5).bullet.value_or(false));
}

} // namespace
