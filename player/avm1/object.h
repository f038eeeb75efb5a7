#pragma once
// Script objects: named properties in the order they were first set, with attributes and
// getter/setter pairs; the prototype chain through "__proto__"; functions, arrays and the
// boxed primitives as kinds of object. Every object and scope lives on a Heap whose collector
// frees what the roots no longer reach, cycles included.

#include "value.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace fw::avm1 {

class Runtime;
class Object;
struct Scope;

enum PropFlag : std::uint16_t {
    kDontEnum = 1,
    kDontDelete = 2,
    kReadOnly = 4,
    // Properties of later players, hidden from movies of earlier versions.
    kOnlyFrom6 = 1 << 7,
    kOnlyIn6 = 1 << 8,
    kOnlyFrom7 = 1 << 10,
    kOnlyFrom8 = 1 << 12,
    kOnlyFrom9 = 1 << 13,
    kOnlyFrom10 = 1 << 14,
};

// Whether a property with these flags exists for a movie of the given version.
inline bool VisibleIn(std::uint16_t flags, int version) {
    return !((flags & kOnlyFrom6 && version < 6) || (flags & kOnlyIn6 && version == 6) ||
             (flags & kOnlyFrom7 && version < 7) || (flags & kOnlyFrom8 && version < 8) ||
             (flags & kOnlyFrom9 && version < 9) || (flags & kOnlyFrom10 && version < 10));
}

// The hidden global holding the classes that movies of a version register for their symbols;
// up to version 6 the symbols are kept in lower case.
inline const char* ClassRegistryName(int version) {
    return version < 7 ? "__classes6" : "__classes";
}

struct Property {
    std::string name; // its first spelling
    Value value;
    Object* getter = nullptr; // set by addProperty: the value is what these give and take
    Object* setter = nullptr;
    std::uint16_t flags = 0;
    bool alive = true;
    std::uint32_t serial = 0; // tells a property from one of the same name added after it
};

// Anything the collector manages.
class Cell {
public:
    virtual ~Cell() = default;
    bool marked = false;
};

struct Scope : Cell {
    enum class Kind : std::uint8_t { Global, Target, Local, With };
    Object* object = nullptr;
    Scope* parent = nullptr;
    Kind kind = Kind::Global;
};

// The byte code of a script: a whole action block, kept alive by the functions defined in it.
struct Code {
    std::vector<std::uint8_t> bytes;
    int version = 0; // of the movie it came from
};

struct Activation;
using NativeFn = Value (*)(Runtime&, Activation& caller, Value self, std::vector<Value>& args);

struct FunctionData {
    // A native function, or byte code in [start, end) of code.
    NativeFn native = nullptr;
    int tag = 0; // lets one native serve several entries (Math's functions, ASnative)
    std::shared_ptr<const Code> code;
    std::size_t start = 0;
    std::size_t end = 0;
    std::shared_ptr<const std::vector<std::string>> pool;
    std::string name;
    std::vector<std::pair<std::string, std::uint8_t>> params; // name and register (0: none)
    bool version2 = false;
    std::uint8_t registers = 0;
    std::uint16_t flags = 0;
    Scope* scope = nullptr; // where it was defined
    Object* base = nullptr; // the timeline it was defined on
    bool constructorOnly = false;
    // A built-in class the reference player writes in script: super() runs it as a plain call
    // and gets nothing from it.
    bool scripted = false;
};

enum class Kind : std::uint8_t {
    Object,
    Function,
    Array,
    String,
    Number,
    Boolean,
    Date,
    Error,
    Arguments,
    Clip,
    Super,
    Xml,
    Text, // a text field: a display object, not a clip
};

// What a built-in class keeps of an object beside its properties (an XML node's place in its
// tree, a sound's settings); it names the objects it holds so the collector keeps them.
struct HostData {
    virtual ~HostData() = default;
    virtual void Trace(std::vector<Object*>& out) const = 0;
};

struct Watcher {
    Object* callback = nullptr;
    Value data;
};

class Object : public Cell {
public:
    explicit Object(bool caseSensitive, Kind kind = Kind::Object)
        : caseSensitive_(caseSensitive), kind(kind) {}

    // Own properties, without the prototype chain or getters.
    Property* FindOwn(std::string_view name);
    const Property* FindOwn(std::string_view name) const;
    const Value* Find(std::string_view name) const;
    // Sets or adds an own data property; the first spelling of a name is kept.
    Property& Set(std::string_view name, Value v, std::uint16_t flags = 0);
    bool Remove(std::string_view name);
    std::size_t size() const { return index_.size(); }
    // The live properties in the order they were first set.
    template <typename F> void ForEach(F&& f) const {
        for (const auto& p : props_) {
            if (p.alive) {
                f(p);
            }
        }
    }
    std::vector<std::string> Keys() const;
    void Clear();
    bool caseSensitive() const { return caseSensitive_; }

    Object* proto() const { return proto_; }

    bool caseSensitive_;
    Kind kind;
    Value primitive;                        // boxed value, date time, error
    double arrayLength = 0;                 // arrays
    std::unique_ptr<FunctionData> function; // functions
    Object* superThis = nullptr;            // super: the object methods act on
    int superDepth = 0;                     // super: where in that chain we are
    // implementsOp: the prototypes of the interfaces, once; a second one changes nothing.
    std::vector<Object*> interfaces;
    bool implemented = false;
    std::unique_ptr<std::unordered_map<std::string, Watcher>> watchers;
    int clipId = -1; // display objects: which one, for the display interface
    // Clips: the target path they were first known by.
    std::unique_ptr<std::string> origin;
    std::unique_ptr<HostData> host;

private:
    std::string Key(std::string_view name) const;
    void SyncProto(const Property& p);

    std::vector<Property> props_;
    std::unordered_map<std::string, std::size_t> index_;
    std::size_t dead_ = 0;
    Object* proto_ = nullptr;
};

// Owns every object and scope; frees the unreachable on Collect.
class Heap {
public:
    Heap() = default;
    ~Heap();
    Heap(const Heap&) = delete;
    Heap& operator=(const Heap&) = delete;

    template <typename T, typename... A> T* Make(A&&... args) {
        auto* c = new T(std::forward<A>(args)...);
        cells_.push_back(c);
        return c;
    }
    std::size_t count() const { return cells_.size(); }
    // Marks from the roots given, then frees every cell left unmarked.
    void Collect(const std::vector<Cell*>& roots, const std::vector<const Value*>& values);
    void Clear();

private:
    std::vector<Cell*> cells_;
};

} // namespace fw::avm1
