// ContextMenu and ContextMenuItem: what a movie puts in the player's right-click menu. Nothing
// shows the menu here, but the objects behave as the scripts expect, going through the global
// classes and the items' own copy methods as the reference player's do.

#include "runtime.h"

namespace fw::avm1 {
namespace {

// Newest first is the order for-in shows them in.
const char* const kBuiltIns[] = {"print", "forward_back", "rewind", "loop",
                                 "play",  "quality",      "zoom",   "save"};

Object* BuiltIns(Runtime& rt, bool shown) {
    Object* items = rt.NewPlain();
    for (const char* name : kBuiltIns) {
        items->Set(name, Value(shown));
    }
    return items;
}

Value Global(Runtime& rt, const char* name) {
    return rt.Get(Value(rt.global()), name);
}

Value MenuCtor(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    rt.Put(self, "onSelect", Arg(args, 0));
    rt.Put(self, "builtInItems", Value(BuiltIns(rt, true)));
    rt.Put(self, "customItems", rt.Construct(Global(rt, "Array"), {}));
    return Value();
}

Value MenuCopy(Runtime& rt, Activation&, Value self, std::vector<Value>&) {
    Value copy = rt.Construct(Global(rt, "ContextMenu"), {});
    rt.Put(copy, "onSelect", rt.Get(self, "onSelect"));
    rt.Put(copy, "builtInItems", rt.Get(self, "builtInItems")); // shared, not copied
    Value items = rt.Construct(Global(rt, "Array"), {});
    rt.Put(copy, "customItems", items);
    for (double i = 0; i < rt.ToNum(rt.Get(rt.Get(self, "customItems"), "length")); ++i) {
        Value item = rt.Get(rt.Get(self, "customItems"), Runtime::IndexName(i));
        rt.CallMethod(items, "push", {rt.CallMethod(item, "copy", {})});
    }
    return copy;
}

Value HideBuiltInItems(Runtime& rt, Activation&, Value self, std::vector<Value>&) {
    rt.Put(self, "builtInItems", Value(BuiltIns(rt, false)));
    return Value();
}

// Both undefined and null take the default.
Value OrDefault(const Value& v, bool fallback) {
    return v.isNullish() ? Value(fallback) : v;
}

Value ItemCtor(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    rt.Put(self, "caption", Arg(args, 0));
    rt.Put(self, "onSelect", Arg(args, 1));
    rt.Put(self, "separatorBefore", OrDefault(Arg(args, 2), false));
    rt.Put(self, "enabled", OrDefault(Arg(args, 3), true));
    rt.Put(self, "visible", OrDefault(Arg(args, 4), true));
    return Value();
}

Value ItemCopy(Runtime& rt, Activation&, Value self, std::vector<Value>&) {
    Value copy = rt.Construct(Global(rt, "ContextMenuItem"), {});
    for (const char* name : {"caption", "onSelect", "separatorBefore", "enabled", "visible"}) {
        rt.Put(copy, name, rt.Get(self, name));
    }
    return copy;
}

} // namespace

void InstallContextMenu(Runtime& rt, Object* global) {
    Object* menu = rt.NewPlain();
    rt.MakeClass("ContextMenu", MenuCtor, menu, global);
    rt.Method(menu, "copy", MenuCopy);
    rt.Method(menu, "hideBuiltInItems", HideBuiltInItems);
    Object* item = rt.NewPlain();
    rt.MakeClass("ContextMenuItem", ItemCtor, item, global);
    rt.Method(item, "copy", ItemCopy);
    for (Object* proto : {menu, item}) {
        for (const auto& name : proto->Keys()) {
            proto->FindOwn(name)->flags |= kDontEnum | kDontDelete;
        }
    }
}

} // namespace fw::avm1
