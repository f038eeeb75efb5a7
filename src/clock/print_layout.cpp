#include "clock/print_layout.h"

#include <cstdint>

namespace fw {

PageRect FitCentred(int pictureWidth, int pictureHeight, int pageWidth, int pageHeight) {
    if (pictureWidth <= 0 || pictureHeight <= 0 || pageWidth <= 0 || pageHeight <= 0) {
        return {};
    }
    // Compare the two scales pageWidth/pictureWidth and pageHeight/pictureHeight without
    // rounding; 64 bits keep the products exact.
    const std::int64_t pw = pictureWidth, ph = pictureHeight, gw = pageWidth, gh = pageHeight;
    std::int64_t width = 0, height = 0;
    if (gw * ph <= gh * pw) {
        width = gw;
        height = ph * gw / pw;
    } else {
        height = gh;
        width = pw * gh / ph;
    }
    // A very thin picture still gets one device pixel across.
    if (width < 1) {
        width = 1;
    }
    if (height < 1) {
        height = 1;
    }
    return PageRect{static_cast<int>((gw - width) / 2), static_cast<int>((gh - height) / 2),
                    static_cast<int>(width), static_cast<int>(height)};
}

} // namespace fw
