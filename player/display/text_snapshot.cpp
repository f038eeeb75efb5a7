// What a clip's static texts say: each text's glyphs turned back into characters through the
// code tables of the fonts they name, for the scripts' TextSnapshot.

#include "display/stage.h"

#include <algorithm>

namespace fw::display {

std::vector<std::u16string> Stage::StaticTexts(int id) {
    std::vector<std::u16string> out;
    Clip* clip = Find(id);
    if (!clip) {
        return out;
    }
    for (const auto& [depth, child] : clip->children) {
        if (child->removed || !child->movie || child->isClip()) {
            continue;
        }
        const swf::Movie& movie = *child->movie;
        auto text = movie.texts.find(child->character);
        if (text == movie.texts.end()) {
            continue;
        }
        std::u16string chars;
        for (const auto& run : text->second.records) {
            auto font = movie.fonts.find(run.fontId);
            for (const auto& g : run.glyphs) {
                if (font != movie.fonts.end() && g.index < font->second.codes.size()) {
                    chars.push_back(static_cast<char16_t>(font->second.codes[g.index]));
                }
            }
        }
        out.push_back(std::move(chars));
    }
    return out;
}

} // namespace fw::display
