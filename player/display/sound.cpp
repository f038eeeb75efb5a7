// A timeline's own sounds: what a frame's StartSound tags start, stop or leave alone as the
// frame is entered, the frame's share of the timeline's stream, and a button's sounds as it
// changes state.

#include "stage.h"

namespace fw::display {
namespace {

// Twice the farthest an MP3 frame's data may begin before it, and more than a frame.
constexpr std::size_t kStreamLeadBytes = 2048;

} // namespace

void Stage::StartSound(const Clip& clip, std::uint16_t id, const swf::SoundInfo& info) {
    Symbol sound = Resolve(clip.movie, id); // an imported sound plays the library's
    if (!sound.movie) {
        return;
    }
    auto it = sound.movie->sounds.find(sound.id);
    if (it == sound.movie->sounds.end()) {
        return;
    }
    const void* key = it->second.get();
    if (info.stop) {
        sounds_.StopSound(key);
        return;
    }
    if (info.noMultiple && sounds_.Playing(key)) {
        return;
    }
    std::string error;
    auto pcm = sounds_.Decoded(it->second, error);
    if (!error.empty()) {
        Report("sound " + std::to_string(id) + ": " + error);
    }
    audio::VoiceStart how;
    how.owner = clip.id;
    how.key = key;
    how.movie = clip.movie;
    how.inPoint = info.inPoint.value_or(0);
    how.outPoint = info.outPoint;
    how.loops = info.loops;
    how.envelope = info.envelope;
    sounds_.Start(std::move(pcm), std::move(how));
}

void Stage::StartSounds(const Clip& clip, const swf::Frame& frame) {
    if (!clip.movie) {
        return;
    }
    for (const auto& start : frame.sounds) {
        std::uint16_t id = start.id;
        if (!start.className.empty()) {
            auto exported = clip.movie->exports.find(start.className);
            if (exported == clip.movie->exports.end()) {
                continue;
            }
            id = exported->second;
        }
        StartSound(clip, id, start.info);
    }
    if (frame.stream) {
        // The blocks before, when the stream plays on from them: enough for what an MP3 frame
        // may reach back to.
        std::vector<const swf::StreamBlock*> before;
        std::size_t bytes = 0;
        for (int f = clip.current - 1;
             f >= 0 && sounds_.Streaming(clip.id) && bytes < kStreamLeadBytes && before.size() < 8;
             --f) {
            const auto& previous = (*clip.frames)[static_cast<std::size_t>(f)].stream;
            if (!previous) {
                break;
            }
            before.insert(before.begin(), &*previous);
            bytes += previous->data.size();
        }
        std::string error;
        if (auto pcm = audio::DecodeStreamBlock(*frame.stream, before, sounds_.mp3(), error)) {
            sounds_.Stream(clip.id, *pcm);
        } else if (!error.empty() && unplayedStreams_.insert(clip.id).second) {
            Report("sound stream: " + error);
        }
    }
}

const swf::Movie* Stage::MovieOf(int id) {
    const Clip* clip = FindAny(id);
    return clip ? clip->movie : nullptr;
}

std::shared_ptr<const swf::SoundDefinition> Stage::ImportedSound(const swf::Movie* movie,
                                                                 std::string_view name) {
    if (!movie) {
        return nullptr;
    }
    for (const auto& [id, symbol] : movie->imported) {
        if (NamesEqual(symbol.name, name)) {
            Symbol sound = Resolve(movie, id);
            if (!sound.movie) {
                return nullptr;
            }
            auto it = sound.movie->sounds.find(sound.id);
            return it != sound.movie->sounds.end() ? it->second : nullptr;
        }
    }
    return nullptr;
}

void Stage::Unheard(const Clip& clip) {
    // Only the root of a loaded movie takes its library along, and only when no other clip
    // still shows the same file.
    if (!clip.movie || (clip.url.empty() && clip.level < 0)) {
        return;
    }
    for (const auto& [id, other] : byId_) {
        if (other != &clip && !other->removed && other->movie == clip.movie &&
            (!other->url.empty() || other->level >= 0)) {
            return;
        }
    }
    sounds_.StopMovie(clip.movie);
}

void Stage::ButtonSound(const Clip& button, const swf::Button& definition, std::uint8_t from,
                        std::uint8_t to) {
    // The file's order of transitions: over to idle, idle to over, over to down, down to over.
    constexpr std::pair<std::uint8_t, std::uint8_t> kTransitions[] = {
        {swf::kStateOver, swf::kStateUp},
        {swf::kStateUp, swf::kStateOver},
        {swf::kStateOver, swf::kStateDown},
        {swf::kStateDown, swf::kStateOver},
    };
    if (!button.movie) {
        return;
    }
    for (std::size_t i = 0; i < std::size(kTransitions); ++i) {
        const swf::ButtonSound& sound = definition.sounds[i];
        if (kTransitions[i] == std::pair{from, to} && sound.sound != 0) {
            StartSound(button, sound.sound, sound.info);
        }
    }
}

} // namespace fw::display
