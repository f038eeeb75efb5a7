#pragma once
// What the movie draws: shapes, buttons and edit texts as the file defines them, the
// placements of each frame, and the geometry the control paints and hit-tests with.
// Coordinates are twips (1/20 pixel) throughout.

#include "filter.h"
#include "sound.h"

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <variant>
#include <vector>

namespace fw::swf {

class ByteReader;
class BitReader;

struct Rgba {
    std::uint8_t r = 0;
    std::uint8_t g = 0;
    std::uint8_t b = 0;
    std::uint8_t a = 255;
    friend bool operator==(const Rgba&, const Rgba&) = default;
};

struct Point {
    double x = 0;
    double y = 0;
    friend bool operator==(const Point&, const Point&) = default;
};

struct Bounds {
    double xMin = 0;
    double xMax = 0;
    double yMin = 0;
    double yMax = 0;
    friend bool operator==(const Bounds&, const Bounds&) = default;
};

// x' = a x + c y + tx, y' = b x + d y + ty.
struct Matrix {
    double a = 1;
    double b = 0;
    double c = 0;
    double d = 1;
    double tx = 0;
    double ty = 0;
    friend bool operator==(const Matrix&, const Matrix&) = default;

    Point Apply(Point p) const { return {a * p.x + c * p.y + tx, b * p.x + d * p.y + ty}; }
    // This after inner: (outer * inner) applied to p is outer(inner(p)).
    Matrix Then(const Matrix& outer) const;
    // The inverse; nullopt for a matrix that flattens everything onto a line.
    std::optional<Matrix> Inverse() const;
};

// Colour = colour * mult / 256 + add, each channel clamped to 0..255.
struct ColorTransform {
    std::int16_t mult[4] = {256, 256, 256, 256}; // r, g, b, a in 8.8 fixed point
    std::int16_t add[4] = {0, 0, 0, 0};
    friend bool operator==(const ColorTransform&, const ColorTransform&) = default;

    Rgba Apply(Rgba c) const;
    ColorTransform Then(const ColorTransform& outer) const;
};

// A closed outline made of straight segments (curves are flattened).
using Contour = std::vector<Point>;

// Everything filled with one fill style: its contours, filled even-odd.
struct FillRegion {
    Rgba colour;
    std::vector<Contour> contours;
};

// Everything stroked with one line style: open polylines.
struct Stroke {
    Rgba colour;
    double width = 20; // twips
    std::vector<Contour> lines;
};

// One edge as stored, kept for tests and for anything that wants the raw outline.
struct Edge {
    Point from;
    Point to;
    std::optional<Point> control; // a quadratic curve when present
    int fill0 = 0;                // indices into Shape::fills, 1-based; 0 = none
    int fill1 = 0;
    int line = 0; // 1-based into Shape::lines; 0 = none
    friend bool operator==(const Edge&, const Edge&) = default;
};

enum class Spread : std::uint8_t { Pad = 0, Reflect = 1, Repeat = 2 };
enum class Interpolation : std::uint8_t { Rgb = 0, LinearRgb = 1 };

struct GradientStop {
    std::uint8_t ratio = 0; // 0..255 along the gradient
    Rgba colour;
    friend bool operator==(const GradientStop&, const GradientStop&) = default;
};

// A gradient spans the square -16384..16384 of its own space; matrix carries that square into
// the shape's twips. Linear ones run along x; radial ones grow from the centre.
struct Gradient {
    Matrix matrix;
    Spread spread = Spread::Pad;
    Interpolation interpolation = Interpolation::Rgb;
    std::vector<GradientStop> stops; // at most 15
    double focal = 0;                // -1..1 along x, focal gradients only
    friend bool operator==(const Gradient&, const Gradient&) = default;
};

// Fill style types as the file numbers them.
enum FillType : std::uint8_t {
    kFillSolid = 0x00,
    kFillLinear = 0x10,
    kFillRadial = 0x12,
    kFillFocal = 0x13,
    kFillRepeatingBitmap = 0x40,
    kFillClippedBitmap = 0x41,
    kFillRepeatingBitmapHard = 0x42, // not smoothed
    kFillClippedBitmapHard = 0x43,   // not smoothed
};

struct FillStyle {
    // A solid fill's colour; for the others one representative colour (hit tests and any
    // painter that draws a fill flat).
    Rgba colour;
    bool solid = true;
    std::uint8_t type = kFillSolid;
    Gradient gradient;        // linear, radial and focal fills
    std::uint16_t bitmap = 0; // bitmap fills: the bitmap's character id
    Matrix bitmapMatrix;      // bitmap fills: from the bitmap's pixels to the shape's twips
    friend bool operator==(const FillStyle&, const FillStyle&) = default;
};

enum class Cap : std::uint8_t { Round = 0, None = 1, Square = 2 };
enum class Join : std::uint8_t { Round = 0, Bevel = 1, Miter = 2 };

struct LineStyle {
    double width = 20; // twips; 0 is a hairline, one pixel wide at any scale
    Rgba colour;
    Cap startCap = Cap::Round;
    Cap endCap = Cap::Round;
    Join join = Join::Round;
    double miterLimit = 3; // in widths
    bool noHScale = false; // the width stays as given when the shape is scaled across
    bool noVScale = false; // ... or up and down
    bool pixelHinting = false;
    bool noClose = false;          // a closed outline keeps its caps instead of a join
    std::optional<FillStyle> fill; // a line painted with a gradient or bitmap
    friend bool operator==(const LineStyle&, const LineStyle&) = default;
};

struct Shape {
    std::uint16_t id = 0;
    int tag = 0; // 2, 22 or 32
    Bounds bounds;
    std::vector<FillStyle> fills; // all style arrays of the shape, concatenated
    std::vector<LineStyle> lines;
    std::vector<Edge> edges;
    bool nonZero = false; // fills by the non-zero winding rule rather than even-odd
    // Built from the edges once read.
    std::vector<FillRegion> regions;
    std::vector<Stroke> strokes;
};

struct Font {
    std::uint16_t id = 0;
    std::string name; // UTF-8
    bool bold = false;
    bool italic = false;
    // Layout, when the font carries it: per glyph its character and advance, and the font's
    // ascent, descent and leading, all in units of an em of emSquare.
    bool hasLayout = false;
    double emSquare = 1024;
    std::vector<std::uint16_t> codes;
    std::vector<double> advances;
    double ascent = 0;
    double descent = 0;
    double leading = 0;
    // Each glyph's outline in units of the em (y down), its edges filled by their fill bits.
    std::vector<std::vector<Edge>> glyphs;
    bool smallText = false;
    bool shiftJis = false;
    bool ansi = false;
    friend bool operator==(const Font&, const Font&) = default;
};

enum class TextAlign : std::uint8_t { Left = 0, Right = 1, Center = 2, Justify = 3 };

struct EditText {
    std::uint16_t id = 0;
    Bounds bounds;
    bool wordWrap = false;
    bool multiline = false;
    bool password = false;
    bool readOnly = false;
    bool html = false;
    bool border = false;
    bool noSelect = false;
    bool autoSize = false;
    std::uint16_t fontId = 0;
    bool hasFont = false;
    std::string fontClass; // a font named by its class rather than its id
    bool embedFonts = false;
    bool wasStatic = false;
    double height = 240; // twips
    Rgba colour;
    std::uint16_t maxLength = 0;
    TextAlign align = TextAlign::Left;
    double leftMargin = 0;
    double rightMargin = 0;
    double indent = 0;
    double leading = 0;
    std::string variable; // UTF-8; empty: not bound
    std::string initialText;
    bool hasText = false;
    friend bool operator==(const EditText&, const EditText&) = default;
};

// Button state bits of a button record.
enum ButtonState : std::uint8_t {
    kStateUp = 0x01,
    kStateOver = 0x02,
    kStateDown = 0x04,
    kStateHit = 0x08,
};

struct ButtonRecord {
    std::uint8_t states = 0;
    std::uint16_t character = 0;
    std::uint16_t depth = 0;
    Matrix matrix;
    ColorTransform colour;
    friend bool operator==(const ButtonRecord&, const ButtonRecord&) = default;
};

// Transition bits of a button's condition (as the 16-bit little-endian field reads).
enum ButtonCondition : std::uint16_t {
    kCondRollOver = 0x0001,    // idle to over-up
    kCondRollOut = 0x0002,     // over-up to idle
    kCondPress = 0x0004,       // over-up to over-down
    kCondRelease = 0x0008,     // over-down to over-up
    kCondDragOut = 0x0010,     // over-down to out-down
    kCondDragOver = 0x0020,    // out-down to over-down
    kCondReleaseOut = 0x0040,  // out-down to idle
    kCondIdleToDown = 0x0080,  // idle to over-down
    kCondOverDownIdle = 0x0100 // over-down to idle
};

struct ButtonAction {
    std::uint16_t conditions = 0; // ButtonCondition bits
    std::uint8_t key = 0;         // key press code, 0 for none
    std::vector<std::uint8_t> actions;
    friend bool operator==(const ButtonAction&, const ButtonAction&) = default;
};

// What a button plays on one of its transitions (DefineButtonSound), kept as the file gives it.
struct ButtonSound {
    std::uint16_t sound = 0; // the sound's character id; 0 plays nothing
    SoundInfo info;
    friend bool operator==(const ButtonSound&, const ButtonSound&) = default;
};

struct Button {
    std::uint16_t id = 0;
    bool trackAsMenu = false;
    std::vector<ButtonRecord> records;
    std::vector<ButtonAction> actions;
    // Over-up to idle, idle to over-up, over-up to over-down, over-down to over-up.
    std::array<ButtonSound, 4> sounds;
    friend bool operator==(const Button&, const Button&) = default;
};

// A shape that changes from one outline and set of styles to another as its placement's ratio
// goes from 0 to 65535: its styles in pairs, its edges in two lists that pair one by one.
struct MorphShape {
    std::uint16_t id = 0;
    int tag = 0; // 46 or 84
    Bounds startBounds;
    Bounds endBounds;
    std::vector<FillStyle> startFills; // startFills[i] becomes endFills[i]
    std::vector<FillStyle> endFills;
    std::vector<LineStyle> startLines;
    std::vector<LineStyle> endLines;
    std::vector<Edge> startEdges; // carry the style indices
    std::vector<Edge> endEdges;   // only the outline
};

// A video the timeline places: its frames are not decoded, so it shows nothing, but scripts
// see it as the object it is.
struct Video {
    std::uint16_t id = 0;
    std::uint16_t frames = 0;
    std::uint16_t width = 0; // pixels
    std::uint16_t height = 0;
};

using Character = std::variant<Shape, Button, EditText, MorphShape, Video>;

// Actions a placed clip runs on its events (onClipEvent), by the event bits of the file.
struct ClipAction {
    std::uint32_t events = 0;
    std::uint8_t key = 0; // the key code of a key press event
    std::vector<std::uint8_t> actions;
    friend bool operator==(const ClipAction&, const ClipAction&) = default;
};

// One change to the display list, in the order the frame's tags give them.
struct Placement {
    enum class Kind { Place, Remove } kind = Kind::Place;
    std::uint16_t depth = 0;
    bool move = false; // modifies what stands at the depth
    std::optional<std::uint16_t> character;
    std::optional<Matrix> matrix;
    std::optional<ColorTransform> colour;
    std::optional<std::string> name;
    std::optional<bool> visible;
    std::optional<std::uint16_t> ratio;
    std::optional<std::uint16_t> clipDepth; // masks the depths above it up to this one
    std::optional<std::string> className;
    std::optional<std::vector<Filter>> filters;
    std::optional<std::uint8_t> blendMode; // as the file numbers them: 0 and 1 normal, 2 layer, ...
    std::optional<bool> cacheAsBitmap;
    std::vector<ClipAction> clipActions;
    std::size_t actionsBefore = 0; // action blocks of the frame that come before it in the file
    friend bool operator==(const Placement&, const Placement&) = default;
};

// Readers of the records and tags, each tolerant: a record cut short reads as far as it goes
// and reports false (or the problem) instead of throwing.
Bounds ReadBounds(ByteReader& r);
Matrix ReadMatrix(ByteReader& r);
ColorTransform ReadColorTransform(ByteReader& r, bool withAlpha);

// An edge record after its type bit, from e.from: sets e.to and, for a curve, e.control.
void ReadEdgeRecord(BitReader& bits, Edge& e);

// Tag readers. Each returns nullopt and names the fault in problem for a body it cannot use.
std::optional<Shape> ReadShape(int tag, std::span<const std::uint8_t> body, std::string& problem);
// The two flag bytes of a line style of DefineShape4 (and of a morph's second kind) and its
// miter limit; true when a fill style follows in place of the colour.
bool ReadLineStyleFlags(ByteReader& r, LineStyle& l);
// The average of a gradient's stops, its colour where a fill is drawn flat.
Rgba AverageColour(const std::vector<GradientStop>& stops);
// The edge and style-change records of a shape, up to its end record, into s.edges; style
// indices point into s.fills and s.lines as read so far.
bool ReadShapeRecords(ByteReader& r, int tag, Shape& s, std::string& problem);
// DefineButton: records without colour transforms, then one action block run on release.
std::optional<Button> ReadButton1(std::span<const std::uint8_t> body, std::string& problem);
std::optional<Button> ReadButton2(std::span<const std::uint8_t> body, std::string& problem);
std::optional<EditText> ReadEditText(std::span<const std::uint8_t> body, std::string& problem);
// DefineFont2, or DefineFont3 (whose em is twenty times finer) when font3.
std::optional<Font> ReadFont(std::span<const std::uint8_t> body, std::string& problem,
                             bool font3 = false);
// DefineFont: glyph outlines only; DefineFontInfo and DefineFontInfo2 name them and give
// their characters (ApplyFontInfo), the name in the movie's text encoding.
std::optional<Font> ReadFont1(std::span<const std::uint8_t> body, std::string& problem);
bool ApplyFontInfo(Font& font, std::span<const std::uint8_t> body, bool info2);
// The glyph outlines of an offset table (offsets counted from its start), up to end.
std::vector<std::vector<Edge>> ReadGlyphTable(std::span<const std::uint8_t> table,
                                              std::size_t count, bool wideOffsets, std::size_t end);
std::optional<Placement> ReadPlacement(int tag, std::span<const std::uint8_t> body,
                                       std::string& problem, int version = 6);

// Builds a shape's fill regions and strokes from its edges (curves flattened).
void BuildGeometry(Shape& shape);

// Even-odd containment of a point in a set of contours.
bool Contains(const std::vector<Contour>& contours, Point p);
// Whether a point lies inside any fill of the shape or within half a line's width of a stroke.
bool HitShape(const Shape& shape, Point p);

// ScaleMode 0: the movie's frame shown whole in the client, aspect kept, centred.
// Maps twips of the frame to client pixels.
Matrix ShowAllMatrix(double frameXMin, double frameYMin, double frameWidth, double frameHeight,
                     int clientWidth, int clientHeight);

// The text an HTML edit text shows: tags dropped, <br> and </p> as line breaks, the five
// named entities decoded.
std::string PlainFromHtml(std::string_view html);

} // namespace fw::swf
