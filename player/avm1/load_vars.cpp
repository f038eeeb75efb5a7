// Loading from outside the movie: the queue of files on their way, LoadVars and loadVariables,
// which read "name=value&..." texts into an object or a timeline.

#include "runtime.h"
#include "swf/flashvars.h"

namespace fw::avm1 {
namespace {

// The characters of Windows code page 1252 from 0x80 to 0x9F; the rest of the page is Latin-1.
constexpr std::uint16_t kCp1252[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

std::string FromCodePage(std::string_view bytes) {
    std::u16string text;
    for (char c : bytes) {
        auto b = static_cast<unsigned char>(c);
        text += static_cast<char16_t>(b >= 0x80 && b < 0xA0 ? kCp1252[b - 0x80] : b);
    }
    return FromUtf16(text);
}

// The text of a loaded file as the scripts see it: from version 6 UTF-8 (a byte-order mark
// dropped), before that the host's code page.
std::string ScriptText(Runtime& rt, std::string_view bytes) {
    if (rt.version() >= 6) {
        if (bytes.starts_with("\xEF\xBB\xBF")) {
            bytes.remove_prefix(3);
        }
        return std::string(bytes);
    }
    return FromCodePage(bytes);
}

// Sets each "name=value" pair of a form-encoded text on the target; raw bytes from a file are
// read as the scripts' text once their escapes are undone.
void Decode(Runtime& rt, const Value& target, std::string_view text, bool raw) {
    for (auto& [name, value] : swf::ParseFlashVars(text)) {
        rt.Put(target, raw ? ScriptText(rt, name) : name,
               rt.Text(raw ? ScriptText(rt, value) : std::move(value)));
    }
}

void VariablesArrived(Runtime& rt, const Value& target, const std::optional<std::string>& data) {
    if (data) {
        Decode(rt, target, *data, true);
    }
}

void Arrived(Runtime& rt, const Value& target, const std::optional<std::string>& data) {
    if (data) {
        double size = static_cast<double>(data->size());
        rt.Put(target, "_bytesLoaded", Value(size));
        rt.Put(target, "_bytesTotal", Value(size));
        rt.CallMethod(target, "onData", {rt.Text(ScriptText(rt, *data))});
    } else {
        rt.CallMethod(target, "onData", {Value()});
    }
}

Value Construct(Runtime&, Activation&, Value, std::vector<Value>&) {
    return Value();
}

Value Load(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    if (!self.isObject() || args.empty() || args[0].isNullish()) {
        return Value(false);
    }
    LoadInto(rt, self, rt.ToStr(args[0]));
    return Value(true);
}

Value OnData(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    ReadLoaded(rt, self, Arg(args, 0), "decode");
    return Value();
}

Value DecodeFn(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    if (self.isObject() && !args.empty()) {
        Decode(rt, self, rt.ToStr(args[0]), false);
    }
    return Value();
}

std::string FormEncode(std::string_view s) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (char c : s) {
        auto b = static_cast<unsigned char>(c);
        if ((b >= '0' && b <= '9') || (b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z') ||
            c == '-' || c == '_' || c == '.' || c == '~' || c == '*' || c == '\'' || c == '(' ||
            c == ')' || c == '!') {
            out += c;
        } else if (c == ' ') {
            out += '+';
        } else {
            out += '%';
            out += kHex[b >> 4];
            out += kHex[b & 15];
        }
    }
    return out;
}

Value ToStringFn(Runtime& rt, Activation&, Value self, std::vector<Value>&) {
    Object* o = self.object();
    if (!o) {
        return Value("");
    }
    std::string out;
    for (const auto& key : rt.EnumerateKeys(o)) {
        if (!out.empty()) {
            out += '&';
        }
        out += FormEncode(key) + "=" + FormEncode(rt.ToStr(rt.Get(self, key)));
    }
    return rt.Text(std::move(out));
}

Value Nothing(Runtime&, Activation&, Value, std::vector<Value>&) {
    return Value();
}

} // namespace

void Runtime::RequestLoad(std::string url, Value target, LoadDone done) {
    loads_.push_back(Load{std::move(url), std::move(target), done});
}

void Runtime::DeliverLoads() {
    // What the deliveries ask for arrives with the next tick.
    std::vector<Load> due;
    due.swap(loads_);
    for (auto& load : due) {
        std::optional<std::string> data = display_.ReadFile(load.url);
        if (!data) {
            Report("could not load " + load.url);
        }
        callDepth_ = 0;
        try {
            load.done(*this, load.target, data);
        } catch (Thrown& thrown) {
            Report("uncaught exception: " + ToString(thrown.value, version_));
        }
    }
}

void LoadInto(Runtime& rt, const Value& self, const std::string& url) {
    Object* o = self.object();
    for (const auto& [name, v] : {std::pair<const char*, Value>{"_bytesLoaded", Value(0)},
                                  {"_bytesTotal", Value()},
                                  {"loaded", Value(false)}}) {
        if (o->FindOwn(name)) {
            rt.Put(self, name, v);
        } else {
            o->Set(name, v, kDontEnum | kDontDelete);
        }
    }
    rt.RequestLoad(url, self, Arrived);
}

Value GetBytesLoaded(Runtime& rt, Activation&, Value self, std::vector<Value>&) {
    return rt.Get(self, "_bytesLoaded");
}

Value GetBytesTotal(Runtime& rt, Activation&, Value self, std::vector<Value>&) {
    return rt.Get(self, "_bytesTotal");
}

void ReadLoaded(Runtime& rt, const Value& self, const Value& text, const char* reader) {
    if (text.isUndefined()) {
        rt.CallMethod(self, "onLoad", {Value(false)});
        return;
    }
    rt.CallMethod(self, reader, {Value(rt.ToStr(text))});
    rt.Put(self, "loaded", Value(true));
    rt.CallMethod(self, "onLoad", {Value(true)});
}

void LoadVariables(Runtime& rt, const std::string& url, const Value& target) {
    if (target.isObject()) {
        rt.RequestLoad(url, target, VariablesArrived);
    }
}

void InstallLoadVars(Runtime& rt, Object* global) {
    Object* proto = rt.NewPlain();
    rt.MakeClass("LoadVars", Construct, proto, global);
    const std::pair<const char*, NativeFn> methods[] = {
        {"load", Load},
        {"send", Nothing},
        {"sendAndLoad", Nothing},
        {"decode", DecodeFn},
        {"toString", ToStringFn},
        {"getBytesLoaded", GetBytesLoaded},
        {"getBytesTotal", GetBytesTotal},
        {"addRequestHeader", Nothing},
        {"onData", OnData},
    };
    for (const auto& [name, fn] : methods) {
        rt.Method(proto, name, fn);
    }
    proto->Set("contentType", Value("application/x-www-form-urlencoded"), kDontEnum);
}

} // namespace fw::avm1
