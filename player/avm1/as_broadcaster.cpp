// AsBroadcaster: gives an object a listener list and the methods that message it.

#include "runtime.h"

namespace fw::avm1 {
namespace {

Object* Listeners(Runtime& rt, const Value& self) {
    return rt.Get(self, "_listeners").object();
}

void Replace(Runtime& rt, Object* list, const std::vector<Value>& items) {
    rt.SetLength(list, 0);
    for (std::size_t i = 0; i < items.size(); ++i) {
        rt.ArraySet(list, Runtime::IndexName(static_cast<double>(i)), items[i]);
    }
    rt.SetLength(list, static_cast<double>(items.size()));
}

Value AddListener(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    Object* list = Listeners(rt, self);
    if (!list) {
        return Value(true);
    }
    Value l = Arg(args, 0);
    double n = rt.Length(list);
    std::vector<Value> items;
    for (double i = 0; i < n; ++i) {
        Value item = rt.Element(list, i);
        if (!(item.isObject() || l.isObject() ? StrictEquals(item, l)
                                              : AbstractEquals(item, l, rt.version()))) {
            items.push_back(item);
        }
    }
    items.push_back(l);
    Replace(rt, list, items);
    return Value(true);
}

Value RemoveListener(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    Object* list = Listeners(rt, self);
    if (!list) {
        return Value(false);
    }
    Value l = Arg(args, 0);
    double n = rt.Length(list);
    std::vector<Value> items;
    bool removed = false;
    for (double i = 0; i < n; ++i) {
        Value item = rt.Element(list, i);
        if (!removed && (item.isObject() || l.isObject() ? StrictEquals(item, l)
                                                         : AbstractEquals(item, l, rt.version()))) {
            removed = true;
        } else {
            items.push_back(item);
        }
    }
    Replace(rt, list, items);
    return Value(removed);
}

Value BroadcastMessage(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    Object* list = Listeners(rt, self);
    if (!list || args.empty()) {
        return Value();
    }
    std::string name = rt.ToStr(args[0]);
    std::vector<Value> rest(args.begin() + 1, args.end());
    double n = rt.Length(list);
    std::vector<Value> items;
    for (double i = 0; i < n; ++i) {
        items.push_back(rt.Element(list, i));
    }
    for (const auto& l : items) {
        rt.CallMethod(l, name, rest);
    }
    return Value(!items.empty());
}

void Initialize(Runtime& rt, Object* o, Object* broadcaster) {
    o->Set("_listeners", Value(rt.NewArray()), kDontEnum);
    for (const char* name : {"broadcastMessage", "addListener", "removeListener"}) {
        o->Set(name, rt.Get(Value(broadcaster), name), kDontEnum);
    }
}

Value InitializeFn(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    Object* o = Arg(args, 0).object();
    if (o && self.isObject()) {
        Initialize(rt, o, self.asObject());
    }
    return Value();
}

Value Construct(Runtime&, Activation&, Value, std::vector<Value>&) {
    return Value();
}

} // namespace

void InstallBroadcaster(Runtime& rt, Object* global) {
    Object* b = rt.MakeClass("AsBroadcaster", Construct, rt.NewPlain(), global);
    rt.Method(b, "initialize", InitializeFn);
    rt.Method(b, "addListener", AddListener);
    rt.Method(b, "removeListener", RemoveListener);
    rt.Method(b, "broadcastMessage", BroadcastMessage);
}

} // namespace fw::avm1
