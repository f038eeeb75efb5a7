#include "input_script.h"

#include "json.h"

#include <charconv>
#include <cstdlib>
#include <map>
#include <memory>

namespace fw::play {
namespace {

// The first character of a UTF-8 text, 0 when there is none or it is malformed.
char32_t FirstChar(std::string_view s) {
    if (s.empty()) {
        return 0;
    }
    auto b = static_cast<unsigned char>(s[0]);
    int extra = b < 0x80 ? 0 : b >= 0xF0 ? 3 : b >= 0xE0 ? 2 : b >= 0xC0 ? 1 : -1;
    if (extra < 0 || s.size() <= static_cast<std::size_t>(extra)) {
        return 0;
    }
    char32_t c = extra == 0 ? b : b & (0x3F >> extra);
    for (int i = 1; i <= extra; ++i) {
        c = (c << 6) | (static_cast<unsigned char>(s[static_cast<std::size_t>(i)]) & 0x3F);
    }
    return c;
}

// Key codes of the keyboard's keys as the scripts number them, for the keys a script names.
struct NamedKey {
    const char* name;
    int code;
    char32_t character;
};
constexpr NamedKey kNamedKeys[] = {
    {"Backspace", 8, 8},   {"Tab", 9, 9},          {"Enter", 13, 13},       {"LeftShift", 16, 0},
    {"RightShift", 16, 0}, {"LeftControl", 17, 0}, {"RightControl", 17, 0}, {"LeftAlt", 18, 0},
    {"Pause", 19, 0},      {"CapsLock", 20, 0},    {"Escape", 27, 27},      {"Space", 32, ' '},
    {"PageUp", 33, 0},     {"PageDown", 34, 0},    {"End", 35, 0},          {"Home", 36, 0},
    {"ArrowLeft", 37, 0},  {"ArrowUp", 38, 0},     {"ArrowRight", 39, 0},   {"ArrowDown", 40, 0},
    {"Insert", 45, 0},     {"Delete", 46, 127},    {"NumLock", 144, 0},     {"ScrollLock", 145, 0},
    {"F1", 112, 0},        {"F2", 113, 0},         {"F3", 114, 0},          {"F4", 115, 0},
    {"F5", 116, 0},        {"F6", 117, 0},         {"F7", 118, 0},          {"F8", 119, 0},
    {"F9", 120, 0},
};

// The key a printable character sits on, US layout.
int CodeOfChar(char32_t c) {
    if (c >= 'a' && c <= 'z') {
        return static_cast<int>(c - 'a' + 'A');
    }
    if ((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == ' ') {
        return static_cast<int>(c);
    }
    constexpr std::string_view kShiftedDigits = ")!@#$%^&*(";
    if (auto i = c < 128 ? kShiftedDigits.find(static_cast<char>(c)) : std::string_view::npos;
        i != std::string_view::npos) {
        return static_cast<int>('0' + i);
    }
    struct Punct {
        char a, b;
        int code;
    };
    constexpr Punct kPunct[] = {{';', ':', 186},  {'=', '+', 187}, {',', '<', 188}, {'-', '_', 189},
                                {'.', '>', 190},  {'/', '?', 191}, {'`', '~', 192}, {'[', '{', 219},
                                {'\\', '|', 220}, {']', '}', 221}, {'\'', '"', 222}};
    for (const auto& p : kPunct) {
        if (c == static_cast<char32_t>(p.a) || c == static_cast<char32_t>(p.b)) {
            return p.code;
        }
    }
    return 0;
}

bool ReadKey(const Json* key, InputEvent& e, std::string& error) {
    if (key && key->type == Json::Type::String) {
        for (const auto& k : kNamedKeys) {
            if (key->text == k.name) {
                e.keyCode = k.code;
                e.keyChar = k.character;
                return true;
            }
        }
        error = "unknown key \"" + key->text + "\"";
        return false;
    }
    if (key && key->type == Json::Type::Number) { // the older form: a key code
        e.keyCode = static_cast<int>(key->number) & 0xFF;
        return true;
    }
    const Json* ch = key ? key->Member("Char") : nullptr;
    if (!ch && key) {
        ch = key->Member("Numpad");
    }
    if (ch && ch->type == Json::Type::String) {
        e.keyChar = FirstChar(ch->text);
        e.keyCode = CodeOfChar(e.keyChar);
        if (e.keyCode) {
            return true;
        }
    }
    error = "a key event without a known key";
    return false;
}

bool ReadPos(const Json& o, InputEvent& e) {
    const Json* pos = o.Member("pos");
    if (!pos || pos->items.size() != 2 || pos->items[0].type != Json::Type::Number ||
        pos->items[1].type != Json::Type::Number) {
        return false;
    }
    e.x = pos->items[0].number;
    e.y = pos->items[1].number;
    return true;
}

} // namespace

std::optional<std::vector<InputEvent>> ParseInputScript(std::string_view json, std::string& error) {
    Json doc;
    if (!ParseJson(json, doc, error)) {
        return std::nullopt;
    }
    if (doc.type != Json::Type::Array) {
        error = "not a list of events";
        return std::nullopt;
    }
    using Kind = InputEvent::Kind;
    static const std::map<std::string, Kind> kKinds = {
        {"Wait", Kind::Wait},
        {"MouseMove", Kind::MouseMove},
        {"MouseDown", Kind::MouseDown},
        {"MouseUp", Kind::MouseUp},
        {"MouseWheel", Kind::MouseWheel},
        {"KeyDown", Kind::KeyDown},
        {"KeyUp", Kind::KeyUp},
        {"TextInput", Kind::Text},
        {"TextControl", Kind::TextControl},
        {"SetClipboardText", Kind::Clipboard},
        {"FocusGained", Kind::FocusGained},
        {"FocusLost", Kind::FocusLost},
    };
    std::vector<InputEvent> events;
    for (std::size_t i = 0; i < doc.items.size(); ++i) {
        const Json& o = doc.items[i];
        const Json* type = o.Member("type");
        auto kind = type ? kKinds.find(type->text) : kKinds.end();
        std::string where = "event " + std::to_string(i + 1) + ": ";
        if (kind == kKinds.end()) {
            error = where + "unknown type";
            return std::nullopt;
        }
        InputEvent e;
        e.kind = kind->second;
        switch (e.kind) {
        case Kind::MouseMove:
        case Kind::MouseDown:
        case Kind::MouseUp:
            if (!ReadPos(o, e)) {
                error = where + "no position";
                return std::nullopt;
            }
            if (const Json* btn = o.Member("btn")) {
                e.button = btn->text == "Middle" ? 1 : btn->text == "Right" ? 2 : 0;
            }
            break;
        case Kind::MouseWheel:
            if (const Json* lines = o.Member("lines")) {
                e.wheel = lines->number;
            } else if (const Json* pixels = o.Member("pixels")) {
                e.wheel = pixels->number / 100;
            }
            break;
        case Kind::KeyDown:
        case Kind::KeyUp: {
            const Json* key = o.Member("key");
            if (!key) {
                key = o.Member("key_code");
            }
            std::string problem;
            if (!ReadKey(key, e, problem)) {
                error = where + problem;
                return std::nullopt;
            }
            break;
        }
        case Kind::Text:
            if (const Json* cp = o.Member("codepoint")) {
                e.codepoint = FirstChar(cp->text);
            }
            break;
        case Kind::TextControl:
            if (const Json* code = o.Member("code")) {
                e.text = code->text;
            }
            break;
        case Kind::Clipboard:
            if (const Json* text = o.Member("text")) {
                e.text = text->text;
            }
            break;
        default:
            break;
        }
        events.push_back(std::move(e));
    }
    return events;
}

} // namespace fw::play
