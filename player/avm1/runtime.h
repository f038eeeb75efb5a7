#pragma once
// The script machine: the heap, the global object and the built-in classes, the interpreter
// of action blocks and the host's limits. Scripts see the display only through
// DisplayInterface, which the player implements.

#include "display_geometry.h"
#include "object.h"
#include "swf/filter.h"
#include "value.h"

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace fw::swf {
struct Movie;
struct Image;
struct SoundDefinition;
} // namespace fw::swf

namespace fw::audio {
class Mixer;
}

namespace fw::avm1 {

class NetServices;

// Ends the running action block; the reason goes to the host's problem report.
struct StopBlock {
    std::string reason;
};
// Ends the running action block quietly: the host loaded another movie from a callback.
struct MovieReplaced {};
// A script's throw on its way to a catch.
struct Thrown {
    Value value;
};

struct Limits {
    // A block is stopped after this many actions or this much real time, whichever comes first.
    // The time is the reference player's own limit (a movie may loop long on purpose: a level
    // built in one frame); the count is a backstop that keeps a run repeatable where the time
    // would not.
    std::size_t actionsPerBlock = 400'000'000;
    double secondsPerBlock = 15;
    std::size_t stackDepth = 10000;
    std::size_t stringBytes = 1u << 20;
    std::size_t textBytesPerTick = 32u << 20; // all texts the scripts push within one tick
    std::size_t objects = 200000;
    std::size_t propertiesPerObject = 100000;
    std::size_t recursion = 256; // levels of nested calls, the block itself counting as one
};

// What the scripts see of the display and the world outside the movie.
class DisplayInterface {
public:
    virtual ~DisplayInterface() = default;
    virtual void Trace(const std::string& text) = 0;
    virtual void Problem(const std::string& text) = 0;
    virtual void FsCommand(const std::string& command, const std::string& args) = 0;
    // The timeline of a display object (the root one has id 0).
    virtual int CurrentFrame(int clip) = 0; // 0-based
    virtual int TotalFrames(int clip) = 0;
    virtual int FindLabel(int clip, std::string_view label) = 0; // -1 when absent
    virtual void GotoFrame(int clip, int frame) = 0;             // 0-based, clamped to the timeline
    virtual void SetPlaying(int clip, bool play) = 0;
    // Display properties by their numbers (0 _x ... 21 _ymouse); nullopt where unknown.
    virtual std::optional<Value> GetDisplayProperty(int clip, int property) = 0;
    virtual bool SetDisplayProperty(int clip, int property, const Value& v) = 0;
    // A clip's member that is a display object: a child by instance name, "_parent" or
    // "_levelN"; null when there is none.
    virtual Object* ClipMember(int clip, std::string_view name) = 0;
    // A named child that has no script object of its own (a shape, a text): the property
    // actions reach it by its name. -1 when there is none.
    virtual int FindChild(int clip, std::string_view name) = 0;
    // The names of a clip's children, as for-in visits them.
    virtual std::vector<std::string> ChildNames(int clip) = 0;
    // Clips made by scripts: an empty one, one of an exported symbol, or a copy of a clip
    // beside it. Null when nothing was made.
    enum class Make { Empty, Attach, Duplicate };
    virtual Object* MakeClip(int clip, Make how, std::string_view symbol, std::string_view name,
                             int depth, Object* init) = 0;
    virtual void RemoveClip(int clip) = 0;
    // A text field made by a script in a clip, its box in pixels; null when none was made.
    virtual Object* MakeTextField(int, std::string_view, int, double, double, double, double) {
        return nullptr;
    }
    // Depths as scripts number them; nullopt for a clip no longer on the stage.
    virtual std::optional<int> Depth(int clip) = 0;
    virtual void SwapDepths(int clip, int depth) = 0;
    virtual int NextHighestDepth(int clip) = 0;
    virtual Object* InstanceAtDepth(int clip, int depth) = 0;
    // What the collector must keep: the clips on the stage and what they hold.
    virtual void Roots(std::vector<Cell*>& out) = 0;
    // Runs the scripts of a clip's frame (0-based) now, without going there.
    virtual void CallFrame(int, int) {}
    // The host's window in pixels and how many of them stand for one of the screen; nullopt
    // where the host keeps to the movie's size.
    struct Window {
        double width = 0;
        double height = 0;
        double scale = 1;
    };
    virtual std::optional<Window> HostWindow() { return std::nullopt; }
    // The movie's own stage in pixels, as its header gives it.
    virtual std::pair<double, double> MovieSize() { return {0, 0}; }
    // The bytes of a file the movie loads (XML, variables), by the address the script gave;
    // nullopt when there is no such file or the host reads none.
    virtual std::optional<std::string> ReadFile(std::string_view) { return std::nullopt; }
    // Whether the movie asked for the network rather than local files.
    virtual bool UsesNetwork() { return false; }
    // Bounds, hit tests, drawing and transforms; null where the host has no display.
    virtual GeometryInterface* Geometry() { return nullptr; }
    // Sockets, file dialogs and transfers; null where the host offers none.
    virtual NetServices* Net() { return nullptr; }
    // What the movie's sounds play into; null where nothing is heard.
    virtual audio::Mixer* Sounds() { return nullptr; }
    // Other movies and pictures loaded from files beside the movie, after this frame: into a
    // clip, whose content they replace, or into a level. An empty address unloads. A loader
    // (a MovieClipLoader) hears of the progress.
    virtual void LoadMovie(int, std::string_view, Object*) {}
    virtual void LoadLevel(int, std::string_view, Object*) {}
    // The root of a level; null where none is loaded.
    virtual Object* Level(int) { return nullptr; }
    // The root of the movie a clip belongs to (_root); null for the first level's.
    virtual Object* RootOf(int) { return nullptr; }
    // The movie whose library a clip's characters come from; null for a clip gone.
    virtual const swf::Movie* MovieOf(int) { return nullptr; }
    // The sound a movie imports under a name, from its library; null where there is none.
    virtual std::shared_ptr<const swf::SoundDefinition> ImportedSound(const swf::Movie*,
                                                                      std::string_view) {
        return nullptr;
    }
    // What the movie a clip belongs to says of itself; nullopt for a clip gone.
    virtual std::optional<int> SwfVersion(int) { return std::nullopt; }
    virtual std::optional<std::string> MovieUrl(int) { return std::nullopt; }
    // The bytes loaded and in all of the file a clip came from.
    virtual std::optional<std::pair<double, double>> BytesOf(int) { return std::nullopt; }
    // Whether a clip is the _root of the movies loaded into it.
    virtual std::optional<bool> LockRoot(int) { return std::nullopt; }
    virtual void SetLockRoot(int, bool) {}
    // The filters the file placed a display object with.
    virtual std::vector<swf::Filter> PlacedFilters(int) { return {}; }
    // A child at the depth showing a BitmapData (a script's attachBitmap), and the bitmap the
    // main movie exports under a linkage name (BitmapData.loadBitmap).
    virtual void AttachBitmap(int, Object*, int, bool) {}
    virtual std::shared_ptr<const swf::Image> ExportedBitmap(std::string_view) { return nullptr; }
    // The filters a script gave a display object, which it is drawn with from then on.
    virtual void SetFilters(int, std::vector<swf::Filter>) {}
    // How a display object is drawn, as scripts read and set it; nullopt when it is gone.
    struct DrawSettings {
        std::uint8_t blendMode = 0; // as the file numbers them: 0 and 1 normal, 2 layer, ...
        bool cacheAsBitmap = false;
        std::optional<std::uint32_t> opaqueBackground; // 0xRRGGBB
        std::optional<Rect> scrollRect;                // in its own pixels
    };
    virtual std::optional<DrawSettings> GetDrawSettings(int) { return std::nullopt; }
    virtual void SetDrawSettings(int, const DrawSettings&) {}
    // The keyboard's focus: the display object holding it (null: none), and giving it to one
    // (null: to none); false when that one takes no focus.
    virtual Object* FocusObject() { return nullptr; }
    virtual bool SetFocus(Object*) { return false; }
    // The characters of the static texts among a clip's children, one entry a text, in the
    // order of their depths.
    virtual std::vector<std::u16string> StaticTexts(int) { return {}; }
};

// The native part of an object that waits on the world outside the movie (a socket, a file
// dialog, a transfer, a sound loading or playing). Once activated, the object stays alive and is
// polled after each tick's scripts, again and again while any moves on, until it is idle.
struct ActiveHost : HostData {
    // Does what is due, calling the movie's handlers; false when nothing happened.
    virtual bool Poll(Runtime& rt, Object* self) = 0;
    // Nothing more happens until a script asks for it.
    virtual bool Idle() const = 0;
};

struct Activation {
    std::shared_ptr<const Code> code;
    std::shared_ptr<const std::vector<std::string>> pool;
    Scope* scope = nullptr;   // innermost first
    Object* locals = nullptr; // where var and function definitions go
    Value self;               // this
    Object* base = nullptr;   // the timeline the code belongs to
    Object* target = nullptr; // tellTarget's timeline, else base
    // tellTarget named no clip on the stage: variables are the root's, timeline actions do
    // nothing.
    bool targetLost = false;
    bool baseGone = false; // its clip had left the stage when it began: an unload handler
    std::vector<Value>* registers = nullptr;
    std::vector<Value> ownRegisters;
    Object* callee = nullptr;
    int depth = 0; // where in this's prototype chain the running function was found
    bool inFunction = false;
    bool constructing = false; // the function runs for new
};

class Runtime {
public:
    Runtime(DisplayInterface& display, Limits limits);
    ~Runtime();
    Runtime(const Runtime&) = delete;
    Runtime& operator=(const Runtime&) = delete;

    // A fresh machine for a movie of the given version: every object goes.
    void Reset(int version);
    // The version of the code under way: the movie's that the block or function came from.
    int version() const { return version_; }
    // Movies up to version 6 and later ones each see a global object and built-in classes of
    // their own. The members below hold the set of the code under way; these give another's,
    // made when first asked for.
    Object* GlobalFor(int version);
    Object* ClipProtoFor(int version);
    const Limits& limits() const { return limits_; }
    // A movie's own recursion depth and script time (0: the host's); they hold until the next
    // one. Within the host's limits: a movie may lower them, never raise them.
    void SetScriptLimits(int recursion, int seconds);
    Object* root() const { return root_; }
    Object* global() const { return global_; }

    // Runs an action block on a timeline. Faults throw StopBlock or MovieReplaced.
    void RunBlock(const std::vector<std::uint8_t>& bytes, Object* clip);
    // Runs what is due of setInterval and setTimeout at the time given (ms since start).
    void RunTimers(double now);
    double now() const { return now_; }
    void SetNow(double ms) { now_ = ms; }
    // The date a new Date() reads at time 0, in ms since 1970 (UTC).
    double dateOrigin() const { return dateOrigin_; }
    void SetDateOrigin(double ms) { dateOrigin_ = ms; }
    void NewTick() { textBytes_ = 0; }
    // A clip's object whose clip has left the stage.
    bool OffStage(const Object* o) {
        return o && o->kind == Kind::Clip && !display_.Depth(o->clipId);
    }
    // The blocks of one frame share a stack: what one leaves the next may pop. A new frame
    // starts with none of it.
    void NewFrame() {
        NewTick();
        stack_.clear();
    }
    // Frees what nothing reaches any more. The host calls it between blocks; within a block the
    // interpreter calls it itself, at the start of an action, once the heap has grown and while
    // only the call actions' own calls are under way (their callees hold every value the caller
    // keeps), never under a built-in, a getter or a conversion.
    void Collect();
    // Collect as the host calls it after each frame: only when something since the last one
    // may have left objects unreachable (scripts ran, objects were made, values were put),
    // else once in a while for what the tree let go on its own. A still movie spends most of
    // its frame in a full collection that finds nothing otherwise.
    void CollectBetweenFrames();
    // The host replaced or dropped values the machine does not see it change.
    void ValuesChanged() { changed_ = true; }
    std::size_t objectCount() const { return heap_.count(); }

    // Variables by path as the host names them: "name", "_root.a.b", "/a:name".
    Value GetPath(std::string_view path);
    Value ResolveHead(std::string_view head);
    bool SetPath(std::string_view path, Value v);

    // --- used by the built-in classes ---
    Object* NewObject(Object* proto = nullptr, Kind kind = Kind::Object);
    Object* NewPlain() { return NewObject(objectProto_); }
    Object* NewArray(const std::vector<Value>& items = {});
    Object* NewFunction(NativeFn fn, int tag = 0, Object* prototype = nullptr);
    Object* NewError(const std::string& message);
    // Adds a native method; built-ins do not enumerate.
    Object* Method(Object* on, const char* name, NativeFn fn, int tag = 0);
    Object* MakeClass(const char* name, NativeFn ctor, Object* proto, Object* where = nullptr);

    // Without resolve, a missing name is not handed to __resolve.
    Value Get(const Value& object, std::string_view name, bool resolve = true);
    Value GetOf(Object* o, std::string_view name, const Value& self, bool resolve = true);
    void Put(const Value& object, std::string_view name, Value v);
    bool Has(Object* o, std::string_view name);
    // An own property the movie's version sees.
    Property* FindVisible(Object* o, std::string_view name);
    // Where in o's chain the name is found (0 own, 1 its __proto__, ...) or -1.
    int FindDepth(Object* o, std::string_view name);
    Value Call(const Value& fn, const Value& self, std::vector<Value> args, int depth = 0);
    Value CallMethod(const Value& object, std::string_view name, std::vector<Value> args);
    // scriptCall: the NewObject and NewMethod actions' own call (see Collect).
    Value Construct(const Value& ctor, std::vector<Value> args, bool scriptCall = false);
    bool IsCallable(const Value& v) const;

    // What a primitive is read for: a date gives its text by default from version 6, its time
    // where a number is asked.
    enum class Hint { Default, Text, Number };
    Value ToPrimitive(const Value& v, Hint hint = Hint::Default);
    double ToNum(const Value& v);
    std::string ToStr(const Value& v);
    bool ToBool(const Value& v) { return ToBoolean(v, version_); }
    // A primitive boxed by the class the global object names for it now (String, Number,
    // Boolean): null where that is no constructor or its new answers nothing.
    Object* ToObject(const Value& v);
    // Whether the chain of v (an object) holds the constructor's stored prototype, or one of
    // the interfaces there does.
    bool InstanceOf(const Value& v, Object* ctor);
    // The prototype a constructor holds, as stored: no getter runs, nothing inherited counts,
    // no version hides it.
    static Value StoredPrototype(Object* ctor);
    Value Text(std::string s);       // a text result, counted against the limits
    std::string Describe(Object* o); // the target path of a clip
    // A clip's object keeps the path it was first known by: once its clip has left the stage,
    // the clip now at that path stands in for it, and null where there is none.
    void RememberPath(Object* o);
    Object* Live(Object* o);
    Value Live(const Value& v) {
        Object* o = v.object();
        if (!o || o->kind != Kind::Clip) {
            return v;
        }
        Object* live = Live(o);
        return live ? Value(live) : Value();
    }

    // Array helpers on array-like objects.
    double Length(Object* o);
    void SetLength(Object* o, double n);
    Value Element(Object* o, double i) { return Get(Value(o), IndexName(i)); }
    static std::string IndexName(double i) { return NumberToString(i); }
    void ArraySet(Object* o, std::string_view name, Value v);
    // The element index a property name stands for, if any.
    static std::optional<std::int32_t> ArrayIndex(std::string_view name);

    // The keys for-in visits: own and inherited, enumerable, newest first.
    std::vector<std::string> EnumerateKeys(Object* o);

    void Report(const std::string& text) { display_.Problem(text); }
    DisplayInterface& display() { return display_; }
    [[noreturn]] void Throw(Value v) { throw Thrown{std::move(v)}; }
    [[noreturn]] void Stop(const std::string& reason) { throw StopBlock{reason}; }

    Object* objectProto_ = nullptr;
    Object* functionProto_ = nullptr;
    Object* arrayProto_ = nullptr;
    Object* stringProto_ = nullptr;
    Object* numberProto_ = nullptr;
    Object* booleanProto_ = nullptr;
    Object* dateProto_ = nullptr;
    Object* errorProto_ = nullptr;
    Object* clipProto_ = nullptr;
    Object* xmlNodeProto_ = nullptr;
    Object* xmlProto_ = nullptr;
    bool constructing = false;    // read by native constructors on entry
    unsigned clipsRemoved = 0;    // counted by the display, so scripts notice their clips leave
    bool constructFailed = false; // set by a native constructor whose new answers undefined
    Object* textFieldProto_ = nullptr;
    // String, Number and Boolean as installed: boxing by them needs no call.
    Object* boxClasses_[3] = {};
    const swf::Movie* movie = nullptr; // the fonts text measures with; set by the display
    std::vector<Value> globalRegisters_ = std::vector<Value>(4);

    struct Timer {
        int id = 0;
        Value fn; // function, or object whose method is named
        std::string method;
        Value self;
        std::vector<Value> args;
        double interval = 0;
        double due = 0;
        bool repeat = true;
    };
    std::map<int, Timer> timers_;
    int nextTimer_ = 1;

    // A file on its way to the movie: it arrives after the scripts of the tick that asked for
    // it, as data from outside does in the reference player, never within the asking script.
    using LoadDone = void (*)(Runtime&, const Value& target,
                              const std::optional<std::string>& data);
    void RequestLoad(std::string url, Value target, LoadDone done);
    Object* xmlNodeClass_ = nullptr; // the constructor whose prototype new nodes take
    Object* soundClass_ = nullptr;   // keeps the sounds' mix
    Object* keyObject_ = nullptr;    // Key and Mouse as installed, whatever scripts rename
    Object* mouseObject_ = nullptr;
    Object* selectionObject_ = nullptr; // hears of the focus moving
    Object* buttonProto_ = nullptr;     // the prototype of buttons placed on a timeline
    std::shared_ptr<const struct NativeTable> natives; // what ASnative numbers
    // The timeline of the innermost script code under way; null when none runs.
    Object* CodeBase() const { return activations_.empty() ? nullptr : activations_.back()->base; }
    // Whether the innermost script function under way was called by new.
    bool CallerConstructing() const {
        return !activations_.empty() && activations_.back()->constructing;
    }
    // Whether code is under way on a clip's timeline or with the clip as this (its unload
    // handler, for one).
    bool RunningOn(const Object* clip) const {
        for (const Activation* a : activations_) {
            if (a->base == clip || a->self.object() == clip) {
                return true;
            }
        }
        return false;
    }
    // Polls the object's ActiveHost from now on (see ActiveHost).
    void Activate(Object* o);

private:
    friend class Interpreter;
    void InstallBuiltins();
    // Runs with the rules and built-ins of the given version until it goes out of scope.
    class VersionScope {
    public:
        VersionScope(Runtime& rt, int version);
        ~VersionScope();
        VersionScope(const VersionScope&) = delete;
        VersionScope& operator=(const VersionScope&) = delete;

    private:
        Runtime& rt_;
        int saved_;
        unsigned resets_; // a movie loaded meanwhile has its own version: nothing to restore
    };
    unsigned resets_ = 0;
    struct BuiltinSet {
        bool made = false;
        std::vector<Object*> objects; // in the order of kSetMembers, then the boxing classes
    };
    static Object* Runtime::*const kSetMembers[];
    BuiltinSet sets_[2];
    int set_ = 0; // which of sets_ the members hold: 1 from version 7
    static int SetOf(int version) { return version >= 7 ? 1 : 0; }
    void UseSet(int index);
    // The version of the movie a clip shows, or the current one where it shows none.
    int VersionOf(const Object* clip);
    // The class that boxes a primitive, and whether it is the built-in one as installed.
    std::pair<Value, bool> BoxClass(const Value& v);
    Object* BoxBy(const Value& box, const Value& v);
    Value CallFunction(Object* fn, const Value& self, std::vector<Value>& args, int depth,
                       Object* callerBase);

    DisplayInterface& display_;
    Limits limits_;
    Limits hostLimits_;
    int version_ = 6;
    Heap heap_;
    Object* global_ = nullptr;
    Object* root_ = nullptr;
    std::vector<Value> stack_;
    std::vector<Activation*> activations_;
    std::size_t textBytes_ = 0;
    std::size_t callDepth_ = 0;
    std::size_t safeCalls_ = 0; // of the calls under way, those made by the call actions
    static constexpr std::size_t kFirstCollect = 50000;
    std::size_t collectAt_ = kFirstCollect; // heap size that asks for a collection within a block
    std::vector<Value> pinned_;             // values C++ code holds while scripts run
    struct SafeCall {
        Runtime& rt;
        bool on;
        SafeCall(Runtime& r, bool enable) : rt(r), on(enable) { rt.safeCalls_ += on ? 1 : 0; }
        ~SafeCall() { rt.safeCalls_ -= on ? 1 : 0; }
    };
    struct Pin {
        Runtime& rt;
        explicit Pin(Runtime& r, Value v) : rt(r) { rt.pinned_.push_back(std::move(v)); }
        ~Pin() { rt.pinned_.pop_back(); }
    };
    bool changed_ = true;       // something may have been dropped since the last collection
    std::size_t keptCount_ = 0; // the heap's size after the last collection
    int quietFrames_ = 0;       // frames collected by nothing since
    static constexpr int kQuietCollectEvery = 64;
    bool CollectionDue() const { return heap_.count() >= collectAt_ && callDepth_ == safeCalls_; }
    void CollectWithinBlock();
    double now_ = 0;
    double dateOrigin_ = 0;
    // How deep each property's getter/setter pair and each watcher are nested in themselves:
    // the reference player limits every one on its own.
    std::unordered_map<std::uint32_t, int> accessorDepth_;
    std::map<std::pair<const Object*, std::string>, int> watchDepth_;
    struct Nesting {
        int& n;
        explicit Nesting(int& count) : n(++count) {}
        ~Nesting() { --n; }
        Nesting(const Nesting&) = delete;
        Nesting& operator=(const Nesting&) = delete;
    };
    std::size_t actions_ = 0; // run since the block began
    std::chrono::steady_clock::time_point blockStart_;
    void BeginBlockBudget() {
        actions_ = 0;
        blockStart_ = std::chrono::steady_clock::now();
    }
    bool OverBlockTime() const {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - blockStart_)
                   .count() > limits_.secondsPerBlock;
    }
    int nesting_ = 0; // with and try blocks entered and not left
    Object* pendingConstruct_ = nullptr;
    struct Load {
        std::string url;
        Value target;
        LoadDone done = nullptr;
    };
    std::vector<Load> loads_;
    void DeliverLoads();
    std::vector<Object*> active_;
    void PollActive();
};

int DisplayPropertyIndex(std::string_view name);

// Installers of the built-in classes, one file each.
void InstallObject(Runtime& rt, Object* global);
void InstallFunction(Runtime& rt, Object* global);
void InstallArray(Runtime& rt, Object* global);
void InstallString(Runtime& rt, Object* global);
void InstallNumber(Runtime& rt, Object* global);
void InstallBoolean(Runtime& rt, Object* global);
void InstallMath(Runtime& rt, Object* global);
void InstallDate(Runtime& rt, Object* global);
void InstallGlobals(Runtime& rt, Object* global);
void InstallBroadcaster(Runtime& rt, Object* global);
void InstallError(Runtime& rt, Object* global);
void InstallMovieClip(Runtime& rt, Object* global);
void InstallLoading(Runtime& rt, Object* global); // after the clips'
void InstallSystem(Runtime& rt, Object* global);
void InstallXml(Runtime& rt, Object* global);
void InstallLoadVars(Runtime& rt, Object* global);
void InstallExternalInterface(Runtime& rt, Object* global);
void InstallNetConnection(Runtime& rt, Object* global);
void InstallContextMenu(Runtime& rt, Object* global);
void InstallSound(Runtime& rt, Object* global);
void InstallStage(Runtime& rt, Object* global);
void InstallGeom(Runtime& rt, Object* global);
void InstallClipGeometry(Runtime& rt, Object* global);
void InstallColor(Runtime& rt, Object* global);
void InstallBitmapData(Runtime& rt, Object* global);
void InstallFilters(Runtime& rt, Object* global);
void InstallXmlSocket(Runtime& rt, Object* global);
void InstallFileReference(Runtime& rt, Object* global);
void InstallDrawSettings(Runtime& rt, Object* global);
void InstallAbsentServices(Runtime& rt, Object* global);
void InstallTextField(Runtime& rt, Object* global);
void InstallTextFormat(Runtime& rt, Object* global);
void InstallTextSnapshot(Runtime& rt, Object* global);
void InstallStyleSheet(Runtime& rt, Object* global);
void InstallInput(Runtime& rt, Object* global);
void InstallSelection(Runtime& rt, Object* global);
void InstallNatives(Runtime& rt, Object* global); // last: it numbers the others' functions

// The package object of a dotted path under the global object ("flash.geom"), made as needed.
Object* Package(Runtime& rt, Object* global, const char* path);

// Starts loading a file into an XML or LoadVars object: its progress reads 0 of unknown now, and
// its onData gets the text after this tick's scripts (no argument when there is no such file).
void LoadInto(Runtime& rt, const Value& self, const std::string& url);
// What onData does by default: reads the text with the reader method, sets loaded and calls
// onLoad(true); without a text only onLoad(false).
void ReadLoaded(Runtime& rt, const Value& self, const Value& text, const char* reader);
Value GetBytesLoaded(Runtime& rt, Activation&, Value self, std::vector<Value>&);
Value GetBytesTotal(Runtime& rt, Activation&, Value self, std::vector<Value>&);
// Reads the form-encoded variables of a file into a timeline, after this tick's scripts.
void LoadVariables(Runtime& rt, const std::string& url, const Value& target);

// A native getter (and setter, or none) as a property of a built-in prototype.
void Accessor(Runtime& rt, Object* on, const char* name, NativeFn get, NativeFn set = nullptr);

// Helpers for natives.
inline Value Arg(const std::vector<Value>& args, std::size_t i) {
    return i < args.size() ? args[i] : Value();
}

} // namespace fw::avm1
