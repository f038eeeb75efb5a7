#include "runtime.h"

#include <algorithm>
#include <cmath>
#include <utility>
#include <unordered_set>

namespace fw::avm1 {
namespace {

constexpr int kMaxChain = 256;     // prototype chains longer than this are cycles
constexpr int kAccessorDepth = 65; // getters, setters and watchers nested in each other

const char* const kDisplayProperties[] = {
    "_x",           "_y",           "_xscale",       "_yscale",       "_currentframe",
    "_totalframes", "_alpha",       "_visible",      "_width",        "_height",
    "_rotation",    "_target",      "_framesloaded", "_name",         "_droptarget",
    "_url",         "_highquality", "_focusrect",    "_soundbuftime", "_quality",
    "_xmouse",      "_ymouse",
};

} // namespace

int DisplayPropertyIndex(std::string_view name) {
    if (name.empty() || name[0] != '_') {
        return -1;
    }
    std::string lower = AsciiLower(name);
    for (int i = 0; i < 22; ++i) {
        if (lower == kDisplayProperties[i]) {
            return i;
        }
    }
    return -1;
}

Runtime::Runtime(DisplayInterface& display, Limits limits)
    : display_(display), limits_(limits), hostLimits_(limits) {
    Reset(6);
}

void Runtime::SetScriptLimits(int recursion, int seconds) {
    limits_.recursion = hostLimits_.recursion;
    limits_.secondsPerBlock = hostLimits_.secondsPerBlock;
    if (recursion > 0) {
        limits_.recursion = std::min(limits_.recursion, static_cast<std::size_t>(recursion));
    }
    if (seconds > 0) {
        limits_.secondsPerBlock = std::min(limits_.secondsPerBlock, static_cast<double>(seconds));
    }
}

Runtime::~Runtime() = default;

void Runtime::Reset(int version) {
    ++resets_;
    version_ = version;
    heap_.Clear();
    stack_.clear();
    timers_.clear();
    loads_.clear();
    active_.clear();
    nextTimer_ = 1;
    globalRegisters_.assign(4, Value());
    textBytes_ = 0;
    callDepth_ = 0;
    safeCalls_ = 0;
    pinned_.clear();
    collectAt_ = std::min(kFirstCollect, limits_.objects / 2);
    now_ = 0;
    changed_ = true;
    for (auto& set : sets_) {
        set = BuiltinSet();
    }
    set_ = SetOf(version_);
    InstallBuiltins();
    sets_[set_].made = true;
    root_ = NewObject(clipProto_, Kind::Clip);
    root_->clipId = 0;
}

Object* Runtime::*const Runtime::kSetMembers[] = {
    &Runtime::global_,         &Runtime::objectProto_,  &Runtime::functionProto_,
    &Runtime::arrayProto_,     &Runtime::stringProto_,  &Runtime::numberProto_,
    &Runtime::booleanProto_,   &Runtime::dateProto_,    &Runtime::errorProto_,
    &Runtime::clipProto_,      &Runtime::xmlNodeProto_, &Runtime::xmlProto_,
    &Runtime::textFieldProto_, &Runtime::xmlNodeClass_, &Runtime::soundClass_,
    &Runtime::buttonProto_,
};

void Runtime::UseSet(int index) {
    if (index == set_) {
        return;
    }
    BuiltinSet& out = sets_[set_];
    out.objects.clear();
    for (auto member : kSetMembers) {
        out.objects.push_back(this->*member);
    }
    out.objects.insert(out.objects.end(), std::begin(boxClasses_), std::end(boxClasses_));
    auto load = [this](const BuiltinSet& in) {
        std::size_t i = 0;
        for (auto member : kSetMembers) {
            this->*member = in.objects[i++];
        }
        for (Object*& box : boxClasses_) {
            box = in.objects[i++];
        }
    };
    const int previous = set_;
    set_ = index;
    if (sets_[index].made) {
        load(sets_[index]);
        return;
    }
    // There is one keyboard, one pointer and one focus: every movie's Key, Mouse and Selection
    // are the same objects, whose listeners all hear them.
    Object* Runtime::*const shared[] = {&Runtime::keyObject_, &Runtime::mouseObject_,
                                        &Runtime::selectionObject_};
    const char* sharedNames[] = {"Key", "Mouse", "Selection"};
    Object* kept[] = {keyObject_, mouseObject_, selectionObject_};
    auto restore = [&] {
        for (std::size_t i = 0; i < std::size(shared); ++i) {
            this->*shared[i] = kept[i];
        }
    };
    try {
        InstallBuiltins();
    } catch (...) {
        // Over a budget half-way: the set that was stays in use.
        set_ = previous;
        load(sets_[previous]);
        restore();
        throw;
    }
    restore();
    for (std::size_t i = 0; i < std::size(shared); ++i) {
        if (Property* p = global_->FindOwn(sharedNames[i]); p && kept[i]) {
            p->value = Value(kept[i]);
        }
    }
    sets_[index].made = true;
}

Runtime::VersionScope::VersionScope(Runtime& rt, int version)
    : rt_(rt), saved_(rt.version_), resets_(rt.resets_) {
    rt_.version_ = version; // the built-ins made now are that version's
    try {
        rt_.UseSet(SetOf(version));
    } catch (...) {
        rt_.version_ = saved_;
        throw;
    }
}

Runtime::VersionScope::~VersionScope() {
    if (rt_.resets_ != resets_) {
        return;
    }
    rt_.version_ = saved_;
    rt_.UseSet(SetOf(saved_));
}

Object* Runtime::GlobalFor(int version) {
    VersionScope scope(*this, version);
    return global_;
}

Object* Runtime::ClipProtoFor(int version) {
    VersionScope scope(*this, version);
    return clipProto_;
}

int Runtime::VersionOf(const Object* clip) {
    if (!clip || clip->kind != Kind::Clip) {
        return version_;
    }
    auto v = display_.SwfVersion(clip->clipId);
    return v && *v > 0 ? *v : version_;
}

void Runtime::InstallBuiltins() {
    for (auto member : kSetMembers) {
        this->*member = nullptr;
    }
    std::fill(std::begin(boxClasses_), std::end(boxClasses_), nullptr);
    objectProto_ = heap_.Make<Object>(version_ >= 7);
    functionProto_ = NewObject(objectProto_);
    global_ = NewObject(nullptr); // bare: no prototype, so no valueOf or toString
    InstallObject(*this, global_);
    InstallFunction(*this, global_);
    InstallArray(*this, global_);
    InstallString(*this, global_);
    InstallNumber(*this, global_);
    InstallBoolean(*this, global_);
    InstallMath(*this, global_);
    InstallDate(*this, global_);
    InstallError(*this, global_);
    InstallGlobals(*this, global_);
    InstallBroadcaster(*this, global_);
    InstallMovieClip(*this, global_);
    InstallLoading(*this, global_);
    InstallSystem(*this, global_);
    InstallXml(*this, global_);
    InstallLoadVars(*this, global_);
    InstallExternalInterface(*this, global_);
    InstallNetConnection(*this, global_);
    InstallContextMenu(*this, global_);
    InstallSound(*this, global_);
    InstallStage(*this, global_);
    InstallGeom(*this, global_);
    InstallClipGeometry(*this, global_);
    InstallColor(*this, global_);
    InstallBitmapData(*this, global_);
    InstallFilters(*this, global_);
    InstallDrawSettings(*this, global_);
    InstallAbsentServices(*this, global_);
    InstallTextField(*this, global_);
    InstallTextFormat(*this, global_);
    InstallTextSnapshot(*this, global_);
    InstallStyleSheet(*this, global_);
    InstallInput(*this, global_);
    InstallSelection(*this, global_);
    InstallNatives(*this, global_);
    const char* boxes[] = {"String", "Number", "Boolean"};
    for (int i = 0; i < 3; ++i) {
        const Value* c = global_->Find(boxes[i]);
        boxClasses_[i] = c ? c->object() : nullptr;
    }
}

void Runtime::Collect() {
    std::vector<Cell*> roots{global_, root_, objectProto_, functionProto_};
    std::vector<const Value*> values;
    for (const auto& v : stack_) {
        values.push_back(&v);
    }
    for (const auto& v : globalRegisters_) {
        values.push_back(&v);
    }
    for (const auto& v : pinned_) {
        values.push_back(&v);
    }
    for (const auto& [id, t] : timers_) {
        values.push_back(&t.fn);
        values.push_back(&t.self);
        for (const auto& a : t.args) {
            values.push_back(&a);
        }
    }
    for (const auto& load : loads_) {
        values.push_back(&load.target);
    }
    roots.insert(roots.end(), active_.begin(), active_.end());
    for (Activation* a : activations_) {
        roots.push_back(a->scope);
        roots.push_back(a->locals);
        roots.push_back(a->base);
        roots.push_back(a->target);
        roots.push_back(a->callee);
        values.push_back(&a->self);
        for (const auto& v : a->ownRegisters) {
            values.push_back(&v);
        }
    }
    for (Object* p : {arrayProto_, stringProto_, numberProto_, booleanProto_, dateProto_,
                      errorProto_, clipProto_, xmlNodeProto_, xmlProto_, xmlNodeClass_, soundClass_,
                      textFieldProto_, keyObject_, mouseObject_, buttonProto_, selectionObject_,
                      boxClasses_[0], boxClasses_[1], boxClasses_[2]}) {
        roots.push_back(p);
    }
    for (const BuiltinSet& set : sets_) {
        roots.insert(roots.end(), set.objects.begin(), set.objects.end());
    }
    display_.Roots(roots);
    roots.erase(std::remove(roots.begin(), roots.end(), nullptr), roots.end());
    heap_.Collect(roots, values);
    changed_ = false;
    keptCount_ = heap_.count();
    quietFrames_ = 0;
}

void Runtime::CollectBetweenFrames() {
    // Only a collection makes the heap smaller, so a size unchanged since means nothing was made.
    if (!changed_ && heap_.count() == keptCount_ && ++quietFrames_ < kQuietCollectEvery) {
        return;
    }
    Collect();
}

void Runtime::CollectWithinBlock() {
    Collect();
    changed_ = true; // the rest of the block may drop more without making anything
    // The next one when the heap has doubled; none more in this block once what lives nears the
    // budget, where the budget's own stop is near anyway.
    std::size_t live = heap_.count();
    std::size_t ceiling = limits_.objects - limits_.objects / 10;
    collectAt_ = std::max(std::min(kFirstCollect, limits_.objects / 2), live * 2);
    if (collectAt_ > ceiling) {
        collectAt_ = live + 1000 < ceiling ? ceiling : limits_.objects + 1;
    }
}

Object* Runtime::NewObject(Object* proto, Kind kind) {
    if (heap_.count() >= limits_.objects) {
        Stop("more than " + std::to_string(limits_.objects) + " objects");
    }
    auto* o = heap_.Make<Object>(version_ >= 7, kind);
    if (proto) {
        o->Set("__proto__", Value(proto), kDontEnum | kDontDelete);
    }
    return o;
}

Object* Runtime::NewArray(const std::vector<Value>& items) {
    Object* a = NewObject(arrayProto_, Kind::Array);
    for (std::size_t i = 0; i < items.size(); ++i) {
        a->Set(IndexName(static_cast<double>(i)), items[i]);
    }
    a->arrayLength = static_cast<double>(items.size());
    return a;
}

Object* Runtime::NewFunction(NativeFn fn, int tag, Object* prototype) {
    Object* f = NewObject(functionProto_, Kind::Function);
    f->function = std::make_unique<FunctionData>();
    f->function->native = fn;
    f->function->tag = tag;
    if (prototype) {
        f->Set("prototype", Value(prototype), kDontEnum | kDontDelete);
        prototype->Set("constructor", Value(f), kDontEnum);
    }
    return f;
}

Object* Runtime::NewError(const std::string& message) {
    Object* e = NewObject(errorProto_, Kind::Error);
    e->Set("message", Value(message));
    return e;
}

Object* Runtime::Method(Object* on, const char* name, NativeFn fn, int tag) {
    Object* f = NewFunction(fn, tag);
    on->Set(name, Value(f), kDontEnum);
    return f;
}

Object* Runtime::MakeClass(const char* name, NativeFn ctor, Object* proto, Object* where) {
    Object* c = NewFunction(ctor, 0, proto);
    (where ? where : global_)->Set(name, Value(c), kDontEnum);
    return c;
}

void Accessor(Runtime& rt, Object* on, const char* name, NativeFn get, NativeFn set) {
    Object* getter = rt.NewFunction(get);
    Object* setter = set ? rt.NewFunction(set) : nullptr;
    Property& p = on->Set(name, Value(), kDontEnum | kDontDelete);
    p.getter = getter;
    p.setter = setter;
}

bool Runtime::IsCallable(const Value& v) const {
    Object* o = v.object();
    return o && o->function;
}

Property* Runtime::FindVisible(Object* o, std::string_view name) {
    Property* p = o->FindOwn(name);
    if (p && version_ >= 7 && !o->caseSensitive() && p->name != name) {
        return nullptr; // an older movie's object, read by later code, which minds the case
    }
    return p && VisibleIn(p->flags, version_) ? p : nullptr;
}

int Runtime::FindDepth(Object* o, std::string_view name) {
    int depth = 0;
    for (Object* p = o; p && depth < kMaxChain; p = p->proto(), ++depth) {
        if (FindVisible(p, name)) {
            return depth;
        }
    }
    return -1;
}

bool Runtime::Has(Object* o, std::string_view name) {
    if (!o) {
        return false;
    }
    if (o->kind == Kind::Clip || o->kind == Kind::Text) {
        if (DisplayPropertyIndex(name) >= 0 || display_.ClipMember(o->clipId, name)) {
            return true;
        }
    }
    if (o->kind == Kind::Array && name == "length") {
        return true;
    }
    return FindDepth(o, name) >= 0;
}

Value Runtime::GetOf(Object* o, std::string_view name, const Value& self, bool resolve) {
    // A clip's own variables come first, then its children and the display's names, then its
    // properties, then what it inherits.
    if ((o->kind == Kind::Clip || o->kind == Kind::Text) && !o->FindOwn(name)) {
        if (Object* member = display_.ClipMember(o->clipId, name)) {
            return Value(member);
        }
        int index = DisplayPropertyIndex(name);
        if (index >= 0) {
            if (auto v = display_.GetDisplayProperty(o->clipId, index)) {
                return *v;
            }
        }
    }
    if (o->kind == Kind::Array && name == "length") {
        const Property* own = o->FindOwn(name);
        if (!own || !own->getter) { // addProperty may put a getter in its place
            return Value(o->arrayLength);
        }
    }
    int depth = 0;
    for (Object* p = o; p; p = p->proto(), ++depth) {
        if (depth >= kMaxChain) {
            Stop("prototype chain longer than " + std::to_string(kMaxChain));
        }
        if (const Property* prop = FindVisible(p, name)) {
            if (prop->getter) {
                int& nested = accessorDepth_[prop->serial];
                if (nested >= kAccessorDepth) {
                    return prop->value; // too deep: the value last written stands in
                }
                Nesting guard(nested);
                return Call(Value(prop->getter), self, {}, depth);
            }
            if (prop->setter && !prop->getter) {
                return Value();
            }
            return prop->value;
        }
    }
    if (resolve && name != "__resolve") {
        // The nearest __resolve held as a plain object answers; primitives, clips and
        // getter/setter pairs are passed over.
        int guard = 0;
        for (Object* p = o; p && guard < kMaxChain; p = p->proto(), ++guard) {
            const Property* prop = FindVisible(p, "__resolve");
            Object* r = prop && !prop->getter && !prop->setter ? prop->value.object() : nullptr;
            if (r && r->kind != Kind::Clip) {
                return r->function ? Call(Value(r), self, {Value(std::string(name))}) : Value();
            }
        }
    }
    return Value();
}

Value Runtime::Get(const Value& object, std::string_view name, bool resolve) {
    if (Object* o = object.object()) {
        return GetOf(o, name, object, resolve);
    }
    if (object.isNullish()) {
        return Value();
    }
    if (auto [box, builtIn] = BoxClass(object); !builtIn) {
        Object* boxed = BoxBy(box, object);
        return boxed ? GetOf(boxed, name, Value(boxed), resolve) : Value();
    }
    if (object.isString() && name == "length") {
        const std::string& s = object.asString();
        return Value(static_cast<double>(ToUtf16(s).size()));
    }
    Object* proto = object.isString()   ? stringProto_
                    : object.isNumber() ? numberProto_
                                        : booleanProto_;
    return proto ? GetOf(proto, name, object, resolve) : Value();
}

std::optional<std::int32_t> Runtime::ArrayIndex(std::string_view name) {
    // Digits with an optional minus, wrapped to 32 bits as they are read: huge names land on
    // small indices as they do in the reference player.
    std::size_t i = !name.empty() && name[0] == '-' ? 1 : 0;
    if (i == name.size()) {
        return std::nullopt;
    }
    std::uint32_t n = 0;
    for (; i < name.size(); ++i) {
        if (name[i] < '0' || name[i] > '9') {
            return std::nullopt;
        }
        n = n * 10 + static_cast<std::uint32_t>(name[i] - '0');
    }
    if (name[0] == '-') {
        n = 0u - n;
    }
    return static_cast<std::int32_t>(n);
}

void Runtime::ArraySet(Object* o, std::string_view name, Value v) {
    if (name == "length") {
        SetLength(o, ToNum(v));
        return;
    }
    o->Set(name, std::move(v));
    if (auto index = ArrayIndex(name); index && *index >= o->arrayLength) {
        SetLength(o, static_cast<double>(static_cast<std::int64_t>(*index) + 1));
    }
}

void Runtime::Put(const Value& object, std::string_view name, Value v) {
    Object* o = object.object();
    if (!o || name.empty()) {
        return; // a property without a name is never set
    }
    changed_ = true;
    if (o->kind == Kind::Clip || o->kind == Kind::Text) {
        int index = DisplayPropertyIndex(name);
        if (index >= 0 && display_.SetDisplayProperty(o->clipId, index, v)) {
            return;
        }
    }
    Property* own = o->FindOwn(name);
    if (own && !VisibleIn(own->flags, version_)) {
        // A write makes a hidden property the movie's own again.
        own->flags &= kDontEnum | kDontDelete | kReadOnly;
        own->getter = own->setter = nullptr;
    }
    Property* accessor = own;
    Object* holder = o;
    int holderDepth = 0; // where the setter sits, for its super
    if (!own) {
        int depth = 1;
        for (Object* p = o->proto(); p && depth < kMaxChain; p = p->proto(), ++depth) {
            Property* q = FindVisible(p, name);
            if (q) {
                if (q->getter || q->setter) {
                    accessor = q;
                    holder = p;
                    holderDepth = depth;
                }
                break;
            }
        }
    }
    if (o->watchers) {
        auto it = o->watchers->find(o->caseSensitive() ? std::string(name) : AsciiLower(name));
        if (it != o->watchers->end() && it->second.callback) {
            Watcher w = it->second;
            // The old value may be inherited.
            Value old = own ? own->value : Value();
            if (!own && accessor == nullptr) {
                int guard = 0;
                for (Object* p = o->proto(); p && guard < kMaxChain; p = p->proto(), ++guard) {
                    if (const Property* q = FindVisible(p, name)) {
                        old = q->value;
                        break;
                    }
                }
            }
            // A watcher shares its count with the property's own getter and setter.
            int& nested =
                own ? accessorDepth_[own->serial]
                    : watchDepth_[{o, o->caseSensitive() ? std::string(name) : AsciiLower(name)}];
            if (nested < kAccessorDepth) {
                Nesting guard(nested);
                try {
                    v = Call(Value(w.callback), object, {Value(std::string(name)), old, v, w.data});
                } catch (Thrown&) {
                    // A watcher that throws leaves the property undefined.
                    if (Property* p = o->FindOwn(name); p && !p->getter && !p->setter) {
                        p->value = Value();
                    }
                    throw;
                }
            }
            own = o->FindOwn(name);
            accessor = own && (own->getter || own->setter) ? own : accessor;
        }
    }
    if (accessor && (accessor->getter || accessor->setter)) {
        int& nested = accessorDepth_[accessor->serial];
        if (accessor->setter && nested < kAccessorDepth) {
            Nesting guard(nested);
            Call(Value(accessor->setter), object, {v}, holderDepth);
        }
        // The written value is kept beside the pair: a getter too deep to run reads it.
        if (Property* again = holder->FindOwn(name); again && (again->getter || again->setter)) {
            again->value = std::move(v);
        }
        return;
    }
    if (own && (own->flags & kReadOnly)) {
        return;
    }
    if (!own && o->size() >= limits_.propertiesPerObject) {
        Stop("more than " + std::to_string(limits_.propertiesPerObject) + " properties");
    }
    if (o->kind == Kind::Array) {
        ArraySet(o, name, std::move(v));
        return;
    }
    if (own) {
        own->value = std::move(v);
        if (name.size() == 9) {
            o->Set(name, own->value, own->flags); // keeps the prototype link in step
        }
    } else {
        o->Set(name, std::move(v));
    }
}

double Runtime::Length(Object* o) {
    if (o->kind == Kind::Array) {
        return o->arrayLength;
    }
    return ToNum(Get(Value(o), "length"));
}

void Runtime::SetLength(Object* o, double n) {
    if (o->kind != Kind::Array) {
        Put(Value(o), "length", Value(n));
        return;
    }
    if (std::isnan(n)) {
        return;
    }
    // The length is a 32-bit integer; shrinking drops the elements it no longer covers.
    double length = static_cast<double>(ToInt32(n));
    if (length < o->arrayLength) {
        double from = std::max(length, 0.0);
        for (const auto& key : o->Keys()) {
            auto i = ArrayIndex(key);
            if (i && *i >= from && *i < o->arrayLength) {
                o->Remove(key);
            }
        }
    }
    o->arrayLength = length;
}

Value Runtime::ToPrimitive(const Value& v, Hint hint) {
    Object* o = v.object();
    if (!o) {
        return v;
    }
    // The method missing, there is no primitive; an object it answers leaves the original to be
    // read again.
    bool text =
        hint == Hint::Text || (hint == Hint::Default && o->kind == Kind::Date && version_ >= 6);
    Value method = Get(v, text ? "toString" : "valueOf", false);
    if (!IsCallable(method)) {
        return Value();
    }
    Value r = Call(method, v, {});
    return r.isObject() ? v : r;
}

double Runtime::ToNum(const Value& v) {
    if (!v.isObject()) {
        return ToNumber(v, version_);
    }
    Value p = ToPrimitive(v, Hint::Number);
    return p.isObject() ? std::nan("") : ToNumber(p, version_);
}

std::string Runtime::ToStr(const Value& v) {
    Object* o = v.object();
    if (!o) {
        return ToString(v, version_);
    }
    Value self = v;
    Value toString;
    if (o->kind == Kind::Super && o->superThis) {
        // super stands for its object as the parent class sees it.
        Object* start = o->superThis;
        for (int i = 0; i <= o->superDepth && start; ++i) {
            start = start->proto();
        }
        toString = start ? GetOf(start, "toString", Value(o->superThis), false) : Value();
        // A script's method acts on the object; a built-in one sees a plain object.
        Object* fn = toString.object();
        if (fn && fn->function && !fn->function->native) {
            self = Value(o->superThis);
        }
    } else {
        toString = Get(v, "toString", false);
    }
    if (IsCallable(toString)) {
        Value r = Call(toString, self, {});
        if (r.isString()) {
            return r.asString();
        }
    }
    return o->function ? "[type Function]" : "[type Object]";
}

std::pair<Value, bool> Runtime::BoxClass(const Value& v) {
    const int i = v.isString() ? 0 : v.isNumber() ? 1 : 2;
    static constexpr const char* kNames[] = {"String", "Number", "Boolean"};
    // The global object's own plain property is the common case; a getter, an inherited one or
    // none at all asks the full lookup, which never goes to __resolve.
    const Property* own = FindVisible(global_, kNames[i]);
    if (own && !own->getter && boxClasses_[i] && own->value.object() == boxClasses_[i]) {
        return {own->value, true};
    }
    return {GetOf(global_, kNames[i], Value(global_), false), false};
}

Object* Runtime::BoxBy(const Value& box, const Value& v) {
    // A class of the movie's own boxes by being constructed, its answer ignored.
    Pin pin(*this, box);
    return Construct(box, {v}).object();
}

Object* Runtime::ToObject(const Value& v) {
    if (Object* o = v.object()) {
        return o;
    }
    if (v.isNullish()) {
        return nullptr;
    }
    auto [box, builtIn] = BoxClass(v);
    if (!builtIn) {
        return BoxBy(box, v);
    }
    Kind kind = v.isString() ? Kind::String : v.isNumber() ? Kind::Number : Kind::Boolean;
    Object* proto = v.isString() ? stringProto_ : v.isNumber() ? numberProto_ : booleanProto_;
    Object* o = NewObject(proto, kind);
    o->primitive = v;
    if (v.isString()) {
        o->Set("length", Value(static_cast<double>(ToUtf16(v.asString()).size())),
               kDontEnum | kDontDelete);
    }
    return o;
}

Value Runtime::StoredPrototype(Object* ctor) {
    const Property* own = ctor ? ctor->FindOwn("prototype") : nullptr;
    return own ? own->value : Value();
}

bool Runtime::InstanceOf(const Value& v, Object* ctor) {
    ctor = Live(ctor);
    if (!v.isObject() || !ctor) {
        return false;
    }
    // The prototype is boxed even for a clip that has left the stage, which is no instance.
    // A clip as the prototype never matches: its object is not what the chain holds.
    Object* target = ToObject(StoredPrototype(ctor));
    Object* o = Live(v.object());
    if (!o || !target || target->kind == Kind::Clip) {
        return false;
    }
    int depth = 0;
    std::vector<Object*> pending;
    for (Object* p = o->proto(); p && depth < kMaxChain; p = p->proto(), ++depth) {
        if (p == target) {
            return true;
        }
        // The interfaces a prototype implements, and theirs, but not what those inherit.
        pending.assign(p->interfaces.begin(), p->interfaces.end());
        int guard = 0;
        while (!pending.empty() && ++guard < 1000) {
            Object* i = pending.back();
            pending.pop_back();
            if (i == target) {
                return true;
            }
            pending.insert(pending.end(), i->interfaces.begin(), i->interfaces.end());
        }
    }
    return false;
}

Value Runtime::Text(std::string s) {
    if (s.size() > limits_.stringBytes) {
        Stop("text longer than " + std::to_string(limits_.stringBytes) + " bytes");
    }
    return Value(std::move(s));
}

Value Runtime::CallMethod(const Value& object, std::string_view name, std::vector<Value> args) {
    if (name.empty()) {
        return Call(object, Value(), std::move(args)); // no name: the object itself is called
    }
    Value fn = Get(object, name);
    return Call(fn, object, std::move(args));
}

Value Runtime::Call(const Value& fn, const Value& self, std::vector<Value> args, int depth) {
    Object* f = fn.object();
    if (!f || !f->function) {
        return Value();
    }
    changed_ = true; // a built-in called by the host makes nothing, yet may drop values
    return CallFunction(f, self, args, depth, nullptr);
}

Value Runtime::Construct(const Value& ctor, std::vector<Value> args, bool scriptCall) {
    Object* c = ctor.object();
    if (!c || !c->function) {
        return Value();
    }
    Value protoValue = Get(ctor, "prototype");
    Object* o = NewObject(protoValue.object());
    if (!protoValue.isObject() && !protoValue.isUndefined()) {
        o->Set("__proto__", protoValue, kDontEnum | kDontDelete); // a primitive one stays as is
    }
    o->Set("__constructor__", ctor, kDontEnum);
    if (version_ < 7) {
        o->Set("constructor", ctor, kDontEnum);
    }
    pendingConstruct_ = c;
    SafeCall safe(*this, scriptCall);
    constructFailed = false;
    Value r = CallFunction(c, Value(o), args, 1, nullptr);
    if (std::exchange(constructFailed, false)) {
        return Value();
    }
    // Native classes may answer an object of their own making.
    if (c->function->native && r.isObject()) {
        return r;
    }
    return Value(o);
}

std::string Runtime::Describe(Object* o) {
    if (o && o->kind == Kind::Clip && OffStage(o)) {
        o = Live(o);
        if (!o) {
            return std::string();
        }
    }
    // The display's own path names every clip on the way, buttons without objects included.
    if (auto target = o ? display_.GetDisplayProperty(o->clipId, 11) : std::nullopt;
        target && target->isString() && !target->asString().empty()) {
        std::string path = target->asString();
        path = path[0] == '/' ? "_level0" + (path == "/" ? std::string() : path) : path;
        std::replace(path.begin(), path.end(), '/', '.');
        return path;
    }
    std::vector<std::string> names;
    for (int i = 0; o && o != root_ && i < kMaxChain; ++i) {
        auto name = display_.GetDisplayProperty(o->clipId, 13);
        if (!name || !name->isString()) {
            break;
        }
        names.push_back(name->asString());
        o = display_.ClipMember(o->clipId, "_parent");
    }
    std::string path = "_level0";
    if (!o && !names.empty()) {
        path = names.back(); // a level's root is named by its number
        names.pop_back();
    }
    for (auto it = names.rbegin(); it != names.rend(); ++it) {
        path += "." + *it;
    }
    return path;
}

std::vector<std::string> Runtime::EnumerateKeys(Object* o) {
    std::vector<std::string> out;
    std::unordered_set<std::string> seen;
    // A nearer object's names hide a farther one's, but the farther ones come first.
    std::vector<std::vector<std::string>> levels;
    int depth = 0;
    for (Object* p = o; p && depth < kMaxChain; p = p->proto(), ++depth) {
        std::vector<const Property*> props;
        p->ForEach([&](const Property& prop) { props.push_back(&prop); });
        auto& level = levels.emplace_back();
        for (auto it = props.rbegin(); it != props.rend(); ++it) {
            const Property* prop = *it;
            std::string key = o->caseSensitive() ? prop->name : AsciiLower(prop->name);
            if (!seen.insert(key).second) {
                continue;
            }
            if (!(prop->flags & kDontEnum)) {
                level.push_back(prop->name);
            }
        }
    }
    for (auto it = levels.rbegin(); it != levels.rend(); ++it) {
        out.insert(out.end(), it->begin(), it->end());
    }
    if (o->kind == Kind::Clip) {
        for (auto& name : display_.ChildNames(o->clipId)) {
            std::string key = o->caseSensitive() ? name : AsciiLower(name);
            if (seen.insert(key).second) {
                out.push_back(std::move(name));
            }
        }
    }
    return out;
}

Value Runtime::ResolveHead(std::string_view head) {
    // Walks the head from the root: parts are members, the root names lead to the root.
    Value at(root_);
    std::size_t start = 0;
    while (start <= head.size()) {
        std::size_t sep = head.find_first_of("./:", start);
        std::string_view part = head.substr(
            start, sep == std::string_view::npos ? std::string_view::npos : sep - start);
        if (!part.empty()) {
            std::string lower = AsciiLower(part);
            if (lower == "_root" || lower == "_level0" || lower == "this") {
                Value own = Get(at, part);
                at = own.isObject() ? own : Value(root_);
            } else {
                at = Get(at, part);
            }
            if (!at.isObject()) {
                return Value();
            }
        }
        if (sep == std::string_view::npos) {
            break;
        }
        start = sep + 1;
    }
    return at;
}

Value Runtime::GetPath(std::string_view path) {
    if (path.find_first_of(".:/") == std::string_view::npos) {
        std::string lower = AsciiLower(path);
        if ((lower == "_root" || lower == "_level0") && !root_->FindOwn(path)) {
            return Value(root_);
        }
        return Get(Value(root_), path);
    }
    std::size_t colon = path.rfind(':');
    if (colon == std::string_view::npos) {
        colon = path.rfind('.');
    }
    if (colon == std::string_view::npos) {
        return ResolveHead(path);
    }
    Value at = ResolveHead(path.substr(0, colon));
    std::string_view name = path.substr(colon + 1);
    if (!at.isObject()) {
        return Value();
    }
    if (name.empty()) {
        return at;
    }
    std::string lower = AsciiLower(name);
    if ((lower == "_root" || lower == "_level0") && !at.asObject()->FindOwn(name)) {
        return Value(root_);
    }
    return Get(at, name);
}

bool Runtime::SetPath(std::string_view path, Value v) {
    std::size_t sep = path.rfind(':');
    if (sep == std::string_view::npos) {
        sep = path.rfind('.');
    }
    Value target(root_);
    std::string_view name = path;
    if (sep != std::string_view::npos) {
        target = ResolveHead(path.substr(0, sep));
        name = path.substr(sep + 1);
    }
    if (!target.isObject() || name.empty()) {
        return false;
    }
    Put(target, name, std::move(v));
    return true;
}

} // namespace fw::avm1
