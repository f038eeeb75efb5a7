// The HTML a text field reads and writes: a small, forgiving reader of the tags fields know
// (p, br, li, font, b, i, u, a, textformat) and their entities, and the writer that gives every
// paragraph its whole format, nesting a FONT wherever a run differs from what encloses it.

#include "avm1/value.h"
#include "display/text_field.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <optional>

namespace fw::display {
namespace {

std::string Lower(std::string_view s) {
    std::string out(s);
    for (auto& c : out) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return out;
}

// White space as markup sees it: not the vertical tab nor the form feed.
bool IsWhite(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

struct Tag {
    std::string name; // lower case
    bool closing = false;
    bool selfClosing = false;                                    // <name/>
    std::vector<std::pair<std::string, std::string>> attributes; // names lower case
    const std::string* Find(std::string_view n) const {
        for (const auto& [k, v] : attributes) {
            if (k == n) {
                return &v;
            }
        }
        return nullptr;
    }
};

// Reads a tag from after its "<" up to its ">"; false when the text is not a tag.
bool ReadTag(std::string_view s, std::size_t& i, Tag& tag) {
    std::size_t j = i;
    if (j < s.size() && s[j] == '/') {
        tag.closing = true;
        ++j;
    }
    std::size_t start = j;
    while (j < s.size() && (std::isalnum(static_cast<unsigned char>(s[j])) || s[j] == '_')) {
        ++j;
    }
    tag.name = Lower(s.substr(start, j - start));
    while (j < s.size() && s[j] != '>') {
        if (std::isspace(static_cast<unsigned char>(s[j])) || s[j] == '/') {
            tag.selfClosing = s[j] == '/' && j + 1 < s.size() && s[j + 1] == '>';
            ++j;
            continue;
        }
        std::size_t ns = j;
        while (j < s.size() && s[j] != '=' && s[j] != '>' &&
               !std::isspace(static_cast<unsigned char>(s[j]))) {
            ++j;
        }
        std::string key = Lower(s.substr(ns, j - ns));
        while (j < s.size() && std::isspace(static_cast<unsigned char>(s[j]))) {
            ++j;
        }
        std::string value;
        if (j < s.size() && s[j] == '=') {
            ++j;
            while (j < s.size() && std::isspace(static_cast<unsigned char>(s[j]))) {
                ++j;
            }
            if (j < s.size() && (s[j] == '"' || s[j] == '\'')) {
                char q = s[j++];
                std::size_t vs = j;
                while (j < s.size() && s[j] != q) {
                    ++j;
                }
                value = std::string(s.substr(vs, j - vs));
                if (j < s.size()) {
                    ++j;
                }
            } else {
                std::size_t vs = j;
                while (j < s.size() && s[j] != '>' &&
                       !std::isspace(static_cast<unsigned char>(s[j]))) {
                    ++j;
                }
                value = std::string(s.substr(vs, j - vs));
            }
        }
        if (!key.empty()) {
            tag.attributes.emplace_back(std::move(key), std::move(value));
        }
    }
    if (j >= s.size()) {
        return false;
    }
    i = j + 1;
    return true;
}

// An entity after "&": its text, or nullopt to keep the ampersand as it is.
std::optional<std::string> Entity(std::string_view s, std::size_t& i) {
    std::size_t semi = s.find(';', i);
    if (semi == std::string_view::npos || semi - i > 10) {
        return std::nullopt;
    }
    std::string name = Lower(s.substr(i, semi - i));
    std::string out;
    if (name == "lt") {
        out = "<";
    } else if (name == "gt") {
        out = ">";
    } else if (name == "amp") {
        out = "&";
    } else if (name == "quot") {
        out = "\"";
    } else if (name == "apos") {
        out = "'";
    } else if (name == "nbsp") {
        out = "\xC2\xA0";
    } else if (name.size() > 1 && name[0] == '#') {
        char* end = nullptr;
        long cp = name[1] == 'x' ? std::strtol(name.c_str() + 2, &end, 16)
                                 : std::strtol(name.c_str() + 1, &end, 10);
        if (!end || *end || cp <= 0 || cp > 0xFFFF) {
            return std::nullopt;
        }
        out = Utf8(std::u16string(1, static_cast<char16_t>(cp)));
    } else {
        return std::nullopt;
    }
    i = semi + 1;
    return out;
}

std::uint32_t ParseColour(const std::string& v, std::uint32_t fallback) {
    if (v.size() < 2 || v[0] != '#') {
        return fallback;
    }
    char* end = nullptr;
    unsigned long c = std::strtoul(v.c_str() + 1, &end, 16);
    return static_cast<std::uint32_t>(c & 0xFFFFFF);
}

std::string Number(double n) {
    return avm1::NumberToString(n);
}

std::string Escape(std::u16string_view s) {
    std::string out;
    for (char16_t c : s) {
        switch (c) {
        case u'<':
            out += "&lt;";
            break;
        case u'>':
            out += "&gt;";
            break;
        case u'&':
            out += "&amp;";
            break;
        case u'"':
            out += "&quot;";
            break;
        case u'\'':
            out += "&apos;";
            break;
        default:
            out += Utf8(std::u16string_view(&c, 1));
        }
    }
    return out;
}

const char* AlignName(Align a) {
    switch (a) {
    case Align::Right:
        return "RIGHT";
    case Align::Center:
        return "CENTER";
    case Align::Justify:
        return "JUSTIFY";
    default:
        return "LEFT";
    }
}

std::string ColourText(std::uint32_t c) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "#%06X", static_cast<unsigned>(c & 0xFFFFFF));
    return buf;
}

// The FONT attributes of f that differ from base (all of them without a base).
std::string FontAttributes(const CharFormat& f, const CharFormat* base) {
    std::string out;
    if (!base || base->font != f.font) {
        out += " FACE=\"" + f.font + "\"";
    }
    if (!base || base->size != f.size) {
        out += " SIZE=\"" + Number(f.size) + "\"";
    }
    if (!base || base->color != f.color) {
        out += " COLOR=\"" + ColourText(f.color) + "\"";
    }
    if (!base || base->letterSpacing != f.letterSpacing) {
        out += " LETTERSPACING=\"" + Number(f.letterSpacing) + "\"";
    }
    if (!base || base->kerning != f.kerning) {
        out += std::string(" KERNING=\"") + (f.kerning ? "1" : "0") + "\"";
    }
    return out;
}

bool SameFont(const CharFormat& a, const CharFormat& b) {
    return a.font == b.font && a.size == b.size && a.color == b.color &&
           a.letterSpacing == b.letterSpacing && a.kerning == b.kerning;
}

} // namespace

void TextField::SetHtmlText(std::string_view s) {
    std::u16string text;
    std::vector<CharFormat> formats;
    std::vector<CharFormat> stack{newFormat};
    std::vector<std::string> open; // tag names, matching stack[1..]
    int version = movie ? movie->version : 8;
    bool paragraphOpen = false;
    std::optional<CharFormat> lastFont; // inside the FONT element closed last
    auto breakLine = [&](const CharFormat& f) {
        if (multiline) {
            text.push_back(u'\r');
            formats.push_back(f);
        }
    };
    auto add = [&](std::string_view utf8) {
        std::u16string u = Utf16(utf8);
        for (char16_t c : u) {
            text.push_back(c);
            formats.push_back(stack.back());
        }
    };
    auto push = [&](const std::string& name, const CharFormat& f) {
        stack.push_back(f);
        open.push_back(name);
    };
    auto pop = [&](const std::string& name) {
        for (std::size_t k = open.size(); k-- > 0;) {
            if (open[k] == name) {
                open.resize(k);
                stack.resize(k + 1);
                return;
            }
        }
    };
    std::size_t i = 0;
    std::string run;
    bool space = false; // condensing: the last character given was white space
    auto flush = [&] {
        if (!run.empty()) {
            add(run);
            run.clear();
        }
    };
    bool segmentStart = true; // at the start of the text between two tags
    while (i < s.size()) {
        char c = s[i];
        if (segmentStart && c != '<') {
            // Text between tags that is only white space counts for nothing; the rest is
            // condensed on its own.
            std::size_t next = std::min(s.find('<', i), s.size());
            segmentStart = false;
            space = false;
            if (std::all_of(s.begin() + static_cast<std::ptrdiff_t>(i),
                            s.begin() + static_cast<std::ptrdiff_t>(next), IsWhite)) {
                i = next;
                continue;
            }
        }
        if (c == '<') {
            segmentStart = true;
            std::size_t j = i + 1;
            if (s.substr(i, 4) == "<!--") {
                std::size_t end = s.find("-->", i + 4);
                i = end == std::string_view::npos ? s.size() : end + 3;
                continue;
            }
            Tag tag;
            if (!ReadTag(s, j, tag)) {
                break; // an unclosed tag ends the text
            }
            flush();
            i = j;
            const std::string& n = tag.name;
            if (tag.closing && n != "br" && n != "sbr" && (open.empty() || open.back() != n)) {
                continue; // an end tag closes the element opened last, or nothing
            }
            if (n == "br" || n == "sbr") {
                if (!tag.closing) {
                    breakLine(stack.back());
                    space = false;
                }
            } else if (n == "p" || n == "li") {
                if (tag.closing) {
                    // The break belongs to the paragraph it ends. A list item's takes the
                    // item's format; a paragraph's drops the styles within it and takes the
                    // font of the FONT element closed last, and a second close adds none.
                    if (n == "li") {
                        breakLine(stack.back());
                    } else if (paragraphOpen) {
                        CharFormat f = stack.back();
                        const CharFormat& font = lastFont ? *lastFont : newFormat;
                        f.font = font.font;
                        f.size = font.size;
                        f.color = font.color;
                        f.letterSpacing = font.letterSpacing;
                        f.kerning = font.kerning;
                        f.bold = f.italic = f.underline = false;
                        f.url.clear();
                        f.target.clear();
                        breakLine(f);
                        paragraphOpen = false;
                    }
                    pop(n);
                } else {
                    // An item starts a line of its own; a paragraph breaks only where it ends.
                    if (n == "li" && !text.empty() && text.back() != u'\r') {
                        breakLine(stack.back());
                    }
                    CharFormat f = stack.back();
                    if (const auto* a = tag.Find("align")) {
                        std::string v = Lower(*a);
                        f.align = v == "right"     ? Align::Right
                                  : v == "center"  ? Align::Center
                                  : v == "justify" ? Align::Justify
                                                   : Align::Left;
                    }
                    f.bullet = f.bullet || n == "li";
                    push(n, f);
                    paragraphOpen = paragraphOpen || n == "p";
                }
            } else if (n == "b" || n == "i" || n == "u") {
                if (tag.closing) {
                    pop(n);
                } else {
                    CharFormat f = stack.back();
                    (n == "b" ? f.bold : n == "i" ? f.italic : f.underline) = true;
                    push(n, f);
                }
            } else if (n == "font") {
                if (tag.closing) {
                    for (std::size_t k = open.size(); k-- > 0;) {
                        if (open[k] == n) {
                            lastFont = stack[k + 1];
                            break;
                        }
                    }
                    pop(n);
                } else {
                    CharFormat f = stack.back();
                    if (const auto* v = tag.Find("face")) {
                        f.font = *v;
                    }
                    if (const auto* v = tag.Find("size"); v && !v->empty()) {
                        // Whole points only: the digits up to anything else, a decimal point
                        // included; a size without digits changes nothing.
                        char sign = (*v)[0] == '+' || (*v)[0] == '-' ? (*v)[0] : 0;
                        std::size_t k = sign ? 1 : 0, digits = k;
                        while (digits < v->size() &&
                               std::isdigit(static_cast<unsigned char>((*v)[digits]))) {
                            ++digits;
                        }
                        if (digits > k) {
                            double size = std::atof(
                                v->substr(k, std::min<std::size_t>(digits - k, 9)).c_str());
                            size = sign == '+' ? f.size + size : sign == '-' ? f.size - size : size;
                            f.size = std::clamp(size, 1.0, 127.0);
                        }
                    }
                    if (const auto* v = tag.Find("color")) {
                        f.color = ParseColour(*v, f.color);
                    }
                    if (const auto* v = tag.Find("letterspacing")) {
                        f.letterSpacing = std::atof(v->c_str());
                    }
                    // Markup turns kerning on only from version 8.
                    if (const auto* v = tag.Find("kerning"); v && *v == "1" && version >= 8) {
                        f.kerning = true;
                    } else if (v && *v == "0") {
                        f.kerning = false;
                    }
                    push(n, f);
                }
            } else if (n == "a") {
                if (tag.closing) {
                    pop(n);
                } else {
                    CharFormat f = stack.back();
                    if (const auto* v = tag.Find("href")) {
                        f.url = *v;
                    }
                    if (const auto* v = tag.Find("target")) {
                        f.target = *v;
                    }
                    push(n, f);
                }
            } else if (n == "textformat") {
                if (tag.closing) {
                    pop(n);
                } else {
                    CharFormat f = stack.back();
                    auto num = [&](const char* k, double& out) {
                        if (const auto* v = tag.Find(k)) {
                            out = std::atof(v->c_str());
                        }
                    };
                    num("leftmargin", f.leftMargin);
                    num("rightmargin", f.rightMargin);
                    num("indent", f.indent);
                    num("blockindent", f.blockIndent);
                    num("leading", f.leading);
                    if (const auto* v = tag.Find("tabstops")) {
                        f.tabStops.clear();
                        std::size_t p = 0;
                        while (p < v->size()) {
                            std::size_t q = v->find(',', p);
                            f.tabStops.push_back(std::atof(v->substr(p, q - p).c_str()));
                            p = q == std::string::npos ? v->size() : q + 1;
                        }
                    }
                    push(n, f);
                }
            } else if (tag.closing) {
                pop(n);
            } else if (!tag.selfClosing) {
                // Other elements change nothing but must be closed like any.
                push(n, stack.back());
            }
            continue;
        }
        if (c == '&') {
            std::size_t j = i + 1;
            if (auto e = Entity(s, j)) {
                run += *e;
                space = false;
                i = j;
                continue;
            }
        }
        if (condenseWhite && IsWhite(c)) {
            if (!space) {
                run += ' ';
            }
            space = true;
            ++i;
            continue;
        }
        if (c == '\n' || c == '\r') {
            flush();
            if (c == '\r' && i + 1 < s.size() && s[i + 1] == '\n') {
                ++i;
            }
            // A line break in the markup itself breaks the line even in a one-line field.
            text.push_back(u'\r');
            formats.push_back(stack.back());
            ++i;
            continue;
        }
        space = false;
        run.push_back(c);
        ++i;
    }
    flush();
    // Paragraph settings hold for a whole paragraph: its first character's.
    for (std::size_t a = 0; a < formats.size();) {
        std::size_t b = a;
        while (b < text.size() && text[b] != u'\r') {
            ++b;
        }
        std::size_t last = std::min(b, formats.size() - 1);
        CharFormat p = formats[a];
        for (std::size_t k = a; k <= last; ++k) {
            formats[k].align = p.align;
            formats[k].leftMargin = p.leftMargin;
            formats[k].rightMargin = p.rightMargin;
            formats[k].indent = p.indent;
            formats[k].blockIndent = p.blockIndent;
            formats[k].leading = p.leading;
            formats[k].bullet = p.bullet;
            formats[k].tabStops = p.tabStops;
        }
        a = b + 1;
    }
    text_ = std::move(text);
    formats_ = std::move(formats);
    markup_ = std::string(s);
    Changed();
    if (autoSize != AutoSize::None) {
        FitToText();
    }
}

std::string TextField::HtmlText() const {
    std::string out;
    std::size_t n = text_.size();
    if (n == 0) {
        return out; // no paragraph without a character
    }
    std::size_t a = 0;
    while (true) {
        std::size_t b = a;
        while (b < n && text_[b] != u'\r') {
            ++b;
        }
        const CharFormat& p = a < n ? formats_[a] : (n ? formats_[n - 1] : newFormat);
        std::string tf;
        if (p.leftMargin != 0) {
            tf += " LEFTMARGIN=\"" + Number(p.leftMargin) + "\"";
        }
        if (p.rightMargin != 0) {
            tf += " RIGHTMARGIN=\"" + Number(p.rightMargin) + "\"";
        }
        if (p.indent != 0) {
            tf += " INDENT=\"" + Number(p.indent) + "\"";
        }
        if (p.blockIndent != 0) {
            tf += " BLOCKINDENT=\"" + Number(p.blockIndent) + "\"";
        }
        if (p.leading != 0) {
            tf += " LEADING=\"" + Number(p.leading) + "\"";
        }
        if (!p.tabStops.empty()) {
            std::string stops;
            for (double t : p.tabStops) {
                stops += (stops.empty() ? "" : ",") + Number(t);
            }
            tf += " TABSTOPS=\"" + stops + "\"";
        }
        if (!tf.empty()) {
            out += "<TEXTFORMAT" + tf + ">";
        }
        out += p.bullet ? std::string("<LI>")
                        : std::string("<P ALIGN=\"") + AlignName(p.align) + "\">";
        // The paragraph's FONT, then one nested FONT for each run that differs from every
        // enclosing one; a run equal to an enclosing one closes back to it. The break that
        // ends the paragraph is a run's too, though it shows no text: one of its own still
        // opens and closes its styles.
        std::vector<CharFormat> fonts{p};
        out += "<FONT" + FontAttributes(p, nullptr) + ">";
        std::size_t end = b < n ? b + 1 : b;
        std::size_t r = a;
        while (r < end) {
            std::size_t e = r + 1;
            while (e < end && formats_[e] == formats_[r]) {
                ++e;
            }
            const CharFormat& f = formats_[r];
            std::size_t match = fonts.size();
            for (std::size_t k = fonts.size(); k-- > 0;) {
                if (SameFont(fonts[k], f)) {
                    match = k;
                    break;
                }
            }
            if (match < fonts.size()) {
                while (fonts.size() > match + 1) {
                    fonts.pop_back();
                    out += "</FONT>";
                }
            } else {
                out += "<FONT" + FontAttributes(f, &fonts.back()) + ">";
                fonts.push_back(f);
            }
            std::string close;
            if (!f.url.empty()) {
                out += "<A HREF=\"" + f.url + "\" TARGET=\"" + f.target + "\">";
                close = "</A>" + close;
            }
            if (f.bold) {
                out += "<B>";
                close = "</B>" + close;
            }
            if (f.italic) {
                out += "<I>";
                close = "</I>" + close;
            }
            if (f.underline) {
                out += "<U>";
                close = "</U>" + close;
            }
            out += Escape(std::u16string_view(text_).substr(r, std::min(e, b) - r));
            out += close;
            r = e;
        }
        for (std::size_t k = 0; k < fonts.size(); ++k) {
            out += "</FONT>";
        }
        out += p.bullet ? "</LI>" : "</P>";
        if (!tf.empty()) {
            out += "</TEXTFORMAT>";
        }
        a = b + 1;
        if (b >= n || a >= n) {
            break; // a final break opens no paragraph of its own
        }
    }
    return out;
}

} // namespace fw::display
