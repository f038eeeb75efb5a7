#include "graphics.h"

#include "byte_reader.h"

#include <algorithm>
#include <cmath>
#include <map>

namespace fw::swf {
namespace {

// Limits keeping a hostile file from exhausting memory or time.
constexpr std::size_t kMaxEdges = 200000;
constexpr std::size_t kMaxStyles = 65535;
constexpr int kCurveSteps = 8;

Rgba ReadColour(ByteReader& r, bool alpha) {
    Rgba c;
    c.r = r.U8();
    c.g = r.U8();
    c.b = r.U8();
    c.a = alpha ? r.U8() : 255;
    return c;
}

double Fixed16(std::int32_t v) {
    return v / 65536.0;
}

Gradient ReadGradient(ByteReader& r, bool alpha, bool focal) {
    Gradient g;
    g.matrix = ReadMatrix(r);
    std::uint8_t head = r.U8();
    g.spread = static_cast<Spread>(std::min((head >> 6) & 3, 2));
    g.interpolation = static_cast<Interpolation>(std::min((head >> 4) & 3, 1));
    int n = head & 0x0f;
    for (int k = 0; k < n && r.ok(); ++k) {
        GradientStop stop;
        stop.ratio = r.U8();
        stop.colour = ReadColour(r, alpha);
        g.stops.push_back(stop);
    }
    if (focal) {
        g.focal = std::clamp(static_cast<std::int16_t>(r.U16()) / 256.0, -1.0, 1.0);
    }
    return g;
}

bool ReadFill(ByteReader& r, bool alpha, FillStyle& f, std::string& problem) {
    std::uint8_t type = r.U8();
    f.type = type;
    if (type == kFillSolid) {
        f.colour = ReadColour(r, alpha);
    } else if (type == kFillLinear || type == kFillRadial || type == kFillFocal) {
        f.gradient = ReadGradient(r, alpha, type == kFillFocal);
        f.colour = AverageColour(f.gradient.stops);
        f.solid = false;
    } else if (type >= kFillRepeatingBitmap && type <= kFillClippedBitmapHard) {
        f.bitmap = r.U16();
        f.bitmapMatrix = ReadMatrix(r);
        f.colour = Rgba{128, 128, 128, 255};
        f.solid = false;
    } else {
        problem = "unknown fill style type " + std::to_string(type);
        return false;
    }
    return true;
}

bool ReadFillStyles(ByteReader& r, int tag, std::vector<FillStyle>& out, std::string& problem) {
    std::size_t count = r.U8();
    if (count == 0xff && tag != 2) {
        count = r.U16();
    }
    for (std::size_t i = 0; i < count && r.ok(); ++i) {
        FillStyle f;
        if (!ReadFill(r, tag >= 32, f, problem)) {
            return false;
        }
        if (out.size() >= kMaxStyles) {
            problem = "too many fill styles";
            return false;
        }
        out.push_back(f);
    }
    if (!r.ok()) {
        problem = "fill styles cut short";
        return false;
    }
    return true;
}

bool ReadLineStyles(ByteReader& r, int tag, std::vector<LineStyle>& out, std::string& problem) {
    std::size_t count = r.U8();
    if (count == 0xff && tag != 2) {
        count = r.U16();
    }
    for (std::size_t i = 0; i < count && r.ok(); ++i) {
        LineStyle l;
        l.width = r.U16();
        if (tag == 83) {
            if (ReadLineStyleFlags(r, l)) {
                FillStyle f;
                if (!ReadFill(r, true, f, problem)) {
                    return false;
                }
                // A filled line shows in its fill's colour where it is drawn flat.
                l.colour = f.colour;
                l.fill = std::move(f);
            } else {
                l.colour = ReadColour(r, true);
            }
        } else {
            l.colour = ReadColour(r, tag >= 32);
        }
        if (out.size() >= kMaxStyles) {
            problem = "too many line styles";
            return false;
        }
        out.push_back(l);
    }
    if (!r.ok()) {
        problem = "line styles cut short";
        return false;
    }
    return true;
}

bool Near(Point a, Point b) {
    return std::abs(a.x - b.x) < 0.5 && std::abs(a.y - b.y) < 0.5;
}

// The points of an edge after its start, curves flattened.
void AppendEdgePoints(const Edge& e, bool reversed, Contour& out) {
    Point from = reversed ? e.to : e.from;
    Point to = reversed ? e.from : e.to;
    if (e.control) {
        Point c = *e.control;
        for (int i = 1; i <= kCurveSteps; ++i) {
            double t = double(i) / kCurveSteps;
            double u = 1 - t;
            out.push_back(Point{u * u * from.x + 2 * u * t * c.x + t * t * to.x,
                                u * u * from.y + 2 * u * t * c.y + t * t * to.y});
        }
    } else {
        out.push_back(to);
    }
}

// Joins the edges bordering one fill into closed contours: an edge with the fill on its
// right (fill1) runs as stored, one with it on its left (fill0) runs reversed.
std::vector<Contour> JoinContours(const std::vector<Edge>& edges, int fill) {
    struct Directed {
        const Edge* edge;
        bool reversed;
        Point start() const { return reversed ? edge->to : edge->from; }
        Point end() const { return reversed ? edge->from : edge->to; }
    };
    std::vector<Directed> parts;
    for (const auto& e : edges) {
        if (e.fill1 == fill) {
            parts.push_back({&e, false});
        }
        if (e.fill0 == fill) {
            parts.push_back({&e, true});
        }
    }
    // Starts by position, so joining stays near linear.
    std::multimap<std::pair<long long, long long>, std::size_t> byStart;
    auto key = [](Point p) { return std::make_pair(std::llround(p.x), std::llround(p.y)); };
    for (std::size_t i = 0; i < parts.size(); ++i) {
        byStart.emplace(key(parts[i].start()), i);
    }
    std::vector<bool> used(parts.size(), false);
    std::vector<Contour> contours;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (used[i]) {
            continue;
        }
        Contour c{parts[i].start()};
        std::size_t cur = i;
        while (true) {
            used[cur] = true;
            AppendEdgePoints(*parts[cur].edge, parts[cur].reversed, c);
            Point end = parts[cur].end();
            if (Near(end, c.front())) {
                break;
            }
            auto range = byStart.equal_range(key(end));
            std::size_t next = parts.size();
            for (auto it = range.first; it != range.second; ++it) {
                if (!used[it->second]) {
                    next = it->second;
                    break;
                }
            }
            if (next == parts.size()) {
                break; // an open outline: closed by the fill as drawn
            }
            cur = next;
        }
        if (c.size() >= 3) {
            contours.push_back(std::move(c));
        }
    }
    return contours;
}

std::uint8_t Clamp8(int v) {
    return static_cast<std::uint8_t>(std::clamp(v, 0, 255));
}

double DistanceToSegment(Point p, Point a, Point b) {
    double dx = b.x - a.x;
    double dy = b.y - a.y;
    double len2 = dx * dx + dy * dy;
    double t = len2 > 0 ? std::clamp(((p.x - a.x) * dx + (p.y - a.y) * dy) / len2, 0.0, 1.0) : 0;
    double x = a.x + t * dx - p.x;
    double y = a.y + t * dy - p.y;
    return std::sqrt(x * x + y * y);
}

} // namespace

Matrix Matrix::Then(const Matrix& o) const {
    return Matrix{o.a * a + o.c * b, o.b * a + o.d * b,          o.a * c + o.c * d,
                  o.b * c + o.d * d, o.a * tx + o.c * ty + o.tx, o.b * tx + o.d * ty + o.ty};
}

std::optional<Matrix> Matrix::Inverse() const {
    double det = a * d - b * c;
    if (std::abs(det) < 1e-12) {
        return std::nullopt;
    }
    Matrix m{d / det, -b / det, -c / det, a / det, 0, 0};
    m.tx = -(m.a * tx + m.c * ty);
    m.ty = -(m.b * tx + m.d * ty);
    return m;
}

Rgba ColorTransform::Apply(Rgba c) const {
    auto ch = [&](int i, std::uint8_t v) { return Clamp8(v * mult[i] / 256 + add[i]); };
    return Rgba{ch(0, c.r), ch(1, c.g), ch(2, c.b), ch(3, c.a)};
}

ColorTransform ColorTransform::Then(const ColorTransform& o) const {
    ColorTransform t;
    for (int i = 0; i < 4; ++i) {
        t.mult[i] = static_cast<std::int16_t>(std::clamp(mult[i] * o.mult[i] / 256, -32768, 32767));
        t.add[i] = static_cast<std::int16_t>(
            std::clamp(add[i] * o.mult[i] / 256 + o.add[i], -32768, 32767));
    }
    return t;
}

Rgba AverageColour(const std::vector<GradientStop>& stops) {
    if (stops.empty()) {
        return Rgba{};
    }
    int sum[4] = {0, 0, 0, 0};
    for (const GradientStop& s : stops) {
        sum[0] += s.colour.r;
        sum[1] += s.colour.g;
        sum[2] += s.colour.b;
        sum[3] += s.colour.a;
    }
    int n = static_cast<int>(stops.size());
    return Rgba{std::uint8_t(sum[0] / n), std::uint8_t(sum[1] / n), std::uint8_t(sum[2] / n),
                std::uint8_t(sum[3] / n)};
}

bool ReadLineStyleFlags(ByteReader& r, LineStyle& l) {
    std::uint8_t first = r.U8();
    std::uint8_t second = r.U8();
    l.startCap = static_cast<Cap>(std::min((first >> 6) & 3, 2));
    l.join = static_cast<Join>(std::min((first >> 4) & 3, 2));
    l.noHScale = first & 0x04;
    l.noVScale = first & 0x02;
    l.pixelHinting = first & 0x01;
    l.noClose = second & 0x04;
    l.endCap = static_cast<Cap>(std::min(second & 3, 2));
    if (l.join == Join::Miter) {
        l.miterLimit = r.U16() / 256.0;
    }
    return (first & 0x08) != 0;
}

Bounds ReadBounds(ByteReader& r) {
    Bounds b;
    BitReader bits(r);
    int n = static_cast<int>(bits.Unsigned(5));
    b.xMin = bits.Signed(n);
    b.xMax = bits.Signed(n);
    b.yMin = bits.Signed(n);
    b.yMax = bits.Signed(n);
    return b;
}

Matrix ReadMatrix(ByteReader& r) {
    Matrix m;
    BitReader bits(r);
    if (bits.Unsigned(1)) {
        int n = static_cast<int>(bits.Unsigned(5));
        m.a = Fixed16(bits.Signed(n));
        m.d = Fixed16(bits.Signed(n));
    }
    if (bits.Unsigned(1)) {
        int n = static_cast<int>(bits.Unsigned(5));
        m.b = Fixed16(bits.Signed(n));
        m.c = Fixed16(bits.Signed(n));
    }
    int n = static_cast<int>(bits.Unsigned(5));
    m.tx = bits.Signed(n);
    m.ty = bits.Signed(n);
    return m;
}

ColorTransform ReadColorTransform(ByteReader& r, bool withAlpha) {
    ColorTransform t;
    BitReader bits(r);
    bool hasAdd = bits.Unsigned(1) != 0;
    bool hasMult = bits.Unsigned(1) != 0;
    int n = static_cast<int>(bits.Unsigned(4));
    int channels = withAlpha ? 4 : 3;
    if (hasMult) {
        for (int i = 0; i < channels; ++i) {
            t.mult[i] = static_cast<std::int16_t>(bits.Signed(n));
        }
    }
    if (hasAdd) {
        for (int i = 0; i < channels; ++i) {
            t.add[i] = static_cast<std::int16_t>(bits.Signed(n));
        }
    }
    return t;
}

void ReadEdgeRecord(BitReader& bits, Edge& e) {
    Point pen = e.from;
    bool straight = bits.Unsigned(1) != 0;
    int n = static_cast<int>(bits.Unsigned(4)) + 2;
    if (straight) {
        bool general = bits.Unsigned(1) != 0;
        double dx = 0, dy = 0;
        if (general) {
            dx = bits.Signed(n);
            dy = bits.Signed(n);
        } else if (bits.Unsigned(1)) {
            dy = bits.Signed(n);
        } else {
            dx = bits.Signed(n);
        }
        e.to = Point{pen.x + dx, pen.y + dy};
    } else {
        double cx = bits.Signed(n);
        double cy = bits.Signed(n);
        double ax = bits.Signed(n);
        double ay = bits.Signed(n);
        e.control = Point{pen.x + cx, pen.y + cy};
        e.to = Point{e.control->x + ax, e.control->y + ay};
    }
}

std::optional<Shape> ReadShape(int tag, std::span<const std::uint8_t> body, std::string& problem) {
    ByteReader r(body);
    Shape s;
    s.tag = tag;
    s.id = r.U16();
    s.bounds = ReadBounds(r);
    if (tag == 83) { // the edges' own bounds and the scaling flags
        BitReader bits(r);
        int n = static_cast<int>(bits.Unsigned(5));
        for (int i = 0; i < 4; ++i) {
            bits.Signed(n);
        }
        s.nonZero = (r.U8() & 0x04) != 0;
    }
    if (!ReadFillStyles(r, tag, s.fills, problem) || !ReadLineStyles(r, tag, s.lines, problem) ||
        !ReadShapeRecords(r, tag, s, problem)) {
        return std::nullopt;
    }
    BuildGeometry(s);
    return s;
}

bool ReadShapeRecords(ByteReader& r, int tag, Shape& s, std::string& problem) {
    std::size_t fillBase = 0; // where the current style arrays begin in the shape's lists
    std::size_t lineBase = 0;
    BitReader bits(r);
    int fillBits = static_cast<int>(bits.Unsigned(4));
    int lineBits = static_cast<int>(bits.Unsigned(4));
    Point pen;
    int fill0 = 0, fill1 = 0, line = 0;
    auto style = [](std::uint32_t index, std::size_t base, std::size_t count) {
        // An index past the array draws nothing rather than something else.
        return index == 0 || index > count - base ? 0 : static_cast<int>(base + index);
    };
    while (true) {
        if (!r.ok()) {
            problem = "shape " + std::to_string(s.id) + " cut short";
            return false;
        }
        bool isEdge = bits.Unsigned(1) != 0;
        if (!isEdge) {
            std::uint32_t flags = bits.Unsigned(5);
            if (flags == 0) {
                break;
            }
            if (flags & 0x01) {
                int n = static_cast<int>(bits.Unsigned(5));
                pen.x = bits.Signed(n);
                pen.y = bits.Signed(n);
            }
            std::uint32_t raw0 = (flags & 0x02) ? bits.Unsigned(fillBits) : 0;
            std::uint32_t raw1 = (flags & 0x04) ? bits.Unsigned(fillBits) : 0;
            std::uint32_t rawLine = (flags & 0x08) ? bits.Unsigned(lineBits) : 0;
            if (flags & 0x10) {
                if (tag == 2 || tag == 46 || tag == 84) {
                    problem = tag == 2 ? "new styles in a shape of the first kind"
                                       : "new styles in a morph shape";
                    return false;
                }
                // Indices given with new styles point into the new arrays.
                bits.Align();
                fillBase = s.fills.size();
                lineBase = s.lines.size();
                if (!ReadFillStyles(r, tag, s.fills, problem) ||
                    !ReadLineStyles(r, tag, s.lines, problem)) {
                    return false;
                }
                bits.Align();
                fillBits = static_cast<int>(bits.Unsigned(4));
                lineBits = static_cast<int>(bits.Unsigned(4));
                fill0 = fill1 = line = 0;
            }
            if (flags & 0x02) {
                fill0 = style(raw0, fillBase, s.fills.size());
            }
            if (flags & 0x04) {
                fill1 = style(raw1, fillBase, s.fills.size());
            }
            if (flags & 0x08) {
                line = style(rawLine, lineBase, s.lines.size());
            }
            continue;
        }
        if (s.edges.size() >= kMaxEdges) {
            problem = "shape " + std::to_string(s.id) + " has too many edges";
            return false;
        }
        Edge e;
        e.from = pen;
        e.fill0 = fill0;
        e.fill1 = fill1;
        e.line = line;
        ReadEdgeRecord(bits, e);
        pen = e.to;
        s.edges.push_back(e);
    }
    if (!r.ok()) {
        problem = "shape " + std::to_string(s.id) + " cut short";
        return false;
    }
    return true;
}

void BuildGeometry(Shape& shape) {
    shape.regions.clear();
    shape.strokes.clear();
    for (std::size_t f = 1; f <= shape.fills.size(); ++f) {
        auto contours = JoinContours(shape.edges, static_cast<int>(f));
        if (!contours.empty()) {
            shape.regions.push_back(FillRegion{shape.fills[f - 1].colour, std::move(contours)});
        }
    }
    for (std::size_t l = 1; l <= shape.lines.size(); ++l) {
        Stroke stroke{shape.lines[l - 1].colour, shape.lines[l - 1].width, {}};
        for (const auto& e : shape.edges) {
            if (e.line != static_cast<int>(l)) {
                continue;
            }
            if (stroke.lines.empty() || !Near(stroke.lines.back().back(), e.from)) {
                stroke.lines.push_back(Contour{e.from});
            }
            AppendEdgePoints(e, false, stroke.lines.back());
        }
        if (!stroke.lines.empty()) {
            shape.strokes.push_back(std::move(stroke));
        }
    }
}

namespace {

// What the records of both kinds of button begin with; false at the end of the records.
bool ReadRecordHead(ByteReader& r, std::uint8_t& flags, ButtonRecord& rec) {
    flags = r.U8();
    if (flags == 0) {
        return false;
    }
    rec.states = flags & 0x0f;
    rec.character = r.U16();
    rec.depth = r.U16();
    rec.matrix = ReadMatrix(r);
    return true;
}

} // namespace

std::optional<Button> ReadButton1(std::span<const std::uint8_t> body, std::string& problem) {
    ByteReader r(body);
    Button b;
    b.id = r.U16();
    std::uint8_t flags = 0;
    ButtonRecord rec;
    while (r.ok() && ReadRecordHead(r, flags, rec)) {
        if (r.ok()) {
            b.records.push_back(rec);
        }
    }
    if (!r.ok()) {
        problem = "button " + std::to_string(b.id) + " cut short";
        return std::nullopt;
    }
    // The rest is one action block, run on release.
    if (!r.atEnd()) {
        auto rest = r.Bytes(r.left());
        b.actions.push_back(
            ButtonAction{kCondRelease, 0, std::vector<std::uint8_t>(rest.begin(), rest.end())});
    }
    return b;
}

std::optional<Button> ReadButton2(std::span<const std::uint8_t> body, std::string& problem) {
    ByteReader r(body);
    Button b;
    b.id = r.U16();
    b.trackAsMenu = (r.U8() & 1) != 0;
    std::size_t actionOffsetPos = r.pos();
    std::uint16_t actionOffset = r.U16();
    while (r.ok()) {
        std::uint8_t flags = 0;
        ButtonRecord rec;
        if (!ReadRecordHead(r, flags, rec)) {
            break;
        }
        rec.colour = ReadColorTransform(r, true);
        if (flags & 0x10) {
            // Filters are not drawn, and their list cannot be skipped without reading it all:
            // the records end here, the actions are found by their offset.
            problem = "button " + std::to_string(b.id) + " has filters; records after it skipped";
            break;
        }
        if (flags & 0x20) {
            r.U8(); // blend mode
        }
        if (r.ok()) {
            b.records.push_back(rec);
        }
    }
    if (!r.ok()) {
        problem = "button " + std::to_string(b.id) + " cut short";
        return std::nullopt;
    }
    if (actionOffset == 0) {
        return b;
    }
    std::size_t pos = actionOffsetPos + actionOffset;
    while (pos < body.size()) {
        if (body.size() - pos < 4) {
            problem = "button " + std::to_string(b.id) + " action cut short";
            break;
        }
        std::uint16_t size = static_cast<std::uint16_t>(body[pos] | (body[pos + 1] << 8));
        std::uint16_t cond = static_cast<std::uint16_t>(body[pos + 2] | (body[pos + 3] << 8));
        std::size_t end = size == 0 ? body.size() : pos + size;
        if (size != 0 && (size < 4 || end > body.size())) {
            problem = "button " + std::to_string(b.id) + " action size out of range";
            break;
        }
        ButtonAction a;
        a.conditions = static_cast<std::uint16_t>((cond & 0xff) | ((cond & 0x0100) ? 0x100 : 0));
        a.key = static_cast<std::uint8_t>(cond >> 9);
        a.actions.assign(body.begin() + static_cast<std::ptrdiff_t>(pos + 4),
                         body.begin() + static_cast<std::ptrdiff_t>(end));
        b.actions.push_back(std::move(a));
        if (size == 0) {
            break;
        }
        pos = end;
    }
    return b;
}

std::optional<EditText> ReadEditText(std::span<const std::uint8_t> body, std::string& problem) {
    ByteReader r(body);
    EditText t;
    t.id = r.U16();
    t.bounds = ReadBounds(r);
    std::uint8_t f1 = r.U8();
    std::uint8_t f2 = r.U8();
    t.hasText = f1 & 0x80;
    t.wordWrap = f1 & 0x40;
    t.multiline = f1 & 0x20;
    t.password = f1 & 0x10;
    t.readOnly = f1 & 0x08;
    t.autoSize = f2 & 0x40;
    t.noSelect = f2 & 0x10;
    t.border = f2 & 0x08;
    t.html = f2 & 0x02;
    t.wasStatic = f2 & 0x04;
    t.embedFonts = f2 & 0x01;
    if (f1 & 0x01) {
        t.hasFont = true;
        t.fontId = r.U16();
    }
    if (f2 & 0x80) {
        t.fontClass = r.CString();
    }
    if ((f1 & 0x01) || (f2 & 0x80)) {
        t.height = r.U16();
    }
    if (f1 & 0x04) {
        t.colour = ReadColour(r, true);
    }
    if (f1 & 0x02) {
        t.maxLength = r.U16();
    }
    if (f2 & 0x20) {
        std::uint8_t align = r.U8();
        t.align = align <= 3 ? static_cast<TextAlign>(align) : TextAlign::Left;
        t.leftMargin = r.U16();
        t.rightMargin = r.U16();
        t.indent = r.U16();
        t.leading = static_cast<std::int16_t>(r.U16());
    }
    t.variable = r.CString();
    if (t.hasText) {
        t.initialText = r.CString();
    }
    if (!r.ok()) {
        problem = "edit text " + std::to_string(t.id) + " cut short";
        return std::nullopt;
    }
    return t;
}

std::optional<Font> ReadFont(std::span<const std::uint8_t> body, std::string& problem, bool font3) {
    ByteReader r(body);
    Font f;
    f.id = r.U16();
    std::uint8_t flags = r.U8();
    f.bold = flags & 0x01;
    f.italic = flags & 0x02;
    r.U8(); // language
    std::size_t len = r.U8();
    auto name = r.Bytes(len);
    if (!r.ok()) {
        problem = "font cut short";
        return std::nullopt;
    }
    f.name.assign(name.begin(), name.end());
    while (!f.name.empty() && f.name.back() == '\0') {
        f.name.pop_back();
    }
    f.emSquare = font3 ? 20480 : 1024;
    // The glyph table: offsets, then the shapes, then a code per glyph and the layout. A font
    // whose tables do not add up keeps its name and style and measures as a device font.
    std::size_t glyphs = r.U16();
    bool wideOffsets = flags & 0x08;
    bool wideCodes = flags & 0x04;
    if (!r.ok() || glyphs == 0) {
        return f;
    }
    std::size_t tableStart = r.pos();
    std::size_t codeOffset = 0;
    {
        ByteReader probe(body.subspan(tableStart));
        probe.Bytes(glyphs * (wideOffsets ? 4 : 2));
        codeOffset = wideOffsets ? probe.U32() : probe.U16();
        if (!probe.ok() || tableStart + codeOffset > body.size()) {
            return f;
        }
    }
    f.glyphs = ReadGlyphTable(body.subspan(tableStart), glyphs, wideOffsets, codeOffset);
    ByteReader codes(body.subspan(tableStart + codeOffset));
    std::vector<std::uint16_t> table(glyphs);
    for (auto& c : table) {
        c = wideCodes ? codes.U16() : codes.U8();
    }
    if (!codes.ok()) {
        return f;
    }
    f.codes = std::move(table);
    if (flags & 0x80) {
        f.ascent = codes.U16();
        f.descent = codes.U16();
        f.leading = static_cast<std::int16_t>(codes.U16());
        std::vector<double> advances(glyphs);
        for (auto& a : advances) {
            a = static_cast<std::int16_t>(codes.U16());
        }
        if (codes.ok()) {
            f.advances = std::move(advances);
            f.hasLayout = true;
        }
    }
    return f;
}

namespace {

// Reads as many clip action records as are whole; a broken list keeps those before it.
void ReadClipActions(ByteReader& r, int version, std::vector<ClipAction>& out) {
    bool wide = version >= 6;
    auto events = [&] { return wide ? r.U32() : std::uint32_t{r.U16()}; };
    r.U16(); // reserved
    // The events the clip listens to at all: a handler's other events never fire.
    std::uint32_t all = events();
    while (r.ok() && !r.atEnd()) {
        std::uint32_t bits = events();
        if (!r.ok() || bits == 0) {
            return;
        }
        std::uint32_t size = r.U32();
        if (!r.ok() || size > r.left()) {
            return;
        }
        auto body = r.Bytes(size);
        ClipAction action;
        action.events = bits & all;
        std::size_t skip = 0;
        if (wide && (bits & (1u << 17)) && !body.empty()) {
            action.key = body[0];
            skip = 1;
        }
        action.actions.assign(body.begin() + static_cast<std::ptrdiff_t>(skip), body.end());
        out.push_back(std::move(action));
    }
}

} // namespace

namespace {

// A filter list; an unknown filter ends it, as nothing after it can be found.
std::vector<Filter> ReadFilters(ByteReader& r) {
    std::vector<Filter> out;
    int count = r.U8();
    auto fixed = [&] { return static_cast<std::int32_t>(r.U32()) / 65536.0; };
    auto fixed8 = [&] { return static_cast<std::int16_t>(r.U16()) / 256.0; };
    auto colour = [&] {
        std::uint32_t c = 0;
        for (int k = 0; k < 4; ++k) {
            c = c << 8 | r.U8();
        }
        return c;
    };
    for (int i = 0; i < count && r.ok(); ++i) {
        Filter f;
        f.id = r.U8();
        switch (f.id) {
        case 0: // drop shadow: colour, blurs, angle, distance, strength
        case 2: // glow: colour, blurs, strength
        case 3: // bevel: highlight and shadow colours, blurs, angle, distance, strength
            f.colours.push_back(colour());
            if (f.id == 3) {
                f.colours.push_back(colour());
            }
            f.numbers = {fixed(), fixed()};
            if (f.id != 2) {
                f.numbers.push_back(fixed());
                f.numbers.push_back(fixed());
            }
            f.numbers.push_back(fixed8());
            break;
        case 1:
            f.numbers = {fixed(), fixed()};
            break;
        case 4:
        case 7: { // gradient glow and bevel: stops, blurs, angle, distance, strength
            int n = r.U8();
            for (int k = 0; k < n && r.ok(); ++k) {
                f.colours.push_back(colour());
            }
            for (int k = 0; k < n && r.ok(); ++k) {
                f.ratios.push_back(r.U8());
            }
            f.numbers = {fixed(), fixed(), fixed(), fixed()};
            f.numbers.push_back(fixed8());
            break;
        }
        case 5: { // convolution: size, divisor, bias, matrix, colour
            int x = r.U8(), y = r.U8();
            f.numbers = {static_cast<double>(x), static_cast<double>(y), r.F32(), r.F32()};
            for (int k = 0; k < x * y && r.ok(); ++k) {
                f.numbers.push_back(r.F32());
            }
            f.colours.push_back(colour());
            break;
        }
        case 6:
            for (int k = 0; k < 20 && r.ok(); ++k) {
                f.numbers.push_back(r.F32());
            }
            break;
        default:
            r.Bytes(r.left());
            return out;
        }
        if (f.id != 6) {
            f.flags = r.U8();
        }
        if (r.ok()) {
            out.push_back(std::move(f));
        }
    }
    return out;
}

} // namespace

std::optional<Placement> ReadPlacement(int tag, std::span<const std::uint8_t> body,
                                       std::string& problem, int version) {
    ByteReader r(body);
    Placement p;
    if (tag == 5 || tag == 28) { // RemoveObject, RemoveObject2
        p.kind = Placement::Kind::Remove;
        if (tag == 5) {
            r.U16();
        }
        p.depth = r.U16();
    } else if (tag == 4) { // PlaceObject
        p.character = r.U16();
        p.depth = r.U16();
        p.matrix = ReadMatrix(r);
        if (r.ok() && !r.atEnd()) {
            p.colour = ReadColorTransform(r, false);
        }
    } else { // PlaceObject2, PlaceObject3
        std::uint8_t flags = r.U8();
        std::uint8_t flags3 = tag == 70 ? r.U8() : 0;
        p.depth = r.U16();
        p.move = flags & 0x01;
        if ((flags3 & 0x08) || ((flags3 & 0x10) && (flags & 0x02))) {
            p.className = r.CString();
        }
        if (flags & 0x02) {
            p.character = r.U16();
        }
        if (flags & 0x04) {
            p.matrix = ReadMatrix(r);
        }
        if (flags & 0x08) {
            p.colour = ReadColorTransform(r, true);
        }
        if (flags & 0x10) {
            p.ratio = r.U16();
        }
        if (flags & 0x20) {
            p.name = r.CString();
        }
        if (flags & 0x40) {
            p.clipDepth = r.U16();
        }
        if (tag == 70) {
            if (flags3 & 0x01) {
                p.filters = ReadFilters(r);
            }
            if (flags3 & 0x02) {
                p.blendMode = r.U8();
            }
            if (flags3 & 0x04) {
                p.cacheAsBitmap = r.U8() != 0;
            }
            if (flags3 & 0x20) {
                p.visible = r.U8() != 0;
            }
        }
        if ((flags & 0x80) && r.ok()) {
            // The list ends the tag; one cut short keeps the records before the cut.
            ByteReader rest(r.Bytes(r.left()));
            ReadClipActions(rest, version, p.clipActions);
        }
    }
    if (!r.ok()) {
        problem = "placement at depth " + std::to_string(p.depth) + " cut short";
        return std::nullopt;
    }
    return p;
}

bool Contains(const std::vector<Contour>& contours, Point p) {
    bool inside = false;
    for (const auto& c : contours) {
        std::size_t n = c.size();
        for (std::size_t i = 0, j = n - 1; i < n; j = i++) {
            const Point& a = c[i];
            const Point& b = c[j];
            if ((a.y > p.y) != (b.y > p.y) && p.x < (b.x - a.x) * (p.y - a.y) / (b.y - a.y) + a.x) {
                inside = !inside;
            }
        }
    }
    return inside;
}

bool HitShape(const Shape& shape, Point p) {
    double half = 0;
    for (const auto& l : shape.lines) {
        half = std::max(half, l.width / 2);
    }
    if (p.x < shape.bounds.xMin - half || p.x > shape.bounds.xMax + half ||
        p.y < shape.bounds.yMin - half || p.y > shape.bounds.yMax + half) {
        return false;
    }
    for (const auto& region : shape.regions) {
        if (Contains(region.contours, p)) {
            return true;
        }
    }
    for (const auto& stroke : shape.strokes) {
        for (const auto& line : stroke.lines) {
            for (std::size_t i = 1; i < line.size(); ++i) {
                if (DistanceToSegment(p, line[i - 1], line[i]) <= stroke.width / 2) {
                    return true;
                }
            }
        }
    }
    return false;
}

Matrix ShowAllMatrix(double frameXMin, double frameYMin, double frameWidth, double frameHeight,
                     int clientWidth, int clientHeight) {
    if (frameWidth <= 0 || frameHeight <= 0 || clientWidth <= 0 || clientHeight <= 0) {
        return Matrix{0, 0, 0, 0, 0, 0};
    }
    double scale = std::min(clientWidth / frameWidth, clientHeight / frameHeight);
    double ox = (clientWidth - frameWidth * scale) / 2;
    double oy = (clientHeight - frameHeight * scale) / 2;
    return Matrix{scale, 0, 0, scale, ox - frameXMin * scale, oy - frameYMin * scale};
}

std::string PlainFromHtml(std::string_view html) {
    std::string out;
    std::size_t i = 0;
    while (i < html.size()) {
        char c = html[i];
        if (c == '<') {
            std::size_t end = html.find('>', i);
            if (end == std::string_view::npos) {
                break;
            }
            std::string tag(html.substr(i + 1, end - i - 1));
            for (auto& ch : tag) {
                ch = (ch >= 'A' && ch <= 'Z') ? char(ch - 'A' + 'a') : ch;
            }
            if (tag == "br" || tag == "br/" || tag == "br /" || tag == "/p") {
                out += '\n';
            }
            i = end + 1;
        } else if (c == '&') {
            static const std::pair<std::string_view, char> kEntities[] = {
                {"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&apos;", '\''}};
            bool matched = false;
            for (const auto& [name, ch] : kEntities) {
                if (html.substr(i, name.size()) == name) {
                    out += ch;
                    i += name.size();
                    matched = true;
                    break;
                }
            }
            if (!matched) {
                out += c;
                ++i;
            }
        } else {
            out += c;
            ++i;
        }
    }
    while (!out.empty() && out.back() == '\n') {
        out.pop_back();
    }
    return out;
}

} // namespace fw::swf
