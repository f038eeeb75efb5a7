#include "draw_shape.h"

#include "render/raster.h"

#include <cmath>

namespace fw::display {
namespace {

// Each style's edges as one outline: an edge has its right-hand style (fill1) inside as it
// runs, its left-hand one (fill0) inside when run backwards, so every outline of a style
// turns the same way and the winding counts it once.
std::vector<render::Path> FillPaths(const swf::Shape& shape) {
    std::vector<render::Path> paths(shape.fills.size());
    auto in = [&](int style) { return style > 0 && style <= static_cast<int>(paths.size()); };
    for (const swf::Edge& e : shape.edges) {
        if (e.fill0 == e.fill1) {
            continue; // the same on both sides: no boundary
        }
        if (in(e.fill1)) {
            paths[e.fill1 - 1].segments.push_back({e.from, e.to, e.control});
        }
        if (in(e.fill0)) {
            paths[e.fill0 - 1].segments.push_back({e.to, e.from, e.control});
        }
    }
    return paths;
}

std::vector<render::Path> LinePaths(const swf::Shape& shape) {
    std::vector<render::Path> paths(shape.lines.size());
    for (const swf::Edge& e : shape.edges) {
        if (e.line > 0 && e.line <= static_cast<int>(paths.size())) {
            paths[e.line - 1].segments.push_back({e.from, e.to, e.control});
        }
    }
    return paths;
}

render::FillRule RuleOf(const swf::Shape& shape) {
    return shape.nonZero ? render::FillRule::NonZero : render::FillRule::EvenOdd;
}

render::StrokeStyle StrokeOf(const swf::LineStyle& line, const swf::Matrix& m, double stageScale) {
    double across = std::hypot(m.a, m.b);
    double down = std::hypot(m.c, m.d);
    double scale = (across + down) / 2;
    if (line.noHScale && line.noVScale) {
        scale = stageScale;
    } else if (line.noHScale) {
        scale = down;
    } else if (line.noVScale) {
        scale = across;
    }
    double width = line.width * scale;
    render::StrokeStyle s;
    // Thinner than a pixel, a line still shows as one pixel wide.
    s.width = std::isfinite(width) && width >= 1 ? std::min(width, 1e5) : 0;
    s.startCap = line.startCap;
    s.endCap = line.endCap;
    s.join = line.join;
    s.miterLimit = line.miterLimit;
    s.noClose = line.noClose;
    return s;
}

} // namespace

std::unique_ptr<render::Paint> FillPaint(const swf::FillStyle& fill, FillBitmaps bitmaps,
                                         const swf::Matrix& m, const swf::ColorTransform& cx) {
    auto finite = [](const swf::Matrix& k) {
        return std::isfinite(k.a) && std::isfinite(k.b) && std::isfinite(k.c) &&
               std::isfinite(k.d) && std::isfinite(k.tx) && std::isfinite(k.ty);
    };
    if (!finite(fill.gradient.matrix) || !finite(fill.bitmapMatrix)) {
        return nullptr;
    }
    switch (fill.type) {
    case swf::kFillLinear:
    case swf::kFillRadial:
    case swf::kFillFocal:
        if (fill.gradient.stops.empty()) {
            return nullptr;
        }
        return render::GradientPaint(fill, fill.gradient.matrix.Then(m), cx);
    case swf::kFillRepeatingBitmap:
    case swf::kFillClippedBitmap:
    case swf::kFillRepeatingBitmapHard:
    case swf::kFillClippedBitmapHard: {
        render::PictureView image{};
        if (bitmaps.own) {
            if (fill.bitmap >= 1 && fill.bitmap <= bitmaps.own->size()) {
                image = (*bitmaps.own)[fill.bitmap - 1];
            }
        } else if (bitmaps.movie) {
            auto it = bitmaps.movie->bitmaps.find(fill.bitmap);
            if (it != bitmaps.movie->bitmaps.end() && it->second &&
                it->second->pixels.size() >=
                    static_cast<std::size_t>(std::max(0, it->second->width)) *
                        std::max(0, it->second->height)) {
                image = {it->second->width, it->second->height, it->second->pixels.data()};
            }
        }
        if (image.width <= 0 || image.height <= 0 || !image.pixels) {
            return nullptr;
        }
        bool repeat =
            fill.type == swf::kFillRepeatingBitmap || fill.type == swf::kFillRepeatingBitmapHard;
        bool smooth =
            fill.type == swf::kFillRepeatingBitmap || fill.type == swf::kFillClippedBitmap;
        // The fill's matrix carries the bitmap's pixels into the shape's twips.
        return render::BitmapPaint(image, fill.bitmapMatrix.Then(m), repeat, smooth, cx);
    }
    default:
        return std::make_unique<render::SolidPaint>(render::Premultiplied(cx.Apply(fill.colour)));
    }
}

void DrawShape(const swf::Shape& shape, FillBitmaps bitmaps, const swf::Matrix& m,
               const swf::ColorTransform& cx, double stageScale, render::Picture& target,
               const render::Mask* clip) {
    auto fills = FillPaths(shape);
    for (std::size_t i = 0; i < fills.size(); ++i) {
        if (fills[i].empty()) {
            continue;
        }
        if (auto paint = FillPaint(shape.fills[i], bitmaps, m, cx)) {
            render::FillPath(target, render::Transformed(fills[i], m), RuleOf(shape), *paint, clip);
        }
    }
    auto lines = LinePaths(shape);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].empty()) {
            continue;
        }
        const swf::LineStyle& style = shape.lines[i];
        std::unique_ptr<render::Paint> paint =
            style.fill ? FillPaint(*style.fill, bitmaps, m, cx)
                       : std::make_unique<render::SolidPaint>(
                             render::Premultiplied(cx.Apply(style.colour)));
        if (paint) {
            render::StrokePath(target, render::Transformed(lines[i], m),
                               StrokeOf(style, m, stageScale), *paint, clip);
        }
    }
}

void CoverShape(const swf::Shape& shape, const swf::Matrix& m, double stageScale,
                render::Mask& mask) {
    for (const auto& path : FillPaths(shape)) {
        if (!path.empty()) {
            render::CoverPath(mask, render::Transformed(path, m), RuleOf(shape));
        }
    }
    auto lines = LinePaths(shape);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (!lines[i].empty()) {
            auto outline = render::StrokeOutline(render::Transformed(lines[i], m),
                                                 StrokeOf(shape.lines[i], m, stageScale));
            render::CoverPath(mask, outline, render::FillRule::NonZero);
        }
    }
}

} // namespace fw::display
