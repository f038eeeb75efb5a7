// Dragging: the pointer carries one clip at a time, and what it lets go of the clip onto is
// remembered as the clip's drop target.

#include "geometry.h"
#include "input.h"
#include "stage.h"

#include <algorithm>
#include <cmath>

namespace fw::display {
namespace {

constexpr int kMaxNesting = 256;

swf::Matrix ParentMatrix(const Clip& clip) {
    return clip.parent ? StageMatrix(*clip.parent) : swf::Matrix{};
}

// The movie clip whose content is topmost under the point, leaving out the dragged one.
const Clip* Under(const Stage& stage, const Clip& parent, const Clip& dragged, swf::Point p,
                  int nesting) {
    if (nesting > kMaxNesting) {
        return nullptr;
    }
    for (auto it = parent.children.rbegin(); it != parent.children.rend(); ++it) {
        const Clip& child = *it->second;
        if (&child == &dragged || !child.visible || child.removed || child.clipDepth != 0) {
            continue;
        }
        if (child.isClip()) {
            if (const Clip* inner = Under(stage, child, dragged, p, nesting + 1)) {
                return inner;
            }
            if (child.drawing && HitTest(stage, child, p)) {
                return &child;
            }
        } else if (HitTest(stage, child, p)) {
            return &parent;
        }
    }
    return nullptr;
}

} // namespace

void Geometry::StartDrag(int id, bool lockCentre, std::optional<avm1::Rect> within) {
    const Clip* clip = stage_.Find(id);
    if (!clip) {
        return;
    }
    Dragged d;
    d.clip = id;
    d.within = within;
    if (!lockCentre) {
        auto inverse = ParentMatrix(*clip).Inverse();
        swf::Point local = inverse ? inverse->Apply(stage_.Mouse()) : stage_.Mouse();
        d.offset = {clip->matrix.tx - local.x, clip->matrix.ty - local.y};
    }
    drag_ = d;
    Drag(stage_.Mouse());
}

void Geometry::StopDrag() {
    if (!drag_) {
        return;
    }
    Drag(stage_.Mouse());
    drag_.reset();
}

bool Geometry::Drag(swf::Point pointer) {
    if (!drag_) {
        return false;
    }
    Clip* clip = stage_.Find(drag_->clip);
    if (!clip) {
        drag_.reset();
        return false;
    }
    auto inverse = ParentMatrix(*clip).Inverse();
    if (inverse) {
        swf::Point local = inverse->Apply(pointer);
        double x = std::round(local.x + drag_->offset.x);
        double y = std::round(local.y + drag_->offset.y);
        if (const auto& r = drag_->within) {
            x = std::clamp(x, std::min(r->xMin, r->xMax) * 20, std::max(r->xMin, r->xMax) * 20);
            y = std::clamp(y, std::min(r->yMin, r->yMax) * 20, std::max(r->yMin, r->yMax) * 20);
        }
        clip->matrix.tx = x;
        clip->matrix.ty = y;
        clip->scripted = true;
    }
    const Clip* onto = Under(stage_, stage_.root(), *clip, pointer, 0);
    std::string path;
    if (onto && onto != &stage_.root()) {
        auto target = stage_.GetDisplayProperty(onto->id, 11);
        path = target && target->isString() ? target->asString() : std::string();
    }
    dropTargets_[drag_->clip] = path;
    return true;
}

std::string Geometry::DropTarget(int clip) const {
    auto it = dropTargets_.find(clip);
    return it == dropTargets_.end() ? std::string() : it->second;
}

} // namespace fw::display
