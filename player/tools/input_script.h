#pragma once
// A recorded input script: the mouse and key events fwplay replays into a movie, read from the
// JSON list the conformance corpus keeps beside a test movie. A "Wait" ends the events that
// follow one frame; the rest are handed to the player in their order.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace fw::play {

struct InputEvent {
    enum class Kind {
        Wait,
        MouseMove,
        MouseDown,
        MouseUp,
        MouseWheel,
        KeyDown,
        KeyUp,
        Text,        // a character typed
        TextControl, // an editing command by name (Paste, Backspace, ...)
        Clipboard,   // the clipboard's text is set
        FocusGained,
        FocusLost,
    };
    Kind kind = Kind::Wait;
    double x = 0; // stage pixels
    double y = 0;
    int button = 0;       // 0 left, 1 middle, 2 right
    double wheel = 0;     // lines, up positive
    int keyCode = 0;      // as scripts read it from Key.getCode
    char32_t keyChar = 0; // the character the key gives, 0 for none
    char32_t codepoint = 0;
    std::string text; // TextControl's command, Clipboard's text
};

// Reads a script; nullopt with error set when it is not one. Unknown event kinds and keys are
// refused rather than guessed.
std::optional<std::vector<InputEvent>> ParseInputScript(std::string_view json, std::string& error);

} // namespace fw::play
