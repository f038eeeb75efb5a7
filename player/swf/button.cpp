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
            s.sound = id;
            s.info = ReadSoundInfo(r);
        }
    }
    if (!r.ok()) {
        movie.problems.push_back("button sounds cut short");
        return;
    }
    b->sounds = std::move(sounds);
}

} // namespace fw::swf
