// A timeline's own sounds: what a frame's StartSound tags start, stop or leave alone as the
// frame is entered.

#include "stage.h"

namespace fw::display {

void Stage::StartSounds(const Clip& clip, const swf::Frame& frame) {
    if (frame.sounds.empty() || !clip.movie) {
        return;
    }
    const swf::Movie& movie = *clip.movie;
    for (const auto& start : frame.sounds) {
        std::uint16_t id = start.id;
        if (!start.className.empty()) {
            auto exported = movie.exports.find(start.className);
            if (exported == movie.exports.end()) {
                continue;
            }
            id = exported->second;
        }
        auto it = movie.sounds.find(id);
        if (it == movie.sounds.end()) {
            continue;
        }
        const void* key = it->second.get();
        if (start.info.stop) {
            sounds_.StopSound(key);
            continue;
        }
        if (start.info.noMultiple && sounds_.Playing(key)) {
            continue;
        }
        std::string error;
        auto pcm = sounds_.Decoded(it->second, error);
        if (!error.empty()) {
            Report("sound " + std::to_string(id) + ": " + error);
        }
        audio::VoiceStart how;
        how.owner = clip.id;
        how.key = key;
        how.inPoint = start.info.inPoint.value_or(0);
        how.outPoint = start.info.outPoint;
        how.loops = start.info.loops;
        how.envelope = start.info.envelope;
        sounds_.Start(std::move(pcm), std::move(how));
    }
}

} // namespace fw::display
