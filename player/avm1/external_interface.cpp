// flash.external.ExternalInterface: the bridge to a page's scripts. A player without a page has
// no container to call, but the helpers that write values as the bridge's XML and read them back
// are there, as movies and their tests use them directly.

#include "runtime.h"

namespace fw::avm1 {
namespace {

constexpr int kMaxDepth = 256; // nested arrays and objects written or read at most

std::string Replace(std::string_view s, const std::pair<char, const char*>* table, std::size_t n) {
    std::string out;
    for (char c : s) {
        const char* with = nullptr;
        for (std::size_t i = 0; i < n; ++i) {
            if (table[i].first == c) {
                with = table[i].second;
            }
        }
        if (with) {
            out += with;
        } else {
            out += c;
        }
    }
    return out;
}

// The text helpers answer null for no text at all or an empty one.
std::optional<std::string> TextArg(Runtime& rt, const std::vector<Value>& args) {
    if (args.empty()) {
        return std::nullopt;
    }
    std::string s = rt.ToStr(args[0]);
    return s.empty() ? std::nullopt : std::optional<std::string>(std::move(s));
}

std::string EscapeXml(std::string_view s) {
    static constexpr std::pair<char, const char*> kTable[] = {
        {'&', "&amp;"}, {'<', "&lt;"}, {'>', "&gt;"}, {'"', "&quot;"}, {'\'', "&apos;"}};
    return Replace(s, kTable, std::size(kTable));
}

Value EscapeXmlFn(Runtime& rt, Activation&, Value, std::vector<Value>& args) {
    auto s = TextArg(rt, args);
    return s ? rt.Text(EscapeXml(*s)) : Value(Null{});
}

Value UnescapeXmlFn(Runtime& rt, Activation&, Value, std::vector<Value>& args) {
    auto s = TextArg(rt, args);
    if (!s) {
        return Value(Null{});
    }
    static constexpr std::pair<std::string_view, char> kEntities[] = {
        {"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&apos;", '\''}};
    std::string out;
    std::string_view rest = *s;
    while (!rest.empty()) {
        bool matched = false;
        for (const auto& [entity, c] : kEntities) {
            if (rest.starts_with(entity)) {
                out += c;
                rest.remove_prefix(entity.size());
                matched = true;
                break;
            }
        }
        if (!matched) {
            out += rest.front();
            rest.remove_prefix(1);
        }
    }
    return rt.Text(std::move(out));
}

Value JsQuoteStringFn(Runtime& rt, Activation&, Value, std::vector<Value>& args) {
    auto s = TextArg(rt, args);
    static constexpr std::pair<char, const char*> kTable[] = {{'"', "\\\""}};
    return s ? rt.Text(Replace(*s, kTable, 1)) : Value(Null{});
}

// --- values to the bridge's XML ---

void Deeper(Runtime& rt, int depth) {
    if (depth > kMaxDepth) {
        rt.Stop("values nested deeper than " + std::to_string(kMaxDepth));
    }
}

std::string ToXml(Runtime& rt, const Value& v, int depth);

std::string ArrayToXml(Runtime& rt, const Value& v, int depth) {
    Deeper(rt, depth);
    std::string out = "<array>";
    double n = v.isNullish() ? 0 : rt.ToNum(rt.Get(v, "length"));
    for (double i = 0; i < n; ++i) {
        std::string id = Runtime::IndexName(i);
        out += "<property id=\"" + id + "\">" + ToXml(rt, rt.Get(v, id), depth + 1) + "</property>";
    }
    return out + "</array>";
}

std::string ArgumentsToXml(Runtime& rt, const Value& v, int depth) {
    Deeper(rt, depth);
    std::string out = "<arguments>";
    double n = v.isNullish() ? 0 : rt.ToNum(rt.Get(v, "length"));
    for (double i = 1; i < n; ++i) {
        out += ToXml(rt, rt.Get(v, Runtime::IndexName(i)), depth + 1);
    }
    return out + "</arguments>";
}

std::string ObjectToXml(Runtime& rt, const Value& v, int depth) {
    Deeper(rt, depth);
    std::string out = "<object>";
    if (Object* o = rt.ToObject(v)) {
        for (const auto& key : rt.EnumerateKeys(o)) {
            out += "<property id=\"" + key + "\">" + ToXml(rt, rt.Get(v, key), depth + 1) +
                   "</property>";
        }
    }
    return out + "</object>";
}

std::string ToXml(Runtime& rt, const Value& v, int depth) {
    switch (v.type()) {
    case Value::Type::String: {
        std::vector<Value> args{v};
        auto s = TextArg(rt, args);
        return "<string>" + (s ? EscapeXml(*s) : std::string("null")) + "</string>";
    }
    case Value::Type::Undefined:
        return "<undefined/>";
    case Value::Type::Number:
        return "<number>" + rt.ToStr(v) + "</number>";
    case Value::Type::Null:
        return "<null/>";
    case Value::Type::Boolean:
        return v.asBool() ? "<true/>" : "<false/>";
    case Value::Type::Object:
        break;
    }
    if (rt.ToBool(rt.CallMethod(v, "hasOwnProperty", {Value("length")}))) {
        return ArrayToXml(rt, v, depth);
    }
    Object* o = v.asObject();
    if (o->function || o->kind == Kind::Clip) {
        return "<null/>";
    }
    return ObjectToXml(rt, v, depth);
}

using XmlWriter = std::string (*)(Runtime&, const Value&, int);

template <XmlWriter W> Value WriteFn(Runtime& rt, Activation&, Value, std::vector<Value>& args) {
    return rt.Text(W(rt, Arg(args, 0), 0));
}

// --- the bridge's XML back to values ---

Value ToAs(Runtime& rt, const Value& node, int depth);

// Each child node's first child read as a value, stored under the child's id or appended.
void ReadChildren(Runtime& rt, const Value& node, Object* into, bool byId, int depth) {
    Deeper(rt, depth);
    Value nodes = rt.Get(node, "childNodes");
    double n = nodes.isNullish() ? 0 : rt.ToNum(rt.Get(nodes, "length"));
    for (double i = 0; i < n; ++i) {
        Value child = rt.Get(nodes, Runtime::IndexName(i));
        if (byId) {
            std::string id = rt.ToStr(rt.Get(rt.Get(child, "attributes"), "id"));
            rt.Put(Value(into), id, ToAs(rt, rt.Get(child, "firstChild"), depth + 1));
        } else {
            rt.Put(Value(into), Runtime::IndexName(rt.Length(into)), ToAs(rt, child, depth + 1));
        }
    }
}

Value ToAs(Runtime& rt, const Value& node, int depth) {
    Value name = rt.ToPrimitive(rt.Get(node, "nodeName"));
    auto is = [&](const char* type) {
        return !name.isObject() && AbstractEquals(name, Value(type), rt.version());
    };
    if (is("number")) {
        return Value(StringToNumber(rt.ToStr(rt.Get(node, "firstChild")), rt.version()));
    }
    if (is("string")) {
        return rt.Text(rt.ToStr(rt.Get(node, "firstChild")));
    }
    if (is("false") || is("true")) {
        return Value(is("true"));
    }
    if (is("null")) {
        return Value(Null{});
    }
    if (is("array") || is("object")) {
        Object* into = is("array") ? rt.NewArray() : rt.NewPlain();
        ReadChildren(rt, node, into, true, depth);
        return Value(into);
    }
    return Value();
}

Value ToAsFn(Runtime& rt, Activation&, Value, std::vector<Value>& args) {
    return ToAs(rt, Arg(args, 0), 0);
}

Value ArrayToAsFn(Runtime& rt, Activation&, Value, std::vector<Value>& args) {
    Object* a = rt.NewArray();
    ReadChildren(rt, Arg(args, 0), a, true, 0);
    return Value(a);
}

Value ObjectToAsFn(Runtime& rt, Activation&, Value, std::vector<Value>& args) {
    Object* o = rt.NewPlain();
    ReadChildren(rt, Arg(args, 0), o, true, 0);
    return Value(o);
}

Value ArgumentsToAsFn(Runtime& rt, Activation&, Value, std::vector<Value>& args) {
    Object* a = rt.NewArray();
    ReadChildren(rt, Arg(args, 0), a, false, 0);
    return Value(a);
}

Value CallFn(Runtime&, Activation&, Value, std::vector<Value>&) {
    return Value(Null{}); // no container answers
}

Value AddCallbackFn(Runtime&, Activation&, Value, std::vector<Value>&) {
    return Value(false);
}

Value Construct(Runtime&, Activation&, Value, std::vector<Value>&) {
    return Value();
}

} // namespace

Object* Package(Runtime& rt, Object* global, const char* path) {
    Object* at = global;
    std::string_view rest = path;
    while (!rest.empty()) {
        std::size_t dot = rest.find('.');
        std::string name(rest.substr(0, dot));
        rest = dot == std::string_view::npos ? std::string_view() : rest.substr(dot + 1);
        Object* next = at->Find(name) ? at->Find(name)->object() : nullptr;
        if (!next) {
            next = rt.NewPlain();
            at->Set(name, Value(next), at == global ? kDontEnum : 0);
        }
        at = next;
    }
    return at;
}

void InstallExternalInterface(Runtime& rt, Object* global) {
    Object* ei = rt.MakeClass("ExternalInterface", Construct, rt.NewPlain(),
                              Package(rt, global, "flash.external"));
    ei->Set("available", Value(false), kDontEnum | kDontDelete | kReadOnly);
    const std::pair<const char*, NativeFn> methods[] = {
        {"call", CallFn},
        {"addCallback", AddCallbackFn},
        {"_escapeXML", EscapeXmlFn},
        {"_unescapeXML", UnescapeXmlFn},
        {"_jsQuoteString", JsQuoteStringFn},
        {"_toXML", WriteFn<ToXml>},
        {"_arrayToXML", WriteFn<ArrayToXml>},
        {"_argumentsToXML", WriteFn<ArgumentsToXml>},
        {"_objectToXML", WriteFn<ObjectToXml>},
        {"_toAS", ToAsFn},
        {"_arrayToAS", ArrayToAsFn},
        {"_objectToAS", ObjectToAsFn},
        {"_argumentsToAS", ArgumentsToAsFn},
    };
    for (const auto& [name, fn] : methods) {
        rt.Method(ei, name, fn);
    }
}

} // namespace fw::avm1
