#include "button.h"

#include "byte_reader.h"

namespace fw::swf {
namespace {

Button* ButtonOf(Movie& movie, ByteReader& r, const char* what) {
    std::uint16_t id = r.U16();
    auto it = movie.characters.find(id);
    Button* b = it != movie.characters.end() ? std::get_if<Button>(&it->second) : nullptr;
    if (!b) {
        movie.problems.push_back(std::string(what) + " for " + std::to_string(id) +
                                 ", which is no button");
    }
    return b;
}

ButtonSound ReadSound(ByteReader& r, std::uint16_t id) {
    ButtonSound s;
    s.sound = id;
    std::uint8_t flags = r.U8();
    s.stop = flags & 0x20;
    s.noMultiple = flags & 0x10;
    if (flags & 0x01) {
        s.inPoint = r.U32();
    }
    if (flags & 0x02) {
        s.outPoint = r.U32();
    }
    if (flags & 0x04) {
        s.loops = r.U16();
    }
    if (flags & 0x08) {
        std::uint8_t points = r.U8();
        for (int i = 0; i < points && r.ok(); ++i) {
            ButtonSound::Level level;
            level.position = r.U32();
            level.left = r.U16();
            level.right = r.U16();
            s.envelope.push_back(level);
        }
    }
    return s;
}

} // namespace

void ReadButtonColour(Movie& movie, std::span<const std::uint8_t> body) {
    ByteReader r(body);
    Button* b = ButtonOf(movie, r, "colour transform");
    if (!b) {
        return;
    }
    ColorTransform colour = ReadColorTransform(r, false);
    if (!r.ok()) {
        movie.problems.push_back("button colour transform cut short");
        return;
    }
    for (ButtonRecord& rec : b->records) {
        rec.colour = colour;
    }
}

void ReadButtonSounds(Movie& movie, std::span<const std::uint8_t> body) {
    ByteReader r(body);
    Button* b = ButtonOf(movie, r, "sounds");
    if (!b) {
        return;
    }
    std::array<ButtonSound, 4> sounds;
    for (ButtonSound& s : sounds) {
        std::uint16_t id = r.U16();
        if (id != 0) {
            s = ReadSound(r, id);
        }
    }
    if (!r.ok()) {
        movie.problems.push_back("button sounds cut short");
        return;
    }
    b->sounds = std::move(sounds);
}

} // namespace fw::swf
