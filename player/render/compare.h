#pragma once
// How far one picture is from another, for checking what we draw against reference pictures.

#include "picture.h"

#include <cstddef>

namespace fw::render {

struct Difference {
    bool sameSize = false;
    std::size_t pixels = 0;   // in either picture, when their sizes agree
    std::size_t close = 0;    // pixels whose every channel is within kCloseLevels
    std::size_t outliers = 0; // pixels with a channel beyond the tolerance asked for
    int largest = 0;          // the largest difference of any channel, 0..255
};

// A pixel is close to its reference when no straight (unpremultiplied) channel differs by
// more than this many levels; a picture matches when kMatchingShare of its pixels are close.
inline constexpr int kCloseLevels = 16;
inline constexpr double kMatchingShare = 0.98;

Difference Compare(const Picture& actual, const Picture& expected, int tolerance);
bool Matches(const Difference& d);

} // namespace fw::render
