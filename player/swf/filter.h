#pragma once
// A filter of a placement as the file gives it, for the scripts' flash.filters objects.

#include <cstdint>
#include <vector>

namespace fw::swf {

struct Filter {
    // 0 drop shadow, 1 blur, 2 glow, 3 bevel, 4 gradient glow, 5 convolution, 6 colour matrix,
    // 7 gradient bevel.
    std::uint8_t id = 0;
    std::vector<std::uint32_t> colours; // RGBA, red in the high byte
    std::vector<std::uint8_t> ratios;
    std::vector<double> numbers; // the record's numbers in file order
    std::uint8_t flags = 0;      // its last byte: inner, knockout, composite, on top, passes
    friend bool operator==(const Filter&, const Filter&) = default;
};

} // namespace fw::swf
