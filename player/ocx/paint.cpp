#include "paint.h"

#include "text.h"

#include "render/picture.h"
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

void PaintMovie(HDC dc, const RECT& bounds, swf::Player& player, const swf::Picture& picture) {
    COLORREF background = BackgroundColour(player);
    int width = bounds.right - bounds.left;
    int height = bounds.bottom - bounds.top;
    if (picture.drawn.empty() || width <= 0 || height <= 0) {
        PaintBackground(dc, bounds, background);
        PaintVariables(dc, bounds, player, background);
        return;
    }
    // Kept between paints: a frame's picture is the size of the window, drawn many times a
    // second, and reallocating it each time would cost more than drawing a still stage.
    thread_local render::Picture canvas;
    if (canvas.width != width || canvas.height != height) {
        canvas = render::Picture(width, height);
    }
    swf::Matrix stage = StageMatrix(player, bounds);
    stage.tx -= bounds.left;
    stage.ty -= bounds.top;
    player.Render(canvas, stage);
    // The background is opaque, so the premultiplied pixels are the colours to show.
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = canvas.width;
    info.bmiHeader.biHeight = -canvas.height; // rows top-down, as the picture holds them
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    ::SetDIBitsToDevice(dc, bounds.left, bounds.top, canvas.width, canvas.height, 0, 0, 0,
                        canvas.height, canvas.pixels.data(), &info, DIB_RGB_COLORS);
    if (canvas.width < width || canvas.height < height) {
        // A window wider than any picture may be: the rest shows the background.
        RECT right{bounds.left + canvas.width, bounds.top, bounds.right, bounds.bottom};
        RECT below{bounds.left, bounds.top + canvas.height, bounds.left + canvas.width,
                   bounds.bottom};
        PaintBackground(dc, right, background);
        PaintBackground(dc, below, background);
    }
}

} // namespace fw::player
