// What scripts hold of a clip is its target path as much as the clip: once the clip has left the
// stage, the one now at that path answers in its place, and with none there the reference
// reads as nothing at all.

#include "runtime.h"

#include <cstdlib>

namespace fw::avm1 {
namespace {

constexpr std::size_t kMaxParts = 256;

} // namespace

void Runtime::RememberPath(Object* o) {
    if (o && o->kind == Kind::Clip && !o->origin) {
        o->origin = std::make_unique<std::string>(Describe(o));
    }
}

Object* Runtime::Live(Object* o) {
    if (!o || o->kind != Kind::Clip || !OffStage(o)) {
        return o;
    }
    if (!o->origin || o->origin->rfind("_level", 0) != 0) {
        return nullptr;
    }
    std::string_view path = *o->origin;
    std::size_t dot = path.find('.');
    Object* at = display_.Level(std::atoi(std::string(path.substr(6, dot - 6)).c_str()));
    if (!at && path.substr(0, dot) == "_level0") {
        at = root_;
    }
    for (std::size_t n = 0; at && dot != std::string_view::npos && n < kMaxParts; ++n) {
        std::size_t start = dot + 1;
        dot = path.find('.', start);
        std::string_view name =
            path.substr(start, dot == std::string_view::npos ? dot : dot - start);
        Object* child = display_.ClipMember(at->clipId, name);
        // Only a child counts: no step up, nor a shape standing for its clip.
        if (!child || child == at || child->kind != Kind::Clip ||
            display_.ClipMember(child->clipId, "_parent") != at) {
            return nullptr;
        }
        at = child;
    }
    return at;
}

} // namespace fw::avm1
