#pragma once
// A movie file as the player sees it: the header, the background colour, the shapes, buttons,
// edit texts and device fonts it defines and, frame by frame, the labels, action blocks and
// display list changes. Everything else in the file is skipped.

#include "graphics.h"
#include "image.h"
#include "sound.h"
#include "static_text.h"

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace fw::swf {

struct Rgb {
    std::uint8_t r = 255;
    std::uint8_t g = 255;
    std::uint8_t b = 255;
    friend bool operator==(const Rgb&, const Rgb&) = default;
};

struct TwipsRect {
    std::int32_t xMin = 0;
    std::int32_t xMax = 0;
    std::int32_t yMin = 0;
    std::int32_t yMax = 0;
    friend bool operator==(const TwipsRect&, const TwipsRect&) = default;
};

enum class TagCode : std::uint16_t {
    End = 0,
    ShowFrame = 1,
    DefineShape = 2,
    DefineText = 11,
    DefineFont = 10,
    DefineFontInfo = 13,
    DefineFontInfo2 = 62,
    PlaceObject = 4,
    RemoveObject = 5,
    SetBackgroundColor = 9,
    DoAction = 12,
    DefineShape2 = 22,
    PlaceObject2 = 26,
    RemoveObject2 = 28,
    DefineShape3 = 32,
    DefineText2 = 33,
    DefineButton2 = 34,
    DefineEditText = 37,
    FrameLabel = 43,
    FileAttributes = 69,
    ScriptLimits = 65,
    DefineFont2 = 48,
    DoInitAction = 59,
    PlaceObject3 = 70,
    DefineSprite = 39,
    ExportAssets = 56,
    ImportAssets = 57,
    ImportAssets2 = 71,
    CSMTextSettings = 74,
    DefineFont3 = 75,
    DefineShape4 = 83,
    DefineSound = 14,
    SoundStreamHead = 18,
    SoundStreamHead2 = 45,
    SoundStreamBlock = 19,
    StartSound = 15,
    StartSound2 = 89,
    DefineBits = 6,
    JPEGTables = 8,
    DefineBitsLossless = 20,
    DefineBitsJPEG2 = 21,
    DefineBitsJPEG3 = 35,
    DefineBitsLossless2 = 36,
    DefineBitsJPEG4 = 90,
    DefineButton = 7,
    DefineVideoStream = 60,
    DefineButtonSound = 17,
    DefineButtonCxform = 23,
    DefineMorphShape = 46,
    DefineMorphShape2 = 84,
};

// One action block: the bytes of a DoAction or DoInitAction tag body.
using ActionBlock = std::vector<std::uint8_t>;

struct Frame {
    std::vector<std::string> labels;
    std::vector<ActionBlock> initActions; // run once, before the frame's own actions
    std::vector<ActionBlock> actions;
    std::vector<Placement> placements; // display list changes, in file order
    std::vector<SoundStart> sounds;    // started or stopped as the frame is entered
    std::optional<StreamBlock> stream; // its timeline's stream samples for this frame
    std::vector<std::string> imports;  // addresses of movies it takes assets from
};

// A character a movie takes from another (ImportAssets): the other movie's address and the name
// it exports the character under.
struct ImportedSymbol {
    std::string url;
    std::string name;
    friend bool operator==(const ImportedSymbol&, const ImportedSymbol&) = default;
};

// A movie clip's own timeline (DefineSprite).
struct Sprite {
    std::uint16_t id = 0;
    std::vector<Frame> frames; // at least one
    std::size_t tagBytes = 0;  // of its tags, as the file stores them
};

// Index of the frame carrying the label (labels compare without letter case), or -1.
int FindFrameLabel(const std::vector<Frame>& frames, std::string_view label);

struct Movie {
    bool valid = false;       // false: not a movie at all, shown empty
    bool compressed = false;  // CWS
    std::uint8_t version = 0; // file format version
    std::uint32_t declaredLength = 0;
    std::size_t fileBytes = 0; // as stored, compressed or not
    TwipsRect frameSize;
    double frameRate = 12.0; // frames per second, never zero
    std::uint16_t declaredFrameCount = 0;
    bool hasBackground = false;
    Rgb background;
    bool useNetwork = false; // its file attributes ask for the network rather than local files
    // The movie's own script limits; 0 where it sets none.
    std::uint16_t maxRecursion = 0;
    std::uint16_t scriptTimeoutSeconds = 0;
    std::vector<Frame> frames; // at least one frame once valid
    std::map<std::uint16_t, Character> characters;
    std::map<std::uint16_t, Font> fonts;
    std::map<std::uint16_t, StaticText> texts;
    std::map<std::uint16_t, TextSettings> textSettings; // by the text's id
    std::map<std::uint16_t, Sprite> sprites;
    // Bitmap tags, decoded as read; shared so clips showing one keep it while they live.
    std::map<std::uint16_t, std::shared_ptr<const Image>> bitmaps;
    // Sounds as defined; shared so a sound still playing outlives a replaced movie's library.
    std::map<std::uint16_t, std::shared_ptr<const SoundDefinition>> sounds;
    std::vector<std::uint8_t> jpegTables; // JPEGTables: what every DefineBits picture shares
    std::size_t bitmapPixels = 0;         // of all its bitmaps, held to kMaxMoviePixels
    // A picture file loaded as a movie: what it shows (the movie itself is one empty frame).
    std::shared_ptr<const Image> picture;
    std::map<std::string, std::uint16_t> exports; // ExportAssets: symbol name to character
    // What it imports, by the id it knows the character as; its own definitions of an imported
    // id are dropped when the import came first, the import is when it came last.
    std::map<std::uint16_t, ImportedSymbol> imported;
    std::vector<std::string> problems; // what was wrong with the file, for the trace

    // Index of the frame carrying the label (labels compare without letter case), or -1.
    int FindLabel(std::string_view label) const;
    // The character a linkage name stands for: exported, else imported; the name's own letter
    // case first, then any.
    std::optional<std::uint16_t> FindSymbol(std::string_view name) const;
};

// Limits keeping a hostile file from exhausting memory.
inline constexpr std::uint32_t kMaxMovieBytes = 64u << 20;
inline constexpr std::size_t kMaxFrames = 16000;
inline constexpr std::size_t kMaxCharacters = 65535;
inline constexpr std::size_t kMaxPlacementsPerFrame = 65535;
inline constexpr std::size_t kMaxMoviePixels = 64u << 20; // all of one movie's bitmaps
inline constexpr int kMaxSpriteNesting = 8; // a sprite's tags holding another DefineSprite

// Reads a movie from the bytes of a file. Never throws for bad input: what cannot be read is
// noted in problems, a file that is not a movie gives valid == false and one empty frame.
Movie ParseMovie(std::span<const std::uint8_t> file);

} // namespace fw::swf
