// TextField: the field's settings as getters and setters on the prototype (an object that is
// no field, such as one made with new, reads undefined from them and keeps nothing), the
// methods on formats, and createTextField on clips. A field's display properties (_x, _name,
// ...) are the display tree's, as a clip's are.

#include "avm1/text_field.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>

namespace fw::avm1 {
namespace {

using display::TextField;

enum Prop {
    kStyleSheet,
    kMouseWheelEnabled,
    kCondenseWhite,
    kRestrict,
    kTextHeight,
    kTextWidth,
    kBottomScroll,
    kLength,
    kSelectable,
    kMultiline,
    kPassword,
    kWordWrap,
    kBackground,
    kBorder,
    kHtml,
    kEmbedFonts,
    kMaxChars,
    kMaxHScroll,
    kHScroll,
    kVariable,
    kHtmlText,
    kType,
    kText,
    kAutoSize,
    kTabIndex,
    kTextColor,
    kBackgroundColor,
    kBorderColor,
    kMaxScroll,
    kScroll,
    kFilters,
    kSharpness,
    kThickness,
    kAntiAliasType,
    kGridFitType,
};

// The field's data with what the scripts hang on it.
struct FieldData : TextFieldData {
    Value styleSheet;
    Value tabIndex;
    Value filters;
    void Trace(std::vector<Object*>& out) const override {
        for (const Value* v : {&styleSheet, &tabIndex, &filters}) {
            if (Object* o = v->object()) {
                out.push_back(o);
            }
        }
    }
};

FieldData* DataOf(const Value& self) {
    Object* o = self.object();
    return o && o->host ? dynamic_cast<FieldData*>(o->host.get()) : nullptr;
}

std::uint32_t Colour(Runtime& rt, const Value& v) {
    double n = rt.ToNum(v);
    return std::isfinite(n) ? static_cast<std::uint32_t>(ToInt32(n)) & 0xFFFFFF : 0;
}

// The holder and name of a bound variable, from the field's timeline.
bool VariableSlot(Runtime& rt, Object* fieldObject, const std::string& variable, Value& holder,
                  std::string& name) {
    Object* parent = rt.display().ClipMember(fieldObject->clipId, "_parent");
    if (!parent || variable.empty()) {
        return false;
    }
    holder = Value(parent);
    std::string_view n = variable;
    if (auto sep = n.find_last_of(":."); sep != std::string_view::npos) {
        std::string_view head = n.substr(0, sep);
        Value base(parent);
        // Paths are read from the field's timeline.
        holder = rt.Get(base, head);
        if (!holder.isObject()) {
            holder = rt.ResolveHead(head);
        }
        n = n.substr(sep + 1);
    }
    name = std::string(n);
    return holder.isObject() && !name.empty();
}

// A field bound to a timeline's variable shows that variable: scripts write it and read it
// through the field, and the field's own text changes only as it is bound anew.
std::optional<std::string> TimelineValue(Runtime& rt, Object* o, const TextField& f) {
    Value holder;
    std::string name;
    if (!VariableSlot(rt, o, f.variable, holder, name) || holder.asObject()->kind != Kind::Clip) {
        return std::nullopt;
    }
    Value v = rt.Get(holder, name);
    return v.isUndefined() ? std::nullopt : std::optional<std::string>(rt.ToStr(v));
}

void SetFieldText(Runtime& rt, Object* o, TextField& f, const std::string& text, bool asHtml) {
    Value holder;
    std::string name;
    bool bound = VariableSlot(rt, o, f.variable, holder, name);
    TextField shown = f;
    TextField& target = bound && holder.asObject()->kind == Kind::Clip ? shown : f;
    if (asHtml && target.html) {
        target.SetHtmlText(text);
    } else {
        target.SetText(text);
    }
    if (bound) {
        rt.Put(holder, name, Value(target.Text()));
    }
}

template <int P> Value Get(Runtime& rt, Activation&, Value self, std::vector<Value>&) {
    FieldData* d = DataOf(self);
    if (!d || !d->field) {
        return Value();
    }
    TextField& f = *d->field;
    if (P == kText || P == kHtmlText || P == kLength) {
        if (auto value = TimelineValue(rt, self.object(), f)) {
            TextField shown = f;
            if (shown.html) {
                shown.SetHtmlText(*value);
            } else {
                shown.SetText(*value);
            }
            return P == kText       ? Value(shown.Text())
                   : P == kHtmlText ? Value(shown.HtmlText())
                                    : Value(static_cast<double>(shown.Length()));
        }
    }
    switch (P) {
    case kStyleSheet:
        return d->styleSheet;
    case kMouseWheelEnabled:
        return Value(f.mouseWheelEnabled);
    case kCondenseWhite:
        return Value(f.condenseWhite);
    case kRestrict:
        return f.restrict ? Value(*f.restrict) : Value(Null{});
    case kTextHeight:
        return Value(f.TextHeight());
    case kTextWidth:
        return Value(f.TextWidth());
    case kBottomScroll:
        return Value(f.BottomScroll());
    case kLength:
        return Value(static_cast<double>(f.Length()));
    case kSelectable:
        return Value(f.selectable);
    case kMultiline:
        return Value(f.multiline);
    case kPassword:
        return Value(f.password);
    case kWordWrap:
        return Value(f.wordWrap);
    case kBackground:
        return Value(f.background);
    case kBorder:
        return Value(f.border);
    case kHtml:
        return Value(f.html);
    case kEmbedFonts:
        return Value(f.embedFonts);
    case kMaxChars:
        return f.maxChars > 0 ? Value(f.maxChars) : Value(Null{});
    case kMaxHScroll:
        return Value(f.MaxHScroll());
    case kHScroll:
        return Value(f.hscroll);
    case kVariable:
        return f.variable.empty() ? Value(Null{}) : Value(f.variable);
    case kHtmlText:
        return Value(f.HtmlText());
    case kType:
        return Value(f.editable ? "input" : "dynamic");
    case kText:
        return Value(f.Text());
    case kAutoSize:
        switch (f.autoSize) {
        case TextField::AutoSize::Left:
            return Value("left");
        case TextField::AutoSize::Center:
            return Value("center");
        case TextField::AutoSize::Right:
            return Value("right");
        default:
            return Value("none");
        }
    case kTabIndex:
        return d->tabIndex;
    case kTextColor:
        return Value(static_cast<double>(f.newFormat.color));
    case kBackgroundColor:
        return Value(static_cast<double>(f.backgroundColor));
    case kBorderColor:
        return Value(static_cast<double>(f.borderColor));
    case kMaxScroll:
        return Value(f.MaxScroll());
    case kScroll:
        return Value(f.scroll);
    case kFilters:
        return d->filters.isUndefined() ? Value(rt.NewArray()) : d->filters;
    case kSharpness:
        return Value(f.sharpness);
    case kThickness:
        return Value(f.thickness);
    case kAntiAliasType:
        return Value(f.antiAliasType);
    case kGridFitType:
        return Value(f.gridFitType);
    }
    return Value();
}

// A scroll position: wrapped to 32 bits; for lines the lowest number passes for the highest.
int ScrollValue(double n, int low, int high, bool wrapLowest = false) {
    std::int32_t v = ToInt32(n);
    if (wrapLowest && v == std::numeric_limits<std::int32_t>::min()) {
        return high;
    }
    return std::clamp(v, low, std::max(low, high));
}

template <int P> Value Set(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    FieldData* d = DataOf(self);
    if (!d || !d->field) {
        return Value();
    }
    TextField& f = *d->field;
    Value v = Arg(args, 0);
    auto flag = [&](bool& out) {
        out = rt.ToBool(v);
        f.Changed();
    };
    switch (P) {
    case kStyleSheet:
        d->styleSheet = v.isObject() ? v : Value();
        break;
    case kMouseWheelEnabled:
        flag(f.mouseWheelEnabled);
        break;
    case kCondenseWhite:
        flag(f.condenseWhite);
        break;
    case kRestrict:
        // An empty set would refuse everything; it stands for none instead.
        f.restrict.reset();
        if (!v.isNullish()) {
            if (std::string set = rt.ToStr(v); !set.empty()) {
                f.restrict = std::move(set);
            }
        }
        break;
    case kSelectable:
        flag(f.selectable);
        break;
    case kMultiline:
        flag(f.multiline);
        break;
    case kPassword:
        flag(f.password);
        break;
    case kWordWrap:
        flag(f.wordWrap);
        f.FitToText();
        break;
    case kBackground:
        flag(f.background);
        break;
    case kBorder:
        flag(f.border);
        break;
    case kHtml:
        flag(f.html);
        break;
    case kEmbedFonts:
        flag(f.embedFonts);
        break;
    case kMaxChars: {
        double n = rt.ToNum(v);
        f.maxChars = std::isfinite(n) ? std::max(0, static_cast<int>(n)) : 0;
        break;
    }
    case kHScroll:
        f.hscroll = ScrollValue(rt.ToNum(v), 0, f.MaxHScroll());
        break;
    case kScroll:
        f.scroll = ScrollValue(rt.ToNum(v), 1, f.MaxScroll(), true);
        break;
    case kVariable: {
        f.variable = v.isNullish() ? std::string() : rt.ToStr(v);
        SyncVariable(rt, self.object());
        break;
    }
    case kHtmlText:
        SetFieldText(rt, self.object(), f, rt.ToStr(v), true);
        break;
    case kType: {
        std::string t = AsciiLower(rt.ToStr(v));
        if (t == "input") {
            f.editable = true;
        } else if (t == "dynamic") {
            f.editable = false;
        }
        break;
    }
    case kText:
        SetFieldText(rt, self.object(), f, rt.ToStr(v), false);
        break;
    case kAutoSize: {
        using A = TextField::AutoSize;
        A a = A::None;
        if (v.isBool()) {
            a = v.asBool() ? A::Left : A::None;
        } else {
            std::string s = AsciiLower(rt.ToStr(v));
            a = s == "left"     ? A::Left
                : s == "center" ? A::Center
                : s == "right"  ? A::Right
                                : A::None;
        }
        f.autoSize = a;
        f.FitToText();
        break;
    }
    case kTabIndex:
        d->tabIndex = v;
        break;
    case kTextColor:
        f.SetTextColor(Colour(rt, v));
        break;
    case kBackgroundColor:
        f.backgroundColor = Colour(rt, v);
        break;
    case kBorderColor:
        f.borderColor = Colour(rt, v);
        break;
    case kFilters:
        d->filters = v.isObject() ? v : Value();
        break;
    case kSharpness:
        f.sharpness = rt.ToNum(v);
        break;
    case kThickness:
        f.thickness = rt.ToNum(v);
        break;
    case kAntiAliasType: {
        std::string s = rt.ToStr(v);
        if (s == "normal" || s == "advanced") {
            f.antiAliasType = s;
        }
        break;
    }
    case kGridFitType: {
        std::string s = rt.ToStr(v);
        if (s == "none" || s == "pixel" || s == "subpixel") {
            f.gridFitType = s;
        }
        break;
    }
    default:
        break; // read only
    }
    return Value();
}

// The range a method's first two arguments give: all without them, one character with one.
bool Range(Runtime& rt, TextField& f, const std::vector<Value>& args, std::size_t count,
           std::size_t& from, std::size_t& to) {
    std::size_t n = f.Length();
    if (count == 0) {
        from = 0;
        to = n;
        return true;
    }
    double a = rt.ToNum(args[0]);
    if (std::isnan(a) || a < 0) {
        a = 0;
    }
    if (count == 1) {
        from = static_cast<std::size_t>(std::min<double>(a, n));
        to = from + 1;
        return from < n;
    }
    double b = rt.ToNum(args[1]);
    if (std::isnan(b)) {
        return false;
    }
    from = static_cast<std::size_t>(std::min<double>(a, n));
    to = static_cast<std::size_t>(std::clamp<double>(b, 0, n));
    return from < to;
}

Value GetTextFormat(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    FieldData* d = DataOf(self);
    if (!d || !d->field) {
        return Value();
    }
    std::size_t count = std::min<std::size_t>(args.size(), 2);
    std::size_t from = 0, to = 0;
    display::Format f;
    if (Range(rt, *d->field, args, count, from, to)) {
        f = d->field->FormatOf(from, to);
    } else if (count == 0) {
        f = d->field->FormatOf(0, 0);
    }
    return Value(NewTextFormatObject(rt, f));
}

Value SetTextFormat(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    FieldData* d = DataOf(self);
    if (!d || !d->field || args.empty()) {
        return Value();
    }
    Object* fo = args.back().object();
    if (!fo) {
        return Value();
    }
    display::Format f = FormatFromObject(rt, fo);
    std::size_t count = std::min<std::size_t>(args.size() - 1, 2);
    std::size_t from = 0, to = 0;
    if (Range(rt, *d->field, args, count, from, to)) {
        d->field->ApplyFormat(from, to, f);
    }
    return Value();
}

Value GetNewTextFormat(Runtime& rt, Activation&, Value self, std::vector<Value>&) {
    FieldData* d = DataOf(self);
    if (!d || !d->field) {
        return Value();
    }
    return Value(NewTextFormatObject(rt, display::Format::Of(d->field->newFormat)));
}

Value SetNewTextFormat(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    FieldData* d = DataOf(self);
    Object* fo = Arg(args, 0).object();
    if (d && d->field && fo) {
        FormatFromObject(rt, fo).ApplyTo(d->field->newFormat);
    }
    return Value();
}

Value ReplaceSel(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    FieldData* d = DataOf(self);
    if (!d || !d->field || args.empty()) {
        return Value();
    }
    TextField& f = *d->field;
    std::size_t from = std::min(f.selectionStart, f.selectionEnd);
    std::size_t to = std::max(f.selectionStart, f.selectionEnd);
    std::u16string s = ToUtf16(rt.ToStr(args[0]));
    f.Replace(from, to, s, f.newFormat);
    f.caret = f.selectionStart = f.selectionEnd = from + s.size();
    return Value();
}

Value ReplaceText(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    FieldData* d = DataOf(self);
    if (!d || !d->field || args.size() < 3) {
        return Value();
    }
    TextField& f = *d->field;
    double a = rt.ToNum(args[0]);
    double b = rt.ToNum(args[1]);
    if (std::isnan(a) || std::isnan(b) || a < 0 || b < a) {
        return Value();
    }
    std::size_t from = static_cast<std::size_t>(std::min<double>(a, f.Length()));
    std::size_t to = static_cast<std::size_t>(std::min<double>(b, f.Length()));
    std::u16string s = ToUtf16(rt.ToStr(args[2]));
    display::CharFormat fmt = from < f.Length() ? display::CharFormat{} : f.newFormat;
    if (from < f.Length()) {
        display::Format at = f.FormatOf(from, from + 1);
        at.ApplyTo(fmt);
    }
    f.Replace(from, to, s, fmt);
    return Value();
}

Value RemoveTextField(Runtime& rt, Activation&, Value self, std::vector<Value>&) {
    if (DataOf(self)) {
        rt.display().RemoveClip(self.object()->clipId);
    }
    return Value();
}

Value GetDepth(Runtime& rt, Activation&, Value self, std::vector<Value>&) {
    if (!DataOf(self)) {
        return Value();
    }
    auto depth = rt.display().Depth(self.object()->clipId);
    return depth ? Value(*depth) : Value();
}

Value ToStringFn(Runtime& rt, Activation&, Value self, std::vector<Value>&) {
    Object* o = self.object();
    return DataOf(self) ? Value(rt.Describe(o)) : Value("[object Object]");
}

Value Construct(Runtime&, Activation&, Value, std::vector<Value>&) {
    return Value();
}

Value CreateTextField(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    Object* o = self.object();
    if (!o || o->kind != Kind::Clip || args.size() < 6) {
        return Value();
    }
    auto whole = [&](std::size_t i) {
        double n = rt.ToNum(args[i]);
        return std::isfinite(n) ? static_cast<double>(ToInt32(n)) : 0.0;
    };
    std::string name = rt.ToStr(args[0]);
    Object* made = rt.display().MakeTextField(o->clipId, name, static_cast<int>(whole(1)), whole(2),
                                              whole(3), whole(4), whole(5));
    if (!made || rt.version() < 8) {
        return Value();
    }
    return Value(made);
}

} // namespace

display::TextField* FieldOf(Object* o) {
    auto* d = o && o->host ? dynamic_cast<FieldData*>(o->host.get()) : nullptr;
    return d ? d->field.get() : nullptr;
}

Object* NewTextFieldObject(Runtime& rt, std::unique_ptr<display::TextField> field, int clipId) {
    Object* o = rt.NewObject(rt.textFieldProto_ ? rt.textFieldProto_ : rt.objectProto_, Kind::Text);
    o->clipId = clipId;
    auto data = std::make_unique<FieldData>();
    data->field = std::move(field);
    o->host = std::move(data);
    // Every field broadcasts its changes, to itself first.
    // Only the built-in initialize: making a field runs no script.
    Value broadcaster = rt.Get(Value(rt.global()), "AsBroadcaster", false);
    Object* init = broadcaster.isObject()
                       ? broadcaster.asObject()->Find("initialize")
                             ? broadcaster.asObject()->Find("initialize")->object()
                             : nullptr
                       : nullptr;
    if (init && init->function && init->function->native) {
        rt.CallMethod(broadcaster, "initialize", {Value(o)});
        if (Object* list = rt.Get(Value(o), "_listeners").object()) {
            rt.ArraySet(list, "0", Value(o));
        }
    }
    return o;
}

void SyncVariable(Runtime& rt, Object* o) {
    TextField* f = FieldOf(o);
    Value holder;
    std::string name;
    if (!f || !VariableSlot(rt, o, f->variable, holder, name)) {
        return;
    }
    Value v = rt.Get(holder, name);
    if (v.isUndefined()) {
        // An unset variable takes the field's text, unless the field is empty; a markup field
        // gives the markup it was given.
        if (f->Length() > 0) {
            rt.Put(holder, name, Value(f->html && !f->markup().empty() ? f->markup() : f->Text()));
        }
        return;
    }
    std::string text = rt.ToStr(v);
    if (f->html) {
        f->SetHtmlText(text);
    } else {
        f->SetText(text);
    }
}

void StoreVariable(Runtime& rt, Object* o) {
    TextField* f = FieldOf(o);
    Value holder;
    std::string name;
    if (f && VariableSlot(rt, o, f->variable, holder, name)) {
        rt.Put(holder, name, Value(f->html ? f->HtmlText() : f->Text()));
    }
}

void ShowVariable(Runtime& rt, Object* o) {
    TextField* f = FieldOf(o);
    auto value = f && !f->variable.empty() ? TimelineValue(rt, o, *f) : std::nullopt;
    if (!value || (f->html ? f->markup() == *value : f->Text() == *value)) {
        return;
    }
    if (f->html) {
        f->SetHtmlText(*value);
    } else {
        f->SetText(*value);
    }
}

void InstallTextField(Runtime& rt, Object* global) {
    Object* proto = rt.NewPlain();
    rt.textFieldProto_ = proto;
    Object* cls = rt.MakeClass("TextField", Construct, proto, global);
    (void)cls;
    struct Entry {
        const char* name;
        NativeFn get, set;
        std::uint16_t flags;
    };
    // Installed oldest first: for-in visits them newest first.
    const Entry props[] = {
        {"gridFitType", Get<kGridFitType>, Set<kGridFitType>, kOnlyFrom8},
        {"antiAliasType", Get<kAntiAliasType>, Set<kAntiAliasType>, kOnlyFrom8},
        {"thickness", Get<kThickness>, Set<kThickness>, kOnlyFrom8},
        {"sharpness", Get<kSharpness>, Set<kSharpness>, kOnlyFrom8},
        {"filters", Get<kFilters>, Set<kFilters>, kOnlyFrom8},
        {"scroll", Get<kScroll>, Set<kScroll>, 0},
        {"maxscroll", Get<kMaxScroll>, Set<kMaxScroll>, 0},
        {"borderColor", Get<kBorderColor>, Set<kBorderColor>, 0},
        {"backgroundColor", Get<kBackgroundColor>, Set<kBackgroundColor>, 0},
        {"textColor", Get<kTextColor>, Set<kTextColor>, 0},
        {"tabIndex", Get<kTabIndex>, Set<kTabIndex>, 0},
        {"autoSize", Get<kAutoSize>, Set<kAutoSize>, 0},
        {"text", Get<kText>, Set<kText>, 0},
        {"type", Get<kType>, Set<kType>, 0},
        {"htmlText", Get<kHtmlText>, Set<kHtmlText>, 0},
        {"variable", Get<kVariable>, Set<kVariable>, 0},
        {"hscroll", Get<kHScroll>, Set<kHScroll>, 0},
        {"maxhscroll", Get<kMaxHScroll>, Set<kMaxHScroll>, 0},
        {"maxChars", Get<kMaxChars>, Set<kMaxChars>, 0},
        {"embedFonts", Get<kEmbedFonts>, Set<kEmbedFonts>, 0},
        {"html", Get<kHtml>, Set<kHtml>, 0},
        {"border", Get<kBorder>, Set<kBorder>, 0},
        {"background", Get<kBackground>, Set<kBackground>, 0},
        {"wordWrap", Get<kWordWrap>, Set<kWordWrap>, 0},
        {"password", Get<kPassword>, Set<kPassword>, 0},
        {"multiline", Get<kMultiline>, Set<kMultiline>, 0},
        {"selectable", Get<kSelectable>, Set<kSelectable>, 0},
        {"length", Get<kLength>, Set<kLength>, 0},
        {"bottomScroll", Get<kBottomScroll>, Set<kBottomScroll>, 0},
        {"textWidth", Get<kTextWidth>, Set<kTextWidth>, 0},
        {"textHeight", Get<kTextHeight>, Set<kTextHeight>, 0},
        {"restrict", Get<kRestrict>, Set<kRestrict>, 0},
        {"condenseWhite", Get<kCondenseWhite>, Set<kCondenseWhite>, 0},
        {"mouseWheelEnabled", Get<kMouseWheelEnabled>, Set<kMouseWheelEnabled>, 0},
        {"styleSheet", Get<kStyleSheet>, Set<kStyleSheet>, 0},
    };
    for (const auto& p : props) {
        Accessor(rt, proto, p.name, p.get, p.set);
        if (Property* own = proto->FindOwn(p.name)) {
            own->flags = p.flags;
        }
    }
    rt.Method(proto, "replaceSel", ReplaceSel);
    rt.Method(proto, "getTextFormat", GetTextFormat);
    rt.Method(proto, "setTextFormat", SetTextFormat);
    rt.Method(proto, "removeTextField", RemoveTextField);
    rt.Method(proto, "getNewTextFormat", GetNewTextFormat);
    rt.Method(proto, "setNewTextFormat", SetNewTextFormat);
    rt.Method(proto, "getDepth", GetDepth);
    rt.Method(proto, "replaceText", ReplaceText);
    if (Property* p = proto->FindOwn("replaceText")) {
        p->flags |= kOnlyFrom7;
    }
    rt.Method(proto, "toString", ToStringFn);
    if (rt.clipProto_) {
        rt.Method(rt.clipProto_, "createTextField", CreateTextField);
    }
}

std::optional<std::string> VariableText(Runtime& rt, Object* fieldObject) {
    TextField* f = FieldOf(fieldObject);
    Value holder;
    std::string name;
    if (!f || !VariableSlot(rt, fieldObject, f->variable, holder, name)) {
        return std::nullopt;
    }
    Value v = rt.Get(holder, name);
    if (v.isUndefined()) {
        return std::nullopt;
    }
    return rt.ToStr(v);
}

} // namespace fw::avm1
