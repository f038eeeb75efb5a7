#pragma once
// What the keyboard types reaches the input text field that has the focus: characters, the
// editing keys and the clipboard. The field's bound variable follows its text; the host's
// input entry tells the scripts through the returned field (onChanged, onScroller).

#include "avm1/runtime.h"
#include "display/text_edit.h"

#include <string>

namespace fw::display {

struct Clip;

class Typing {
public:
    explicit Typing(avm1::Runtime& rt) : rt_(rt) {}

    // What changed: the field's object, and whether the lines it shows moved.
    struct Result {
        avm1::Object* changed = nullptr;
        avm1::Object* scrolled = nullptr;
    };
    // A character typed: the focused input field takes it, as its restrict and maxChars let it.
    Result Type(char32_t c);
    Result Command(EditCommand command);
    // A press on a field that has taken the focus, at a point in its own pixels from its box's
    // corner: the caret goes to the nearest character boundary.
    void Press(avm1::Object* field, double x, double y);

    // After a frame: the bound fields in a tree show their variables.
    void FrameEnded(Clip& root);

    // The clipboard the host's copy and paste share with the movie.
    void SetClipboard(std::u16string text) { clipboard_ = std::move(text); }
    const std::u16string& clipboard() const { return clipboard_; }

private:
    // The field typing goes to: the focused display object, when it is a text field.
    avm1::Object* FocusedField();
    template <typename F> Result Change(F&& edit);

    avm1::Runtime& rt_;
    std::u16string clipboard_;
};

} // namespace fw::display
