// Object: the root of every prototype chain, with the property attribute functions.

#include "runtime.h"

#include <cmath>

namespace fw::avm1 {
namespace {

Value Construct(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    bool constructing = rt.constructing;
    Value arg = Arg(args, 0);
    if (!arg.isNullish()) {
        return Value(rt.ToObject(arg));
    }
    if (constructing && self.isObject()) {
        return self;
    }
    return Value(rt.NewObject(nullptr)); // called as a function: an object with no prototype
}

Value ToStringFn(Runtime&, Activation&, Value self, std::vector<Value>&) {
    Object* o = self.object();
    if (o && o->function) {
        return Value("[type Function]");
    }
    return Value("[object Object]");
}

Value ValueOf(Runtime&, Activation&, Value self, std::vector<Value>&) {
    return self;
}

Value HasOwnProperty(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    Object* o = self.object();
    if (!o || args.empty()) {
        return Value(false);
    }
    std::string name = rt.ToStr(args[0]);
    if (o->kind == Kind::Array && name == "length") {
        return Value(true);
    }
    return Value(o->FindOwn(name) != nullptr);
}

Value IsPropertyEnumerable(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    Object* o = self.object();
    if (!o || args.empty()) {
        return Value(false);
    }
    const Property* p = o->FindOwn(rt.ToStr(args[0]));
    return Value(p && !(p->flags & kDontEnum));
}

Value IsPrototypeOf(Runtime&, Activation&, Value self, std::vector<Value>& args) {
    Object* o = self.object();
    Object* other = Arg(args, 0).object();
    if (!o || !other) {
        return Value(false);
    }
    int guard = 0;
    for (Object* p = other->proto(); p && guard < 256; p = p->proto(), ++guard) {
        if (p == o) {
            return Value(true);
        }
    }
    return Value(false);
}

Value AddProperty(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    Object* o = self.object();
    if (!o || args.size() < 3) {
        return Value(false);
    }
    std::string name = rt.ToStr(args[0]);
    Object* getter = args[1].object();
    Value setterValue = Arg(args, 2);
    Object* setter = setterValue.object();
    if (name.empty() || !getter || !getter->function) {
        return Value(false);
    }
    if (setter && !setter->function) {
        return Value(false);
    }
    if (!setter && !setterValue.isNull()) {
        return Value(false); // the setter is a function or null
    }
    Property* existing = o->FindOwn(name);
    std::uint16_t flags = existing ? existing->flags : 0;
    // The value held so far stays beside the pair: the array methods read it.
    Property& p = o->Set(name, existing ? existing->value : Value(), flags);
    p.getter = getter;
    p.setter = setter;
    if (!setter) {
        p.flags |= kReadOnly;
    }
    return Value(true);
}

Value Watch(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    Object* o = self.object();
    if (!o || args.size() < 2) {
        return Value(false);
    }
    Object* cb = args[1].object();
    if (!cb || !cb->function) {
        return Value(false);
    }
    std::string name = rt.ToStr(args[0]);
    if (!o->watchers) {
        o->watchers = std::make_unique<std::unordered_map<std::string, Watcher>>();
    }
    (*o->watchers)[o->caseSensitive() ? name : AsciiLower(name)] = Watcher{cb, Arg(args, 2)};
    return Value(true);
}

Value Unwatch(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    Object* o = self.object();
    if (!o || args.empty() || !o->watchers) {
        return Value(false);
    }
    std::string name = rt.ToStr(args[0]);
    return Value(o->watchers->erase(o->caseSensitive() ? name : AsciiLower(name)) > 0);
}

// Movies up to version 6 register their classes apart from later ones, and name the symbols
// without regard to letter case.
Value RegisterClass(Runtime& rt, Activation& caller, Value, std::vector<Value>& args) {
    if (args.size() < 2) {
        return Value(false);
    }
    int base = caller.base && caller.base->kind == Kind::Clip ? caller.base->clipId : -1;
    int version = base >= 0 ? rt.display().SwfVersion(base).value_or(rt.version()) : rt.version();
    const char* name = ClassRegistryName(version);
    Object* registry = rt.global()->Find(name) ? rt.global()->Find(name)->object() : nullptr;
    if (!registry) {
        registry = rt.NewObject(nullptr);
        rt.global()->Set(name, Value(registry), kDontEnum);
    }
    std::string symbol = rt.ToStr(args[0]);
    registry->Set(version < 7 ? AsciiLower(symbol) : symbol, args[1]);
    return Value(true);
}

void SetFlags(Runtime& rt, Object* o, const std::string& name, int set, int clear) {
    Property* p = o->FindOwn(name);
    if (p) {
        p->flags = static_cast<std::uint16_t>((p->flags & ~clear) | set);
    }
    (void)rt;
}

Value AsSetPropFlags(Runtime& rt, Activation&, Value, std::vector<Value>& args) {
    Object* o = Arg(args, 0).object();
    if (!o) {
        return Value();
    }
    int set = static_cast<int>(ToInt32(rt.ToNum(Arg(args, 2))));
    int clear = args.size() > 3 ? static_cast<int>(ToInt32(rt.ToNum(args[3]))) : 0;
    Value names = Arg(args, 1);
    std::vector<std::string> list;
    if (names.isNull()) {
        list = o->Keys();
    } else if (Object* a = names.object(); a && a->kind == Kind::Array) {
        double n = rt.Length(a);
        for (double i = 0; i < n && i < 100000; ++i) {
            list.push_back(rt.ToStr(rt.Element(a, i)));
        }
    } else {
        std::string text = rt.ToStr(names); // any other object gives its text
        std::size_t start = 0;
        while (start <= text.size()) {
            std::size_t comma = text.find(',', start);
            list.push_back(
                text.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
            if (comma == std::string::npos) {
                break;
            }
            start = comma + 1;
        }
    }
    for (const auto& name : list) {
        SetFlags(rt, o, name, set, clear);
    }
    return Value();
}

} // namespace

void InstallObject(Runtime& rt, Object* global) {
    Object* proto = rt.objectProto_;
    Object* ctor = rt.MakeClass("Object", Construct, proto, global);
    rt.Method(proto, "toString", ToStringFn);
    rt.Method(proto, "valueOf", ValueOf);
    // Version 6 brought these: older movies do not see them.
    struct Later {
        const char* name;
        NativeFn fn;
    };
    for (Later m : {Later{"hasOwnProperty", HasOwnProperty},
                    Later{"isPropertyEnumerable", IsPropertyEnumerable},
                    Later{"isPrototypeOf", IsPrototypeOf}}) {
        rt.Method(proto, m.name, m.fn);
        proto->FindOwn(m.name)->flags |= kOnlyFrom6;
    }
    rt.Method(proto, "addProperty", AddProperty);
    rt.Method(proto, "watch", Watch);
    rt.Method(proto, "unwatch", Unwatch);
    rt.Method(ctor, "registerClass", RegisterClass);
    rt.Method(global, "ASSetPropFlags", AsSetPropFlags);
}

} // namespace fw::avm1
