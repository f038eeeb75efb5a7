#include "paint.h"

#include "text.h"

#include "display/text_field.h"
#include "swf/player.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

namespace fw::player {
namespace {

COLORREF BackgroundColour(const swf::Player& player) {
    const swf::Movie& movie = player.movie();
    swf::Rgb c = movie.hasBackground ? movie.background : swf::Rgb{};
    return RGB(c.r, c.g, c.b);
}

void PaintBackground(HDC dc, const RECT& bounds, COLORREF colour) {
    HBRUSH brush = ::CreateSolidBrush(colour);
    ::FillRect(dc, &bounds, brush);
    ::DeleteObject(brush);
}

// GDI objects selected for the length of a scope.
class Selected {
public:
    Selected(HDC dc, HGDIOBJ object, bool owned)
        : dc_(dc), object_(object), owned_(owned), old_(::SelectObject(dc, object)) {}
    ~Selected() {
        ::SelectObject(dc_, old_);
        if (owned_) {
            ::DeleteObject(object_);
        }
    }
    Selected(const Selected&) = delete;
    Selected& operator=(const Selected&) = delete;

private:
    HDC dc_;
    HGDIOBJ object_;
    bool owned_;
    HGDIOBJ old_;
};

POINT ToPixel(const swf::Matrix& m, swf::Point p) {
    swf::Point q = m.Apply(p);
    return POINT{static_cast<LONG>(std::lround(q.x)), static_cast<LONG>(std::lround(q.y))};
}

// Colours with alpha: fully transparent is left out; anything else is drawn opaque, as the
// control draws on an opaque background in every window mode.
bool Visible(swf::Rgba c) {
    return c.a > 0;
}

void DrawShape(HDC dc, const swf::Shape& shape, const swf::Matrix& m,
               const swf::ColorTransform& cx) {
    ::SetPolyFillMode(dc, ALTERNATE);
    for (const auto& region : shape.regions) {
        swf::Rgba c = cx.Apply(region.colour);
        if (!Visible(c)) {
            continue;
        }
        std::vector<POINT> points;
        std::vector<INT> counts;
        for (const auto& contour : region.contours) {
            for (const auto& p : contour) {
                points.push_back(ToPixel(m, p));
            }
            counts.push_back(static_cast<INT>(contour.size()));
        }
        Selected brush(dc, ::CreateSolidBrush(RGB(c.r, c.g, c.b)), true);
        Selected pen(dc, ::GetStockObject(NULL_PEN), false);
        ::PolyPolygon(dc, points.data(), counts.data(), static_cast<int>(counts.size()));
    }
    double scale = std::sqrt(std::abs(m.a * m.d - m.b * m.c));
    for (const auto& stroke : shape.strokes) {
        swf::Rgba c = cx.Apply(stroke.colour);
        if (!Visible(c)) {
            continue;
        }
        int width = std::max(1, static_cast<int>(std::lround(stroke.width * scale)));
        Selected pen(dc, ::CreatePen(PS_SOLID, width, RGB(c.r, c.g, c.b)), true);
        for (const auto& line : stroke.lines) {
            std::vector<POINT> points;
            for (const auto& p : line) {
                points.push_back(ToPixel(m, p));
            }
            ::Polyline(dc, points.data(), static_cast<int>(points.size()));
        }
    }
}

// Device font names the format reserves, and the system fonts they stand for.
std::wstring FaceName(const std::string& font) {
    std::wstring face = L"Tahoma";
    if (font == "_serif") {
        face = L"Times New Roman";
    } else if (font == "_typewriter") {
        face = L"Courier New";
    } else if (!font.empty() && font != "_sans") {
        face = FromUtf8(font);
    }
    if (face.size() >= LF_FACESIZE) {
        face.resize(LF_FACESIZE - 1);
    }
    return face;
}

COLORREF FromRgb(std::uint32_t rgb) {
    return RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
}

// A text field in the format of its first character, as device text.
void DrawField(HDC dc, const display::TextField& field, const std::string& shown,
               const swf::Matrix& m, const swf::ColorTransform& cx) {
    POINT a = ToPixel(m, swf::Point{field.bounds.xMin, field.bounds.yMin});
    POINT b = ToPixel(m, swf::Point{field.bounds.xMax, field.bounds.yMax});
    RECT box{std::min(a.x, b.x), std::min(a.y, b.y), std::max(a.x, b.x), std::max(a.y, b.y)};
    double scale = std::sqrt(std::abs(m.a * m.d - m.b * m.c));
    if (field.border || field.background) {
        Selected brush(dc,
                       field.background ? ::CreateSolidBrush(FromRgb(field.backgroundColor))
                                        : ::GetStockObject(NULL_BRUSH),
                       field.background);
        Selected pen(dc,
                     field.border ? ::CreatePen(PS_SOLID, 1, FromRgb(field.borderColor))
                                  : ::GetStockObject(NULL_PEN),
                     field.border);
        ::Rectangle(dc, box.left, box.top, box.right, box.bottom);
    }
    std::wstring text = FromUtf8(shown);
    if (field.password) {
        text.assign(text.size(), L'*');
    }
    // Scripts break lines with a lone carriage return; DrawText wants a pair.
    std::wstring lines;
    for (wchar_t ch : text) {
        lines += ch == L'\r' ? std::wstring(L"\r\n") : std::wstring(1, ch);
    }
    display::CharFormat format = field.newFormat;
    if (field.Length() > 0) {
        field.FormatOf(0, 1).ApplyTo(format);
    }
    std::uint32_t rgb = format.color;
    swf::Rgba c = cx.Apply(swf::Rgba{static_cast<std::uint8_t>(rgb >> 16),
                                     static_cast<std::uint8_t>(rgb >> 8),
                                     static_cast<std::uint8_t>(rgb), 255});
    if (lines.empty() || !Visible(c)) {
        return;
    }
    LOGFONTW lf{};
    FaceName(format.font).copy(lf.lfFaceName, LF_FACESIZE - 1);
    lf.lfHeight = -std::max(1L, std::lround(format.size * 20 * scale));
    lf.lfWeight = format.bold ? FW_BOLD : FW_NORMAL;
    lf.lfItalic = format.italic ? TRUE : FALSE;
    lf.lfUnderline = format.underline ? TRUE : FALSE;
    lf.lfCharSet = DEFAULT_CHARSET;
    lf.lfQuality = ANTIALIASED_QUALITY;
    Selected font(dc, ::CreateFontIndirectW(&lf), true);
    // The field keeps a two-pixel gutter inside its bounds, as players draw it.
    int gutter = std::max(1, static_cast<int>(std::lround(40 * scale)));
    RECT inner{box.left + gutter + static_cast<LONG>(std::lround(format.leftMargin * 20 * scale)),
               box.top + gutter,
               box.right - gutter - static_cast<LONG>(std::lround(format.rightMargin * 20 * scale)),
               box.bottom - gutter};
    UINT flags = DT_NOPREFIX | DT_NOCLIP;
    flags |= format.align == display::Align::Right    ? DT_RIGHT
             : format.align == display::Align::Center ? DT_CENTER
                                                      : DT_LEFT;
    flags |= field.multiline || field.wordWrap ? DT_WORDBREAK : DT_SINGLELINE;
    ::SetTextColor(dc, RGB(c.r, c.g, c.b));
    ::SetBkMode(dc, TRANSPARENT);
    ::DrawTextW(dc, lines.data(), static_cast<int>(lines.size()), &inner, flags);
}

// The root variables as "name=value" lines in the top-left corner, so a person can see what
// the container handed a movie that draws nothing.
void PaintVariables(HDC dc, const RECT& bounds, const swf::Player& player, COLORREF background) {
    int luminance = GetRValue(background) * 3 + GetGValue(background) * 6 + GetBValue(background);
    ::SetTextColor(dc, luminance > 128 * 10 ? RGB(0, 0, 0) : RGB(255, 255, 255));
    ::SetBkMode(dc, TRANSPARENT);
    Selected font(dc, ::GetStockObject(DEFAULT_GUI_FONT), false);
    TEXTMETRICW tm{};
    ::GetTextMetricsW(dc, &tm);
    int y = bounds.top + 4;
    for (const auto& [name, value] : player.RootVariables()) {
        if (y > bounds.bottom) {
            break;
        }
        std::wstring line = FromUtf8(name) + L"=" + FromUtf8(value);
        if (line.size() > 200) {
            line.resize(200);
            line += L"...";
        }
        ::TextOutW(dc, bounds.left + 4, y, line.data(), static_cast<int>(line.size()));
        y += tm.tmHeight;
    }
}

} // namespace

swf::Matrix StageMatrix(const swf::Player& player, const RECT& bounds) {
    const swf::TwipsRect& frame = player.movie().frameSize;
    swf::Matrix m =
        swf::ShowAllMatrix(frame.xMin, frame.yMin, frame.xMax - frame.xMin, frame.yMax - frame.yMin,
                           bounds.right - bounds.left, bounds.bottom - bounds.top);
    m.tx += bounds.left;
    m.ty += bounds.top;
    return m;
}

void PaintMovie(HDC dc, const RECT& bounds, swf::Player& player) {
    COLORREF background = BackgroundColour(player);
    PaintBackground(dc, bounds, background);
    // A copy: drawing reads bound variables, which never changes the tree, but stays safe.
    const swf::Picture picture = player.CurrentPicture();
    if (picture.drawn.empty()) {
        PaintVariables(dc, bounds, player, background);
        return;
    }
    swf::Matrix stage = StageMatrix(player, bounds);
    int saved = ::SaveDC(dc);
    ::IntersectClipRect(dc, bounds.left, bounds.top, bounds.right, bounds.bottom);
    for (const swf::DrawnItem& item : picture.drawn) {
        const swf::Matrix m = item.matrix.Then(stage);
        if (item.field) {
            DrawField(dc, *item.field, item.text, m, item.colour);
        } else if (const auto* shape =
                       item.definition ? std::get_if<swf::Shape>(item.definition) : nullptr) {
            DrawShape(dc, *shape, m, item.colour);
        }
    }
    ::RestoreDC(dc, saved);
}

} // namespace fw::player
