#pragma once
// What scripts see of the display's geometry: bounds, points between spaces, hit tests, the
// drawing commands, masks, and a clip's matrix and colour transform. Lengths are pixels.

#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

namespace fw::avm1 {

class Object;

struct Rect {
    double xMin = 0;
    double xMax = 0;
    double yMin = 0;
    double yMax = 0;
};

// x' = a x + c y + tx, y' = b x + d y + ty.
struct Affine {
    double a = 1;
    double b = 0;
    double c = 0;
    double d = 1;
    double tx = 0;
    double ty = 0;
};

// Channel = channel * mult + add, for r, g, b, a; mult 1 leaves a channel as it is.
struct Tint {
    double mult[4] = {1, 1, 1, 1};
    double add[4] = {0, 0, 0, 0};
};

struct GradientStop {
    std::uint32_t rgb = 0;
    double alpha = 100; // percent
    double ratio = 0;   // 0..255
};

// One call of the drawing methods, its arguments read as numbers.
struct DrawCommand {
    enum class Op {
        MoveTo,
        LineTo,
        CurveTo,
        LineStyle,
        NoLine,
        SolidFill,
        GradientFill,
        BitmapFill,
        EndFill,
        Clear,
        LineGradient // paints the current line with a gradient
    };
    Op op = Op::MoveTo;
    double x = 0; // the point moved or drawn to
    double y = 0;
    double cx = 0; // a curve's control point
    double cy = 0;
    double width = 0; // a line's
    std::uint32_t rgb = 0;
    double alpha = 100; // percent
    bool radial = false;
    std::vector<GradientStop> stops;
    // A gradient's: from its square (-16384..16384) to the clip's pixels.
    Affine matrix;
    // A bitmap fill's: the BitmapData it shows, whether it repeats beyond its edges and is
    // smoothed; its matrix carries the bitmap's pixels to the clip's.
    Object* bitmapData = nullptr;
    bool repeat = true;
    bool smooth = false;
    std::uint8_t spread = 0;     // pad, reflect, repeat
    bool linearRgb = false;      // interpolated in linear light
    std::optional<double> focal; // radial only: -1..1
    // A line's further settings: hinting, which scaling keeps its width ("normal", "none",
    // "vertical", "horizontal" as 0..3), caps and joins as the file numbers them.
    bool pixelHinting = false;
    std::uint8_t noScale = 0;
    std::uint8_t caps = 0;  // round, none, square
    std::uint8_t joint = 0; // round, bevel, miter
    double miterLimit = 3;
};

class GeometryInterface {
public:
    virtual ~GeometryInterface() = default;
    // A clip's bounds in the space of another clip; withStrokes adds the lines' widths.
    // nullopt when either is gone; an empty clip's bounds are the player's invalid rectangle.
    // callerVersion: the file version of the code asking, which may widen that rectangle.
    virtual std::optional<Rect> Bounds(int clip, int space, bool withStrokes,
                                       int callerVersion = 0) = 0;
    // A point of a clip's space in the stage's (toStage) or the other way.
    virtual std::optional<std::pair<double, double>> MapPoint(int clip, double x, double y,
                                                              bool toStage) = 0;
    // Whether a point of the root's space hits a clip: its bounds, or with shapeFlag its shapes.
    virtual bool HitPoint(int clip, double x, double y, bool shapeFlag) = 0;
    // Whether two clips' bounds on the stage overlap.
    virtual bool HitClip(int clip, int other) = 0;
    virtual void Draw(int clip, const DrawCommand& command) = 0;
    // mask 0 or below: none.
    virtual void SetMask(int clip, int mask) = 0;
    virtual std::optional<Affine> GetMatrix(int clip) = 0;
    virtual void SetMatrix(int clip, const Affine& m) = 0;
    // The clip's matrix through the stage (concatenated) rather than its own.
    virtual std::optional<Affine> GetStageMatrix(int clip) = 0;
    virtual std::optional<Tint> GetTint(int clip, bool concatenated) = 0;
    virtual void SetTint(int clip, const Tint& t) = 0;
    // The pointer carries one clip at a time: its origin under the pointer (lockCentre) or
    // where it was, within a rectangle of its parent's space when given.
    virtual void StartDrag(int clip, bool lockCentre, std::optional<Rect> within) = 0;
    virtual void StopDrag() = 0;
};

} // namespace fw::avm1
