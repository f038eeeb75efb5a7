#include "avm1/keyboard_focus.h"

#include "avm1/input.h"
#include "avm1/text_field.h"

namespace fw::avm1 {
namespace {

Value SetFocus(Runtime& rt, Activation&, Value, std::vector<Value>& args) {
    Value target = Arg(args, 0);
    if (target.isNullish()) {
        SetFocusedObject(rt, nullptr);
        return Value(true);
    }
    Object* o = target.isString() ? rt.GetPath(target.asString()).object() : target.object();
    if (!o || (o->kind != Kind::Clip && o->kind != Kind::Text) || rt.OffStage(o)) {
        return Value(false);
    }
    SetFocusedObject(rt, o);
    // A field focused by a script has all of its text selected: typing replaces it.
    if (display::TextField* f = FieldOf(o)) {
        f->selectionStart = 0;
        f->selectionEnd = f->caret = f->Length();
    }
    return Value(true);
}

Value GetFocus(Runtime& rt, Activation&, Value, std::vector<Value>&) {
    Object* o = FocusedObject(rt);
    return o ? Value(rt.Describe(o)) : Value(Null{});
}

} // namespace

Object* FocusedObject(Runtime& rt) {
    KeyboardState* k = Keyboard(rt);
    if (!k || !k->focus || !rt.display().Depth(k->focus->clipId)) {
        return nullptr;
    }
    return k->focus;
}

void SetFocusedObject(Runtime& rt, Object* o) {
    if (KeyboardState* k = Keyboard(rt)) {
        k->focus = o;
    }
}

// Selection: setFocus by object or target path (null for none) and getFocus as the target path.
void InstallSelection(Runtime& rt, Object* global) {
    Object* selection = rt.NewPlain();
    global->Set("Selection", Value(selection), kDontEnum);
    rt.Method(selection, "setFocus", SetFocus);
    rt.Method(selection, "getFocus", GetFocus);
}

} // namespace fw::avm1
