#pragma once
// Where the window's picture lies on the printed page.

namespace fw {

struct PageRect {
    int Left = 0;
    int Top = 0;
    int Width = 0;
    int Height = 0;
    bool operator==(const PageRect&) const = default;
};

// The picture as large as the page allows, keeping its aspect ratio, centred. Sizes that are
// not positive give an empty rectangle.
PageRect FitCentred(int pictureWidth, int pictureHeight, int pageWidth, int pageHeight);

} // namespace fw
