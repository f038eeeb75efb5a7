// Other movies and pictures loaded into the tree: into a clip, whose content they replace, or
// into a level of its own. A load asked for within a frame is done as the next frame begins,
// before the timelines move on: the old content leaves (its unload handlers run), the new one
// enters its first frame with the rest, and a loader hears of the start, progress and end at
// once and of the initialisation after the new first frame's scripts.

#include "stage.h"

#include "focus.h"

#include "swf/flashvars.h"
#include "swf/image_file.h"
#include "swf/local_path.h"

#include <algorithm>
#include <cstring>

namespace fw::display {
namespace {

using avm1::Object;
using avm1::Value;

const std::vector<swf::Frame> kNoFrames(1);
constexpr std::size_t kMaxLevels = 1000;       // levels a movie may open
constexpr std::size_t kMaxPendingLoads = 4096; // loads asked for within one frame
constexpr std::size_t kMaxMovies = 256;        // different files kept loaded at once
constexpr std::size_t kMaxImportHops = 16;     // libraries a symbol is imported through

std::uint32_t BigEndian(const std::string& b, std::size_t at, int bytes) {
    std::uint32_t v = 0;
    for (int i = 0; i < bytes; ++i) {
        v = v << 8 | static_cast<std::uint8_t>(b[at + static_cast<std::size_t>(i)]);
    }
    return v;
}

// The pixel size a picture's header gives: JPEG, PNG or GIF; nullopt for anything else.
std::optional<std::pair<int, int>> PictureSize(const std::string& b) {
    if (b.size() >= 24 && b.compare(0, 8, "\x89PNG\r\n\x1a\n") == 0) {
        return std::pair<int, int>(static_cast<int>(BigEndian(b, 16, 4)),
                                   static_cast<int>(BigEndian(b, 20, 4)));
    }
    if (b.size() >= 10 && (b.compare(0, 6, "GIF87a") == 0 || b.compare(0, 6, "GIF89a") == 0)) {
        auto u8 = [&](std::size_t i) { return static_cast<std::uint8_t>(b[i]); };
        return std::pair<int, int>(u8(6) | u8(7) << 8, u8(8) | u8(9) << 8);
    }
    if (b.size() >= 4 && static_cast<std::uint8_t>(b[0]) == 0xFF &&
        static_cast<std::uint8_t>(b[1]) == 0xD8) {
        // Segments up to the first frame header, which holds the size.
        std::size_t at = 2;
        while (at + 9 < b.size()) {
            if (static_cast<std::uint8_t>(b[at]) != 0xFF) {
                return std::nullopt;
            }
            std::uint8_t marker = static_cast<std::uint8_t>(b[at + 1]);
            if (marker == 0xFF) {
                ++at;
                continue;
            }
            std::uint32_t length = BigEndian(b, at + 2, 2);
            bool frame = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 &&
                         marker != 0xCC;
            if (frame) {
                return std::pair<int, int>(static_cast<int>(BigEndian(b, at + 7, 2)),
                                           static_cast<int>(BigEndian(b, at + 5, 2)));
            }
            if (length < 2) {
                return std::nullopt;
            }
            at += 2 + length;
        }
    }
    return std::nullopt;
}

} // namespace

void Stage::LoadMovie(int clip, std::string_view url, Object* loader) {
    if (loads_.size() < kMaxPendingLoads && Find(clip)) {
        loads_.push_back(PendingLoad{clip, -1, std::string(url), loader});
    }
}

void Stage::LoadLevel(int level, std::string_view url, Object* loader) {
    if (loads_.size() < kMaxPendingLoads && level >= 0 &&
        static_cast<std::size_t>(level) < kMaxLevels * 100) {
        loads_.push_back(PendingLoad{-1, level, std::string(url), loader});
    }
}

Clip* Stage::LevelClip(int level) {
    if (level == 0) {
        return root_.get();
    }
    auto it = levels_.find(level);
    return it != levels_.end() && !it->second->removed ? it->second.get() : nullptr;
}

Object* Stage::Level(int level) {
    Clip* clip = LevelClip(level);
    return clip ? clip->object : nullptr;
}

Object* Stage::RootOf(int id) {
    Clip* clip = FindAny(id);
    int n = 0;
    while (clip && clip->parent && ++n < 4096) {
        // A movie that locks its root keeps its own _root wherever it is loaded.
        if (clip->lockRoot && !clip->url.empty() && clip->object) {
            return clip->object;
        }
        clip = clip->parent;
    }
    return clip ? clip->object : nullptr;
}

std::optional<int> Stage::SwfVersion(int id) {
    Clip* clip = FindAny(id);
    if (!clip || !clip->movie) {
        return std::nullopt;
    }
    if (clip->emptied == Clip::Emptied::Failed) {
        return -1;
    }
    return clip->movie->valid && clip->movie->version > 0 ? clip->movie->version : -1;
}

std::optional<std::string> Stage::MovieUrl(int id) {
    for (Clip* clip = FindAny(id); clip; clip = clip->parent) {
        if (!clip->url.empty()) {
            return clip->url;
        }
        if (!clip->parent) {
            return clip == root_.get() ? std::optional<std::string>(PlayedFrom()) : std::nullopt;
        }
    }
    return std::nullopt;
}

std::optional<std::pair<double, double>> Stage::BytesOf(int id) {
    Clip* clip = Find(id);
    if (!clip) {
        return std::nullopt;
    }
    double size = 0;
    if (clip->emptied == Clip::Emptied::Failed) {
        return std::pair<double, double>(0, -1);
    }
    if (auto it = bytes_.find(clip->id); it != bytes_.end()) {
        size = static_cast<double>(it->second);
    } else if (clip == root_.get() && clip->movie) {
        size = static_cast<double>(clip->movie->fileBytes);
    } else if (clip->movie) {
        // A part of a movie counts the bytes of its own definition; one a script made, none.
        auto it = clip->movie->sprites.find(clip->character);
        if (it != clip->movie->sprites.end() && &it->second.frames == clip->frames) {
            size = static_cast<double>(it->second.tagBytes);
        }
    }
    return std::pair<double, double>(size, size);
}

std::optional<bool> Stage::LockRoot(int id) {
    Clip* clip = FindAny(id);
    return clip ? std::optional<bool>(clip->lockRoot) : std::nullopt;
}

void Stage::SetLockRoot(int id, bool lock) {
    if (Clip* clip = FindAny(id)) {
        clip->lockRoot = lock;
    }
}

const swf::Movie* Stage::ReadMovie(const std::string& url, std::size_t& bytes) {
    bytes = 0;
    auto known = movies_.find(url);
    if (known != movies_.end()) {
        bytes = known->second.bytes;
        return known->second.movie.get();
    }
    std::optional<std::string> data = ReadFile(url);
    if (!data) {
        return nullptr;
    }
    auto movie = std::make_unique<swf::Movie>();
    if (auto size = PictureSize(*data)) {
        // A picture stands as a movie of one empty frame its size.
        movie->valid = true;
        movie->version = 0; // no movie's: scripts read -1
        movie->frameSize.xMax = size->first * 20;
        movie->frameSize.yMax = size->second * 20;
        movie->frames.emplace_back();
        bytes = data->size();
        std::string problem;
        auto image = swf::DecodeImageFile(
            std::span(reinterpret_cast<const std::uint8_t*>(data->data()), data->size()), problem);
        if (image) {
            movie->picture = std::make_shared<const swf::Image>(std::move(*image));
        } else {
            Report(url + ": " + problem); // still its size, shown empty
        }
    } else {
        *movie = swf::ParseMovie(std::span<const std::uint8_t>(
            reinterpret_cast<const std::uint8_t*>(data->data()), data->size()));
        if (movie->valid) {
            bytes = data->size();
        }
        for (const auto& problem : movie->problems) {
            Report(url + ": " + problem);
        }
        if (movie->frames.empty()) {
            movie->frames.emplace_back();
        }
    }
    if (movies_.size() >= kMaxMovies) {
        Report("too many movies loaded: " + url + " not kept");
        return nullptr;
    }
    const swf::Movie* out = movie.get();
    movies_[url] = Loaded{std::move(movie), bytes};
    return out;
}

void Stage::RunImportedInits(Clip& clip, const std::string& url) {
    // A movie whose assets another imports initialises them all, imported or not, on the
    // importing movie's timeline; what it imports itself is not followed.
    std::size_t bytes = 0;
    const swf::Movie* from = ReadMovie(url, bytes);
    if (!from || !from->valid) {
        return;
    }
    for (const auto& frame : from->frames) {
        for (const auto& block : frame.initActions) {
            RunInitOnce(clip, block);
        }
    }
}

Stage::Symbol Stage::Resolve(const swf::Movie* movie, std::uint16_t id) {
    // A library may import the symbol in turn; libraries importing each other in a ring end
    // unresolved once the hops run out.
    for (std::size_t hops = 0; movie && hops <= kMaxImportHops; ++hops) {
        auto it = movie->imported.find(id);
        if (it == movie->imported.end()) {
            return Symbol{movie, id};
        }
        const auto& [url, name] = it->second;
        std::string key = url + '\n' + name;
        if (unresolved_.count(key)) {
            return Symbol{};
        }
        std::size_t bytes = 0;
        const swf::Movie* library = ReadMovie(url, bytes);
        const std::uint16_t* exported = nullptr;
        if (library && library->valid) {
            if (auto e = library->exports.find(name); e != library->exports.end()) {
                exported = &e->second;
            }
        }
        if (!exported) {
            // Said once: the timeline may place the symbol again every frame.
            unresolved_.insert(std::move(key));
            Report(url + ": no " + name + " to import");
            return Symbol{};
        }
        movie = library;
        id = *exported;
    }
    return Symbol{};
}

void Stage::RunInitOnce(Clip& clip, const swf::ActionBlock& block) {
    if (initDone_.insert(&block).second && clip.object) {
        try {
            rt_->RunBlock(block, clip.object);
        } catch (const avm1::StopBlock& stop) {
            Report("action block stopped: " + stop.reason);
        }
    }
}

void Stage::Notify(Object* loader, const char* event, Clip* clip, std::vector<Value> more) {
    if (!loader || !clip || !clip->object) {
        return;
    }
    std::vector<Value> args{Value(event), Value(clip->object)};
    for (auto& v : more) {
        args.push_back(std::move(v));
    }
    try {
        rt_->CallMethod(Value(loader), "broadcastMessage", std::move(args));
    } catch (const avm1::StopBlock& stop) {
        Report("action block stopped: " + stop.reason);
    } catch (const avm1::Thrown&) {
        Report("uncaught exception in a loader's event");
    }
}

void Stage::Replace(Clip& clip, const swf::Movie* movie, const std::string& url) {
    Unheard(clip);
    std::vector<Clip*> old;
    for (auto& [depth, child] : clip.children) {
        old.push_back(child.get());
    }
    for (Clip* child : old) {
        Remove(*child);
    }
    if (clip.object) {
        // The clip unloads what it showed: its own handler sees the old variables still.
        QueueEvents(clip, kEventUnload, nullptr, kNormal, true);
        Value handler = rt_->Get(Value(clip.object), "onUnload");
        if (rt_->IsCallable(handler)) {
            try {
                rt_->Call(handler, Value(clip.object), {});
            } catch (const avm1::StopBlock& stop) {
                Report("action block stopped: " + stop.reason);
            } catch (const avm1::Thrown&) {
                Report("uncaught exception in an unload handler");
            }
        }
        // The old movie's variables go with it; the clip's place, name and class stay.
        std::vector<std::string> names;
        clip.object->ForEach([&](const avm1::Property& p) {
            if (p.name != "__proto__" && p.name != "constructor" && p.name != "__constructor__") {
                names.push_back(p.name);
            }
        });
        for (const auto& name : names) {
            clip.object->Remove(name);
        }
    }
    clip.movie = movie;
    clip.frames = movie ? &movie->frames : &kNoFrames;
    clip.image = movie ? movie->picture : nullptr; // a picture stands at the clip's origin
    clip.url = url.empty() ? url : swf::ResolveUrl(PlayedFrom(), url);
    clip.emptied = movie ? Clip::Emptied::No : Clip::Emptied::Unloaded;
    clip.current = -1;
    clip.playing = true;
    clip.loaded = false;
    sounds_.StopStream(clip.id);
    if (!movie) {
        clip.movie = clip.parent ? clip.parent->movie : root_->movie;
        clip.loaded = true;
        clip.current = 0;
    }
    if (auto q = url.find('?'); movie && q != std::string::npos && clip.object) {
        // Variables given with the address are the loaded movie's own from the start.
        for (const auto& [name, value] : swf::ParseFlashVars(std::string_view(url).substr(q + 1))) {
            rt_->Put(Value(clip.object), name, Value(value));
        }
    }
}

void Stage::StartLoads() {
    std::vector<PendingLoad> loads;
    loads.swap(loads_);
    for (auto& load : loads) {
        Clip* clip = load.clip >= 0 ? Find(load.clip) : LevelClip(load.level);
        if (load.url.empty()) {
            // Unloading: a level goes, a clip stays empty.
            if (!clip) {
                continue;
            }
            if (clip->level > 0) {
                MarkRemoved(*clip);
                focus_->Settle();
            } else {
                Replace(*clip, nullptr, std::string());
                bytes_.erase(clip->id);
            }
            continue;
        }
        std::size_t bytes = 0;
        const swf::Movie* movie = ReadMovie(load.url, bytes);
        if (clip && clip->parent && (!movie || (!movie->valid && !load.loader))) {
            // No movie there: a clip (a level keeps what it shows) loses its content and stands
            // empty with the address.
            Replace(*clip, nullptr, load.url);
            clip->emptied = Clip::Emptied::Failed;
            bytes_.erase(clip->id);
            Notify(load.loader, "onLoadError", clip, {Value("URLNotFound")});
            continue;
        }
        if (!movie && !load.loader) {
            continue; // nothing to show: what was there stays
        }
        if (!clip && load.level > 0) {
            if (levels_.size() >= kMaxLevels) {
                Report("too many levels: " + load.url + " not loaded");
                continue;
            }
            if (auto old = levels_.find(load.level); old != levels_.end()) {
                gone_.push_back(std::move(old->second)); // unloaded this frame
                levels_.erase(old);
            }
            auto owned = std::make_unique<Clip>();
            clip = owned.get();
            clip->id = nextId_++;
            clip->level = load.level;
            clip->name = "_level" + std::to_string(load.level);
            clip->movie = movie;
            clip->frames = &kNoFrames;
            int version = movie && movie->version ? movie->version : rt_->version();
            clip->object = rt_->NewObject(rt_->ClipProtoFor(version), avm1::Kind::Clip);
            clip->object->clipId = clip->id;
            byId_[clip->id] = clip;
            exec_.push_back(clip->id);
            levels_[load.level] = std::move(owned);
        }
        if (!clip) {
            continue;
        }
        if (!movie) {
            Notify(load.loader, "onLoadError", clip, {Value("URLNotFound")});
            continue;
        }
        // The old content goes before the loader hears of the start: what its listeners set
        // on the clip stays with the new one.
        Replace(*clip, movie, load.url); // what is no movie shows as an empty one
        int id = clip->id;
        bytes_[id] = movie->valid ? bytes : 0;
        double size = static_cast<double>(bytes_[id]);
        Notify(load.loader, "onLoadStart", FindAny(id), {});
        Notify(load.loader, "onLoadProgress", FindAny(id), {Value(size), Value(size)});
        Notify(load.loader, "onLoadComplete", FindAny(id), {Value(0)});
        if (load.loader && Find(id)) {
            inits_.emplace_back(id, load.loader);
        }
    }
}

void Stage::FinishLoads() {
    // The loader hears of the initialisation once the new first frame's scripts have run, the
    // last load first.
    for (auto it = inits_.rbegin(); it != inits_.rend(); ++it) {
        Queued q;
        q.clip = it->first;
        q.loader = it->second;
        q.method = "onLoadInit";
        queue_[kNormal].push_back(std::move(q));
    }
    inits_.clear();
}

void Stage::LoadRoots(std::vector<avm1::Cell*>& out) {
    for (const auto& load : loads_) {
        if (load.loader) {
            out.push_back(load.loader);
        }
    }
    for (const auto& [id, loader] : inits_) {
        out.push_back(loader);
    }
    for (auto& [level, clip] : levels_) {
        if (clip->object) {
            out.push_back(clip->object);
        }
    }
}

} // namespace fw::display
