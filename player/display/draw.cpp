#include "draw.h"

#include "stage.h"

namespace fw::display {

void DrawStage(const Stage& stage, render::Picture& target, const swf::Matrix& toPixels) {
    (void)stage;
    (void)target;
    (void)toPixels;
}

} // namespace fw::display
