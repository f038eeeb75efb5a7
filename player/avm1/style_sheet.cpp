// TextField.StyleSheet: named styles kept twice on the sheet object, as given (_css, plain
// objects a script reads back as copies) and as text formats (_styles, what transform made of
// them). The methods work on whatever object they are called on, so a class extending the
// sheet keeps them and may replace transform.

#include "avm1/text_field.h"

#include <cmath>
#include <optional>

namespace fw::avm1 {
namespace {

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

// A whole number at the start of a text after white space, as the style values are read:
// "12px" gives 12; none gives NaN.
double LeadingInteger(const std::string& s) {
    std::size_t i = 0;
    while (i < s.size() && IsSpace(s[i])) {
        ++i;
    }
    bool negative = i < s.size() && s[i] == '-';
    if (i < s.size() && (s[i] == '-' || s[i] == '+')) {
        ++i;
    }
    double n = 0;
    std::size_t start = i;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
        n = n * 10 + (s[i++] - '0');
    }
    return i == start ? NAN : negative ? -n : n;
}

// The copy of a style a script gets: the same members, the object a new one.
Object* CopyStyle(Runtime& rt, Object* style) {
    Object* copy = rt.NewPlain();
    for (const auto& key : rt.EnumerateKeys(style)) {
        copy->Set(key, rt.Get(Value(style), key));
    }
    return copy;
}

// The sheet's two tables, made as the first style arrives.
Object* Table(Runtime& rt, const Value& self, const char* name) {
    Value t = rt.Get(self, name);
    if (!t.isObject()) {
        t = Value(rt.NewPlain());
        rt.Put(self, name, t);
    }
    return t.object();
}

void Store(Runtime& rt, const Value& self, const std::string& name, Object* style) {
    Value given = style ? Value(style) : Value(Null{});
    rt.Put(Value(Table(rt, self, "_css")), name, given);
    Value format = rt.CallMethod(self, "transform", {given});
    rt.Put(Value(Table(rt, self, "_styles")), name, format);
}

Value SetStyle(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    if (!self.isObject() || args.empty()) {
        return Value();
    }
    Object* style = Arg(args, 1).object();
    Store(rt, self, rt.ToStr(args[0]), style ? CopyStyle(rt, style) : nullptr);
    return Value();
}

Value GetStyle(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    Object* css = rt.Get(self, "_css").object();
    Object* style = css ? rt.Get(Value(css), rt.ToStr(Arg(args, 0))).object() : nullptr;
    return style ? Value(CopyStyle(rt, style)) : Value(Null{});
}

Value GetStyleNames(Runtime& rt, Activation&, Value self, std::vector<Value>&) {
    std::vector<Value> names;
    if (Object* css = rt.Get(self, "_css").object()) {
        for (auto& key : rt.EnumerateKeys(css)) {
            names.emplace_back(std::move(key));
        }
    }
    return Value(rt.NewArray(names));
}

Value Clear(Runtime& rt, Activation&, Value self, std::vector<Value>&) {
    if (self.isObject()) {
        rt.Put(self, "_css", Value(rt.NewPlain()));
        rt.Put(self, "_styles", Value(rt.NewPlain()));
    }
    return Value();
}

// A property name as a style member: each dash makes the character after it upper case.
std::string MemberName(std::string_view css) {
    std::string out;
    for (std::size_t i = 0; i < css.size(); ++i) {
        if (css[i] == '-' && i + 1 < css.size()) {
            char c = css[++i];
            out.push_back(c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c);
        } else if (css[i] != '-') {
            out.push_back(css[i]);
        }
    }
    return out;
}

struct Rule {
    std::vector<std::string> selectors;
    std::vector<std::pair<std::string, std::string>> members;
};

// Reads a style sheet's text; nullopt when any of it is malformed, so that nothing of a bad
// sheet is taken. A block left open at the end of the text after a name's value or before
// any name ends there.
std::optional<std::vector<Rule>> ParseCss(std::string_view s) {
    std::vector<Rule> rules;
    std::size_t i = 0;
    auto skipSpace = [&] {
        while (i < s.size() && IsSpace(s[i])) {
            ++i;
        }
    };
    while (true) {
        skipSpace();
        if (i >= s.size()) {
            return rules;
        }
        std::size_t open = s.find('{', i);
        if (open == std::string_view::npos) {
            return std::nullopt;
        }
        Rule rule;
        std::string_view list = s.substr(i, open - i);
        for (std::size_t a = 0; a <= list.size();) {
            std::size_t b = std::min(list.find(',', a), list.size());
            std::string_view sel = list.substr(a, b - a);
            while (!sel.empty() && IsSpace(sel.front())) {
                sel.remove_prefix(1);
            }
            while (!sel.empty() && IsSpace(sel.back())) {
                sel.remove_suffix(1);
            }
            for (char c : sel) {
                if (IsSpace(c)) {
                    return std::nullopt;
                }
            }
            if (sel.empty()) {
                return std::nullopt;
            }
            rule.selectors.emplace_back(sel);
            a = b + 1;
        }
        i = open + 1;
        while (true) {
            skipSpace();
            if (i >= s.size()) {
                break;
            }
            if (s[i] == '}') {
                ++i;
                break;
            }
            std::size_t colon = s.find(':', i);
            if (colon == std::string_view::npos) {
                return std::nullopt;
            }
            std::string_view name = s.substr(i, colon - i);
            std::size_t end = name.size();
            while (end > 0 && IsSpace(name[end - 1])) {
                --end;
            }
            for (std::size_t k = 0; k < end; ++k) {
                if (IsSpace(name[k])) {
                    return std::nullopt;
                }
            }
            i = colon + 1;
            skipSpace();
            std::size_t stop = s.find_first_of(";}", i);
            if (stop == std::string_view::npos) {
                return std::nullopt;
            }
            std::string value(s.substr(i, stop - i));
            i = stop + (s[stop] == ';' ? 1 : 0);
            if (!name.empty()) {
                rule.members.emplace_back(MemberName(name), std::move(value));
            }
        }
        rules.push_back(std::move(rule));
    }
}

// Takes every rule of a sheet's text, or none of a malformed one.
bool TakeRules(Runtime& rt, const Value& self, std::string_view css) {
    auto rules = ParseCss(css);
    if (!rules) {
        return false;
    }
    for (const auto& rule : *rules) {
        for (const auto& selector : rule.selectors) {
            Object* style = rt.NewPlain();
            for (const auto& [name, value] : rule.members) {
                style->Set(name, Value(value));
            }
            Store(rt, self, selector, style);
        }
    }
    return true;
}

Value ParseCSS(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    return Value(TakeRules(rt, self, rt.ToStr(Arg(args, 0))));
}

// The format a style stands for: only the members the style gives in a form the sheet knows.
Value Transform(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    (void)self;
    Value given = Arg(args, 0);
    if (given.isNullish()) {
        return Value(Null{});
    }
    Object* style = given.object();
    auto member = [&](const char* name) { return style ? rt.Get(given, name) : Value(); };
    auto text = [&](const char* name) {
        Value v = member(name);
        return v.isUndefined() ? std::string() : rt.ToStr(v);
    };
    // A number member: set where the style gives a true value, NaN read as zero or kept.
    auto number = [&](const char* name, bool keepNaN) -> std::optional<double> {
        Value v = member(name);
        if (!rt.ToBool(v)) {
            return std::nullopt;
        }
        double n = LeadingInteger(rt.ToStr(v));
        return std::isnan(n) && !keepNaN ? 0.0 : n;
    };
    display::Format f;
    std::string colour = text("color");
    if (colour.size() == 7 && colour[0] == '#') {
        f.color = static_cast<std::uint32_t>(std::strtoul(colour.c_str() + 1, nullptr, 16));
    }
    if (Value v = member("fontFamily"); rt.ToBool(v)) {
        std::string list = rt.ToStr(v), font;
        for (std::size_t a = 0; a <= list.size();) {
            std::size_t b = std::min(list.find(',', a), list.size());
            std::size_t from = a;
            while (from < b && IsSpace(list[from])) {
                ++from;
            }
            if (from < b) {
                font += (font.empty() ? "" : ",") + list.substr(from, b - from);
            }
            a = b + 1;
        }
        f.font = font;
    }
    if (double size = LeadingInteger(text("fontSize")); size > 0) {
        f.size = size;
    }
    std::string style_ = text("fontStyle");
    if (style_ == "normal" || style_ == "italic") {
        f.italic = style_ == "italic";
    }
    std::string weight = text("fontWeight");
    if (weight == "normal" || weight == "bold") {
        f.bold = weight == "bold";
    }
    // Only the word true, not the value, turns kerning on beside a number.
    Value kern = member("kerning");
    double kerning = LeadingInteger(text("kerning"));
    f.kerning =
        (kern.isString() && rt.ToStr(kern) == "true") || (!std::isnan(kerning) && kerning != 0);
    f.leading = number("leading", false);
    f.letterSpacing = number("letterSpacing", true);
    if (auto m = number("marginLeft", false)) {
        f.leftMargin = std::max(0.0, *m);
    }
    if (auto m = number("marginRight", false)) {
        f.rightMargin = std::max(0.0, *m);
    }
    f.indent = number("textIndent", false);
    std::string align = AsciiLower(text("textAlign"));
    if (align == "left") {
        f.align = display::Align::Left;
    } else if (align == "center") {
        f.align = display::Align::Center;
    } else if (align == "right") {
        f.align = display::Align::Right;
    } else if (align == "justify") {
        f.align = display::Align::Justify;
    }
    std::string decoration = text("textDecoration");
    if (decoration == "none" || decoration == "underline") {
        f.underline = decoration == "underline";
    }
    Object* out = NewTextFormatObject(rt, f);
    std::string display = text("display");
    rt.Put(Value(out), "display",
           Value(display == "inline" || display == "none" ? display : "block"));
    return Value(out);
}

// The sheet's file is read at once; onLoad hears whether it was read and whole.
Value Load(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    auto css = rt.display().ReadFile(rt.ToStr(Arg(args, 0)));
    bool ok = css && TakeRules(rt, self, *css);
    rt.CallMethod(self, "onLoad", {Value(ok)});
    return Value(css.has_value());
}

Value Construct(Runtime&, Activation&, Value, std::vector<Value>&) {
    return Value();
}

} // namespace

void InstallStyleSheet(Runtime& rt, Object* global) {
    Object* textField = rt.Get(Value(global), "TextField").object();
    if (!textField) {
        return;
    }
    Object* proto = rt.NewPlain();
    Object* sheet = rt.MakeClass("StyleSheet", Construct, proto, textField);
    textField->Set("StyleSheet", Value(sheet)).flags = kDontEnum | kOnlyFrom7; // new in version 7
    struct Entry {
        const char* name;
        NativeFn fn;
    };
    const Entry methods[] = {
        {"clear", Clear},         {"getStyle", GetStyle}, {"getStyleNames", GetStyleNames},
        {"load", Load},           {"parseCSS", ParseCSS}, {"setStyle", SetStyle},
        {"transform", Transform}, {"parse", ParseCSS},
    };
    for (const auto& m : methods) {
        rt.Method(proto, m.name, m.fn);
        if (Property* p = proto->FindOwn(m.name)) {
            p->flags |= kDontDelete | kReadOnly;
        }
    }
}

} // namespace fw::avm1
