#include "raster.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <utility>
#include <vector>

#if (defined(__SSE2__) || defined(_M_X64)) && !defined(FW_RASTER_SCALAR)
#define FW_RASTER_SSE2 1
#include <emmintrin.h>
#endif

// Scan conversion by signed area. Edges are clipped and rounded to 1/256 pixel once, then
// every sum is integer, so a path gives the same pixels on every machine. Each edge adds, per
// pixel cell it crosses, its height times the part of the cell to its right; a running sum
// along the row then gives each pixel its exact covered area (winding included), to which the
// fill rule is applied.

namespace fw::render {
namespace {

constexpr int kShift = 8;
constexpr int kOne = 1 << kShift;
// A whole pixel in the accumulated sums: height (kOne) times twice the width (2 * kOne).
constexpr int kFull = kOne * kOne * 2;
// Curves are split until their middle strays less than this from the chord, in pixels.
constexpr double kTolerance = 1.0 / 8;
// Coordinates beyond this many pixels are pulled in before any arithmetic, so that no
// difference or product overflows; nothing that far away can change a visible pixel.
constexpr double kFar = 1e12;
// Work one path may cost (rows plus cells its edges cross, and flattened pieces); beyond it
// the rest of a hostile path is dropped rather than stalling the frame.
constexpr std::int64_t kWorkCap = std::int64_t{1} << 24;
constexpr std::size_t kLineCap = std::size_t{1} << 22;
// Cells held at once; taller targets are swept in bands.
constexpr std::int64_t kBandCells = std::int64_t{1} << 20;

struct FixedLine {
    std::int32_t x0, y0, x1, y1;
};

template <class T> T FloorDiv(T a, T b) {
    T q = a / b;
    return (a % b != 0 && ((a < 0) != (b < 0))) ? q - 1 : q;
}

// Steps through floor((start + k * step) / den) for k = 0, 1, ... without dividing again.
// Across a row the numbers stay within 32 bits, which divide faster.
template <class T> struct Stepper {
    T value, rem, lift, liftRem, den;
    Stepper(T start, T step, T d) : den(d) {
        value = FloorDiv(start, den);
        rem = start - value * den;
        lift = FloorDiv(step, den);
        liftRem = step - lift * den;
    }
    void Next() {
        value += lift;
        rem += liftRem;
        if (rem >= den) {
            rem -= den;
            ++value;
        }
    }
};

class Rasteriser {
public:
    // Room for one run's colours and clipped coverage, kept between paths.
    std::vector<Pixel> colours;
    std::vector<std::uint16_t> scaled;

    // Prepares for a target of the given size; then Add the path and Sweep.
    void Begin(int width, int height) {
        width_ = width;
        height_ = height;
        lines_.clear();
        work_ = 0;
        pastRight_ = false;
    }

    void Add(const Path& path) {
        for (const Segment& s : path.segments) {
            if (!Finite(s.from) || !Finite(s.to) || (s.control && !Finite(*s.control))) {
                continue;
            }
            swf::Point a = Near(s.from);
            swf::Point b = Near(s.to);
            if (s.control) {
                Curve(a, Near(*s.control), b, 0);
            } else {
                ClipLine(a, b);
            }
        }
    }

    // Calls emit(y, x0, x1, coverage) for each row's run of pixels, coverage 0..256 each.
    template <class Emit> void Sweep(FillRule rule, Emit&& emit) {
        if (lines_.empty()) {
            return;
        }
        int top = height_, bottom = 0, left = width_, right = 0;
        for (const FixedLine& l : lines_) {
            top = std::min(top, std::min(l.y0, l.y1) >> kShift);
            bottom = std::max(bottom, (std::max(l.y0, l.y1) + kOne - 1) >> kShift);
            left = std::min(left, std::min(l.x0, l.x1) >> kShift);
            right = std::max(right, std::max(l.x0, l.x1) >> kShift);
        }
        bottom = std::min(bottom, height_);
        // An edge dropped beyond the right side leaves its winding open to that side.
        right = pastRight_ ? width_ - 1 : std::min(right, width_ - 1);
        if (top >= bottom || left > right) {
            return;
        }
        left_ = left;
        stride_ = right - left + 3;
        int bandRows = static_cast<int>(std::clamp<std::int64_t>(kBandCells / stride_, 1, 1 << 20));
        if (cells_.size() < static_cast<std::size_t>(stride_) * std::min(bandRows, bottom - top)) {
            cells_.assign(static_cast<std::size_t>(stride_) * std::min(bandRows, bottom - top), 0);
        }
        cover_.resize(static_cast<std::size_t>(stride_));
        std::size_t rows = static_cast<std::size_t>(std::min(bandRows, bottom - top));
        if (touched_.size() < rows) {
            touched_.resize(rows, Touched{kUntouched, -1});
        }
        for (int bandTop = top; bandTop < bottom; bandTop += bandRows) {
            bandTop_ = bandTop;
            bandBottom_ = std::min(bottom, bandTop + bandRows);
            for (const FixedLine& l : lines_) {
                if (std::max(l.y0, l.y1) > bandTop_ * kOne &&
                    std::min(l.y0, l.y1) < bandBottom_ * kOne) {
                    Walk(l);
                }
            }
            for (int y = bandTop_; y < bandBottom_; ++y) {
                SweepRow(y, right, rule, emit);
            }
        }
    }

private:
    static bool Finite(swf::Point p) { return std::isfinite(p.x) && std::isfinite(p.y); }
    static swf::Point Near(swf::Point p) {
        return {std::clamp(p.x, -kFar, kFar), std::clamp(p.y, -kFar, kFar)};
    }

    bool Spend(std::int64_t cost) {
        work_ += cost;
        return work_ <= kWorkCap && lines_.size() < kLineCap;
    }

    void Curve(swf::Point a, swf::Point c, swf::Point b, int depth) {
        double minX = std::min({a.x, c.x, b.x}), maxX = std::max({a.x, c.x, b.x});
        double minY = std::min({a.y, c.y, b.y}), maxY = std::max({a.y, c.y, b.y});
        if (minY >= height_ || maxY <= 0) {
            return; // nothing of it can reach a pixel
        }
        if (minX >= width_) {
            pastRight_ = true;
            return;
        }
        if (maxX <= 0) {
            // Wholly to the left, a curve only adds the winding between its ends.
            ClipLine(a, b);
            return;
        }
        double dx = a.x - 2 * c.x + b.x, dy = a.y - 2 * c.y + b.y;
        double bend = std::sqrt(dx * dx + dy * dy) / 4; // how far the middle strays
        if (bend <= kTolerance || depth >= 24) {
            ClipLine(a, b);
            return;
        }
        int pieces = static_cast<int>(std::ceil(std::sqrt(bend / kTolerance)));
        if (pieces <= 64 && minX >= -1 && maxX <= width_ + 1 && minY >= -1 && maxY <= height_ + 1) {
            // Within the target: even steps along t keep every chord within the tolerance.
            if (!Spend(pieces)) {
                return;
            }
            swf::Point prev = a;
            for (int i = 1; i <= pieces; ++i) {
                double t = static_cast<double>(i) / pieces, u = 1 - t;
                swf::Point p = i == pieces
                                   ? b
                                   : swf::Point{u * u * a.x + 2 * u * t * c.x + t * t * b.x,
                                                u * u * a.y + 2 * u * t * c.y + t * t * b.y};
                ClipLine(prev, p);
                prev = p;
            }
            return;
        }
        // Large or partly outside: halve, so the parts that cannot show cost nothing.
        swf::Point ac{(a.x + c.x) / 2, (a.y + c.y) / 2}, cb{(c.x + b.x) / 2, (c.y + b.y) / 2};
        swf::Point mid{(ac.x + cb.x) / 2, (ac.y + cb.y) / 2};
        Curve(a, ac, mid, depth + 1);
        Curve(mid, cb, b, depth + 1);
    }

    // Keeps the part of the line within the target's rows; what lies left of the target
    // becomes a vertical line on its left edge (it covers every pixel to its right all the
    // same), what lies right of it is dropped.
    void ClipLine(swf::Point a, swf::Point b) {
        if (a.y == b.y) {
            return; // a horizontal edge changes no winding
        }
        double h = height_, w = width_;
        if ((a.y <= 0 && b.y <= 0) || (a.y >= h && b.y >= h)) {
            return;
        }
        if (a.x >= w && b.x >= w) {
            pastRight_ = true;
            return;
        }
        auto atY = [](swf::Point p, swf::Point q, double y) {
            return swf::Point{p.x + (q.x - p.x) * (y - p.y) / (q.y - p.y), y};
        };
        auto atX = [](swf::Point p, swf::Point q, double x) {
            return swf::Point{x, p.y + (q.y - p.y) * (x - p.x) / (q.x - p.x)};
        };
        swf::Point p = a, q = b;
        if (p.y < 0) {
            p = atY(a, b, 0);
        } else if (p.y > h) {
            p = atY(a, b, h);
        }
        if (q.y < 0) {
            q = atY(a, b, 0);
        } else if (q.y > h) {
            q = atY(a, b, h);
        }
        // Split where it crosses either side so each part lies wholly in, left or right.
        swf::Point cuts[4] = {p};
        int n = 1;
        for (double edge : {0.0, w}) {
            if ((p.x < edge) != (q.x < edge) && p.x != edge && q.x != edge) {
                cuts[n++] = atX(p, q, edge);
            }
        }
        if (n == 3 &&
            (cuts[1].x - p.x) * (cuts[1].x - p.x) > (cuts[2].x - p.x) * (cuts[2].x - p.x)) {
            std::swap(cuts[1], cuts[2]);
        }
        cuts[n++] = q;
        for (int i = 0; i + 1 < n; ++i) {
            swf::Point s = cuts[i], t = cuts[i + 1];
            double mx = (s.x + t.x) / 2;
            if (mx >= w) {
                pastRight_ = true;
                continue;
            }
            if (mx <= 0) {
                s.x = t.x = 0;
            }
            Push(s, t);
        }
    }

    void Push(swf::Point a, swf::Point b) {
        auto fix = [](double v, int limit) {
            return static_cast<std::int32_t>(
                std::clamp<double>(std::nearbyint(v * kOne), 0, double(limit) * kOne));
        };
        FixedLine l{fix(a.x, width_), fix(a.y, height_), fix(b.x, width_), fix(b.y, height_)};
        if (l.y0 == l.y1) {
            return;
        }
        std::int64_t cost = std::abs(l.y1 - l.y0) / kOne + std::abs(l.x1 - l.x0) / kOne + 2;
        if (!Spend(cost)) {
            return;
        }
        lines_.push_back(l);
    }

    // Adds one line's cells within the current band.
    void Walk(const FixedLine& line) {
        std::int64_t x0 = line.x0, y0 = line.y0, x1 = line.x1, y1 = line.y1;
        int dir = 1;
        if (y0 > y1) {
            std::swap(x0, x1);
            std::swap(y0, y1);
            dir = -1;
        }
        int firstRow = std::max<int>(static_cast<int>(y0 >> kShift), bandTop_);
        int lastRow = std::min<int>(static_cast<int>((y1 - 1) >> kShift), bandBottom_ - 1);
        if (firstRow > lastRow) {
            return;
        }
        std::int64_t dx = x1 - x0, dy = y1 - y0;
        if (dx == 0) {
            int cell = static_cast<int>(x0 >> kShift);
            int twiceFx = static_cast<int>(x0 & (kOne - 1)) * 2;
            for (int row = firstRow; row <= lastRow; ++row) {
                std::int64_t ya = std::max<std::int64_t>(y0, std::int64_t{row} << kShift);
                std::int64_t yb = std::min<std::int64_t>(y1, std::int64_t{row + 1} << kShift);
                Touch(row, cell, cell);
                AddCell(row, cell, static_cast<int>(yb - ya) * dir, twiceFx);
            }
            return;
        }
        // x where the line crosses each row's top edge, from the first row after its start.
        std::int64_t firstEdge = std::int64_t{firstRow + 1} << kShift;
        Stepper<std::int64_t> edgeX(x0 * dy + (firstEdge - y0) * dx, dx * kOne, dy);
        std::int64_t ya = std::max<std::int64_t>(y0, std::int64_t{firstRow} << kShift);
        std::int64_t xa = ya == y0 ? x0 : FloorDiv(x0 * dy + (ya - y0) * dx, dy);
        for (int row = firstRow; row <= lastRow; ++row) {
            std::int64_t yb, xb;
            if (row == lastRow && y1 <= (std::int64_t{row + 1} << kShift)) {
                yb = y1;
                xb = x1;
            } else {
                yb = std::int64_t{row + 1} << kShift;
                xb = edgeX.value;
                edgeX.Next();
            }
            std::int64_t rowTop = std::int64_t{row} << kShift;
            Row(row, xa, static_cast<int>(ya - rowTop), xb, static_cast<int>(yb - rowTop), dir);
            ya = yb;
            xa = xb;
        }
    }

    // The part of a line within one row, from (xa, fya) to (xb, fyb), heights within the row.
    void Row(int row, std::int64_t xa, int fya, std::int64_t xb, int fyb, int dir) {
        int ca = static_cast<int>(xa >> kShift), cb = static_cast<int>(xb >> kShift);
        int fxa = static_cast<int>(xa & (kOne - 1)), fxb = static_cast<int>(xb & (kOne - 1));
        if (fya == fyb) {
            return;
        }
        Touch(row, ca, cb);
        if (ca == cb) {
            AddCell(row, ca, (fyb - fya) * dir, fxa + fxb);
            return;
        }
        // y where the line crosses each cell's vertical edges on its way across.
        std::int64_t dx = xb - xa, dy = fyb - fya;
        int step = dx > 0 ? 1 : -1;
        std::int64_t firstEdge = (std::int64_t{ca} + (dx > 0 ? 1 : 0)) << kShift;
        // Numerator and divisor are both negated when going left, keeping the divisor positive.
        std::int32_t sign = dx > 0 ? 1 : -1, run = static_cast<std::int32_t>(dx);
        std::int32_t lead = static_cast<std::int32_t>(firstEdge - xa); // within one cell
        std::int32_t start = sign * (fya * run + lead * static_cast<std::int32_t>(dy));
        int exitFx = dx > 0 ? kOne : 0;
        auto within = [&](std::int32_t v) {
            return static_cast<int>(
                std::clamp<std::int32_t>(v, std::min(fya, fyb), std::max(fya, fyb)));
        };
        if (cb - ca == step) {
            // Into the next cell only (the most common case): one crossing, one division.
            int yEdge = within(FloorDiv(start, sign * run));
            AddCell(row, ca, (yEdge - fya) * dir, fxa + exitFx);
            AddCell(row, cb, (fyb - yEdge) * dir, kOne - exitFx + fxb);
            return;
        }
        Stepper<std::int32_t> edgeY(start, static_cast<std::int32_t>(dy) * kOne, sign * run);
        int y = fya, fx = fxa;
        for (int cell = ca; cell != cb; cell += step) {
            int yEdge = within(edgeY.value);
            edgeY.Next();
            AddCell(row, cell, (yEdge - y) * dir, fx + exitFx);
            y = yEdge;
            fx = kOne - exitFx;
        }
        AddCell(row, cb, (fyb - y) * dir, fx + fxb);
    }

    // Notes that cells from..to (either way round) of a row are about to be added to.
    void Touch(int row, int from, int to) {
        Touched& t = touched_[static_cast<std::size_t>(row - bandTop_)];
        t.first = std::min(t.first, std::clamp(std::min(from, to) - left_, 0, stride_ - 2));
        t.last = std::max(t.last, std::clamp(std::max(from, to) - left_, 0, stride_ - 2) + 1);
    }

    void AddCell(int row, int cell, int height, int twiceFx) {
        int col = std::clamp(cell - left_, 0, stride_ - 2);
        std::uint32_t* c = cells_.data() + static_cast<std::size_t>(row - bandTop_) * stride_ + col;
        c[0] += static_cast<std::uint32_t>(height * (2 * kOne - twiceFx));
        c[1] += static_cast<std::uint32_t>(height * twiceFx);
    }

    // A pixel's covered part (0..256) from the running sum, under the fill rule.
    template <FillRule kRule> static std::uint16_t CoverOf(std::uint32_t sum) {
        if constexpr (kRule == FillRule::NonZero) {
            std::int32_t s = static_cast<std::int32_t>(sum);
            std::uint32_t m = s < 0 ? 0u - static_cast<std::uint32_t>(s) : std::uint32_t(s);
            return static_cast<std::uint16_t>(std::min<std::uint32_t>(m, kFull) >> (kShift + 1));
        } else {
            std::uint32_t v = sum & (2 * kFull - 1);
            v = v > static_cast<std::uint32_t>(kFull) ? 2 * kFull - v : v;
            return static_cast<std::uint16_t>(v >> (kShift + 1));
        }
    }

    template <class Emit> void SweepRow(int y, int right, FillRule rule, Emit& emit) {
        std::uint32_t* c = cells_.data() + static_cast<std::size_t>(y - bandTop_) * stride_;
        Touched& t = touched_[static_cast<std::size_t>(y - bandTop_)];
        int first = t.first, last = t.last;
        t = Touched{kUntouched, -1}; // the cells are left clear for the next path
        if (first > last) {
            return; // no edge crosses the row, so nothing in it is covered
        }
        // Before the first touched cell the sum is nought; past the last it no longer changes.
        int count = right - left_ + 1;
        int end = std::min(last + 1, count);
        std::uint16_t* cover = cover_.data();
        std::uint32_t sum = 0;
        // The fill rule is chosen once per row, keeping each loop branch-free.
        if (rule == FillRule::NonZero) {
            sum = Cover<FillRule::NonZero>(c, cover, first, end);
        } else {
            sum = Cover<FillRule::EvenOdd>(c, cover, first, end);
        }
        std::fill(c + end, c + last + 1, 0u); // Cover cleared the rest
        std::uint16_t rest = rule == FillRule::NonZero ? CoverOf<FillRule::NonZero>(sum)
                                                       : CoverOf<FillRule::EvenOdd>(sum);
        if (rest != 0) {
            std::fill(cover + end, cover + count, rest);
            end = count;
        }
        for (int i = first; i < end;) {
            i = Skip<true>(cover, i, end);
            if (i == end) {
                break;
            }
            int start = i;
            i = Skip<false>(cover, i, end);
            emit(y, left_ + start, left_ + i, cover + start);
        }
    }

    // The running sum of cells [first, end) of a row into each pixel's cover, clearing the
    // cells; the sum at the end is returned. Four pixels at a time where the machine has the
    // instructions.
    template <FillRule kRule>
    static std::uint32_t Cover(std::uint32_t* c, std::uint16_t* cover, int first, int end) {
        std::uint32_t sum = 0;
        int i = first;
#if defined(FW_RASTER_SSE2)
        const __m128i full = _mm_set1_epi32(kFull);
        __m128i run = _mm_setzero_si128();
        for (; i + 4 <= end; i += 4) {
            __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(c + i));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(c + i), _mm_setzero_si128());
            x = _mm_add_epi32(x, _mm_slli_si128(x, 4));
            x = _mm_add_epi32(x, _mm_slli_si128(x, 8));
            x = _mm_add_epi32(x, run);
            run = _mm_shuffle_epi32(x, 0xFF);
            __m128i v;
            if constexpr (kRule == FillRule::NonZero) {
                __m128i sign = _mm_srai_epi32(x, 31);
                v = _mm_sub_epi32(_mm_xor_si128(x, sign), sign);
                // Beyond a whole pixel (the most negative sum reads as below nought) is whole.
                __m128i over =
                    _mm_or_si128(_mm_cmpgt_epi32(v, full), _mm_cmplt_epi32(v, _mm_setzero_si128()));
                v = _mm_or_si128(_mm_and_si128(over, full), _mm_andnot_si128(over, v));
            } else {
                v = _mm_and_si128(x, _mm_set1_epi32(2 * kFull - 1));
                __m128i over = _mm_cmpgt_epi32(v, full);
                v = _mm_or_si128(_mm_and_si128(over, _mm_sub_epi32(_mm_set1_epi32(2 * kFull), v)),
                                 _mm_andnot_si128(over, v));
            }
            v = _mm_srli_epi32(v, kShift + 1);
            _mm_storel_epi64(reinterpret_cast<__m128i*>(cover + i), _mm_packs_epi32(v, v));
        }
        sum = static_cast<std::uint32_t>(_mm_cvtsi128_si32(run));
#endif
        for (; i < end; ++i) {
            sum += c[i];
            c[i] = 0;
            cover[i] = CoverOf<kRule>(sum);
        }
        return sum;
    }

    // The first pixel from i on whose cover is (kZero false) or is not (kZero true) nought.
    template <bool kZero> static int Skip(const std::uint16_t* cover, int i, int end) {
#if defined(FW_RASTER_SSE2)
        const __m128i zero = _mm_setzero_si128();
        for (; i + 8 <= end; i += 8) {
            __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(cover + i));
            int zeros = _mm_movemask_epi8(_mm_cmpeq_epi16(v, zero));
            if (zeros != (kZero ? 0xFFFF : 0)) {
                break;
            }
        }
#endif
        while (i < end && (cover[i] == 0) == kZero) {
            ++i;
        }
        return i;
    }

    int width_ = 0, height_ = 0;
    std::vector<FixedLine> lines_;
    std::int64_t work_ = 0;
    bool pastRight_ = false;
    std::vector<std::uint32_t> cells_;
    std::vector<std::uint16_t> cover_;
    // The cells each row of the band has had added to, first to last.
    struct Touched {
        int first, last;
    };
    static constexpr int kUntouched = std::numeric_limits<int>::max();
    std::vector<Touched> touched_;
    int left_ = 0, stride_ = 0, bandTop_ = 0, bandBottom_ = 0;
};

// Rasterisers kept per thread, so their buffers serve every path after the first. A paint
// that itself fills a path while being asked for its colours gets one of its own.
class Lease {
public:
    Lease() {
        if (pool_.size() <= depth_) {
            pool_.push_back(std::make_unique<Rasteriser>());
        }
        r_ = pool_[depth_++].get();
    }
    ~Lease() { --depth_; }
    Lease(const Lease&) = delete;
    Lease& operator=(const Lease&) = delete;
    Rasteriser& operator*() const { return *r_; }

private:
    static thread_local std::vector<std::unique_ptr<Rasteriser>> pool_;
    static thread_local std::size_t depth_;
    Rasteriser* r_;
};
thread_local std::vector<std::unique_ptr<Rasteriser>> Lease::pool_;
thread_local std::size_t Lease::depth_ = 0;

inline Pixel Scale(Pixel p, unsigned k) { // k in 0..256
    Pixel rb = ((p & 0x00FF00FFu) * k >> 8) & 0x00FF00FFu;
    Pixel ag = ((p >> 8) & 0x00FF00FFu) * k & 0xFF00FF00u;
    return rb | ag;
}

inline Pixel Over(Pixel src, Pixel dst) {
    return src + Scale(dst, 256 - (src >> 24));
}

// Source over for a run: each source pixel scaled by its coverage, then laid over the target.
// The vector path does the same integer steps as the plain one, so both give the same bytes.
void BlendSpan(Pixel* dst, const Pixel* src, const std::uint16_t* cover, int n) {
    int i = 0;
#if defined(FW_RASTER_SSE2)
    // As Scale does, red and blue are scaled in the low bytes of 16-bit lanes and alpha and
    // green in the high ones; no product leaves its lane.
    const __m128i lowBytes = _mm_set1_epi16(0x00FF), highBytes = _mm_set1_epi16(-256);
    const __m128i full = _mm_set1_epi16(256);
    auto scale = [&](__m128i p, __m128i k) {
        __m128i rb = _mm_srli_epi16(_mm_mullo_epi16(_mm_and_si128(p, lowBytes), k), 8);
        __m128i ag = _mm_and_si128(_mm_mullo_epi16(_mm_srli_epi16(p, 8), k), highBytes);
        return _mm_or_si128(rb, ag);
    };
    for (; i + 4 <= n; i += 4) {
        __m128i k = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(cover + i));
        __m128i s = scale(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i)),
                          _mm_unpacklo_epi16(k, k));
        __m128i a = _mm_srli_epi32(s, 24);
        __m128i rest = _mm_sub_epi16(full, _mm_or_si128(a, _mm_slli_epi32(a, 16)));
        __m128i d = scale(_mm_loadu_si128(reinterpret_cast<const __m128i*>(dst + i)), rest);
        // Whole pixels are added, as the plain path adds them.
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), _mm_add_epi32(s, d));
    }
#endif
    for (; i < n; ++i) {
        dst[i] = Over(Scale(src[i], cover[i]), dst[i]);
    }
}

inline unsigned MaskScale(unsigned cover, std::uint8_t m) {
    return (cover * (m + (m >> 7))) >> 8;
}

} // namespace

void FillPath(Picture& target, const Path& path, FillRule rule, const Paint& paint,
              const Mask* clip) {
    if (target.width <= 0 || target.height <= 0 || path.empty()) {
        return;
    }
    if (target.pixels.size() < static_cast<std::size_t>(target.width) * target.height) {
        return;
    }
    Lease lease;
    Rasteriser& r = *lease;
    r.Begin(target.width, target.height);
    r.Add(path);
    bool opaque = paint.Opaque();
    std::vector<Pixel>& colours = r.colours;
    std::vector<std::uint16_t>& scaled = r.scaled;
    r.Sweep(rule, [&](int y, int x0, int x1, const std::uint16_t* cover) {
        int n = x1 - x0;
        if (clip) {
            if (y >= clip->height || clip->cover.size() < std::size_t(clip->width) * clip->height) {
                return;
            }
            x1 = std::min(x1, clip->width);
            n = x1 - x0;
            if (n <= 0) {
                return;
            }
            if (scaled.size() < std::size_t(n)) {
                scaled.resize(n);
            }
            const std::uint8_t* m = clip->cover.data() + std::size_t(y) * clip->width + x0;
            for (int i = 0; i < n; ++i) {
                scaled[i] = static_cast<std::uint16_t>(MaskScale(cover[i], m[i]));
            }
            cover = scaled.data();
        }
        Pixel* dst = target.Row(y) + x0;
#if defined(FW_RASTER_SSE2)
        // The row below is drawn next, most likely over about the same columns.
        if (y + 1 < target.height) {
            const char* below = reinterpret_cast<const char*>(dst + target.width);
            for (int i = 0; i < n * 4; i += 64) {
                _mm_prefetch(below + i, _MM_HINT_T0);
            }
        }
#endif
        if (opaque) {
            // Wholly covered runs take the paint as it is, straight into the target.
            for (int i = 0; i < n;) {
                int j = i;
                while (j < n && cover[j] == 256) {
                    ++j;
                }
                if (j > i) {
                    paint.Span(x0 + i, y, j - i, dst + i);
                    i = j;
                    continue;
                }
                Pixel s;
                paint.Span(x0 + i, y, 1, &s);
                dst[i] = Over(Scale(s, cover[i]), dst[i]);
                ++i;
            }
            return;
        }
        if (colours.size() < std::size_t(n)) {
            colours.resize(n);
        }
        paint.Span(x0, y, n, colours.data());
        BlendSpan(dst, colours.data(), cover, n);
    });
}

void CoverPath(Mask& mask, const Path& path, FillRule rule) {
    if (mask.width <= 0 || mask.height <= 0 || path.empty() ||
        mask.cover.size() < static_cast<std::size_t>(mask.width) * mask.height) {
        return;
    }
    Lease lease;
    Rasteriser& r = *lease;
    r.Begin(mask.width, mask.height);
    r.Add(path);
    r.Sweep(rule, [&](int y, int x0, int x1, const std::uint16_t* cover) {
        std::uint8_t* m = mask.cover.data() + std::size_t(y) * mask.width + x0;
        for (int i = 0; i < x1 - x0; ++i) {
            unsigned c = cover[i] - (cover[i] >> 8); // 0..255
            m[i] = static_cast<std::uint8_t>(m[i] + ((255 - m[i]) * c + 127) / 255);
        }
    });
}

} // namespace fw::render
