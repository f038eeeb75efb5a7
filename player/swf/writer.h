#pragma once
// Makes movie files from code: the sample CD's movie and the test movies are written with it.

#include "actions.h"
#include "movie.h"

#include <cstdint>
#include <span>
#include <string>
#include <variant>
#include <vector>

namespace fw::swf {

// Values a Push action can carry, each written with its own push type.
struct PushFloat {
    float value;
};
struct PushRegister {
    std::uint8_t index;
};
struct PushConstant {
    std::uint16_t index; // written as an 8-bit index when it fits
};
struct PushUndefined {};
struct PushNull {};
using PushItem = std::variant<std::string, double, std::int32_t, bool, PushFloat, PushRegister,
                              PushConstant, PushUndefined, PushNull>;

// Builds one action block. Jumps name labels that may be bound later; Finish resolves them.
class ActionWriter {
public:
    struct Label {
        int id;
    };

    ActionWriter& Do(Op op); // an action without a body
    ActionWriter& Push(std::vector<PushItem> items);
    ActionWriter& ConstantPool(const std::vector<std::string>& strings);
    ActionWriter& GotoFrame(std::uint16_t frame); // 0-based
    ActionWriter& GotoFrame2(bool play, std::uint16_t sceneBias = 0);
    ActionWriter& GoToLabel(const std::string& label);
    ActionWriter& GetUrl(const std::string& url, const std::string& target);
    ActionWriter& GetUrl2(std::uint8_t flags = 0);
    ActionWriter& StoreRegister(std::uint8_t index);
    ActionWriter& SetTarget(const std::string& target);
    // The byte code fscommand(command, args) compiles to.
    ActionWriter& FsCommand(const std::string& command, const std::string& args);
    // An action with any code and body, well formed or not (for tests of bad input).
    ActionWriter& Raw(std::uint8_t code, std::span<const std::uint8_t> body);
    ActionWriter& RawBytes(std::span<const std::uint8_t> bytes);

    Label NewLabel();
    ActionWriter& Bind(Label label);
    ActionWriter& Jump(Label label);
    ActionWriter& If(Label label);

    // The block's bytes, ending with End unless withEnd is false. Throws std::logic_error for
    // a jump to a label never bound or out of the 16-bit range.
    std::vector<std::uint8_t> Finish(bool withEnd = true) const;

private:
    struct Fixup {
        std::size_t offsetPos; // where the 16-bit offset goes
        int label;
    };
    ActionWriter& Branch(Op op, Label label);

    std::vector<std::uint8_t> bytes_;
    std::vector<std::ptrdiff_t> labels_; // bound position per label, -1 while unbound
    std::vector<Fixup> fixups_;
};

// Builds a shape edge by edge, with styles numbered from 1 in the order they are added.
class ShapeBuilder {
public:
    explicit ShapeBuilder(std::uint16_t id, int tag = 32);
    int Fill(Rgba colour);
    int Line(double width, Rgba colour);
    // The styles of the edges that follow (0: none).
    ShapeBuilder& Style(int fill0, int fill1, int line);
    ShapeBuilder& MoveTo(double x, double y);
    ShapeBuilder& LineTo(double x, double y);
    ShapeBuilder& CurveTo(double cx, double cy, double x, double y);
    // A closed rectangle, clockwise, in the current styles (filled on its right: fill1).
    ShapeBuilder& Rect(double x, double y, double width, double height);
    // Bounds from the edges, widened by half the widest line; geometry built.
    Shape Build() const;

private:
    Shape shape_;
    Point pen_;
    int fill0_ = 0, fill1_ = 0, line_ = 0;
};

struct MovieOptions {
    std::uint8_t version = 6;
    int widthPx = 800;
    int heightPx = 600;
    double frameRate = 12.0;
    bool compressed = false;
};

class MovieWriter {
public:
    explicit MovieWriter(MovieOptions options = {});

    MovieWriter& Background(Rgb colour);
    MovieWriter& Label(const std::string& label);
    MovieWriter& Actions(const ActionWriter& actions);
    MovieWriter& Actions(std::span<const std::uint8_t> block);
    MovieWriter& InitActions(std::uint16_t spriteId, const ActionWriter& actions);
    MovieWriter& ShowFrame();
    MovieWriter& Tag(std::uint16_t code, std::span<const std::uint8_t> body, bool longForm = false);

    // Character definitions and the display list. Coordinates are rounded to whole twips;
    // focal gradients are written as solid fills of their colour outside DefineShape4.
    MovieWriter& DefineShape(const Shape& shape); // tag by shape.tag (2, 22, 32 or 83)
    // DefineMorphShape: solid, gradient and bitmap fills and plain lines. The end edges pair
    // one by one with the start edges and may move the pen, but change no style.
    MovieWriter& DefineMorphShape(const MorphShape& morph);
    // A device font (a name) when the font has no glyphs; else its glyphs, codes and any
    // layout as DefineFont3, all in units of an em of 20480.
    MovieWriter& DefineFont(const Font& font);
    MovieWriter& DefineText2(const StaticText& text);
    // Rows of premultiplied alpha, red, green, blue bytes.
    MovieWriter& DefineBitsLossless2(std::uint16_t id, int width, int height,
                                     std::span<const std::uint8_t> argb);
    MovieWriter& DefineEditText(const EditText& text);
    // DefineButton2, followed by DefineButtonSound when the button has sounds.
    MovieWriter& DefineButton2(const Button& button);
    // A movie clip whose timeline is what `timeline` holds: its frames, placements and actions
    // (definitions belong to the movie, not to a sprite).
    MovieWriter& DefineSprite(std::uint16_t id, const MovieWriter& timeline);
    // PlaceObject2, or 3 for visibility; clip actions (onClipEvent and on(...)) included.
    MovieWriter& Place(const Placement& placement);
    MovieWriter& Remove(std::uint16_t depth); // RemoveObject2
    MovieWriter& DefineSound(const SoundDefinition& sound);
    // StartSound, or StartSound2 when the start names a class.
    MovieWriter& StartSound(const SoundStart& start);
    MovieWriter& Export(std::uint16_t id, const std::string& name); // ExportAssets of one
    // The timeline's stream: its head once, then each frame's block before its ShowFrame.
    MovieWriter& SoundStream(const StreamHead& head);
    MovieWriter& StreamBlock(std::span<const std::uint8_t> data);

    // The file: header, tags, End. The frame count is the number of ShowFrame tags.
    std::vector<std::uint8_t> Finish() const;

private:
    MovieOptions options_;
    std::vector<std::uint8_t> tags_;
    std::uint16_t frames_ = 0;
};

} // namespace fw::swf
