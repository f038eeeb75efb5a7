#include "paint.h"

#include "text.h"

#include "swf/player.h"

#include <string>

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

// The root variables as "name=value" lines in the top-left corner, so a person can see what
// the container handed the movie.
void PaintVariables(HDC dc, const RECT& bounds, const swf::Player& player, COLORREF background) {
    int luminance = GetRValue(background) * 3 + GetGValue(background) * 6 + GetBValue(background);
    ::SetTextColor(dc, luminance > 128 * 10 ? RGB(0, 0, 0) : RGB(255, 255, 255));
    ::SetBkMode(dc, TRANSPARENT);
    HGDIOBJ old = ::SelectObject(dc, ::GetStockObject(DEFAULT_GUI_FONT));
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
    ::SelectObject(dc, old);
}

} // namespace

void PaintMovie(HDC dc, const RECT& bounds, const swf::Player& player) {
    COLORREF background = BackgroundColour(player);
    PaintBackground(dc, bounds, background);
    PaintVariables(dc, bounds, player, background);
}

} // namespace fw::player
