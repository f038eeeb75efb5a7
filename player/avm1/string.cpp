// String: the methods work on UTF-16 units, as scripts count them.

#include "runtime.h"

#include <algorithm>
#include <cmath>
#include <cwctype>
#include <locale.h>
#include <wctype.h>

namespace fw::avm1 {
namespace {

std::u16string Self(Runtime& rt, const Value& self) {
    if (self.isString()) {
        return ToUtf16(self.asString());
    }
    if (Object* o = self.object(); o && o->kind == Kind::String) {
        return ToUtf16(ToString(o->primitive, rt.version()));
    }
    return ToUtf16(rt.ToStr(self));
}

Value Out(Runtime& rt, const std::u16string& s) {
    return rt.Text(FromUtf16(s));
}

double Integer(Runtime& rt, const Value& v, double fallback) {
    if (v.isUndefined()) {
        return fallback;
    }
    // Positions are 32-bit integers: larger ones wrap.
    return static_cast<double>(ToInt32(rt.ToNum(v)));
}

Value Construct(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    bool constructing = rt.constructing;
    std::string s = args.empty() ? std::string() : rt.ToStr(args[0]);
    if (constructing && self.isObject()) {
        self.asObject()->kind = Kind::String;
        self.asObject()->primitive = Value(s);
        // A boxed text carries its length as a plain own property, which scripts may change.
        self.asObject()->Set("length", Value(static_cast<double>(ToUtf16(s).size())),
                             kDontEnum | kDontDelete);
        return self;
    }
    return Value(s);
}

Value ValueOf(Runtime& rt, Activation&, Value self, std::vector<Value>&) {
    if (Object* o = self.object(); o && o->kind == Kind::String) {
        return o->primitive;
    }
    return self.isString() ? self : Value(rt.ToStr(self));
}

Value CharAt(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    std::u16string s = Self(rt, self);
    double i = Integer(rt, Arg(args, 0), 0);
    if (i < 0 || i >= static_cast<double>(s.size())) {
        return Value("");
    }
    return Out(rt, s.substr(static_cast<std::size_t>(i), 1));
}

Value CharCodeAt(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    std::u16string s = Self(rt, self);
    double i = Integer(rt, Arg(args, 0), 0);
    if (i < 0 || i >= static_cast<double>(s.size())) {
        return Value(std::nan(""));
    }
    return Value(static_cast<double>(s[static_cast<std::size_t>(i)]));
}

Value Concat(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    std::string s = FromUtf16(Self(rt, self));
    for (const auto& a : args) {
        s += rt.ToStr(a);
        if (s.size() > rt.limits().stringBytes) {
            break;
        }
    }
    return rt.Text(std::move(s));
}

Value IndexOf(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    if (args.empty()) {
        return Value();
    }
    std::u16string s = Self(rt, self);
    std::u16string needle = ToUtf16(rt.ToStr(Arg(args, 0)));
    double start = std::max(Integer(rt, Arg(args, 1), 0), 0.0);
    if (start > static_cast<double>(s.size())) {
        return Value(-1);
    }
    auto pos = s.find(needle, static_cast<std::size_t>(start));
    return Value(pos == std::u16string::npos ? -1.0 : static_cast<double>(pos));
}

Value LastIndexOf(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    if (args.empty()) {
        return Value();
    }
    std::u16string s = Self(rt, self);
    std::u16string needle = ToUtf16(rt.ToStr(Arg(args, 0)));
    double start = Integer(rt, Arg(args, 1), static_cast<double>(s.size()));
    if (start < 0) {
        return Value(-1);
    }
    auto pos = s.rfind(needle, static_cast<std::size_t>(std::min(start, 1e9)));
    return Value(pos == std::u16string::npos ? -1.0 : static_cast<double>(pos));
}

Value Slice(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    std::u16string s = Self(rt, self);
    double len = static_cast<double>(s.size());
    auto clamp = [&](double i) { return i < 0 ? std::max(len + i, 0.0) : std::min(i, len); };
    if (args.empty()) {
        return Value();
    }
    double start = clamp(Integer(rt, args[0], 0));
    double end = clamp(Integer(rt, Arg(args, 1), len));
    if (end <= start) {
        return Value("");
    }
    return Out(rt,
               s.substr(static_cast<std::size_t>(start), static_cast<std::size_t>(end - start)));
}

Value Substring(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    if (args.empty()) {
        return Value();
    }
    std::u16string s = Self(rt, self);
    double len = static_cast<double>(s.size());
    double start = std::clamp(Integer(rt, Arg(args, 0), 0), 0.0, len);
    double end = std::clamp(Integer(rt, Arg(args, 1), len), 0.0, len);
    if (end < start) {
        std::swap(start, end);
    }
    return Out(rt,
               s.substr(static_cast<std::size_t>(start), static_cast<std::size_t>(end - start)));
}

Value Substr(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    if (args.empty()) {
        return Value();
    }
    std::u16string s = Self(rt, self);
    double len = static_cast<double>(s.size());
    double start = Integer(rt, Arg(args, 0), 0);
    if (start < 0) {
        start = std::max(len + start, 0.0);
    }
    start = std::min(start, len);
    double count = Integer(rt, Arg(args, 1), len);
    if (count < 0) {
        count = std::max(len - start + count, 0.0);
    }
    count = std::min(count, len - start);
    return Out(rt, s.substr(static_cast<std::size_t>(start), static_cast<std::size_t>(count)));
}

Value Split(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    std::u16string s = Self(rt, self);
    std::vector<Value> parts;
    Value sepValue = Arg(args, 0);
    // Without a separator the whole text is the one part, whatever the limit.
    double limit = args.size() > 1 && !args[1].isUndefined()
                       ? static_cast<double>(ToInt32(rt.ToNum(args[1])))
                       : 1e18;
    if (sepValue.isUndefined()) {
        parts.push_back(Out(rt, s));
        limit = 1e18;
    } else if (limit <= 0) {
        parts.clear();
    } else {
        std::u16string sep = ToUtf16(rt.ToStr(sepValue));
        if (sep.empty()) {
            for (char16_t c : s) {
                parts.push_back(Out(rt, std::u16string(1, c)));
            }
        } else if (!s.empty() || rt.version() >= 6) {
            std::size_t start = 0;
            while (true) {
                auto pos = s.find(sep, start);
                if (pos == std::u16string::npos) {
                    parts.push_back(Out(rt, s.substr(start)));
                    break;
                }
                parts.push_back(Out(rt, s.substr(start, pos - start)));
                start = pos + sep.size();
            }
        }
    }
    if (limit >= 0 && static_cast<double>(parts.size()) > limit) {
        parts.resize(static_cast<std::size_t>(limit));
    }
    return Value(rt.NewArray(parts));
}

// Case follows the host's simple (one unit to one unit) Unicode mappings, read through a
// locale object of our own so the process-wide locale is never touched.
// Windows' C library has no such locale object; there the library's own mappings serve.
#if defined(_WIN32)
wint_t MapUnit(wint_t c, bool upper) {
    return upper ? std::towupper(c) : std::towlower(c);
}
#else
wint_t MapUnit(wint_t c, bool upper) {
    static const locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", nullptr);
    if (!utf8) {
        return c;
    }
    return upper ? towupper_l(c, utf8) : towlower_l(c, utf8);
}
#endif

char16_t MapCase(char16_t c, bool upper) {
    if (c < 0x80) {
        if (upper) {
            return c >= 'a' && c <= 'z' ? static_cast<char16_t>(c - 32) : c;
        }
        return c >= 'A' && c <= 'Z' ? static_cast<char16_t>(c + 32) : c;
    }
    if (c >= 0xD800 && c <= 0xDFFF) {
        return c;
    }
    // Where the reference player's older table differs from today's.
    if (upper) {
        if (c == 0x3C2) {
            return 0x3A2; // final sigma moves by the Greek block's fixed distance
        }
        if (c == 0x3F2) {
            return 0x3A3;
        }
    } else {
        if (c == 0x3A2) {
            return 0x3C2;
        }
        if (c >= 0x10A0 && c <= 0x10C5) {
            return static_cast<char16_t>(c + 0x30); // Georgian capitals to the letters
        }
    }
    wint_t m = MapUnit(c, upper);
    return m <= 0xFFFF ? static_cast<char16_t>(m) : c;
}

Value ToLower(Runtime& rt, Activation&, Value self, std::vector<Value>&) {
    std::u16string s = Self(rt, self);
    for (auto& c : s) {
        c = MapCase(c, false);
    }
    return Out(rt, s);
}

Value ToUpper(Runtime& rt, Activation&, Value self, std::vector<Value>&) {
    std::u16string s = Self(rt, self);
    for (auto& c : s) {
        c = MapCase(c, true);
    }
    return Out(rt, s);
}

Value FromCharCode(Runtime& rt, Activation&, Value, std::vector<Value>& args) {
    std::u16string s;
    for (const auto& a : args) {
        char16_t c = static_cast<char16_t>(ToUint32(rt.ToNum(a)) & 0xFFFF);
        if (c == 0) {
            break;
        }
        s.push_back(c);
    }
    return Out(rt, s);
}

} // namespace

void InstallString(Runtime& rt, Object* global) {
    Object* proto = rt.NewObject(rt.objectProto_, Kind::String);
    proto->primitive = Value("");
    rt.stringProto_ = proto;
    Object* ctor = rt.MakeClass("String", Construct, proto, global);
    rt.Method(ctor, "fromCharCode", FromCharCode);
    rt.Method(proto, "toString", ValueOf);
    rt.Method(proto, "valueOf", ValueOf);
    rt.Method(proto, "charAt", CharAt);
    rt.Method(proto, "charCodeAt", CharCodeAt);
    rt.Method(proto, "concat", Concat);
    rt.Method(proto, "indexOf", IndexOf);
    rt.Method(proto, "lastIndexOf", LastIndexOf);
    rt.Method(proto, "slice", Slice);
    rt.Method(proto, "substring", Substring);
    rt.Method(proto, "substr", Substr);
    rt.Method(proto, "split", Split);
    rt.Method(proto, "toLowerCase", ToLower);
    rt.Method(proto, "toUpperCase", ToUpper);
}

} // namespace fw::avm1
