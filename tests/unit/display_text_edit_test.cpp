// Editing a field by the keys the corpus does not press: moves by word and line, deleting at
// the ends and across surrogate pairs, selections that grow, the clipboard of fields that may
// not give their text away, and where a click puts the caret.

#include "display/text_edit.h"

#include <gtest/gtest.h>

namespace {

using fw::display::EditCommand;
using fw::display::TextField;

struct Edited {
    std::u16string text;
    std::size_t caret, start, end;
};

Edited Apply(std::u16string_view text, std::size_t from, std::size_t to, std::size_t caret,
             std::initializer_list<EditCommand> commands, bool editable = true) {
    TextField f;
    f.multiline = true;
    f.editable = editable;
    f.SetText(fw::display::Utf8(text));
    f.selectionStart = from;
    f.selectionEnd = to;
    f.caret = caret;
    std::u16string clipboard;
    for (EditCommand c : commands) {
        Edit(f, c, clipboard);
    }
    return {f.chars(), f.caret, f.selectionStart, f.selectionEnd};
}

TEST(DisplayTextEdit, CommandsMoveSelectAndDelete) {
    using C = EditCommand;
    const std::u16string pair = u"a\U0001F600b"; // a surrogate pair between two letters
    struct Case {
        const char* name;
        Edited got, expected;
    };
    const Case cases[] = {
        {"backspace at the start", Apply(u"ab", 0, 0, 0, {C::Backspace}), {u"ab", 0, 0, 0}},
        {"delete at the end", Apply(u"ab", 2, 2, 2, {C::Delete}), {u"ab", 2, 2, 2}},
        {"backspace takes a whole pair", Apply(pair, 3, 3, 3, {C::Backspace}), {u"ab", 1, 1, 1}},
        {"delete takes a whole pair", Apply(pair, 1, 1, 1, {C::Delete}), {u"ab", 1, 1, 1}},
        {"a move steps over a pair", Apply(pair, 1, 1, 1, {C::MoveRight}), {pair, 3, 3, 3}},
        {"a move ends a selection at its side",
         Apply(u"abcd", 1, 3, 3, {C::MoveLeft}),
         {u"abcd", 1, 1, 1}},
        {"selecting grows from the anchor",
         Apply(u"abcd", 1, 1, 1, {C::SelectRight, C::SelectRight}),
         {u"abcd", 3, 1, 3}},
        {"selecting back past the anchor",
         Apply(u"abcd", 2, 3, 3, {C::SelectLeft, C::SelectLeft}),
         {u"abcd", 1, 1, 2}},
        {"words",
         Apply(u"one two, three", 0, 0, 0, {C::MoveRightWord, C::MoveRightWord}),
         {u"one two, three", 9, 9, 9}},
        {"a word back", Apply(u"one two", 7, 7, 7, {C::BackspaceWord}), {u"one ", 4, 4, 4}},
        {"line ends", Apply(u"ab\rcd", 4, 4, 4, {C::MoveLeftLine}), {u"ab\rcd", 3, 3, 3}},
        {"enter in a multiline field", Apply(u"ab", 1, 1, 1, {C::Enter}), {u"a\rb", 2, 2, 2}},
        {"a dynamic field only selects",
         Apply(u"ab", 2, 2, 2, {C::Backspace, C::SelectAll, C::Cut}, false),
         {u"ab", 2, 0, 2}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.expected.text, c.got.text) << c.name;
        EXPECT_EQ(c.expected.caret, c.got.caret) << c.name;
        EXPECT_EQ(c.expected.start, c.got.start) << c.name;
        EXPECT_EQ(c.expected.end, c.got.end) << c.name;
    }
}

TEST(DisplayTextEdit, KeysNameTheirCommands) {
    using C = EditCommand;
    struct Case {
        int key;
        bool shift, control;
        std::optional<C> expected;
    };
    const Case cases[] = {
        {37, false, false, C::MoveLeft},       {39, true, false, C::SelectRight},
        {39, true, true, C::SelectRightWord},  {36, false, true, C::MoveLeftDocument},
        {35, true, false, C::SelectRightLine}, {8, false, true, C::BackspaceWord},
        {'V', false, true, C::Paste},          {'V', false, false, std::nullopt},
        {'Q', false, true, std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.expected, fw::display::EditCommandForKey(c.key, c.shift, c.control))
            << "key " << c.key << " shift " << c.shift << " control " << c.control;
    }
}

TEST(DisplayTextEdit, ClipboardAndLimits) {
    TextField f;
    f.editable = true;
    f.SetText("secret");
    std::u16string clipboard = u"kept";
    f.password = true;
    Edit(f, EditCommand::SelectAll, clipboard);
    EXPECT_FALSE(Edit(f, EditCommand::Cut, clipboard));
    EXPECT_EQ(u"kept", clipboard);
    EXPECT_EQ("secret", f.Text());
    f.password = false;
    EXPECT_TRUE(Edit(f, EditCommand::Cut, clipboard));
    EXPECT_EQ(u"secret", clipboard);
    EXPECT_EQ("", f.Text());
    // A limit that falls inside a pair leaves the pair out.
    f.maxChars = 2;
    clipboard = u"a\U0001F600";
    EXPECT_TRUE(Edit(f, EditCommand::Paste, clipboard));
    EXPECT_EQ(u"a", f.chars());
}

TEST(DisplayTextEdit, ACaretGoesToTheNearestBoundaryOnTheLineClicked) {
    TextField f;
    f.multiline = true;
    f.bounds = {0, 4000, 0, 2000};
    f.SetText("abc\rdefgh");
    const auto& lines = f.Lines();
    ASSERT_EQ(2u, lines.size());
    double below = 2 + lines[0].ascent + lines[0].descent + lines[0].leading + 1;
    EXPECT_EQ(0u, fw::display::CaretAt(f, 0, 0));
    EXPECT_EQ(3u, fw::display::CaretAt(f, 1000, 0));
    EXPECT_EQ(4u, fw::display::CaretAt(f, 0, below));
    EXPECT_EQ(f.Length(), fw::display::CaretAt(f, 1000, 1000));
    double half = lines[1].width / 2 + 2;
    std::size_t middle = fw::display::CaretAt(f, half, below);
    EXPECT_GT(middle, 4u);
    EXPECT_LT(middle, f.Length());
}

} // namespace
