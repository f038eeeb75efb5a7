#include "morph.h"

#include "byte_reader.h"

#include <algorithm>
#include <cmath>

namespace fw::swf {
namespace {

Rgba ReadRgba(ByteReader& r) {
    Rgba c;
    c.r = r.U8();
    c.g = r.U8();
    c.b = r.U8();
    c.a = r.U8();
    return c;
}

// One fill of the pair as the file interleaves them: start and end of each field in turn.
bool ReadMorphFill(ByteReader& r, FillStyle& a, FillStyle& b, std::string& problem) {
    std::uint8_t type = r.U8();
    a.type = b.type = type;
    if (type == kFillSolid) {
        a.colour = ReadRgba(r);
        b.colour = ReadRgba(r);
        return true;
    }
    a.solid = b.solid = false;
    if (type == kFillLinear || type == kFillRadial || type == kFillFocal) {
        a.gradient.matrix = ReadMatrix(r);
        b.gradient.matrix = ReadMatrix(r);
        std::uint8_t head = r.U8();
        a.gradient.spread = b.gradient.spread = static_cast<Spread>(std::min((head >> 6) & 3, 2));
        a.gradient.interpolation = b.gradient.interpolation =
            static_cast<Interpolation>(std::min((head >> 4) & 3, 1));
        for (int k = 0; k < (head & 0x0f) && r.ok(); ++k) {
            GradientStop sa, sb;
            sa.ratio = r.U8();
            sa.colour = ReadRgba(r);
            sb.ratio = r.U8();
            sb.colour = ReadRgba(r);
            a.gradient.stops.push_back(sa);
            b.gradient.stops.push_back(sb);
        }
        if (type == kFillFocal) {
            a.gradient.focal = std::clamp(static_cast<std::int16_t>(r.U16()) / 256.0, -1.0, 1.0);
            b.gradient.focal = std::clamp(static_cast<std::int16_t>(r.U16()) / 256.0, -1.0, 1.0);
        }
        a.colour = AverageColour(a.gradient.stops);
        b.colour = AverageColour(b.gradient.stops);
        return true;
    }
    if (type >= kFillRepeatingBitmap && type <= kFillClippedBitmapHard) {
        a.bitmap = b.bitmap = r.U16();
        a.bitmapMatrix = ReadMatrix(r);
        b.bitmapMatrix = ReadMatrix(r);
        a.colour = b.colour = Rgba{128, 128, 128, 255};
        return true;
    }
    problem = "unknown morph fill style type " + std::to_string(type);
    return false;
}

std::size_t StyleCount(ByteReader& r) {
    std::size_t count = r.U8();
    return count == 0xff ? r.U16() : count;
}

bool ReadStyles(ByteReader& r, int tag, MorphShape& m, std::string& problem) {
    std::size_t fills = StyleCount(r);
    for (std::size_t i = 0; i < fills && r.ok(); ++i) {
        FillStyle a, b;
        if (!ReadMorphFill(r, a, b, problem)) {
            return false;
        }
        m.startFills.push_back(std::move(a));
        m.endFills.push_back(std::move(b));
    }
    std::size_t lines = StyleCount(r);
    for (std::size_t i = 0; i < lines && r.ok(); ++i) {
        LineStyle a, b;
        a.width = r.U16();
        b.width = r.U16();
        bool filled = false;
        if (tag == 84) {
            filled = ReadLineStyleFlags(r, a);
            double width = b.width;
            b = a;
            b.width = width;
        }
        if (filled) {
            FillStyle fa, fb;
            if (!ReadMorphFill(r, fa, fb, problem)) {
                return false;
            }
            a.colour = fa.colour;
            b.colour = fb.colour;
            a.fill = std::move(fa);
            b.fill = std::move(fb);
        } else {
            a.colour = ReadRgba(r);
            b.colour = ReadRgba(r);
        }
        m.startLines.push_back(std::move(a));
        m.endLines.push_back(std::move(b));
    }
    if (!r.ok()) {
        problem = "morph shape " + std::to_string(m.id) + " styles cut short";
        return false;
    }
    return true;
}

double Mix(double a, double b, double t) {
    return a + (b - a) * t;
}

std::uint8_t Mix8(std::uint8_t a, std::uint8_t b, double t) {
    return static_cast<std::uint8_t>(std::lround(std::clamp(Mix(a, b, t), 0.0, 255.0)));
}

Rgba Mix(Rgba a, Rgba b, double t) {
    return Rgba{Mix8(a.r, b.r, t), Mix8(a.g, b.g, t), Mix8(a.b, b.b, t), Mix8(a.a, b.a, t)};
}

Point Mix(Point a, Point b, double t) {
    return Point{Mix(a.x, b.x, t), Mix(a.y, b.y, t)};
}

Matrix Mix(const Matrix& a, const Matrix& b, double t) {
    return Matrix{Mix(a.a, b.a, t), Mix(a.b, b.b, t),   Mix(a.c, b.c, t),
                  Mix(a.d, b.d, t), Mix(a.tx, b.tx, t), Mix(a.ty, b.ty, t)};
}

Bounds Mix(const Bounds& a, const Bounds& b, double t) {
    return Bounds{Mix(a.xMin, b.xMin, t), Mix(a.xMax, b.xMax, t), Mix(a.yMin, b.yMin, t),
                  Mix(a.yMax, b.yMax, t)};
}

FillStyle Mix(const FillStyle& a, const FillStyle& b, double t) {
    FillStyle f = a;
    f.colour = Mix(a.colour, b.colour, t);
    f.gradient.matrix = Mix(a.gradient.matrix, b.gradient.matrix, t);
    f.gradient.focal = Mix(a.gradient.focal, b.gradient.focal, t);
    for (std::size_t i = 0; i < f.gradient.stops.size() && i < b.gradient.stops.size(); ++i) {
        const GradientStop& e = b.gradient.stops[i];
        GradientStop& s = f.gradient.stops[i];
        s.ratio = Mix8(s.ratio, e.ratio, t);
        s.colour = Mix(s.colour, e.colour, t);
    }
    f.bitmapMatrix = Mix(a.bitmapMatrix, b.bitmapMatrix, t);
    return f;
}

} // namespace

std::optional<MorphShape> ReadMorphShape(int tag, std::span<const std::uint8_t> body,
                                         std::string& problem) {
    ByteReader r(body);
    MorphShape m;
    m.tag = tag;
    m.id = r.U16();
    m.startBounds = ReadBounds(r);
    m.endBounds = ReadBounds(r);
    if (tag == 84) { // the edges' own bounds and the stroke scaling flags
        ReadBounds(r);
        ReadBounds(r);
        r.U8();
    }
    std::uint32_t offset = r.U32();
    std::size_t endAt = r.pos() + offset;
    if (!r.ok() || !ReadStyles(r, tag, m, problem)) {
        if (problem.empty()) {
            problem = "morph shape " + std::to_string(m.id) + " cut short";
        }
        return std::nullopt;
    }
    // Style indices are checked against the start styles; the end records carry none.
    Shape start;
    start.id = m.id;
    start.fills.resize(m.startFills.size());
    start.lines.resize(m.startLines.size());
    if (!ReadShapeRecords(r, tag, start, problem)) {
        return std::nullopt;
    }
    Shape end = start;
    end.edges.clear();
    // The end's records start where the offset says; a zero offset leaves them right after.
    ByteReader fromOffset(offset != 0 && endAt <= body.size() ? body.subspan(endAt) : body);
    ByteReader& er = offset != 0 && endAt <= body.size() ? fromOffset : r;
    if (!ReadShapeRecords(er, tag, end, problem)) {
        return std::nullopt;
    }
    m.startEdges = std::move(start.edges);
    m.endEdges = std::move(end.edges);
    if (m.startEdges.size() != m.endEdges.size()) {
        problem = "morph shape " + std::to_string(m.id) + " has " +
                  std::to_string(m.startEdges.size()) + " start edges and " +
                  std::to_string(m.endEdges.size()) + " end edges";
    }
    return m;
}

Shape MorphAt(const MorphShape& morph, std::uint16_t ratio) {
    double t = ratio / 65535.0;
    Shape s;
    s.id = morph.id;
    s.tag = morph.tag == 84 ? 83 : 32;
    s.bounds = Mix(morph.startBounds, morph.endBounds, t);
    for (std::size_t i = 0; i < morph.startFills.size(); ++i) {
        const FillStyle& a = morph.startFills[i];
        s.fills.push_back(i < morph.endFills.size() ? Mix(a, morph.endFills[i], t) : a);
    }
    for (std::size_t i = 0; i < morph.startLines.size(); ++i) {
        const LineStyle& a = morph.startLines[i];
        LineStyle l = a;
        if (i < morph.endLines.size()) {
            const LineStyle& b = morph.endLines[i];
            l.width = Mix(a.width, b.width, t);
            l.colour = Mix(a.colour, b.colour, t);
            if (a.fill && b.fill) {
                l.fill = Mix(*a.fill, *b.fill, t);
            }
        }
        s.lines.push_back(std::move(l));
    }
    s.edges.reserve(morph.startEdges.size());
    for (std::size_t i = 0; i < morph.startEdges.size(); ++i) {
        const Edge& a = morph.startEdges[i];
        // An edge without a partner stays where it starts.
        const Edge& b = i < morph.endEdges.size() ? morph.endEdges[i] : a;
        Edge e = a;
        e.from = Mix(a.from, b.from, t);
        e.to = Mix(a.to, b.to, t);
        if (a.control || b.control) {
            Point ca = a.control ? *a.control : Mix(a.from, a.to, 0.5);
            Point cb = b.control ? *b.control : Mix(b.from, b.to, 0.5);
            e.control = Mix(ca, cb, t);
        }
        s.edges.push_back(e);
    }
    BuildGeometry(s);
    return s;
}

} // namespace fw::swf
