#pragma once
// Pictures to and from PNG files: written by the runner, read back by tests and comparisons.

#include "picture.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace fw::render {

// An 8-bit RGBA PNG of the picture (alpha unpremultiplied).
std::vector<std::uint8_t> EncodePng(const Picture& picture);

// A PNG's pixels; nullopt, with the reason in problem, for a file that is not one.
std::optional<Picture> DecodePng(std::span<const std::uint8_t> bytes, std::string& problem);

} // namespace fw::render
