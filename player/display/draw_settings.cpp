// What scripts set about how a display object is drawn: its filters, blend mode, bitmap
// caching, opaque background and scrolling rectangle.

#include "stage.h"

#include <cmath>

namespace fw::display {

void Stage::SetFilters(int id, std::vector<swf::Filter> filters) {
    if (Clip* clip = Find(id)) {
        clip->filters = std::move(filters);
    }
}

std::optional<avm1::DisplayInterface::DrawSettings> Stage::GetDrawSettings(int id) {
    Clip* clip = FindAny(id);
    if (!clip) {
        return std::nullopt;
    }
    DrawSettings s;
    s.blendMode = clip->blendMode;
    s.cacheAsBitmap = clip->cacheAsBitmap;
    s.opaqueBackground = clip->opaqueBackground;
    if (const auto& r = clip->scrollRect) {
        s.scrollRect = avm1::Rect{r->xMin, r->xMax, r->yMin, r->yMax};
    }
    return s;
}

void Stage::SetDrawSettings(int id, const DrawSettings& s) {
    Clip* clip = Find(id);
    if (!clip) {
        return;
    }
    clip->blendMode = s.blendMode;
    clip->cacheAsBitmap = s.cacheAsBitmap;
    clip->opaqueBackground = s.opaqueBackground;
    clip->scrollRect.reset();
    if (const auto& r = s.scrollRect) {
        // A rectangle that is no number anywhere shows nothing rather than everything.
        auto num = [](double v) { return std::isfinite(v) ? v : 0.0; };
        clip->scrollRect = swf::Bounds{num(r->xMin), num(r->xMax), num(r->yMin), num(r->yMax)};
    }
}

} // namespace fw::display
