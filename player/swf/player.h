#pragma once
// The movie's timeline and its script interpreter: frames advance one per Tick, each frame's
// action blocks run as the frame is entered, and the root timeline's variables are what the
// host reads and writes.

#include "avm1/runtime.h"
#include "display/input.h"
#include "display/stage.h"
#include "movie.h"
#include "render/picture.h"
#include "value.h"

#include <array>
#include <chrono>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace fw::swf {

// What the movie does outside itself.
class PlayerHost {
public:
    virtual ~PlayerHost() = default;
    virtual void FsCommand(const std::string& command, const std::string& args) = 0;
    virtual void TraceOutput(const std::string& text) = 0; // the movie's own trace()
    virtual void Problem(const std::string& text) = 0;     // a fault in the file or its scripts
    // A file the movie loads by a relative address; nullopt when the host has none to give.
    virtual std::optional<std::string> ReadFile(std::string_view) { return std::nullopt; }
    // The window the movie shows in, where the host has one of its own size.
    virtual std::optional<avm1::DisplayInterface::Window> HostWindow() { return std::nullopt; }
    // Sockets, file dialogs and transfers; null where the host offers none.
    virtual avm1::NetServices* Net() { return nullptr; }
    // The platform's MP3 codec; null: MP3 sounds are reported, not played.
    virtual audio::Mp3Decoder* Mp3() { return nullptr; }
    // The address the movie was played from, which it reads as its own; empty when unknown.
    virtual std::string MovieUrl() { return {}; }
};

// One entry of the display list: what stands at a depth of the root timeline.
struct DisplayItem {
    std::uint16_t character = 0;
    Matrix matrix;
    ColorTransform colour;
    std::string name;
    bool visible = true;
    bool scripted = false;               // moved by the movie's scripts: gotos keep its place
    std::uint8_t buttonState = kStateUp; // which records of a button show
    friend bool operator==(const DisplayItem&, const DisplayItem&) = default;
};

// One thing a picture draws: a shape, text or button of any clip, placed on the stage by the
// matrices and colour transforms of every clip it stands in; or a clip that draws something
// itself (the drawing methods) or draws its content in a way of its own.
struct DrawnItem {
    std::uint16_t character = 0;
    Matrix matrix;
    ColorTransform colour;
    std::uint8_t buttonState = kStateUp;
    std::uint16_t ratio = 0;                   // how far a morph has changed
    const Character* definition = nullptr;     // from the library of the movie it came from
    const display::TextField* field = nullptr; // a text field's settings, alive with the tree
    std::string text;                          // what a text field shows
    std::uint64_t drawing = 0;                 // the drawing methods' last change; 0 none
    int mask = 0;                              // the clip masking it by setMask
    std::uint8_t blendMode = 0;
    bool cacheAsBitmap = false;
    std::optional<std::uint32_t> opaqueBackground;
    std::optional<Bounds> scrollRect;
    std::vector<Filter> filters;
    friend bool operator==(const DrawnItem&, const DrawnItem&) = default;
};

// Everything a picture of the stage is drawn from that changes while a movie runs: the display
// list, the whole tree of every level and the texts its fields show, or on an empty stage the
// root variables (listed there).
// Two equal pictures paint alike, so a host repaints only when the picture differs.
struct Picture {
    std::map<std::uint16_t, DisplayItem> items;
    std::vector<DrawnItem> drawn; // the whole tree, lowest first
    std::vector<std::string> texts;
    friend bool operator==(const Picture&, const Picture&) = default;
};

// The script machine's limits and the timeline's own.
struct PlayerLimits : avm1::Limits {
    std::size_t blocksPerTick = 256; // frames entered by gotos within one tick
};

class Player {
public:
    explicit Player(PlayerHost& host, PlayerLimits limits = {});
    ~Player();
    Player(const Player&) = delete;
    Player& operator=(const Player&) = delete;

    // Replaces the movie: variables and objects are cleared, the playhead waits before the
    // first frame, which the next Tick enters.
    void Load(Movie movie);
    const Movie& movie() const { return movie_; }

    // Enters the first frame on the first call, then moves one frame on while playing
    // (looping to the first frame after the last).
    void Tick();
    // For a host on a real clock (ms, from any origin): plays the frame due and, when the
    // host came later than a whole frame, the frames it missed (at most kMaxCatchUp; the time
    // of any more is let go), as the reference player drops the drawing of missed frames
    // rather than slowing the timeline, so streams stay in step with it. The host draws once
    // after. Returns the frames played.
    int PlayDue(double ms);
    static constexpr int kMaxCatchUp = 8;
    // Plays the frames already due by the host's clock and none ahead of it: for a host that
    // lets quiet frames (below) pass unplayed, before it looks at the movie or moves it on.
    int CatchUp(double ms);
    // How many of the frames after the one shown (at most `most`) can change nothing but the
    // frame number: the movie runs no script, nothing but its root timeline plays and sounds,
    // and those frames carry nothing. A host on a real clock may sleep through them and play
    // them late, with the frame after them, which looks the same.
    int QuietFrames(int most) const;
    void Play();
    void Stop();
    bool playing() const;
    // Whether a Tick can change anything: false once the first frame is entered and the movie
    // is stopped (or has one frame only), when only the host's input moves it on.
    bool NeedsTicks() const;
    int currentFrame() const; // 0-based, -1 before the first Tick
    // What getTimer reads from now on, in milliseconds since Load, instead of the real clock: a
    // headless host advances it by one frame's duration a frame, so a run is deterministic.
    void SetTime(double ms) {
        virtualTime_ = ms;
        runtime_->SetNow(ms);
    }
    // The date scripts read at time 0, in ms since 1970 (UTC), instead of the real clock's when
    // the movie was loaded.
    void SetDateOrigin(double ms) {
        dateOrigin_ = ms;
        runtime_->SetDateOrigin(ms);
    }
    int version() const { return movie_.version; }

    // Variables by path: "name", "_root.name", "_level0.name", "/:name", "a.b" through objects.
    void SetVariable(std::string_view path, Value value);
    Value GetVariable(std::string_view path);
    std::string GetVariableText(std::string_view path);
    void ApplyFlashVars(std::string_view text);

    // The root timeline's variables in the order they were first set, as texts.
    std::vector<std::pair<std::string, std::string>> RootVariables() const;

    // Runs one action block on the root timeline, outside the frames' own order.
    void RunBlock(const ActionBlock& block);

    // What stands on the root timeline, by file depth (drawn from the lowest depth up).
    const std::map<std::uint16_t, DisplayItem>& displayList() const;
    // The text an edit text shows: its bound variable's value, or its own text.
    std::string FieldText(const EditText& field);
    Picture CurrentPicture();
    // Draws the stage as it stands into target: the background, then the tree of every level.
    // toPixels carries the movie's twips to the target's pixels.
    void Render(render::Picture& target, const Matrix& toPixels);
    // Sets a property of a named item of the display list (_x, _y, _xscale, _yscale,
    // _alpha, _visible, _rotation by their property numbers); false when there is no such item.
    bool SetItemProperty(std::string_view target, int property, double value);
    std::optional<double> ItemProperty(std::string_view target, int property) const;

    // The mouse, in the movie's twips. Each returns true when the picture may have changed.
    // A move the host reports as an event of its own (heard) reaches the scripts even where the
    // pointer stays; one that only places the pointer for a press does not.
    bool MouseMove(Point p, bool heard = false) { return input_->MouseMove(p, heard); }
    bool MouseDown() { return input_->MouseDown(); }
    bool MouseUp() { return input_->MouseUp(); }
    bool OtherButton(int code, bool down) { return input_->OtherButton(code, down); }
    bool MouseLeave() { return input_->MouseLeave(); }
    // A key going down and up, by the code scripts read from Key.getCode and the character it
    // types (0 for none).
    bool KeyDown(int keyCode, char32_t character) { return input_->KeyDown(keyCode, character); }
    bool KeyUp(int keyCode, char32_t character) { return input_->KeyUp(keyCode, character); }
    // A character typed, an editing key or shortcut, and the text the clipboard holds: what
    // the focused input field takes (see display/typing.h).
    bool TextInput(char32_t character) { return input_->TextInput(character); }
    bool TextControl(display::EditCommand command) { return input_->TextControl(command); }
    void SetClipboard(std::u16string text) { input_->SetClipboard(std::move(text)); }
    // The host's window lost the keyboard.
    bool FocusLost() { return input_->FocusLost(); }
    // A key pressed and released, by its button key code (1 left ... 19 escape, 32 to 126 the
    // character).
    bool KeyPress(std::uint8_t code);
    // Whether the mouse is over a button (the control shows the hand there).
    bool OverButton() const { return input_->OverButton(); }

    // The next frames of sound at 44.1 kHz, left and right interleaved (2 * frames values);
    // the host pulls them as it plays, and the sounds move on only as it does.
    void MixSound(std::int16_t* out, std::size_t frames);

    // The script machine, for tools and tests that look inside.
    avm1::Runtime& runtime() { return *runtime_; }

private:
    class Display;
    friend class Display;

    avm1::Object* Root() const { return runtime_->root(); }
    void CollectDrawn(const display::Clip& clip, const Matrix& m, const ColorTransform& cx,
                      std::vector<DrawnItem>& out);
    // Bound text fields take their variables' values before they are drawn.
    void SyncField(const display::Clip& clip);
    void SyncFields(const display::Clip& clip, int nesting);
    static constexpr int kMaxFieldNesting = 256; // as deep as the drawing goes
    display::Clip* Item(int depth) const;
    display::Clip* FindItem(std::string_view target);
    void Report(const std::string& text) { host_.Problem(text); }

    PlayerHost& host_;
    PlayerLimits limits_;
    Movie movie_;
    std::unique_ptr<Display> stage_;
    std::unique_ptr<avm1::Runtime> runtime_;
    std::unique_ptr<display::Input> input_;
    std::chrono::steady_clock::time_point loadedAt_ = std::chrono::steady_clock::now();
    std::optional<double> virtualTime_;
    std::optional<double> dateOrigin_;
    std::optional<double> dueAt_; // the host's time the next frame is due
    double lastDue_ = 0;          // the host's time of the last PlayDue
    unsigned generation_ = 0;     // counts Loads, so a script notices its movie was replaced
    bool scripted_ = false;       // the movie carries actions, or the host has run some
    mutable std::map<std::uint16_t, DisplayItem> list_; // the root's items, as hosts see them
};

} // namespace fw::swf
