#include "display/text_edit.h"

#include <algorithm>
#include <array>
#include <utility>

namespace fw::display {
namespace {

bool IsHighSurrogate(char16_t c) {
    return c >= 0xD800 && c < 0xDC00;
}
bool IsLowSurrogate(char16_t c) {
    return c >= 0xDC00 && c < 0xE000;
}

// The code point at i and how many units it takes.
char32_t CodePoint(std::u16string_view s, std::size_t i, std::size_t& units) {
    units = 1;
    if (IsHighSurrogate(s[i]) && i + 1 < s.size() && IsLowSurrogate(s[i + 1])) {
        units = 2;
        return 0x10000 + ((char32_t{s[i]} - 0xD800) << 10) + (char32_t{s[i + 1]} - 0xDC00);
    }
    return s[i];
}

// A caret never stands between the halves of a surrogate pair.
std::size_t Before(std::u16string_view s, std::size_t i) {
    if (i == 0) {
        return 0;
    }
    --i;
    return i > 0 && IsLowSurrogate(s[i]) && IsHighSurrogate(s[i - 1]) ? i - 1 : i;
}
std::size_t After(std::u16string_view s, std::size_t i) {
    if (i >= s.size()) {
        return s.size();
    }
    std::size_t units = 1;
    CodePoint(s, i, units);
    return i + units;
}

bool IsWordChar(char16_t c) {
    constexpr std::u16string_view kBreaks = u" \t\r\n.,;:!?\"'()[]{}<>/\\|-+=*&^%$#@~`";
    return kBreaks.find(c) == std::u16string_view::npos;
}

std::size_t WordLeft(std::u16string_view s, std::size_t i) {
    while (i > 0 && !IsWordChar(s[i - 1])) {
        --i;
    }
    while (i > 0 && IsWordChar(s[i - 1])) {
        --i;
    }
    return i;
}
std::size_t WordRight(std::u16string_view s, std::size_t i) {
    while (i < s.size() && IsWordChar(s[i])) {
        ++i;
    }
    while (i < s.size() && !IsWordChar(s[i])) {
        ++i;
    }
    return i;
}

const TextField::Line* LineOf(const TextField& f, std::size_t i) {
    const auto& lines = f.Lines();
    for (const auto& line : lines) {
        if (i <= line.end) {
            return &line;
        }
    }
    return lines.empty() ? nullptr : &lines.back();
}

// The selection as the end that stays and the end that moves.
std::pair<std::size_t, std::size_t> AnchorAndCaret(const TextField& f) {
    std::size_t n = f.Length();
    std::size_t a = std::min(f.selectionStart, n);
    std::size_t b = std::min(f.selectionEnd, n);
    std::size_t caret = std::min(f.caret, n);
    if (caret == a) {
        return {b, a};
    }
    return {a, caret == b ? b : caret};
}

void Select(TextField& f, std::size_t anchor, std::size_t caret) {
    f.caret = caret;
    f.selectionStart = std::min(anchor, caret);
    f.selectionEnd = std::max(anchor, caret);
}

bool Erase(TextField& f, std::size_t from, std::size_t to) {
    if (from >= to) {
        return false;
    }
    f.Replace(from, to, u"", CharFormat{});
    Select(f, from, from);
    return true;
}

constexpr std::pair<std::string_view, EditCommand> kNames[] = {
    {"MoveLeft", EditCommand::MoveLeft},
    {"MoveRight", EditCommand::MoveRight},
    {"MoveLeftWord", EditCommand::MoveLeftWord},
    {"MoveRightWord", EditCommand::MoveRightWord},
    {"MoveLeftLine", EditCommand::MoveLeftLine},
    {"MoveRightLine", EditCommand::MoveRightLine},
    {"MoveLeftDocument", EditCommand::MoveLeftDocument},
    {"MoveRightDocument", EditCommand::MoveRightDocument},
    {"SelectLeft", EditCommand::SelectLeft},
    {"SelectRight", EditCommand::SelectRight},
    {"SelectLeftWord", EditCommand::SelectLeftWord},
    {"SelectRightWord", EditCommand::SelectRightWord},
    {"SelectLeftLine", EditCommand::SelectLeftLine},
    {"SelectRightLine", EditCommand::SelectRightLine},
    {"SelectLeftDocument", EditCommand::SelectLeftDocument},
    {"SelectRightDocument", EditCommand::SelectRightDocument},
    {"SelectAll", EditCommand::SelectAll},
    {"Copy", EditCommand::Copy},
    {"Cut", EditCommand::Cut},
    {"Paste", EditCommand::Paste},
    {"Backspace", EditCommand::Backspace},
    {"BackspaceWord", EditCommand::BackspaceWord},
    {"Delete", EditCommand::Delete},
    {"DeleteWord", EditCommand::DeleteWord},
    {"Enter", EditCommand::Enter},
};

} // namespace

CharacterFilter::CharacterFilter(std::u16string_view s) {
    admitAll_ = !s.empty() && s[0] == u'^';
    bool admit = true;
    // A range runs from the last single character, or from the lowest one when a range has
    // just ended or none came yet; dashes in a row count as one.
    std::optional<char32_t> from = char32_t{0};
    bool dash = false;
    for (std::size_t i = 0; i < s.size();) {
        std::size_t units = 1;
        char32_t c = CodePoint(s, i, units);
        i += units;
        if (c == u'^') {
            admit = !admit;
            continue;
        }
        if (c == u'-') {
            dash = true;
            continue;
        }
        if (c == u'\\') {
            if (i >= s.size()) {
                break;
            }
            c = CodePoint(s, i, units);
            i += units;
        }
        if (dash) {
            dash = false;
            if (from && *from <= c) {
                ranges_.push_back({*from, c, admit});
            }
            from = char32_t{0};
            continue;
        }
        ranges_.push_back({c, c, admit});
        from = c;
    }
}

bool CharacterFilter::Admits(char32_t c) const {
    bool admitted = admitAll_;
    for (const Range& r : ranges_) {
        if (c >= r.low && c <= r.high) {
            admitted = r.admit;
        }
    }
    return admitted;
}

std::optional<char32_t> CharacterFilter::Admit(char32_t c) const {
    if (Admits(c)) {
        return c;
    }
    char32_t other = c >= 'a' && c <= 'z'   ? c - 'a' + 'A'
                     : c >= 'A' && c <= 'Z' ? c - 'A' + 'a'
                                            : c;
    if (other != c && Admits(other)) {
        return other;
    }
    return std::nullopt;
}

void TextField::Type(std::u16string_view typed) {
    std::optional<CharacterFilter> filter;
    if (restrict) {
        filter.emplace(Utf16(*restrict));
    }
    std::u16string accepted;
    for (std::size_t i = 0; i < typed.size();) {
        std::size_t units = 1;
        char32_t c = CodePoint(typed, i, units);
        i += units;
        // A line break is the field's own, "\r", and only a multiline field takes one.
        if (c == u'\r' || c == u'\n') {
            if (multiline) {
                accepted.push_back(u'\r');
            }
            continue;
        }
        if (filter) {
            auto admitted = filter->Admit(c);
            if (!admitted) {
                continue;
            }
            c = *admitted;
        }
        AppendUtf16(accepted, c);
    }
    std::size_t from = std::min(selectionStart, selectionEnd);
    std::size_t to = std::max(selectionStart, selectionEnd);
    if (from == to) {
        from = to = std::min(caret, text_.size());
    }
    to = std::min(to, text_.size());
    from = std::min(from, to);
    if (maxChars > 0) {
        std::size_t room = static_cast<std::size_t>(maxChars) -
                           std::min<std::size_t>(maxChars, text_.size() - (to - from));
        if (accepted.size() > room) {
            accepted.resize(room);
            if (!accepted.empty() && IsHighSurrogate(accepted.back())) {
                accepted.pop_back();
            }
        }
    }
    CharFormat f = from < formats_.size() ? formats_[from]
                   : from > 0             ? formats_[from - 1]
                                          : newFormat;
    Replace(from, to, accepted, f);
    caret = selectionStart = selectionEnd = from + accepted.size();
}

void AppendUtf16(std::u16string& s, char32_t c) {
    if (c >= 0x10000) {
        c -= 0x10000;
        s.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
        s.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
    } else {
        s.push_back(static_cast<char16_t>(c));
    }
}

std::optional<EditCommand> EditCommandNamed(std::string_view name) {
    for (const auto& [n, command] : kNames) {
        if (n == name) {
            return command;
        }
    }
    return std::nullopt;
}

std::optional<EditCommand> EditCommandForKey(int keyCode, bool shift, bool control) {
    using C = EditCommand;
    // The moves come in the order left, right by character, word, line and document; each
    // selecting twin stands as far behind SelectLeft as the move behind MoveLeft.
    auto move = [&](C byChar, C byWord) {
        C c = control ? byWord : byChar;
        return shift ? static_cast<C>(static_cast<int>(c) + static_cast<int>(C::SelectLeft)) : c;
    };
    switch (keyCode) {
    case 37:
        return move(C::MoveLeft, C::MoveLeftWord);
    case 39:
        return move(C::MoveRight, C::MoveRightWord);
    case 36:
        return move(C::MoveLeftLine, C::MoveLeftDocument);
    case 35:
        return move(C::MoveRightLine, C::MoveRightDocument);
    case 8:
        return control ? C::BackspaceWord : C::Backspace;
    case 46:
        return control ? C::DeleteWord : C::Delete;
    case 13:
        return C::Enter;
    default:
        break;
    }
    if (!control) {
        return std::nullopt;
    }
    switch (keyCode) {
    case 'A':
        return C::SelectAll;
    case 'C':
        return C::Copy;
    case 'X':
        return C::Cut;
    case 'V':
        return C::Paste;
    default:
        return std::nullopt;
    }
}

bool Edit(TextField& f, EditCommand command, std::u16string& clipboard) {
    using C = EditCommand;
    const std::u16string& s = f.chars();
    auto [anchor, caret] = AnchorAndCaret(f);
    std::size_t from = std::min(anchor, caret);
    std::size_t to = std::max(anchor, caret);
    bool selecting = command >= C::SelectLeft && command <= C::SelectRightDocument;
    if (command <= C::SelectRightDocument) {
        // The moves and their selecting twins differ only in the anchor.
        int move = static_cast<int>(command) - (selecting ? static_cast<int>(C::SelectLeft) : 0);
        std::size_t to2 = caret;
        const TextField::Line* line = LineOf(f, caret);
        switch (static_cast<C>(move)) {
        case C::MoveLeft:
            to2 = !selecting && from != to ? from : Before(s, caret);
            break;
        case C::MoveRight:
            to2 = !selecting && from != to ? to : After(s, caret);
            break;
        case C::MoveLeftWord:
            to2 = WordLeft(s, caret);
            break;
        case C::MoveRightWord:
            to2 = WordRight(s, caret);
            break;
        case C::MoveLeftLine:
            to2 = line ? line->start : 0;
            break;
        case C::MoveRightLine:
            to2 = line ? line->end : s.size();
            break;
        case C::MoveLeftDocument:
            to2 = 0;
            break;
        default:
            to2 = s.size();
            break;
        }
        Select(f, selecting ? anchor : to2, to2);
        return false;
    }
    switch (command) {
    case C::SelectAll:
        Select(f, 0, s.size());
        return false;
    case C::Copy:
    case C::Cut:
        // A password is not given away, not even by cutting it.
        if (f.password || from == to) {
            return false;
        }
        clipboard = s.substr(from, to - from);
        return command == C::Cut && f.editable && Erase(f, from, to);
    default:
        break;
    }
    if (!f.editable) {
        return false;
    }
    std::u16string before = s;
    switch (command) {
    case C::Paste:
        if (clipboard.empty()) {
            return false;
        }
        f.Type(clipboard);
        break;
    case C::Enter:
        if (!f.multiline) {
            return false;
        }
        f.Type(u"\r");
        break;
    case C::Backspace:
    case C::BackspaceWord:
        return from != to
                   ? Erase(f, from, to)
                   : Erase(f, command == C::Backspace ? Before(s, caret) : WordLeft(s, caret),
                           caret);
    case C::Delete:
    case C::DeleteWord:
        return from != to
                   ? Erase(f, from, to)
                   : Erase(f, caret, command == C::Delete ? After(s, caret) : WordRight(s, caret));
    default:
        return false;
    }
    return f.chars() != before;
}

std::size_t CaretAt(const TextField& f, double x, double y) {
    const auto& lines = f.Lines();
    if (lines.empty()) {
        return 0;
    }
    // Text starts two pixels inside the box, the first line shown at the top.
    constexpr double kGutter = 2;
    std::size_t first = static_cast<std::size_t>(std::max(f.scroll, 1) - 1);
    std::size_t index = std::min(first, lines.size() - 1);
    double top = kGutter;
    for (; index + 1 < lines.size(); ++index) {
        const auto& l = lines[index];
        top += l.ascent + l.descent + l.leading;
        if (y < top) {
            break;
        }
    }
    const TextField::Line& line = lines[index];
    double at = kGutter + line.left - f.hscroll;
    const std::u16string& s = f.chars();
    for (std::size_t i = line.start; i < line.end;) {
        std::size_t next = After(s, i);
        double width = 0;
        for (std::size_t k = i; k < next; ++k) {
            width += f.AdvanceAt(k);
        }
        if (x < at + width / 2) {
            return i;
        }
        at += width;
        i = next;
    }
    return line.end;
}

} // namespace fw::display
