#include "compare.h"

#include <algorithm>
#include <cstdlib>

namespace fw::render {

Difference Compare(const Picture& actual, const Picture& expected, int tolerance) {
    Difference d;
    d.sameSize = actual.width == expected.width && actual.height == expected.height;
    if (!d.sameSize) {
        return d;
    }
    d.pixels = actual.pixels.size();
    for (std::size_t i = 0; i < d.pixels; ++i) {
        if (actual.pixels[i] == expected.pixels[i]) {
            ++d.close;
            continue;
        }
        swf::Rgba a = Straight(actual.pixels[i]);
        swf::Rgba e = Straight(expected.pixels[i]);
        int worst = std::max(
            {std::abs(a.r - e.r), std::abs(a.g - e.g), std::abs(a.b - e.b), std::abs(a.a - e.a)});
        d.largest = std::max(d.largest, worst);
        d.close += worst <= kCloseLevels;
        d.outliers += worst > tolerance;
    }
    return d;
}

bool Matches(const Difference& d) {
    return d.sameSize &&
           static_cast<double>(d.close) >= kMatchingShare * static_cast<double>(d.pixels);
}

} // namespace fw::render
