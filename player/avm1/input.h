#pragma once
// The keyboard and the mouse as scripts see them through Key and Mouse: which keys are down,
// the last key pressed, whether the pointer shows, and their listeners. The display's input
// entry keeps them up to date.

#include "runtime.h"

#include <array>

namespace fw::avm1 {

struct KeyboardState : HostData {
    std::array<bool, 256> down{};
    std::array<bool, 256> toggled{};
    int lastCode = 0;
    int lastAscii = 0;
    void Trace(std::vector<Object*>&) const override {}
};

struct MouseState : HostData {
    bool visible = true;
    void Trace(std::vector<Object*>&) const override {}
};

// Null before the machine has installed them.
KeyboardState* Keyboard(Runtime& rt);
MouseState* Pointer(Runtime& rt);

// Records a key going down or up; every key toggles as it goes down. The mouse's buttons count
// as keys 1, 2 and 4 but are not the last key pressed.
void KeyChanged(Runtime& rt, int code, int ascii, bool down, bool typed = true);

// Calls the method on every listener of a broadcaster, in the order they were added.
void NotifyListeners(Runtime& rt, Object* broadcaster, const char* method,
                     const std::vector<Value>& args = {});

} // namespace fw::avm1
