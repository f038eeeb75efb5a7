#pragma once
// The mouse and the keyboard coming into the display tree: one entry for every host (fwplay's
// recorded scripts, the control's window), in stage coordinates. It finds what the pointer is
// over, drives buttons and clips that act as buttons through their states, and sends the
// mouse and key events to clips and to Key's and Mouse's listeners, in the reference player's
// order: listeners at once, then the clips' events as queued scripts.

#include "stage.h"
#include "typing.h"

#include <cstdint>
#include <functional>
#include <optional>

namespace fw::display {

// Clip event bits of the mouse and keys, as placements carry them.
enum InputEvent : std::uint32_t {
    kEventMouseMove = 1u << 3,
    kEventMouseDown = 1u << 4,
    kEventMouseUp = 1u << 5,
    kEventKeyDown = 1u << 6,
    kEventKeyUp = 1u << 7,
    kEventPress = 1u << 10,
    kEventRelease = 1u << 11,
    kEventReleaseOutside = 1u << 12,
    kEventRollOver = 1u << 13,
    kEventRollOut = 1u << 14,
    kEventDragOver = 1u << 15,
    kEventDragOut = 1u << 16,
    kEventKeyPress = 1u << 17,
};

// Whether a point of the stage (twips) falls on what a display object shows: its shapes, the
// hit area of a button, its children. Every hit test of the mouse goes through here.
bool HitTest(const Stage& stage, const Clip& clip, swf::Point stagePoint);

// Makes a button's children those of its records that show in the state, keeping the ones
// both states show.
void ShowButtonState(Stage& stage, Clip& button, std::uint8_t state);

// The code a button's or a clip's key press condition names for a key (1 left ... 19 escape,
// 32 to 126 the character); 0 when the key has none.
std::uint8_t ButtonKeyCode(int keyCode, char32_t character);

class Input {
public:
    Input(Stage& stage, avm1::Runtime& rt);
    ~Input();
    Input(const Input&) = delete;
    Input& operator=(const Input&) = delete;

    // Forgets the pointer's and the keys' targets (a new movie).
    void Reset();

    // Each returns whether anything may look different afterwards.
    bool MouseMove(swf::Point stagePoint, bool heard = false); // twips of the stage
    bool MouseDown();                                          // the left button
    bool MouseUp();
    // The right (2) or middle (4) button, by its key code: scripts see it through Key, and
    // nothing is pressed by it.
    bool OtherButton(int code, bool down);
    bool MouseLeave();
    bool KeyDown(int keyCode, char32_t character);
    bool KeyUp(int keyCode, char32_t character);
    // A character typed (after its key went down) and an editing key or shortcut: a button
    // that names a printable character takes it, else the focused input field.
    bool TextInput(char32_t character);
    bool TextControl(EditCommand command);
    void SetClipboard(std::u16string text) { typing_.SetClipboard(std::move(text)); }
    // After a frame: what moved, showed, hid or left under a still pointer rolls in or out.
    bool FrameEnded();
    // The host's window lost the keyboard: the focus goes.
    bool FocusLost();
    // The focus moved to an object (null: to none): the hover moves along, rolling out of what
    // had it and over the new one, until the pointer moves again.
    void FocusRoll(Clip* to);

    // Whether the pointer is over something that acts as a button (the hand shows there).
    bool OverButton() const { return hover_ != 0; }

private:
    enum class Edge { Press, Release, ReleaseOutside, RollOver, RollOut, DragOver, DragOut };

    // fields: a selectable text field takes the pointer too, above what lies under it.
    Clip* Target(Clip& parent, swf::Point p, int nesting, bool fields = false);
    bool Interactive(const Clip& clip);
    bool TrackAsMenu(const Clip& clip);
    void Fire(Clip& target, Edge edge);
    void Broadcast(std::uint32_t event, const char* method);
    void Notify(avm1::Object* broadcaster, const char* method,
                const std::vector<avm1::Value>& args = {});
    // Queues what a key press runs and says whether a button took it; `probe` only says.
    bool PressKey(std::uint8_t code, bool probe = false);
    void Edited(const Typing::Result& r);
    bool Finish();
    // A target still on the stage; the root never is one.
    Clip* Live(int id) { return id ? stage_.Find(id) : nullptr; }
    void UpdateHover();
    // The focused object hears a key while its highlight is active; true when it listens.
    bool QueueFocusKey(const char* method);
    // A key going down or up: the focused object, Key's listeners and the clips hear it.
    void KeyHeard(int keyCode, char32_t character, bool down);
    // The topmost selectable text field under a point of the stage.
    Clip* FieldAt(Clip& parent, swf::Point p, int nesting);
    // Runs a change of the focus, whose handlers may stop or load another movie.
    void Guard(const std::function<void()>& change);
    // A button the timeline takes away and places again in one go (a goto back to its frame)
    // stays the one the pointer is over or pressed, in the state it showed.
    struct Spot {
        int id = 0;
        int parent = 0;
        int depth = 0;
        std::uint16_t character = 0;
        std::uint8_t state = 0;
    };
    void Remember();
    void Adopt(int& id, const Spot& spot);

    Stage& stage_;
    avm1::Runtime& rt_;
    Typing typing_;
    swf::Point mouse_;
    int hover_ = 0;   // what acts as a button under the pointer (clip id; 0: none)
    int pressed_ = 0; // where the press began, while the button is held
    int menu_ = 0;    // a menu item the held pointer is over, not where it was pressed
    Spot hoverSpot_, pressedSpot_;
    bool down_ = false;
    bool seen_ = false;       // the pointer has been over the stage
    bool acted_ = false;      // a target acted since the last Finish
    bool replaced_ = false;   // a script loaded another movie meanwhile
    bool focusHover_ = false; // the hover is the focus's, not the pointer's
};

} // namespace fw::display
