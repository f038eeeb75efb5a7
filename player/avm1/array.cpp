// Array: elements are properties named by their index; length follows the highest.

#include "runtime.h"

#include <algorithm>
#include <cmath>

namespace fw::avm1 {
namespace {

enum SortOption { kCaseInsensitive = 1, kDescending = 2, kUnique = 4, kIndexed = 8, kNumeric = 16 };

constexpr double kMaxItems = 1 << 20;

// An element as the array methods see it: the object's own slot, neither inherited nor asked
// of a getter (addProperty leaves the slot's last value beside the pair).
Value Slot(Runtime& rt, Object* o, double i) {
    const Property* p = rt.FindVisible(o, Runtime::IndexName(i));
    return p ? p->value : Value();
}

std::vector<Value> Items(Runtime& rt, Object* o) {
    std::vector<Value> out;
    double n = std::min(rt.Length(o), kMaxItems);
    for (double i = 0; i < n; ++i) {
        out.push_back(Slot(rt, o, i));
    }
    return out;
}

void SetItems(Runtime& rt, Object* o, const std::vector<Value>& items) {
    double old = rt.Length(o);
    for (std::size_t i = 0; i < items.size(); ++i) {
        rt.ArraySet(o, Runtime::IndexName(static_cast<double>(i)), items[i]);
    }
    for (double i = static_cast<double>(items.size()); i < old && i < kMaxItems; ++i) {
        o->Remove(Runtime::IndexName(i));
    }
    o->arrayLength = static_cast<double>(items.size());
}

Object* This(Runtime& rt, const Value& self) {
    Object* o = self.object();
    (void)rt;
    return o;
}

Value Construct(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    bool constructing = rt.constructing;
    Object* a = constructing && self.isObject() ? self.asObject() : rt.NewArray();
    a->kind = Kind::Array;
    if (args.size() == 1 && args[0].isNumber()) {
        double n = args[0].asNumber();
        // The length is taken as a 32-bit integer, negative ones included.
        a->arrayLength = static_cast<double>(ToInt32(n));
    } else {
        SetItems(rt, a, args);
    }
    return Value(a);
}

Value Push(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    Object* a = This(rt, self);
    if (!a) {
        return Value();
    }
    double n = rt.Length(a);
    for (const auto& v : args) {
        rt.ArraySet(a, Runtime::IndexName(n), v);
        n += 1;
    }
    rt.SetLength(a, n);
    return Value(n);
}

Value Pop(Runtime& rt, Activation&, Value self, std::vector<Value>&) {
    Object* a = This(rt, self);
    if (!a) {
        return Value();
    }
    double n = rt.Length(a);
    if (n <= 0) {
        return Value();
    }
    Value last = Slot(rt, a, n - 1);
    a->Remove(Runtime::IndexName(n - 1));
    rt.SetLength(a, n - 1);
    return last;
}

Value Shift(Runtime& rt, Activation&, Value self, std::vector<Value>&) {
    Object* a = This(rt, self);
    if (!a) {
        return Value();
    }
    std::vector<Value> items = Items(rt, a);
    if (items.empty()) {
        return Value();
    }
    Value first = items.front();
    items.erase(items.begin());
    SetItems(rt, a, items);
    return first;
}

Value Unshift(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    Object* a = This(rt, self);
    if (!a) {
        return Value();
    }
    std::vector<Value> items = Items(rt, a);
    items.insert(items.begin(), args.begin(), args.end());
    SetItems(rt, a, items);
    return Value(static_cast<double>(items.size()));
}

double Clamp(Runtime& rt, const Value& v, double length, double fallback) {
    if (v.isUndefined()) {
        return fallback;
    }
    double i = rt.ToNum(v);
    if (std::isnan(i)) {
        i = 0;
    }
    i = std::trunc(i);
    if (i < 0) {
        i = std::max(length + i, 0.0);
    }
    return std::min(i, length);
}

Value Slice(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    Object* a = This(rt, self);
    if (!a) {
        return Value();
    }
    std::vector<Value> items = Items(rt, a);
    double len = static_cast<double>(items.size());
    double start = Clamp(rt, Arg(args, 0), len, 0);
    double end = Clamp(rt, Arg(args, 1), len, len);
    std::vector<Value> out;
    for (double i = start; i < end; ++i) {
        out.push_back(items[static_cast<std::size_t>(i)]);
    }
    return Value(rt.NewArray(out));
}

Value Splice(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    Object* a = This(rt, self);
    if (!a || args.empty()) {
        return Value();
    }
    std::vector<Value> items = Items(rt, a);
    double len = static_cast<double>(items.size());
    double start = Clamp(rt, args[0], len, 0);
    double count = len - start;
    if (args.size() > 1) {
        double c = rt.ToNum(args[1]);
        count = std::isnan(c) ? 0 : std::clamp(std::trunc(c), 0.0, len - start);
    }
    auto first = items.begin() + static_cast<std::ptrdiff_t>(start);
    std::vector<Value> removed(first, first + static_cast<std::ptrdiff_t>(count));
    items.erase(first, first + static_cast<std::ptrdiff_t>(count));
    if (args.size() > 2) {
        items.insert(items.begin() + static_cast<std::ptrdiff_t>(start), args.begin() + 2,
                     args.end());
    }
    SetItems(rt, a, items);
    return Value(rt.NewArray(removed));
}

Value Concat(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    Object* a = This(rt, self);
    std::vector<Value> items = a ? Items(rt, a) : std::vector<Value>{};
    for (const auto& v : args) {
        Object* o = v.object();
        if (o && o->kind == Kind::Array) {
            auto more = Items(rt, o);
            items.insert(items.end(), more.begin(), more.end());
        } else {
            items.push_back(v);
        }
    }
    return Value(rt.NewArray(items));
}

Value Join(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    Object* a = This(rt, self);
    if (!a) {
        return Value();
    }
    std::string sep = args.empty() || args[0].isUndefined() ? "," : rt.ToStr(args[0]);
    std::string out;
    double n = std::min(rt.Length(a), kMaxItems);
    for (double i = 0; i < n; ++i) {
        if (i > 0) {
            out += sep;
        }
        out += rt.ToStr(Slot(rt, a, i));
        if (out.size() > rt.limits().stringBytes) {
            rt.Stop("text longer than " + std::to_string(rt.limits().stringBytes) + " bytes");
        }
    }
    return rt.Text(std::move(out));
}

Value ToStringFn(Runtime& rt, Activation& act, Value self, std::vector<Value>&) {
    std::vector<Value> none;
    return Join(rt, act, self, none);
}

Value Reverse(Runtime& rt, Activation&, Value self, std::vector<Value>&) {
    Object* a = This(rt, self);
    if (!a) {
        return Value();
    }
    // Each pair is swapped by deleting and setting again: the swapped elements move to the end
    // of for-in's order and lose their attributes, unless they cannot be deleted.
    auto put = [&](double i, const Value& v) {
        std::string name = Runtime::IndexName(i);
        Property* p = a->FindOwn(name);
        if (p && !(p->flags & kDontDelete)) {
            a->Remove(name);
            p = nullptr;
        }
        if (!p) {
            a->Set(name, v);
        } else if (!(p->flags & kReadOnly)) {
            p->value = v;
        }
    };
    double n = std::min(rt.Length(a), kMaxItems);
    for (double i = 0, j = n - 1; i < j; ++i, --j) {
        Value low = Slot(rt, a, i);
        Value high = Slot(rt, a, j);
        put(i, high);
        put(j, low);
    }
    return self;
}

// Compares two values by the sort options; <0, 0 or >0.
int Compare(Runtime& rt, const Value& x, const Value& y, int options) {
    if (options & kNumeric) {
        double a = rt.ToNum(x);
        double b = rt.ToNum(y);
        if (std::isnan(a) || std::isnan(b)) {
            // Not numbers: as texts.
        } else {
            return a < b ? -1 : a > b ? 1 : 0;
        }
    }
    std::string a = rt.ToStr(x);
    std::string b = rt.ToStr(y);
    if (options & kCaseInsensitive) {
        a = AsciiLower(a);
        b = AsciiLower(b);
    }
    return a < b ? -1 : a > b ? 1 : 0;
}

Value FinishSort(Runtime& rt, Object* a, std::vector<std::size_t>& order,
                 const std::vector<Value>& items, int options, bool equalSeen) {
    if ((options & kUnique) && equalSeen) {
        return Value(0);
    }
    if (options & kIndexed) {
        std::vector<Value> idx;
        for (auto i : order) {
            idx.push_back(Value(static_cast<double>(i)));
        }
        return Value(rt.NewArray(idx));
    }
    std::vector<Value> sorted;
    for (auto i : order) {
        sorted.push_back(items[i]);
    }
    SetItems(rt, a, sorted);
    return Value(a);
}

Value Sort(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    Object* a = This(rt, self);
    if (!a) {
        return Value();
    }
    Value compare;
    int options = 0;
    std::size_t next = 0;
    if (!args.empty() && rt.IsCallable(args[0])) {
        compare = args[0];
        next = 1;
    }
    if (args.size() > next) {
        options = static_cast<int>(ToInt32(rt.ToNum(args[next])));
    }
    std::vector<Value> items = Items(rt, a);
    std::vector<std::size_t> order(items.size());
    for (std::size_t i = 0; i < order.size(); ++i) {
        order[i] = i;
    }
    bool equalSeen = false;
    auto cmp = [&](std::size_t i, std::size_t j) {
        int c;
        if (!compare.isUndefined()) {
            double r = rt.ToNum(rt.Call(compare, Value(), {items[i], items[j]}));
            c = std::isnan(r) ? 0 : (r < 0 ? -1 : r > 0 ? 1 : 0);
        } else {
            c = Compare(rt, items[i], items[j], options);
        }
        if (c == 0 && i != j) {
            equalSeen = true;
        }
        if (options & kDescending) {
            c = -c;
        }
        return c < 0;
    };
    std::stable_sort(order.begin(), order.end(), cmp);
    return FinishSort(rt, a, order, items, options, equalSeen);
}

Value SortOn(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    Object* a = This(rt, self);
    if (!a || args.empty()) {
        return self;
    }
    std::vector<std::string> fields;
    std::vector<int> fieldOptions;
    if (Object* list = args[0].object(); list && list->kind == Kind::Array) {
        for (const auto& f : Items(rt, list)) {
            fields.push_back(rt.ToStr(f));
        }
    } else {
        fields.push_back(rt.ToStr(args[0]));
    }
    int options = 0;
    if (args.size() > 1) {
        if (Object* list = args[1].object(); list && list->kind == Kind::Array) {
            for (const auto& f : Items(rt, list)) {
                fieldOptions.push_back(static_cast<int>(ToInt32(rt.ToNum(f))));
            }
            if (fieldOptions.size() != fields.size()) {
                fieldOptions.clear();
            }
        } else {
            options = static_cast<int>(ToInt32(rt.ToNum(args[1])));
        }
    }
    std::vector<Value> items = Items(rt, a);
    std::vector<std::vector<Value>> keys(items.size());
    for (std::size_t i = 0; i < items.size(); ++i) {
        for (const auto& f : fields) {
            keys[i].push_back(items[i].isObject() ? rt.Get(items[i], f) : Value());
        }
    }
    std::vector<std::size_t> order(items.size());
    for (std::size_t i = 0; i < order.size(); ++i) {
        order[i] = i;
    }
    bool equalSeen = false;
    std::stable_sort(order.begin(), order.end(), [&](std::size_t i, std::size_t j) {
        for (std::size_t k = 0; k < fields.size(); ++k) {
            int opt = fieldOptions.empty() ? options : fieldOptions[k];
            int c = Compare(rt, keys[i][k], keys[j][k], opt);
            if (c != 0) {
                return (opt & kDescending) ? c > 0 : c < 0;
            }
        }
        if (i != j) {
            equalSeen = true;
        }
        return false;
    });
    return FinishSort(rt, a, order, items, options, equalSeen);
}

} // namespace

void InstallArray(Runtime& rt, Object* global) {
    Object* proto = rt.NewObject(rt.objectProto_, Kind::Array);
    rt.arrayProto_ = proto;
    Object* ctor = rt.MakeClass("Array", Construct, proto, global);
    rt.Method(proto, "push", Push);
    rt.Method(proto, "pop", Pop);
    rt.Method(proto, "shift", Shift);
    rt.Method(proto, "unshift", Unshift);
    rt.Method(proto, "slice", Slice);
    rt.Method(proto, "splice", Splice);
    rt.Method(proto, "concat", Concat);
    rt.Method(proto, "join", Join);
    rt.Method(proto, "toString", ToStringFn);
    rt.Method(proto, "reverse", Reverse);
    rt.Method(proto, "sort", Sort);
    rt.Method(proto, "sortOn", SortOn);
    const std::pair<const char*, int> constants[] = {
        {"CASEINSENSITIVE", kCaseInsensitive}, {"DESCENDING", kDescending}, {"UNIQUESORT", kUnique},
        {"RETURNINDEXEDARRAY", kIndexed},      {"NUMERIC", kNumeric},
    };
    for (const auto& [name, v] : constants) {
        ctor->Set(name, Value(v), kDontEnum | kDontDelete | kReadOnly);
    }
}

} // namespace fw::avm1
