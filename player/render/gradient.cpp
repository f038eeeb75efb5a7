// Gradient fills: the stops are spread once into a table of 256 colours, and each pixel is
// carried back into the gradient's own square to find its place along the table.

#include "gradient.h"

#include "paint.h"
#include "sampling.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <memory>
#include <optional>
#include <unordered_map>
#include <utility>

namespace fw::render {
namespace {

constexpr double kHalfSquare = 16384.0;
constexpr std::size_t kMaxStops = 15;

double ToLinear(double v) {
    v /= 255.0;
    return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
}

double FromLinear(double v) {
    v = v <= 0.0031308 ? v * 12.92 : 1.055 * std::pow(v, 1 / 2.4) - 0.055;
    return std::clamp(v * 255.0, 0.0, 255.0);
}

// Halves away from zero, as lround does, for 0..255 without a call into the library.
std::uint8_t Round(double v) {
    int whole = static_cast<int>(v);
    return static_cast<std::uint8_t>(whole + (v - whole >= 0.5 ? 1 : 0));
}

// Where t (0 at the start of the gradient, 1 at its end) falls once the spread is applied.
double Spread(double t, swf::Spread spread) {
    if (!std::isfinite(t)) {
        return 1;
    }
    switch (spread) {
    case swf::Spread::Repeat:
        return t - std::floor(t);
    case swf::Spread::Reflect: {
        double m = t - 2 * std::floor(t / 2); // 0..2
        return m > 1 ? 2 - m : m;
    }
    default:
        return std::clamp(t, 0.0, 1.0);
    }
}

// A table with what the rasteriser asks of it, shared by every paint of the same colours.
struct Colours {
    GradientTable table;
    bool opaque = false;
};

// The tables of the gradients drawn lately: a movie draws the same gradients frame after
// frame, under the same colour transforms, and a table costs more than most fills it colours.
class TableCache {
public:
    std::shared_ptr<const Colours> Get(const swf::Gradient& g, const swf::ColorTransform& cx) {
        // Stops past the fifteenth are never drawn, so they need not tell tables apart.
        Key key{{}, std::min<std::size_t>(g.stops.size(), kMaxStops), g.interpolation, cx};
        std::copy_n(g.stops.begin(), key.count, key.stops.begin());
        auto it = entries_.find(key);
        if (it != entries_.end()) {
            return it->second;
        }
        if (entries_.size() >= kEntries) {
            entries_.clear(); // paints still drawing keep theirs
        }
        auto made = std::make_shared<Colours>();
        made->table = MakeGradientTable(g.stops, g.interpolation, cx);
        made->opaque = std::all_of(made->table.colours.begin(), made->table.colours.end(),
                                   [](Pixel p) { return (p >> 24) == 0xFF; });
        entries_.emplace(key, made);
        return made;
    }

private:
    // Enough for a stage full of distinct gradients, each a kilobyte.
    static constexpr std::size_t kEntries = 2048;

    struct Key {
        std::array<swf::GradientStop, kMaxStops> stops;
        std::size_t count;
        swf::Interpolation interpolation;
        swf::ColorTransform cx;
        bool operator==(const Key&) const = default;
    };
    struct Hash {
        std::size_t operator()(const Key& k) const {
            std::uint64_t h = static_cast<std::uint64_t>(k.interpolation) + 1;
            auto mix = [&](std::uint64_t v) { h = (h ^ v) * 0x100000001B3ull; };
            for (std::size_t i = 0; i < k.count; ++i) {
                const swf::GradientStop& s = k.stops[i];
                mix(s.ratio | std::uint64_t{s.colour.r} << 8 | std::uint64_t{s.colour.g} << 16 |
                    std::uint64_t{s.colour.b} << 24 | std::uint64_t{s.colour.a} << 32);
            }
            for (int i = 0; i < 4; ++i) {
                mix(static_cast<std::uint16_t>(k.cx.mult[i]) |
                    std::uint64_t{static_cast<std::uint16_t>(k.cx.add[i])} << 16);
            }
            return static_cast<std::size_t>(h ^ (h >> 29));
        }
    };
    std::unordered_map<Key, std::shared_ptr<const Colours>, Hash> entries_;
};

class Gradient final : public Paint {
public:
    Gradient(std::shared_ptr<const Colours> colours, const swf::FillStyle& fill,
             const swf::Matrix& toPixels)
        : colours_(std::move(colours)), type_(fill.type), spread_(fill.gradient.spread) {
        // A focal point on the rim would leave the points behind it nowhere on the gradient.
        double focal = std::isfinite(fill.gradient.focal) ? fill.gradient.focal : 0;
        focal_ = std::clamp(focal, -0.98, 0.98) * kHalfSquare;
        auto inverse = FiniteInverse(toPixels);
        if (inverse) {
            inverse_ = *inverse;
        } else {
            flat_ = colours_->table.colours[255];
        }
    }

    void Span(int x, int y, int count, Pixel* out) const override {
        if (flat_) {
            std::fill(out, out + count, *flat_);
            return;
        }
        // The kind and spread are settled once per span, so each pixel's loop is plain.
        switch (type_) {
        case swf::kFillRadial:
            return BySpread<swf::kFillRadial>(x, y, count, out);
        case swf::kFillFocal:
            return BySpread<swf::kFillFocal>(x, y, count, out);
        default:
            return BySpread<swf::kFillLinear>(x, y, count, out);
        }
    }

    bool Opaque() const override { return colours_->opaque; }

private:
    template <std::uint8_t kType> void BySpread(int x, int y, int count, Pixel* out) const {
        switch (spread_) {
        case swf::Spread::Repeat:
            return Fill<kType, swf::Spread::Repeat>(x, y, count, out);
        case swf::Spread::Reflect:
            return Fill<kType, swf::Spread::Reflect>(x, y, count, out);
        default:
            if constexpr (kType != swf::kFillFocal) {
                if (FillPadded<kType>(x, y, count, out)) {
                    return;
                }
            }
            return Fill<kType, swf::Spread::Pad>(x, y, count, out);
        }
    }

    // Rounded to the nearest, halves away from nought, without a call into the library.
    static std::int64_t Fixed(double v) {
        return static_cast<std::int64_t>(v < 0 ? v - 0.5 : v + 0.5);
    }

    // Padded linear and radial runs step along in 32.32 fixed point: the place along the
    // table (a radial one's square) changes by a constant (a radial one's by a constant
    // change) from pixel to pixel, so integer adds replace a square root and a division, and
    // no chain of rounded sums runs along the row. Runs whose places lie too far out for the
    // fixed point go the long way.
    template <std::uint8_t kType> bool FillPadded(int x, int y, int count, Pixel* out) const {
        constexpr double kScale = 4294967296.0; // 2^32
        constexpr double kRoom = 1073741824.0;  // 2^30, well inside 64 bits once scaled
        const Pixel* colours = colours_->table.colours.data();
        const swf::Matrix& m = inverse_;
        double px = x + 0.5, py = y + 0.5;
        double u = m.a * px + m.c * py + m.tx;
        double v = m.b * px + m.d * py + m.ty;
        double last = count - 1.0;
        if constexpr (kType == swf::kFillRadial) {
            // Places in table entries: the entry is the square root of (u^2 + v^2) / 4096.
            auto square = [&](double k) {
                double gu = u + m.a * k, gv = v + m.b * k;
                return (gu * gu + gv * gv) / 4096;
            };
            double bend = (m.a * m.a + m.b * m.b) / 4096;
            // The square is convex along the row, so its ends bound it.
            if (!(square(0) < kRoom && square(last) < kRoom && bend < kRoom)) {
                return false;
            }
            const std::uint8_t* roots = Roots();
            std::int64_t q = Fixed(square(0) * kScale);
            std::int64_t dq = Fixed((2 * (u * m.a + v * m.b) / 4096 + bend) * kScale);
            std::int64_t ddq = Fixed(2 * bend * kScale);
            for (int i = 0; i < count; ++i) {
                std::int64_t whole = q >> 32;
                // Past the last square the root stays 255, as it is at the last: clamping
                // instead of branching keeps the loop free of guesses.
                int index = roots[std::clamp<std::int64_t>(whole, 0, 65535)];
                out[i] = colours[index];
                q += dq;
                dq += ddq;
            }
        } else {
            // Places in table entries: (u + 16384) / 128.
            double start = (u + kHalfSquare) / 128, step = m.a / 128;
            if (!(std::abs(start) < kRoom && std::abs(start + step * last) < kRoom)) {
                return false;
            }
            std::int64_t t = Fixed(start * kScale);
            std::int64_t dt = Fixed(step * kScale);
            for (int i = 0; i < count; ++i) {
                std::int64_t whole = t >> 32;
                out[i] = colours[whole < 0 ? 0 : whole > 255 ? 255 : whole];
                t += dt;
            }
        }
        return true;
    }

    // The whole square root of every square below 256^2.
    static const std::uint8_t* Roots() {
        static const std::array<std::uint8_t, 65536> roots = [] {
            std::array<std::uint8_t, 65536> r{};
            for (int i = 0; i < 256; ++i) {
                std::fill(r.begin() + i * i, r.begin() + std::min((i + 1) * (i + 1), 65536), i);
            }
            return r;
        }();
        return roots.data();
    }

    template <std::uint8_t kType, swf::Spread kSpread>
    void Fill(int x, int y, int count, Pixel* out) const {
        const Pixel* colours = colours_->table.colours.data();
        ForEachCentre(inverse_, x, y, count, [&](int i, double gx, double gy) {
            out[i] = colours[Index<kSpread>(Place<kType>(gx, gy))];
        });
    }

    template <std::uint8_t kType> double Place(double gx, double gy) const {
        if constexpr (kType == swf::kFillRadial) {
            return std::sqrt(gx * gx + gy * gy) / kHalfSquare;
        } else if constexpr (kType == swf::kFillFocal) {
            // The ray from the focal point through the pixel meets the rim at s times its
            // length; the pixel lies 1/s of the way along the gradient.
            double dx = gx - focal_, dy = gy;
            double dd = dx * dx + dy * dy;
            if (dd == 0) {
                return 0;
            }
            double fd = focal_ * dx;
            double ff = focal_ * focal_ - kHalfSquare * kHalfSquare;
            double s = (-fd + std::sqrt(std::max(0.0, fd * fd - dd * ff))) / dd;
            return s > 0 ? 1 / s : 1;
        } else {
            return (gx + kHalfSquare) / (2 * kHalfSquare);
        }
    }

    template <swf::Spread kSpread> static int Index(double t) {
        if constexpr (kSpread == swf::Spread::Pad) {
            // Scaling by 256 is exact, so this is the clamped place's entry without the
            // library's clamp; past either end, and nowhere at all, the end entries stand.
            double s = t * 256;
            if (s > 0) {
                return s < 256 ? static_cast<int>(s) : 255;
            }
            return s >= -std::numeric_limits<double>::max() ? 0 : 255;
        } else {
            double spread = Spread(t, kSpread);
            return std::clamp(static_cast<int>(spread * 256), 0, 255);
        }
    }

    std::shared_ptr<const Colours> colours_;
    std::uint8_t type_;
    swf::Spread spread_;
    double focal_ = 0;
    swf::Matrix inverse_;
    std::optional<Pixel> flat_;
};

} // namespace

GradientTable MakeGradientTable(const std::vector<swf::GradientStop>& given,
                                swf::Interpolation interpolation, const swf::ColorTransform& cx) {
    GradientTable table;
    if (given.empty()) {
        table.colours.fill(0);
        return table;
    }
    // Stops out of order are kept where they stand in the list: a ratio below the one before
    // it is read as that one, so the later stop starts a hard edge.
    std::vector<swf::GradientStop> stops(given.begin(),
                                         given.begin() + std::min(given.size(), kMaxStops));
    for (std::size_t i = 1; i < stops.size(); ++i) {
        stops[i].ratio = std::max(stops[i].ratio, stops[i - 1].ratio);
    }
    for (auto& s : stops) {
        s.colour = cx.Apply(s.colour);
    }
    bool linear = interpolation == swf::Interpolation::LinearRgb;
    std::size_t next = 0;
    for (int i = 0; i < 256; ++i) {
        while (next < stops.size() && stops[next].ratio < i) {
            ++next;
        }
        // Before the first stop and after the last the end stops stand alone.
        const swf::GradientStop& a = stops[next == 0 ? 0 : next - 1];
        const swf::GradientStop& b = stops[std::min(next, stops.size() - 1)];
        double f = b.ratio > a.ratio ? static_cast<double>(i - a.ratio) / (b.ratio - a.ratio) : 0;
        double alpha = a.colour.a + (b.colour.a - a.colour.a) * f;
        auto mix = [&](std::uint8_t u, std::uint8_t v) {
            // In linear light the colour is weighed by its alpha before it goes back, so a
            // translucent stop comes out darker there than its own colour.
            double r =
                linear ? FromLinear((ToLinear(u) + (ToLinear(v) - ToLinear(u)) * f) * alpha / 255)
                       : u + (v - u) * f;
            return Round(std::clamp(r, 0.0, 255.0));
        };
        swf::Rgba c{mix(a.colour.r, b.colour.r), mix(a.colour.g, b.colour.g),
                    mix(a.colour.b, b.colour.b), Round(std::clamp(alpha, 0.0, 255.0))};
        table.colours[i] = Premultiplied(c);
    }
    return table;
}

std::unique_ptr<Paint> GradientPaint(const swf::FillStyle& fill, const swf::Matrix& toPixels,
                                     const swf::ColorTransform& cx) {
    static thread_local TableCache cache;
    return std::make_unique<Gradient>(cache.Get(fill.gradient, cx), fill, toPixels);
}

} // namespace fw::render
