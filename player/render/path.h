#pragma once
// Outlines in the target's pixel space, as the rasteriser takes them.

#include "swf/graphics.h"

#include <optional>
#include <vector>

namespace fw::render {

struct Segment {
    swf::Point from;
    swf::Point to;
    std::optional<swf::Point> control; // a quadratic curve when present
};

// A set of segments. For filling, order and direction only matter through the winding they
// give; the outline need not be joined up. For stroking, a segment that starts where the one
// before it ended continues the same line (and gets a join there).
struct Path {
    std::vector<Segment> segments;

    void Line(swf::Point from, swf::Point to) { segments.push_back({from, to, std::nullopt}); }
    void Quad(swf::Point from, swf::Point control, swf::Point to) {
        segments.push_back({from, to, control});
    }
    bool empty() const { return segments.empty(); }
};

// The path carried by a matrix (from a shape's twips to pixels, say).
Path Transformed(const Path& path, const swf::Matrix& m);

} // namespace fw::render
