#include "path.h"

namespace fw::render {

Path Transformed(const Path& path, const swf::Matrix& m) {
    Path out;
    out.segments.reserve(path.segments.size());
    for (const Segment& s : path.segments) {
        Segment t{m.Apply(s.from), m.Apply(s.to), std::nullopt};
        if (s.control) {
            t.control = m.Apply(*s.control);
        }
        out.segments.push_back(t);
    }
    return out;
}

} // namespace fw::render
