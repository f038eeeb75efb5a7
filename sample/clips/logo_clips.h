#pragma once
// The two logo clips of the sample CD: 320 x 240, two seconds each, each a
// plain background of its own colour with a shape crossing it, so that a
// person (and a screenshot check) tells them apart at a glance.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace fw::clips {

struct Rgb {
    std::uint8_t r = 0;
    std::uint8_t g = 0;
    std::uint8_t b = 0;
    friend bool operator==(const Rgb&, const Rgb&) = default;
};

// A top-down picture, three bytes a pixel in blue, green, red order (as the
// AVI writer takes it).
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> bgr;
    Rgb At(int x, int y) const;
};

enum class ShapeKind { Disc, Square };

struct LogoClip {
    const char* fileName;
    Rgb background;
    Rgb shape;
    ShapeKind kind;
};

inline constexpr int kClipWidth = 320;
inline constexpr int kClipHeight = 240;
inline constexpr int kClipFps = 12;
inline constexpr int kClipFrames = 24;
inline constexpr int kShapeSize = 60; // diameter or side in pixels

// Deep blue with a yellow disc going left to right.
inline constexpr LogoClip kPelkClip = {
    "logo_pelk.avi", {0x10, 0x30, 0xA0}, {0xF8, 0xE0, 0x20}, ShapeKind::Disc};
// Dark green with a red square going from the top left to the bottom right.
inline constexpr LogoClip kBrumvaleClip = {
    "logo_brumvale.avi", {0x10, 0x70, 0x30}, {0xF0, 0x40, 0x40}, ShapeKind::Square};

// Frame `index` of `count` (0 <= index < count).
Picture PaintFrame(const LogoClip& clip, int index, int count = kClipFrames);

// Writes the clip into `folder`, replacing a file of that name; a failed write
// leaves no partial file behind. Throws std::runtime_error with the path.
void WriteClip(const LogoClip& clip, const std::filesystem::path& folder);

} // namespace fw::clips
