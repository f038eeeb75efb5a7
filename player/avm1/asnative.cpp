// The numbered table of native functions (ASnative) and the two helpers that install its
// entries on objects by name: ASSetNative for methods, ASSetNativeAccessor for properties
// whose getter and setter are neighbouring entries.

#include "runtime.h"

#include <cmath>
#include <map>
#include <utility>

namespace fw::avm1 {

// The entries of the table, taken from the built-ins as installed (before any script can
// replace them), with what ASnative answered before for the categories not listed here.
struct NativeTable {
    struct Entry {
        NativeFn fn = nullptr;
        int tag = 0;
    };
    std::map<std::pair<int, int>, Entry> entries;
    Entry fallback;
};

namespace {

using Entry = NativeTable::Entry;

// Where a category's entries live among the built-ins: methods of an object, numbered from
// `first`; or accessors, each taking a getter and a setter number.
struct Category {
    int number;
    const char* path; // dotted, from the global object
    const char* names;
    int first;
    bool accessors;
};

const Category kCategories[] = {
    {103, "Date.prototype",
     "getFullYear,getYear,getMonth,getDate,getDay,getHours,getMinutes,getSeconds,"
     "getMilliseconds,setFullYear,setMonth,setDate,setHours,setMinutes,setSeconds,"
     "setMilliseconds,getTime,setTime,getTimezoneOffset,toString,setYear",
     0, false},
    {103, "Date", "UTC", 257, false},
    {1109, "flash.filters.ConvolutionFilter.prototype",
     "matrixX,matrixY,matrix,divisor,bias,preserveAlpha,clamp,color,alpha", 1, true},
};

std::vector<std::string> Split(const std::string& s, char separator) {
    std::vector<std::string> out(1);
    for (char c : s) {
        if (c == separator) {
            out.emplace_back();
        } else {
            out.back() += c;
        }
    }
    return out;
}

Object* Walk(Runtime& rt, Object* o, const char* path) {
    for (const std::string& part : Split(path, '.')) {
        o = o ? rt.GetOf(o, part, Value(o), false).object() : nullptr;
    }
    return o;
}

Entry EntryOf(const Object* fn) {
    return fn && fn->function && fn->function->native
               ? Entry{fn->function->native, fn->function->tag}
               : Entry{};
}

Value AsNew(Runtime& rt, Activation&, Value, std::vector<Value>&) {
    return Value(rt.CallerConstructing());
}

Value Native(Runtime& rt, const NativeTable& table, double category, double index) {
    if (!std::isfinite(category) || !std::isfinite(index)) {
        return Value();
    }
    auto key = std::make_pair(static_cast<int>(category), static_cast<int>(index));
    if (auto it = table.entries.find(key); it != table.entries.end()) {
        return Value(rt.NewFunction(it->second.fn, it->second.tag));
    }
    if (!table.fallback.fn) {
        return Value();
    }
    Activation none;
    std::vector<Value> args{Value(category), Value(index)};
    return table.fallback.fn(rt, none, Value(), args);
}

Value AsNative(Runtime& rt, Activation&, Value, std::vector<Value>& args) {
    const NativeTable* table = rt.natives.get();
    double category = rt.ToNum(Arg(args, 0));
    double index = rt.ToNum(Arg(args, 1));
    return table ? Native(rt, *table, category, index) : Value();
}

// A leading version mark hides the property from movies older than that version; a leading
// 1 not followed by 0 is dropped.
std::uint16_t VersionMark(std::string& name) {
    static const std::uint16_t kFrom[] = {kOnlyFrom6, kOnlyFrom7, kOnlyFrom8, kOnlyFrom9};
    if (name.empty()) {
        return 0;
    }
    if (name[0] >= '6' && name[0] <= '9') {
        std::uint16_t mark = kFrom[name[0] - '6'];
        name.erase(0, 1);
        return mark;
    }
    if (name[0] != '1') {
        return 0;
    }
    bool ten = name.size() > 1 && name[1] == '0';
    name.erase(0, ten ? 2 : 1);
    return ten ? kOnlyFrom10 : 0;
}

template <bool Accessors>
Value SetNative(Runtime& rt, Activation&, Value, std::vector<Value>& args) {
    Object* o = Arg(args, 0).object();
    const NativeTable* table = rt.natives.get();
    if (!o || args.size() < 3 || !table) {
        return Value();
    }
    double category = rt.ToNum(args[1]);
    std::string names = rt.ToStr(args[2]);
    double index = args.size() > 3 ? std::trunc(rt.ToNum(args[3])) : 0;
    if (!std::isfinite(index)) {
        index = 0;
    }
    for (std::string name : Split(names, ',')) {
        std::uint16_t mark = VersionMark(name);
        if (!name.empty()) {
            if (Accessors) {
                Object* get = Native(rt, *table, category, index).object();
                Object* set = Native(rt, *table, category, index + 1).object();
                Property& p = o->Set(name, Value());
                p.flags = mark;
                p.getter = get;
                p.setter = set;
            } else {
                Value fn = Native(rt, *table, category, index);
                if (o->FindOwn(name)) {
                    o->Set(name, fn);
                } else {
                    o->Set(name, fn, mark);
                }
            }
        }
        index += Accessors ? 2 : 1;
    }
    return Value();
}

} // namespace

void InstallNatives(Runtime& rt, Object* global) {
    auto table = std::make_shared<NativeTable>();
    if (const Value* before = global->Find("ASnative")) {
        table->fallback = EntryOf(before->object());
    }
    table->entries[{2, 0}] = Entry{AsNew, 0};
    for (const Category& c : kCategories) {
        Object* holder = Walk(rt, global, c.path);
        if (!holder) {
            continue;
        }
        int index = c.first;
        for (const std::string& name : Split(c.names, ',')) {
            const Property* p = holder->FindOwn(name);
            if (c.accessors) {
                table->entries[{c.number, index++}] = EntryOf(p ? p->getter : nullptr);
                table->entries[{c.number, index++}] = EntryOf(p ? p->setter : nullptr);
            } else {
                table->entries[{c.number, index++}] = EntryOf(p ? p->value.object() : nullptr);
            }
        }
    }
    rt.natives = std::move(table);
    rt.Method(global, "ASnative", AsNative);
    rt.Method(global, "ASSetNative", SetNative<false>);
    rt.Method(global, "ASSetNativeAccessor", SetNative<true>);
}

} // namespace fw::avm1
