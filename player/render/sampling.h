#pragma once
// What the paints that look things up through a matrix share: the way back from the target's
// pixels into their own space.

#include "swf/graphics.h"

#include <cmath>
#include <optional>

namespace fw::render {

// The inverse of toPixels, when it has one made of finite numbers.
inline std::optional<swf::Matrix> FiniteInverse(const swf::Matrix& toPixels) {
    auto m = toPixels.Inverse();
    if (!m || !std::isfinite(m->a) || !std::isfinite(m->b) || !std::isfinite(m->c) ||
        !std::isfinite(m->d) || !std::isfinite(m->tx) || !std::isfinite(m->ty)) {
        return std::nullopt;
    }
    return m;
}

// Where the centres of count pixels of row y from x land under the inverse, one at a time.
template <typename F> void ForEachCentre(const swf::Matrix& m, int x, int y, int count, F&& f) {
    double px = x + 0.5, py = y + 0.5;
    double u = m.a * px + m.c * py + m.tx;
    double v = m.b * px + m.d * py + m.ty;
    for (int i = 0; i < count; ++i, u += m.a, v += m.b) {
        f(i, u, v);
    }
}

} // namespace fw::render
