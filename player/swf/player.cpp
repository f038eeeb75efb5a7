#include "player.h"

#include "display/draw.h"
#include "display/geometry.h"

#include "flashvars.h"

#include "avm1/text_field.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <utility>

namespace fw::swf {

// The tree as the scripts see it, with the host's own calls added.
class Player::Display : public display::Stage {
public:
    explicit Display(Player& p) : p_(p) {}

    void Trace(const std::string& text) override { p_.host_.TraceOutput(text); }
    void Problem(const std::string& text) override { p_.Report(text); }
    void FsCommand(const std::string& command, const std::string& args) override {
        unsigned generation = p_.generation_;
        p_.host_.FsCommand(command, args);
        if (generation != p_.generation_) {
            throw avm1::MovieReplaced{};
        }
    }
    bool UsesNetwork() override { return p_.movie_.useNetwork; }
    std::optional<std::string> ReadFile(std::string_view url) override {
        return p_.host_.ReadFile(url);
    }
    std::optional<Window> HostWindow() override { return p_.host_.HostWindow(); }
    avm1::NetServices* Net() override { return p_.host_.Net(); }
    std::string PlayedFrom() override { return p_.host_.MovieUrl(); }

private:
    Player& p_;
};

Player::Player(PlayerHost& host, PlayerLimits limits)
    : host_(host), limits_(limits), stage_(std::make_unique<Display>(*this)),
      runtime_(std::make_unique<avm1::Runtime>(*stage_, limits)),
      input_(std::make_unique<display::Input>(*stage_, *runtime_)) {
    movie_.frames.emplace_back();
    stage_->Bind(*runtime_);
    stage_->SetFrameLimit(limits_.blocksPerTick);
    stage_->Sounds()->SetMp3Decoder(host_.Mp3());
    stage_->Load(movie_);
}

Player::~Player() = default;

namespace {

bool CarriesActions(const Movie& movie) {
    auto frameActs = [](const Frame& f) {
        return !f.actions.empty() || !f.initActions.empty() ||
               std::any_of(f.placements.begin(), f.placements.end(),
                           [](const Placement& p) { return !p.clipActions.empty(); });
    };
    auto framesAct = [&](const std::vector<Frame>& frames) {
        return std::any_of(frames.begin(), frames.end(), frameActs);
    };
    if (framesAct(movie.frames)) {
        return true;
    }
    for (const auto& [id, sprite] : movie.sprites) {
        if (framesAct(sprite.frames)) {
            return true;
        }
    }
    for (const auto& [id, character] : movie.characters) {
        const auto* button = std::get_if<Button>(&character);
        if (button && !button->actions.empty()) {
            return true;
        }
    }
    return false;
}

} // namespace

void Player::Load(Movie movie) {
    movie_ = std::move(movie);
    if (movie_.frames.empty()) {
        movie_.frames.emplace_back();
    }
    runtime_->Reset(movie_.version);
    runtime_->SetScriptLimits(movie_.maxRecursion, movie_.scriptTimeoutSeconds);
    stage_->Load(movie_);
    dueAt_.reset();
    scripted_ = CarriesActions(movie_);
    loadedAt_ = std::chrono::steady_clock::now();
    runtime_->SetDateOrigin(dateOrigin_.value_or(
        static_cast<double>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                std::chrono::system_clock::now().time_since_epoch())
                                .count())));
    input_->Reset();
    ++generation_;
    for (const auto& problem : movie_.problems) {
        Report(problem);
    }
}

void Player::Play() {
    stage_->root().playing = true;
}

void Player::Stop() {
    stage_->SetPlaying(stage_->root().id, false);
}

bool Player::playing() const {
    return stage_->root().playing;
}

int Player::currentFrame() const {
    return stage_->root().current;
}

void Player::Tick() {
    runtime_->NewFrame();
    if (virtualTime_) {
        runtime_->SetNow(*virtualTime_);
    } else {
        auto elapsed = std::chrono::steady_clock::now() - loadedAt_;
        runtime_->SetNow(static_cast<double>(
            std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count()));
    }
    unsigned generation = generation_;
    stage_->Tick();
    if (generation != generation_) {
        return;
    }
    try {
        runtime_->RunTimers(runtime_->now());
    } catch (const avm1::StopBlock& stop) {
        Report("action block stopped: " + stop.reason);
    } catch (const avm1::MovieReplaced&) {
    }
    if (generation == generation_) {
        stage_->RunQueued();
    }
    if (generation == generation_) {
        input_->FrameEnded();
    }
    if (generation == generation_) {
        runtime_->CollectBetweenFrames();
    }
}

int Player::PlayDue(double ms) {
    const double frameMs = 1000.0 / movie_.frameRate;
    // After a rest (a gap longer than the frames it would catch up: the timer was off while
    // the movie stood still), or with the clock gone back, the plan starts from now.
    if (!dueAt_ || ms < *dueAt_ - frameMs || ms - lastDue_ > kMaxCatchUp * frameMs) {
        dueAt_ = ms;
    }
    lastDue_ = ms;
    unsigned generation = generation_;
    int played = 0;
    for (;;) {
        Tick();
        ++played;
        if (generation != generation_) {
            return played; // another movie: it plans afresh
        }
        *dueAt_ += frameMs;
        if (ms < *dueAt_ || !NeedsTicks()) {
            return played;
        }
        if (played >= kMaxCatchUp) {
            dueAt_ = ms + frameMs;
            return played;
        }
    }
}

int Player::CatchUp(double ms) {
    return dueAt_ && ms >= *dueAt_ && NeedsTicks() ? PlayDue(ms) : 0;
}

int Player::QuietFrames(int most) const {
    const display::Clip& root = stage_->root();
    if (scripted_ || root.current < 0 || !root.playing || stage_->Busy() ||
        !stage_->levels().empty() || stage_->Sounds()->voices() > 0) {
        return 0;
    }
    const int frames = std::min(root.totalFrames(), static_cast<int>(movie_.frames.size()));
    int quiet = 0;
    // The loop back to the first frame rebuilds the stage: never quiet.
    for (int f = root.current + 1; quiet < most && f < frames; ++f, ++quiet) {
        const Frame& frame = movie_.frames[static_cast<std::size_t>(f)];
        if (!frame.placements.empty() || !frame.sounds.empty() || frame.stream ||
            !frame.actions.empty() || !frame.initActions.empty()) {
            break;
        }
    }
    return quiet;
}

void Player::MixSound(std::int16_t* out, std::size_t frames) {
    stage_->Sounds()->Mix(out, frames);
}

bool Player::NeedsTicks() const {
    const display::Clip& root = stage_->root();
    return root.current < 0 || stage_->Busy() || (root.playing && root.totalFrames() > 1);
}

display::Clip* Player::Item(int depth) const {
    auto& children = stage_->root().children;
    auto it = children.find(display::kTimelineDepth + depth);
    return it == children.end() ? nullptr : it->second.get();
}

const std::map<std::uint16_t, DisplayItem>& Player::displayList() const {
    list_.clear();
    for (const auto& [depth, clip] : stage_->root().children) {
        int fileDepth = depth - display::kTimelineDepth;
        if (fileDepth < 0 || fileDepth > 0xFFFF) {
            continue;
        }
        DisplayItem item;
        item.character = clip->character;
        item.matrix = clip->matrix;
        item.colour = clip->colour;
        item.name = clip->name;
        item.visible = clip->visible;
        item.scripted = clip->scripted;
        item.buttonState = clip->buttonState;
        list_.emplace(static_cast<std::uint16_t>(fileDepth), std::move(item));
    }
    return list_;
}

std::string Player::FieldText(const EditText& field) {
    std::string text = field.initialText;
    if (!field.variable.empty()) {
        Value v = GetVariable(field.variable);
        text = v.isUndefined() ? std::string() : ToString(v, movie_.version);
    }
    return field.html ? PlainFromHtml(text) : text;
}

void Player::Render(render::Picture& target, const Matrix& toPixels) {
    Rgb c = movie_.hasBackground ? movie_.background : Rgb{};
    target.Clear(render::Premultiplied(Rgba{c.r, c.g, c.b, 255}));
    SyncFields(stage_->root(), 0);
    for (const auto& [number, level] : stage_->levels()) {
        SyncFields(*level, 0);
    }
    display::DrawStage(*stage_, target, toPixels);
}

Picture Player::CurrentPicture() {
    Picture picture;
    picture.items = displayList();
    CollectDrawn(stage_->root(), Matrix{}, ColorTransform{}, picture.drawn);
    // Levels stand above the first, each placed by its own root's matrix.
    for (const auto& [number, level] : stage_->levels()) {
        if (level->visible) {
            CollectDrawn(*level, level->matrix, level->colour, picture.drawn);
        }
    }
    if (picture.drawn.empty()) {
        for (auto& [name, value] : RootVariables()) {
            picture.texts.push_back(std::move(name));
            picture.texts.push_back(std::move(value));
        }
    }
    return picture;
}

void Player::SyncField(const display::Clip& clip) {
    // A bound field shows its variable as it stands now, also while no frame runs (a stopped
    // movie whose host sets the variable); one that shows it already is left alone, so
    // typing's caret and the formats stay.
    display::TextField* field = avm1::FieldOf(clip.object);
    if (!field || field->variable.empty()) {
        return;
    }
    try {
        auto value = avm1::VariableText(*runtime_, clip.object);
        if (value && *value != (field->html ? field->markup() : field->Text())) {
            avm1::SyncVariable(*runtime_, clip.object);
        }
    } catch (...) {
        Report("variable of a text field not read");
    }
}

void Player::SyncFields(const display::Clip& clip, int nesting) {
    if (nesting > kMaxFieldNesting) {
        return;
    }
    for (const auto& [depth, child] : clip.children) {
        if (!child->removed) {
            SyncField(*child);
            SyncFields(*child, nesting + 1);
        }
    }
}

void Player::CollectDrawn(const display::Clip& clip, const Matrix& m, const ColorTransform& cx,
                          std::vector<DrawnItem>& out) {
    for (const auto& [depth, child] : clip.children) {
        // Masks only cut what stands above them; drawn as shapes they would hide it instead.
        if (!child->visible || child->clipDepth != 0) {
            continue;
        }
        Matrix placed = child->matrix.Then(m);
        ColorTransform coloured = child->colour.Then(cx);
        DrawnItem item;
        item.character = child->character;
        item.matrix = placed;
        item.colour = coloured;
        item.drawing = child->drawing ? child->drawing->revision : 0;
        item.mask = child->mask;
        item.blendMode = child->blendMode;
        item.cacheAsBitmap = child->cacheAsBitmap;
        item.opaqueBackground = child->opaqueBackground;
        item.scrollRect = child->scrollRect;
        item.filters = child->filters;
        // A button shows through the children of its current state; a clip stands for itself
        // only where it draws, masks or composes something of its own.
        if (child->isClip() || !child->children.empty()) {
            if (item.drawing != 0 || item.mask != 0 || item.blendMode > 1 || item.cacheAsBitmap ||
                item.opaqueBackground || item.scrollRect || !item.filters.empty()) {
                out.push_back(item);
            }
            CollectDrawn(*child, placed, coloured, out);
            continue;
        }
        item.buttonState = child->buttonState;
        item.ratio = child->ratio;
        item.definition = child->definition;
        if (display::TextField* field = avm1::FieldOf(child->object)) {
            SyncField(*child);
            item.field = field;
            item.text = field->Text();
        }
        out.push_back(std::move(item));
    }
}

display::Clip* Player::FindItem(std::string_view target) {
    // "name", "_root.name", "/name" and "_level0.name" name items of the root timeline; deeper
    // paths name what stands in clips.
    display::Clip* clip = stage_->FindPath(target);
    return clip && clip->parent ? clip : nullptr;
}

bool Player::SetItemProperty(std::string_view target, int property, double value) {
    display::Clip* item = FindItem(target);
    if (!item) {
        return false;
    }
    if (!stage_->SetNumberProperty(*item, property, value)) {
        Report("property " + std::to_string(property) + " is not played");
    }
    return true;
}

std::optional<double> Player::ItemProperty(std::string_view target, int property) const {
    display::Clip* item = const_cast<Player*>(this)->FindItem(target);
    if (!item) {
        return std::nullopt;
    }
    return stage_->NumberProperty(*item, property);
}

bool Player::KeyPress(std::uint8_t code) {
    // The key codes of the keys a button code names; a character stands on its own key.
    constexpr int kKeys[20] = {0, 37, 39, 36, 35, 45, 46, 0,  8, 0,
                               0, 0,  0,  13, 38, 40, 33, 34, 9, 27};
    int key = 0;
    char32_t character = 0;
    if (code < 20) {
        key = kKeys[code];
        character = key == 8 || key == 13 || key == 27 || key == 9 ? key : 0;
    } else if (code >= 32 && code <= 126) {
        character = code;
        key = code >= 'a' && code <= 'z' ? code - 'a' + 'A' : code;
    }
    if (key == 0) {
        return false;
    }
    bool changed = input_->KeyDown(key, character);
    if (code >= 32) {
        changed = input_->TextInput(character) || changed;
    }
    return input_->KeyUp(key, character) || changed;
}

void Player::RunBlock(const ActionBlock& block) {
    runtime_->NewTick();
    runtime_->ValuesChanged();
    scripted_ = true;
    if (stage_->RunNow(block, Root())) {
        stage_->RunQueued();
    }
}

void Player::SetVariable(std::string_view path, Value value) {
    runtime_->ValuesChanged(); // what the variable held may now be unreachable
    std::size_t sep = path.find_last_of(":.");
    avm1::Object* target = Root();
    std::string_view name = path;
    if (sep != std::string_view::npos) {
        target = runtime_->ResolveHead(path.substr(0, sep)).object();
        name = path.substr(sep + 1);
    }
    if (!target || name.empty()) {
        Report("no object for variable " + std::string(path));
        return;
    }
    if (!target->FindOwn(name) && target->size() >= limits_.propertiesPerObject) {
        Report("too many variables; " + std::string(path) + " not set");
        return;
    }
    try {
        runtime_->Put(Value(target), name, std::move(value));
    } catch (const avm1::StopBlock& stop) {
        Report("setting " + std::string(path) + " stopped: " + stop.reason);
    } catch (const avm1::Thrown&) {
    } catch (const avm1::MovieReplaced&) {
    }
}

Value Player::GetVariable(std::string_view path) {
    try {
        return runtime_->GetPath(path);
    } catch (const avm1::StopBlock& stop) {
        Report("reading " + std::string(path) + " stopped: " + stop.reason);
    } catch (const avm1::Thrown&) {
    } catch (const avm1::MovieReplaced&) {
    }
    return Value();
}

std::string Player::GetVariableText(std::string_view path) {
    Value v = GetVariable(path);
    if (v.isUndefined()) {
        return std::string();
    }
    try {
        return runtime_->ToStr(v);
    } catch (...) {
        return avm1::ToString(v, movie_.version);
    }
}

void Player::ApplyFlashVars(std::string_view text) {
    // Parameter names are taken literally, never as paths.
    runtime_->ValuesChanged();
    for (auto& [name, value] : ParseFlashVars(text)) {
        if (!Root()->FindOwn(name) && Root()->size() >= limits_.propertiesPerObject) {
            Report("too many variables; parameter " + name + " not set");
            continue;
        }
        Root()->Set(name, Value(std::move(value)));
    }
}

std::vector<std::pair<std::string, std::string>> Player::RootVariables() const {
    std::vector<std::pair<std::string, std::string>> out;
    int version = std::max(7, static_cast<int>(movie_.version));
    Root()->ForEach([&](const avm1::Property& p) {
        if (!(p.flags & avm1::kDontEnum)) {
            out.emplace_back(p.name, avm1::ToString(p.value, version));
        }
    });
    return out;
}

} // namespace fw::swf
