// Feeds arbitrary bytes to the bitmap readers: the first byte picks the tag (and, for DefineBits,
// how much of the rest stands as the movie's JPEG tables), the rest is its body; the same bytes
// are then read as a picture file. Nothing may crash, hang or ask for unbounded memory.

#include "swf/bitmap.h"
#include "swf/image_file.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) {
        return 0;
    }
    static constexpr std::uint16_t kCodes[] = {6, 21, 35, 90, 20, 36};
    std::uint16_t code = kCodes[data[0] % 6];
    std::span<const std::uint8_t> rest(data + 1, size - 1);
    std::span<const std::uint8_t> tables;
    if (code == 6 && !rest.empty()) {
        std::size_t split = std::min<std::size_t>(rest.size(), (data[0] / 6u) * 8u);
        tables = rest.first(split);
        rest = rest.subspan(split);
    }
    std::string problem;
    // A small pixel budget keeps each input quick; the limits themselves are the same code.
    fw::swf::BitmapTag tag = fw::swf::ReadBitmap(code, rest, tables, problem, 1u << 20);
    if (tag.image && tag.image->pixels.size() !=
                         static_cast<std::size_t>(tag.image->width) * tag.image->height) {
        __builtin_trap();
    }
    auto file = fw::swf::DecodeImageFile(rest, problem, 1u << 20);
    if (file && file->pixels.empty()) {
        __builtin_trap();
    }
    return 0;
}
