#pragma once
// Geometry of the display tree: what each display object covers (bounds with and without its
// lines' widths), exact hit tests through shapes and the scripts' drawings, and the shapes the
// drawing methods build on a clip.

#include "avm1/display_geometry.h"
#include "swf/graphics.h"

#include <map>
#include <optional>
#include <string>

namespace fw::display {

struct Clip;
class Stage;

// What the drawing methods have built on a clip: a shape of its own, below its children.
// Every fill started gets a style of its own; its closing edges carry no line.
struct Drawing {
    swf::Shape shape;
    swf::Point pen;
    swf::Point fillStart; // where the open fill's current outline began
    int fill = 0;         // the open fill's style, 1-based; 0 none
    int line = 0;         // the current line style, 1-based; 0 none
    bool filling = false; // a begun fill has edges since its last outline was closed
    // Which change it was made by last, unique among every drawing's: a host compares it to
    // see that the picture changed.
    std::uint64_t revision = 0;
    // The BitmapData objects its bitmap fills show, which those fills number from 1.
    std::vector<avm1::Object*> bitmaps;

    void Apply(const avm1::DrawCommand& command);
    // The shape as it shows: a fill still open is closed back to where its outline began.
    swf::Shape Closed() const;

private:
    void CloseOutline();
    void AddEdge(swf::Point to, std::optional<swf::Point> control);
};

// The rectangle the reference player answers for a display object with nothing in it.
swf::Bounds InvalidBounds();
bool IsInvalid(const swf::Bounds& b);
swf::Bounds TransformBounds(const swf::Bounds& b, const swf::Matrix& m);

// The box around what a display object shows, children included, in the space the matrix
// carries its own to; nullopt for nothing.
std::optional<swf::Bounds> ContentBounds(const Clip& clip, bool withStrokes,
                                         const swf::Matrix& m = {});
// From a clip's space to the stage's (the root's own matrix included).
swf::Matrix StageMatrix(const Clip& clip);
// Whether a point of the stage (pixels) hits a clip: its bounds on the stage, or with
// shapeFlag its shapes, drawings and texts.
bool HitTestPoint(const Clip& clip, double stageX, double stageY, bool shapeFlag);
// Whether a point of a shape's space (twips) lies in one of its fills or on one of its lines.
// pixel: how long one pixel of the stage is in that space, the width of a hairline.
bool HitShapeEdges(const swf::Shape& shape, swf::Point p, double pixel = 20);

// The scripts' side of the geometry, over the stage's tree.
class Geometry : public avm1::GeometryInterface {
public:
    explicit Geometry(Stage& stage) : stage_(stage) {}
    std::optional<avm1::Rect> Bounds(int clip, int space, bool withStrokes,
                                     int callerVersion = 0) override;
    std::optional<std::pair<double, double>> MapPoint(int clip, double x, double y,
                                                      bool toStage) override;
    bool HitPoint(int clip, double x, double y, bool shapeFlag) override;
    bool HitClip(int clip, int other) override;
    void Draw(int clip, const avm1::DrawCommand& command) override;
    void SetMask(int clip, int mask) override;
    std::optional<avm1::Affine> GetMatrix(int clip) override;
    void SetMatrix(int clip, const avm1::Affine& m) override;
    std::optional<avm1::Affine> GetStageMatrix(int clip) override;
    std::optional<avm1::Tint> GetTint(int clip, bool concatenated) override;
    void SetTint(int clip, const avm1::Tint& t) override;
    void StartDrag(int clip, bool lockCentre, std::optional<avm1::Rect> within) override;
    void StopDrag() override;
    // Moves the dragged clip to the pointer (stage twips); false when nothing is dragged.
    bool Drag(swf::Point pointer);
    // What a clip was last dragged onto, as a slash path; empty for nothing.
    std::string DropTarget(int clip) const;

private:
    struct Dragged {
        int clip = 0;
        swf::Point offset; // from the pointer to the clip's origin, in the parent's space
        std::optional<avm1::Rect> within;
    };
    Stage& stage_;
    std::optional<Dragged> drag_;
    std::map<int, std::string> dropTargets_;
    // Once code of version 8 or later has asked for bounds, or the first movie is of such a
    // version, the invalid rectangle reads one twip wider for every movie after.
    bool wideInvalid_ = false;
};

} // namespace fw::display
