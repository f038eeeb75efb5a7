#include "paint.h"

#include "text.h"

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
std::wstring FaceName(const swf::Movie& movie, const swf::EditText& field, bool& bold,
                      bool& italic) {
    std::wstring face = L"Tahoma";
    auto f = movie.fonts.find(field.fontId);
    if (field.hasFont && f != movie.fonts.end()) {
        bold = f->second.bold;
        italic = f->second.italic;
        if (f->second.name == "_serif") {
            face = L"Times New Roman";
        } else if (f->second.name == "_typewriter") {
            face = L"Courier New";
        } else if (!f->second.name.empty() && f->second.name != "_sans") {
            face = FromUtf8(f->second.name);
        }
    }
    if (face.size() >= LF_FACESIZE) {
        face.resize(LF_FACESIZE - 1);
    }
    return face;
}

void DrawEditText(HDC dc, swf::Player& player, const swf::EditText& field, const swf::Matrix& m,
                  const swf::ColorTransform& cx) {
    POINT a = ToPixel(m, swf::Point{field.bounds.xMin, field.bounds.yMin});
    POINT b = ToPixel(m, swf::Point{field.bounds.xMax, field.bounds.yMax});
    RECT box{std::min(a.x, b.x), std::min(a.y, b.y), std::max(a.x, b.x), std::max(a.y, b.y)};
    double scale = std::sqrt(std::abs(m.a * m.d - m.b * m.c));
    if (field.border) {
        Selected brush(dc, ::GetStockObject(WHITE_BRUSH), false);
        Selected pen(dc, ::GetStockObject(BLACK_PEN), false);
        ::Rectangle(dc, box.left, box.top, box.right, box.bottom);
    }
    std::wstring text = FromUtf8(player.FieldText(field));
    if (field.password) {
        text.assign(text.size(), L'*');
    }
    if (text.empty()) {
        return;
    }
    swf::Rgba c = cx.Apply(field.colour);
    if (!Visible(c)) {
        return;
    }
    bool bold = false;
    bool italic = false;
    LOGFONTW lf{};
    std::wstring face = FaceName(player.movie(), field, bold, italic);
    face.copy(lf.lfFaceName, LF_FACESIZE - 1);
    lf.lfHeight = -std::max(1L, std::lround(field.height * scale));
    lf.lfWeight = bold ? FW_BOLD : FW_NORMAL;
    lf.lfItalic = italic ? TRUE : FALSE;
    lf.lfCharSet = DEFAULT_CHARSET;
    lf.lfQuality = ANTIALIASED_QUALITY;
    Selected font(dc, ::CreateFontIndirectW(&lf), true);
    // The field keeps a two-pixel gutter inside its bounds, as players draw it.
    int gutter = std::max(1, static_cast<int>(std::lround(40 * scale)));
    RECT inner{box.left + gutter + static_cast<LONG>(std::lround(field.leftMargin * scale)),
               box.top + gutter,
               box.right - gutter - static_cast<LONG>(std::lround(field.rightMargin * scale)),
               box.bottom - gutter};
    UINT format = DT_NOPREFIX | DT_NOCLIP;
    format |= field.align == swf::TextAlign::Right    ? DT_RIGHT
              : field.align == swf::TextAlign::Center ? DT_CENTER
                                                      : DT_LEFT;
    format |= (field.multiline || field.wordWrap) ? DT_WORDBREAK : DT_SINGLELINE;
    ::SetTextColor(dc, RGB(c.r, c.g, c.b));
    ::SetBkMode(dc, TRANSPARENT);
    ::DrawTextW(dc, text.data(), static_cast<int>(text.size()), &inner, format);
}

void DrawCharacter(HDC dc, swf::Player& player, std::uint16_t id, std::uint8_t buttonState,
                   const swf::Matrix& m, const swf::ColorTransform& cx, int nesting) {
    const auto& characters = player.movie().characters;
    auto it = characters.find(id);
    if (it == characters.end() || nesting > 4) {
        return;
    }
    if (const auto* shape = std::get_if<swf::Shape>(&it->second)) {
        DrawShape(dc, *shape, m, cx);
    } else if (const auto* field = std::get_if<swf::EditText>(&it->second)) {
        DrawEditText(dc, player, *field, m, cx);
    } else if (const auto* button = std::get_if<swf::Button>(&it->second)) {
        // The records of the state shown, lowest depth first.
        std::vector<const swf::ButtonRecord*> records;
        for (const auto& rec : button->records) {
            if (rec.states & buttonState) {
                records.push_back(&rec);
            }
        }
        std::stable_sort(records.begin(), records.end(),
                         [](auto* x, auto* y) { return x->depth < y->depth; });
        for (const auto* rec : records) {
            DrawCharacter(dc, player, rec->character, swf::kStateUp, rec->matrix.Then(m),
                          rec->colour.Then(cx), nesting + 1);
        }
    }
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
    if (picture.items.empty()) {
        PaintVariables(dc, bounds, player, background);
        return;
    }
    swf::Matrix stage = StageMatrix(player, bounds);
    int saved = ::SaveDC(dc);
    ::IntersectClipRect(dc, bounds.left, bounds.top, bounds.right, bounds.bottom);
    for (const swf::DrawnItem& item : picture.drawn) {
        DrawCharacter(dc, player, item.character, item.buttonState, item.matrix.Then(stage),
                      item.colour, 0);
    }
    ::RestoreDC(dc, saved);
}

} // namespace fw::player
