#include "paint.h"

#include <algorithm>

namespace fw::render {

void SolidPaint::Span(int, int, int count, Pixel* out) const {
    std::fill(out, out + std::max(count, 0), colour_);
}

} // namespace fw::render
