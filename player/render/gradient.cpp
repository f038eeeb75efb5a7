// Gradient fills: the stops are spread once into a table of 256 colours, and each pixel is
// carried back into the gradient's own square to find its place along the table.

#include "gradient.h"

#include "paint.h"
#include "sampling.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <optional>

namespace fw::render {
namespace {

constexpr double kHalfSquare = 16384.0;

double ToLinear(double v) {
    v /= 255.0;
    return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
}

double FromLinear(double v) {
    v = v <= 0.0031308 ? v * 12.92 : 1.055 * std::pow(v, 1 / 2.4) - 0.055;
    return std::clamp(v * 255.0, 0.0, 255.0);
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

class Gradient final : public Paint {
public:
    Gradient(const GradientTable& table, const swf::FillStyle& fill, const swf::Matrix& toPixels)
        : table_(table), type_(fill.type), spread_(fill.gradient.spread) {
        // A focal point on the rim would leave the points behind it nowhere on the gradient.
        double focal = std::isfinite(fill.gradient.focal) ? fill.gradient.focal : 0;
        focal_ = std::clamp(focal, -0.98, 0.98) * kHalfSquare;
        auto inverse = FiniteInverse(toPixels);
        if (inverse) {
            inverse_ = *inverse;
        } else {
            flat_ = table_.colours[255];
        }
        opaque_ = std::all_of(table_.colours.begin(), table_.colours.end(),
                              [](Pixel p) { return (p >> 24) == 0xFF; });
    }

    void Span(int x, int y, int count, Pixel* out) const override {
        if (flat_) {
            std::fill(out, out + count, *flat_);
            return;
        }
        ForEachCentre(inverse_, x, y, count, [&](int i, double gx, double gy) {
            out[i] = table_.colours[Index(Place(gx, gy))];
        });
    }

    bool Opaque() const override { return opaque_; }

private:
    double Place(double gx, double gy) const {
        switch (type_) {
        case swf::kFillRadial:
            return std::sqrt(gx * gx + gy * gy) / kHalfSquare;
        case swf::kFillFocal: {
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
        }
        default:
            return (gx + kHalfSquare) / (2 * kHalfSquare);
        }
    }

    int Index(double t) const {
        double spread = Spread(t, spread_);
        return std::clamp(static_cast<int>(spread * 256), 0, 255);
    }

    const GradientTable table_;
    std::uint8_t type_;
    swf::Spread spread_;
    double focal_ = 0;
    swf::Matrix inverse_;
    std::optional<Pixel> flat_;
    bool opaque_ = false;
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
                                         given.begin() + std::min<std::size_t>(given.size(), 15));
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
            return static_cast<std::uint8_t>(std::lround(std::clamp(r, 0.0, 255.0)));
        };
        swf::Rgba c{mix(a.colour.r, b.colour.r), mix(a.colour.g, b.colour.g),
                    mix(a.colour.b, b.colour.b),
                    static_cast<std::uint8_t>(std::lround(std::clamp(alpha, 0.0, 255.0)))};
        table.colours[i] = Premultiplied(c);
    }
    return table;
}

std::unique_ptr<Paint> GradientPaint(const swf::FillStyle& fill, const swf::Matrix& toPixels,
                                     const swf::ColorTransform& cx) {
    GradientTable table = MakeGradientTable(fill.gradient.stops, fill.gradient.interpolation, cx);
    return std::make_unique<Gradient>(table, fill, toPixels);
}

} // namespace fw::render
