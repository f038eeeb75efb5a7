#pragma once
// A text field as scripts and the picture see it: its text with a format per character, the
// field's own settings, the lines the text breaks into (which the measuring properties read)
// and the HTML it reads and writes. Plain logic without the script machine: avm1's TextField
// class holds one of these per field object and the display tree reaches it through that
// object.

#include "swf/movie.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace fw::display {

enum class Align : std::uint8_t { Left, Right, Center, Justify };

// The whole format of one character.
struct CharFormat {
    std::string font = "Times New Roman";
    double size = 12;
    std::uint32_t color = 0;
    bool bold = false;
    bool italic = false;
    bool underline = false;
    std::string url;
    std::string target;
    Align align = Align::Left;
    double leftMargin = 0;
    double rightMargin = 0;
    double indent = 0;
    double leading = 0;
    double blockIndent = 0;
    double letterSpacing = 0;
    bool bullet = false;
    bool kerning = false;
    std::vector<double> tabStops;
    friend bool operator==(const CharFormat&, const CharFormat&) = default;
};

// A format with members left open (null to scripts): what a range of differing characters has
// in common, or what a script asks to change.
struct Format {
    std::optional<std::string> font;
    std::optional<double> size;
    std::optional<std::uint32_t> color;
    std::optional<bool> bold, italic, underline;
    std::optional<std::string> url, target;
    std::optional<Align> align;
    std::optional<double> leftMargin, rightMargin, indent, leading, blockIndent, letterSpacing;
    std::optional<bool> bullet, kerning;
    std::optional<std::vector<double>> tabStops;

    static Format Of(const CharFormat& f);
    void ApplyTo(CharFormat& f) const;
    // Leaves set only the members on which f agrees.
    void Intersect(const CharFormat& f);
};

class TextField {
public:
    TextField() = default;
    // A field as the movie defines it; fonts name the movie's embedded fonts.
    TextField(const swf::EditText& def, const swf::Movie& movie, int version);

    // --- settings scripts read and write directly ---
    swf::Bounds bounds; // twips, in the field's own space
    bool wordWrap = false;
    bool multiline = false;
    bool password = false;
    bool selectable = true;
    bool editable = false; // type "input"
    bool border = false;
    bool background = false;
    bool html = false;
    bool embedFonts = false;
    bool condenseWhite = false;
    bool mouseWheelEnabled = true;
    std::uint32_t borderColor = 0;
    std::uint32_t backgroundColor = 0xFFFFFF;
    int maxChars = 0;                    // 0: no limit
    std::optional<std::string> restrict; // null: any character
    std::string variable;
    enum class AutoSize : std::uint8_t { None, Left, Center, Right } autoSize = AutoSize::None;
    std::string antiAliasType = "normal";
    std::string gridFitType = "pixel";
    double sharpness = 0;
    double thickness = 0;
    int hscroll = 0; // pixels
    int scroll = 1;  // first line shown, from 1
    const swf::Movie* movie = nullptr;

    // --- the text ---
    // Plain text as scripts see it (line breaks as "\r"), UTF-8.
    std::string Text() const;
    void SetText(std::string_view utf8);
    std::string HtmlText() const;
    void SetHtmlText(std::string_view html);
    std::size_t Length() const { return text_.size(); }
    // The markup last given as it was given; empty once plain text replaced it.
    const std::string& markup() const { return markup_; }
    const std::u16string& chars() const { return text_; }
    // Replaces [from, to) by the text in the format given.
    void Replace(std::size_t from, std::size_t to, std::u16string_view with,
                 const CharFormat& format);
    // What typing does: the text replaces the selection at the caret, within maxChars and the
    // restrict set, and the caret moves behind it. The input lane drives fields through this.
    void Type(std::u16string_view typed);
    std::size_t caret = 0;
    std::size_t selectionStart = 0;
    std::size_t selectionEnd = 0;

    // --- formats ---
    Format FormatOf(std::size_t from, std::size_t to) const;
    void ApplyFormat(std::size_t from, std::size_t to, const Format& f);
    CharFormat newFormat; // what new text takes
    // Changes the colour of every character and of new text.
    void SetTextColor(std::uint32_t color);

    // --- measuring (pixels) ---
    struct Line {
        std::size_t start = 0, end = 0; // characters, the break excluded
        double width = 0;
        double left = 0;     // where the text starts inside the gutter: margins, indents, alignment
        bool bullet = false; // a paragraph's first line that carries a bullet
        double ascent = 0, descent = 0, leading = 0;
    };
    const std::vector<Line>& Lines() const;
    double TextWidth() const;
    double TextHeight() const;
    int MaxScroll() const;
    int BottomScroll() const;
    int MaxHScroll() const;
    // Width and height of a text in one format on one line. A movie's font of the format's
    // name measures it; other names measure by the device font table.
    static void Measure(const swf::Movie* movie, bool embed, const CharFormat& f,
                        std::u16string_view s, double& width, double& ascent, double& descent);
    // The format of each character, and how far it moves the pen on its line (pixels), as
    // the layout measured it: what drawing places glyphs by.
    const std::vector<CharFormat>& formats() const { return formats_; }
    double AdvanceAt(std::size_t i) const {
        Lines();
        return i < advances_.size() ? advances_[i] : 0;
    }
    // How far a bulleted paragraph's text stands right of its margin, and its bullet within.
    static constexpr double kBulletIndent = 35;
    static constexpr double kBulletAt = 18;
    // Resizes the bounds to the text as autoSize asks.
    void FitToText();
    void Changed() { linesValid_ = false; }

private:
    std::u16string text_;
    std::string markup_;
    std::vector<CharFormat> formats_; // one per character
    mutable std::vector<Line> lines_;
    mutable std::vector<double> advances_; // the pen's move past each character, tabs included
    mutable bool linesValid_ = false;
    mutable const CharFormat* lastFormat_ = nullptr; // what Advance measured last, and with
    mutable const swf::Font* lastFont_ = nullptr;    // which font
    mutable bool lastMissing_ = false;               // or none: the movie lacks it

    void Relayout() const;
    double ExactWidth() const; // the widest line, before rounding
    double Advance(const CharFormat& f, char16_t c) const;
    // Whether the field draws only with its movie's fonts and the movie lacks f's.
    bool Missing(const CharFormat& f) const;
};

// The movie's font a format names, with glyphs to draw; the one of the same style if any.
const swf::Font* EmbeddedFont(const swf::Movie& movie, const CharFormat& f);

// Scripts' texts are UTF-8; a field counts and measures UTF-16 units.
std::u16string Utf16(std::string_view utf8);
std::string Utf8(std::u16string_view s);

} // namespace fw::display
