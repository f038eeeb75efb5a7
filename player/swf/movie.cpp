#include "movie.h"

#include "bitmap.h"
#include "button.h"
#include "byte_reader.h"
#include "code_page.h"
#include "inflate.h"
#include "morph.h"

#include <algorithm>
#include <optional>

namespace fw::swf {
namespace {

bool EqualsNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; };
               return lower(x) == lower(y);
           });
}

// Reads a character definition into the movie's dictionary; a later definition of the same
// id is ignored, as players do.
void Define(Movie& movie, std::uint16_t code, std::span<const std::uint8_t> body) {
    std::string problem;
    std::optional<Character> character;
    switch (static_cast<TagCode>(code)) {
    case TagCode::DefineButton2:
        if (auto b = ReadButton2(body, problem)) {
            character = std::move(*b);
        }
        break;
    case TagCode::DefineButton:
        if (auto b = ReadButton1(body, problem)) {
            character = std::move(*b);
        }
        break;
    case TagCode::DefineMorphShape:
    case TagCode::DefineMorphShape2:
        if (auto m = ReadMorphShape(code, body, problem)) {
            character = std::move(*m);
        }
        break;
    case TagCode::DefineEditText:
        if (auto t = ReadEditText(body, problem)) {
            if (movie.version < 6) {
                t->initialText = CodePageText(t->initialText);
                t->variable = CodePageText(t->variable);
            }
            character = std::move(*t);
        }
        break;
    case TagCode::DefineVideoStream: {
        ByteReader r(body);
        Video v;
        v.id = r.U16();
        v.frames = r.U16();
        v.width = r.U16();
        v.height = r.U16();
        if (r.ok()) {
            character = v;
        } else {
            problem = "video cut short";
        }
        break;
    }
    default:
        if (auto s = ReadShape(code, body, problem)) {
            character = std::move(*s);
        }
        break;
    }
    if (!problem.empty()) {
        movie.problems.push_back(problem);
    }
    if (!character) {
        return;
    }
    std::uint16_t id = std::visit([](const auto& c) { return c.id; }, *character);
    if (movie.characters.count(id)) {
        movie.problems.push_back("character " + std::to_string(id) + " defined twice");
        return;
    }
    if (movie.characters.size() >= kMaxCharacters) {
        movie.problems.push_back("too many characters");
        return;
    }
    movie.characters.emplace(id, std::move(*character));
}

void DefineBitmap(Movie& movie, std::uint16_t code, std::span<const std::uint8_t> body) {
    std::string problem;
    std::size_t budget = kMaxMoviePixels - std::min(movie.bitmapPixels, kMaxMoviePixels);
    BitmapTag tag = ReadBitmap(code, body, movie.jpegTables, problem, budget);
    if (!problem.empty()) {
        movie.problems.push_back(problem);
    }
    if (!tag.image) {
        return;
    }
    if (movie.bitmaps.count(tag.id)) {
        movie.problems.push_back("bitmap " + std::to_string(tag.id) + " defined twice");
        return;
    }
    movie.bitmapPixels += tag.image->pixels.size();
    movie.bitmaps.emplace(tag.id, std::make_shared<const Image>(std::move(*tag.image)));
}

void ReadTags(ByteReader& r, Movie& movie, std::vector<Frame>& frames, int nesting);

void ReadSprite(std::span<const std::uint8_t> body, Movie& movie, int nesting) {
    ByteReader r(body);
    Sprite sprite;
    sprite.id = r.U16();
    r.U16(); // frame count: the ShowFrame tags say it
    if (!r.ok()) {
        movie.problems.push_back("sprite cut short");
        return;
    }
    sprite.tagBytes = body.size() - 4;
    if (nesting >= kMaxSpriteNesting) {
        movie.problems.push_back("sprite " + std::to_string(sprite.id) + " nested too deep");
        return;
    }
    ReadTags(r, movie, sprite.frames, nesting + 1);
    if (movie.sprites.count(sprite.id) || movie.characters.count(sprite.id)) {
        movie.problems.push_back("character " + std::to_string(sprite.id) + " defined twice");
        return;
    }
    if (movie.sprites.size() + movie.characters.size() >= kMaxCharacters) {
        movie.problems.push_back("too many characters");
        return;
    }
    movie.sprites.emplace(sprite.id, std::move(sprite));
}

void ReadExports(std::span<const std::uint8_t> body, Movie& movie) {
    ByteReader r(body);
    std::uint16_t count = r.U16();
    for (std::uint16_t i = 0; i < count && r.ok(); ++i) {
        std::uint16_t id = r.U16();
        std::string name = r.CString();
        if (r.ok()) {
            movie.exports.emplace(std::move(name), id);
        }
    }
    if (!r.ok()) {
        movie.problems.push_back("export list cut short");
    }
}

bool Defines(const Movie& movie, std::uint16_t id) {
    return movie.characters.count(id) || movie.sprites.count(id) || movie.texts.count(id) ||
           movie.fonts.count(id) || movie.bitmaps.count(id) || movie.sounds.count(id);
}

// The address the symbols come from, nullopt without one. An id the movie already has keeps
// its first meaning.
std::optional<std::string> ReadImports(std::span<const std::uint8_t> body, bool second,
                                       Movie& movie) {
    ByteReader r(body);
    std::string url = r.CString();
    if (!r.ok() || url.empty()) {
        movie.problems.push_back("import without an address");
        return std::nullopt;
    }
    if (second) {
        r.U16(); // reserved
    }
    std::uint16_t count = r.U16();
    for (std::uint16_t i = 0; i < count && r.ok(); ++i) {
        std::uint16_t id = r.U16();
        std::string name = r.CString();
        if (!r.ok()) {
            break;
        }
        if (id == 0) {
            // Id 0 stands for the clips scripts make empty; it names no symbol to import.
            movie.problems.push_back("import of " + name + " as character 0");
            continue;
        }
        if (Defines(movie, id) || movie.imported.count(id)) {
            movie.problems.push_back("import of " + name + " as character " + std::to_string(id) +
                                     ", which it has already");
            continue;
        }
        movie.imported.emplace(id, ImportedSymbol{url, std::move(name)});
    }
    if (!r.ok()) {
        movie.problems.push_back("import list cut short");
    }
    return url;
}

// Definitions of ids imported before them give way to the import.
void DropImportedDefinitions(Movie& movie) {
    for (const auto& [id, symbol] : movie.imported) {
        if (Defines(movie, id)) {
            movie.problems.push_back("character " + std::to_string(id) + " defined after " +
                                     symbol.name + " was imported as it");
        }
        movie.characters.erase(id);
        movie.sprites.erase(id);
        movie.texts.erase(id);
        movie.textSettings.erase(id);
        movie.fonts.erase(id);
        movie.bitmaps.erase(id);
        movie.sounds.erase(id);
    }
}

void ReadTags(ByteReader& r, Movie& movie, std::vector<Frame>& frames, int nesting) {
    Frame current;
    bool currentUsed = false;
    std::optional<StreamHead> streamHead; // this timeline's own

    auto finishFrame = [&] {
        frames.push_back(std::move(current));
        current = Frame{};
        currentUsed = false;
    };
    bool ended = false;
    while (!r.atEnd()) {
        std::uint16_t codeAndLength = r.U16();
        std::uint32_t length = codeAndLength & 0x3f;
        auto code = static_cast<std::uint16_t>(codeAndLength >> 6);
        if (length == 0x3f) {
            length = r.U32();
        }
        if (!r.ok()) {
            movie.problems.push_back("tag header cut short");
            break;
        }
        if (length > r.left()) {
            movie.problems.push_back("tag " + std::to_string(code) +
                                     " runs past the end of the file");
            break;
        }
        auto body = r.Bytes(length);
        switch (static_cast<TagCode>(code)) {
        case TagCode::End:
            ended = true;
            break;
        case TagCode::ShowFrame:
            if (frames.size() >= kMaxFrames) {
                movie.problems.push_back("too many frames");
                ended = true;
                break;
            }
            finishFrame();
            break;
        case TagCode::FileAttributes:
            movie.useNetwork = !body.empty() && (body[0] & 1);
            break;
        case TagCode::ScriptLimits:
            if (body.size() >= 4) {
                movie.maxRecursion = static_cast<std::uint16_t>(body[0] | body[1] << 8);
                movie.scriptTimeoutSeconds = static_cast<std::uint16_t>(body[2] | body[3] << 8);
            }
            break;
        case TagCode::SetBackgroundColor:
            if (body.size() < 3) {
                movie.problems.push_back("background colour cut short");
                break;
            }
            movie.hasBackground = true;
            movie.background = Rgb{body[0], body[1], body[2]};
            break;
        case TagCode::DoAction:
            current.actions.emplace_back(body.begin(), body.end());
            currentUsed = true;
            break;
        case TagCode::DoInitAction:
            if (body.size() < 2) {
                movie.problems.push_back("init action cut short");
                break;
            }
            current.initActions.emplace_back(body.begin() + 2, body.end());
            currentUsed = true;
            break;
        case TagCode::FrameLabel: {
            auto nul = std::find(body.begin(), body.end(), std::uint8_t{0});
            if (nul == body.end()) {
                movie.problems.push_back("frame label without terminator");
            }
            current.labels.emplace_back(body.begin(), nul);
            currentUsed = true;
            break;
        }
        case TagCode::DefineShape:
        case TagCode::DefineShape2:
        case TagCode::DefineShape3:
        case TagCode::DefineShape4:
        case TagCode::DefineButton2:
        case TagCode::DefineEditText:
        case TagCode::DefineButton:
        case TagCode::DefineMorphShape:
        case TagCode::DefineMorphShape2:
        case TagCode::DefineVideoStream:
            Define(movie, code, body);
            break;
        case TagCode::DefineButtonCxform:
            ReadButtonColour(movie, body);
            break;
        case TagCode::DefineButtonSound:
            ReadButtonSounds(movie, body);
            break;
        case TagCode::DefineText:
        case TagCode::DefineText2: {
            std::string problem;
            auto text = ReadStaticText(body, code == 33, problem);
            if (!problem.empty()) {
                movie.problems.push_back(problem);
            }
            if (text && movie.texts.size() < kMaxCharacters) {
                movie.texts.emplace(text->id, std::move(*text));
            }
            break;
        }
        case TagCode::CSMTextSettings:
            if (auto settings = ReadTextSettings(body)) {
                movie.textSettings[settings->first] = settings->second;
            } else {
                movie.problems.push_back("text settings cut short");
            }
            break;
        case TagCode::JPEGTables:
            if (movie.jpegTables.empty()) {
                movie.jpegTables.assign(body.begin(), body.end());
            }
            break;
        case TagCode::DefineBits:
        case TagCode::DefineBitsJPEG2:
        case TagCode::DefineBitsJPEG3:
        case TagCode::DefineBitsJPEG4:
        case TagCode::DefineBitsLossless:
        case TagCode::DefineBitsLossless2:
            DefineBitmap(movie, code, body);
            break;
        case TagCode::DefineSprite:
            ReadSprite(body, movie, nesting);
            break;
        case TagCode::DefineSound: {
            std::string problem;
            if (auto sound = ReadDefineSound(body, problem)) {
                if (movie.sounds.size() < kMaxCharacters) {
                    movie.sounds.try_emplace(
                        sound->id, std::make_shared<const SoundDefinition>(std::move(*sound)));
                }
            } else {
                movie.problems.push_back(problem);
            }
            break;
        }
        case TagCode::StartSound:
        case TagCode::StartSound2: {
            std::string problem;
            if (auto start = ReadStartSound(code, body, problem)) {
                if (current.sounds.size() < kMaxPlacementsPerFrame) {
                    current.sounds.push_back(std::move(*start));
                    currentUsed = true;
                }
            } else {
                movie.problems.push_back(problem);
            }
            break;
        }
        case TagCode::SoundStreamHead:
        case TagCode::SoundStreamHead2: {
            std::string problem;
            streamHead = ReadStreamHead(body, problem);
            if (!streamHead) {
                movie.problems.push_back(problem);
            }
            break;
        }
        case TagCode::SoundStreamBlock:
            if (!streamHead) {
                movie.problems.push_back("sound stream block without its head");
                break;
            }
            current.stream = StreamBlock{*streamHead, {body.begin(), body.end()}};
            currentUsed = true;
            break;
        case TagCode::ExportAssets:
            ReadExports(body, movie);
            break;
        case TagCode::ImportAssets:
        case TagCode::ImportAssets2:
            if (auto url = ReadImports(body, code == 71, movie)) {
                current.imports.push_back(std::move(*url));
                currentUsed = true;
            }
            break;
        case TagCode::DefineFont: {
            std::string problem;
            if (auto font = ReadFont1(body, problem)) {
                movie.fonts.try_emplace(font->id, std::move(*font));
            } else {
                movie.problems.push_back(problem);
            }
            break;
        }
        case TagCode::DefineFontInfo:
        case TagCode::DefineFontInfo2: {
            auto it = body.size() >= 2
                          ? movie.fonts.find(static_cast<std::uint16_t>(body[0] | (body[1] << 8)))
                          : movie.fonts.end();
            if (it == movie.fonts.end() || !ApplyFontInfo(it->second, body, code == 62)) {
                movie.problems.push_back("font information without its font");
            } else if (movie.version < 6) {
                it->second.name = CodePageText(it->second.name);
            }
            break;
        }
        case TagCode::DefineFont2:
        case TagCode::DefineFont3: {
            std::string problem;
            if (auto font = ReadFont(body, problem, code == 75)) {
                if (movie.version < 6) {
                    font->name = CodePageText(font->name);
                }
                movie.fonts[font->id] = std::move(*font);
            } else {
                movie.problems.push_back(problem);
            }
            break;
        }
        case TagCode::PlaceObject:
        case TagCode::PlaceObject2:
        case TagCode::PlaceObject3:
        case TagCode::RemoveObject:
        case TagCode::RemoveObject2: {
            std::string problem;
            auto placement = ReadPlacement(code, body, problem, movie.version);
            if (placement) {
                placement->actionsBefore = current.actions.size();
            }
            if (!placement) {
                movie.problems.push_back(problem);
            } else if (current.placements.size() >= kMaxPlacementsPerFrame) {
                movie.problems.push_back("too many placements in one frame");
            } else {
                current.placements.push_back(std::move(*placement));
                currentUsed = true;
            }
            break;
        }
        default:
            break; // not ours to play: skipped by its length
        }
        if (ended) {
            break;
        }
    }
    if (!ended && nesting == 0) {
        movie.problems.push_back("no end tag");
    }
    // Actions after the last shown frame still belong to the movie.
    if (currentUsed || frames.empty()) {
        finishFrame();
    }
}

} // namespace

int Movie::FindLabel(std::string_view label) const {
    return FindFrameLabel(frames, label);
}

std::optional<std::uint16_t> Movie::FindSymbol(std::string_view name) const {
    if (auto it = exports.find(std::string(name)); it != exports.end()) {
        return it->second;
    }
    for (const auto& [symbol, id] : exports) {
        if (EqualsNoCase(symbol, name)) {
            return id;
        }
    }
    for (const auto& [id, symbol] : imported) {
        if (symbol.name == name) {
            return id;
        }
    }
    for (const auto& [id, symbol] : imported) {
        if (EqualsNoCase(symbol.name, name)) {
            return id;
        }
    }
    return std::nullopt;
}

int FindFrameLabel(const std::vector<Frame>& frames, std::string_view label) {
    for (std::size_t i = 0; i < frames.size(); ++i) {
        for (const auto& l : frames[i].labels) {
            if (EqualsNoCase(l, label)) {
                return static_cast<int>(i);
            }
        }
    }
    return -1;
}

Movie ParseMovie(std::span<const std::uint8_t> file) {
    Movie movie;
    movie.frames.emplace_back();
    if (file.size() < 8 || file[1] != 'W' || file[2] != 'S' || (file[0] != 'F' && file[0] != 'C')) {
        movie.problems.push_back(file.size() >= 3 && file[0] == 'Z' && file[1] == 'W' &&
                                         file[2] == 'S'
                                     ? "LZMA-compressed movies are not supported"
                                     : "not a movie file");
        return movie;
    }
    movie.compressed = file[0] == 'C';
    movie.fileBytes = file.size();
    movie.version = file[3];
    movie.declaredLength =
        static_cast<std::uint32_t>(file[4]) | (static_cast<std::uint32_t>(file[5]) << 8) |
        (static_cast<std::uint32_t>(file[6]) << 16) | (static_cast<std::uint32_t>(file[7]) << 24);
    if (movie.version < 4 || movie.version > 10) {
        movie.problems.push_back("version " + std::to_string(movie.version) +
                                 " outside 4 to 10, read as far as understood");
    }

    std::vector<std::uint8_t> inflated;
    std::span<const std::uint8_t> body = file.subspan(8);
    if (movie.compressed) {
        if (movie.declaredLength < 8) {
            movie.problems.push_back("declared length too small");
            return movie;
        }
        std::size_t expected = std::min<std::uint32_t>(movie.declaredLength - 8, kMaxMovieBytes);
        InflateResult z = ZlibInflate(body, expected);
        if (!z.ok()) {
            movie.problems.push_back("compressed body: " + z.error);
        }
        inflated = std::move(z.data);
        body = inflated;
    } else if (movie.declaredLength != file.size()) {
        movie.problems.push_back("declared length " + std::to_string(movie.declaredLength) +
                                 " differs from file size " + std::to_string(file.size()));
    }

    ByteReader r(body);
    {
        BitReader bits(r);
        int n = static_cast<int>(bits.Unsigned(5));
        movie.frameSize.xMin = bits.Signed(n);
        movie.frameSize.xMax = bits.Signed(n);
        movie.frameSize.yMin = bits.Signed(n);
        movie.frameSize.yMax = bits.Signed(n);
    }
    std::uint16_t rate = r.U16();
    movie.declaredFrameCount = r.U16();
    if (!r.ok()) {
        movie.problems.push_back("header cut short");
        return movie;
    }
    movie.frameRate = rate / 256.0;
    if (rate == 0) {
        movie.problems.push_back("frame rate 0, played at 12");
        movie.frameRate = 12.0;
    }
    movie.valid = true;
    movie.frames.clear();
    ReadTags(r, movie, movie.frames, 0);
    DropImportedDefinitions(movie);
    return movie;
}

} // namespace fw::swf
