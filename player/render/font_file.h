#pragma once
// Device fonts read from TrueType files.

#include "device_fonts.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace fw::render {

class TrueTypeFont {
public:
    // nullptr for bytes that are not a font we can read.
    static std::unique_ptr<TrueTypeFont> Open(std::vector<std::uint8_t> bytes);
    static std::unique_ptr<TrueTypeFont> OpenFile(const std::string& path);
    ~TrueTypeFont();
    bool Glyph(char32_t code, GlyphOutline& out) const;

private:
    TrueTypeFont() = default;
    std::vector<std::uint8_t> bytes_;
    struct Info;
    std::unique_ptr<Info> info_;
    double scale_ = 0; // font units to ems
};

// One file per face and style, each read when a glyph first asks for it; a style without its
// file falls back to the face's regular, a face without any to sans.
class FontFiles final : public DeviceFonts {
public:
    void Add(Face face, bool bold, bool italic, std::string path);
    bool Glyph(Face face, bool bold, bool italic, char32_t code, GlyphOutline& out) const override;

private:
    static int Key(Face face, bool bold, bool italic) {
        return static_cast<int>(face) * 4 + (bold ? 2 : 0) + (italic ? 1 : 0);
    }
    const TrueTypeFont* Font(int key) const;
    struct File {
        std::string path;
        bool tried = false;
        std::unique_ptr<TrueTypeFont> font;
    };
    mutable std::map<int, File> files_;
};

// The DejaVu families in dir (Sans, Serif, Sans Mono with their bold and oblique files);
// nullptr when not even one regular face is there.
std::shared_ptr<FontFiles> DejaVuFonts(const std::string& dir);
// The Liberation families in dir, which take the same room letter by letter as the fonts a
// movie's device texts meet on Windows (Arial, Times New Roman, Courier New).
std::shared_ptr<FontFiles> LiberationFonts(const std::string& dir);

} // namespace fw::render
