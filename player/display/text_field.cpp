#include "display/text_field.h"

#include "avm1/value.h"
#include "render/device_fonts.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <unordered_map>

namespace fw::display {

std::u16string Utf16(std::string_view utf8) {
    return avm1::ToUtf16(utf8);
}

std::string Utf8(std::u16string_view s) {
    return avm1::FromUtf16(s);
}

// --- formats ---

Format Format::Of(const CharFormat& f) {
    Format o;
    o.font = f.font;
    o.size = f.size;
    o.color = f.color;
    o.bold = f.bold;
    o.italic = f.italic;
    o.underline = f.underline;
    o.url = f.url;
    o.target = f.target;
    o.align = f.align;
    o.leftMargin = f.leftMargin;
    o.rightMargin = f.rightMargin;
    o.indent = f.indent;
    o.leading = f.leading;
    o.blockIndent = f.blockIndent;
    o.letterSpacing = f.letterSpacing;
    o.bullet = f.bullet;
    o.kerning = f.kerning;
    o.tabStops = f.tabStops;
    return o;
}

namespace {

template <typename T> void Put(const std::optional<T>& from, T& to) {
    if (from) {
        to = *from;
    }
}

template <typename T> void Keep(std::optional<T>& mine, const T& theirs) {
    if (mine && !(*mine == theirs)) {
        mine.reset();
    }
}

} // namespace

void Format::ApplyTo(CharFormat& f) const {
    Put(font, f.font);
    Put(size, f.size);
    Put(color, f.color);
    Put(bold, f.bold);
    Put(italic, f.italic);
    Put(underline, f.underline);
    Put(url, f.url);
    Put(target, f.target);
    Put(align, f.align);
    Put(leftMargin, f.leftMargin);
    Put(rightMargin, f.rightMargin);
    Put(indent, f.indent);
    Put(leading, f.leading);
    Put(blockIndent, f.blockIndent);
    Put(letterSpacing, f.letterSpacing);
    Put(bullet, f.bullet);
    Put(kerning, f.kerning);
    Put(tabStops, f.tabStops);
}

void Format::Intersect(const CharFormat& f) {
    Keep(font, f.font);
    Keep(size, f.size);
    Keep(color, f.color);
    Keep(bold, f.bold);
    Keep(italic, f.italic);
    Keep(underline, f.underline);
    Keep(url, f.url);
    Keep(target, f.target);
    Keep(align, f.align);
    Keep(leftMargin, f.leftMargin);
    Keep(rightMargin, f.rightMargin);
    Keep(indent, f.indent);
    Keep(leading, f.leading);
    Keep(blockIndent, f.blockIndent);
    Keep(letterSpacing, f.letterSpacing);
    Keep(bullet, f.bullet);
    Keep(kerning, f.kerning);
    Keep(tabStops, f.tabStops);
}

// --- the field ---

TextField::TextField(const swf::EditText& def, const swf::Movie& m, int version) : movie(&m) {
    bounds = def.bounds;
    wordWrap = def.wordWrap;
    multiline = def.multiline;
    password = def.password;
    selectable = !def.noSelect;
    editable = !def.readOnly;
    border = def.border;
    background = def.border;
    html = def.html;
    embedFonts = def.embedFonts;
    autoSize = def.autoSize ? AutoSize::Left : AutoSize::None;
    maxChars = def.maxLength;
    variable = def.variable;
    CharFormat& f = newFormat;
    if (def.hasFont) {
        if (auto it = m.fonts.find(def.fontId); it != m.fonts.end()) {
            f.font = it->second.name;
            f.bold = it->second.bold;
            f.italic = it->second.italic;
        }
    } else if (!def.fontClass.empty()) {
        f.font = def.fontClass;
    }
    if (def.hasFont || !def.fontClass.empty()) {
        f.size = def.height / 20;
    }
    // Without a colour or a layout of their own, the definition's are the defaults.
    f.color =
        (std::uint32_t{def.colour.r} << 16) | (std::uint32_t{def.colour.g} << 8) | def.colour.b;
    f.align = static_cast<Align>(static_cast<int>(def.align) & 3);
    f.leftMargin = def.leftMargin / 20;
    f.rightMargin = def.rightMargin / 20;
    f.indent = def.indent / 20;
    f.leading = def.leading / 20;
    (void)version;
    if (auto s = m.textSettings.find(def.id); s != m.textSettings.end()) {
        antiAliasType = s->second.advanced ? "advanced" : "normal";
        gridFitType = s->second.gridFit == 0   ? "none"
                      : s->second.gridFit == 2 ? "subpixel"
                                               : "pixel";
        thickness = s->second.thickness;
        sharpness = s->second.sharpness;
    }
    if (def.hasText) {
        if (html) {
            SetHtmlText(def.initialText);
        } else {
            SetText(def.initialText);
        }
    } else if (html) {
        // A markup field given no text keeps the definition's layout but not its alignment.
        f.align = Align::Left;
    }
}

std::string TextField::Text() const {
    return Utf8(text_);
}

void TextField::SetText(std::string_view utf8) {
    std::u16string s = Utf16(utf8);
    // Line breaks are kept as carriage returns; "\r\n" is two of them.
    std::u16string t;
    t.reserve(s.size());
    for (char16_t c : s) {
        t.push_back(c == u'\n' ? u'\r' : c);
    }
    CharFormat f = formats_.empty() ? newFormat : formats_.front();
    text_.clear();
    formats_.clear();
    markup_.clear();
    Replace(0, 0, t, newFormat);
    (void)f;
}

void TextField::Replace(std::size_t from, std::size_t to, std::u16string_view with,
                        const CharFormat& format) {
    from = std::min(from, text_.size());
    to = std::clamp(to, from, text_.size());
    text_.replace(from, to - from, with);
    formats_.erase(formats_.begin() + static_cast<std::ptrdiff_t>(from),
                   formats_.begin() + static_cast<std::ptrdiff_t>(to));
    formats_.insert(formats_.begin() + static_cast<std::ptrdiff_t>(from), with.size(), format);
    Changed();
    if (autoSize != AutoSize::None) {
        FitToText();
    }
}

Format TextField::FormatOf(std::size_t from, std::size_t to) const {
    to = std::min(to, formats_.size());
    if (from >= to) {
        // An empty range reads the character before it, or what new text takes.
        if (from > 0 && from <= formats_.size()) {
            return Format::Of(formats_[from - 1]);
        }
        return Format::Of(from < formats_.size() ? formats_[from] : newFormat);
    }
    Format f = Format::Of(formats_[from]);
    for (std::size_t i = from + 1; i < to; ++i) {
        f.Intersect(formats_[i]);
    }
    return f;
}

void TextField::ApplyFormat(std::size_t from, std::size_t to, const Format& f) {
    to = std::min(to, formats_.size());
    for (std::size_t i = from; i < to; ++i) {
        f.ApplyTo(formats_[i]);
    }
    // Paragraph settings belong to whole paragraphs.
    if (from < to && (f.align || f.leftMargin || f.rightMargin || f.indent || f.blockIndent ||
                      f.leading || f.bullet || f.tabStops)) {
        std::size_t start = from;
        while (start > 0 && text_[start - 1] != u'\r') {
            --start;
        }
        std::size_t end = to;
        while (end < text_.size() && text_[end - 1] != u'\r') {
            ++end;
        }
        Format para;
        para.align = f.align;
        para.leftMargin = f.leftMargin;
        para.rightMargin = f.rightMargin;
        para.indent = f.indent;
        para.blockIndent = f.blockIndent;
        para.leading = f.leading;
        para.bullet = f.bullet;
        para.tabStops = f.tabStops;
        for (std::size_t i = start; i < end && i < formats_.size(); ++i) {
            para.ApplyTo(formats_[i]);
        }
    }
    Changed();
    if (autoSize != AutoSize::None) {
        FitToText();
    }
}

void TextField::SetTextColor(std::uint32_t color) {
    for (auto& f : formats_) {
        f.color = color;
    }
    newFormat.color = color;
}

// --- measuring ---

namespace {

// Device fonts' heights as a share of the font size, those of the platform's sans, serif and
// typewriter faces (the fonts fwplay draws with have the same); where the host has no fonts,
// or they lack a character, its advance comes from a rough table of the usual sans widths.
struct Heights {
    double ascent, descent;
};
Heights DeviceHeights(render::Face face) {
    switch (face) {
    case render::Face::Serif:
        return {0.8911, 0.2163};
    case render::Face::Mono:
        return {0.8325, 0.3003};
    case render::Face::Sans:
        break;
    }
    return {0.9053, 0.2119};
}

double TableAdvance(char16_t c) {
    if (c == u' ') {
        return 0.25;
    }
    if (c == u'i' || c == u'l' || c == u'j' || c == u'.' || c == u',' || c == u'\'') {
        return 0.28;
    }
    if (c == u'm' || c == u'w' || c == u'M' || c == u'W') {
        return 0.78;
    }
    if (c >= u'A' && c <= u'Z') {
        return 0.67;
    }
    return 0.5;
}

// The host's own font measures a device text, so its letters stand where they are drawn.
double DeviceAdvance(const CharFormat& f, char16_t c) {
    const render::DeviceFonts* fonts = render::CurrentDeviceFonts();
    if (!fonts) {
        return TableAdvance(c);
    }
    // Asking for a glyph builds its outline: a text laid out again each frame asks once. A
    // movie that wanders through very many characters starts the cache again.
    constexpr std::size_t kMaxKept = 4096;
    thread_local const render::DeviceFonts* cachedFor = nullptr;
    thread_local std::unordered_map<std::uint32_t, double> cache;
    if (cachedFor != fonts || cache.size() >= kMaxKept) {
        cache.clear();
        cachedFor = fonts;
    }
    render::Face face = render::FaceOf(f.font);
    std::uint32_t key = std::uint32_t{c} | static_cast<std::uint32_t>(face) << 16 |
                        (f.bold ? 1u : 0u) << 20 | (f.italic ? 1u : 0u) << 21;
    auto [it, added] = cache.try_emplace(key, 0.0);
    if (added) {
        render::GlyphOutline glyph;
        it->second =
            fonts->Glyph(face, f.bold, f.italic, c, glyph) ? glyph.advance : TableAdvance(c);
    }
    return it->second;
}

const swf::Font* FindFont(const swf::Movie* movie, const CharFormat& f) {
    if (!movie) {
        return nullptr;
    }
    const swf::Font* any = nullptr;
    for (const auto& [id, font] : movie->fonts) {
        if (font.name == f.font && font.hasLayout) {
            if (font.bold == f.bold && font.italic == f.italic) {
                return &font;
            }
            any = any ? any : &font;
        }
    }
    return any;
}

// A movie's own font measures its text whether or not the field draws with it, as the
// reference player does for a font of the same name.
double FontAdvance(const swf::Font* font, const CharFormat& f, char16_t c) {
    if (font) {
        // Fonts list their characters in ascending order.
        auto it = std::lower_bound(font->codes.begin(), font->codes.end(), c);
        auto i = static_cast<std::size_t>(it - font->codes.begin());
        if (it != font->codes.end() && *it == c && i < font->advances.size()) {
            // Advances are whole twips, cut toward zero.
            return std::trunc(font->advances[i] * f.size * 20 / font->emSquare) / 20;
        }
        return 0;
    }
    // The platform lays device text out in whole pixels, each letter's advance rounded.
    return std::round(DeviceAdvance(f, c) * f.size);
}

// A device text takes whole pixels a letter, even where the movie's font of its name measures
// it; letter spacing that would leave a letter less than a pixel is not applied to it.
double DeviceLetter(double advance, double spacing) {
    advance = std::round(advance);
    return advance + spacing >= 1 ? advance + spacing : advance;
}

// A field that draws only with its movie's fonts gives a font the movie lacks no height.
void FontHeights(const swf::Movie* movie, const CharFormat& f, double& ascent, double& descent,
                 bool missing = false) {
    if (const swf::Font* font = FindFont(movie, f)) {
        ascent = std::trunc(font->ascent * f.size * 20 / font->emSquare) / 20;
        descent = std::trunc(font->descent * f.size * 20 / font->emSquare) / 20;
        return;
    }
    // In whole twips, cut toward zero, as a movie's own font's are.
    Heights h = DeviceHeights(render::FaceOf(f.font));
    ascent = missing ? 0 : std::trunc(h.ascent * f.size * 20) / 20;
    descent = missing ? 0 : std::trunc(h.descent * f.size * 20) / 20;
}

} // namespace

const swf::Font* EmbeddedFont(const swf::Movie& movie, const CharFormat& f) {
    const swf::Font* any = nullptr;
    for (const auto& [id, font] : movie.fonts) {
        if (font.name == f.font && !font.glyphs.empty()) {
            if (font.bold == f.bold && font.italic == f.italic) {
                return &font;
            }
            any = any ? any : &font;
        }
    }
    return any;
}

bool TextField::Missing(const CharFormat& f) const {
    return embedFonts && (!movie || !EmbeddedFont(*movie, f));
}

double TextField::Advance(const CharFormat& f, char16_t c) const {
    // Runs of one format ask for one font: the search through the movie's fonts is done once.
    if (!lastFormat_ || !(*lastFormat_ == f)) {
        lastFormat_ = &f;
        lastFont_ = FindFont(movie, f);
        lastMissing_ = !lastFont_ && Missing(f);
    }
    if (lastMissing_) {
        return 0;
    }
    double advance = FontAdvance(lastFont_, f, c);
    return embedFonts ? advance + f.letterSpacing : DeviceLetter(advance, f.letterSpacing);
}

void TextField::Measure(const swf::Movie* movie, bool embed, const CharFormat& f,
                        std::u16string_view s, double& width, double& ascent, double& descent) {
    width = 0;
    const swf::Font* font = FindFont(movie, f);
    for (char16_t c : s) {
        double advance = FontAdvance(font, f, c);
        width += embed ? advance + f.letterSpacing : DeviceLetter(advance, f.letterSpacing);
    }
    FontHeights(movie, f, ascent, descent);
}

const std::vector<TextField::Line>& TextField::Lines() const {
    if (!linesValid_) {
        Relayout();
    }
    return lines_;
}

namespace {

// A tab moves the pen to the paragraph's next stop past it, or stays where none is left; a
// paragraph without stops has one every 2.7 ems of its first character's size.
double TabAdvance(const CharFormat& pf, double x) {
    if (pf.tabStops.empty()) {
        double every = std::round(pf.size * 2.7 * 20);
        if (!(every > 0)) {
            return 0;
        }
        double at = std::round(x * 20);
        return (std::floor(at / every) + 1) * every / 20 - x;
    }
    for (double stop : pf.tabStops) {
        if (stop > x) {
            return stop - x;
        }
    }
    return 0;
}

} // namespace

void TextField::Relayout() const {
    lastFormat_ = nullptr;
    lines_.clear();
    linesValid_ = true;
    std::size_t n = text_.size();
    advances_.assign(n, 0.0);
    double room = (bounds.xMax - bounds.xMin) / 20.0 - 4;
    int version = movie ? movie->version : 8;
    std::size_t i = 0;
    do {
        Line line;
        line.start = i;
        const CharFormat& pf = i < n ? formats_[i] : newFormat;
        bool first = i == 0 || text_[i - 1] == u'\r';
        // A bulleted paragraph's lines all stand right of its bullet, and on the left.
        line.bullet = first && pf.bullet && i < n && text_[i] != u'\r';
        Align align = pf.bullet ? Align::Left : pf.align;
        double left = pf.leftMargin + pf.blockIndent + (first ? pf.indent : 0) +
                      (pf.bullet ? kBulletIndent : 0);
        double lineRoom = room - pf.rightMargin - left;
        double width = 0;
        std::size_t lastBreak = std::u16string::npos;
        double widthAtBreak = 0;
        std::size_t j = i;
        for (; j < n && text_[j] != u'\r'; ++j) {
            char16_t c = text_[j];
            bool gap = c == u' ' || c == u'\t';
            double a =
                c == u'\t' ? TabAdvance(pf, width) : Advance(formats_[j], password ? u'*' : c);
            if (wordWrap && j > i && a > 0 && width + a > lineRoom && !gap) {
                if (lastBreak != std::u16string::npos) {
                    j = lastBreak + 1;
                    width = widthAtBreak;
                } else {
                    // A word wider than the line is cut where it no longer fits.
                }
                break;
            }
            advances_[j] = a;
            if (gap) {
                // The space or tab a line breaks at stays on it and counts in its width.
                lastBreak = j;
                widthAtBreak = width + a;
            }
            width += a;
        }
        line.end = j;
        // From version 8 on, spaces that end a line centred or set to the right take no room.
        if (version >= 8 && (align == Align::Right || align == Align::Center)) {
            for (std::size_t k = j; k > i && text_[k - 1] == u' '; --k) {
                width -= advances_[k - 1];
            }
        }
        line.width = width;
        line.left = left + (align == Align::Right    ? lineRoom - width
                            : align == Align::Center ? (lineRoom - width) / 2
                                                     : 0);
        for (std::size_t k = i; k < std::max(j, i + 1) && k <= n; ++k) {
            const CharFormat& f = k < n ? formats_[k] : (n ? formats_[n - 1] : newFormat);
            double a = 0, d = 0;
            FontHeights(movie, f, a, d, Missing(f));
            line.ascent = std::max(line.ascent, a);
            line.descent = std::max(line.descent, d);
            line.leading = std::max(line.leading, f.leading);
        }
        lines_.push_back(line);
        i = j < n && text_[j] == u'\r' ? j + 1 : j;
        if (j == n) {
            break;
        }
        if (i == n && text_[n - 1] == u'\r') {
            // A final break opens an empty last line.
            Line last;
            last.start = last.end = n;
            const CharFormat& f = formats_[n - 1];
            FontHeights(movie, f, last.ascent, last.descent, Missing(f));
            last.leading = f.leading;
            last.left = f.leftMargin + f.blockIndent + f.indent;
            lines_.push_back(last);
            break;
        }
    } while (i <= n && lines_.size() < 100000);
}

double TextField::ExactWidth() const {
    double w = 0;
    for (const auto& l : Lines()) {
        w = std::max(w, l.width);
    }
    return w;
}

double TextField::TextWidth() const {
    return std::floor(ExactWidth() + 1e-9);
}

double TextField::TextHeight() const {
    double h = 0;
    if (text_.empty()) {
        return h; // no line stands without a character
    }
    const auto& lines = Lines();
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i > 0 && i + 1 == lines.size() && lines[i].start == text_.size()) {
            break; // the empty line a final break opens has no height
        }
        h += lines[i].ascent + lines[i].descent;
        // A lone line counts its leading; otherwise the last line's is not part of the text.
        if (i + 1 < lines.size() || lines.size() == 1) {
            h += lines[i].leading;
        }
    }
    return std::floor(h + 1e-9);
}

int TextField::MaxScroll() const {
    const auto& lines = Lines();
    double room = (bounds.yMax - bounds.yMin) / 20.0 - 4;
    double h = 0;
    int fit = 0;
    for (auto it = lines.rbegin(); it != lines.rend(); ++it) {
        h += it->ascent + it->descent + (it == lines.rbegin() ? 0 : it->leading);
        if (h > room && fit > 0) {
            break;
        }
        ++fit;
    }
    return std::max(1, static_cast<int>(lines.size()) - fit + 1);
}

int TextField::BottomScroll() const {
    const auto& lines = Lines();
    double room = (bounds.yMax - bounds.yMin) / 20.0 - 4;
    double h = 0;
    int last = scroll;
    for (std::size_t i = static_cast<std::size_t>(std::max(scroll - 1, 0)); i < lines.size(); ++i) {
        h += lines[i].ascent + lines[i].descent;
        if (h > room && last > scroll) {
            break;
        }
        last = static_cast<int>(i) + 1;
        h += lines[i].leading;
    }
    return last;
}

int TextField::MaxHScroll() const {
    double room = (bounds.xMax - bounds.xMin) / 20.0 - 4;
    return std::max(0, static_cast<int>(TextWidth() - room));
}

void TextField::FitToText() {
    if (autoSize == AutoSize::None) {
        return;
    }
    double w = std::round((ExactWidth() + 4) * 20);
    double h = (TextHeight() + 4) * 20;
    double oldW = bounds.xMax - bounds.xMin;
    if (!wordWrap) {
        switch (autoSize) {
        case AutoSize::Left:
            bounds.xMax = bounds.xMin + w;
            break;
        case AutoSize::Right:
            bounds.xMin = bounds.xMax - w;
            break;
        case AutoSize::Center:
            bounds.xMin += (oldW - w) / 2;
            bounds.xMax = bounds.xMin + w;
            break;
        case AutoSize::None:
            break;
        }
    }
    bounds.yMax = bounds.yMin + h;
    Changed();
}

} // namespace fw::display
