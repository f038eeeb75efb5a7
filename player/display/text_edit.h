#pragma once
// Editing a text field from the keyboard: which characters its restrict string lets in, the
// caret and the selection moved by the editing keys, deleting, and the clipboard. Plain logic
// on display::TextField; the typing entry (typing.h) decides which field the keys reach and
// tells the scripts.

#include "display/text_field.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace fw::display {

// The characters a restrict string admits: single characters and ranges ("a-z"), "^" switching
// between admitting and refusing what follows, "\" taking the next character as it is. A
// string that begins with "^" admits everything it does not refuse.
class CharacterFilter {
public:
    explicit CharacterFilter(std::u16string_view restrict);
    // The character as the field takes it: an ASCII letter the set refuses goes in as its other
    // case where the set admits that one. nullopt when refused.
    std::optional<char32_t> Admit(char32_t c) const;

private:
    struct Range {
        char32_t low = 0, high = 0;
        bool admit = true;
    };
    bool Admits(char32_t c) const;
    std::vector<Range> ranges_;
    bool admitAll_ = false;
};

// What the editing keys and the clipboard's shortcuts ask of the focused field.
enum class EditCommand : std::uint8_t {
    MoveLeft,
    MoveRight,
    MoveLeftWord,
    MoveRightWord,
    MoveLeftLine,
    MoveRightLine,
    MoveLeftDocument,
    MoveRightDocument,
    SelectLeft,
    SelectRight,
    SelectLeftWord,
    SelectRightWord,
    SelectLeftLine,
    SelectRightLine,
    SelectLeftDocument,
    SelectRightDocument,
    SelectAll,
    Copy,
    Cut,
    Paste,
    Backspace,
    BackspaceWord,
    Delete,
    DeleteWord,
    Enter,
};

// Appends a character as UTF-16, a surrogate pair beyond the first plane.
void AppendUtf16(std::u16string& s, char32_t c);

// A command by its name ("MoveLeft", "Paste", ...); nullopt for an unknown one.
std::optional<EditCommand> EditCommandNamed(std::string_view name);

// The command a key stands for in a field, by the key code scripts read from Key.getCode and
// the modifiers held (the arrows, Home, End, Backspace, Delete, Enter and the clipboard's
// letters with Control); nullopt for a key that only types.
std::optional<EditCommand> EditCommandForKey(int keyCode, bool shift, bool control);

// Carries out a command on a field: moves and selections on any selectable field, changes on
// an input field only. Copy and Cut fill the clipboard, except from a password field; Paste
// types what it holds. Returns whether the text changed.
bool Edit(TextField& field, EditCommand command, std::u16string& clipboard);

// Where a click at a point of the field (pixels from its box's top left corner) puts the
// caret: the character boundary nearest to it on the line under it.
std::size_t CaretAt(const TextField& field, double x, double y);

} // namespace fw::display
