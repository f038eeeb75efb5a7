// The lattice, its gradients and the sum over octaves follow the published turbulence of
// vector graphics filters, which the reference player's pictures match: a minimal standard
// generator fills four gradient tables (one a channel) and shuffles one lattice from the seed.

#include "perlin_noise.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace fw::avm1 {
namespace {

constexpr int kSize = 0x100;
constexpr int kMask = 0xff;
constexpr int kShift = 0x1000; // keeps lattice coordinates positive
constexpr std::int64_t kModulus = 2147483647;

std::int64_t FirstSeed(std::int64_t seed) {
    if (seed <= 0) {
        seed = -(seed % (kModulus - 1)) + 1;
    }
    return std::min(seed, kModulus - 1);
}

std::int64_t NextSeed(std::int64_t seed) {
    // Schrage's form of seed * 16807 mod (2^31 - 1), as the published generator has it.
    std::int64_t r = 16807 * (seed % 127773) - 2836 * (seed / 127773);
    return r <= 0 ? r + kModulus : r;
}

struct Lattice {
    std::array<int, kSize + kSize + 2> selector{};
    std::array<std::array<std::array<double, 2>, kSize + kSize + 2>, 4> gradient{};

    explicit Lattice(std::int64_t seed) {
        seed = FirstSeed(seed);
        for (auto& table : gradient) {
            for (int i = 0; i < kSize; ++i) {
                selector[i] = i;
                for (double& g : table[i]) {
                    seed = NextSeed(seed);
                    g = static_cast<double>(seed % (kSize + kSize) - kSize) / kSize;
                }
                double length = std::sqrt(table[i][0] * table[i][0] + table[i][1] * table[i][1]);
                if (length > 0) {
                    table[i][0] /= length;
                    table[i][1] /= length;
                }
            }
        }
        for (int i = kSize - 1; i > 0; --i) {
            seed = NextSeed(seed);
            std::swap(selector[i], selector[seed % kSize]);
        }
        for (int i = 0; i < kSize + 2; ++i) {
            selector[kSize + i] = selector[i];
            for (auto& table : gradient) {
                table[kSize + i] = table[i];
            }
        }
    }
};

struct Stitch {
    std::int64_t width = 0, height = 0, wrapX = 0, wrapY = 0;
};

// A lattice coordinate as a whole number; what no movie sensibly asks for (infinite, or so far
// out that doubles hold no fraction) lands at the origin rather than overflowing.
std::int64_t Whole(double v) {
    return std::isfinite(v) && std::fabs(v) < 0x1p52 ? static_cast<std::int64_t>(v) : 0;
}

double Fraction(double v) {
    return std::isfinite(v) && std::fabs(v) < 0x1p52 ? v - std::trunc(v) : 0;
}

double Curve(double t) {
    return t * t * (3. - 2. * t);
}

double Mix(double t, double a, double b) {
    return a + t * (b - a);
}

double Noise(const Lattice& lattice, int channel, double x, double y, const Stitch* stitch) {
    double tx = x + kShift;
    double ty = y + kShift;
    std::int64_t bx0 = Whole(tx), by0 = Whole(ty);
    double rx0 = Fraction(tx), ry0 = Fraction(ty);
    double rx1 = rx0 - 1, ry1 = ry0 - 1;
    std::int64_t bx1 = bx0 + 1, by1 = by0 + 1;
    // The lattice wraps before the table's mask folds it, or stitching would never happen.
    if (stitch) {
        bx0 -= bx0 >= stitch->wrapX ? stitch->width : 0;
        bx1 -= bx1 >= stitch->wrapX ? stitch->width : 0;
        by0 -= by0 >= stitch->wrapY ? stitch->height : 0;
        by1 -= by1 >= stitch->wrapY ? stitch->height : 0;
    }
    bx0 &= kMask;
    bx1 &= kMask;
    by0 &= kMask;
    by1 &= kMask;
    const auto& g = lattice.gradient[channel];
    int i = lattice.selector[static_cast<std::size_t>(bx0)];
    int j = lattice.selector[static_cast<std::size_t>(bx1)];
    auto dot = [&](int cell, double rx, double ry) { return rx * g[cell][0] + ry * g[cell][1]; };
    double sx = Curve(rx0);
    double sy = Curve(ry0);
    double a =
        Mix(sx, dot(lattice.selector[i + by0], rx0, ry0), dot(lattice.selector[j + by0], rx1, ry0));
    double b =
        Mix(sx, dot(lattice.selector[i + by1], rx0, ry1), dot(lattice.selector[j + by1], rx1, ry1));
    return Mix(sy, a, b);
}

// A base frequency moved to the nearest that repeats a whole number of times over the tile.
double TileFrequency(double frequency, double tile) {
    if (frequency == 0.0) {
        return 0.0;
    }
    double low = std::floor(tile * frequency) / tile;
    double high = std::ceil(tile * frequency) / tile;
    return low > 0 && frequency / low < high / frequency ? low : high;
}

} // namespace

std::vector<std::uint32_t> PerlinNoise(int width, int height, bool transparent,
                                       const PerlinOptions& o) {
    std::vector<std::uint32_t> out(static_cast<std::size_t>(std::max(width, 0)) *
                                   static_cast<std::size_t>(std::max(height, 0)));
    if (out.empty()) {
        return out;
    }
    Lattice lattice(o.seed);
    double fx = o.baseX != 0 && std::isfinite(o.baseX) ? 1.0 / o.baseX : 0.0;
    double fy = o.baseY != 0 && std::isfinite(o.baseY) ? 1.0 / o.baseY : 0.0;
    Stitch first;
    if (o.stitch) {
        fx = TileFrequency(fx, width);
        fy = TileFrequency(fy, height);
        first.width = Whole(width * fx + 0.5);
        first.wrapX = kShift + first.width;
        first.height = Whole(height * fy + 0.5);
        first.wrapY = kShift + first.height;
    }
    // Past 24 octaves a term weighs less than a millionth of the first, and the stitch widths
    // that double with each would outgrow their numbers.
    int octaves = std::clamp(o.octaves, 0, 24);
    bool alpha = transparent && (o.channels & 8);
    auto turbulence = [&](int channel, double x, double y) {
        Stitch stitch = first;
        double sum = 0;
        double ratio = 1;
        for (int octave = 0; octave < octaves; ++octave) {
            double px = x, py = y;
            if (static_cast<std::size_t>(octave) < o.offsets.size()) {
                px += o.offsets[octave].first;
                py += o.offsets[octave].second;
            }
            double n = Noise(lattice, channel, px * fx * ratio, py * fy * ratio,
                             o.stitch ? &stitch : nullptr);
            sum += (o.fractal ? n : std::fabs(n)) / ratio;
            ratio *= 2;
            stitch.width *= 2;
            stitch.wrapX = 2 * stitch.wrapX - kShift;
            stitch.height *= 2;
            stitch.wrapY = 2 * stitch.wrapY - kShift;
        }
        double v = o.fractal ? (sum * 255 + 255) / 2 : sum * 255;
        return std::isfinite(v) ? static_cast<std::uint32_t>(std::clamp(v + 0.5, 0.0, 255.0)) : 0u;
    };
    // Each channel asked for takes the next of the four gradient tables, so red alone and alpha
    // alone show the same noise; a grey picture's colour takes the first.
    int tables[4] = {-1, -1, -1, -1};
    int next = 0;
    for (int c = 0; c < 3; ++c) {
        if (o.gray ? c == 0 : (o.channels & (1u << c)) != 0) {
            tables[c] = next++;
        }
    }
    if (alpha) {
        tables[3] = next;
    }
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            std::uint32_t v[4] = {0, 0, 0, 255};
            for (int c = 0; c < 4; ++c) {
                if (tables[c] >= 0) {
                    v[c] = turbulence(tables[c], x, y);
                }
            }
            if (o.gray) {
                v[1] = v[2] = v[0];
            }
            out[static_cast<std::size_t>(y) * width + x] =
                v[3] << 24 | v[0] << 16 | v[1] << 8 | v[2];
        }
    }
    return out;
}

} // namespace fw::avm1
