#include "geometry.h"

#include "draw_text.h"
#include "stage.h"

#include "avm1/bitmap_data.h"
#include "avm1/text_field.h"
#include "swf/morph.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <limits>
#include <map>

namespace fw::display {
namespace {

constexpr double kInvalid = 134217727; // 2^27 - 1 twips: the player's "no rectangle"
constexpr int kMaxDepth = 256;         // clips within clips that geometry walks
constexpr int kCurveSteps = 16;        // segments a curve is cut into for hit tests

// Drawing coordinates are whole twips, cut toward zero as the player's integers are.
double ToTwips(double px) {
    double v = px * 20;
    if (std::isnan(v)) {
        return 0;
    }
    v = std::clamp(v, -2147483648.0, 2147483647.0);
    return std::trunc(v);
}

void Extend(std::optional<swf::Bounds>& out, const swf::Bounds& b) {
    if (!out) {
        out = b;
        return;
    }
    out->xMin = std::min(out->xMin, b.xMin);
    out->xMax = std::max(out->xMax, b.xMax);
    out->yMin = std::min(out->yMin, b.yMin);
    out->yMax = std::max(out->yMax, b.yMax);
}

swf::Bounds Around(swf::Point p, double half) {
    return {p.x - half, p.x + half, p.y - half, p.y + half};
}

// Where a quadratic curve turns along one axis, as a parameter in (0, 1).
std::optional<double> Turn(double from, double control, double to) {
    double den = from - 2 * control + to;
    if (den == 0) {
        return std::nullopt;
    }
    double t = (from - control) / den;
    return t > 0 && t < 1 ? std::optional<double>(t) : std::nullopt;
}

swf::Point OnCurve(swf::Point a, swf::Point c, swf::Point b, double t) {
    double u = 1 - t;
    return {u * u * a.x + 2 * u * t * c.x + t * t * b.x,
            u * u * a.y + 2 * u * t * c.y + t * t * b.y};
}

std::optional<swf::Bounds> EdgeBounds(const swf::Shape& shape, bool withStrokes) {
    std::optional<swf::Bounds> out;
    for (const auto& e : shape.edges) {
        double half = 0;
        if (withStrokes && e.line > 0 && e.line <= static_cast<int>(shape.lines.size())) {
            half = shape.lines[e.line - 1].width / 2;
        }
        Extend(out, Around(e.from, half));
        Extend(out, Around(e.to, half));
        if (e.control) {
            if (auto t = Turn(e.from.x, e.control->x, e.to.x)) {
                Extend(out, Around(OnCurve(e.from, *e.control, e.to, *t), half));
            }
            if (auto t = Turn(e.from.y, e.control->y, e.to.y)) {
                Extend(out, Around(OnCurve(e.from, *e.control, e.to, *t), half));
            }
        }
    }
    return out;
}

// A morph's shape at a ratio. Scripts measure a morph as it starts, whatever its ratio; only
// hit tests of its shape see it as it stands.
std::optional<swf::Shape> MorphShapeAt(const Clip& clip, std::uint16_t ratio) {
    const auto* m = std::get_if<swf::MorphShape>(clip.definition);
    return m ? std::optional<swf::Shape>(swf::MorphAt(*m, ratio)) : std::nullopt;
}

std::optional<swf::Bounds> OwnBounds(const Clip& clip, bool withStrokes) {
    std::optional<swf::Bounds> out;
    // A field's box is what it is now, which scripts may have changed or made.
    if (const TextField* f = avm1::FieldOf(clip.object)) {
        out = f->bounds;
    } else if (clip.definition) {
        std::optional<swf::Shape> morphed = MorphShapeAt(clip, 0);
        if (const auto* s = morphed ? &*morphed : std::get_if<swf::Shape>(clip.definition)) {
            if (withStrokes) {
                out = s->bounds;
            } else if (auto b = EdgeBounds(*s, false)) {
                out = b;
            } else {
                out = s->bounds;
            }
        } else if (const auto* t = std::get_if<swf::EditText>(clip.definition)) {
            out = t->bounds;
        }
    }
    if (clip.drawing) {
        if (auto b = EdgeBounds(clip.drawing->shape, withStrokes)) {
            Extend(out, *b);
        }
    }
    // A bitmap stands at the origin, a pixel each 20 twips.
    if (clip.image) {
        Extend(out, swf::Bounds{0, clip.image->width * 20.0, 0, clip.image->height * 20.0});
    }
    if (const avm1::Bitmap* b =
            clip.bitmapData ? avm1::BitmapOf(avm1::Value(clip.bitmapData)) : nullptr) {
        Extend(out, swf::Bounds{0, b->width * 20.0, 0, b->height * 20.0});
    }
    return out;
}

// The player carries the matrix down to every shape rather than boxing each child's box.
std::optional<swf::Bounds> TreeBounds(const Clip& clip, bool withStrokes, const swf::Matrix& m,
                                      int depth) {
    std::optional<swf::Bounds> out;
    if (auto own = OwnBounds(clip, withStrokes)) {
        out = TransformBounds(*own, m);
    }
    if (depth > kMaxDepth) {
        return out;
    }
    for (const auto& [d, child] : clip.children) {
        if (auto b = TreeBounds(*child, withStrokes, child->matrix.Then(m), depth + 1)) {
            Extend(out, *b);
        }
    }
    return out;
}

double DistanceToSegment(swf::Point p, swf::Point a, swf::Point b) {
    double dx = b.x - a.x;
    double dy = b.y - a.y;
    double len = dx * dx + dy * dy;
    double t = len > 0 ? std::clamp(((p.x - a.x) * dx + (p.y - a.y) * dy) / len, 0.0, 1.0) : 0;
    return std::hypot(p.x - (a.x + t * dx), p.y - (a.y + t * dy));
}

// Calls f(from, to) for the straight pieces of an edge.
template <typename F> void Pieces(const swf::Edge& e, F&& f) {
    if (!e.control) {
        f(e.from, e.to);
        return;
    }
    swf::Point prev = e.from;
    for (int i = 1; i <= kCurveSteps; ++i) {
        swf::Point next = OnCurve(e.from, *e.control, e.to, static_cast<double>(i) / kCurveSteps);
        f(prev, next);
        prev = next;
    }
}

bool HitTree(const Clip& clip, swf::Point p, const swf::Matrix& toStage, swf::Point stagePoint,
             int depth) {
    // A hairline is a pixel of the stage wide, however the clip is scaled.
    double scale = std::sqrt(std::abs(toStage.a * toStage.d - toStage.b * toStage.c));
    double pixel = scale > 0 ? 20 / scale : 20;
    if (const TextField* f = avm1::FieldOf(clip.object)) {
        const auto& b = f->bounds;
        if (p.x >= b.xMin && p.x <= b.xMax && p.y >= b.yMin && p.y <= b.yMax) {
            return true;
        }
    } else if (clip.definition) {
        std::optional<swf::Shape> morphed = MorphShapeAt(clip, clip.ratio);
        if (const auto* s = morphed ? &*morphed : std::get_if<swf::Shape>(clip.definition)) {
            if (HitShapeEdges(*s, p, pixel)) {
                return true;
            }
        } else if (const auto* t = std::get_if<swf::EditText>(clip.definition)) {
            const auto& b = t->bounds;
            if (p.x >= b.xMin && p.x <= b.xMax && p.y >= b.yMin && p.y <= b.yMax) {
                return true;
            }
        }
    } else if (clip.movie && !clip.isClip() && clip.movie->texts.count(clip.character)) {
        // Text of the newer anti-aliasing is hit anywhere in its box as the stage sees it.
        auto settings = clip.movie->textSettings.find(clip.character);
        if (settings != clip.movie->textSettings.end() && settings->second.advanced) {
            swf::Bounds b = TransformBounds(clip.movie->texts.at(clip.character).bounds, toStage);
            if (stagePoint.x >= b.xMin && stagePoint.x <= b.xMax && stagePoint.y >= b.yMin &&
                stagePoint.y <= b.yMax) {
                return true;
            }
        } else if (HitStaticText(*clip.movie, clip.character, p)) {
            return true;
        }
    }
    if (clip.drawing && HitShapeEdges(clip.drawing->Closed(), p, pixel)) {
        return true;
    }
    if (depth > kMaxDepth) {
        return false;
    }
    // A mask layer is not hit itself; where the point misses it, what it covers is not hit.
    std::vector<int> missed; // the depths up to which such layers reach
    for (const auto& [at, child] : clip.children) {
        std::erase_if(missed, [&, at = at](int until) { return at > until; });
        auto inverse = child->matrix.Inverse();
        bool hit =
            inverse && (child->clipDepth > 0 || missed.empty()) &&
            HitTree(*child, inverse->Apply(p), child->matrix.Then(toStage), stagePoint, depth + 1);
        if (child->clipDepth > 0) {
            if (!hit) {
                missed.push_back(child->clipDepth + kTimelineDepth);
            }
        } else if (hit) {
            return true;
        }
    }
    return false;
}

avm1::Rect ToRect(const swf::Bounds& b) {
    return {b.xMin / 20, b.xMax / 20, b.yMin / 20, b.yMax / 20};
}

} // namespace

swf::Bounds InvalidBounds() {
    return {kInvalid, kInvalid, kInvalid, kInvalid};
}

bool IsInvalid(const swf::Bounds& b) {
    return b.xMin == kInvalid && b.xMax == kInvalid && b.yMin == kInvalid && b.yMax == kInvalid;
}

swf::Bounds TransformBounds(const swf::Bounds& b, const swf::Matrix& m) {
    if (IsInvalid(b)) {
        return b;
    }
    swf::Point corners[4] = {m.Apply({b.xMin, b.yMin}), m.Apply({b.xMax, b.yMin}),
                             m.Apply({b.xMin, b.yMax}), m.Apply({b.xMax, b.yMax})};
    swf::Bounds out{corners[0].x, corners[0].x, corners[0].y, corners[0].y};
    for (const auto& c : corners) {
        out.xMin = std::min(out.xMin, c.x);
        out.xMax = std::max(out.xMax, c.x);
        out.yMin = std::min(out.yMin, c.y);
        out.yMax = std::max(out.yMax, c.y);
    }
    // The player keeps rectangles in whole twips.
    out.xMin = std::round(out.xMin);
    out.xMax = std::round(out.xMax);
    out.yMin = std::round(out.yMin);
    out.yMax = std::round(out.yMax);
    return out;
}

std::optional<swf::Bounds> ContentBounds(const Clip& clip, bool withStrokes, const swf::Matrix& m) {
    return TreeBounds(clip, withStrokes, m, 0);
}

swf::Matrix StageMatrix(const Clip& clip) {
    swf::Matrix m = clip.matrix;
    int n = 0;
    for (const Clip* c = clip.parent; c && ++n < kMaxDepth * 4; c = c->parent) {
        m = m.Then(c->matrix);
    }
    return m;
}

// Each fill style covers what its edges wind around on the way out to the right: an odd
// number of crossings, or by the non-zero rule any turn at all. An edge has its right-hand
// style (fill1) on the side it turns the point into when it goes up.
namespace {

bool HitFills(const std::vector<swf::Edge>& edges, bool nonZero, swf::Point p) {
    std::map<int, int> winding;
    for (const auto& e : edges) {
        if (e.fill0 == e.fill1) {
            continue;
        }
        Pieces(e, [&](swf::Point a, swf::Point b) {
            if ((a.y > p.y) != (b.y > p.y) && p.x < (b.x - a.x) * (p.y - a.y) / (b.y - a.y) + a.x) {
                int dir = b.y > a.y ? 1 : -1;
                if (e.fill0 > 0) {
                    winding[e.fill0] -= dir;
                }
                if (e.fill1 > 0) {
                    winding[e.fill1] += dir;
                }
            }
        });
    }
    for (const auto& [style, turns] : winding) {
        if (nonZero ? turns != 0 : (turns & 1) != 0) {
            return true;
        }
    }
    return false;
}

} // namespace

bool HitShapeEdges(const swf::Shape& shape, swf::Point p, double pixel) {
    if (HitFills(shape.edges, shape.nonZero, p)) {
        return true;
    }
    for (const auto& e : shape.edges) {
        if (e.line <= 0 || e.line > static_cast<int>(shape.lines.size())) {
            continue;
        }
        double width = shape.lines[e.line - 1].width;
        double half = (width > 0 ? width : pixel) / 2;
        bool hit = false;
        Pieces(e, [&](swf::Point a, swf::Point b) {
            hit = hit || DistanceToSegment(p, a, b) <= half;
        });
        if (hit) {
            return true;
        }
    }
    return false;
}

bool HitTestPoint(const Clip& clip, double stageX, double stageY, bool shapeFlag) {
    swf::Point p{stageX * 20, stageY * 20};
    swf::Matrix m = StageMatrix(clip);
    if (!shapeFlag) {
        auto b = ContentBounds(clip, true);
        if (!b) {
            return false;
        }
        swf::Bounds s = TransformBounds(*b, m);
        return p.x >= s.xMin && p.x <= s.xMax && p.y >= s.yMin && p.y <= s.yMax;
    }
    auto inverse = m.Inverse();
    return inverse && HitTree(clip, inverse->Apply(p), m, p, 0);
}

// --- drawings ---

namespace {

// A gradient's style from a drawing command; a solid fill for any other command.
swf::FillStyle FillOf(const avm1::DrawCommand& c) {
    swf::FillStyle f;
    if (c.stops.empty()) {
        return f;
    }
    f.type = !c.radial ? swf::kFillLinear : c.focal ? swf::kFillFocal : swf::kFillRadial;
    f.solid = false;
    const avm1::Affine& m = c.matrix;
    f.gradient.matrix = {m.a * 20, m.b * 20, m.c * 20, m.d * 20, ToTwips(m.tx), ToTwips(m.ty)};
    f.gradient.spread = static_cast<swf::Spread>(std::min<int>(c.spread, 2));
    f.gradient.interpolation =
        c.linearRgb ? swf::Interpolation::LinearRgb : swf::Interpolation::Rgb;
    f.gradient.focal = c.focal.value_or(0);
    for (const auto& stop : c.stops) {
        double a = std::clamp(std::isnan(stop.alpha) ? 0.0 : stop.alpha, 0.0, 100.0);
        f.gradient.stops.push_back({static_cast<std::uint8_t>(std::clamp(stop.ratio, 0.0, 255.0)),
                                    swf::Rgba{static_cast<std::uint8_t>(stop.rgb >> 16),
                                              static_cast<std::uint8_t>(stop.rgb >> 8),
                                              static_cast<std::uint8_t>(stop.rgb),
                                              static_cast<std::uint8_t>(a * 255 / 100)}});
    }
    f.colour = f.gradient.stops.front().colour;
    return f;
}

} // namespace

void Drawing::CloseOutline() {
    if (fill > 0 && filling && !(pen == fillStart)) {
        shape.edges.push_back({pen, fillStart, std::nullopt, 0, fill, 0});
        if (line > 0) {
            shape.edges.push_back({pen, fillStart, std::nullopt, 0, 0, line});
        }
    }
    filling = false;
}

swf::Shape Drawing::Closed() const {
    Drawing copy = *this;
    copy.CloseOutline();
    return copy.shape;
}

void Drawing::AddEdge(swf::Point to, std::optional<swf::Point> control) {
    if (fill > 0) {
        shape.edges.push_back({pen, to, control, 0, fill, 0});
        filling = true;
    }
    if (line > 0) {
        shape.edges.push_back({pen, to, control, 0, 0, line});
    }
    pen = to;
}

void Drawing::Apply(const avm1::DrawCommand& c) {
    using Op = avm1::DrawCommand::Op;
    auto colour = [](std::uint32_t rgb, double alpha) {
        double a = std::clamp(std::isnan(alpha) ? 0.0 : alpha, 0.0, 100.0);
        return swf::Rgba{static_cast<std::uint8_t>(rgb >> 16), static_cast<std::uint8_t>(rgb >> 8),
                         static_cast<std::uint8_t>(rgb), static_cast<std::uint8_t>(a * 255 / 100)};
    };
    switch (c.op) {
    case Op::MoveTo:
        CloseOutline();
        pen = {ToTwips(c.x), ToTwips(c.y)};
        fillStart = pen;
        break;
    case Op::LineTo:
        AddEdge({ToTwips(c.x), ToTwips(c.y)}, std::nullopt);
        break;
    case Op::CurveTo:
        AddEdge({ToTwips(c.x), ToTwips(c.y)}, swf::Point{ToTwips(c.cx), ToTwips(c.cy)});
        break;
    case Op::LineStyle: {
        double width = std::clamp(std::isnan(c.width) ? 0.0 : c.width, 0.0, 255.0);
        swf::LineStyle style;
        style.width = ToTwips(width);
        style.colour = colour(c.rgb, c.alpha);
        style.pixelHinting = c.pixelHinting;
        style.noHScale = c.noScale == 1 || c.noScale == 2;
        style.noVScale = c.noScale == 1 || c.noScale == 3;
        style.startCap = style.endCap = static_cast<swf::Cap>(std::min<int>(c.caps, 2));
        style.join = static_cast<swf::Join>(std::min<int>(c.joint, 2));
        style.miterLimit = c.miterLimit;
        shape.lines.push_back(style);
        line = static_cast<int>(shape.lines.size());
        break;
    }
    case Op::NoLine:
        line = 0;
        break;
    case Op::SolidFill:
    case Op::GradientFill:
    case Op::BitmapFill: {
        CloseOutline();
        swf::FillStyle style = FillOf(c);
        if (c.op == Op::BitmapFill) {
            style.type =
                c.repeat ? (c.smooth ? swf::kFillRepeatingBitmap : swf::kFillRepeatingBitmapHard)
                         : (c.smooth ? swf::kFillClippedBitmap : swf::kFillClippedBitmapHard);
            const avm1::Affine& m = c.matrix;
            style.bitmapMatrix = {m.a * 20, m.b * 20,      m.c * 20,
                                  m.d * 20, ToTwips(m.tx), ToTwips(m.ty)};
            auto at = std::find(bitmaps.begin(), bitmaps.end(), c.bitmapData);
            if (at == bitmaps.end() && bitmaps.size() < 0xFFFF) {
                at = bitmaps.insert(at, c.bitmapData);
            }
            style.bitmap = static_cast<std::uint16_t>(at - bitmaps.begin() + 1);
        }
        style.solid = c.op == Op::SolidFill;
        style.colour = c.stops.empty() ? colour(c.rgb, c.alpha)
                                       : colour(c.stops.front().rgb, c.stops.front().alpha);
        shape.fills.push_back(style);
        fill = static_cast<int>(shape.fills.size());
        fillStart = pen;
        break;
    }
    case Op::EndFill:
        CloseOutline();
        fill = 0;
        break;
    case Op::Clear:
        *this = Drawing{};
        break;
    case Op::LineGradient:
        // The line drawn from here on takes the gradient; what is drawn already keeps its own.
        if (line > 0) {
            swf::LineStyle style = shape.lines[line - 1];
            style.fill = FillOf(c);
            style.colour = style.fill->colour;
            shape.lines.push_back(style);
            line = static_cast<int>(shape.lines.size());
        }
        break;
    }
    // Any player's drawings count their changes together, so two never share a number.
    static std::atomic<std::uint64_t> changes{0};
    revision = ++changes;
}

// --- what scripts see ---

std::optional<avm1::Rect> Geometry::Bounds(int id, int spaceId, bool withStrokes,
                                           int callerVersion) {
    const swf::Movie* first = stage_.root().movie;
    wideInvalid_ = wideInvalid_ || (first && first->version >= 8);
    bool widens = callerVersion >= 8;
    const Clip* clip = stage_.Find(id);
    const Clip* space = spaceId < 0 ? nullptr : stage_.Find(spaceId);
    if (!clip || (!space && spaceId >= 0)) {
        return std::nullopt;
    }
    // Asked in its own space the rectangle is read before the asking widens it.
    bool wide = clip != space && (wideInvalid_ || widens);
    wideInvalid_ = wideInvalid_ || widens;
    swf::Matrix m;
    if (clip != space) {
        m = StageMatrix(*clip);
        if (auto inverse = space ? StageMatrix(*space).Inverse() : swf::Matrix{}) {
            m = m.Then(*inverse);
        }
    }
    auto b = ContentBounds(*clip, withStrokes);
    swf::Bounds out = b ? TransformBounds(*b, m) : InvalidBounds();
    if (wide && IsInvalid(out)) {
        out = {kInvalid + 1, kInvalid + 1, kInvalid + 1, kInvalid + 1};
    }
    return ToRect(out);
}

std::optional<std::pair<double, double>> Geometry::MapPoint(int id, double x, double y,
                                                            bool toStage) {
    const Clip* clip = stage_.Find(id);
    if (!clip) {
        return std::nullopt;
    }
    swf::Matrix m = StageMatrix(*clip);
    if (!toStage) {
        auto inverse = m.Inverse();
        if (!inverse) {
            return std::nullopt;
        }
        m = *inverse;
    }
    swf::Point p = m.Apply({x * 20, y * 20});
    return std::pair{p.x / 20, p.y / 20};
}

bool Geometry::HitPoint(int id, double x, double y, bool shapeFlag) {
    const Clip* clip = stage_.Find(id);
    if (!clip || !std::isfinite(x) || !std::isfinite(y)) {
        return false;
    }
    // The point is in the root's space, which the root's own matrix carries to the stage.
    swf::Point p = stage_.root().matrix.Apply({x * 20, y * 20});
    // Where the clip's own mask leaves it out it is not hit.
    if (const Clip* mask = shapeFlag && clip->mask ? stage_.Find(clip->mask) : nullptr;
        mask && !HitTestPoint(*mask, p.x / 20, p.y / 20, true)) {
        return false;
    }
    return HitTestPoint(*clip, p.x / 20, p.y / 20, shapeFlag);
}

bool Geometry::HitClip(int id, int otherId) {
    const Clip* clip = stage_.Find(id);
    const Clip* other = stage_.Find(otherId);
    if (!clip || !other) {
        return false;
    }
    auto a = ContentBounds(*clip, true);
    auto b = ContentBounds(*other, true);
    if (!a || !b) {
        return false;
    }
    swf::Bounds x = TransformBounds(*a, StageMatrix(*clip));
    swf::Bounds y = TransformBounds(*b, StageMatrix(*other));
    return x.xMin <= y.xMax && y.xMin <= x.xMax && x.yMin <= y.yMax && y.yMin <= x.yMax;
}

void Geometry::Draw(int id, const avm1::DrawCommand& command) {
    Clip* clip = stage_.Find(id);
    if (!clip) {
        return;
    }
    if (!clip->drawing) {
        if (command.op == avm1::DrawCommand::Op::Clear) {
            return;
        }
        clip->drawing = std::make_shared<Drawing>();
    }
    clip->drawing->Apply(command);
}

void Geometry::SetMask(int id, int maskId) {
    Clip* clip = stage_.Find(id);
    if (!clip) {
        return;
    }
    if (Clip* old = stage_.Find(clip->mask)) {
        old->maskOf = 0;
    }
    clip->mask = 0;
    Clip* mask = maskId > 0 ? stage_.Find(maskId) : nullptr;
    if (mask && mask != clip) {
        if (Clip* before = stage_.Find(mask->maskOf)) {
            before->mask = 0;
        }
        clip->mask = mask->id;
        mask->maskOf = clip->id;
    }
}

std::optional<avm1::Affine> Geometry::GetMatrix(int id) {
    const Clip* clip = stage_.Find(id);
    if (!clip) {
        return std::nullopt;
    }
    const swf::Matrix& m = clip->matrix;
    return avm1::Affine{m.a, m.b, m.c, m.d, m.tx / 20, m.ty / 20};
}

std::optional<avm1::Affine> Geometry::GetStageMatrix(int id) {
    const Clip* clip = stage_.Find(id);
    if (!clip) {
        return std::nullopt;
    }
    swf::Matrix m = StageMatrix(*clip);
    return avm1::Affine{m.a, m.b, m.c, m.d, m.tx / 20, m.ty / 20};
}

void Geometry::SetMatrix(int id, const avm1::Affine& m) {
    Clip* clip = stage_.Find(id);
    if (!clip) {
        return;
    }
    auto finite = [](double v) { return std::isfinite(v) ? v : 0.0; };
    clip->matrix = {finite(m.a), finite(m.b),   finite(m.c),
                    finite(m.d), ToTwips(m.tx), ToTwips(m.ty)};
    clip->scripted = true;
}

std::optional<avm1::Tint> Geometry::GetTint(int id, bool concatenated) {
    const Clip* clip = stage_.Find(id);
    if (!clip) {
        return std::nullopt;
    }
    // Through the parents the player works in 16-bit integers that wrap.
    auto wrap = [](double v) {
        return static_cast<double>(static_cast<std::int16_t>(static_cast<std::int64_t>(v)));
    };
    double mult[4];
    double add[4];
    for (int i = 0; i < 4; ++i) {
        mult[i] = clip->colour.mult[i];
        add[i] = clip->colour.add[i];
    }
    int n = 0;
    for (const Clip* c = clip->parent; concatenated && c && ++n < kMaxDepth * 4; c = c->parent) {
        for (int i = 0; i < 4; ++i) {
            add[i] = wrap(std::floor(add[i] * c->colour.mult[i] / 256) + c->colour.add[i]);
            mult[i] = wrap(std::floor(mult[i] * c->colour.mult[i] / 256));
        }
    }
    avm1::Tint t;
    for (int i = 0; i < 4; ++i) {
        t.mult[i] = mult[i] / 256.0;
        t.add[i] = add[i];
    }
    return t;
}

void Geometry::SetTint(int id, const avm1::Tint& t) {
    Clip* clip = stage_.Find(id);
    if (!clip) {
        return;
    }
    auto fixed = [](double v) {
        v = std::isnan(v) ? 0 : v;
        return static_cast<std::int16_t>(std::clamp(std::trunc(v), -32768.0, 32767.0));
    };
    for (int i = 0; i < 4; ++i) {
        clip->colour.mult[i] = fixed(t.mult[i] * 256);
        clip->colour.add[i] = fixed(t.add[i]);
    }
    clip->scripted = true; // the timeline no longer moves what a script has recoloured
}

} // namespace fw::display
