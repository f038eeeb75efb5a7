// Writes still movies that show, side by side, every kind of fill, line, bitmap and text the
// player draws, for tools/reference-pictures to draw in both players and compare.
// Usage: make_stills <output folder> [font file]

#include "art.h"
#include "swf/inflate.h"
#include "swf/writer.h"

#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STBI_WRITE_NO_STDIO
#include <stb_image_write.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <exception>
#include <initializer_list>
#include <numbers>
#include <optional>
#include <span>
#include <string>
#include <vector>

using namespace fw::swf;

namespace {

constexpr double kPx = 20;            // twips per pixel
constexpr double kUnit = 1.0 / 32768; // of a gradient's square, per twip of its span
constexpr double kCell = 100 * kPx;   // the movies are grids of cells of this side
const char* const kDefaultFont = "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf";

Matrix At(double x, double y) {
    return Matrix{1, 0, 0, 1, x, y};
}

// The cell of column col and row row as a placement's matrix.
Matrix Cell(int col, int row) {
    return At(col * kCell, row * kCell);
}

FillStyle Gradient(std::uint8_t type, Matrix m, std::vector<GradientStop> stops,
                   Spread spread = Spread::Pad) {
    FillStyle f;
    f.type = type;
    f.solid = false;
    f.colour = stops.front().colour;
    f.gradient.matrix = m;
    f.gradient.spread = spread;
    f.gradient.stops = std::move(stops);
    return f;
}

FillStyle BitmapFill(std::uint8_t type, std::uint16_t bitmap, Matrix m) {
    FillStyle f;
    f.type = type;
    f.solid = false;
    f.bitmap = bitmap;
    f.bitmapMatrix = m;
    return f;
}

// A square gradient span of side twips centred on (cx, cy), turned by angle radians.
Matrix Span(double side, double cx, double cy, double angle = 0) {
    double s = side * kUnit;
    return Matrix{s * std::cos(angle),
                  s * std::sin(angle),
                  -s * std::sin(angle),
                  s * std::cos(angle),
                  cx,
                  cy};
}

class Still {
public:
    Still(int width, int height, Rgb background)
        : movie_(MovieOptions{8, width, height, 12, false}) {
        movie_.Background(background);
    }

    std::uint16_t NextId() { return next_++; }
    MovieWriter& Movie() { return movie_; }

    // A shape filled with fill inside an outline that draw makes (DefineShape4).
    template <class Draw> std::uint16_t Filled(const FillStyle& fill, Draw draw) {
        ShapeBuilder b(NextId(), 83);
        b.Style(0, b.Fill(fill.colour), 0);
        draw(b);
        Shape s = b.Build();
        s.fills[0] = fill;
        movie_.DefineShape(s);
        return s.id;
    }

    // A cell's 80-pixel square inside its 10-pixel margin.
    std::uint16_t Square(const FillStyle& fill) {
        return Filled(fill,
                      [](ShapeBuilder& b) { b.Rect(10 * kPx, 10 * kPx, 80 * kPx, 80 * kPx); });
    }

    void Place(std::uint16_t character, Matrix m, std::optional<std::uint16_t> clipDepth = {},
               std::optional<std::uint16_t> ratio = {}, std::optional<ColorTransform> colour = {}) {
        Placement p;
        p.depth = depth_++;
        p.character = character;
        p.matrix = m;
        p.clipDepth = clipDepth;
        p.ratio = ratio;
        p.colour = colour;
        movie_.Place(p);
    }
    std::uint16_t Depth() const { return depth_; }

    std::vector<std::uint8_t> Finish() {
        movie_.ShowFrame();
        return movie_.Finish();
    }

private:
    MovieWriter movie_;
    std::uint16_t next_ = 1;
    std::uint16_t depth_ = 1;
};

LineStyle Pen(double width, Rgba colour) {
    LineStyle line;
    line.width = width;
    line.colour = colour;
    return line;
}

// A zigzag of three segments in an 80-pixel cell: a sharp turn and a wide one.
void Zigzag(ShapeBuilder& b) {
    b.MoveTo(18 * kPx, 80 * kPx)
        .LineTo(35 * kPx, 20 * kPx)
        .LineTo(52 * kPx, 80 * kPx)
        .LineTo(82 * kPx, 40 * kPx);
}

std::uint16_t Stroked(Still& still, LineStyle line, Rgba backdrop = {0, 0, 0, 0}) {
    ShapeBuilder b(still.NextId(), 83);
    if (backdrop.a) {
        b.Style(0, b.Fill(backdrop), 0).Rect(10 * kPx, 30 * kPx, 80 * kPx, 30 * kPx);
    }
    b.Style(0, 0, b.Line(line.width, line.colour));
    Zigzag(b);
    Shape s = b.Build();
    s.lines[0] = line;
    still.Movie().DefineShape(s);
    return s.id;
}

// Gradients of every kind and spread, strokes, hairlines, alpha, a mask, a morph shape and
// the non-zero fill rule.
std::vector<std::uint8_t> Shapes() {
    Still still(400, 400, Rgb{0xee, 0xec, 0xe4});
    const std::vector<GradientStop> warm = {{0, Rgba{0xff, 0xf0, 0x40, 255}},
                                            {128, Rgba{0xe0, 0x40, 0x20, 255}},
                                            {255, Rgba{0x30, 0x10, 0x60, 255}}};
    const double mid = 50 * kPx;
    const Spread spreads[] = {Spread::Pad, Spread::Reflect, Spread::Repeat};
    for (int i = 0; i < 3; ++i) {
        still.Place(
            still.Square(Gradient(kFillLinear, Span(30 * kPx, mid, mid, 0.4), warm, spreads[i])),
            Cell(i, 0));
        still.Place(still.Square(Gradient(kFillRadial, Span(36 * kPx, mid, mid), warm, spreads[i])),
                    Cell(i, 1));
    }
    // Many stops, see-through ones and linear RGB interpolation.
    FillStyle rainbow = Gradient(kFillLinear, Span(80 * kPx, mid, mid, std::numbers::pi / 2),
                                 {{0, Rgba{255, 0, 0, 255}},
                                  {40, Rgba{255, 255, 0, 255}},
                                  {80, Rgba{0, 255, 0, 128}},
                                  {120, Rgba{0, 255, 255, 40}},
                                  {170, Rgba{0, 0, 255, 200}},
                                  {255, Rgba{255, 0, 255, 255}}});
    rainbow.gradient.interpolation = Interpolation::LinearRgb;
    still.Place(still.Square(rainbow), Cell(3, 0));
    FillStyle focal = Gradient(kFillFocal, Span(80 * kPx, mid, mid),
                               {{0, Rgba{255, 255, 255, 255}},
                                {90, Rgba{0x40, 0xa0, 0xff, 255}},
                                {255, Rgba{0x10, 0x20, 0x50, 255}}});
    focal.gradient.focal = -0.7;
    still.Place(
        still.Filled(focal, [&](ShapeBuilder& b) { fw::sample::Circle(b, mid, mid, 40 * kPx); }),
        Cell(3, 1));

    // Strokes: widths, caps and joins (a sharp miter cut at its limit), see-through over a
    // fill, and hairlines.
    LineStyle miter = Pen(12 * kPx, Rgba{0x20, 0x50, 0x20, 255});
    miter.startCap = miter.endCap = Cap::None;
    miter.join = Join::Miter;
    miter.miterLimit = 2;
    still.Place(Stroked(still, miter), Cell(0, 2));
    LineStyle bevel = Pen(10 * kPx, Rgba{0x70, 0x20, 0x80, 255});
    bevel.startCap = Cap::Square;
    bevel.endCap = Cap::Round;
    bevel.join = Join::Bevel;
    still.Place(Stroked(still, bevel), Cell(1, 2));
    LineStyle glass = Pen(16 * kPx, Rgba{0x00, 0x60, 0xff, 120});
    still.Place(Stroked(still, glass, Rgba{0xff, 0xa0, 0x00, 255}), Cell(2, 2));
    {
        ShapeBuilder b(still.NextId(), 83);
        b.Style(0, 0, b.Line(0, Rgba{0, 0, 0, 255}));
        for (int i = 0; i < 5; ++i) {
            b.MoveTo((12 + i * 4) * kPx, 12 * kPx).LineTo((88 - i * 10) * kPx, (30 + i * 14) * kPx);
        }
        b.Style(0, 0, b.Line(1 * kPx, Rgba{0xc0, 0, 0, 255}));
        b.MoveTo(12 * kPx, 88 * kPx).CurveTo(50 * kPx, 20 * kPx, 88 * kPx, 88 * kPx);
        Shape s = b.Build();
        still.Movie().DefineShape(s);
        still.Place(s.id, Cell(3, 2));
    }

    // A circle masks stripes below.
    {
        std::uint16_t mask = still.Filled(
            FillStyle{}, [&](ShapeBuilder& b) { fw::sample::Circle(b, mid, mid, 36 * kPx); });
        std::uint16_t stripes = still.Square(Gradient(kFillLinear, Span(12 * kPx, mid, mid, 0.8),
                                                      {{0, Rgba{0x10, 0x10, 0x10, 255}},
                                                       {127, Rgba{0x10, 0x10, 0x10, 255}},
                                                       {128, Rgba{0xf0, 0xd0, 0x20, 255}},
                                                       {255, Rgba{0xf0, 0xd0, 0x20, 255}}},
                                                      Spread::Repeat));
        still.Place(mask, Cell(0, 3), static_cast<std::uint16_t>(still.Depth() + 1));
        still.Place(stripes, Cell(0, 3));
    }

    // A square with a border on its way to a rounder, turned one, shown 40 % along.
    {
        MorphShape m;
        m.id = still.NextId();
        m.tag = 46;
        m.startBounds = Bounds{15 * kPx, 85 * kPx, 15 * kPx, 85 * kPx};
        m.endBounds = Bounds{5 * kPx, 95 * kPx, 5 * kPx, 95 * kPx};
        FillStyle from, to;
        from.colour = Rgba{0xd0, 0x20, 0x20, 255};
        to.colour = Rgba{0x20, 0x40, 0xd0, 160};
        m.startFills = {from};
        m.endFills = {to};
        m.startLines = {Pen(2 * kPx, Rgba{0, 0, 0, 255})};
        m.endLines = {Pen(8 * kPx, Rgba{0x20, 0xa0, 0x20, 255})};
        const Point square[] = {{20, 20}, {80, 20}, {80, 80}, {20, 80}};
        const Point diamond[] = {{50, 8}, {92, 50}, {50, 92}, {8, 50}};
        for (int i = 0; i < 4; ++i) {
            const Point& a = square[i];
            const Point& b = square[(i + 1) % 4];
            m.startEdges.push_back(
                Edge{{a.x * kPx, a.y * kPx}, {b.x * kPx, b.y * kPx}, std::nullopt, 0, 1, 1});
            const Point& c = diamond[i];
            const Point& d = diamond[(i + 1) % 4];
            Point control{(c.x + d.x) / 2 + (c.x + d.x - 100) * 0.3,
                          (c.y + d.y) / 2 + (c.y + d.y - 100) * 0.3};
            m.endEdges.push_back(Edge{{c.x * kPx, c.y * kPx},
                                      {d.x * kPx, d.y * kPx},
                                      Point{control.x * kPx, control.y * kPx}});
        }
        still.Movie().DefineMorphShape(m);
        still.Place(m.id, Cell(1, 3), std::nullopt, static_cast<std::uint16_t>(65535 * 2 / 5));
    }

    // See-through circles over each other, one of them through a colour transform.
    {
        const Rgba colours[] = {{255, 0, 0, 140}, {0, 200, 0, 140}, {0, 0, 255, 140}};
        const Point centres[] = {{38, 38}, {62, 38}, {50, 60}};
        for (int i = 0; i < 3; ++i) {
            FillStyle f;
            f.colour = colours[i];
            std::uint16_t c = still.Filled(f, [&](ShapeBuilder& b) {
                fw::sample::Circle(b, centres[i].x * kPx, centres[i].y * kPx, 26 * kPx);
            });
            std::optional<ColorTransform> ct;
            if (i == 2) {
                ct = ColorTransform{};
                ct->mult[0] = 128;
                ct->mult[3] = 200;
                ct->add[0] = 100;
            }
            still.Place(c, Cell(2, 3), std::nullopt, std::nullopt, ct);
        }
    }

    // A five-pointed star drawn in one stroke: its middle is filled by the non-zero rule.
    {
        ShapeBuilder b(still.NextId(), 83);
        b.Style(0, b.Fill(Rgba{0x30, 0x30, 0x90, 255}), 0);
        for (int i = 0; i <= 5; ++i) {
            double angle = -std::numbers::pi / 2 + i * 4 * std::numbers::pi / 5;
            double x = (50 + 40 * std::cos(angle)) * kPx, y = (52 + 40 * std::sin(angle)) * kPx;
            i == 0 ? b.MoveTo(x, y) : b.LineTo(x, y);
        }
        Shape s = b.Build();
        s.nonZero = true;
        still.Movie().DefineShape(s);
        still.Place(s.id, Cell(3, 3));
    }
    return still.Finish();
}

void Append(std::vector<std::uint8_t>& out, std::initializer_list<std::uint32_t> values,
            int bytes) {
    for (std::uint32_t v : values) {
        for (int i = 0; i < bytes; ++i) {
            out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
        }
    }
}

void AppendBytes(std::vector<std::uint8_t>& out, std::span<const std::uint8_t> bytes) {
    out.insert(out.end(), bytes.begin(), bytes.end());
}

// A soft landscape of rgb pixels, the kind of picture JPEG is for.
std::vector<std::uint8_t> Landscape(int w, int h) {
    std::vector<std::uint8_t> rgb;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            double hill = h * 0.6 + std::sin(x * 0.09) * h * 0.12;
            bool sky = y < hill;
            double t = static_cast<double>(y) / h;
            rgb.push_back(
                static_cast<std::uint8_t>(sky ? 90 + 100 * t : 40 + 30 * std::sin(x * 0.3)));
            rgb.push_back(static_cast<std::uint8_t>(sky ? 150 + 80 * t : 120 + 40 * t));
            rgb.push_back(static_cast<std::uint8_t>(sky ? 240 : 40));
        }
    }
    return rgb;
}

std::vector<std::uint8_t> Jpeg(int w, int h, const std::vector<std::uint8_t>& rgb) {
    std::vector<std::uint8_t> out;
    auto sink = [](void* context, void* data, int size) {
        auto* bytes = static_cast<std::uint8_t*>(data);
        static_cast<std::vector<std::uint8_t>*>(context)->insert(
            static_cast<std::vector<std::uint8_t>*>(context)->end(), bytes, bytes + size);
    };
    stbi_write_jpg_to_func(sink, &out, w, h, 3, rgb.data(), 90);
    return out;
}

// A shape of a rectangle w x h pixels at (x, y) of a cell filled with the bitmap, drawn at
// scale from its top left corner, turned by angle.
std::uint16_t Picture(Still& still, std::uint8_t type, std::uint16_t bitmap, double x, double y,
                      double w, double h, double scale, double angle = 0) {
    Matrix m{scale * kPx * std::cos(angle),
             scale * kPx * std::sin(angle),
             -scale * kPx * std::sin(angle),
             scale * kPx * std::cos(angle),
             x * kPx,
             y * kPx};
    return still.Filled(BitmapFill(type, bitmap, m),
                        [&](ShapeBuilder& b) { b.Rect(x * kPx, y * kPx, w * kPx, h * kPx); });
}

// A one-line edit text of size pixels at (x, y) in the font, drawn with its glyphs when embedded.
void EditLine(Still& still, std::uint16_t fontId, bool embedded, const std::string& text, double x,
              double y, double size, Rgba colour) {
    EditText t =
        fw::sample::Caption(still.NextId(), fontId, text, 400 - x, size * 1.5, size, colour);
    t.embedFonts = embedded;
    still.Movie().DefineEditText(t);
    still.Place(t.id, At(x * kPx, y * kPx));
}

// Bitmaps of every storage kind, filled clipped and repeating, smoothed and not, and text in
// embedded glyphs, static and edit text.
std::vector<std::uint8_t> Pictures(const std::string& fontPath) {
    Still still(400, 300, Rgb{0xfa, 0xf8, 0xf0});
    MovieWriter& movie = still.Movie();

    const int side = 24;
    std::uint16_t smiley = still.NextId();
    movie.DefineBitsLossless2(smiley, side, side, fw::sample::SmileyPixels(side));
    still.Place(Picture(still, kFillClippedBitmap, smiley, 14, 14, 72, 72, 3), Cell(0, 0));
    still.Place(Picture(still, kFillClippedBitmapHard, smiley, 14, 14, 72, 72, 3), Cell(1, 0));
    still.Place(Picture(still, kFillRepeatingBitmap, smiley, 10, 10, 80, 80, 1.3, 0.5), Cell(2, 0));
    still.Place(Picture(still, kFillRepeatingBitmapHard, smiley, 10, 10, 80, 80, 1.7, -0.3),
                Cell(3, 0));

    // 24-bit pixels without alpha, and 8-bit ones through a palette (rows padded to 4 bytes).
    {
        const int w = 16, h = 16;
        std::vector<std::uint8_t> xrgb, indices;
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                bool dark = ((x / 4) + (y / 4)) % 2;
                Append(xrgb,
                       {0, dark ? 0x30u : 0xf0u, static_cast<std::uint32_t>(x * 16),
                        static_cast<std::uint32_t>(y * 16)},
                       1);
                indices.push_back(static_cast<std::uint8_t>((x / 3 + y / 5) % 5));
            }
            indices.resize(indices.size() + (-w & 3));
        }
        std::uint16_t opaque = still.NextId();
        std::vector<std::uint8_t> body;
        Append(body, {opaque}, 2);
        Append(body, {5}, 1);
        Append(body, {w, h}, 2);
        AppendBytes(body, ZlibStore(xrgb));
        movie.Tag(20, body, true);
        still.Place(Picture(still, kFillClippedBitmapHard, opaque, 10, 10, 80, 80, 5), Cell(0, 1));

        std::vector<std::uint8_t> palette = {0xff, 0xff, 0xff, 0xe0, 0x30, 0x30, 0x30, 0xa0,
                                             0x30, 0x30, 0x50, 0xe0, 0x20, 0x20, 0x20};
        std::vector<std::uint8_t> data = palette;
        AppendBytes(data, indices);
        std::uint16_t mapped = still.NextId();
        body.clear();
        Append(body, {mapped}, 2);
        Append(body, {3}, 1);
        Append(body, {w, h}, 2);
        Append(body, {4}, 1); // five colours
        AppendBytes(body, ZlibStore(data));
        movie.Tag(20, body, true);
        still.Place(Picture(still, kFillClippedBitmapHard, mapped, 10, 10, 80, 80, 5), Cell(1, 1));
    }

    // A JPEG on its own, and one with an alpha channel (a soft round window).
    {
        const int w = 80, h = 80;
        std::vector<std::uint8_t> jpeg = Jpeg(w, h, Landscape(w, h));
        std::uint16_t photo = still.NextId();
        std::vector<std::uint8_t> body;
        Append(body, {photo}, 2);
        AppendBytes(body, jpeg);
        movie.Tag(21, body, true);
        still.Place(Picture(still, kFillClippedBitmap, photo, 10, 10, 80, 80, 1), Cell(2, 1));

        std::vector<std::uint8_t> alpha;
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                double r = std::hypot(x - w / 2.0, y - h / 2.0) / (w / 2.0);
                alpha.push_back(static_cast<std::uint8_t>(std::clamp(1.3 - r, 0.0, 1.0) * 255));
            }
        }
        std::uint16_t window = still.NextId();
        body.clear();
        Append(body, {window}, 2);
        Append(body, {static_cast<std::uint32_t>(jpeg.size())}, 4);
        AppendBytes(body, jpeg);
        AppendBytes(body, ZlibStore(alpha));
        movie.Tag(35, body, true);
        still.Place(Picture(still, kFillClippedBitmap, window, 10, 10, 80, 80, 1), Cell(3, 1));
    }

    // Text: a static line and an edit text in embedded glyphs.
    fw::sample::GlyphCutter cutter(fontPath);
    Font font;
    font.id = still.NextId();
    font.name = "DejaVu Sans";
    font.bold = true;
    const std::string fixed = "Static glyphs", edited = "Edit text in glyphs";
    // A font lists its characters in ascending order; the cutter adds them as it meets them.
    std::string all = fixed + edited;
    std::sort(all.begin(), all.end());
    all.erase(std::unique(all.begin(), all.end()), all.end());
    cutter.Line(font, 0, all, 10, Rgba{}, 0, 0); // only its glyphs are kept
    StaticText line =
        cutter.Line(font, still.NextId(), fixed, 20, Rgba{0x20, 0x30, 0x80, 255}, 100, 228);
    movie.DefineFont(font);
    movie.DefineText2(line);
    still.Place(line.id, At(0, 0));

    EditLine(still, font.id, true, edited, 205, 218, 18, Rgba{0x80, 0x20, 0x20, 255});
    return still.Finish();
}

// Edit texts in the device fonts, plain and bold, at a few sizes.
std::vector<std::uint8_t> DeviceText() {
    Still still(400, 200, Rgb{0xff, 0xff, 0xff});
    struct Face {
        const char* name;
        bool bold;
    };
    const Face faces[] = {
        {"_sans", false}, {"_sans", true}, {"_serif", false}, {"_typewriter", false}};
    double y = 6;
    for (const Face& face : faces) {
        Font device;
        device.id = still.NextId();
        device.name = face.name;
        device.bold = face.bold;
        still.Movie().DefineFont(device);
        for (double size : {12.0, 20.0}) {
            EditLine(still, device.id, false, "Device text, quick brown fox", 8, y, size,
                     Rgba{0x10, 0x20, 0x40, 255});
            y += size * 1.2;
        }
    }
    return still.Finish();
}

bool Save(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) {
        std::perror(path.c_str());
        return false;
    }
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    ok = std::fclose(f) == 0 && ok;
    if (!ok) {
        std::fprintf(stderr, "%s: write failed\n", path.c_str());
        std::remove(path.c_str());
    }
    return ok;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2 && argc != 3) {
        std::fprintf(stderr, "usage: make_stills <output folder> [font file]\n");
        return 2;
    }
    const std::string folder = argv[1];
    try {
        bool ok = Save(folder + "/shapes.swf", Shapes());
        ok = Save(folder + "/pictures.swf", Pictures(argc == 3 ? argv[2] : kDefaultFont)) && ok;
        ok = Save(folder + "/device_text.swf", DeviceText()) && ok;
        return ok ? 0 : 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "make_stills: %s\n", e.what());
        return 1;
    }
}
