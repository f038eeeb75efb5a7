// pngdiff: how far a picture is from a reference picture, for the image conformance check and
// anyone comparing pictures by hand.

#include "render/compare.h"
#include "render/png.h"

#include <charconv>
#include <optional>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

namespace {

std::optional<fw::render::Picture> Read(const char* path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
    std::string problem = "cannot be read";
    auto picture = in.is_open() && !in.bad() ? fw::render::DecodePng(bytes, problem) : std::nullopt;
    if (!picture) {
        std::cerr << "pngdiff: " << path << ": " << problem << '\n';
    }
    return picture;
}

} // namespace

int main(int argc, char** argv) {
    int tolerance = 0;
    if (argc == 4) {
        std::string_view t = argv[3];
        auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), tolerance);
        if (ec != std::errc() || end != t.data() + t.size() || tolerance < 0 || tolerance > 255) {
            argc = 0;
        }
    }
    if (argc != 3 && argc != 4) {
        std::cerr << "usage: pngdiff ACTUAL.png EXPECTED.png [TOLERANCE]\n"
                     "Prints: pixels, close (every channel within 16 levels), outliers (some\n"
                     "channel beyond TOLERANCE, default 0), largest difference, and match (at\n"
                     "least 98 % close). Exit status 0 match, 1 no match, 2 a file not read.\n";
        return 2;
    }
    auto actual = Read(argv[1]);
    auto expected = Read(argv[2]);
    if (!actual || !expected) {
        return 2;
    }
    auto d = fw::render::Compare(*actual, *expected, tolerance);
    if (!d.sameSize) {
        std::cout << "size " << actual->width << "x" << actual->height << ", expected "
                  << expected->width << "x" << expected->height << "\nmatch no\n";
        return 1;
    }
    bool match = fw::render::Matches(d);
    std::cout << "pixels " << d.pixels << "\nclose " << d.close << "\noutliers " << d.outliers
              << "\nlargest " << d.largest << "\nmatch " << (match ? "yes" : "no") << '\n';
    return match ? 0 : 1;
}
