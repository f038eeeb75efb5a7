#pragma once
// The keyboard's focus: the one display object (an input text, a button, a clip that acts as a
// button or asks for focus) that keys go to, how scripts, the Tab key and the mouse move it,
// the order Tab walks, and the highlight drawn around it.

#include "avm1/value.h"

#include <cstdint>
#include <optional>
#include <unordered_map>
#include <vector>

namespace fw::avm1 {
class Object;
}

namespace fw::display {

struct Clip;
class Stage;
class Input;

class Focus {
public:
    explicit Focus(Stage& stage) : stage_(stage) {}

    // A new movie: nothing has the focus and the highlight shows again.
    void Reset();
    // The pointer's side, whose hover the focus moves along (the Tab key rolls over what it
    // reaches).
    void Attach(Input* input) { input_ = input; }

    // What has the focus, while it is on the stage.
    Clip* Current();
    // The text field that has the focus, which typing goes to; null when another kind of
    // object or nothing has it. Its caret and selection live on the field itself.
    Clip* FocusedField();

    enum class Cause { Script, Key, Mouse };
    // Gives the focus to a display object (null: to none). False when the object takes none.
    // Scripts' changes queue the roll events; the keyboard's run them before the handlers.
    bool Set(Clip* target, Cause cause);
    bool Focusable(const Clip& clip);

    // The Tab key: to the next object of the order, or the previous one.
    void Cycle(bool reverse);
    // What Tab walks through, in its order.
    std::vector<Clip*> TabOrder();

    // A press of the mouse's button on an object (null: on none).
    void Pressed(Clip* target);
    // A display object leaving the stage or hiding takes the focus with it: Left marks it as
    // the tree changes, Settle runs the handlers once the tree stands again.
    void Left(const Clip& clip);
    void Settle();
    // A script removes a clip: the focus inside it leaves first, so its handlers still find the
    // clip where it stood.
    void Leaving(const Clip& clip);

    // The highlight: active once the focus moved by the keyboard until the mouse acts; keys
    // reach the focused object's handlers only while it is active, and Enter and Space press
    // it only while it shows.
    bool HighlightActive() const { return highlight_ != Highlight::Inactive; }
    bool HighlightShows() const { return highlight_ == Highlight::Visible; }
    void ResetHighlight() { highlight_ = Highlight::Inactive; }

    // _focusrect of a display object, as scripts read and write it.
    avm1::Value Rect(const Clip& clip);
    void SetRect(const Clip& clip, const avm1::Value& v);

private:
    enum class Highlight : std::uint8_t { Inactive, Hidden, Visible };

    bool Tabbable(const Clip& clip);
    bool FocusableByMouse(const Clip& clip);
    bool ButtonMode(const Clip& clip);
    bool IsButton(const Clip& clip) const;
    bool IsField(const Clip& clip) const;
    bool Editable(const Clip& clip) const;
    bool Property(const Clip& clip, const char* name, bool absent);
    std::optional<std::int32_t> TabIndex(const Clip& clip);
    void Fill(Clip& parent, std::vector<Clip*>& out, int nesting);
    void UpdateHighlight();
    void Call(const Clip* clip, const char* method, avm1::Value other);

    Stage& stage_;
    Input* input_ = nullptr;
    int focus_ = -1;    // the focused object's id; -1: none
    bool left_ = false; // it left the stage or hid, and the handlers have yet to hear
    Highlight highlight_ = Highlight::Inactive;
    bool stageRect_ = true;               // the highlight shows by default
    std::unordered_map<int, bool> rects_; // objects' own _focusrect, by id
};

} // namespace fw::display
