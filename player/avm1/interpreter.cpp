// The interpreter of action blocks and script functions.

#include "runtime.h"

#include "audio/mixer.h"

#include "swf/byte_reader.h"

#include <algorithm>
#include <cmath>
#include <random>
#include <span>

namespace fw::avm1 {
namespace {

using swf::ByteReader;

std::string Hex(std::uint8_t op) {
    static const char* digits = "0123456789ABCDEF";
    return std::string("0x") + digits[op >> 4] + digits[op & 15];
}

bool HasPathChars(std::string_view name) {
    return name.find_first_of(":/.") != std::string_view::npos;
}

std::mt19937& Random() {
    static std::mt19937 engine(20061);
    return engine;
}

enum FunctionFlags : std::uint16_t {
    kPreloadThis = 0x01,
    kSuppressThis = 0x02,
    kPreloadArguments = 0x04,
    kSuppressArguments = 0x08,
    kPreloadSuper = 0x10,
    kSuppressSuper = 0x20,
    kPreloadRoot = 0x40,
    kPreloadParent = 0x80,
    kPreloadGlobal = 0x100,
};

} // namespace

struct Flow {
    enum class Kind { Normal, Return, Jump } kind = Kind::Normal;
    std::size_t target = 0;
    Value value;
};

class Interpreter {
public:
    Interpreter(Runtime& rt, Activation& a) : rt_(rt), a_(a) {}

    Flow Run(std::size_t begin, std::size_t end) {
        const auto& code = a_.code->bytes;
        std::size_t pos = begin;
        while (pos < end) {
            if (++rt_.actions_ > rt_.limits_.actionsPerBlock) {
                rt_.Stop("more than " + std::to_string(rt_.limits_.actionsPerBlock) + " actions");
            }
            if (rt_.CollectionDue()) {
                rt_.CollectWithinBlock();
            }
            // The clock is read now and then only: it costs more than an action.
            if ((rt_.actions_ & 0x3fff) == 0 && rt_.OverBlockTime()) {
                rt_.Stop("running for more than " + NumberToString(rt_.limits_.secondsPerBlock) +
                         " seconds");
            }
            std::uint8_t op = code[pos++];
            if (op == 0) {
                return Flow{};
            }
            std::span<const std::uint8_t> body;
            if (op >= 0x80) {
                if (end - pos < 2) {
                    rt_.Stop("action length cut short");
                }
                std::size_t len = code[pos] | (code[pos + 1] << 8);
                pos += 2;
                if (len > end - pos) {
                    rt_.Stop("action " + Hex(op) + " runs past the end of its block");
                }
                body = std::span<const std::uint8_t>(code).subspan(pos, len);
                pos += len;
            }
            Flow f = Execute(op, body, pos, end);
            if (rt_.clipsRemoved != seenRemovals_) {
                FollowRemovals();
            }
            if (f.kind == Flow::Kind::Return) {
                return f;
            }
            if (f.kind == Flow::Kind::Jump) {
                if (f.target < begin || f.target > end) {
                    return f; // out of this part: the enclosing one goes on from there
                }
                pos = f.target;
                continue;
            }
            pos = f.target;
        }
        return Flow{};
    }

private:
    int version() const { return rt_.version_; }

    void Push(Value v) {
        auto& stack = rt_.stack_;
        if (stack.size() >= rt_.limits_.stackDepth) {
            rt_.Stop("stack deeper than " + std::to_string(rt_.limits_.stackDepth));
        }
        if (v.isString()) {
            rt_.textBytes_ += v.asString().size();
            if (rt_.textBytes_ > rt_.limits_.textBytesPerTick) {
                rt_.Stop("more than " + std::to_string(rt_.limits_.textBytesPerTick) +
                         " bytes of text in one tick");
            }
        }
        stack.push_back(std::move(v));
    }
    Value Pop() {
        auto& stack = rt_.stack_;
        if (stack.empty()) {
            return Value();
        }
        Value v = std::move(stack.back());
        stack.pop_back();
        return v;
    }
    double PopNumber() { return rt_.ToNum(Pop()); }
    // Both operands of a binary operation, converted left first as the player does.
    std::pair<double, double> PopNumbers() {
        Value b = Pop();
        Value a = Pop();
        double x = rt_.ToNum(a);
        return {x, rt_.ToNum(b)};
    }
    // Subtract and Divide of the first actions convert their right operand first.
    std::pair<double, double> PopNumbersRightFirst() {
        double y = PopNumber();
        return {PopNumber(), y};
    }
    std::string PopString() { return rt_.ToStr(Pop()); }
    void PushText(std::string s) { Push(rt_.Text(std::move(s))); }
    void PushTruth(bool b) { Push(Value(b)); }
    std::vector<Value> PopArgs() {
        double n = PopNumber();
        std::size_t count = 0;
        if (!std::isnan(n) && n > 0) {
            count = static_cast<std::size_t>(std::min(n, static_cast<double>(rt_.stack_.size())));
        }
        std::vector<Value> args;
        args.reserve(count);
        for (std::size_t i = 0; i < count; ++i) {
            args.push_back(Pop());
        }
        return args;
    }

    std::size_t JumpTarget(std::span<const std::uint8_t> body, std::size_t next) {
        if (body.size() < 2) {
            rt_.Stop("jump offset cut short");
        }
        auto offset = static_cast<std::int16_t>(body[0] | (body[1] << 8));
        auto target = static_cast<std::ptrdiff_t>(next) + offset;
        if (target < 0 || target > static_cast<std::ptrdiff_t>(a_.code->bytes.size())) {
            rt_.Stop("jump out of range");
        }
        return static_cast<std::size_t>(target);
    }

    // --- variables and scopes ---

    static Value OrUndefined(Object* o) { return o ? Value(o) : Value(); }

    Object* ParentOf(Object* clip) {
        if (!clip || clip == rt_.root_) {
            return nullptr;
        }
        return rt_.Get(Value(clip), "_parent").object();
    }

    // "_levelN" as a load's target: N, else -1.
    static int LevelNumber(std::string_view target) {
        if (target.size() <= 6 || AsciiLower(target.substr(0, 6)) != "_level") {
            return -1;
        }
        int n = 0;
        for (char c : target.substr(6)) {
            if (c < '0' || c > '9' || n > 100000) {
                return -1;
            }
            n = n * 10 + (c - '0');
        }
        return n;
    }

    // The root of the movie the running code belongs to.
    Object* RootHere() {
        Object* at = a_.base ? a_.base : a_.target;
        Object* root = at && at->kind == Kind::Clip ? rt_.display_.RootOf(at->clipId) : nullptr;
        return root ? root : rt_.root_;
    }

    // "_levelN" as a name: the level's root, undefined where none is loaded; nullopt for
    // another name.
    std::optional<Value> LevelNamed(std::string_view name) {
        int n = LevelNumber(name);
        if (n < 0 || (version() >= 7 && name.substr(0, 6) != "_level")) {
            return std::nullopt;
        }
        Object* level = n == 0 ? rt_.root_ : rt_.display_.Level(n);
        return level ? Value(level) : Value();
    }

    // One step of a path: the special names, else a member.
    Value Step(const Value& at, std::string_view part) {
        if (part == "..") {
            return OrUndefined(ParentOf(at.object()));
        }
        if (Named(part, "_root")) {
            return Value(RootHere());
        }
        if (auto level = LevelNamed(part)) {
            return *level;
        }
        if (Named(part, "_global")) {
            return Value(rt_.global_);
        }
        if (Named(part, "_parent")) {
            return OrUndefined(ParentOf(at.object()));
        }
        if (Object* o = at.object()) {
            return PathMember(o, part);
        }
        return rt_.Get(at, part);
    }

    // A name on the way of a path: a clip's child of that name before its variable.
    Value PathMember(Object* o, std::string_view name) {
        if (o->kind == Kind::Clip) {
            if (Object* child = rt_.display_.ClipMember(o->clipId, name)) {
                return Value(child);
            }
        }
        return rt_.Get(Value(o), name);
    }

    // Walks the names of a path from start on; a primitive met on the way is noted. ':', '.'
    // and '/' part the names, but once a '/' has come a '.' belongs to the name; any number of
    // ':' may lead a name, and ".." at the end or before '/' or ':' is the parent.
    Value Walk(Value at, std::string_view path, std::size_t start, bool slash, bool& primitive) {
        std::size_t i = start;
        while (i < path.size()) {
            while (i < path.size() && path[i] == ':') {
                ++i;
            }
            std::string_view rest = path.substr(i);
            std::string_view part;
            if (rest == ".." || rest.starts_with("../") || rest.starts_with("..:")) {
                slash = slash || rest.starts_with("../");
                part = "..";
                i += 3;
            } else {
                std::size_t end = i;
                while (end < path.size() && path[end] != ':' && path[end] != '/' &&
                       (slash || path[end] != '.')) {
                    ++end;
                }
                slash = slash || (end < path.size() && path[end] == '/');
                part = path.substr(i, end - i);
                i = end + 1;
            }
            at = Step(at, part);
            if (!at.isObject()) {
                primitive = primitive || !at.isNullish();
                return Value();
            }
        }
        return at;
    }

    // A target path to a timeline or object, relative to the current timeline. A path's first
    // name is looked up through the scope chain, trying each scope that has it.
    // With a member name, a scope's object counts only where it has that member, else the
    // first one found is the answer.
    Value ResolveTarget(std::string_view path, std::string_view member = {}) {
        if (path.empty()) {
            return Value(a_.target);
        }
        bool primitive = false;
        Value found;
        if (path[0] == '/') {
            found = Walk(Value(RootHere()), path, 1, true, primitive);
        } else {
            std::size_t sep = path.find_first_of("./:");
            std::string_view first = path.substr(0, sep);
            std::size_t rest = sep == std::string_view::npos ? path.size() : sep + 1;
            const bool slash = sep != std::string_view::npos && path[sep] == '/';
            bool special = first == ".." || Named(first, "_root") || LevelNamed(first) ||
                           Named(first, "_global") || Named(first, "_parent") ||
                           Named(first, "this");
            if (special || first.empty()) {
                // Only a path's first name may be this; further on it is a member's name.
                Value start = first.empty() || Named(first, "this") ? Value(a_.target)
                                                                    : Step(Value(a_.target), first);
                // A path led by a separator or ".." is walked whole from the timeline.
                found = start.isObject()
                            ? Walk(start, path, first.empty() ? 0 : rest, slash, primitive)
                            : Value();
            } else {
                Value fallback;
                for (Scope* s = a_.scope; s && !found.isObject(); s = s->parent) {
                    Object* o = s->kind == Scope::Kind::Target && a_.target ? a_.target : s->object;
                    if (!rt_.Has(o, first)) {
                        continue;
                    }
                    Value v = PathMember(o, first);
                    if (v.isObject()) {
                        found = Walk(v, path, rest, slash, primitive);
                    } else {
                        primitive = primitive || !v.isNullish();
                    }
                    if (found.isObject() && !member.empty() && !rt_.Has(found.asObject(), member)) {
                        fallback = fallback.isObject() ? fallback : found;
                        found = Value();
                    }
                }
                found = found.isObject() ? found : fallback;
            }
        }
        if (!found.isObject() && primitive) {
            // The reference player says so in the trace when a path walks through a primitive.
            rt_.display_.Trace("Parameters of primitive types are no longer coerced into the "
                               "required type - Object.");
        }
        return found;
    }

    // Names of the machine's own: without case up to version 6, with it from 7.
    bool Named(std::string_view name, std::string_view special) const {
        if (name.size() != special.size()) {
            return false;
        }
        return version() >= 7 ? name == special : AsciiLower(name) == special;
    }

    // "this" as a variable: the nearest function that keeps it as a local, else the
    // timeline. Where a function keeps it only in a register, version 5 sees nothing.
    Value LookupThis() {
        if (!a_.inFunction) {
            // A timeline may hold a variable of that name.
            const Property* own = a_.target ? a_.target->FindOwn("this") : nullptr;
            return own ? own->value : a_.self;
        }
        for (Scope* s = a_.scope; s; s = s->parent) {
            if (s->kind == Scope::Kind::Local) {
                if (const Property* p = s->object->FindOwn("this")) {
                    return p->value;
                }
            } else if (s->kind == Scope::Kind::Target) {
                return version() >= 6 ? Value(a_.target) : Value();
            }
        }
        return Value();
    }

    Value LookupVariable(std::string_view name) {
        if (Named(name, "this")) {
            return LookupThis();
        }
        if (Named(name, "_global") && version() >= 6) {
            return Value(rt_.global_);
        }
        if (Named(name, "_root")) {
            return Value(RootHere());
        }
        if (auto level = LevelNamed(name)) {
            return *level;
        }
        if (Named(name, "_parent")) {
            return OrUndefined(ParentOf(a_.target));
        }
        for (Scope* s = a_.scope; s; s = s->parent) {
            Object* o = s->object;
            if (s->kind == Scope::Kind::Target) {
                o = a_.target ? a_.target : o;
                if (a_.targetLost && DisplayPropertyIndex(name) >= 0) {
                    continue; // the root lends its variables, not its display properties
                }
            } else if (s->kind == Scope::Kind::Global && version() < 5) {
                break; // version 4 scripts see no globals, not even NaN
            }
            if (rt_.Has(o, name)) {
                return rt_.Get(Value(o), name);
            }
        }
        return Value();
    }

    // Which object holds a variable, for calls (their this).
    Value GetVariable(std::string_view name) {
        if (HasPathChars(name)) {
            // The last ':' or '.' parts the variable's name, which may hold a '/', from the path.
            std::size_t colon = name.find_last_of(":.");
            if (colon == std::string_view::npos) {
                // "/a/b": the timeline itself, unless a variable has that very name.
                Value plain = LookupVariable(name);
                return plain.isUndefined() ? ResolveTarget(name) : plain;
            }
            Value target = ResolveTarget(name.substr(0, colon), name.substr(colon + 1));
            if (!target.isObject()) {
                return Value();
            }
            return rt_.Get(target, name.substr(colon + 1));
        }
        return LookupVariable(name);
    }

    void SetVariable(std::string_view name, Value v) {
        // Without a ':' or '.' a name is a plain variable's, a '/' in it too.
        if (std::size_t colon = name.find_last_of(":."); colon != std::string_view::npos) {
            Value target = ResolveTarget(name.substr(0, colon));
            if (!target.isObject()) {
                rt_.Report("no object for variable " + std::string(name));
                return;
            }
            rt_.Put(target, name.substr(colon + 1), std::move(v));
            return;
        }
        for (Scope* s = a_.scope; s; s = s->parent) {
            if (s->kind == Scope::Kind::Target) {
                rt_.Put(Value(a_.target ? a_.target : s->object), name, std::move(v));
                return;
            }
            if (s->kind != Scope::Kind::Global && rt_.Has(s->object, name)) {
                rt_.Put(Value(s->object), name, std::move(v));
                return;
            }
        }
        rt_.Put(Value(a_.target), name, std::move(v));
    }

    void DefineLocal(std::string_view name, Value v) {
        Object* locals = a_.inFunction ? a_.locals : a_.target;
        if (HasPathChars(name) && !a_.inFunction) {
            SetVariable(name, std::move(v));
            return;
        }
        if (!a_.inFunction) {
            // On a timeline a with object that has the variable itself takes it.
            for (Scope* s = a_.scope; s && s->kind == Scope::Kind::With; s = s->parent) {
                if (s->object->FindOwn(name)) {
                    rt_.Put(Value(s->object), name, std::move(v));
                    return;
                }
            }
        }
        rt_.Put(Value(locals), name, std::move(v));
    }

    // --- actions ---

    void DoPush(std::span<const std::uint8_t> body) {
        ByteReader r(body);
        while (!r.atEnd()) {
            std::uint8_t type = r.U8();
            Value v;
            switch (type) {
            case 0:
                v = Value(MovieText(r.CString(), version()));
                break;
            case 1:
                v = Value(static_cast<double>(r.F32()));
                break;
            case 2:
                v = Value(Null{});
                break;
            case 3:
                break;
            case 4: {
                std::uint8_t reg = r.U8();
                if (reg < a_.registers->size()) {
                    v = (*a_.registers)[reg];
                } else {
                    rt_.Report("push of register " + std::to_string(reg) + " reads undefined");
                }
                break;
            }
            case 5:
                v = Value(r.U8() != 0);
                break;
            case 6:
                v = Value(r.ActionDouble());
                break;
            case 7:
                v = Value(static_cast<double>(static_cast<std::int32_t>(r.U32())));
                break;
            case 8:
            case 9: {
                std::size_t index = type == 8 ? r.U8() : r.U16();
                if (a_.pool && index < a_.pool->size()) {
                    v = Value((*a_.pool)[index]);
                } else if (r.ok()) {
                    rt_.Report("constant " + std::to_string(index) + " not in the pool");
                }
                break;
            }
            default:
                rt_.Stop("unknown push type " + std::to_string(type));
            }
            if (!r.ok()) {
                rt_.Stop("push cut short");
            }
            Push(std::move(v));
        }
    }

    void DoConstantPool(std::span<const std::uint8_t> body) {
        ByteReader r(body);
        std::uint16_t count = r.U16();
        auto pool = std::make_shared<std::vector<std::string>>();
        for (std::uint16_t i = 0; i < count && r.ok(); ++i) {
            pool->push_back(MovieText(r.CString(), version()));
        }
        if (!r.ok()) {
            rt_.Stop("constant pool cut short");
        }
        a_.pool = std::move(pool);
    }

    // clipTarget: the target names a timeline rather than a window.
    void DoGetUrl(const std::string& url, const std::string& target, bool clipTarget = false) {
        static constexpr std::string_view kPrefix = "fscommand:";
        if (url.size() >= kPrefix.size() && AsciiLower(url.substr(0, kPrefix.size())) == kPrefix) {
            rt_.display_.FsCommand(url.substr(kPrefix.size()), target);
        } else if (int level = LevelNumber(target); level >= 0) {
            rt_.display_.LoadLevel(level, url, nullptr);
        } else if (clipTarget) {
            Object* clip = ResolveTarget(target).object();
            if (clip && clip->kind == Kind::Clip) {
                rt_.display_.LoadMovie(clip->clipId, url, nullptr);
            }
        } else {
            rt_.Report("address not opened: " + url);
        }
    }

    // A goto's frame, 0-based, or -2 for none. "path:frame" names another timeline's frame.
    // Whole numbers wrap as 32-bit integers do; a fraction names no frame.
    int FrameNumber(const Value& frame, int& clip) {
        auto whole = [](double n) {
            if (std::isnan(n) || n != std::trunc(n)) {
                return -2;
            }
            return static_cast<int>(
                static_cast<std::int32_t>(static_cast<std::uint32_t>(ToInt32(n)) - 1u));
        };
        if (frame.isString()) {
            std::string_view text = frame.asString();
            if (auto colon = text.rfind(':'); colon != std::string_view::npos) {
                Object* other = ResolveTarget(text.substr(0, colon)).object();
                if (!other || other->kind != Kind::Clip) {
                    return -2;
                }
                clip = std::max(other->clipId, 0);
                text = text.substr(colon + 1);
            }
            double n = StringToNumber(text);
            if (!std::isnan(n)) {
                return whole(n);
            }
            int found = rt_.display_.FindLabel(clip, text);
            if (found < 0) {
                rt_.Report("no frame labelled " + std::string(text));
            }
            return found < 0 ? -2 : found;
        }
        return whole(rt_.ToNum(frame));
    }

    // Where the code goes on after the next count actions.
    std::size_t SkipActions(std::size_t pos, std::size_t end, std::size_t count) {
        const auto& code = a_.code->bytes;
        for (; count > 0 && pos < end; --count) {
            std::uint8_t op = code[pos++];
            if (op >= 0x80 && end - pos >= 2) {
                pos += 2 + (code[pos] | (code[pos + 1] << 8));
            }
        }
        return std::min(pos, end);
    }

    // The timeline actions' clip; -1 (none) after a tellTarget that found nothing.
    int TargetClip() {
        if (a_.targetLost) {
            return -1;
        }
        return a_.target ? std::max(a_.target->clipId, 0) : 0;
    }
    // A clip object no longer on the stage.
    bool Gone(const Object* o) { return rt_.OffStage(o); }

    // When the clip acted on leaves the stage, the code's own clip stands in for it, and where
    // that has gone too, the root (for variables only). An unload handler keeps its own clip.
    void FollowRemovals() {
        seenRemovals_ = rt_.clipsRemoved;
        if (a_.targetLost || !Gone(a_.target) || (a_.baseGone && a_.target == a_.base)) {
            return;
        }
        bool baseHere = a_.baseGone || !Gone(a_.base);
        a_.target = baseHere ? a_.base : rt_.root_;
        a_.targetLost = !baseHere;
    }
    // After a call, code whose own clip has just left the stage goes no further.
    bool BaseLeft() { return !a_.baseGone && Gone(a_.base); }

    // A path to a display object as property actions and tellTarget read it: from the given
    // clip through the display list and members, never through the scope chain.
    Value ResolveFrom(Object* start, std::string_view path) {
        if (path.empty()) {
            return Value(start);
        }
        bool primitive = false;
        Value found = path[0] == '/' ? Walk(Value(rt_.root_), path, 1, true, primitive)
                                     : Walk(Value(start), path, 0, false, primitive);
        if (!found.isObject() && primitive) {
            rt_.display_.Trace("Parameters of primitive types are no longer coerced into the "
                               "required type - Object.");
        }
        return found;
    }

    // Where a property action's path starts: the current timeline, or after a tellTarget that
    // found nothing, the code's own clip.
    Object* PathStart() { return a_.targetLost ? a_.base : a_.target; }

    // The object a property action's target names; the current timeline for "", which a
    // tellTarget that found nothing leaves without one.
    Object* TargetObject(std::string_view path) {
        if (path.empty()) {
            return a_.targetLost ? nullptr : a_.target;
        }
        return ResolveFrom(PathStart(), path).object();
    }

    // The display object a property action acts on: a clip, or a named shape or text in the
    // clip the path leads to. -1 for none.
    int PropertyTarget(std::string_view path) {
        std::size_t sep = path.find_last_of("./:");
        std::string_view last = sep == std::string_view::npos ? path : path.substr(sep + 1);
        Object* holder = sep == std::string_view::npos ? PathStart()
                         : sep == 0                    ? RootHere()
                                    : ResolveFrom(PathStart(), path.substr(0, sep)).object();
        if (!last.empty() && holder && holder->kind == Kind::Clip) {
            int child = rt_.display_.FindChild(holder->clipId, last);
            if (child >= 0) {
                return child;
            }
        }
        Object* clip = TargetObject(path);
        return clip && (clip->kind == Kind::Clip || clip->kind == Kind::Text) ? clip->clipId : -1;
    }

    Object* MakeFunction(std::span<const std::uint8_t> body, std::size_t next, bool v2,
                         std::size_t& skip) {
        ByteReader r(body);
        auto data = std::make_unique<FunctionData>();
        data->name = r.CString();
        std::uint16_t count = r.U16();
        data->version2 = v2;
        if (v2) {
            data->registers = r.U8();
            data->flags = r.U16();
        }
        for (std::uint16_t i = 0; i < count && r.ok(); ++i) {
            std::uint8_t reg = v2 ? r.U8() : 0;
            data->params.emplace_back(r.CString(), reg);
        }
        std::uint16_t size = r.U16();
        if (!r.ok()) {
            rt_.Stop("function definition cut short");
        }
        if (size > a_.code->bytes.size() - next) {
            rt_.Stop("function body runs past the end of its block");
        }
        data->code = a_.code;
        data->start = next;
        data->end = next + size;
        data->pool = a_.pool;
        data->scope = a_.scope;
        data->base = a_.target;
        skip = size;
        Object* fn = rt_.NewObject(rt_.functionProto_, Kind::Function);
        fn->function = std::move(data);
        Object* proto = rt_.NewPlain();
        proto->Set("constructor", Value(fn), kDontEnum);
        fn->Set("prototype", Value(proto), kDontEnum | kDontDelete);
        return fn;
    }

    // With and try blocks run nested in the host's stack, so their nesting is limited.
    struct Nest {
        Runtime& rt;
        explicit Nest(Runtime& r) : rt(r) {
            if (++rt.nesting_ > 64) {
                --rt.nesting_;
                rt.Stop("with or try blocks nested deeper than 64");
            }
        }
        ~Nest() { --rt.nesting_; }
    };

    Flow DoTry(std::span<const std::uint8_t> body, std::size_t next, std::size_t end) {
        Nest nest(rt_);
        ByteReader r(body);
        std::uint8_t flags = r.U8();
        std::uint16_t trySize = r.U16();
        std::uint16_t catchSize = r.U16();
        std::uint16_t finallySize = r.U16();
        bool inRegister = flags & 4;
        std::string catchName;
        std::uint8_t catchRegister = 0;
        if (inRegister) {
            catchRegister = r.U8();
        } else {
            catchName = r.CString();
        }
        if (!r.ok()) {
            rt_.Stop("try cut short");
        }
        std::size_t tryEnd = next + trySize;
        std::size_t catchEnd = tryEnd + ((flags & 1) ? catchSize : 0);
        std::size_t finallyEnd = catchEnd + ((flags & 2) ? finallySize : 0);
        if (finallyEnd > end) {
            rt_.Stop("try runs past the end of its block");
        }
        Flow result;
        result.target = finallyEnd;
        std::optional<Thrown> pending;
        std::size_t stackSize = rt_.stack_.size();
        try {
            result = Run(next, tryEnd);
        } catch (Thrown& t) {
            rt_.stack_.resize(std::min(stackSize, rt_.stack_.size()));
            if (flags & 1) {
                if (inRegister) {
                    if (catchRegister < a_.registers->size()) {
                        (*a_.registers)[catchRegister] = t.value;
                    }
                } else {
                    DefineLocal(catchName, t.value);
                }
                try {
                    result = Run(tryEnd, catchEnd);
                } catch (Thrown& again) {
                    pending = again;
                }
            } else {
                pending = t;
            }
        }
        if (result.kind == Flow::Kind::Normal) {
            result.target = finallyEnd;
        }
        if (flags & 2) {
            // What the finally block runs over is held here, where no collection looks.
            Runtime::Pin pinResult(rt_, result.value);
            Runtime::Pin pinThrown(rt_, pending ? pending->value : Value());
            Flow f = Run(catchEnd, finallyEnd);
            if (f.kind != Flow::Kind::Normal) {
                return f; // a return or jump in finally wins
            }
        }
        if (pending) {
            throw *pending;
        }
        if (result.kind == Flow::Kind::Normal) {
            result.kind = Flow::Kind::Jump;
            result.target = finallyEnd;
        }
        return result;
    }

    Flow DoWith(std::span<const std::uint8_t> body, std::size_t next, std::size_t end) {
        Nest nest(rt_);
        if (body.size() < 2) {
            rt_.Stop("with cut short");
        }
        std::size_t size = body[0] | (body[1] << 8);
        if (size > end - next) {
            rt_.Stop("with runs past the end of its block");
        }
        Value v = Pop();
        Object* o = rt_.ToObject(v);
        if (!o) {
            return Flow{Flow::Kind::Jump, next + size, {}};
        }
        Scope* s = rt_.heap_.Make<Scope>();
        s->object = o;
        s->parent = a_.scope;
        s->kind = Scope::Kind::With;
        Scope* saved = a_.scope;
        a_.scope = s;
        Flow f;
        try {
            f = Run(next, next + size);
        } catch (...) {
            a_.scope = saved;
            throw;
        }
        a_.scope = saved;
        if (f.kind == Flow::Kind::Normal) {
            return Flow{Flow::Kind::Jump, next + size, {}};
        }
        return f;
    }

    // Where super's lookups begin: one step past where the running function was found. A
    // display object there ends the search: super never reaches into a clip.
    static Object* SuperStart(Object* sup) {
        Object* start = sup->superThis;
        for (int i = 0; i <= sup->superDepth && start; ++i) {
            start = Unsuper(start->proto());
        }
        return start && start->kind == Kind::Clip ? nullptr : start;
    }
    // A super object standing in a chain stands for where its own lookups begin.
    static Object* Unsuper(Object* o) {
        for (int guard = 0; o && o->kind == Kind::Super && guard < 64; ++guard) {
            o = SuperStart(o);
        }
        return o && o->kind == Kind::Super ? nullptr : o;
    }

    // Calls a method on an object, finding where in its chain it sits (for super).
    Value CallMethodOn(const Value& object, const std::string& name, std::vector<Value>& args) {
        Object* o = object.object();
        if (name.empty()) {
            // The object itself is called; super() calls the parent class's constructor.
            if (o && o->kind == Kind::Super) {
                // A constructor runs one step down its object's chain already (its prototype's
                // level); a method found on the object itself looks one step further.
                Object* self = o->superThis;
                Object* proto = Unsuper(self);
                for (int i = 0; i < std::max(o->superDepth, 1) && proto; ++i) {
                    proto = Unsuper(proto->proto());
                }
                if (proto && proto->kind == Kind::Clip) {
                    proto = nullptr;
                }
                Value ctor =
                    proto ? rt_.GetOf(proto, "__constructor__", Value(self), false) : Value();
                Runtime::SafeCall safe(rt_, true);
                Object* c = ctor.object();
                if (!c || !c->function || !c->function->native || c->function->scripted) {
                    return rt_.CallFunction(c, Value(self), args, o->superDepth + 1, nullptr);
                }
                // A native class makes this one of its own, as new would, and answers it.
                rt_.pendingConstruct_ = c;
                Value made = rt_.CallFunction(c, Value(self), args, o->superDepth + 1, nullptr);
                return made.isUndefined() ? Value(self) : made;
            }
            return CallValue(object, Value(), args, 0);
        }
        if (o && o->kind == Kind::Super) {
            Object* self = o->superThis;
            Object* start = SuperStart(o);
            if (!start) {
                return Value();
            }
            int depth = rt_.FindDepth(start, name);
            Value fn = rt_.GetOf(start, name, Value(self));
            return CallValue(fn, Value(self), args, o->superDepth + 1 + std::max(depth, 0));
        }
        if (object.isNullish()) {
            return Value();
        }
        Value fn = rt_.Get(object, name);
        int depth = 0;
        if (o) {
            depth = std::max(rt_.FindDepth(o, name), 0);
        } else {
            depth = 1;
        }
        return CallValue(fn, object, args, depth);
    }

    Value CallValue(const Value& fn, const Value& self, std::vector<Value>& args, int depth) {
        Object* f = fn.object();
        if (f && f->kind == Kind::Super) {
            return CallMethodOn(fn, std::string(), args); // super(): the parent constructor
        }
        if (!f || !f->function) {
            BoxUncallable(fn);
            return Value();
        }
        Runtime::SafeCall safe(rt_, true);
        return rt_.CallFunction(f, self, args, depth, a_.target);
    }

    // A primitive called or constructed is boxed first, by whatever class the movie set for it,
    // and found to be no function.
    void BoxUncallable(const Value& v) {
        if (!v.isObject() && !v.isNullish()) {
            rt_.ToObject(v);
        }
    }

    Value NewWith(const Value& ctor, std::vector<Value>& args) {
        if (!rt_.IsCallable(ctor)) {
            BoxUncallable(ctor);
            return Value();
        }
        return rt_.Construct(ctor, args, true);
    }

    Flow Execute(std::uint8_t code, std::span<const std::uint8_t> body, std::size_t next,
                 std::size_t end) {
        const int v = version();
        auto& disp = rt_.display_;
        switch (code) {
        case 0x04: // NextFrame
            disp.GotoFrame(TargetClip(), disp.CurrentFrame(TargetClip()) + 1);
            disp.SetPlaying(TargetClip(), false);
            break;
        case 0x05: { // PreviousFrame
            int current = disp.CurrentFrame(TargetClip());
            if (current > 0) {
                disp.GotoFrame(TargetClip(), current - 1);
            }
            disp.SetPlaying(TargetClip(), false);
            break;
        }
        case 0x06:
            disp.SetPlaying(TargetClip(), true);
            break;
        case 0x07:
            disp.SetPlaying(TargetClip(), false);
            break;
        case 0x09: // StopSounds
            if (audio::Mixer* sounds = disp.Sounds()) {
                sounds->StopAll();
            }
            [[fallthrough]];
        case 0x08: // ToggleQuality
        case 0x28: // EndDrag
            if (GeometryInterface* g = disp.Geometry()) {
                g->StopDrag();
            }
            break;
        case 0x0A: {
            auto [a, b] = PopNumbers();
            Push(Value(a + b));
            break;
        }
        case 0x0B: {
            auto [a, b] = PopNumbersRightFirst();
            Push(Value(a - b));
            break;
        }
        case 0x0C: {
            auto [a, b] = PopNumbers();
            Push(Value(a * b));
            break;
        }
        case 0x0D: {
            auto [a, b] = PopNumbersRightFirst();
            if (b == 0 && v < 5) {
                Push(Value("#ERROR#"));
            } else {
                Push(Value(a / b));
            }
            break;
        }
        case 0x3F: {
            auto [a, b] = PopNumbers();
            Push(Value(std::fmod(a, b)));
            break;
        }
        case 0x0E: { // Equals converts its right operand first
            double b = PopNumber();
            double a = PopNumber();
            PushTruth(a == b);
            break;
        }
        case 0x0F: {
            auto [a, b] = PopNumbers();
            PushTruth(a < b);
            break;
        }
        case 0x10: {
            bool b = rt_.ToBool(Pop());
            bool a = rt_.ToBool(Pop());
            PushTruth(a && b);
            break;
        }
        case 0x11: {
            bool b = rt_.ToBool(Pop());
            bool a = rt_.ToBool(Pop());
            PushTruth(a || b);
            break;
        }
        case 0x12:
            PushTruth(!rt_.ToBool(Pop()));
            break;
        case 0x13: {
            std::string b = PopString();
            std::string a = PopString();
            PushTruth(a == b);
            break;
        }
        case 0x29: {
            std::string b = PopString();
            std::string a = PopString();
            PushTruth(a < b);
            break;
        }
        case 0x68: {
            std::string b = PopString();
            std::string a = PopString();
            PushTruth(a > b);
            break;
        }
        case 0x14: { // StringLength: in UTF-16 units, as the code page's characters before 6
            std::string text = PopString();
            Push(Value(static_cast<double>(ToUtf16(text).size())));
            break;
        }
        case 0x31: // MBStringLength
            Push(Value(static_cast<double>(ToUtf16(PopString()).size())));
            break;
        case 0x15:
        case 0x35: { // StringExtract, MBStringExtract
            double count = PopNumber();
            double index = PopNumber();
            count = ToInt32(count); // both wrap as 32-bit integers
            index = ToInt32(index);
            std::string s = PopString();
            if (code == 0x35 || v >= 6) {
                std::u16string u = ToUtf16(s);
                double start = std::clamp(index - 1, 0.0, static_cast<double>(u.size()));
                double len = count < 0 ? static_cast<double>(u.size()) : count;
                len = std::min(len, static_cast<double>(u.size()) - start);
                PushText(FromUtf16(
                    u.substr(static_cast<std::size_t>(start), static_cast<std::size_t>(len))));
            } else {
                double start = std::clamp(index - 1, 0.0, static_cast<double>(s.size()));
                double len = count < 0 ? static_cast<double>(s.size()) : count;
                len = std::min(len, static_cast<double>(s.size()) - start);
                PushText(s.substr(static_cast<std::size_t>(start), static_cast<std::size_t>(len)));
            }
            break;
        }
        case 0x21: {
            std::string b = PopString();
            std::string a = PopString();
            if (a.size() + b.size() > rt_.limits_.stringBytes) {
                rt_.Stop("text longer than " + std::to_string(rt_.limits_.stringBytes) + " bytes");
            }
            PushText(a + b);
            break;
        }
        case 0x32:   // CharToAscii
        case 0x36: { // MBCharToAscii: half a surrogate pair reads as U+FFFD
            std::u16string u = ToUtf16(PopString());
            char16_t c = u.empty() ? 0 : u[0];
            c = c >= 0xD800 && c < 0xE000 ? char16_t(0xFFFD) : c;
            Push(u.empty() ? Value(std::nan("")) : Value(static_cast<double>(c)));
            break;
        }
        case 0x33:
        case 0x37: { // AsciiToChar
            double n = PopNumber();
            char16_t c = static_cast<char16_t>(ToUint32(n) & 0xFFFF);
            PushText(c == 0 ? std::string() : FromUtf16(std::u16string(1, c)));
            break;
        }
        case 0x17:
            Pop();
            break;
        case 0x18: { // ToInteger
            Push(Value(static_cast<double>(ToInt32(PopNumber()))));
            break;
        }
        case 0x4A:
            Push(Value(PopNumber()));
            break;
        case 0x4B:
            PushText(PopString());
            break;
        case 0x44: { // TypeOf
            Value x = Pop();
            std::string name = TypeName(x);
            if (Object* o = x.object()) {
                bool button = o->kind == Kind::Clip && o->proto() && o->proto() == rt_.buttonProto_;
                name = o->kind == Kind::Clip && !button ? "movieclip"
                       : o->function                    ? "function"
                                                        : "object";
            }
            Push(Value(name));
            break;
        }
        case 0x1C:
            Push(GetVariable(PopString()));
            break;
        case 0x1D: {
            Value value = Pop();
            SetVariable(PopString(), std::move(value));
            break;
        }
        case 0x23: { // SetProperty
            Value value = Pop();
            double index = PopNumber();
            std::string target = PopString();
            int clip = PropertyTarget(target);
            int property = std::isnan(index) ? -1 : static_cast<int>(index);
            // The value takes the property's type whether or not the clip is there, read-only
            // properties too: numbers for the numeric ones, text for the name. _focusrect
            // tells an object from a number itself.
            if (value.isObject()) {
                if (property == 13) {
                    value = Value(rt_.ToStr(value));
                } else if ((property >= 0 && property <= 10) || property == 12 || property == 16 ||
                           property == 18 || property == 20 || property == 21) {
                    value = Value(rt_.ToNum(value));
                }
            }
            if (clip >= 0) {
                disp.SetDisplayProperty(clip, property, value);
            } else {
                rt_.Report("no clip " + target + " for property " + std::to_string(property));
            }
            break;
        }
        case 0x22: { // GetProperty
            double index = PopNumber();
            int clip = PropertyTarget(PopString());
            int property = std::isnan(index) ? -1 : static_cast<int>(index);
            std::optional<Value> value;
            if (clip >= 0) {
                value = disp.GetDisplayProperty(clip, property);
            }
            Push(value ? *value : Value());
            break;
        }
        case 0x24: { // CloneSprite
            double depth = PopNumber();
            std::string name = PopString();
            Object* source = TargetObject(PopString());
            if (source && (source->kind == Kind::Clip || source->kind == Kind::Text) &&
                !std::isnan(depth)) {
                disp.MakeClip(source->clipId, DisplayInterface::Make::Duplicate, "", name,
                              ToInt32(depth) - 16384, nullptr);
            }
            break;
        }
        case 0x25: { // RemoveSprite
            Object* clip = TargetObject(PopString());
            if (clip && (clip->kind == Kind::Clip || clip->kind == Kind::Text)) {
                disp.RemoveClip(clip->clipId);
            }
            break;
        }
        case 0x27: { // StartDrag
            // Operands are converted as they come off the stack; the bounds follow only when
            // the flag reads as the number 1.
            Object* clip = TargetObject(PopString());
            bool lockCentre = rt_.ToBool(Value(PopNumber()));
            std::optional<Rect> within;
            if (PopNumber() == 1) {
                Rect r;
                r.yMax = PopNumber();
                r.xMax = PopNumber();
                r.yMin = PopNumber();
                r.xMin = PopNumber();
                within = r;
            }
            GeometryInterface* g = disp.Geometry();
            if (g && clip && clip->kind == Kind::Clip) {
                g->StartDrag(clip->clipId, lockCentre, within);
            }
            break;
        }
        case 0x3C: { // DefineLocal
            Value value = Pop();
            DefineLocal(PopString(), std::move(value));
            break;
        }
        case 0x41: { // DefineLocal2
            std::string name = PopString();
            Object* locals = a_.inFunction ? a_.locals : a_.target;
            std::string_view own = name;
            if (HasPathChars(name) && !a_.inFunction) {
                // On a timeline a path names the variable of the timeline it leads to.
                std::size_t colon = name.rfind(':');
                if (colon == std::string::npos) {
                    colon = name.rfind('.');
                }
                Object* target = colon == std::string::npos
                                     ? nullptr
                                     : ResolveTarget(own.substr(0, colon)).object();
                if (!target) {
                    break;
                }
                locals = target;
                own = own.substr(colon + 1);
            }
            if (!rt_.Has(locals, own)) { // inherited ones count too
                rt_.Put(Value(locals), own, Value());
            }
            break;
        }
        case 0x3A: { // Delete
            std::string name = PopString();
            Value object = Pop();
            Object* o = object.object();
            bool done = false;
            if (o) {
                Property* p = o->FindOwn(name);
                if (p && !(p->flags & kDontDelete)) {
                    done = o->Remove(name);
                }
            }
            Push(Value(done));
            break;
        }
        case 0x3B: { // Delete2
            std::string name = PopString();
            bool done = false;
            if (HasPathChars(name)) {
                std::size_t sep = name.find_last_of(":.");
                Object* o = sep == std::string::npos
                                ? nullptr
                                : ResolveTarget(std::string_view(name).substr(0, sep)).object();
                std::string last = sep == std::string::npos ? name : name.substr(sep + 1);
                Property* p = o ? o->FindOwn(last) : nullptr;
                Push(Value(p && !(p->flags & kDontDelete) && o->Remove(last)));
                break;
            }
            for (Scope* s = a_.scope; s; s = s->parent) {
                Object* o = s->kind == Scope::Kind::Target && a_.target ? a_.target : s->object;
                if (Property* p = o->FindOwn(name)) {
                    if (!(p->flags & kDontDelete)) {
                        done = o->Remove(name);
                    }
                    break;
                }
            }
            Push(Value(done));
            break;
        }
        case 0x4E: { // GetMember
            Value nameValue = Pop();
            Value object = Pop();
            std::string name = rt_.ToStr(nameValue);
            if (object.isObject() && object.asObject()->kind == Kind::Super) {
                Object* sup = object.asObject();
                Object* start = SuperStart(sup);
                Push(start ? rt_.GetOf(start, name, Value(sup->superThis)) : Value());
                break;
            }
            Push(rt_.Get(rt_.Live(object), name));
            break;
        }
        case 0x4F: { // SetMember
            Value value = Pop();
            std::string name = PopString();
            Value object = rt_.Live(Pop());
            rt_.Put(object, name, std::move(value));
            break;
        }
        case 0x42: { // InitArray
            double n = PopNumber();
            if (std::isnan(n) || n < 0) {
                n = 0;
            }
            if (n > static_cast<double>(rt_.stack_.size())) {
                Push(Value()); // more items than the stack holds: nothing is taken
                break;
            }
            auto count = static_cast<std::size_t>(n);
            std::vector<Value> items;
            items.reserve(count);
            for (std::size_t i = 0; i < count; ++i) {
                items.push_back(Pop());
            }
            Push(Value(rt_.NewArray(items)));
            break;
        }
        case 0x43: { // InitObject
            double n = PopNumber();
            if (std::isnan(n) || n < 0) {
                n = 0;
            }
            if (n * 2 > static_cast<double>(rt_.stack_.size())) {
                Push(Value()); // more pairs than the stack holds: nothing is taken
                break;
            }
            auto count = static_cast<std::size_t>(n);
            Object* o = rt_.NewPlain();
            // Set as they come off the stack: the last pushed first.
            for (std::size_t i = 0; i < count; ++i) {
                Value value = Pop();
                rt_.Put(Value(o), PopString(), std::move(value));
            }
            Push(Value(o));
            break;
        }
        case 0x47: { // Add2
            Value b = rt_.ToPrimitive(Pop());
            Value a = rt_.ToPrimitive(Pop());
            if (a.isString() || b.isString()) {
                std::string sa = rt_.ToStr(a);
                std::string sb = rt_.ToStr(b);
                if (sa.size() + sb.size() > rt_.limits_.stringBytes) {
                    rt_.Stop("text longer than " + std::to_string(rt_.limits_.stringBytes) +
                             " bytes");
                }
                PushText(sa + sb);
            } else {
                Push(Value(rt_.ToNum(a) + rt_.ToNum(b)));
            }
            break;
        }
        case 0x48:   // Less2
        case 0x67: { // Greater
            Value b = Pop();
            Value a = Pop();
            Push(Compare(a, b, code == 0x67));
            break;
        }
        case 0x49: { // Equals2
            Value b = Pop();
            Value a = Pop();
            Push(Value(Equals(a, b)));
            break;
        }
        case 0x66: {
            Value b = Pop();
            Value a = Pop();
            Push(Value(StrictEquals(a, b)));
            break;
        }
        case 0x4C: {
            Value top = Pop();
            Push(top);
            Push(std::move(top));
            break;
        }
        case 0x4D: {
            Value b = Pop();
            Value a = Pop();
            Push(std::move(b));
            Push(std::move(a));
            break;
        }
        case 0x50:
            Push(Value(PopNumber() + 1));
            break;
        case 0x51:
            Push(Value(PopNumber() - 1));
            break;
        case 0x60:
        case 0x61:
        case 0x62:
        case 0x63:
        case 0x64:
        case 0x65: {
            auto [an, bn] = PopNumbers();
            std::int32_t a = ToInt32(an);
            std::int32_t b = ToInt32(bn);
            double r = 0;
            switch (code) {
            case 0x60:
                r = a & b;
                break;
            case 0x61:
                r = a | b;
                break;
            case 0x62:
                r = a ^ b;
                break;
            case 0x63:
                r = static_cast<std::int32_t>(static_cast<std::uint32_t>(a) << (b & 31));
                break;
            case 0x64:
                r = a >> (b & 31);
                break;
            default: {
                std::uint32_t u = static_cast<std::uint32_t>(a) >> (b & 31);
                // Version 8 files read the result back as a signed integer.
                r = v == 8 ? static_cast<double>(static_cast<std::int32_t>(u)) : u;
                break;
            }
            }
            Push(Value(r));
            break;
        }
        case 0x26: { // Trace
            Value x = Pop();
            std::string text;
            std::optional<Thrown> pending;
            try {
                text = x.isUndefined() ? std::string("undefined") : rt_.ToStr(x);
            } catch (Thrown& t) {
                // A conversion that throws still prints the plain name; then the throw goes on.
                text = "[type Object]";
                pending = std::move(t);
            }
            // A carriage return ends a line as a line feed does.
            std::string lines;
            for (std::size_t i = 0; i < text.size(); ++i) {
                if (text[i] == '\r') {
                    lines += '\n'; // "\r\n" makes two line ends
                } else {
                    lines += text[i];
                }
            }
            disp.Trace(OutsideText(lines));
            if (pending) {
                throw *pending;
            }
            break;
        }
        case 0x34: // GetTime
            Push(Value(std::floor(rt_.now_)));
            break;
        case 0x30: { // RandomNumber
            double max = PopNumber();
            std::int32_t m = ToInt32(max);
            if (m <= 0) {
                Push(Value(0));
            } else {
                Push(Value(static_cast<double>(Random()() % static_cast<std::uint32_t>(m))));
            }
            break;
        }
        case 0x20: // SetTarget2
            SetTarget(Pop());
            break;
        case 0x8B: { // SetTarget
            ByteReader r(body);
            std::string target = r.CString();
            if (!r.ok()) {
                rt_.Stop("target cut short");
            }
            SetTarget(Value(target));
            break;
        }
        case 0x45: { // TargetPath
            Value x = Pop();
            Object* o = x.object();
            if (o && (o->kind == Kind::Clip || o->kind == Kind::Text)) {
                PushText(rt_.Describe(o));
            } else {
                Push(Value());
            }
            break;
        }
        case 0x81: { // GotoFrame
            if (body.size() < 2) {
                rt_.Stop("goto cut short");
            }
            // Like every goto of a frame action, it stops the timeline: gotoAndPlay adds a Play.
            disp.GotoFrame(TargetClip(), body[0] | (body[1] << 8));
            disp.SetPlaying(TargetClip(), false);
            break;
        }
        case 0x8C: { // GoToLabel
            ByteReader r(body);
            std::string label = r.CString();
            if (!r.ok()) {
                rt_.Stop("label cut short");
            }
            int frame = disp.FindLabel(TargetClip(), label);
            if (frame < 0) {
                rt_.Report("no frame labelled " + label);
            } else {
                disp.GotoFrame(TargetClip(), frame);
                disp.SetPlaying(TargetClip(), false);
            }
            break;
        }
        case 0x9F: { // GotoFrame2
            ByteReader r(body);
            std::uint8_t flags = r.U8();
            int bias = (flags & 2) ? r.U16() : 0;
            if (!r.ok()) {
                rt_.Stop("goto cut short");
            }
            Value frame = Pop();
            if (!frame.isNumber()) {
                // Anything but a number names its frame by its text: false is the label "false".
                frame = Value(rt_.ToStr(frame));
            }
            // Unlike the other timeline actions, this one falls back to the root.
            int clip = a_.targetLost ? 0 : TargetClip();
            int target = FrameNumber(frame, clip);
            // A goto to no frame neither moves nor stops the timeline.
            if (target != -2 && target + bias >= 0) {
                disp.GotoFrame(clip, target + bias);
                disp.SetPlaying(clip, (flags & 1) != 0);
            }
            break;
        }
        case 0x8A:
        case 0x8D: { // WaitForFrame, WaitForFrame2
            ByteReader r(body);
            std::int64_t frame = 0;
            if (code == 0x8A) {
                frame = r.U16();
            } else {
                Value f = Pop();
                // A whole number, or a text that reads as one, counts from 1, wrapping as 32-bit
                // integers do; anything else (a label, a fraction) counts as loaded.
                if (f.isObject()) {
                    f = Value(rt_.ToStr(f));
                }
                double n = f.isString() ? StringToNumber(f.asString()) : rt_.ToNum(f);
                frame = -1;
                if (std::isfinite(n) && n == std::trunc(n)) {
                    frame = static_cast<std::int32_t>(static_cast<std::uint32_t>(ToInt32(n)) - 1u);
                }
            }
            std::uint8_t skip = r.U8();
            if (!r.ok()) {
                rt_.Stop("wait cut short");
            }
            // The whole movie is loaded, and a movie never has more frames than this.
            constexpr std::int64_t kLastLoadable = 16000;
            if (frame > kLastLoadable) {
                return Flow{Flow::Kind::Jump, SkipActions(next, end, skip), {}};
            }
            break;
        }
        case 0x83: { // GetUrl
            ByteReader r(body);
            std::string url = r.CString();
            std::string target = r.CString();
            if (!r.ok()) {
                rt_.Stop("address cut short");
            }
            DoGetUrl(url, target);
            break;
        }
        case 0x9A: { // GetUrl2
            std::string target = PopString();
            std::string url = PopString();
            if (!body.empty() && (body[0] & 0x80)) { // loadVariables into a timeline
                LoadVariables(rt_, url, ResolveTarget(target));
            } else {
                DoGetUrl(url, target, !body.empty() && (body[0] & 0x40));
            }
            break;
        }
        case 0x87: { // StoreRegister
            if (body.empty() || body[0] >= a_.registers->size()) {
                rt_.Stop("bad register");
            }
            (*a_.registers)[body[0]] = rt_.stack_.empty() ? Value() : rt_.stack_.back();
            break;
        }
        case 0x88:
            DoConstantPool(body);
            break;
        case 0x96:
            DoPush(body);
            break;
        case 0x99:
            return Flow{Flow::Kind::Jump, JumpTarget(body, next), {}};
        case 0x9D: {
            std::size_t target = JumpTarget(body, next);
            if (rt_.ToBool(Pop())) {
                return Flow{Flow::Kind::Jump, target, {}};
            }
            break;
        }
        case 0x9E: { // Call: runs a frame's scripts without going there
            Value frame = Pop();
            if (frame.isObject()) {
                frame = Value(rt_.ToStr(frame));
            }
            int clip = a_.targetLost ? 0 : TargetClip();
            int target = FrameNumber(frame, clip);
            if (target >= 0) {
                disp.CallFrame(clip, target);
            }
            if (BaseLeft()) {
                return Flow{Flow::Kind::Return, 0, Value()};
            }
            break;
        }
        case 0x9B:
        case 0x8E: { // DefineFunction, DefineFunction2
            std::size_t skip = 0;
            Object* fn = MakeFunction(body, next, code == 0x8E, skip);
            const std::string& name = fn->function->name;
            if (name.empty()) {
                Push(Value(fn));
            } else {
                DefineLocal(name, Value(fn));
            }
            return Flow{Flow::Kind::Normal, next + skip, {}};
        }
        case 0x3D: { // CallFunction
            std::string name = PopString();
            std::vector<Value> args = PopArgs();
            Value fn = GetVariable(name);
            Value self;
            if (!HasPathChars(name)) {
                // Found on a with object, a timeline or a function's locals: that is this; a
                // global function's this is the timeline it was defined on.
                for (Scope* s = a_.scope; s; s = s->parent) {
                    Object* o = s->kind == Scope::Kind::Target && a_.target ? a_.target : s->object;
                    if (rt_.Has(o, name)) {
                        if (s->kind != Scope::Kind::Global) {
                            self = Value(o);
                        } else if (Object* f = fn.object(); f && f->function && f->function->base) {
                            self = Value(f->function->base);
                        }
                        break;
                    }
                }
            }
            Push(CallValue(fn, self, args, 0));
            if (BaseLeft()) {
                return Flow{Flow::Kind::Return, 0, Value()};
            }
            break;
        }
        case 0x52: { // CallMethod
            Value nameValue = Pop();
            Value object = rt_.Live(Pop());
            std::vector<Value> args = PopArgs();
            std::string name = nameValue.isUndefined() ? std::string() : rt_.ToStr(nameValue);
            Push(CallMethodOn(object, name, args));
            if (BaseLeft()) {
                return Flow{Flow::Kind::Return, 0, Value()};
            }
            break;
        }
        case 0x3E: // Return
            return Flow{Flow::Kind::Return, 0, Pop()};
        case 0x40: { // NewObject
            std::string name = PopString();
            std::vector<Value> args = PopArgs();
            Value ctor = GetVariable(name);
            Push(NewWith(ctor, args));
            break;
        }
        case 0x53: { // NewMethod
            Value nameValue = Pop();
            Value object = Pop();
            std::vector<Value> args = PopArgs();
            Value ctor =
                nameValue.isUndefined() || (nameValue.isString() && nameValue.asString().empty())
                    ? object
                    : rt_.Get(object, rt_.ToStr(nameValue));
            Push(NewWith(ctor, args));
            break;
        }
        case 0x54: { // InstanceOf
            Value ctor = Pop();
            Value x = Pop();
            // A primitive is no instance, and its class is not even looked at.
            Push(Value(x.isObject() && rt_.InstanceOf(x, rt_.ToObject(ctor))));
            break;
        }
        case 0x46:
        case 0x55: { // Enumerate, Enumerate2
            Value x = Pop();
            Object* o = nullptr;
            if (code == 0x46) {
                o = GetVariable(rt_.ToStr(x)).object();
            } else {
                o = x.object();
            }
            Push(Value(Null{}));
            if (o) {
                std::vector<std::string> keys = rt_.EnumerateKeys(o);
                for (auto it = keys.rbegin(); it != keys.rend(); ++it) {
                    Push(Value(*it));
                }
            }
            break;
        }
        case 0x69: { // Extends
            Value superclass = Pop();
            Value subclass = Pop();
            Object* sub = subclass.object();
            Object* sup = superclass.object();
            if (sub && sup) {
                Object* proto = rt_.NewObject(rt_.Get(superclass, "prototype").object());
                proto->Set("__constructor__", superclass, kDontEnum);
                rt_.Put(subclass, "prototype", Value(proto));
            }
            break;
        }
        case 0x2B: { // CastOp
            Value x = Pop();
            Value ctor = Pop();
            if (!x.isObject()) {
                rt_.ToObject(x); // boxed, by whatever class the movie set, and dropped
                Push(Value(Null{}));
                break;
            }
            Push(rt_.InstanceOf(x, rt_.ToObject(ctor)) ? x : Value(Null{}));
            break;
        }
        case 0x2C: { // ImplementsOp
            Value ctor = Pop();
            std::vector<Value> interfaces = PopArgs();
            Object* proto = Runtime::StoredPrototype(rt_.Live(ctor.object())).object();
            // Only the first list a class is given counts, even one of no interface at all.
            if (!proto || interfaces.empty() || proto->implemented) {
                break;
            }
            proto->implemented = true;
            for (const auto& i : interfaces) {
                if (Object* ip = Runtime::StoredPrototype(rt_.Live(i.object())).object()) {
                    proto->interfaces.push_back(ip);
                }
            }
            break;
        }
        case 0x2A: // Throw
            rt_.Throw(Pop());
        case 0x8F:
            return DoTry(body, next, end);
        case 0x94:
            return DoWith(body, next, end);
        default:
            // Actions of later players or unknown ones: skipped by their length.
            break;
        }
        return Flow{Flow::Kind::Normal, next, {}};
    }

    // a < b, or a > b: the left operand is read first, and an object that stays one after
    // valueOf ends the comparison (a clip's as NaN would).
    Value Compare(const Value& a, const Value& b, bool greater) {
        auto stays = [](const Value& p) {
            return p.asObject()->kind == Kind::Clip ? Value() : Value(false);
        };
        Value pa = rt_.ToPrimitive(a);
        if (pa.isObject()) {
            return stays(pa);
        }
        Value pb = rt_.ToPrimitive(b);
        if (pb.isObject()) {
            return stays(pb);
        }
        return greater ? AbstractLess(pb, pa, version()) : AbstractLess(pa, pb, version());
    }

    bool Equals(const Value& a, const Value& b) {
        if (a.isObject() && b.isObject()) {
            return a.asObject() == b.asObject();
        }
        if (a.isObject()) {
            Value pa = rt_.ToPrimitive(a);
            return !pa.isObject() && AbstractEquals(pa, b, version());
        }
        if (b.isObject()) {
            Value pb = rt_.ToPrimitive(b);
            return !pb.isObject() && AbstractEquals(a, pb, version());
        }
        return AbstractEquals(a, b, version());
    }

    void SetTarget(const Value& target) {
        // A clip stands for its path, anything else for its text, followed from the clip the code
        // belongs to (so of two clips of one name the first wins). Where that names nothing on
        // the stage, or the code's own clip has gone, the root stands in for variables and
        // timeline actions do nothing.
        Object* found = nullptr;
        Object* clip = target.object();
        std::string path =
            clip && clip->kind == Kind::Clip ? rt_.Describe(clip) : rt_.ToStr(target);
        if (path.empty()) {
            found = a_.base;
        } else if (!Gone(a_.base)) {
            found = ResolveFrom(a_.base, path).object();
        }
        if (found && found->kind != Kind::Clip) {
            found = nullptr;
        }
        if (!found && clip && clip->kind == Kind::Clip && !Gone(a_.base)) {
            found = clip; // on the stage, though its path leads nowhere from here
        }
        a_.targetLost = !found || Gone(found);
        a_.target = a_.targetLost ? rt_.root_ : found;
    }

    Runtime& rt_;
    Activation& a_;
    unsigned seenRemovals_ = rt_.clipsRemoved;
};

namespace {

struct ActivationGuard {
    std::vector<Activation*>& list;
    ActivationGuard(std::vector<Activation*>& l, Activation* a) : list(l) { list.push_back(a); }
    ~ActivationGuard() { list.pop_back(); }
};

} // namespace

void Runtime::RunBlock(const std::vector<std::uint8_t>& bytes, Object* clip) {
    // A loaded movie's code follows its own version's rules, whatever the first movie's.
    VersionScope versionScope(*this, VersionOf(clip));
    Activation a;
    a.code = std::make_shared<Code>(Code{bytes, version_});
    Scope* globalScope = heap_.Make<Scope>();
    globalScope->object = global_;
    Scope* clipScope = heap_.Make<Scope>();
    clipScope->object = clip;
    clipScope->parent = globalScope;
    clipScope->kind = Scope::Kind::Target;
    a.scope = clipScope;
    a.locals = clip;
    a.self = Value(clip);
    a.base = clip;
    a.target = clip;
    a.baseGone = OffStage(clip);
    a.ownRegisters.assign(4, Value()); // every block starts with its four registers empty
    a.registers = &a.ownRegisters;
    // A block run from within another (a frame's scripts called, an initialisation a goto
    // reached) counts against the budget and depth of the one under way.
    bool nested = !activations_.empty();
    if (!nested) {
        BeginBlockBudget();
        callDepth_ = 0;
        accessorDepth_.clear(); // none nested now: only the counts of zero go
        watchDepth_.clear();
    } else if (callDepth_ >= limits_.recursion) {
        Stop("more than " + std::to_string(limits_.recursion) + " levels of recursion");
    }
    callDepth_ += nested ? 1 : 0;
    struct NestGuard {
        std::size_t& depth;
        bool nested;
        ~NestGuard() { depth -= nested ? 1 : 0; }
    } nestGuard{callDepth_, nested};
    ActivationGuard guard(activations_, &a);
    Interpreter interp(*this, a);
    try {
        interp.Run(0, a.code->bytes.size());
    } catch (Thrown& t) {
        Report("uncaught exception: " + ToStr(t.value));
    } catch (StopBlock&) {
        stack_.clear(); // what a stopped block left is not the next one's
        throw;
    }
}

Value Runtime::CallFunction(Object* fn, const Value& self, std::vector<Value>& args, int depth,
                            Object* callerBase) {
    if (!fn || !fn->function) {
        return Value();
    }
    FunctionData& f = *fn->function;
    if (callDepth_ + 1 >= limits_.recursion) {
        Stop("more than " + std::to_string(limits_.recursion) + " levels of recursion");
    }
    ++callDepth_;
    struct DepthGuard {
        std::size_t& d;
        ~DepthGuard() { --d; }
    } depthGuard{callDepth_};
    if (f.native) {
        Activation dummy;
        dummy.base = dummy.target = callerBase ? callerBase : root_;
        dummy.registers = &globalRegisters_;
        // Only the constructor Construct asked for sees the flag, on its entry.
        constructing = pendingConstruct_ == fn;
        pendingConstruct_ = nullptr;
        Value r = f.native(*this, dummy, self, args);
        constructing = false;
        return r;
    }
    const bool forNew = pendingConstruct_ == fn;
    pendingConstruct_ = nullptr;
    constructing = false;
    // A function follows the rules of the movie defining it, whoever calls it; functions came
    // with version 5, so their code follows its rules in older movies too.
    VersionScope versionScope(*this,
                              std::max(f.code && f.code->version ? f.code->version : version_, 5));
    Activation a;
    a.code = f.code;
    a.pool = f.pool;
    a.inFunction = true;
    a.constructing = forNew;
    a.callee = fn;
    a.depth = depth;
    a.self = self;
    // Up to SWF 5 a function acts on the timeline that calls it, later on the one defining it.
    a.base = version_ < 6 && callerBase ? callerBase : f.base ? f.base : root_;
    if (a.base == f.base && OffStage(f.base)) {
        // The defining clip has gone: the function acts on this where it is a clip, else on
        // the caller's timeline.
        Object* self0 = self.object();
        a.base = self0 && self0->kind == Kind::Clip ? self0 : callerBase ? callerBase : root_;
    }
    a.baseGone = OffStage(a.base);
    a.target = a.base;
    Object* locals = heap_.Make<Object>(version_ >= 7);
    a.locals = locals;
    Scope* scope = heap_.Make<Scope>();
    scope->object = locals;
    scope->parent = f.scope;
    scope->kind = Scope::Kind::Local;
    a.scope = scope;
    ActivationGuard guard(activations_, &a);

    Object* arguments = nullptr;
    auto makeArguments = [&] {
        if (!arguments) {
            arguments = NewArray(args);
            arguments->Set("callee", Value(fn), kDontEnum);
            arguments->Set("caller", Value(Null{}), kDontEnum);
        }
        return arguments;
    };
    Object* super = nullptr;
    auto makeSuper = [&]() -> Value {
        if (!self.isObject()) {
            return Value();
        }
        if (!super) {
            super = NewObject(nullptr, Kind::Super);
            super->superThis = self.asObject();
            super->superDepth = depth;
        }
        return Value(super);
    };
    if (f.version2) {
        a.ownRegisters.assign(256, Value());
        a.registers = &a.ownRegisters;
        std::size_t r = 1;
        if (f.flags & kPreloadThis) {
            a.ownRegisters[r++] = self;
        }
        if (f.flags & kPreloadArguments) {
            a.ownRegisters[r++] = Value(makeArguments());
        }
        if (f.flags & kPreloadSuper) {
            a.ownRegisters[r++] = makeSuper();
        }
        if (f.flags & kPreloadRoot) {
            Object* own =
                a.base && a.base->kind == Kind::Clip ? display_.RootOf(a.base->clipId) : nullptr;
            a.ownRegisters[r++] = Value(own ? own : root_);
        }
        if (f.flags & kPreloadParent) {
            // A timeline without a parent takes no register.
            if (Value parent = Get(Value(a.base), "_parent"); parent.isObject()) {
                a.ownRegisters[r++] = parent;
            }
        }
        if (f.flags & kPreloadGlobal) {
            a.ownRegisters[r++] = Value(global_);
        }
        if (!(f.flags & (kSuppressArguments | kPreloadArguments))) {
            locals->Set("arguments", Value(makeArguments()));
        }
        if (!(f.flags & (kSuppressSuper | kPreloadSuper))) {
            locals->Set("super", makeSuper());
        }
        if (!(f.flags & (kSuppressThis | kPreloadThis))) {
            locals->Set("this", self);
        }
    } else {
        a.ownRegisters.assign(4, Value());
        a.registers = &a.ownRegisters;
        locals->Set("this", self);
        locals->Set("arguments", Value(makeArguments()));
        locals->Set("super", makeSuper());
    }
    for (std::size_t i = 0; i < f.params.size(); ++i) {
        Value arg = i < args.size() ? args[i] : Value();
        const auto& [name, reg] = f.params[i];
        if (f.version2 && reg != 0) {
            a.ownRegisters[reg] = std::move(arg);
        } else {
            locals->Set(name, std::move(arg));
        }
    }
    Interpreter interp(*this, a);
    Flow flow = interp.Run(f.start, f.end);
    if (flow.kind == Flow::Kind::Return) {
        return flow.value;
    }
    return Value();
}

} // namespace fw::avm1
