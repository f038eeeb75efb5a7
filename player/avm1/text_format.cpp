// TextFormat: a format whose members are each open (null) until set. The members live behind
// getters and setters on the prototype, which convert a value once, as it is set.

#include "avm1/text_field.h"

#include <cmath>
#include <limits>

namespace fw::avm1 {
namespace {

using display::Align;
using display::Format;

struct FormatData : HostData {
    Format format;
    std::string display = "block";
    bool constructing = false; // the constructor's arguments truncate and keep their sign
    void Trace(std::vector<Object*>&) const override {}
};

FormatData* DataOf(const Value& self) {
    Object* o = self.object();
    return o && o->host ? dynamic_cast<FormatData*>(o->host.get()) : nullptr;
}

// Integers as the format keeps them: to the nearest, halves to even (before version 8 and in
// the constructor, cut toward zero), and what does not fit (or is no number) as the smallest
// integer.
double Whole(double d, bool truncate = false) {
    if (std::isnan(d) || d >= 2147483648.0 || d < -2147483648.0) {
        return -2147483648.0;
    }
    return truncate ? std::trunc(d) : std::nearbyint(d);
}

enum Member {
    kFont,
    kSize,
    kColor,
    kBold,
    kItalic,
    kUnderline,
    kUrl,
    kTarget,
    kAlign,
    kLeftMargin,
    kRightMargin,
    kIndent,
    kLeading,
    kBlockIndent,
    kTabStops,
    kBullet,
    kKerning,
    kLetterSpacing,
    kDisplay,
};

template <typename T> Value Opt(const std::optional<T>& v) {
    return v ? Value(static_cast<double>(*v)) : Value(Null{});
}
Value Opt(const std::optional<bool>& v) {
    return v ? Value(*v) : Value(Null{});
}
Value Opt(const std::optional<std::string>& v) {
    return v ? Value(*v) : Value(Null{});
}

const char* AlignText(Align a) {
    switch (a) {
    case Align::Right:
        return "right";
    case Align::Center:
        return "center";
    case Align::Justify:
        return "justify";
    default:
        return "left";
    }
}

template <int M> Value GetMember(Runtime& rt, Activation&, Value self, std::vector<Value>&) {
    FormatData* d = DataOf(self);
    if (!d) {
        return Value();
    }
    const Format& f = d->format;
    switch (M) {
    case kFont:
        return Opt(f.font);
    case kSize:
        return Opt(f.size);
    case kColor:
        return Opt(f.color);
    case kBold:
        return Opt(f.bold);
    case kItalic:
        return Opt(f.italic);
    case kUnderline:
        return Opt(f.underline);
    case kUrl:
        return Opt(f.url);
    case kTarget:
        return Opt(f.target);
    case kAlign:
        return f.align ? Value(AlignText(*f.align)) : Value(Null{});
    case kLeftMargin:
        return Opt(f.leftMargin);
    case kRightMargin:
        return Opt(f.rightMargin);
    case kIndent:
        return Opt(f.indent);
    case kLeading:
        return Opt(f.leading);
    case kBlockIndent:
        return Opt(f.blockIndent);
    case kTabStops: {
        if (!f.tabStops) {
            return Value(Null{});
        }
        std::vector<Value> items;
        for (double t : *f.tabStops) {
            items.emplace_back(t);
        }
        return Value(rt.NewArray(items));
    }
    case kBullet:
        return Opt(f.bullet);
    case kKerning:
        return Opt(f.kerning);
    case kLetterSpacing:
        return Opt(f.letterSpacing);
    case kDisplay:
        return Value(d->display);
    }
    return Value();
}

template <int M> Value SetMember(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    FormatData* d = DataOf(self);
    if (!d) {
        return Value();
    }
    Value v = Arg(args, 0);
    Format& f = d->format;
    bool none = v.isNullish();
    auto text = [&](std::optional<std::string>& out, std::size_t limit) {
        if (none) {
            out.reset();
            return;
        }
        std::string s = rt.ToStr(v);
        std::u16string u = ToUtf16(s);
        out = u.size() > limit ? FromUtf16(u.substr(0, limit)) : s;
    };
    bool truncate = d->constructing || rt.version() < 8;
    auto whole = [&](std::optional<double>& out) {
        out = none ? std::nullopt : std::optional<double>(Whole(rt.ToNum(v), truncate));
    };
    // Margins set later are never negative; before version 8 neither are the paragraph's
    // other distances.
    auto margin = [&](std::optional<double>& out) {
        if (none || d->constructing) {
            whole(out);
            return;
        }
        double n = rt.ToNum(v);
        out = n > 0 ? Whole(n, truncate) : 0.0;
    };
    auto distance = [&](std::optional<double>& out) {
        if (rt.version() < 8) {
            margin(out);
        } else {
            whole(out);
        }
    };
    auto flag = [&](std::optional<bool>& out) {
        out = none ? std::nullopt : std::optional<bool>(rt.ToBool(v));
    };
    switch (M) {
    case kFont:
        text(f.font, 64);
        break;
    case kSize:
        whole(f.size);
        break;
    case kColor:
        if (none) {
            f.color.reset();
        } else {
            double n = rt.ToNum(v);
            f.color = std::isfinite(n) ? static_cast<std::uint32_t>(ToInt32(n)) : 0u;
        }
        break;
    case kBold:
        flag(f.bold);
        break;
    case kItalic:
        flag(f.italic);
        break;
    case kUnderline:
        flag(f.underline);
        break;
    case kUrl:
        text(f.url, std::numeric_limits<std::size_t>::max());
        break;
    case kTarget:
        text(f.target, std::numeric_limits<std::size_t>::max());
        break;
    case kAlign:
        // Only the constructor clears the alignment.
        if (none && d->constructing) {
            f.align.reset();
        } else if (!none) {
            std::string a = AsciiLower(rt.ToStr(v));
            if (a == "left") {
                f.align = Align::Left;
            } else if (a == "right") {
                f.align = Align::Right;
            } else if (a == "center") {
                f.align = Align::Center;
            } else if (a == "justify") {
                f.align = Align::Justify;
            }
        }
        break;
    case kLeftMargin:
        margin(f.leftMargin);
        break;
    case kRightMargin:
        margin(f.rightMargin);
        break;
    case kIndent:
        distance(f.indent);
        break;
    case kLeading:
        distance(f.leading);
        break;
    case kBlockIndent:
        distance(f.blockIndent);
        break;
    case kTabStops:
        if (none) {
            f.tabStops.reset();
        } else if (Object* list = v.object()) {
            std::vector<double> stops;
            double n = rt.Length(list);
            for (double i = 0; i < n && i < 10000; ++i) {
                stops.push_back(Whole(rt.ToNum(rt.Element(list, i))));
            }
            f.tabStops = std::move(stops);
        }
        break;
    case kBullet:
        flag(f.bullet);
        break;
    case kKerning:
        flag(f.kerning);
        break;
    case kLetterSpacing:
        f.letterSpacing = none ? std::nullopt : std::optional<double>(rt.ToNum(v));
        break;
    case kDisplay: {
        std::string s = none ? "" : rt.ToStr(v);
        d->display = s == "inline" || s == "none" ? s : "block";
        break;
    }
    }
    return Value();
}

// The constructor's arguments, in order, set these members.
constexpr NativeFn kConstructorSetters[] = {
    SetMember<kFont>,    SetMember<kSize>,       SetMember<kColor>,       SetMember<kBold>,
    SetMember<kItalic>,  SetMember<kUnderline>,  SetMember<kUrl>,         SetMember<kTarget>,
    SetMember<kAlign>,   SetMember<kLeftMargin>, SetMember<kRightMargin>, SetMember<kIndent>,
    SetMember<kLeading>,
};

Value Construct(Runtime& rt, Activation& caller, Value self, std::vector<Value>& args) {
    Object* o = self.object();
    if (!rt.constructing || !o) {
        return Value();
    }
    auto data = std::make_unique<FormatData>();
    FormatData* d = data.get();
    o->host = std::move(data);
    d->constructing = true;
    for (std::size_t i = 0; i < args.size() && i < std::size(kConstructorSetters); ++i) {
        std::vector<Value> one{args[i]};
        kConstructorSetters[i](rt, caller, self, one);
    }
    d->constructing = false;
    return Value();
}

Value GetTextExtent(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    FormatData* d = DataOf(self);
    if (!d || args.empty()) {
        return Value();
    }
    display::CharFormat f;
    d->format.ApplyTo(f);
    std::u16string s = ToUtf16(rt.ToStr(args[0]));
    display::TextField field;
    field.movie = rt.movie;
    field.newFormat = f;
    double limit = args.size() > 1 ? rt.ToNum(args[1]) : NAN;
    if (!std::isnan(limit)) {
        field.wordWrap = true;
        field.multiline = true;
        field.bounds.xMax = (limit)*20;
    } else {
        field.bounds.xMax = 1e9;
    }
    field.SetText(FromUtf16(s));
    double ascent = 0, descent = 0, width = 0;
    display::TextField::Measure(rt.movie, false, f, u"", width, ascent, descent);
    // The measures come in an object of no class at all.
    Object* out = rt.NewObject(nullptr);
    double w = field.TextWidth();
    double h = field.TextHeight();
    out->Set("ascent", Value(std::round(ascent)));
    out->Set("descent", Value(std::round(descent)));
    out->Set("width", Value(w));
    out->Set("height", Value(h));
    out->Set("textFieldHeight", Value(h + 4));
    out->Set("textFieldWidth", Value(std::isnan(limit) ? w + 4 : limit));
    return Value(out);
}

} // namespace

display::Format FormatFromObject(Runtime&, Object* o) {
    auto* d = o && o->host ? dynamic_cast<FormatData*>(o->host.get()) : nullptr;
    return d ? d->format : display::Format{};
}

Object* NewTextFormatObject(Runtime& rt, const display::Format& f) {
    Value cls = rt.Get(Value(rt.global()), "TextFormat");
    Value proto = rt.Get(cls, "prototype");
    Object* o = rt.NewObject(proto.object() ? proto.object() : rt.objectProto_);
    auto data = std::make_unique<FormatData>();
    data->format = f;
    o->host = std::move(data);
    return o;
}

void InstallTextFormat(Runtime& rt, Object* global) {
    Object* proto = rt.NewPlain();
    rt.MakeClass("TextFormat", Construct, proto, global);
    struct Entry {
        const char* name;
        NativeFn get, set;
    };
    const Entry members[] = {
        {"display", GetMember<kDisplay>, SetMember<kDisplay>},
        {"letterSpacing", GetMember<kLetterSpacing>, SetMember<kLetterSpacing>},
        {"kerning", GetMember<kKerning>, SetMember<kKerning>},
        {"bullet", GetMember<kBullet>, SetMember<kBullet>},
        {"tabStops", GetMember<kTabStops>, SetMember<kTabStops>},
        {"blockIndent", GetMember<kBlockIndent>, SetMember<kBlockIndent>},
        {"leading", GetMember<kLeading>, SetMember<kLeading>},
        {"indent", GetMember<kIndent>, SetMember<kIndent>},
        {"rightMargin", GetMember<kRightMargin>, SetMember<kRightMargin>},
        {"leftMargin", GetMember<kLeftMargin>, SetMember<kLeftMargin>},
        {"align", GetMember<kAlign>, SetMember<kAlign>},
        {"target", GetMember<kTarget>, SetMember<kTarget>},
        {"url", GetMember<kUrl>, SetMember<kUrl>},
        {"underline", GetMember<kUnderline>, SetMember<kUnderline>},
        {"italic", GetMember<kItalic>, SetMember<kItalic>},
        {"bold", GetMember<kBold>, SetMember<kBold>},
        {"color", GetMember<kColor>, SetMember<kColor>},
        {"size", GetMember<kSize>, SetMember<kSize>},
        {"font", GetMember<kFont>, SetMember<kFont>},
    };
    for (const auto& m : members) {
        Accessor(rt, proto, m.name, m.get, m.set);
        if (Property* p = proto->FindOwn(m.name)) {
            p->flags = kDontDelete;
        }
    }
    rt.Method(proto, "getTextExtent", GetTextExtent);
}

} // namespace fw::avm1
