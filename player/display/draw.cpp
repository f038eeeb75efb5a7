#include "draw.h"

#include "draw_shape.h"
#include "draw_text.h"
#include "focus.h"
#include "geometry.h"
#include "stage.h"

#include "avm1/bitmap_data.h"
#include "avm1/text_field.h"
#include "render/effects.h"
#include "render/raster.h"
#include "swf/morph.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <vector>

namespace fw::display {
namespace {

constexpr int kMaxNesting = 256;  // clips within clips drawn; deeper ones are left out
constexpr int kMaxLayers = 8;     // pictures drawn apart at once (blend modes, filters)
constexpr int kMaxMasks = 64;     // masks open at once within one clip's children
constexpr double kFocusFrame = 3; // pixels of the focus highlight, inside the object's box
constexpr render::Pixel kFocusColour = 0xFFFFFF00;

bool Usable(const swf::Matrix& m) {
    double det = m.a * m.d - m.b * m.c;
    return std::isfinite(det) && std::isfinite(m.tx) && std::isfinite(m.ty) && det != 0;
}

swf::Matrix Translation(double x, double y) {
    return swf::Matrix{1, 0, 0, 1, x, y};
}

// Pixels of the target per pixel of the stage, across and down (filters are given in stage
// pixels and do not grow with a clip's own scale).
std::pair<double, double> StageScale(const swf::Matrix& toPixels) {
    return {std::hypot(toPixels.a, toPixels.b) * 20, std::hypot(toPixels.c, toPixels.d) * 20};
}

render::Path Box(const swf::Bounds& b, const swf::Matrix& m) {
    swf::Point p[4] = {m.Apply({b.xMin, b.yMin}), m.Apply({b.xMax, b.yMin}),
                       m.Apply({b.xMax, b.yMax}), m.Apply({b.xMin, b.yMax})};
    render::Path path;
    for (int i = 0; i < 4; ++i) {
        path.Line(p[i], p[(i + 1) % 4]);
    }
    return path;
}

// Where both masks cover; either may be absent (covers everything).
std::optional<render::Mask> Intersect(const render::Mask* a, const render::Mask* b) {
    if (!a && !b) {
        return std::nullopt;
    }
    if (!a || !b) {
        return *(a ? a : b);
    }
    render::Mask out = *a;
    std::size_t n = std::min(out.cover.size(), b->cover.size());
    for (std::size_t i = 0; i < n; ++i) {
        out.cover[i] = static_cast<std::uint8_t>((out.cover[i] * b->cover[i] + 127) / 255);
    }
    return out;
}

// Scales every premultiplied channel by alpha / 256.
void Fade(render::Picture& picture, int alpha) {
    for (render::Pixel& p : picture.pixels) {
        render::Pixel out = 0;
        for (int shift = 0; shift < 32; shift += 8) {
            render::Pixel c = (p >> shift) & 0xFF;
            out |= ((c * static_cast<render::Pixel>(alpha) + 128) >> 8) << shift;
        }
        p = out;
    }
}

render::Mask EmptyMask(int width, int height) {
    render::Mask m;
    m.width = width;
    m.height = height;
    m.cover.assign(static_cast<std::size_t>(width) * height, 0);
    return m;
}

// Walks the tree into one picture, or, for a mask, into the coverage of what it would draw.
class Painter {
public:
    Painter(const Stage& stage, const swf::Matrix& toPixels, int layers)
        : stage_(const_cast<Stage&>(stage)), toPixels_(toPixels),
          stageScale_(std::hypot(toPixels.a, toPixels.b)), layers_(layers) {}

    // Draws a clip and its children: m carries its own twips to the target's pixels, cx is
    // its colour transform concatenated with its parents'.
    void Clip(const display::Clip& clip, const swf::Matrix& m, const swf::ColorTransform& cx,
              render::Picture& target, const render::Mask* clipMask, int nesting);

    // Adds what a clip covers to the mask (colours and alpha aside).
    void Cover(const display::Clip& clip, const swf::Matrix& m, render::Mask& mask, int nesting);

private:
    void Content(const display::Clip& clip, const swf::Matrix& m, const swf::ColorTransform& cx,
                 render::Picture& target, const render::Mask* clipMask, int nesting);
    void Children(const display::Clip& clip, const swf::Matrix& m, const swf::ColorTransform& cx,
                  render::Picture& target, const render::Mask* clipMask, int nesting);
    bool InLayer(const display::Clip& clip, const swf::Matrix& m, const swf::ColorTransform& cx,
                 render::Picture& target, const render::Mask* clipMask, int nesting);
    std::optional<render::PictureView> Bitmap(const display::Clip& clip) const;
    const display::Clip* MaskOf(const display::Clip& clip) const;

    Stage& stage_;
    swf::Matrix toPixels_;
    double stageScale_; // target pixels per twip of the stage
    int layers_;
    // While covering a mask every shape goes into it instead of a picture.
    render::Mask* cover_ = nullptr;
};

std::optional<render::PictureView> Painter::Bitmap(const display::Clip& clip) const {
    if (clip.image && clip.image->width > 0 && clip.image->height > 0 &&
        clip.image->pixels.size() >=
            static_cast<std::size_t>(clip.image->width) * clip.image->height) {
        return render::PictureView{clip.image->width, clip.image->height,
                                   clip.image->pixels.data()};
    }
    if (clip.bitmapData) {
        const avm1::Bitmap* b = avm1::BitmapOf(avm1::Value(clip.bitmapData));
        if (b && b->width > 0 && b->height > 0 &&
            b->px.size() >= static_cast<std::size_t>(b->width) * b->height) {
            return render::PictureView{b->width, b->height, b->px.data()};
        }
    }
    return std::nullopt;
}

const display::Clip* Painter::MaskOf(const display::Clip& clip) const {
    if (clip.mask == 0) {
        return nullptr;
    }
    const display::Clip* mask = stage_.Find(clip.mask);
    return mask && !mask->removed && mask->maskOf == clip.id && mask != &clip ? mask : nullptr;
}

void Painter::Cover(const display::Clip& clip, const swf::Matrix& m, render::Mask& mask,
                    int nesting) {
    if (nesting > kMaxNesting || !Usable(m)) {
        return;
    }
    render::Mask* outer = cover_;
    cover_ = &mask;
    render::Picture none;
    // Texts and bitmaps are drawn opaque into a scratch picture whose alpha joins the mask.
    swf::ColorTransform solid;
    solid.add[3] = 255;
    Content(clip, m, solid, none, nullptr, nesting);
    cover_ = outer;
}

void Painter::Content(const display::Clip& clip, const swf::Matrix& m,
                      const swf::ColorTransform& cx, render::Picture& target,
                      const render::Mask* clipMask, int nesting) {
    // What only pictures show is drawn, for a mask, into a scratch picture of its own.
    render::Picture scratch;
    auto scratchFor = [&]() -> render::Picture& {
        if (cover_ && scratch.width == 0) {
            scratch = render::Picture(cover_->width, cover_->height);
        }
        return cover_ ? scratch : target;
    };
    auto shape = [&](const swf::Shape& s, FillBitmaps bitmaps) {
        if (cover_) {
            CoverShape(s, m, stageScale_, *cover_);
        } else {
            DrawShape(s, bitmaps, m, cx, stageScale_, target, clipMask);
        }
    };
    if (clip.drawing) {
        // The BitmapData objects its fills show as they stand now; a disposed one shows none.
        std::vector<render::PictureView> own;
        for (avm1::Object* o : clip.drawing->bitmaps) {
            const avm1::Bitmap* b = avm1::BitmapOf(avm1::Value(o));
            bool whole = b && b->width > 0 && b->height > 0 &&
                         b->px.size() >= static_cast<std::size_t>(b->width) * b->height;
            own.push_back(whole ? render::PictureView{b->width, b->height, b->px.data()}
                                : render::PictureView{});
        }
        shape(clip.drawing->Closed(), {clip.movie, &own});
    }
    if (clip.definition) {
        if (const auto* s = std::get_if<swf::Shape>(clip.definition)) {
            shape(*s, {clip.movie, nullptr});
        } else if (const auto* morph = std::get_if<swf::MorphShape>(clip.definition)) {
            shape(swf::MorphAt(*morph, clip.ratio), {clip.movie, nullptr});
        }
    }
    if (clip.movie) {
        if (auto it = clip.movie->texts.find(clip.character);
            it != clip.movie->texts.end() && !clip.isClip() && !clip.object) {
            DrawStaticText(it->second, *clip.movie, m, cx, scratchFor(), clipMask);
        }
        if (TextField* field = avm1::FieldOf(clip.object)) {
            DrawTextField(*field, *clip.movie, m, cx, scratchFor(), clipMask);
        }
    }

    Children(clip, m, cx, target, clipMask, nesting);

    if (auto view = Bitmap(clip)) {
        swf::Bounds b{0, view->width * 20.0, 0, view->height * 20.0};
        render::Path box = Box(b, m);
        if (cover_) {
            render::CoverPath(*cover_, box, render::FillRule::NonZero);
        } else {
            swf::Matrix toPixels = swf::Matrix{20, 0, 0, 20, 0, 0}.Then(m);
            auto paint = render::BitmapPaint(*view, toPixels, false, clip.smoothing, cx);
            render::FillPath(target, box, render::FillRule::NonZero, *paint, clipMask);
        }
    }

    if (cover_ && scratch.width > 0) {
        for (std::size_t i = 0; i < scratch.pixels.size() && i < cover_->cover.size(); ++i) {
            auto a = static_cast<std::uint8_t>(scratch.pixels[i] >> 24);
            cover_->cover[i] = std::max(cover_->cover[i], a);
        }
    }
}

void Painter::Children(const display::Clip& clip, const swf::Matrix& m,
                       const swf::ColorTransform& cx, render::Picture& target,
                       const render::Mask* clipMask, int nesting) {
    // Masks placed with a clip depth, each cutting the children up to that depth.
    struct Open {
        int until = 0;
        render::Mask mask;
    };
    std::vector<Open> open;
    std::optional<render::Mask> joined; // clipMask and every open mask, while any is open
    bool stale = false;
    int width = cover_ ? cover_->width : target.width;
    int height = cover_ ? cover_->height : target.height;

    for (const auto& [at, child] : clip.children) {
        if (child->removed) {
            continue;
        }
        const int depth = at; // a plain copy: lambdas may not capture a structured binding
        std::size_t before = open.size();
        std::erase_if(open, [&](const Open& o) { return depth > o.until; });
        stale = stale || open.size() != before;
        swf::Matrix cm = child->matrix.Then(m);
        // A mask by depth that a script masks in turn shows as an ordinary clip.
        if (child->clipDepth != 0 && !MaskOf(*child)) {
            if (cover_ || open.size() >= kMaxMasks) {
                continue; // a mask within a mask's content, or too many, cuts nothing
            }
            Open o{child->clipDepth + kTimelineDepth, EmptyMask(width, height)};
            Cover(*child, cm, o.mask, nesting + 1);
            open.push_back(std::move(o));
            stale = true;
            continue;
        }
        if (!child->visible || child->maskOf != 0) {
            // A clip masking another by setMask shows only through what it masks.
            if (!child->visible || stage_.Find(child->maskOf)) {
                continue;
            }
        }
        if (stale) {
            joined.reset();
            if (!open.empty()) {
                joined = clipMask ? *clipMask : open.front().mask;
                for (const Open& o : open) {
                    joined = Intersect(&*joined, &o.mask);
                }
            }
            stale = false;
        }
        const render::Mask* use = joined ? &*joined : clipMask;
        if (cover_) {
            Cover(*child, cm, *cover_, nesting + 1);
        } else {
            Clip(*child, cm, child->colour.Then(cx), target, use, nesting + 1);
        }
    }
}

bool Painter::InLayer(const display::Clip& clip, const swf::Matrix& m,
                      const swf::ColorTransform& cx, render::Picture& target,
                      const render::Mask* clipMask, int nesting) {
    bool blended = clip.blendMode > static_cast<int>(render::BlendMode::Layer) &&
                   clip.blendMode <= static_cast<int>(render::BlendMode::Hardlight);
    if ((!blended && clip.filters.empty() && !clip.cacheAsBitmap) || layers_ >= kMaxLayers) {
        return false;
    }
    auto bounds = ContentBounds(clip, true, m);
    if (!bounds || !std::isfinite(bounds->xMin) || !std::isfinite(bounds->yMin) ||
        !std::isfinite(bounds->xMax) || !std::isfinite(bounds->yMax)) {
        return true; // nothing to show
    }
    auto [sx, sy] = StageScale(toPixels_);
    // The layer reaches as far as its filters can carry anything onto the target.
    render::Reach reach;
    for (const swf::Filter& f : clip.filters) {
        render::Reach r = render::FilterReach(f, sx, sy);
        reach.left += std::max(0, r.left);
        reach.top += std::max(0, r.top);
        reach.right += std::max(0, r.right);
        reach.bottom += std::max(0, r.bottom);
    }
    // Only what the filters can carry onto the target is drawn: the content's box cut to the
    // target grown by how far the filters reach back.
    double x0 = std::max(std::floor(bounds->xMin), -1.0 - reach.right);
    double y0 = std::max(std::floor(bounds->yMin), -1.0 - reach.bottom);
    double x1 = std::min(std::ceil(bounds->xMax), target.width + 1.0 + reach.left);
    double y1 = std::min(std::ceil(bounds->yMax), target.height + 1.0 + reach.top);
    if (x1 <= x0 || y1 <= y0) {
        return true;
    }
    x1 = std::min(x1, x0 + render::kMaxSide);
    y1 = std::min(y1, y0 + render::kMaxSide);
    int left = static_cast<int>(x0);
    int top = static_cast<int>(y0);
    render::Picture layer(static_cast<int>(x1 - x0), static_cast<int>(y1 - y0));
    Painter inner(stage_, toPixels_, layers_ + 1);
    swf::Matrix shifted = m.Then(Translation(-left, -top));
    // The layer takes the clip's alpha once, as a whole, after its filters: where its children
    // overlap the lower ones do not show through.
    swf::ColorTransform inside = cx;
    int alpha = 256;
    if (cx.add[3] == 0 && cx.mult[3] >= 0 && cx.mult[3] < 256) {
        alpha = cx.mult[3];
        inside.mult[3] = 256;
    }
    inner.Content(clip, shifted, inside, layer, nullptr, nesting);
    for (const swf::Filter& f : clip.filters) {
        render::Reach r = render::FilterReach(f, sx, sy);
        layer = render::ApplyFilter(layer, f, sx, sy);
        left -= r.left;
        top -= r.top;
    }
    if (alpha != 256) {
        Fade(layer, alpha);
    }
    auto mode =
        blended ? static_cast<render::BlendMode>(clip.blendMode) : render::BlendMode::Normal;
    render::Composite(target, layer, left, top, mode, clipMask);
    return true;
}

void Painter::Clip(const display::Clip& clip, const swf::Matrix& placed,
                   const swf::ColorTransform& cx, render::Picture& target,
                   const render::Mask* clipMask, int nesting) {
    if (nesting > kMaxNesting || !Usable(placed)) {
        return;
    }
    swf::Matrix m = placed;
    std::optional<render::Mask> own;
    auto narrow = [&](render::Mask&& cut) {
        own = Intersect(clipMask, &cut);
        clipMask = &*own;
    };
    if (clip.scrollRect) {
        // Shows that rectangle of itself, its corner at its origin.
        const swf::Bounds& r = *clip.scrollRect;
        swf::Bounds shown{0, (r.xMax - r.xMin) * 20, 0, (r.yMax - r.yMin) * 20};
        render::Mask cut = EmptyMask(target.width, target.height);
        render::CoverPath(cut, Box(shown, placed), render::FillRule::NonZero);
        narrow(std::move(cut));
        m = Translation(-r.xMin * 20, -r.yMin * 20).Then(placed);
    }
    if (const display::Clip* mask = MaskOf(clip)) {
        swf::Matrix mm = StageMatrix(*mask).Then(toPixels_);
        render::Mask cut = EmptyMask(target.width, target.height);
        Cover(*mask, mm, cut, nesting + 1);
        narrow(std::move(cut));
    }
    if (clip.opaqueBackground) {
        if (auto b = ContentBounds(clip, false, m)) {
            std::uint32_t rgb = *clip.opaqueBackground;
            swf::Rgba c{static_cast<std::uint8_t>(rgb >> 16), static_cast<std::uint8_t>(rgb >> 8),
                        static_cast<std::uint8_t>(rgb), 255};
            render::SolidPaint paint(render::Premultiplied(cx.Apply(c)));
            render::FillPath(target, Box(*b, {}), render::FillRule::NonZero, paint, clipMask);
        }
    }
    if (!InLayer(clip, m, cx, target, clipMask, nesting)) {
        Content(clip, m, cx, target, clipMask, nesting);
    }
}

// The highlight around what has the keyboard's focus, over everything else.
void DrawFocus(Stage& stage, render::Picture& target, const swf::Matrix& toPixels) {
    Focus& focus = stage.focus();
    Clip* c = focus.Current();
    if (!c || !focus.HighlightShows()) {
        return;
    }
    auto b = ContentBounds(*c, false, StageMatrix(*c).Then(toPixels));
    if (!b || b->xMax - b->xMin <= 0 || b->yMax - b->yMin <= 0 || !std::isfinite(b->xMin) ||
        !std::isfinite(b->xMax) || !std::isfinite(b->yMin) || !std::isfinite(b->yMax)) {
        return;
    }
    double f = std::min({kFocusFrame, (b->xMax - b->xMin) / 2, (b->yMax - b->yMin) / 2});
    render::Path frame = Box(*b, {});
    swf::Bounds inside{b->xMin + f, b->xMax - f, b->yMin + f, b->yMax - f};
    for (const auto& s : Box(inside, {}).segments) {
        frame.Line(s.to, s.from); // the inner box turns the other way: a hole
    }
    render::SolidPaint paint(kFocusColour);
    render::FillPath(target, frame, render::FillRule::NonZero, paint);
}

} // namespace

void DrawStage(const Stage& stage, render::Picture& target, const swf::Matrix& toPixels) {
    if (target.width <= 0 || target.height <= 0 || !Usable(toPixels)) {
        return;
    }
    Painter painter(stage, toPixels, 0);
    const Clip& root = stage.root();
    if (root.visible) {
        painter.Clip(root, root.matrix.Then(toPixels), root.colour, target, nullptr, 0);
    }
    for (const auto& [number, level] : stage.levels()) {
        if (level->visible && !level->removed) {
            painter.Clip(*level, level->matrix.Then(toPixels), level->colour, target, nullptr, 0);
        }
    }
    DrawFocus(const_cast<Stage&>(stage), target, toPixels);
}

} // namespace fw::display
