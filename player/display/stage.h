#pragma once
// The display tree: the root timeline and the clips the timelines and the scripts place, each
// with its own display list by depth and, for movie clips, its own timeline; and the order in
// which their frames, scripts and events run. Scripts see it only through
// avm1::DisplayInterface, which the stage implements apart from the host's three calls.

#include "audio/mixer.h"
#include "avm1/runtime.h"
#include "display/text_field.h"
#include "swf/movie.h"

#include <array>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace fw::display {

struct Drawing;
class Geometry;
class Focus;

// File depth 0 as scripts number depths: what the timeline places stands below zero.
inline constexpr int kTimelineDepth = -16384;

// Clip event bits as placements carry them.
enum ClipEvent : std::uint32_t {
    kEventLoad = 1u << 0,
    kEventEnterFrame = 1u << 1,
    kEventUnload = 1u << 2,
    kEventInitialize = 1u << 9,
    kEventConstruct = 1u << 18,
};

// One display object: a shape, text or button placed by a timeline, or a movie clip.
struct Clip {
    int id = 0;
    std::uint16_t character = 0;
    int depth = 0;
    std::string name;
    swf::Matrix matrix;
    swf::ColorTransform colour;
    bool visible = true;
    std::vector<swf::Filter> filters; // as placed
    std::uint16_t ratio = 0;
    std::uint16_t clipDepth = 0;
    std::uint8_t buttonState = swf::kStateUp;
    Clip* parent = nullptr;
    std::map<int, std::unique_ptr<Clip>> children;   // by depth
    const std::vector<swf::Frame>* frames = nullptr; // movie clips only
    const swf::Movie* movie = nullptr;               // whose library its characters come from
    int current = -1;                                // 0-based; -1 before the first frame
    bool playing = true;
    avm1::Object* object = nullptr; // movie clips only
    std::vector<swf::ClipAction> clipActions;
    int placedAt = -1;     // the parent's frame whose tag placed it; -1 when a script made it
    bool scripted = false; // moved by scripts: the timeline leaves its place alone
    bool loaded = false;   // its first frame is entered
    bool removed = false;
    // _xscale, _yscale and _rotation as scripts last set them: reading gives them back as set
    // (a negative scale included) until the timeline moves the clip again.
    std::optional<std::array<double, 3>> scaleAndRotation;
    const swf::Character* definition = nullptr; // what a shape or text shows
    std::shared_ptr<Drawing> drawing;           // what the drawing methods made
    int mask = 0;                               // the clip masking it by setMask, by id
    int maskOf = 0;                             // the clip it masks by setMask
    int level = -1;                             // the root of a level: its number
    bool lockRoot = false;                      // a movie loaded into it keeps it as its _root
    std::string url; // where a loaded movie came from; empty for a part of its parent's
    // Its content unloaded, or a load into it that found no movie: it counts no frames (the
    // failed one -1 loaded) until a movie is loaded into it.
    enum class Emptied : std::uint8_t { No, Unloaded, Failed } emptied = Emptied::No;
    // A bitmap it shows above its children: a loaded picture file, or a BitmapData a script
    // attached (alive through the script object that holds it).
    std::shared_ptr<const swf::Image> image;
    avm1::Object* bitmapData = nullptr;
    bool smoothing = false;
    // How it is drawn, as the file places it or scripts set it.
    std::uint8_t blendMode = 0; // as the file numbers them; 0 and 1 are normal
    bool cacheAsBitmap = false;
    std::optional<std::uint32_t> opaqueBackground; // 0xRRGGBB
    std::optional<swf::Bounds> scrollRect;         // in its own pixels

    bool isClip() const { return frames != nullptr; }
    int totalFrames() const { return frames ? static_cast<int>(frames->size()) : 1; }
};

class Stage : public avm1::DisplayInterface {
public:
    Stage();
    ~Stage() override;
    Stage(const Stage&) = delete;
    Stage& operator=(const Stage&) = delete;

    // The machine the scripts run on; set once, before the first Load.
    void Bind(avm1::Runtime& runtime) { rt_ = &runtime; }
    // How many frames gotos may enter within one tick before the rest are cut.
    void SetFrameLimit(std::size_t frames) { frameLimit_ = frames; }
    // Starts a movie afresh: an empty tree whose root waits before its first frame.
    void Load(const swf::Movie& movie);
    // One frame: every clip, newest first, runs its enter-frame events and moves on; then the
    // queued scripts run.
    void Tick();
    // Runs what scripts and timelines have queued, highest priority first. A sprite's init
    // actions run as their frame is entered; when one makes the host load another movie,
    // avm1::MovieReplaced leaves whatever entered the frame.
    void RunQueued();
    // Runs one block on a clip now; false when the movie was replaced meanwhile.
    bool RunNow(const swf::ActionBlock& block, avm1::Object* self);

    Clip& root() { return *root_; }
    const Clip& root() const { return *root_; }
    // The roots of the levels above the first, by number.
    const std::map<int, std::unique_ptr<Clip>>& levels() const { return levels_; }
    Clip* Find(int id);
    Clip* FindAny(int id); // removed ones too, until the frame ends
    // A clip by a host's path ("a", "_root.a.b", "/a/b"), from the root.
    Clip* FindPath(std::string_view path);
    void Goto(Clip& clip, int frame);
    bool Busy() const { return exec_.size() > 1; }
    void SetMouse(swf::Point p) { mouse_ = p; }
    swf::Point Mouse() const { return mouse_; }
    // Sets a display property by its number from a number, as scripts do; false for an
    // unknown property.
    bool SetNumberProperty(Clip& clip, int property, double value);
    std::optional<double> NumberProperty(const Clip& clip, int property) const;

    // --- what scripts see ---
    int CurrentFrame(int clip) override;
    int TotalFrames(int clip) override;
    int FindLabel(int clip, std::string_view label) override;
    void GotoFrame(int clip, int frame) override;
    void SetPlaying(int clip, bool play) override;
    std::optional<avm1::Value> GetDisplayProperty(int clip, int property) override;
    bool SetDisplayProperty(int clip, int property, const avm1::Value& v) override;
    avm1::Object* ClipMember(int clip, std::string_view name) override;
    std::vector<std::string> ChildNames(int clip) override;
    std::vector<swf::Filter> PlacedFilters(int clip) override;
    void AttachBitmap(int clip, avm1::Object* bitmap, int depth, bool smoothing) override;
    std::shared_ptr<const swf::Image> ExportedBitmap(std::string_view name) override;
    void SetFilters(int clip, std::vector<swf::Filter> filters) override;
    std::optional<DrawSettings> GetDrawSettings(int clip) override;
    void SetDrawSettings(int clip, const DrawSettings& settings) override;
    int FindChild(int clip, std::string_view name) override;
    avm1::Object* MakeClip(int clip, Make how, std::string_view symbol, std::string_view name,
                           int depth, avm1::Object* init) override;
    void RemoveClip(int clip) override;
    avm1::Object* MakeTextField(int clip, std::string_view name, int depth, double x, double y,
                                double width, double height) override;
    std::optional<int> Depth(int clip) override;
    void SwapDepths(int clip, int depth) override;
    int NextHighestDepth(int clip) override;
    avm1::Object* InstanceAtDepth(int clip, int depth) override;
    void Roots(std::vector<avm1::Cell*>& out) override;
    void CallFrame(int clip, int frame) override;
    std::pair<double, double> MovieSize() override;
    avm1::GeometryInterface* Geometry() override;
    // --- loading other movies (loader.cpp) ---
    void LoadMovie(int clip, std::string_view url, avm1::Object* loader) override;
    void LoadLevel(int level, std::string_view url, avm1::Object* loader) override;
    avm1::Object* Level(int level) override;
    avm1::Object* RootOf(int clip) override;
    const swf::Movie* MovieOf(int clip) override;
    std::shared_ptr<const swf::SoundDefinition> ImportedSound(const swf::Movie* movie,
                                                              std::string_view name) override;
    std::optional<int> SwfVersion(int clip) override;
    std::optional<std::string> MovieUrl(int clip) override;
    // The address the host played the first movie from; what others load is taken against it.
    virtual std::string PlayedFrom() { return {}; }
    std::optional<std::pair<double, double>> BytesOf(int clip) override;
    std::optional<bool> LockRoot(int clip) override;
    void SetLockRoot(int clip, bool lock) override;
    // --- the keyboard's focus (focus.cpp) ---
    avm1::Object* FocusObject() override;
    bool SetFocus(avm1::Object* target) override;
    Focus& focus() { return *focus_; }
    std::vector<std::u16string> StaticTexts(int clip) override; // text_snapshot.cpp
    audio::Mixer* Sounds() override { return &sounds_; }

protected:
    // The mouse and keys reach clips and queue their events as frames do.
    friend class Input;
    friend class Focus;
    friend bool HitTest(const Stage& stage, const Clip& clip, swf::Point stagePoint);
    friend void ShowButtonState(Stage& stage, Clip& button, std::uint8_t state);

    // Called when a script block is stopped by a limit.
    void Report(const std::string& text) { Problem(text); }

private:
    struct Queued {
        int clip = 0;
        const swf::ActionBlock* block = nullptr; // a timeline's, alive while the movie is
        swf::ActionBlock own;                    // a clip action's, copied
        std::string method;                      // an event method such as onEnterFrame
        avm1::Object* constructor = nullptr;     // a registered class to construct
        bool unload = false;                     // runs even though the clip is gone
        avm1::Object* loader = nullptr;          // hears of the clip's load by the method
    };
    enum Priority { kNormal = 0, kConstruct = 1, kInitialize = 2 };

    void Advance();
    // A load waiting for the next frame, with its content read or not.
    struct PendingLoad {
        int clip = -1;  // the clip whose content goes, else
        int level = -1; // the level that is made or replaced
        std::string url;
        avm1::Object* loader = nullptr;
    };
    void StartLoads();
    void FinishLoads();
    void Replace(Clip& clip, const swf::Movie* movie, const std::string& url);
    Clip* LevelClip(int level);
    const swf::Movie* ReadMovie(const std::string& url, std::size_t& bytes);
    void RunImportedInits(Clip& clip, const std::string& url);
    // A character as the movie that defines it knows it: an imported one is the library's
    // exported symbol; movie null where the library or the export is missing.
    struct Symbol {
        const swf::Movie* movie = nullptr;
        std::uint16_t id = 0;
    };
    Symbol Resolve(const swf::Movie* movie, std::uint16_t id);
    void RunInitOnce(Clip& clip, const swf::ActionBlock& block);
    void LoadRoots(std::vector<avm1::Cell*>& out);
    void Notify(avm1::Object* loader, const char* event, Clip* clip, std::vector<avm1::Value> more);
    // The character is the parent's movie's, or `from`'s as that movie knows it.
    Clip* Instantiate(Clip& parent, std::uint16_t character, int depth, int placedAt,
                      const swf::Movie* from = nullptr);
    void StartClip(Clip& clip, bool byScript, avm1::Object* init);
    void StartTextField(Clip& clip, std::unique_ptr<TextField> field);
    avm1::Object* DuplicateTextField(Clip& source, std::string_view name, int depth);
    void ApplyPlacement(Clip& clip, const swf::Placement& p, bool moveOnly);
    void Place(Clip& parent, const swf::Placement& p, int frame);
    void EnterFrame(Clip& clip, int frame, bool withPlacements, bool withScripts = true);
    void QueueFrameActions(Clip& clip, int frame, std::size_t from, std::size_t to);
    // sound.cpp
    void StartSound(const Clip& clip, std::uint16_t id, const swf::SoundInfo& info);
    void StartSounds(const Clip& clip, const swf::Frame& frame);
    void ButtonSound(const Clip& button, const swf::Button& definition, std::uint8_t from,
                     std::uint8_t to);
    void QueueEvents(Clip& clip, std::uint32_t event, const char* method, Priority priority,
                     bool unload = false);
    void Remove(Clip& clip);
    void MarkRemoved(Clip& clip, bool unloadQueued = false);
    avm1::Object* AttachButton(Clip& parent, std::uint16_t character, std::string_view name,
                               int depth, avm1::Object* init);
    // A loaded movie leaves the stage: what its library sounds stops with it.
    void Unheard(const Clip& clip);
    // The timeline's removal of a clip with unload handlers: it steps below the timeline's
    // depths, stays addressable while the handlers run and leaves at the end of the tick.
    bool DeferRemoval(Clip& clip);
    void RemoveDeferred();
    void Rebuild(Clip& clip, int frame, bool withScripts = true);
    bool RunOne(const Queued& q);
    avm1::Object* RegisteredClass(const swf::Movie* movie, std::uint16_t character);
    std::string SymbolOf(const swf::Movie* movie, std::uint16_t character) const;
    bool NamesEqual(std::string_view a, std::string_view b) const;
    std::optional<swf::Bounds> LocalBounds(const Clip& clip, int nesting = 0) const;
    swf::Matrix GlobalMatrix(const Clip& clip) const;
    std::string SlashPath(const Clip& clip) const;

    avm1::Runtime* rt_ = nullptr;
    const swf::Movie* movie_ = nullptr;
    std::unique_ptr<Clip> root_;
    std::map<int, std::unique_ptr<Clip>> levels_; // above the first, by number
    std::vector<PendingLoad> loads_;
    std::vector<std::pair<int, avm1::Object*>> inits_; // loaded this frame: clip, loader
    struct Loaded {
        std::unique_ptr<swf::Movie> movie;
        std::size_t bytes = 0;
    };
    std::map<std::string, Loaded> movies_; // by address, kept while the tree may use them
    std::set<std::string> unresolved_;     // imports without their symbol: address, name
    std::map<int, std::size_t> bytes_;     // a loaded clip's size
    std::unordered_map<int, Clip*> byId_;
    std::vector<int> exec_;                    // clips with timelines in the order they were made
    std::vector<std::unique_ptr<Clip>> gone_;  // removed, freed between frames
    std::unordered_map<int, Clip*> goneClips_; // the same by id, for their unload handlers
    std::vector<int> leaving_;                 // removals deferred to the end of the tick
    std::deque<Queued> queue_[3];
    std::set<const swf::ActionBlock*> initDone_;
    int nextId_ = 1;
    int instances_ = 0; // names "instanceN" of unnamed clips
    unsigned generation_ = 0;
    std::size_t frameLimit_ = 256;
    std::size_t framesEntered_ = 0; // this tick
    bool cut_ = false;              // the limit was met this tick
    swf::Point mouse_;
    std::unique_ptr<display::Geometry> geometry_;
    std::unique_ptr<Focus> focus_;
    audio::Mixer sounds_;
    double soundBufTime_ = 5;       // _soundbuftime, the whole player's, in seconds
    std::set<int> unplayedStreams_; // clips whose stream was reported as not playing
};

} // namespace fw::display
