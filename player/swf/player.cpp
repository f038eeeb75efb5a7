#include "player.h"

#include "flashvars.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <utility>

namespace fw::swf {

// What the scripts see of the stage: the root timeline and the named items of its display
// list, as the player keeps them.
class Player::Display : public avm1::DisplayInterface {
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
    int CurrentFrame(int) override { return std::max(p_.current_, 0); }
    int TotalFrames(int) override { return static_cast<int>(p_.movie_.frames.size()); }
    int FindLabel(int, std::string_view label) override { return p_.movie_.FindLabel(label); }
    void GotoFrame(int, int frame) override { p_.GotoFrame(frame); }
    void SetPlaying(int, bool play) override { p_.playing_ = play; }
    std::optional<Value> GetDisplayProperty(int clip, int property) override {
        if (clip != 0) {
            return std::nullopt;
        }
        switch (property) {
        case 0:
        case 1:
        case 10:
            return Value(0);
        case 2:
        case 3:
        case 6:
            return Value(100);
        case 4:
            return Value(p_.current_ + 1);
        case 5:
        case 12:
            return Value(static_cast<double>(p_.movie_.frames.size()));
        case 7:
            return Value(true);
        case 8:
            return Value((p_.movie_.frameSize.xMax - p_.movie_.frameSize.xMin) / 20.0);
        case 9:
            return Value((p_.movie_.frameSize.yMax - p_.movie_.frameSize.yMin) / 20.0);
        case 11:
            return Value("/");
        case 13:
        case 14:
            return Value("");
        default:
            return std::nullopt;
        }
    }
    bool SetDisplayProperty(int clip, int property, const Value&) override {
        // The root timeline's frame counters and names cannot be set; the rest are variables
        // until the root is drawn as a clip of its own.
        return clip == 0 && (property == 4 || property == 5 || property == 11 || property == 12 ||
                             property == 13);
    }
    std::optional<Value> GetTargetProperty(std::string_view target, int property) override {
        if (p_.IsRootPath(target)) {
            return GetDisplayProperty(0, property);
        }
        auto v = p_.ItemProperty(target, property);
        return v ? std::optional<Value>(Value(*v)) : std::nullopt;
    }
    bool SetTargetProperty(std::string_view target, int property, const Value& v) override {
        if (p_.IsRootPath(target)) {
            return true;
        }
        return p_.SetItemProperty(target, property, p_.runtime_->ToNum(v));
    }
    int FindChild(int, std::string_view) override { return -1; }
    bool UsesNetwork() override { return p_.movie_.useNetwork; }
    std::optional<std::string> ReadFile(std::string_view url) override {
        return p_.host_.ReadFile(url);
    }

private:
    Player& p_;
};

Player::Player(PlayerHost& host, PlayerLimits limits)
    : host_(host), limits_(limits), displayInterface_(std::make_unique<Display>(*this)),
      runtime_(std::make_unique<avm1::Runtime>(*displayInterface_, limits)) {
    movie_.frames.emplace_back();
}

Player::~Player() = default;

bool Player::IsRootPath(std::string_view target) {
    if (target.empty() || target == "/") {
        return true;
    }
    std::string lower = avm1::AsciiLower(target);
    return lower == "_root" || lower == "_level0" || lower == "this" || lower == "/_root";
}

void Player::Load(Movie movie) {
    movie_ = std::move(movie);
    if (movie_.frames.empty()) {
        movie_.frames.emplace_back();
    }
    runtime_->Reset(movie_.version);
    loadedAt_ = std::chrono::steady_clock::now();
    display_.clear();
    hover_ = -1;
    pressed_ = -1;
    current_ = -1;
    playing_ = true;
    pendingFrames_.clear();
    ++generation_;
    for (const auto& problem : movie_.problems) {
        Report(problem);
    }
}

void Player::Tick() {
    runtime_->NewTick();
    if (virtualTime_) {
        runtime_->SetNow(*virtualTime_);
    } else {
        auto elapsed = std::chrono::steady_clock::now() - loadedAt_;
        runtime_->SetNow(static_cast<double>(
            std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count()));
    }
    if (current_ < 0) {
        current_ = 0;
        EnterFrameDisplay(0, false);
        pendingFrames_.push_back(0);
    } else if (playing_ && movie_.frames.size() > 1) {
        int next = (current_ + 1) % static_cast<int>(movie_.frames.size());
        EnterFrameDisplay(next, next == current_ + 1);
        current_ = next;
        pendingFrames_.push_back(current_);
    }
    RunPending();
    unsigned generation = generation_;
    try {
        runtime_->RunTimers(runtime_->now());
    } catch (const avm1::StopBlock& stop) {
        Report("action block stopped: " + stop.reason);
    } catch (const avm1::MovieReplaced&) {
    }
    if (generation == generation_) {
        runtime_->Collect();
    }
}

bool Player::NeedsTicks() const {
    return current_ < 0 || !pendingFrames_.empty() || (playing_ && movie_.frames.size() > 1);
}

void Player::GotoFrame(int frame) {
    int last = static_cast<int>(movie_.frames.size()) - 1;
    frame = std::clamp(frame, 0, last);
    if (frame == current_) {
        return;
    }
    EnterFrameDisplay(frame, frame == current_ + 1);
    current_ = frame;
    pendingFrames_.push_back(frame);
}

void Player::ApplyPlacements(const Frame& frame, std::map<std::uint16_t, DisplayItem>& list,
                             bool bind) {
    for (const auto& p : frame.placements) {
        if (p.kind == Placement::Kind::Remove) {
            list.erase(p.depth);
            continue;
        }
        auto it = list.find(p.depth);
        if (p.move) {
            if (it == list.end()) {
                continue; // nothing there to modify
            }
        } else {
            if (!p.character) {
                continue;
            }
            if (it != list.end()) {
                continue; // the depth is taken; a new placement needs the move flag
            }
            it = list.emplace(p.depth, DisplayItem{}).first;
        }
        DisplayItem& item = it->second;
        if (p.character && *p.character != item.character) {
            item.character = *p.character;
            item.buttonState = kStateUp;
        }
        // Once a script has moved an item, the timeline's moves leave it where the script put it.
        bool timelineMoves = !(p.move && item.scripted);
        if (p.matrix && timelineMoves) {
            item.matrix = *p.matrix;
        }
        if (p.colour && timelineMoves) {
            item.colour = *p.colour;
        }
        if (p.name) {
            item.name = *p.name;
        }
        if (p.visible) {
            item.visible = *p.visible;
        }
        if (!bind) {
            continue;
        }
        // A bound edit text gives an unset variable its own text.
        auto c = movie_.characters.find(item.character);
        if (c != movie_.characters.end()) {
            if (const auto* field = std::get_if<EditText>(&c->second)) {
                if (!field->variable.empty() && field->hasText &&
                    GetVariable(field->variable).isUndefined()) {
                    SetVariable(field->variable, Value(field->initialText));
                }
            }
        }
    }
}

void Player::EnterFrameDisplay(int frame, bool next) {
    if (next) {
        ApplyPlacements(movie_.frames[static_cast<std::size_t>(frame)], display_, true);
    } else {
        // A jump: the list the timeline has at that frame, keeping what stays in place (its
        // button state, and where the scripts moved it).
        std::map<std::uint16_t, DisplayItem> target;
        for (int f = 0; f <= frame; ++f) {
            ApplyPlacements(movie_.frames[static_cast<std::size_t>(f)], target, f == frame);
        }
        for (auto& [depth, item] : target) {
            auto old = display_.find(depth);
            if (old != display_.end() && old->second.character == item.character) {
                item.buttonState = old->second.buttonState;
                if (old->second.scripted) {
                    item = old->second;
                }
            }
        }
        display_ = std::move(target);
    }
    if (hover_ >= 0 && !display_.count(static_cast<std::uint16_t>(hover_))) {
        hover_ = -1;
    }
    if (pressed_ >= 0 && !display_.count(static_cast<std::uint16_t>(pressed_))) {
        pressed_ = -1;
    }
}

std::string Player::FieldText(const EditText& field) {
    std::string text = field.initialText;
    if (!field.variable.empty()) {
        Value v = GetVariable(field.variable);
        text = v.isUndefined() ? std::string() : ToString(v, movie_.version);
    }
    return field.html ? PlainFromHtml(text) : text;
}

Picture Player::CurrentPicture() {
    Picture picture;
    picture.items = display_;
    if (display_.empty()) {
        for (auto& [name, value] : RootVariables()) {
            picture.texts.push_back(std::move(name));
            picture.texts.push_back(std::move(value));
        }
        return picture;
    }
    for (const auto& [depth, item] : picture.items) {
        CollectTexts(item.character, 0, picture.texts);
    }
    return picture;
}

void Player::CollectTexts(std::uint16_t character, int nesting, std::vector<std::string>& texts) {
    auto it = movie_.characters.find(character);
    // Buttons nest no deeper than the painter follows them.
    if (it == movie_.characters.end() || nesting > 4) {
        return;
    }
    if (const auto* field = std::get_if<EditText>(&it->second)) {
        texts.push_back(FieldText(*field));
    } else if (const auto* button = std::get_if<Button>(&it->second)) {
        for (const auto& record : button->records) {
            CollectTexts(record.character, nesting + 1, texts);
        }
    }
}

DisplayItem* Player::FindItem(std::string_view target) {
    // "name", "_root.name", "/name" and "_level0.name" all name an item of the root timeline.
    std::size_t sep = target.find_last_of("./:");
    if (sep != std::string_view::npos) {
        std::string_view head = target.substr(0, sep);
        if (!head.empty() && !IsRootPath(head)) {
            avm1::Object* at = nullptr;
            try {
                at = runtime_->ResolveHead(head).object();
            } catch (...) {
            }
            if (at != Root()) {
                return nullptr;
            }
        }
        target.remove_prefix(sep + 1);
    }
    for (auto& [depth, item] : display_) {
        if (!item.name.empty() && item.name == target) {
            return &item;
        }
    }
    return nullptr;
}

namespace {

bool NearlyEqual(const Matrix& x, const Matrix& y) {
    auto same = [](double p, double q) {
        return std::abs(p - q) <= 1e-9 * std::max({1.0, std::abs(p), std::abs(q)});
    };
    return same(x.a, y.a) && same(x.b, y.b) && same(x.c, y.c) && same(x.d, y.d) &&
           same(x.tx, y.tx) && same(x.ty, y.ty);
}

} // namespace

bool Player::SetItemProperty(std::string_view target, int property, double value) {
    DisplayItem* item = FindItem(target);
    if (!item) {
        return false;
    }
    if (std::isnan(value)) {
        return true; // as players do, an unreadable number changes nothing
    }
    Matrix m = item->matrix;
    auto rescale = [](double& a, double& b, double percent) {
        double now = std::sqrt(a * a + b * b);
        if (now < 1e-9) {
            a = percent / 100;
            b = 0;
        } else {
            a = a / now * percent / 100;
            b = b / now * percent / 100;
        }
    };
    switch (property) {
    case 0:
        m.tx = value * 20;
        break;
    case 1:
        m.ty = value * 20;
        break;
    case 2:
        rescale(m.a, m.b, value);
        break;
    case 3:
        rescale(m.d, m.c, value);
        break;
    case 6:
        item->colour.mult[3] =
            static_cast<std::int16_t>(std::clamp(value * 2.56, -32768.0, 32767.0));
        break;
    case 7:
        item->visible = value != 0;
        break;
    case 10: {
        double sx = std::sqrt(m.a * m.a + m.b * m.b);
        double sy = std::sqrt(m.c * m.c + m.d * m.d);
        double r = value * 3.14159265358979323846 / 180;
        m.a = sx * std::cos(r);
        m.b = sx * std::sin(r);
        m.c = -sy * std::sin(r);
        m.d = sy * std::cos(r);
        break;
    }
    default:
        Report("property " + std::to_string(property) + " is not played");
        return true;
    }
    // Worked out again from itself, a scale or rotation lands a last digit away now and then;
    // a script that sets the same value every frame then leaves the item exactly as it was, so
    // the picture stays the same and is not drawn again.
    if (!NearlyEqual(m, item->matrix)) {
        item->matrix = m;
    }
    item->scripted = true;
    return true;
}

std::optional<double> Player::ItemProperty(std::string_view target, int property) const {
    DisplayItem* item = const_cast<Player*>(this)->FindItem(target);
    if (!item) {
        return std::nullopt;
    }
    const Matrix& m = item->matrix;
    switch (property) {
    case 0:
        return m.tx / 20;
    case 1:
        return m.ty / 20;
    case 2:
        return std::sqrt(m.a * m.a + m.b * m.b) * 100;
    case 3:
        return std::sqrt(m.c * m.c + m.d * m.d) * 100;
    case 6:
        return item->colour.mult[3] / 2.56;
    case 7:
        return item->visible ? 1.0 : 0.0;
    case 10:
        return std::atan2(m.b, m.a) * 180 / 3.14159265358979323846;
    default:
        return std::nullopt;
    }
}

int Player::HitButton(Point p) const {
    for (auto it = display_.rbegin(); it != display_.rend(); ++it) {
        const DisplayItem& item = it->second;
        if (!item.visible) {
            continue;
        }
        auto c = movie_.characters.find(item.character);
        if (c == movie_.characters.end()) {
            continue;
        }
        const auto* button = std::get_if<Button>(&c->second);
        if (!button) {
            continue;
        }
        auto inverse = item.matrix.Inverse();
        if (!inverse) {
            continue;
        }
        Point local = inverse->Apply(p);
        for (const auto& rec : button->records) {
            if (!(rec.states & kStateHit)) {
                continue;
            }
            auto shape = movie_.characters.find(rec.character);
            if (shape == movie_.characters.end()) {
                continue;
            }
            const auto* s = std::get_if<Shape>(&shape->second);
            auto recInverse = rec.matrix.Inverse();
            if (s && recInverse && HitShape(*s, recInverse->Apply(local))) {
                return it->first;
            }
        }
    }
    return -1;
}

void Player::SetButtonState(int depth, std::uint8_t state) {
    auto it = display_.find(static_cast<std::uint16_t>(depth));
    if (it != display_.end()) {
        it->second.buttonState = state;
    }
}

bool Player::RunButtonActions(int depth, std::uint16_t condition, std::uint8_t key) {
    auto it = display_.find(static_cast<std::uint16_t>(depth));
    if (it == display_.end()) {
        return false;
    }
    auto c = movie_.characters.find(it->second.character);
    if (c == movie_.characters.end() || !std::holds_alternative<Button>(c->second)) {
        return false;
    }
    // Copies: the actions may replace the movie, and with it the button.
    std::vector<ActionBlock> blocks;
    for (const auto& a : std::get<Button>(c->second).actions) {
        if ((condition && (a.conditions & condition)) || (key && a.key == key)) {
            blocks.push_back(a.actions);
        }
    }
    unsigned generation = generation_;
    for (const auto& block : blocks) {
        RunBlock(block);
        if (generation != generation_) {
            break;
        }
    }
    return !blocks.empty();
}

bool Player::MouseMove(Point p) {
    mouse_ = p;
    int hit = HitButton(p);
    if (pressed_ >= 0) {
        // While held, the pressed button shows down over itself and up outside.
        std::uint8_t state = hit == pressed_ ? kStateDown : kStateUp;
        auto it = display_.find(static_cast<std::uint16_t>(pressed_));
        bool changed = it != display_.end() && it->second.buttonState != state;
        if (changed) {
            SetButtonState(pressed_, state);
            RunButtonActions(pressed_, hit == pressed_ ? kCondDragOver : kCondDragOut);
        }
        hover_ = hit == pressed_ ? hit : -1;
        return changed;
    }
    if (hit == hover_) {
        return false;
    }
    int old = hover_;
    hover_ = hit;
    if (old >= 0) {
        SetButtonState(old, kStateUp);
        RunButtonActions(old, kCondRollOut);
    }
    if (hit >= 0 && hover_ == hit) {
        SetButtonState(hit, kStateOver);
        RunButtonActions(hit, kCondRollOver);
    }
    return true;
}

bool Player::MouseDown() {
    int hit = HitButton(mouse_);
    hover_ = hit;
    if (hit < 0) {
        return false;
    }
    pressed_ = hit;
    SetButtonState(hit, kStateDown);
    RunButtonActions(hit, kCondPress);
    return true;
}

bool Player::MouseUp() {
    if (pressed_ < 0) {
        return false;
    }
    int depth = std::exchange(pressed_, -1);
    if (HitButton(mouse_) == depth) {
        hover_ = depth;
        SetButtonState(depth, kStateOver);
        RunButtonActions(depth, kCondRelease);
    } else {
        SetButtonState(depth, kStateUp);
        RunButtonActions(depth, kCondReleaseOut);
    }
    return true;
}

bool Player::MouseLeave() {
    if (hover_ < 0 || pressed_ >= 0) {
        return false;
    }
    int old = std::exchange(hover_, -1);
    SetButtonState(old, kStateUp);
    RunButtonActions(old, kCondRollOut);
    return true;
}

bool Player::KeyPress(std::uint8_t code) {
    if (code == 0) {
        return false;
    }
    bool any = false;
    // Every button on the stage that listens for the key acts, topmost first.
    std::vector<int> depths;
    for (auto it = display_.rbegin(); it != display_.rend(); ++it) {
        depths.push_back(it->first);
    }
    for (int depth : depths) {
        any = RunButtonActions(depth, 0, code) || any;
    }
    return any;
}

void Player::RunPending() {
    std::size_t blocks = 0;
    while (!pendingFrames_.empty()) {
        int frame = pendingFrames_.front();
        pendingFrames_.pop_front();
        if (++blocks > limits_.blocksPerTick) {
            pendingFrames_.clear();
            Report("more than " + std::to_string(limits_.blocksPerTick) +
                   " frames entered in one tick");
            return;
        }
        // Copy: a block may not outlive a Load started from the host during a callback.
        const Frame f = movie_.frames[static_cast<std::size_t>(frame)];
        unsigned generation = generation_;
        for (const auto* blocks : {&f.initActions, &f.actions}) {
            for (const auto& block : *blocks) {
                RunOne(block);
                if (generation != generation_) {
                    return;
                }
            }
        }
    }
}

void Player::RunBlock(const ActionBlock& block) {
    runtime_->NewTick();
    RunOne(block);
    RunPending();
}

void Player::RunOne(const ActionBlock& block) {
    try {
        runtime_->RunBlock(block, Root());
    } catch (const avm1::StopBlock& stop) {
        Report("action block stopped: " + stop.reason);
    } catch (const avm1::MovieReplaced&) {
    }
}

void Player::SetVariable(std::string_view path, Value value) {
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
