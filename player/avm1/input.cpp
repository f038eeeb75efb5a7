// Key and Mouse: the keyboard's state and the pointer's visibility, each a broadcaster whose
// listeners hear the display's input events.

#include "input.h"

namespace fw::avm1 {
namespace {

int CodeArg(Runtime& rt, const std::vector<Value>& args) {
    double code = rt.ToNum(Arg(args, 0));
    return code >= 0 && code < 256 ? static_cast<int>(code) : -1;
}

Value IsDown(Runtime& rt, Activation&, Value, std::vector<Value>& args) {
    KeyboardState* k = Keyboard(rt);
    int code = CodeArg(rt, args);
    return Value(k && code >= 0 && k->down[static_cast<std::size_t>(code)]);
}

Value IsToggled(Runtime& rt, Activation&, Value, std::vector<Value>& args) {
    KeyboardState* k = Keyboard(rt);
    int code = CodeArg(rt, args);
    return Value(k && code >= 0 && k->toggled[static_cast<std::size_t>(code)]);
}

Value GetCode(Runtime& rt, Activation&, Value, std::vector<Value>&) {
    KeyboardState* k = Keyboard(rt);
    return Value(k ? k->lastCode : 0);
}

Value GetAscii(Runtime& rt, Activation&, Value, std::vector<Value>&) {
    KeyboardState* k = Keyboard(rt);
    return Value(k ? k->lastAscii : 0);
}

// Both answer 1 when the pointer showed before the call, else 0.
Value ShowPointer(Runtime& rt, Activation&, Value, std::vector<Value>&, bool show) {
    MouseState* m = Pointer(rt);
    if (!m) {
        return Value(0);
    }
    bool was = m->visible;
    m->visible = show;
    return Value(was ? 1 : 0);
}

Value Hide(Runtime& rt, Activation& a, Value self, std::vector<Value>& args) {
    return ShowPointer(rt, a, self, args, false);
}

Value Show(Runtime& rt, Activation& a, Value self, std::vector<Value>& args) {
    return ShowPointer(rt, a, self, args, true);
}

Value ButtonCtor(Runtime&, Activation&, Value, std::vector<Value>&) {
    return Value();
}

// A button reads as its target path, as a clip does.
Value ButtonText(Runtime& rt, Activation&, Value self, std::vector<Value>&) {
    Object* o = self.object();
    return o && o->kind == Kind::Clip ? Value(rt.Describe(o)) : Value("[object Object]");
}

Object* Broadcaster(Runtime& rt, Object* global, const char* name) {
    Object* o = rt.NewPlain();
    global->Set(name, Value(o), kDontEnum);
    rt.CallMethod(rt.Get(Value(global), "AsBroadcaster"), "initialize", {Value(o)});
    return o;
}

} // namespace

KeyboardState* Keyboard(Runtime& rt) {
    Object* o = rt.keyObject_;
    return o && o->host ? dynamic_cast<KeyboardState*>(o->host.get()) : nullptr;
}

MouseState* Pointer(Runtime& rt) {
    Object* o = rt.mouseObject_;
    return o && o->host ? dynamic_cast<MouseState*>(o->host.get()) : nullptr;
}

void KeyChanged(Runtime& rt, int code, int ascii, bool down, bool typed) {
    KeyboardState* k = Keyboard(rt);
    if (!k || code < 0 || code > 255) {
        return;
    }
    auto i = static_cast<std::size_t>(code);
    if (down && !k->down[i]) {
        k->toggled[i] = !k->toggled[i];
    }
    k->down[i] = down;
    if (typed) {
        k->lastCode = code;
        k->lastAscii = ascii;
    }
}

void NotifyListeners(Runtime& rt, Object* broadcaster, const char* method,
                     const std::vector<Value>& args) {
    if (!broadcaster) {
        return;
    }
    Object* list = rt.Get(Value(broadcaster), "_listeners").object();
    if (!list) {
        return;
    }
    std::vector<Value> items;
    for (double i = 0, n = rt.Length(list); i < n; ++i) {
        items.push_back(rt.Element(list, i));
    }
    for (const auto& l : items) {
        // A clip that has left the stage hears nothing more.
        Object* o = l.object();
        if (o && o->kind == Kind::Clip && o->clipId > 0 && !rt.display().Depth(o->clipId)) {
            continue;
        }
        rt.CallMethod(l, method, args);
    }
}

void InstallInput(Runtime& rt, Object* global) {
    Object* key = Broadcaster(rt, global, "Key");
    key->host = std::make_unique<KeyboardState>();
    rt.keyObject_ = key;
    rt.Method(key, "isDown", IsDown);
    rt.Method(key, "isToggled", IsToggled);
    rt.Method(key, "getCode", GetCode);
    rt.Method(key, "getAscii", GetAscii);
    struct Named {
        const char* name;
        int code;
    };
    constexpr Named kCodes[] = {
        {"ALT", 18},    {"BACKSPACE", 8}, {"CAPSLOCK", 20}, {"CONTROL", 17}, {"DELETEKEY", 46},
        {"DOWN", 40},   {"END", 35},      {"ENTER", 13},    {"ESCAPE", 27},  {"HOME", 36},
        {"INSERT", 45}, {"LEFT", 37},     {"PGDN", 34},     {"PGUP", 33},    {"RIGHT", 39},
        {"SHIFT", 16},  {"SPACE", 32},    {"TAB", 9},       {"UP", 38}};
    for (const auto& c : kCodes) {
        key->Set(c.name, Value(c.code), kDontEnum | kDontDelete | kReadOnly);
    }

    Object* mouse = Broadcaster(rt, global, "Mouse");
    mouse->host = std::make_unique<MouseState>();
    rt.mouseObject_ = mouse;
    rt.Method(mouse, "hide", Hide);
    rt.Method(mouse, "show", Show);

    // Buttons share what clips answer about their place; the rest they keep as plain values.
    Object* proto = rt.NewPlain();
    rt.MakeClass("Button", ButtonCtor, proto, global);
    rt.buttonProto_ = proto;
    if (rt.clipProto_) {
        for (const char* name : {"getDepth"}) {
            proto->Set(name, rt.Get(Value(rt.clipProto_), name), kDontEnum);
        }
    }
    rt.Method(proto, "toString", ButtonText);
    proto->Set("enabled", Value(true)); // a for-in over a button lists it
    proto->Set("useHandCursor", Value(true), kDontEnum);
    // Clips that act as buttons start enabled too.
    if (rt.clipProto_) {
        rt.clipProto_->Set("enabled", Value(true), kDontEnum);
        rt.clipProto_->Set("useHandCursor", Value(true), kDontEnum);
    }
}

} // namespace fw::avm1
