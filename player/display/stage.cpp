#include "stage.h"

#include "geometry.h"
#include "avm1/text_field.h"
#include "focus.h"
#include "input.h"

#include <algorithm>
#include <cmath>
#include <functional>

namespace fw::display {
namespace {

using avm1::Object;
using avm1::Value;

constexpr double kPi = 3.14159265358979323846;
constexpr int kMaxNesting = 256;             // clips inside clips: deeper ones are not made
constexpr std::size_t kMaxQueued = 1u << 16; // scripts run from one queue in one go
constexpr int kMaxScriptDepth = 2130690044;  // the deepest a script may place
const std::vector<swf::Frame> kEmptyTimeline(1);

// What a script hands a clip it makes: the init object's enumerable properties, set in turn.
void CopyInit(avm1::Runtime& rt, avm1::Object* to, avm1::Object* init) {
    if (!init || !to) {
        return;
    }
    init->ForEach([&](const avm1::Property& p) {
        if (!(p.flags & avm1::kDontEnum)) {
            rt.Put(Value(to), p.name, p.value);
        }
    });
}

void Rescale(double& a, double& b, double percent) {
    double now = std::sqrt(a * a + b * b);
    if (now < 1e-9) {
        a = percent / 100;
        b = 0;
    } else {
        a = a / now * percent / 100;
        b = b / now * percent / 100;
    }
}

bool NearlyEqual(const swf::Matrix& x, const swf::Matrix& y) {
    auto same = [](double p, double q) {
        return std::abs(p - q) <= 1e-9 * std::max({1.0, std::abs(p), std::abs(q)});
    };
    return same(x.a, y.a) && same(x.b, y.b) && same(x.c, y.c) && same(x.d, y.d) &&
           same(x.tx, y.tx) && same(x.ty, y.ty);
}

} // namespace

Stage::Stage() : root_(std::make_unique<Clip>()), focus_(std::make_unique<Focus>(*this)) {
    root_->frames = &kEmptyTimeline;
}

Stage::~Stage() = default;

avm1::GeometryInterface* Stage::Geometry() {
    if (!geometry_) {
        geometry_ = std::make_unique<display::Geometry>(*this);
    }
    return geometry_.get();
}

void Stage::Load(const swf::Movie& movie) {
    ++generation_;
    movie_ = &movie;
    sounds_.Reset();
    soundBufTime_ = 5;
    unplayedStreams_.clear();
    for (auto& q : queue_) {
        q.clear();
    }
    root_ = std::make_unique<Clip>();
    root_->id = 0;
    root_->frames = &movie.frames;
    root_->movie = &movie;
    root_->level = 0;
    root_->object = rt_ ? rt_->root() : nullptr;
    levels_.clear();
    loads_.clear();
    movies_.clear();
    inits_.clear();
    bytes_.clear();
    if (rt_) {
        rt_->movie = &movie;
    }
    byId_.clear();
    byId_[0] = root_.get();
    exec_.assign(1, 0);
    gone_.clear();
    goneClips_.clear();
    leaving_.clear();
    initDone_.clear();
    unresolved_.clear();
    nextId_ = 1;
    instances_ = 0;
    focus_->Reset();
}

Clip* Stage::Find(int id) {
    auto it = byId_.find(id);
    return it == byId_.end() ? nullptr : it->second;
}

Clip* Stage::FindAny(int id) {
    if (Clip* clip = Find(id)) {
        return clip;
    }
    auto it = goneClips_.find(id);
    return it == goneClips_.end() ? nullptr : it->second;
}

void Stage::Tick() {
    framesEntered_ = 0;
    cut_ = false;
    try {
        Advance();
        FinishLoads();
    } catch (const avm1::MovieReplaced&) {
        return; // an init action's host call loaded another movie
    }
    unsigned generation = generation_;
    RunQueued();
    if (generation != generation_) {
        return;
    }
    // What this frame asked to load arrives as it ends; the new content starts with the next.
    try {
        StartLoads();
    } catch (const avm1::MovieReplaced&) {
        return;
    }
    RunQueued();
    if (generation != generation_) {
        return;
    }
    RemoveDeferred();
    gone_.clear();
    goneClips_.clear();
    std::erase_if(exec_, [&](int id) { return !byId_.count(id); });
    // Levels unloaded: what no clip of the tree shows any more may go.
    std::erase_if(levels_, [](const auto& l) { return l.second->removed; });
}

void Stage::Advance() {
    std::vector<int> order(exec_.rbegin(), exec_.rend());
    for (int id : order) {
        Clip* clip = Find(id);
        if (!clip || clip->removed) {
            continue;
        }
        if (!clip->loaded) {
            // A movie loaded into a placed clip: its load handlers hear of the new content.
            clip->loaded = true;
            QueueEvents(*clip, kEventLoad, nullptr, kNormal);
            EnterFrame(*clip, 0, true);
            continue;
        }
        QueueEvents(*clip, kEventEnterFrame, "onEnterFrame", kNormal);
        if (clip->playing && clip->totalFrames() > 1) {
            int next = clip->current + 1;
            if (next >= clip->totalFrames()) {
                Rebuild(*clip, 0); // the loop back to the first frame
            } else {
                EnterFrame(*clip, next, true);
            }
        }
    }
}

void Stage::RunQueued() {
    unsigned generation = generation_;
    std::size_t ran = 0;
    for (;;) {
        int p = kInitialize;
        while (p >= 0 && queue_[p].empty()) {
            --p;
        }
        if (p < 0) {
            return;
        }
        Queued q = std::move(queue_[p].front());
        queue_[p].pop_front();
        if (++ran > kMaxQueued) {
            for (auto& list : queue_) {
                list.clear();
            }
            Report("more than " + std::to_string(kMaxQueued) + " scripts queued in one frame");
            return;
        }
        if (!RunOne(q) || generation != generation_) {
            return;
        }
    }
}

bool Stage::RunNow(const swf::ActionBlock& block, Object* self) {
    framesEntered_ = 0;
    cut_ = false;
    unsigned generation = generation_;
    try {
        rt_->RunBlock(block, self);
    } catch (const avm1::StopBlock& stop) {
        Report("action block stopped: " + stop.reason);
    } catch (const avm1::MovieReplaced&) {
        return false;
    }
    return generation == generation_;
}

bool Stage::RunOne(const Queued& q) {
    Clip* clip = Find(q.clip);
    Object* self = clip ? clip->object : nullptr;
    if (!clip && q.unload) {
        // Unload handlers run after the clip has left the tree; its object remains.
        auto it = goneClips_.find(q.clip);
        self = it != goneClips_.end() ? it->second->object : nullptr;
    }
    if (!self || (clip && clip->removed && !q.unload) || (!clip && !q.unload)) {
        return true;
    }
    unsigned generation = generation_;
    try {
        if (q.loader) {
            Notify(q.loader, q.method.c_str(), clip, {});
        } else if (q.block) {
            rt_->RunBlock(*q.block, self);
        } else if (!q.method.empty()) {
            Value fn = rt_->Get(Value(self), q.method);
            if (rt_->IsCallable(fn)) {
                rt_->NewTick();
                rt_->Call(fn, Value(self), {});
            }
        } else if (q.constructor) {
            rt_->Call(Value(q.constructor), Value(self), {});
        } else {
            rt_->RunBlock(q.own, self);
        }
    } catch (const avm1::StopBlock& stop) {
        Report("action block stopped: " + stop.reason);
    } catch (const avm1::Thrown&) {
        Report("uncaught exception in an event");
    } catch (const avm1::MovieReplaced&) {
        return false;
    }
    return generation == generation_;
}

void Stage::QueueEvents(Clip& clip, std::uint32_t event, const char* method, Priority priority,
                        bool unload) {
    for (const auto& action : clip.clipActions) {
        if (action.events & event) {
            Queued q;
            q.clip = clip.id;
            q.own = action.actions;
            q.unload = unload;
            queue_[priority].push_back(std::move(q));
        }
    }
    if (method && clip.object) {
        Queued q;
        q.clip = clip.id;
        q.method = method;
        q.unload = unload;
        queue_[priority].push_back(std::move(q));
    }
}

void Stage::QueueFrameActions(Clip& clip, int frame, std::size_t from, std::size_t to) {
    const auto& actions = (*clip.frames)[static_cast<std::size_t>(frame)].actions;
    for (std::size_t i = from; i < to && i < actions.size(); ++i) {
        Queued q;
        q.clip = clip.id;
        q.block = &actions[i];
        queue_[kNormal].push_back(std::move(q));
    }
}

void Stage::EnterFrame(Clip& clip, int frame, bool withPlacements, bool withScripts) {
    const swf::Frame& f = (*clip.frames)[static_cast<std::size_t>(frame)];
    clip.current = frame;
    StartSounds(clip, f);
    // A sprite's initialisation runs once, at once, ahead of everything its frame places: the
    // classes it registers are those the frame's clips are made of.
    for (const auto& block : f.initActions) {
        RunInitOnce(clip, block);
    }
    for (const auto& url : f.imports) {
        RunImportedInits(clip, url);
    }
    std::size_t queued = 0;
    if (withPlacements) {
        for (const auto& p : f.placements) {
            QueueFrameActions(clip, frame, queued, withScripts ? p.actionsBefore : 0);
            queued = std::max(queued, p.actionsBefore);
            Place(clip, p, frame);
        }
    }
    QueueFrameActions(clip, frame, queued, withScripts ? f.actions.size() : queued);
}

void Stage::ApplyPlacement(Clip& clip, const swf::Placement& p, bool moveOnly) {
    bool timelineMoves = !(moveOnly && clip.scripted);
    if (p.matrix && timelineMoves) {
        clip.matrix = *p.matrix;
        clip.scaleAndRotation.reset();
    }
    if (p.colour && timelineMoves) {
        clip.colour = *p.colour;
    }
    if (p.ratio) {
        clip.ratio = *p.ratio;
    }
    if (p.name && !moveOnly) {
        clip.name = *p.name;
    }
    if (p.clipDepth) {
        clip.clipDepth = *p.clipDepth;
    }
    if (p.visible) {
        clip.visible = *p.visible;
    }
    if (p.filters) {
        clip.filters = *p.filters;
    }
    if (p.blendMode) {
        clip.blendMode = *p.blendMode;
    }
    if (p.cacheAsBitmap) {
        clip.cacheAsBitmap = *p.cacheAsBitmap;
    }
}

void Stage::Place(Clip& parent, const swf::Placement& p, int frame) {
    int depth = kTimelineDepth + p.depth;
    auto it = parent.children.find(depth);
    Clip* there = it == parent.children.end() ? nullptr : it->second.get();
    if (p.kind == swf::Placement::Kind::Remove) {
        if (there && !DeferRemoval(*there)) {
            Remove(*there);
        }
        return;
    }
    if (p.move) {
        if (!there) {
            return;
        }
        if (p.character && !there->isClip()) {
            Symbol now = Resolve(parent.movie, *p.character);
            if (now.movie && (now.movie != there->movie || now.id != there->character) &&
                !now.movie->sprites.count(now.id)) {
                there->movie = now.movie;
                there->character = now.id;
                there->buttonState = swf::kStateUp;
            }
        }
        ApplyPlacement(*there, p, true);
        return;
    }
    if (!p.character) {
        return;
    }
    if (there) {
        // A new placement needs a free depth; the reference player says so in its log.
        Trace("Warning: Failed to place object at depth " + std::to_string(p.depth) + ".");
        return;
    }
    Clip* clip = Instantiate(parent, *p.character, depth, frame);
    if (!clip) {
        return;
    }
    ApplyPlacement(*clip, p, false);
    clip->clipActions = p.clipActions;
    StartClip(*clip, false, nullptr);
}

Clip* Stage::Instantiate(Clip& parent, std::uint16_t character, int depth, int placedAt,
                         const swf::Movie* from) {
    int nesting = 0;
    for (const Clip* c = &parent; c; c = c->parent) {
        if (++nesting >= kMaxNesting) {
            Report("clips nested more than " + std::to_string(kMaxNesting) + " deep not made");
            return nullptr;
        }
    }
    if (auto there = parent.children.find(depth); there != parent.children.end()) {
        Remove(*there->second); // a script may have taken the depth meanwhile
    }
    auto owned = std::make_unique<Clip>();
    Clip* clip = owned.get();
    clip->id = nextId_++;
    clip->character = character;
    clip->depth = depth;
    clip->parent = &parent;
    clip->placedAt = placedAt;
    clip->movie = from ? from : parent.movie;
    // An imported character is the library's: drawn and scripted from the library's own
    // definitions. One whose library is missing stays unknown.
    if (Symbol symbol = Resolve(clip->movie, character); symbol.movie) {
        clip->movie = symbol.movie;
        clip->character = character = symbol.id;
    }
    const swf::Movie& movie = *clip->movie;
    // Shapes and static texts go unnamed; what scripts can address is numbered.
    auto c = movie.characters.find(character);
    bool addressable =
        c != movie.characters.end() && std::holds_alternative<swf::EditText>(c->second);
    if (auto s = movie.sprites.find(character); s != movie.sprites.end()) {
        clip->frames = &s->second.frames;
        addressable = true;
    }
    if (c != movie.characters.end()) {
        clip->definition = &c->second;
    }
    if (addressable) {
        clip->name = "instance" + std::to_string(++instances_);
    }
    parent.children[depth] = std::move(owned);
    byId_[clip->id] = clip;
    return clip;
}

void Stage::StartClip(Clip& clip, bool byScript, Object* init) {
    if (!clip.isClip()) {
        // A bound edit text gives an unset variable its own text.
        auto c = clip.movie->characters.find(clip.character);
        if (c == clip.movie->characters.end() || !clip.parent || !clip.parent->object) {
            return;
        }
        if (std::holds_alternative<swf::Button>(c->second)) {
            // Named once placed, and script objects from version 6 on.
            if (clip.name.empty()) {
                clip.name = "instance" + std::to_string(++instances_);
            }
            if (rt_->buttonProto_ && rt_->version() >= 6) {
                clip.object = rt_->NewObject(rt_->buttonProto_, avm1::Kind::Clip);
                clip.object->clipId = clip.id;
            }
            ShowButtonState(*this, clip, clip.buttonState);
            return;
        }
        if (const auto* field = std::get_if<swf::EditText>(&c->second)) {
            StartTextField(clip, std::make_unique<TextField>(*field, *clip.movie, rt_->version()));
        }
        if (std::holds_alternative<swf::Video>(c->second) && rt_->version() >= 6) {
            Value video = rt_->Get(Value(rt_->global()), "Video");
            Value proto = video.isObject() ? rt_->Get(video, "prototype") : Value();
            if (proto.isObject()) {
                clip.object = rt_->NewObject(proto.asObject(), avm1::Kind::Clip);
                clip.object->clipId = clip.id;
            }
        }
        return;
    }
    Object* ctor = RegisteredClass(clip.movie, clip.character);
    Object* proto = rt_->ClipProtoFor(clip.movie->version ? clip.movie->version : rt_->version());
    if (ctor) {
        Value p = rt_->Get(Value(ctor), "prototype");
        if (p.isObject()) {
            proto = p.asObject();
        }
    }
    clip.object = rt_->NewObject(proto, avm1::Kind::Clip);
    clip.object->clipId = clip.id;
    rt_->RememberPath(clip.object);
    exec_.push_back(clip.id);
    if (byScript) {
        // Made by a script: its initialisation and constructor run now, before the script goes on,
        // on a clip that already shows its first frame.
        if (clip.frames != &kEmptyTimeline) {
            EnterFrame(clip, 0, true);
        }
        CopyInit(*rt_, clip.object, init);
        if (ctor) {
            rt_->Call(Value(ctor), Value(clip.object), {});
        }
    } else {
        QueueEvents(clip, kEventInitialize, nullptr, kInitialize);
        QueueEvents(clip, kEventConstruct, nullptr, kConstruct);
        if (ctor) {
            Queued q;
            q.clip = clip.id;
            q.constructor = ctor;
            queue_[kConstruct].push_back(std::move(q));
        }
    }
    QueueEvents(clip, kEventLoad, "onLoad", kNormal);
    clip.loaded = true;
    if (!byScript && clip.frames != &kEmptyTimeline) {
        EnterFrame(clip, 0, true);
    }
}

void Stage::StartTextField(Clip& clip, std::unique_ptr<TextField> field) {
    clip.object = avm1::NewTextFieldObject(*rt_, std::move(field), clip.id);
    try {
        avm1::SyncVariable(*rt_, clip.object);
    } catch (...) {
        Report("variable of a text field not bound");
    }
}

avm1::Object* Stage::RegisteredClass(const swf::Movie* movie, std::uint16_t character) {
    std::string symbol = SymbolOf(movie, character);
    int version = movie->version ? movie->version : rt_->version();
    const Value* registry = rt_->GlobalFor(version)->Find(avm1::ClassRegistryName(version));
    if (symbol.empty() || !registry || !registry->isObject()) {
        return nullptr;
    }
    if (version < 7) {
        symbol = avm1::AsciiLower(symbol);
    }
    const Value* ctor = registry->asObject()->Find(symbol);
    return ctor && rt_->IsCallable(*ctor) ? ctor->asObject() : nullptr;
}

std::string Stage::SymbolOf(const swf::Movie* movie, std::uint16_t character) const {
    for (const auto& [name, id] : movie->exports) {
        if (id == character) {
            return name;
        }
    }
    return std::string();
}

void Stage::MarkRemoved(Clip& clip, bool unloadQueued) {
    clip.removed = true;
    sounds_.StopStream(clip.id);
    Unheard(clip);
    if (rt_) {
        ++rt_->clipsRemoved;
    }
    for (auto& [depth, child] : clip.children) {
        MarkRemoved(*child, unloadQueued);
    }
    focus_->Left(clip);
    // The innermost unload first, as the reference player runs them.
    if (!unloadQueued) {
        QueueEvents(clip, kEventUnload, "onUnload", kNormal, true);
    }
    byId_.erase(clip.id);
    goneClips_[clip.id] = &clip;
}

void Stage::Remove(Clip& clip) {
    if (!clip.parent) {
        return;
    }
    focus_->Leaving(clip);
    Clip* parent = clip.parent;
    if (!parent || clip.removed) {
        return;
    }
    auto it = parent->children.find(clip.depth);
    if (it == parent->children.end() || it->second.get() != &clip) {
        return;
    }
    MarkRemoved(clip);
    gone_.push_back(std::move(it->second));
    parent->children.erase(it);
    focus_->Settle();
}

bool Stage::DeferRemoval(Clip& clip) {
    // An unload handler anywhere in the clip's tree keeps the whole tree until it has run.
    std::function<bool(const Clip&, int)> listens = [&](const Clip& c, int nesting) {
        if (std::any_of(c.clipActions.begin(), c.clipActions.end(),
                        [](const swf::ClipAction& a) { return a.events & kEventUnload; })) {
            return true;
        }
        if (c.object && c.isClip() && rt_ &&
            rt_->IsCallable(rt_->Get(avm1::Value(c.object), "onUnload", false))) {
            return true;
        }
        return nesting < kMaxNesting &&
               std::any_of(c.children.begin(), c.children.end(),
                           [&](const auto& child) { return listens(*child.second, nesting + 1); });
    };
    bool handlers = listens(clip, 0);
    Clip* parent = clip.parent;
    int depth = -32769 - clip.depth;
    if (!handlers || clip.removed || !parent || parent->children.count(depth)) {
        return false;
    }
    std::function<void(Clip&)> unload = [&](Clip& c) {
        c.removed = true;
        sounds_.StopStream(c.id);
        for (auto& [d, child] : c.children) {
            unload(*child);
        }
        QueueEvents(c, kEventUnload, "onUnload", kNormal, true);
    };
    unload(clip);
    auto owned = std::move(parent->children[clip.depth]);
    parent->children.erase(clip.depth);
    clip.depth = depth;
    clip.placedAt = -1;
    parent->children[depth] = std::move(owned);
    leaving_.push_back(clip.id);
    return true;
}

void Stage::RemoveDeferred() {
    auto leaving = std::move(leaving_);
    leaving_.clear();
    for (int id : leaving) {
        Clip* clip = Find(id);
        if (!clip || !clip->parent) {
            continue;
        }
        auto it = clip->parent->children.find(clip->depth);
        if (it == clip->parent->children.end() || it->second.get() != clip) {
            continue;
        }
        MarkRemoved(*clip, true);
        gone_.push_back(std::move(it->second));
        clip->parent->children.erase(it);
    }
    focus_->Settle();
}

void Stage::Goto(Clip& clip, int frame) {
    if (!clip.isClip()) {
        return;
    }
    // Past the last frame the clip shows the last one but runs none of its scripts.
    bool withScripts = frame < clip.totalFrames();
    frame = std::clamp(frame, 0, clip.totalFrames() - 1);
    if (frame == clip.current || cut_) {
        return;
    }
    if (++framesEntered_ > frameLimit_) {
        // Scripts that jump between frames without end: the rest of this tick is dropped.
        cut_ = true;
        for (auto& list : queue_) {
            list.clear();
        }
        Report("more than " + std::to_string(frameLimit_) + " frames entered in one tick");
        return;
    }
    if (frame == clip.current + 1) {
        EnterFrame(clip, frame, true, withScripts);
        return;
    }
    // A jump plays the stream afresh from the block of the frame it lands on.
    sounds_.StopStream(clip.id);
    Rebuild(clip, frame, withScripts);
}

void Stage::Rebuild(Clip& clip, int frame, bool withScripts) {
    // What the timeline holds at the frame: per depth, the tag that placed it and every later
    // change, as if played from the first frame.
    struct Want {
        swf::Placement place;
        int placedAt = 0;
        int changedAt = 0;
        std::size_t order = 0;
    };
    std::map<int, Want> want;
    std::size_t order = 0;
    for (int f = 0; f <= frame; ++f) {
        for (const auto& p : (*clip.frames)[static_cast<std::size_t>(f)].placements) {
            int depth = kTimelineDepth + p.depth;
            auto it = want.find(depth);
            if (p.kind == swf::Placement::Kind::Remove) {
                want.erase(depth);
                continue;
            }
            if (!p.move) {
                if (it == want.end() && p.character) {
                    want[depth] = Want{p, f, f, order++};
                }
                continue;
            }
            if (it == want.end()) {
                continue;
            }
            Want& w = it->second;
            if (p.character) {
                if (*p.character != *w.place.character) {
                    w.place.character = p.character;
                    w.placedAt = f; // another character: a new object
                }
            }
            for (auto* field : {&w.place.matrix}) {
                if (p.matrix) {
                    *field = p.matrix;
                }
            }
            if (p.colour) {
                w.place.colour = p.colour;
            }
            if (p.ratio) {
                w.place.ratio = p.ratio;
            }
            if (p.clipDepth) {
                w.place.clipDepth = p.clipDepth;
            }
            if (p.visible) {
                w.place.visible = p.visible;
            }
            w.changedAt = f;
        }
    }
    bool back = frame < clip.current;
    int from = clip.current;
    std::vector<Clip*> leave;
    for (auto& [depth, child] : clip.children) {
        if (child->placedAt < 0) {
            continue; // the scripts' own
        }
        auto it = want.find(depth);
        bool keep = it != want.end() && child->placedAt == it->second.placedAt;
        if (keep) {
            Symbol wanted = Resolve(clip.movie, *it->second.place.character);
            // By the id alone: a movie loaded into the clip since changes its library.
            keep = child->character == (wanted.movie ? wanted.id : *it->second.place.character);
        }
        if (!keep) {
            leave.push_back(child.get());
        } else if ((back || it->second.changedAt > from) && !child->scripted) {
            swf::Placement p = it->second.place;
            p.name.reset();
            ApplyPlacement(*child, p, false);
        }
    }
    for (Clip* c : leave) {
        Remove(*c);
    }
    std::vector<std::pair<std::size_t, int>> fresh;
    for (auto& [depth, w] : want) {
        if (!clip.children.count(depth)) {
            fresh.emplace_back(w.order, depth);
        }
    }
    std::sort(fresh.begin(), fresh.end());
    clip.current = frame;
    for (auto [o, depth] : fresh) {
        const Want& w = want[depth];
        Clip* child = Instantiate(clip, *w.place.character, depth, w.placedAt);
        if (!child) {
            break;
        }
        ApplyPlacement(*child, w.place, false);
        child->clipActions = w.place.clipActions;
        StartClip(*child, false, nullptr);
    }
    EnterFrame(clip, frame, false, withScripts);
}

bool Stage::NamesEqual(std::string_view a, std::string_view b) const {
    if (rt_ && rt_->version() >= 7) {
        return a == b;
    }
    return a.size() == b.size() && avm1::AsciiLower(a) == avm1::AsciiLower(b);
}

Clip* Stage::FindPath(std::string_view path) {
    Clip* at = root_.get();
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t sep = path.find_first_of("./:", start);
        std::string_view part = path.substr(
            start, sep == std::string_view::npos ? std::string_view::npos : sep - start);
        if (!part.empty()) {
            std::string lower = avm1::AsciiLower(part);
            if (lower == "_root" || lower == "_level0") {
                at = root_.get();
            } else if (lower == "_parent") {
                at = at->parent;
            } else {
                Clip* next = nullptr;
                for (auto& [depth, child] : at->children) {
                    if (NamesEqual(child->name, part)) {
                        next = child.get();
                        break;
                    }
                }
                at = next;
            }
            if (!at) {
                return nullptr;
            }
        }
        if (sep == std::string_view::npos) {
            break;
        }
        start = sep + 1;
    }
    return at;
}

std::string Stage::SlashPath(const Clip& clip) const {
    std::vector<const std::string*> names;
    for (const Clip* c = &clip; c && c->parent && names.size() < kMaxNesting; c = c->parent) {
        names.push_back(&c->name);
    }
    const Clip* top = &clip;
    for (int n = 0; top->parent && n < kMaxNesting; ++n) {
        top = top->parent;
    }
    std::string out = top->level > 0 ? "_level" + std::to_string(top->level) : std::string();
    if (names.empty()) {
        return out.empty() ? "/" : out;
    }
    for (auto it = names.rbegin(); it != names.rend(); ++it) {
        out += "/" + **it;
    }
    return out;
}

swf::Matrix Stage::GlobalMatrix(const Clip& clip) const {
    swf::Matrix m = clip.matrix;
    int n = 0;
    for (const Clip* c = clip.parent; c && ++n < kMaxNesting; c = c->parent) {
        m = m.Then(c->matrix);
    }
    return m;
}

std::optional<swf::Bounds> Stage::LocalBounds(const Clip& clip, int) const {
    if (const TextField* f = avm1::FieldOf(clip.object)) {
        return f->bounds;
    }
    return ContentBounds(clip, true);
}

std::optional<double> Stage::NumberProperty(const Clip& clip, int property) const {
    const swf::Matrix& m = clip.matrix;
    if (clip.scaleAndRotation && (property == 2 || property == 3 || property == 10)) {
        return (*clip.scaleAndRotation)[property == 10 ? 2 : property - 2];
    }
    // A field stands where its box's corner is.
    const TextField* field = avm1::FieldOf(clip.object);
    switch (property) {
    case 0:
        return field ? (m.tx + m.a * field->bounds.xMin + m.c * field->bounds.yMin) / 20
                     : m.tx / 20;
    case 1:
        return field ? (m.ty + m.b * field->bounds.xMin + m.d * field->bounds.yMin) / 20
                     : m.ty / 20;
    case 2:
        return std::sqrt(m.a * m.a + m.b * m.b) * 100;
    case 3:
        return std::sqrt(m.c * m.c + m.d * m.d) * 100;
    case 4:
        // 0 for a clip that has not entered a frame
        return clip.emptied != Clip::Emptied::No ? 0.0 : clip.current + 1.0;
    case 5:
    case 12:
        if (clip.emptied != Clip::Emptied::No) {
            return property == 12 && clip.emptied == Clip::Emptied::Failed ? -1.0 : 0.0;
        }
        return static_cast<double>(clip.totalFrames());
    case 6:
        return clip.colour.mult[3] / 2.56;
    case 7:
        return clip.visible ? 1.0 : 0.0;
    case 8:
    case 9: {
        auto b = ContentBounds(clip, true);
        if (!b) {
            return 0.0;
        }
        swf::Bounds t = TransformBounds(*b, m);
        return (property == 8 ? t.xMax - t.xMin : t.yMax - t.yMin) / 20;
    }
    case 10:
        return std::atan2(m.b, m.a) * 180 / kPi;
    default:
        return std::nullopt;
    }
}

// Positions are whole twips: the rest of a pixel is cut off.
static double Twips(double pixels) {
    double t = pixels * 20;
    return std::isfinite(t) ? std::trunc(t) : t;
}

bool Stage::SetNumberProperty(Clip& clip, int property, double value) {
    if (std::isnan(value)) {
        return true; // as players do, an unreadable number changes nothing
    }
    swf::Matrix m = clip.matrix;
    if (property == 2 || property == 3 || property == 10) {
        // Worked from the parts as last set, so a negative scale survives a rotation.
        auto parts = clip.scaleAndRotation.value_or(std::array<double, 3>{
            *NumberProperty(clip, 2), *NumberProperty(clip, 3), *NumberProperty(clip, 10)});
        if (property == 10) {
            double r = std::fmod(value, 360.0);
            r = r > 180 ? r - 360 : r < -180 ? r + 360 : r;
            parts[2] = r;
        } else {
            parts[static_cast<std::size_t>(property - 2)] = value;
        }
        double r = parts[2] * kPi / 180;
        m.a = parts[0] / 100 * std::cos(r);
        m.b = parts[0] / 100 * std::sin(r);
        m.c = -parts[1] / 100 * std::sin(r);
        m.d = parts[1] / 100 * std::cos(r);
        if (!NearlyEqual(m, clip.matrix)) {
            clip.matrix = m;
        }
        clip.scaleAndRotation = parts;
        clip.scripted = true;
        return true;
    }
    switch (property) {
    case 0:
        m.tx = Twips(value);
        if (const TextField* f = avm1::FieldOf(clip.object)) {
            m.tx -= m.a * f->bounds.xMin + m.c * f->bounds.yMin;
        }
        break;
    case 1:
        m.ty = Twips(value);
        if (const TextField* f = avm1::FieldOf(clip.object)) {
            m.ty -= m.b * f->bounds.xMin + m.d * f->bounds.yMin;
        }
        break;
    case 6:
        clip.colour.mult[3] =
            static_cast<std::int16_t>(std::clamp(value * 2.56, -32768.0, 32767.0));
        break;
    case 7:
        clip.visible = value != 0;
        break;
    case 8:
    case 9: {
        if (TextField* f = avm1::FieldOf(clip.object)) {
            // A field's box grows or shrinks rather than its text being scaled.
            double v = std::isfinite(value) ? Twips(std::max(0.0, value)) : 0;
            swf::Bounds& b = f->bounds;
            (property == 8 ? b.xMax : b.yMax) = (property == 8 ? b.xMin : b.yMin) + v;
            f->Changed();
            f->FitToText();
            clip.scripted = true;
            return true;
        }
        // The size is the box the stage sees, but the scales are of the clip's own sides: on a
        // turned clip the player shares the change between both as below. Without the extent
        // to work from, both scales fall to nothing.
        auto b = LocalBounds(clip);
        double width = b ? (b->xMax - b->xMin) / 20 : 0;
        double height = b ? (b->yMax - b->yMin) / 20 : 0;
        bool wide = property == 8;
        double along = wide ? width : height;
        double across = wide ? height : width;
        double ratio = across / along;
        double toAlong = along != 0 ? value / along : 0;
        double toAcross = along != 0 ? value / across : 0;
        double scaleAlong = wide ? std::hypot(m.a, m.b) : std::hypot(m.c, m.d);
        double scaleAcross = wide ? std::hypot(m.c, m.d) : std::hypot(m.a, m.b);
        double turn = std::atan2(m.b, m.a);
        double cos = std::abs(std::cos(turn)), sin = std::abs(std::sin(turn));
        double sized =
            ratio * (cos * toAlong + sin * toAcross) / ((cos + ratio * sin) * (ratio * cos + sin));
        double kept = (sin * scaleAlong + ratio * cos * scaleAcross) / (ratio * cos + sin);
        sized = std::isfinite(sized) ? sized : 0;
        kept = std::isfinite(kept) ? kept : 0;
        Rescale(wide ? m.a : m.d, wide ? m.b : m.c, sized * 100);
        Rescale(wide ? m.d : m.a, wide ? m.c : m.b, kept * 100);
        clip.scaleAndRotation.reset();
        break;
    }
    default:
        return false;
    }
    // Worked out again from itself, a scale or rotation lands a last digit away now and then;
    // a script that sets the same value every frame then leaves the clip exactly as it was, so
    // the picture stays the same and is not drawn again.
    if (!NearlyEqual(m, clip.matrix)) {
        clip.matrix = m;
    }
    clip.scripted = true;
    return true;
}

// --- what scripts see ---

int Stage::CurrentFrame(int id) {
    Clip* clip = Find(id);
    return clip ? std::max(clip->current, 0) : 0;
}

int Stage::TotalFrames(int id) {
    Clip* clip = Find(id);
    return clip ? clip->totalFrames() : 0;
}

int Stage::FindLabel(int id, std::string_view label) {
    Clip* clip = Find(id);
    return clip && clip->frames ? swf::FindFrameLabel(*clip->frames, label) : -1;
}

void Stage::GotoFrame(int id, int frame) {
    if (Clip* clip = Find(id)) {
        Goto(*clip, frame);
    }
}

void Stage::SetPlaying(int id, bool play) {
    if (Clip* clip = Find(id)) {
        clip->playing = play;
        if (!play) {
            sounds_.StopStream(id); // a stream is heard only while its timeline moves
        }
    }
}

std::optional<Value> Stage::GetDisplayProperty(int id, int property) {
    Clip* clip = FindAny(id);
    if (!clip) {
        return std::nullopt;
    }
    switch (property) {
    case 7:
        return Value(clip->visible);
    case 11:
        return Value(SlashPath(*clip));
    case 13:
        return Value(clip->name);
    case 14:
        return Value(geometry_ ? geometry_->DropTarget(id) : std::string());
    case 15:
        return Value(MovieUrl(id).value_or(std::string()));
    case 16:
        return Value(1);
    case 17:
        return focus_->Rect(*clip);
    case 18:
        return Value(soundBufTime_);
    case 19:
        return Value("HIGH");
    case 20:
    case 21: {
        // The clip's place counts in whole pixels of the screen, the answer in whole twips.
        auto window = HostWindow();
        double k = window && window->scale > 0 ? window->scale : 1;
        swf::Matrix m = GlobalMatrix(*clip);
        m.tx = std::nearbyint(m.tx * k / 20) * 20 / k;
        m.ty = std::nearbyint(m.ty * k / 20) * 20 / k;
        auto inverse = m.Inverse();
        if (inverse) { // the way back keeps its offset in whole twips too
            inverse->tx = std::floor(inverse->tx + 0.5);
            inverse->ty = std::floor(inverse->ty + 0.5);
        }
        // A clip scaled to nothing answers the screen's pixels as if they were twips.
        swf::Point local =
            inverse ? inverse->Apply(mouse_) : swf::Point{mouse_.x * k / 20, mouse_.y * k / 20};
        return Value(std::round(property == 20 ? local.x : local.y) / 20);
    }
    default:
        if (auto n = NumberProperty(*clip, property)) {
            return Value(*n);
        }
        return std::nullopt;
    }
}

bool Stage::SetDisplayProperty(int id, int property, const Value& v) {
    Clip* clip = Find(id);
    if (!clip) {
        return false;
    }
    switch (property) {
    case 4:
    case 5:
    case 11:
    case 12:
    case 14:
    case 15:
    case 16:
    case 19:
    case 20:
    case 21:
        return true; // read only, or the whole player's
    case 18:
        // Every clip reads the one setting; what is no number leaves it.
        if (double seconds = rt_->ToNum(v); std::isfinite(seconds)) {
            soundBufTime_ = std::trunc(seconds);
        }
        return true;
    case 7:
        // A number, as in the days of the first scripts: what reads as none leaves it.
        if (double n = v.isNullish() ? NAN : rt_->ToNum(v); std::isfinite(n)) {
            clip->visible = n != 0;
            if (!clip->visible) {
                focus_->Left(*clip);
                focus_->Settle();
            }
        }
        return true;
    case 17:
        focus_->SetRect(*clip, v);
        return true;
    case 13:
        // The root takes a name too; its path still names its level.
        clip->name = rt_->ToStr(v);
        return true;
    default:
        return SetNumberProperty(*clip, property, rt_->ToNum(v));
    }
}

Object* Stage::ClipMember(int id, std::string_view name) {
    Clip* clip = FindAny(id);
    if (!clip || name.empty()) {
        return nullptr;
    }
    if (name[0] == '_') {
        std::string lower = rt_->version() >= 7 ? std::string(name) : avm1::AsciiLower(name);
        if (lower == "_parent") {
            // A button without a script object of its own stands aside.
            Clip* parent = clip->parent;
            while (parent && !parent->object && parent->parent) {
                parent = parent->parent;
            }
            return parent ? parent->object : nullptr;
        }
        if (lower == "_level0") {
            return root_->object;
        }
        if (lower == "_root") {
            Object* own = RootOf(clip->id);
            return own ? own : root_->object;
        }
        if (lower.rfind("_level", 0) == 0 || lower.rfind("_flash", 0) == 0) {
            // The number is read as far as there are digits; what follows is ignored.
            std::size_t i = 6;
            bool negative = i < lower.size() && lower[i] == '-';
            i += negative ? 1 : 0;
            std::uint32_t n = 0;
            for (; i < lower.size() && lower[i] >= '0' && lower[i] <= '9'; ++i) {
                n = n * 10 + static_cast<std::uint32_t>(lower[i] - '0');
            }
            auto level = static_cast<std::int32_t>(negative ? 0u - n : n);
            return level == 0 ? root_->object : level > 0 ? Level(level) : nullptr;
        }
        if (lower == "_global") {
            return rt_->global();
        }
    }
    for (auto& [depth, child] : clip->children) {
        if (NamesEqual(child->name, name)) {
            // What scripts cannot hold, such as a shape, stands for the clip it is in.
            return child->object ? child->object : clip->object;
        }
    }
    return nullptr;
}

int Stage::FindChild(int id, std::string_view name) {
    if (Clip* clip = Find(id)) {
        for (auto& [depth, child] : clip->children) {
            if (!child->object && NamesEqual(child->name, name)) {
                return child->id;
            }
        }
    }
    return -1;
}

std::vector<std::string> Stage::ChildNames(int id) {
    std::vector<std::string> names;
    if (Clip* clip = FindAny(id)) {
        for (auto it = clip->children.rbegin(); it != clip->children.rend(); ++it) {
            if (!it->second->name.empty()) {
                names.push_back(it->second->name);
            }
        }
    }
    return names;
}

std::vector<swf::Filter> Stage::PlacedFilters(int id) {
    Clip* clip = FindAny(id);
    return clip ? clip->filters : std::vector<swf::Filter>{};
}

Object* Stage::MakeClip(int id, Make how, std::string_view symbol, std::string_view name, int depth,
                        Object* init) {
    Clip* source = Find(id);
    if (!source || depth < kTimelineDepth || depth > kMaxScriptDepth) {
        return nullptr;
    }
    Clip* parent = how == Make::Duplicate ? source->parent : source;
    if (!parent || !parent->isClip()) {
        return nullptr;
    }
    std::uint16_t character = 0;
    const std::vector<swf::Frame>* frames = &kEmptyTimeline;
    if (how == Make::Attach) {
        auto found = parent->movie->FindSymbol(symbol);
        if (!found) {
            return nullptr;
        }
        character = *found;
        Symbol made = Resolve(parent->movie, character);
        if (!made.movie) {
            return nullptr;
        }
        if (auto c = made.movie->characters.find(made.id);
            c != made.movie->characters.end() && std::holds_alternative<swf::Button>(c->second)) {
            return AttachButton(*parent, character, name, depth, init);
        }
        if (!made.movie->sprites.count(made.id)) {
            return nullptr;
        }
    } else if (how == Make::Duplicate) {
        if (avm1::FieldOf(source->object)) {
            return DuplicateTextField(*source, name, depth);
        }
        if (!source->isClip()) {
            return nullptr;
        }
        character = source->character;
        frames = source->frames;
    }
    if (auto old = parent->children.find(depth); old != parent->children.end()) {
        Remove(*old->second);
    }
    Clip* clip = Instantiate(*parent, character, depth, -1,
                             how == Make::Duplicate ? source->movie : nullptr);
    if (!clip) {
        return nullptr;
    }
    clip->name = std::string(name);
    if (how == Make::Empty) {
        clip->frames = frames;
    } else if (how == Make::Duplicate) {
        clip->frames = frames;
        clip->matrix = source->matrix;
        clip->scaleAndRotation = source->scaleAndRotation;
        clip->colour = source->colour;
        clip->visible = source->visible;
        clip->clipActions = source->clipActions;
        if (source->drawing) {
            clip->drawing = std::make_shared<Drawing>(*source->drawing);
        }
    }
    if (!clip->frames) {
        clip->frames = &kEmptyTimeline;
    }
    try {
        StartClip(*clip, true, init);
    } catch (...) {
        // What the constructor threw goes to the script that made the clip.
        throw;
    }
    return clip->object;
}

// A button symbol attaches as a button, whatever class the symbol is registered with.
Object* Stage::AttachButton(Clip& parent, std::uint16_t character, std::string_view name, int depth,
                            Object* init) {
    if (auto old = parent.children.find(depth); old != parent.children.end()) {
        Remove(*old->second);
    }
    Clip* button = Instantiate(parent, character, depth, -1);
    if (!button) {
        return nullptr;
    }
    button->name = std::string(name);
    StartClip(*button, true, nullptr);
    CopyInit(*rt_, button->object, init);
    return button->object;
}

Object* Stage::MakeTextField(int id, std::string_view name, int depth, double x, double y,
                             double width, double height) {
    Clip* parent = Find(id);
    if (!parent || !parent->isClip() || depth < kTimelineDepth || depth > kMaxScriptDepth) {
        return nullptr;
    }
    Clip* clip = Instantiate(*parent, 0, depth, -1);
    if (!clip) {
        return nullptr;
    }
    clip->name = std::string(name);
    clip->matrix.tx = x * 20;
    clip->matrix.ty = y * 20;
    auto field = std::make_unique<TextField>();
    field->movie = movie_;
    // A negative size keeps its box turned over: the corner stays at the origin, where _x and
    // _y read it, and the box reaches left of or above it.
    field->bounds.xMax = width * 20;
    field->bounds.yMax = height * 20;
    field->editable = false;
    StartTextField(*clip, std::move(field));
    return clip->object;
}

void Stage::AttachBitmap(int id, Object* bitmap, int depth, bool smoothing) {
    Clip* parent = Find(id);
    if (!parent || !parent->isClip() || depth < kTimelineDepth || depth > kMaxScriptDepth) {
        return;
    }
    Clip* clip = Instantiate(*parent, 0, depth, -1);
    if (!clip) {
        return;
    }
    // Neither a clip nor a character of the library: a picture, not addressable by name.
    clip->frames = nullptr;
    clip->definition = nullptr;
    clip->name.clear();
    clip->bitmapData = bitmap;
    clip->smoothing = smoothing;
}

std::shared_ptr<const swf::Image> Stage::ExportedBitmap(std::string_view name) {
    const swf::Movie* movie = root_ && root_->movie ? root_->movie : movie_;
    if (!movie) {
        return nullptr;
    }
    auto named = movie->FindSymbol(name);
    Symbol bitmap = named ? Resolve(movie, *named) : Symbol{};
    if (!bitmap.movie) {
        return nullptr;
    }
    auto it = bitmap.movie->bitmaps.find(bitmap.id);
    return it != bitmap.movie->bitmaps.end() ? it->second : nullptr;
}

// A copy of a field is the field its definition makes, where the original stands; one a
// script made has no definition and starts as an empty field without a box.
Object* Stage::DuplicateTextField(Clip& source, std::string_view name, int depth) {
    Clip* parent = source.parent;
    if (!parent) {
        return nullptr;
    }
    Clip* clip = Instantiate(*parent, source.character, depth, -1, source.movie);
    if (!clip) {
        return nullptr;
    }
    // A field's copy starts again from its definition, and shows whatever the original's
    // visibility.
    clip->name = std::string(name);
    clip->matrix = source.matrix;
    clip->colour = source.colour;
    const swf::Movie& library = *clip->movie;
    auto c = library.characters.find(source.character);
    const auto* def =
        c != library.characters.end() ? std::get_if<swf::EditText>(&c->second) : nullptr;
    std::unique_ptr<TextField> copy;
    if (def) {
        copy = std::make_unique<TextField>(*def, library, rt_->version());
    } else {
        // A script's field has no definition to start again from, but keeps its kind.
        copy = std::make_unique<TextField>();
        copy->movie = movie_;
        if (const TextField* original = avm1::FieldOf(source.object)) {
            copy->editable = original->editable;
        }
    }
    StartTextField(*clip, std::move(copy));
    return clip->object;
}

void Stage::RemoveClip(int id) {
    Clip* clip = Find(id);
    if (clip && clip->parent && clip->depth >= 0 && clip->depth <= kMaxScriptDepth &&
        !DeferRemoval(*clip)) {
        Remove(*clip);
    }
}

std::optional<int> Stage::Depth(int id) {
    Clip* clip = Find(id);
    if (!clip) {
        return std::nullopt;
    }
    return clip->parent ? clip->depth : kTimelineDepth;
}

void Stage::SwapDepths(int id, int depth) {
    Clip* clip = Find(id);
    if (!clip || !clip->parent || depth < kTimelineDepth || depth > kMaxScriptDepth ||
        depth == clip->depth) {
        return;
    }
    Clip& parent = *clip->parent;
    auto self = std::move(parent.children[clip->depth]);
    parent.children.erase(clip->depth);
    auto other = parent.children.find(depth);
    if (other != parent.children.end()) {
        auto moved = std::move(other->second);
        parent.children.erase(other);
        moved->depth = clip->depth;
        moved->placedAt = -1;
        parent.children[moved->depth] = std::move(moved);
    }
    clip->depth = depth;
    clip->placedAt = -1; // the timeline no longer owns it
    parent.children[depth] = std::move(self);
}

int Stage::NextHighestDepth(int id) {
    Clip* clip = Find(id);
    if (!clip || clip->children.empty()) {
        return 0;
    }
    return std::max(clip->children.rbegin()->first + 1, 0);
}

Object* Stage::InstanceAtDepth(int id, int depth) {
    Clip* clip = Find(id);
    if (!clip) {
        return nullptr;
    }
    auto it = clip->children.find(depth);
    if (it == clip->children.end()) {
        return nullptr;
    }
    return it->second->object ? it->second->object : clip->object;
}

std::pair<double, double> Stage::MovieSize() {
    // A movie loaded into the first level brings its own size.
    const swf::Movie* movie = root_ && root_->movie ? root_->movie : movie_;
    if (!movie) {
        return {0, 0};
    }
    const auto& f = movie->frameSize;
    return {(static_cast<double>(f.xMax) - f.xMin) / 20,
            (static_cast<double>(f.yMax) - f.yMin) / 20};
}

void Stage::CallFrame(int id, int frame) {
    Clip* clip = Find(id);
    if (!clip || !clip->isClip() || !clip->object || frame < 0 || frame >= clip->totalFrames()) {
        return;
    }
    // Copied: the scripts may unload the movie they belong to.
    auto blocks = (*clip->frames)[static_cast<std::size_t>(frame)].actions;
    for (const auto& block : blocks) {
        if (!clip->object || !Find(id)) {
            break;
        }
        rt_->RunBlock(block, clip->object);
    }
}

void Stage::Roots(std::vector<avm1::Cell*>& out) {
    LoadRoots(out);
    for (auto& [id, clip] : byId_) {
        if (clip->object) {
            out.push_back(clip->object);
        }
        if (clip->bitmapData) {
            out.push_back(clip->bitmapData); // a bitmap shown may have no other holder
        }
        if (clip->drawing) {
            out.insert(out.end(), clip->drawing->bitmaps.begin(), clip->drawing->bitmaps.end());
        }
    }
    for (auto& [id, clip] : goneClips_) {
        if (clip->object) {
            out.push_back(clip->object);
        }
    }
    for (const auto& list : queue_) {
        for (const auto& q : list) {
            if (q.constructor) {
                out.push_back(q.constructor);
            }
            if (q.loader) {
                out.push_back(q.loader);
            }
        }
    }
}

} // namespace fw::display
