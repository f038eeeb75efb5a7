#include "draw_text.h"

#include "geometry.h"
#include "render/device_fonts.h"
#include "render/raster.h"
#include "text_field.h"

#include <algorithm>
#include <cmath>

namespace fw::display {
namespace {

bool Finite(const swf::Matrix& m) {
    return std::isfinite(m.a) && std::isfinite(m.b) && std::isfinite(m.c) && std::isfinite(m.d) &&
           std::isfinite(m.tx) && std::isfinite(m.ty);
}

// A glyph of the movie's font carried by m into the path. The edges are turned so that the
// fill always lies on the same side, then filled NonZero: contours that overlap add up rather
// than cut holes into each other.
void AddGlyph(const std::vector<swf::Edge>& edges, const swf::Matrix& m, render::Path& out) {
    for (const auto& e : edges) {
        bool left = e.fill0 != 0, right = e.fill1 != 0;
        if (left == right) {
            continue; // inside or outside on both sides: no boundary
        }
        swf::Point from = m.Apply(e.from), to = m.Apply(e.to);
        if (left) {
            std::swap(from, to);
        }
        if (e.control) {
            out.Quad(from, m.Apply(*e.control), to);
        } else {
            out.Line(from, to);
        }
    }
}

void AddOutline(const render::Path& glyph, const swf::Matrix& m, render::Path& out) {
    for (const auto& s : glyph.segments) {
        if (s.control) {
            out.Quad(m.Apply(s.from), m.Apply(*s.control), m.Apply(s.to));
        } else {
            out.Line(m.Apply(s.from), m.Apply(s.to));
        }
    }
}

void AddRect(double x0, double y0, double x1, double y1, const swf::Matrix& m, render::Path& out) {
    swf::Point p[4] = {m.Apply({x0, y0}), m.Apply({x1, y0}), m.Apply({x1, y1}), m.Apply({x0, y1})};
    for (int i = 0; i < 4; ++i) {
        out.Line(p[i], p[(i + 1) % 4]);
    }
}

void Fill(render::Picture& target, const render::Path& path, render::FillRule rule,
          swf::Rgba colour, const swf::ColorTransform& cx, const render::Mask* clip) {
    if (path.empty()) {
        return;
    }
    render::SolidPaint paint(render::Premultiplied(cx.Apply(colour)));
    render::FillPath(target, path, rule, paint, clip);
}

swf::Rgba FromRgb(std::uint32_t rgb) {
    return {static_cast<std::uint8_t>(rgb >> 16), static_cast<std::uint8_t>(rgb >> 8),
            static_cast<std::uint8_t>(rgb), 255};
}

int GlyphIndex(const swf::Font& font, char16_t c) {
    // Not every tool lists characters in order, so no binary search.
    auto it = std::find(font.codes.begin(), font.codes.end(), c);
    return it == font.codes.end() ? -1 : static_cast<int>(it - font.codes.begin());
}

// Where each pixel's four samples lie, from its top left corner: the usual four-sample
// pattern, one sample in each quarter of the pixel's height and each quarter of its width.
// Sample row r of a pixel row lies (2r + 1) / 8 down it, its sample this far across.
constexpr double kSampleX[4] = {0.375, 0.875, 0.125, 0.625};

struct Crossing {
    int row; // sample row: four a pixel row
    float x;
    int winding;
};

// A line of text crosses each sample row many times over, and its rows come in no order: the
// crossings are dealt out to their rows, and only each row's few are sorted.
void SortByRow(std::vector<Crossing>& crossings, std::vector<Crossing>& sorted,
               std::vector<std::size_t>& starts) {
    sorted.resize(crossings.size());
    if (crossings.empty()) {
        return;
    }
    auto [low, high] =
        std::minmax_element(crossings.begin(), crossings.end(),
                            [](const Crossing& a, const Crossing& b) { return a.row < b.row; });
    int first = low->row;
    starts.assign(static_cast<std::size_t>(high->row - first) + 2, 0);
    for (const Crossing& c : crossings) {
        ++starts[static_cast<std::size_t>(c.row - first) + 1];
    }
    for (std::size_t i = 1; i < starts.size(); ++i) {
        starts[i] += starts[i - 1];
    }
    // Dealing a crossing moves its row's start on: afterwards each start is where its row ends.
    for (const Crossing& c : crossings) {
        sorted[starts[static_cast<std::size_t>(c.row - first)]++] = c;
    }
    std::size_t begin = 0;
    for (std::size_t i = 0; i + 1 < starts.size(); ++i) {
        std::sort(sorted.begin() + static_cast<std::ptrdiff_t>(begin),
                  sorted.begin() + static_cast<std::ptrdiff_t>(starts[i]),
                  [](const Crossing& a, const Crossing& b) { return a.x < b.x; });
        begin = starts[i];
    }
}

void AddCrossings(swf::Point a, swf::Point b, int rows, std::vector<Crossing>& out) {
    if (a.y == b.y || !std::isfinite(a.x) || !std::isfinite(a.y) || !std::isfinite(b.x) ||
        !std::isfinite(b.y)) {
        return;
    }
    int winding = a.y < b.y ? 1 : -1;
    if (a.y > b.y) {
        std::swap(a, b);
    }
    // Sample row r lies at (2r + 1) / 8; an edge holds the rows from its top up to, not
    // including, its bottom, so joined edges count a row once.
    double first = std::max(std::ceil(a.y * 4 - 0.5), 0.0);
    double end = std::min(std::ceil(b.y * 4 - 0.5), static_cast<double>(rows));
    double slope = (b.x - a.x) / (b.y - a.y);
    for (double r = first; r < end; ++r) {
        double y = (2 * r + 1) / 8;
        out.push_back({static_cast<int>(r), static_cast<float>(a.x + (y - a.y) * slope), winding});
    }
}

// Device glyphs are covered as the reference draws them: by four point samples a pixel, so
// an edge pixel takes one of five levels rather than the share of its area inside.
void SampledCover(const render::Path& path, const render::Mask* clip, render::Mask& cover, int& top,
                  int& bottom, int& left, int& right) {
    // Kept between runs: a paragraph of device text makes tens of thousands of crossings.
    thread_local std::vector<Crossing> found, crossings;
    thread_local std::vector<std::size_t> starts;
    found.clear();
    int rows = cover.height * 4;
    for (const auto& s : path.segments) {
        if (!s.control) {
            AddCrossings(s.from, s.to, rows, found);
            continue;
        }
        // Pieces short enough to stray no more than a fiftieth of a pixel from the curve.
        swf::Point p0 = s.from, c = *s.control, p2 = s.to;
        double bend = std::hypot(p0.x - 2 * c.x + p2.x, p0.y - 2 * c.y + p2.y);
        int n = std::isfinite(bend)
                    ? std::clamp(static_cast<int>(std::ceil(std::sqrt(bend * 12.5))), 1, 64)
                    : 1;
        swf::Point prev = p0;
        for (int i = 1; i <= n; ++i) {
            double t = static_cast<double>(i) / n, u = 1 - t;
            swf::Point next{u * u * p0.x + 2 * u * t * c.x + t * t * p2.x,
                            u * u * p0.y + 2 * u * t * c.y + t * t * p2.y};
            AddCrossings(prev, next, rows, found);
            prev = next;
        }
    }
    SortByRow(found, crossings, starts);
    top = cover.height, bottom = 0, left = cover.width, right = 0;
    for (std::size_t i = 0; i < crossings.size();) {
        int row = crossings[i].row, y = row / 4;
        double at = kSampleX[row % 4];
        int winding = 0;
        for (; i < crossings.size() && crossings[i].row == row; ++i) {
            winding += crossings[i].winding;
            if (winding == 0 || i + 1 >= crossings.size() || crossings[i + 1].row != row) {
                continue;
            }
            // The samples of this row between this crossing and the next are inside.
            double w = cover.width;
            int x0 = static_cast<int>(std::clamp(std::ceil(crossings[i].x - at), 0.0, w));
            int x1 = static_cast<int>(std::clamp(std::ceil(crossings[i + 1].x - at), 0.0, w));
            std::uint8_t* out = cover.cover.data() + static_cast<std::size_t>(y) * cover.width;
            for (int x = x0; x < x1; ++x) {
                ++out[x];
            }
            if (x0 < x1) {
                top = std::min(top, y), bottom = std::max(bottom, y + 1);
                left = std::min(left, x0), right = std::max(right, x1);
            }
        }
    }
    bool clipped = clip && clip->cover.size() == cover.cover.size();
    for (int y = top; y < bottom; ++y) {
        std::size_t at = static_cast<std::size_t>(y) * cover.width;
        for (int x = left; x < right; ++x) {
            int c = cover.cover[at + x] * 255 / 4;
            int by = clipped ? clip->cover[at + x] : 255;
            cover.cover[at + x] = static_cast<std::uint8_t>((c * by + 127) / 255);
        }
    }
}

// Collects the glyphs of a run of one colour and fills them at once: those of the movie's
// fonts by the share of each pixel they cover, device glyphs by samples.
class GlyphRun {
public:
    GlyphRun(render::Picture& target, const swf::ColorTransform& cx, const render::Mask* clip)
        : target_(target), cx_(cx), clip_(clip) {}
    ~GlyphRun() { Flush(); }
    render::Path& For(swf::Rgba colour) {
        Colour(colour);
        return path_;
    }
    render::Path& Sampled(swf::Rgba colour) {
        Colour(colour);
        return sampled_;
    }
    void Flush() {
        Fill(target_, path_, render::FillRule::NonZero, colour_, cx_, clip_);
        path_.segments.clear();
        if (sampled_.empty()) {
            return;
        }
        // As large as the picture, so one per thread is kept and cleared only where it was
        // used, as the fields' bounds are.
        thread_local render::Mask cover;
        if (cover.width != target_.width || cover.height != target_.height) {
            cover = {target_.width, target_.height, {}};
            cover.cover.assign(static_cast<std::size_t>(target_.width) * target_.height, 0);
        }
        int top, bottom, left, right;
        SampledCover(sampled_, clip_, cover, top, bottom, left, right);
        sampled_.segments.clear();
        if (top >= bottom) {
            return;
        }
        render::Path rect;
        AddRect(left, top, right, bottom, swf::Matrix{}, rect);
        Fill(target_, rect, render::FillRule::NonZero, colour_, cx_, &cover);
        for (int y = top; y < bottom; ++y) {
            auto row = cover.cover.begin() + static_cast<std::ptrdiff_t>(y) * cover.width;
            std::fill(row + left, row + right, 0);
        }
    }

private:
    void Colour(swf::Rgba colour) {
        if (!(colour == colour_)) {
            Flush();
            colour_ = colour;
        }
    }
    render::Picture& target_;
    const swf::ColorTransform& cx_;
    const render::Mask* clip_;
    swf::Rgba colour_;
    render::Path path_, sampled_;
};

// A field shows nothing outside its bounds: their cover, narrowed by the clip from outside.
// The cover is as large as the picture, and a frame draws every field: making and clearing one
// each time costs more than the text (far more where allocating it is slow), so one per thread
// is kept clear and only the box a field covered is cleared after it.
class BoundsMask {
public:
    BoundsMask(const render::Picture& target, const swf::Bounds& b, const swf::Matrix& toPixels,
               const render::Mask* clip)
        : mask_(Kept()) {
        if (mask_.width != target.width || mask_.height != target.height) {
            mask_.width = target.width;
            mask_.height = target.height;
            mask_.cover.assign(static_cast<std::size_t>(target.width) * target.height, 0);
        }
        render::Path rect;
        AddRect(b.xMin, b.yMin, b.xMax, b.yMax, toPixels, rect);
        double x0 = rect.segments[0].from.x, x1 = x0, y0 = rect.segments[0].from.y, y1 = y0;
        for (const auto& s : rect.segments) {
            x0 = std::min(x0, s.from.x), x1 = std::max(x1, s.from.x);
            y0 = std::min(y0, s.from.y), y1 = std::max(y1, s.from.y);
        }
        // Anti-aliasing reaches into the pixel on either side of the box.
        auto clamp = [](double v, int hi) {
            return static_cast<int>(std::clamp(v, 0.0, static_cast<double>(hi)));
        };
        left_ = clamp(std::floor(x0) - 1, mask_.width),
        right_ = clamp(std::ceil(x1) + 1, mask_.width);
        top_ = clamp(std::floor(y0) - 1, mask_.height),
        bottom_ = clamp(std::ceil(y1) + 1, mask_.height);
        render::CoverPath(mask_, rect, render::FillRule::NonZero);
        if (clip && clip->cover.size() == mask_.cover.size()) {
            EachInBox([&](std::size_t i) {
                mask_.cover[i] =
                    static_cast<std::uint8_t>((mask_.cover[i] * clip->cover[i] + 127) / 255);
            });
        }
    }
    ~BoundsMask() {
        EachRow([&](std::size_t row) {
            std::fill_n(mask_.cover.begin() + row + left_, right_ - left_, std::uint8_t{0});
        });
    }
    BoundsMask(const BoundsMask&) = delete;
    BoundsMask& operator=(const BoundsMask&) = delete;
    const render::Mask* get() const { return &mask_; }

private:
    static render::Mask& Kept() {
        thread_local render::Mask mask;
        return mask;
    }
    template <typename F> void EachRow(F&& f) const {
        for (int y = top_; y < bottom_; ++y) {
            f(static_cast<std::size_t>(y) * mask_.width);
        }
    }
    template <typename F> void EachInBox(F&& f) const {
        EachRow([&](std::size_t row) {
            for (int x = left_; x < right_; ++x) {
                f(row + x);
            }
        });
    }

    render::Mask& mask_;
    int left_ = 0, right_ = 0, top_ = 0, bottom_ = 0;
};

} // namespace

void DrawTextField(const TextField& field, const swf::Movie& movie, const swf::Matrix& toPixels,
                   const swf::ColorTransform& cx, render::Picture& target,
                   const render::Mask* clip) {
    if (!Finite(toPixels) || target.width <= 0 || target.height <= 0) {
        return;
    }
    swf::Bounds b = field.bounds;
    if (!std::isfinite(b.xMin) || !std::isfinite(b.xMax) || !std::isfinite(b.yMin) ||
        !std::isfinite(b.yMax)) {
        return;
    }
    // A field given a negative size spans the same rectangle the other way round.
    if (b.xMin > b.xMax) {
        std::swap(b.xMin, b.xMax);
    }
    if (b.yMin > b.yMax) {
        std::swap(b.yMin, b.yMax);
    }
    if (field.background) {
        render::Path rect;
        AddRect(b.xMin, b.yMin, b.xMax, b.yMax, toPixels, rect);
        Fill(target, rect, render::FillRule::NonZero, FromRgb(field.backgroundColor), cx, clip);
    }
    if (field.border) {
        // One pixel wide however the field is scaled: the inset in the field's twips.
        double px = std::hypot(toPixels.a, toPixels.b), py = std::hypot(toPixels.c, toPixels.d);
        double ix = px > 0 ? std::min(1 / px, (b.xMax - b.xMin) / 2) : 0;
        double iy = py > 0 ? std::min(1 / py, (b.yMax - b.yMin) / 2) : 0;
        render::Path ring;
        AddRect(b.xMin, b.yMin, b.xMax, b.yMax, toPixels, ring);
        AddRect(b.xMin + ix, b.yMin + iy, b.xMax - ix, b.yMax - iy, toPixels, ring);
        Fill(target, ring, render::FillRule::EvenOdd, FromRgb(field.borderColor), cx, clip);
    }
    const auto& chars = field.chars();
    const auto& formats = field.formats();
    if (chars.empty() || formats.size() < chars.size()) {
        return;
    }
    BoundsMask mask(target, b, toPixels, clip);
    const render::DeviceFonts* device = render::CurrentDeviceFonts();
    const auto& lines = field.Lines();
    double width = (b.xMax - b.xMin) / 20, height = (b.yMax - b.yMin) / 20;
    GlyphRun run(target, cx, mask.get());
    double y = 2; // the gutter around the text, in pixels
    const CharFormat* lastFormat = nullptr;
    const swf::Font* font = nullptr;
    render::GlyphOutline outline;
    auto glyph = [&](const CharFormat& f, const swf::Font* font, char16_t c, double ox, double oy) {
        swf::Rgba colour = FromRgb(f.color);
        if (font) {
            int index = GlyphIndex(*font, c);
            if (index >= 0 && static_cast<std::size_t>(index) < font->glyphs.size()) {
                double s = f.size * 20 / font->emSquare;
                swf::Matrix m{s, 0, 0, s, ox, oy};
                AddGlyph(font->glyphs[index], m.Then(toPixels), run.For(colour));
            }
        } else if (!field.embedFonts && device &&
                   device->Glyph(render::FaceOf(f.font), f.bold, f.italic, c, outline)) {
            double s = f.size * 20;
            swf::Matrix m{s, 0, 0, s, ox, oy};
            AddOutline(outline.path, m.Then(toPixels), run.Sampled(colour));
        }
    };
    for (std::size_t li = static_cast<std::size_t>(std::max(field.scroll - 1, 0));
         li < lines.size() && y < height; ++li) {
        const auto& line = lines[li];
        double x = 2 + line.left - field.hscroll;
        double baseline = y + line.ascent;
        if (line.bullet) {
            const CharFormat& f = formats[line.start];
            double at =
                2 + f.leftMargin + f.blockIndent + f.indent + TextField::kBulletAt - field.hscroll;
            glyph(f, field.embedFonts ? EmbeddedFont(movie, f) : nullptr, u'\u2022',
                  b.xMin + at * 20, b.yMin + baseline * 20);
            lastFormat = nullptr;
        }
        for (std::size_t k = line.start; k < line.end && k < chars.size(); ++k) {
            const CharFormat& f = formats[k];
            double advance = field.AdvanceAt(k);
            char16_t c = field.password ? u'*' : chars[k];
            if (x > width || !std::isfinite(x)) {
                break;
            }
            if (&f != lastFormat) {
                lastFormat = &f;
                font = field.embedFonts ? EmbeddedFont(movie, f) : nullptr;
            }
            swf::Rgba colour = FromRgb(f.color);
            double ox = b.xMin + x * 20, oy = b.yMin + baseline * 20;
            if (c != u' ' && c != u'\t' && x + advance >= -f.size) {
                glyph(f, font, c, ox, oy);
            }
            if (f.underline) {
                double thick = std::max(1.0, f.size / 16);
                AddRect(ox, oy + 20, ox + advance * 20, oy + 20 * (1 + thick), toPixels,
                        run.For(colour));
            }
            x += advance;
        }
        y += line.ascent + line.descent + line.leading;
    }
}

namespace {

// Calls f(edges, matrix) for each glyph of a static text where it stands in the text's own
// space.
template <typename F> void EachGlyph(const swf::StaticText& text, const swf::Movie& movie, F&& f) {
    for (const auto& record : text.records) {
        auto it = movie.fonts.find(record.fontId);
        if (it == movie.fonts.end() || it->second.emSquare <= 0) {
            continue;
        }
        const swf::Font& font = it->second;
        double s = record.height / font.emSquare;
        double x = record.x;
        for (const auto& g : record.glyphs) {
            if (g.index < font.glyphs.size()) {
                f(record, font.glyphs[g.index], swf::Matrix{s, 0, 0, s, x, record.y});
            }
            x += g.advance;
        }
    }
}

} // namespace

void DrawStaticText(const swf::StaticText& text, const swf::Movie& movie,
                    const swf::Matrix& toPixels, const swf::ColorTransform& cx,
                    render::Picture& target, const render::Mask* clip) {
    swf::Matrix space = text.matrix.Then(toPixels);
    if (!Finite(space) || target.width <= 0 || target.height <= 0) {
        return;
    }
    GlyphRun run(target, cx, clip);
    EachGlyph(text, movie, [&](const swf::TextRecord& record, const auto& edges, swf::Matrix m) {
        AddGlyph(edges, m.Then(space), run.For(record.colour));
    });
}

bool HitStaticText(const swf::Movie& movie, std::uint16_t id, swf::Point local) {
    auto found = movie.texts.find(id);
    if (found == movie.texts.end()) {
        return false;
    }
    const swf::StaticText& text = found->second;
    auto inverse = text.matrix.Inverse();
    if (!inverse) {
        return false;
    }
    swf::Point p = inverse->Apply(local);
    const swf::Bounds& b = text.bounds;
    if (p.x < b.xMin || p.x > b.xMax || p.y < b.yMin || p.y > b.yMax) {
        return false;
    }
    bool hit = false;
    swf::Shape glyph;
    EachGlyph(text, movie, [&](const swf::TextRecord& record, const auto& edges, swf::Matrix m) {
        // Only a glyph whose em square can hold the point is worth its outline.
        double h = record.height;
        if (hit || p.x < m.tx - h || p.x > m.tx + 2 * h || p.y < m.ty - 2 * h || p.y > m.ty + h) {
            return;
        }
        auto back = m.Inverse();
        if (!back) {
            return;
        }
        glyph.edges = edges;
        hit = HitShapeEdges(glyph, back->Apply(p));
    });
    return hit;
}

} // namespace fw::display
