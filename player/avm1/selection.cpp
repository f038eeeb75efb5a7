// Selection: which display object has the keyboard's focus, and the selection of the text
// field that has it. A broadcaster whose listeners hear onSetFocus(old, new) as the focus moves.

#include "runtime.h"
#include "text_field.h"

#include <algorithm>
#include <climits>

namespace fw::avm1 {
namespace {

// The focused object's text field; null when another kind of object or nothing has the focus.
display::TextField* FocusedField(Runtime& rt) {
    return FieldOf(rt.display().FocusObject());
}

Value GetFocus(Runtime& rt, Activation&, Value, std::vector<Value>&) {
    Object* o = rt.display().FocusObject();
    return o ? rt.Text(rt.Describe(o)) : Value(Null{});
}

bool IsDisplayObject(const Object* o) {
    return o && (o->kind == Kind::Clip || o->kind == Kind::Text) && o->clipId >= 0;
}

// Answers whether the object took the focus; a target named by its path counts as the object.
Value SetFocus(Runtime& rt, Activation&, Value, std::vector<Value>& args) {
    if (args.empty()) {
        return Value(false);
    }
    Value target = args[0];
    if (target.isNullish()) {
        rt.display().SetFocus(nullptr);
        return Value(true);
    }
    if (target.type() == Value::Type::String) {
        target = rt.GetPath(target.asString());
    }
    Object* o = target.object();
    return Value(IsDisplayObject(o) && rt.display().SetFocus(o));
}

Value Index(Runtime& rt, int which) {
    const display::TextField* f = FocusedField(rt);
    if (!f) {
        return Value(-1);
    }
    std::size_t begin = std::min(f->selectionStart, f->selectionEnd);
    std::size_t end = std::max(f->selectionStart, f->selectionEnd);
    std::size_t at = which == 0 ? begin : which == 1 ? end : f->caret;
    return Value(static_cast<double>(at));
}

Value GetBeginIndex(Runtime& rt, Activation&, Value, std::vector<Value>&) {
    return Index(rt, 0);
}

Value GetEndIndex(Runtime& rt, Activation&, Value, std::vector<Value>&) {
    return Index(rt, 1);
}

Value GetCaretIndex(Runtime& rt, Activation&, Value, std::vector<Value>&) {
    return Index(rt, 2);
}

Value SetSelection(Runtime& rt, Activation&, Value, std::vector<Value>& args) {
    display::TextField* f = FocusedField(rt);
    if (args.empty() || !f) {
        return Value();
    }
    auto bound = [&](std::size_t i, std::int32_t absent) {
        std::int32_t v = i < args.size() ? ToInt32(rt.ToNum(args[i])) : absent;
        return std::min(static_cast<std::size_t>(std::max(v, 0)), f->Length());
    };
    std::size_t from = bound(0, 0);
    std::size_t to = bound(1, INT_MAX);
    // Focus may have moved while the arguments were read.
    if (f != FocusedField(rt)) {
        return Value();
    }
    f->selectionStart = from;
    f->selectionEnd = f->caret = to;
    return Value();
}

} // namespace

void InstallSelection(Runtime& rt, Object* global) {
    Object* o = rt.NewPlain();
    global->Set("Selection", Value(o), kDontEnum);
    rt.CallMethod(rt.Get(Value(global), "AsBroadcaster"), "initialize", {Value(o)});
    rt.selectionObject_ = o;
    rt.Method(o, "getFocus", GetFocus);
    rt.Method(o, "setFocus", SetFocus);
    rt.Method(o, "getBeginIndex", GetBeginIndex);
    rt.Method(o, "getEndIndex", GetEndIndex);
    rt.Method(o, "getCaretIndex", GetCaretIndex);
    rt.Method(o, "setSelection", SetSelection);
}

} // namespace fw::avm1
