#include "raster.h"

#include <algorithm>
#include <cmath>
#include <vector>

// A stroke is the union of simple pieces, each a small convex polygon wound the same way: a
// rectangle along every straight piece, a wedge, triangle or mitre at every corner, a cap at
// each end. Filled NonZero, overlaps count once and shared sides cancel, so the pieces join
// without seams.

namespace fw::render {
namespace {

using swf::Point;

constexpr double kTolerance = 1.0 / 8; // pixels, as for filling
constexpr double kPi = 3.14159265358979323846;
constexpr int kMaxCurvePieces = 256;
constexpr int kMaxArcPieces = 128;
// Outline segments one stroke may produce; a hostile path stops there.
constexpr std::size_t kMaxOutline = std::size_t{1} << 19;

struct Vertex {
    Point p;
    bool smooth; // inside a flattened curve: always joined round, whatever the style
};

Point Add(Point a, Point b) {
    return {a.x + b.x, a.y + b.y};
}
Point Sub(Point a, Point b) {
    return {a.x - b.x, a.y - b.y};
}
Point Mul(Point a, double k) {
    return {a.x * k, a.y * k};
}
double Cross(Point a, Point b) {
    return a.x * b.y - a.y * b.x;
}
double Dot(Point a, Point b) {
    return a.x * b.x + a.y * b.y;
}
double Length(Point a) {
    return std::sqrt(Dot(a, a));
}

// The widest angle an arc of this radius may turn per chord and stay within the tolerance.
double ArcStep(double radius) {
    if (radius <= kTolerance) {
        return kPi / 2;
    }
    return std::max(2 * std::acos(1 - kTolerance / radius), 2 * kPi / kMaxArcPieces);
}

class Outliner {
public:
    Outliner(const StrokeStyle& style, Path& out) : style_(style), out_(out) {
        double width = std::isfinite(style.width) ? style.width : 0;
        // Nothing is drawn thinner than a pixel: a hairline and anything finer is one wide.
        radius_ = std::max(width, 1.0) / 2;
        step_ = ArcStep(radius_);
    }

    void Line(const std::vector<Vertex>& v) {
        if (v.empty()) {
            return;
        }
        if (v.size() == 1) {
            Spot(v[0].p);
            return;
        }
        bool closed = !style_.noClose && v.size() > 2 && v.front().p == v.back().p;
        for (std::size_t i = 0; i + 1 < v.size(); ++i) {
            Rectangle(v[i].p, v[i + 1].p);
        }
        for (std::size_t i = 1; i + 1 < v.size(); ++i) {
            Corner(v[i - 1].p, v[i].p, v[i + 1].p, v[i].smooth);
        }
        if (closed) {
            Corner(v[v.size() - 2].p, v[0].p, v[1].p, false);
        } else {
            EndCap(v[1].p, v[0].p, style_.startCap);
            EndCap(v[v.size() - 2].p, v.back().p, style_.endCap);
        }
    }

private:
    // A line of no length still shows as its caps would around its point.
    void Spot(Point p) {
        swf::Cap cap = style_.startCap == swf::Cap::None ? style_.endCap : style_.startCap;
        if (cap == swf::Cap::Round) {
            Arc(p, {radius_, 0}, 2 * kPi, false);
        } else if (cap == swf::Cap::Square) {
            double r = radius_;
            Polygon(
                {{p.x - r, p.y - r}, {p.x + r, p.y - r}, {p.x + r, p.y + r}, {p.x - r, p.y + r}});
        }
    }
    Point Normal(Point from, Point to) const {
        Point d = Sub(to, from);
        double len = Length(d);
        return len > 0 ? Point{-d.y / len * radius_, d.x / len * radius_} : Point{0, 0};
    }

    void Rectangle(Point a, Point b) {
        Point n = Normal(a, b);
        Polygon({Add(a, n), Add(b, n), Sub(b, n), Sub(a, n)});
    }

    // The end at `end`, reached from `before`.
    void EndCap(Point before, Point end, swf::Cap cap) {
        Point n = Normal(before, end);
        if (cap == swf::Cap::Round) {
            Arc(end, n, kPi, true);
        } else if (cap == swf::Cap::Square) {
            Point ahead{n.y, -n.x}; // along the line, outward, half a width long
            Polygon({Add(end, n), Add(Add(end, n), ahead), Add(Sub(end, n), ahead), Sub(end, n)});
        }
    }

    void Corner(Point a, Point p, Point b, bool smooth) {
        Point n1 = Normal(a, p), n2 = Normal(p, b);
        double turn = Cross(n1, n2);
        double along = Dot(n1, n2);
        if (turn == 0 && along >= 0) {
            return; // straight on
        }
        // The corner opens on the side away from the turn.
        double side = turn > 0 ? -1 : 1;
        Point o1 = Mul(n1, side), o2 = Mul(n2, side);
        double angle = std::atan2(std::abs(turn), along); // 0..pi
        swf::Join join = smooth ? swf::Join::Round : style_.join;
        if (join == swf::Join::Round) {
            Wedge(p, o1, angle, turn > 0 ? 1 : -1);
            return;
        }
        Polygon({p, Add(p, o1), Add(p, o2)});
        if (join == swf::Join::Miter) {
            // The tip lies along the bisector; past the limit (a length in widths from the
            // corner's point) the mitre is cut square across the bisector.
            Point bisector = Add(o1, o2);
            double blen = Length(bisector);
            double half = angle / 2;
            if (blen <= 0 || std::cos(half) <= 1e-9) {
                return;
            }
            Point dir = Mul(bisector, 1 / blen);
            double tip = radius_ / std::cos(half);
            double limit = std::max(style_.miterLimit, 0.0) * radius_ * 2;
            if (!(limit > radius_ * std::cos(half))) {
                return; // the cut falls inside the bevel
            }
            if (tip <= limit) {
                Polygon({Add(p, o1), Add(p, Mul(dir, tip)), Add(p, o2)});
                return;
            }
            // Where the cut meets each offset side: from the side's point along it, outward.
            double back = (limit - radius_ * std::cos(half)) / std::sin(half);
            Point d1 = Mul(Sub(p, a), 1 / Length(Sub(p, a)));
            Point d2 = Mul(Sub(b, p), 1 / Length(Sub(b, p)));
            Point c1 = Add(Add(p, o1), Mul(d1, back));
            Point c2 = Sub(Add(p, o2), Mul(d2, back));
            Polygon({Add(p, o1), c1, c2, Add(p, o2)});
        }
    }

    // A pie slice at the centre from `start` (a radius vector) turning `angle` in `dir`.
    void Wedge(Point centre, Point start, double angle, int dir) {
        int pieces = std::clamp(static_cast<int>(std::ceil(angle / step_)), 1, kMaxArcPieces);
        scratch_.clear();
        scratch_.push_back(centre);
        for (int i = 0; i <= pieces; ++i) {
            double t = dir * angle * i / pieces;
            double c = std::cos(t), s = std::sin(t);
            scratch_.push_back(Add(centre, {start.x * c - start.y * s, start.x * s + start.y * c}));
        }
        Emit(scratch_);
    }

    // Half a circle turning away from the line (cap) or a whole one.
    void Arc(Point centre, Point start, double angle, bool cap) {
        int pieces = std::clamp(static_cast<int>(std::ceil(angle / step_)), 2, kMaxArcPieces);
        scratch_.clear();
        // A cap's half circle turns from the left side to the right through the line's way
        // on; with normals (-dy, dx) that is the negative direction.
        int dir = cap ? -1 : 1;
        for (int i = 0; i <= pieces; ++i) {
            double t = dir * angle * i / pieces;
            double c = std::cos(t), s = std::sin(t);
            scratch_.push_back(Add(centre, {start.x * c - start.y * s, start.x * s + start.y * c}));
        }
        Emit(scratch_);
    }

    void Polygon(std::initializer_list<Point> points) {
        scratch_.assign(points.begin(), points.end());
        Emit(scratch_);
    }

    // Adds the closed polygon wound one fixed way, so every piece counts the same.
    void Emit(std::vector<Point>& pts) {
        double area = 0;
        for (std::size_t i = 0; i < pts.size(); ++i) {
            area += Cross(pts[i], pts[(i + 1) % pts.size()]);
        }
        if (!(std::abs(area) > 1e-12) || out_.segments.size() + pts.size() > kMaxOutline) {
            return;
        }
        if (area < 0) {
            std::reverse(pts.begin(), pts.end());
        }
        for (std::size_t i = 0; i < pts.size(); ++i) {
            out_.Line(pts[i], pts[(i + 1) % pts.size()]);
        }
    }

    const StrokeStyle& style_;
    Path& out_;
    double radius_ = 0.5;
    double step_ = kPi / 2;
    std::vector<Point> scratch_;
};

bool Finite(Point p) {
    return std::isfinite(p.x) && std::isfinite(p.y);
}

// The points of a curve, close enough that both edges of a stroke this wide stay smooth.
void Flatten(Point a, Point c, Point b, double radius, std::vector<Vertex>& out) {
    Point d{a.x - 2 * c.x + b.x, a.y - 2 * c.y + b.y};
    double bend = Length(d) / 4;
    double turn = std::atan2(std::abs(Cross(Sub(c, a), Sub(b, c))), Dot(Sub(c, a), Sub(b, c)));
    double pieces =
        std::max(std::ceil(std::sqrt(bend / kTolerance)), std::ceil(turn / ArcStep(radius)));
    int n = std::clamp(static_cast<int>(std::isfinite(pieces) ? pieces : 1), 1, kMaxCurvePieces);
    for (int i = 1; i <= n; ++i) {
        double t = static_cast<double>(i) / n, u = 1 - t;
        Point p = i == n ? b
                         : Point{u * u * a.x + 2 * u * t * c.x + t * t * b.x,
                                 u * u * a.y + 2 * u * t * c.y + t * t * b.y};
        out.push_back({p, i != n});
    }
}

} // namespace

Path StrokeOutline(const Path& path, const StrokeStyle& style) {
    Path out;
    Outliner outliner(style, out);
    double radius = std::max(std::isfinite(style.width) ? style.width : 0, 1.0) / 2;
    std::vector<Vertex> line;
    std::size_t taken = 0;
    auto finish = [&] {
        outliner.Line(line);
        line.clear();
    };
    for (const Segment& s : path.segments) {
        if (!Finite(s.from) || !Finite(s.to) || (s.control && !Finite(*s.control))) {
            finish();
            continue;
        }
        if (line.empty() || !(line.back().p == s.from)) {
            finish();
            line.push_back({s.from, false});
        }
        std::size_t before = line.size();
        if (s.control) {
            Flatten(s.from, *s.control, s.to, radius, line);
        } else {
            line.push_back({s.to, false});
        }
        // Points that repeat their predecessor give no direction; keep the line's shape only.
        std::size_t keep = before;
        for (std::size_t i = before; i < line.size(); ++i) {
            if (!(line[i].p == line[keep - 1].p)) {
                line[keep++] = line[i];
            }
        }
        line.resize(keep);
        taken += keep - before + 1;
        if (taken > kMaxOutline || out.segments.size() >= kMaxOutline) {
            break;
        }
    }
    finish();
    return out;
}

void StrokePath(Picture& target, const Path& path, const StrokeStyle& style, const Paint& paint,
                const Mask* clip) {
    FillPath(target, StrokeOutline(path, style), FillRule::NonZero, paint, clip);
}

} // namespace fw::render
