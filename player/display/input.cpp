#include "input.h"

#include "avm1/input.h"
#include "avm1/text_field.h"
#include "draw_text.h"
#include "focus.h"
#include "geometry.h"
#include "swf/morph.h"

#include <map>
#include <utility>
#include <variant>

namespace fw::display {
namespace {

using avm1::Value;

constexpr int kMaxNesting = 256;

const swf::Character* CharacterOf(const swf::Movie* movie, std::uint16_t id) {
    if (!movie) {
        return nullptr;
    }
    auto it = movie->characters.find(id);
    return it == movie->characters.end() ? nullptr : &it->second;
}

// Where a display object's characters come from: a loaded movie's own library.
const swf::Movie* MovieOf(const Stage&, const Clip& clip) {
    return clip.movie;
}

bool Inside(const swf::Bounds& b, swf::Point p) {
    return p.x >= b.xMin && p.x <= b.xMax && p.y >= b.yMin && p.y <= b.yMax;
}

bool HitCharacter(const swf::Movie* movie, std::uint16_t id, swf::Point local, int nesting,
                  std::uint16_t ratio = 0) {
    const swf::Character* c = CharacterOf(movie, id);
    if (!c || nesting > kMaxNesting) {
        return movie && nesting <= kMaxNesting && HitStaticText(*movie, id, local);
    }
    if (const auto* shape = std::get_if<swf::Shape>(c)) {
        return Inside(shape->bounds, local) && swf::HitShape(*shape, local);
    }
    if (const auto* morph = std::get_if<swf::MorphShape>(c)) {
        swf::Shape shape = swf::MorphAt(*morph, ratio);
        return Inside(shape.bounds, local) && swf::HitShape(shape, local);
    }
    if (const auto* text = std::get_if<swf::EditText>(c)) {
        return Inside(text->bounds, local);
    }
    if (const auto* button = std::get_if<swf::Button>(c)) {
        for (const auto& rec : button->records) {
            if (!(rec.states & swf::kStateHit)) {
                continue;
            }
            auto inverse = rec.matrix.Inverse();
            if (inverse && HitCharacter(movie, rec.character, inverse->Apply(local), nesting + 1)) {
                return true;
            }
        }
    }
    return false;
}

struct EdgeInfo {
    std::uint32_t event;
    const char* method;
    std::uint16_t condition;
    std::uint8_t state; // what a button shows afterwards
};

// Per edge of the pointer's state machine: the clip event, the method and the button
// condition it fires.
constexpr EdgeInfo kEdges[] = {
    {kEventPress, "onPress", swf::kCondPress, swf::kStateDown},
    {kEventRelease, "onRelease", swf::kCondRelease, swf::kStateOver},
    {kEventReleaseOutside, "onReleaseOutside", swf::kCondReleaseOut, swf::kStateUp},
    {kEventRollOver, "onRollOver", swf::kCondRollOver, swf::kStateOver},
    {kEventRollOut, "onRollOut", swf::kCondRollOut, swf::kStateUp},
    {kEventDragOver, "onDragOver", swf::kCondDragOver, swf::kStateDown},
    {kEventDragOut, "onDragOut", swf::kCondDragOut, swf::kStateUp},
};

constexpr std::uint32_t kButtonEvents = kEventPress | kEventRelease | kEventReleaseOutside |
                                        kEventRollOver | kEventRollOut | kEventDragOver |
                                        kEventDragOut;

} // namespace

bool HitTest(const Stage& stage, const Clip& clip, swf::Point stagePoint) {
    auto inverse = stage.GlobalMatrix(clip).Inverse();
    if (!inverse) {
        return false;
    }
    swf::Point local = inverse->Apply(stagePoint);
    if (const TextField* field = avm1::FieldOf(clip.object)) {
        return Inside(field->bounds, local);
    }
    if (clip.drawing && HitShapeEdges(clip.drawing->Closed(), local)) {
        return true;
    }
    if (!clip.isClip()) {
        return HitCharacter(MovieOf(stage, clip), clip.character, local, 0, clip.ratio);
    }
    int nesting = 0;
    for (const Clip* c = &clip; c; c = c->parent) {
        if (++nesting > kMaxNesting) {
            return false;
        }
    }
    for (const auto& [depth, child] : clip.children) {
        if (child->visible && !child->removed && child->clipDepth == 0 &&
            HitTest(stage, *child, stagePoint)) {
            return true;
        }
    }
    return false;
}

void ShowButtonState(Stage& stage, Clip& button, std::uint8_t state) {
    const swf::Character* c = CharacterOf(MovieOf(stage, button), button.character);
    const auto* b = c ? std::get_if<swf::Button>(c) : nullptr;
    std::uint8_t was = button.buttonState;
    button.buttonState = state;
    if (!b) {
        return;
    }
    if (was != state) {
        stage.ButtonSound(button, *b, was, state);
    }
    std::map<int, const swf::ButtonRecord*> wanted;
    for (const auto& rec : b->records) {
        if (rec.states & state) {
            wanted[rec.depth] = &rec;
        }
    }
    std::vector<Clip*> leaving;
    for (auto& [depth, child] : button.children) {
        auto it = wanted.find(depth);
        if (it == wanted.end() || it->second->character != child->character) {
            leaving.push_back(child.get());
        } else {
            wanted.erase(it);
        }
    }
    for (Clip* child : leaving) {
        stage.Remove(*child);
    }
    for (const auto& [depth, rec] : wanted) {
        Clip* child = stage.Instantiate(button, rec->character, depth, -1);
        if (!child) {
            continue;
        }
        child->matrix = rec->matrix;
        child->colour = rec->colour;
        stage.StartClip(*child, false, nullptr);
    }
}

std::uint8_t ButtonKeyCode(int keyCode, char32_t character) {
    struct Pair {
        int key;
        std::uint8_t button;
    };
    constexpr Pair kKeys[] = {{37, 1},  {39, 2},  {36, 3},  {35, 4},  {45, 5},  {46, 6}, {8, 8},
                              {13, 13}, {38, 14}, {40, 15}, {33, 16}, {34, 17}, {9, 18}, {27, 19}};
    for (const auto& k : kKeys) {
        if (k.key == keyCode) {
            return k.button;
        }
    }
    return character >= 32 && character <= 126 ? static_cast<std::uint8_t>(character) : 0;
}

Input::Input(Stage& stage, avm1::Runtime& rt) : stage_(stage), rt_(rt), typing_(rt) {
    stage_.focus().Attach(this);
}

Input::~Input() {
    stage_.focus().Attach(nullptr);
}

void Input::Reset() {
    focusHover_ = false;
    seen_ = false;
    hover_ = 0;
    pressed_ = 0;
    menu_ = 0;
    hoverSpot_ = pressedSpot_ = {};
    down_ = false;
    mouse_ = {};
}

bool Input::Interactive(const Clip& clip) {
    bool handles = false;
    if (!clip.isClip()) {
        const swf::Character* c = CharacterOf(MovieOf(stage_, clip), clip.character);
        handles = c && std::holds_alternative<swf::Button>(*c);
        if (!handles || !clip.object) {
            return handles;
        }
    } else if (!clip.object) {
        return false;
    }
    for (const auto& action : clip.clipActions) {
        handles = handles || (action.events & kButtonEvents) != 0;
    }
    try {
        Value self(clip.object);
        for (const auto& e : kEdges) {
            handles = handles || !rt_.Get(self, e.method, false).isUndefined();
        }
        Value enabled = rt_.Get(self, "enabled", false);
        if (handles && !enabled.isUndefined() && !rt_.ToBool(enabled)) {
            return false;
        }
    } catch (...) {
        return false; // a getter that fails leaves the clip out
    }
    return handles;
}

Clip* Input::Target(Clip& parent, swf::Point p, int nesting, bool fields) {
    if (nesting > kMaxNesting) {
        return nullptr;
    }
    for (auto it = parent.children.rbegin(); it != parent.children.rend(); ++it) {
        Clip& child = *it->second;
        if (!child.visible || child.removed || child.clipDepth != 0) {
            continue;
        }
        if (const TextField* f = fields ? avm1::FieldOf(child.object) : nullptr) {
            if (f->selectable && HitTest(stage_, child, p)) {
                return &child;
            }
            continue;
        }
        // A button's own children may be buttons that take the pointer first.
        if (!child.isClip() && !child.children.empty()) {
            if (Clip* inner = Target(child, p, nesting + 1, fields)) {
                return inner;
            }
        }
        if (Interactive(child)) {
            // A hit area stands in for what the clip shows.
            const Clip* area = &child;
            if (child.object) {
                try {
                    avm1::Object* o = rt_.Get(Value(child.object), "hitArea", false).object();
                    if (o && o->clipId > 0) {
                        if (const Clip* a = stage_.Find(o->clipId)) {
                            area = a;
                        }
                    }
                } catch (...) {
                }
            }
            if (HitTest(stage_, *area, p)) {
                return &child;
            }
            continue;
        }
        if (child.isClip()) {
            if (Clip* found = Target(child, p, nesting + 1, fields)) {
                return found;
            }
        }
    }
    return nullptr;
}

void Input::Fire(Clip& target, Edge edge) {
    const EdgeInfo& e = kEdges[static_cast<int>(edge)];
    acted_ = true;
    if (target.isClip()) {
        stage_.QueueEvents(target, e.event, e.method, Stage::kNormal);
        return;
    }
    if (target.buttonState != e.state) {
        ShowButtonState(stage_, target, e.state);
    }
    const swf::Character* c = CharacterOf(MovieOf(stage_, target), target.character);
    const auto* button = c ? std::get_if<swf::Button>(c) : nullptr;
    // A button's actions run on the timeline it stands in, before its own method.
    for (std::size_t i = 0; button && target.parent && i < button->actions.size(); ++i) {
        if (button->actions[i].conditions & e.condition) {
            Stage::Queued q;
            q.clip = target.parent->id;
            q.own = button->actions[i].actions;
            stage_.queue_[Stage::kNormal].push_back(std::move(q));
        }
    }
    stage_.QueueEvents(target, 0, e.method, Stage::kNormal);
}

void Input::Broadcast(std::uint32_t event, const char* method) {
    std::vector<int> order(stage_.exec_.rbegin(), stage_.exec_.rend());
    for (int id : order) {
        if (Clip* clip = stage_.Find(id); clip && !clip->removed) {
            stage_.QueueEvents(*clip, event, method, Stage::kNormal);
        }
    }
}

void Input::Notify(avm1::Object* broadcaster, const char* method,
                   const std::vector<avm1::Value>& args) {
    if (replaced_) {
        return;
    }
    try {
        avm1::NotifyListeners(rt_, broadcaster, method, args);
    } catch (const avm1::StopBlock& stop) {
        stage_.Report("action block stopped: " + stop.reason);
    } catch (const avm1::Thrown&) {
        stage_.Report("uncaught exception in a listener");
    } catch (const avm1::MovieReplaced&) {
        replaced_ = true;
    }
}

bool Input::Finish() {
    // Every clip hears the mouse, so what counts is what a target did.
    bool ran = std::exchange(acted_, false);
    if (!replaced_) {
        stage_.RunQueued();
    }
    replaced_ = false;
    Remember();
    return ran;
}

void Input::Remember() {
    auto spot = [&](int id) {
        Clip* c = Live(id);
        if (!c || c->removed || c->isClip() || !c->parent) {
            return Spot{};
        }
        return Spot{id, c->parent->id, c->depth, c->character, c->buttonState};
    };
    hoverSpot_ = spot(hover_);
    pressedSpot_ = spot(pressed_);
}

void Input::Adopt(int& id, const Spot& spot) {
    if (Clip* c = Live(id); !id || id != spot.id || (c && !c->removed)) {
        return;
    }
    Clip* parent = stage_.Find(spot.parent);
    if (!parent || parent->removed) {
        return;
    }
    auto it = parent->children.find(spot.depth);
    if (it == parent->children.end()) {
        return;
    }
    Clip& heir = *it->second;
    const swf::Character* c = CharacterOf(MovieOf(stage_, heir), heir.character);
    if (heir.removed || heir.isClip() || heir.character != spot.character || !c ||
        !std::holds_alternative<swf::Button>(*c)) {
        return;
    }
    id = heir.id;
    if (heir.buttonState != spot.state) {
        ShowButtonState(stage_, heir, spot.state);
    }
}

bool Input::TrackAsMenu(const Clip& clip) {
    const swf::Character* c = clip.isClip() ? nullptr : CharacterOf(clip.movie, clip.character);
    if (const auto* button = c ? std::get_if<swf::Button>(c) : nullptr; button && !clip.object) {
        return button->trackAsMenu;
    }
    try {
        return clip.object && rt_.ToBool(rt_.Get(Value(clip.object), "trackAsMenu", false));
    } catch (...) {
        return false;
    }
}

void Input::UpdateHover() {
    Adopt(hover_, hoverSpot_);
    Adopt(pressed_, pressedSpot_);
    if (focusHover_) {
        // What the focus rolled over keeps the hover while the pointer rests, unless it hides.
        if (Clip* held = Live(hover_); held && held->visible && !held->removed) {
            return;
        }
        focusHover_ = false;
    }
    Clip* t = Target(stage_.root(), mouse_, 0);
    int id = t ? t->id : 0;
    if (down_) {
        // A menu item takes the held pointer from wherever the press began.
        int menu = t && id != pressed_ && TrackAsMenu(*t) ? id : 0;
        if (menu != menu_) {
            if (Clip* old = Live(menu_)) {
                Fire(*old, Edge::DragOut);
            }
            menu_ = menu;
            if (menu) {
                Fire(*t, Edge::DragOver);
            }
        }
    }
    if (pressed_) {
        Clip* pressed = Live(pressed_);
        if (!pressed) {
            pressed_ = 0;
            hover_ = down_ ? 0 : id;
            return;
        }
        bool over = id == pressed_;
        if (over && hover_ != pressed_) {
            Fire(*pressed, Edge::DragOver);
        } else if (!over && hover_ == pressed_) {
            Fire(*pressed, Edge::DragOut);
        }
        hover_ = over ? pressed_ : 0;
        return;
    }
    if (down_ || id == hover_) {
        return; // a press that began elsewhere holds the pointer
    }
    Clip* old = Live(hover_);
    if (old && old->visible && !old->removed && HitTest(stage_, *old, mouse_) &&
        !Interactive(*old)) {
        return; // disabled under the pointer: it neither rolls out nor, enabled again, over
    }
    if (old) {
        Fire(*old, Edge::RollOut);
    }
    hover_ = id;
    if (t) {
        Fire(*t, Edge::RollOver);
    }
}

bool Input::MouseMove(swf::Point p, bool heard) {
    rt_.NewTick();
    bool moved = !(p == mouse_);
    mouse_ = p;
    seen_ = true;
    stage_.SetMouse(p);
    const bool dragged = static_cast<Geometry*>(stage_.Geometry())->Drag(p);
    int hover = hover_;
    focusHover_ = focusHover_ && !moved;
    if (moved || heard) {
        Notify(rt_.mouseObject_, "onMouseMove");
        Broadcast(kEventMouseMove, "onMouseMove");
    }
    UpdateHover();
    bool ran = Finish();
    if ((moved || heard) && rt_.version() < 9) {
        stage_.focus().ResetHighlight(); // the pointer's doing ends the keyboard's highlight
    }
    return ran || dragged || hover != hover_;
}

bool Input::OtherButton(int code, bool down) {
    rt_.NewTick();
    avm1::KeyChanged(rt_, code, 0, down, false);
    // The right button opens the context menu, which ends the keyboard's highlight as a click
    // does; the middle one leaves it.
    if (code == 2 && rt_.version() < 9) {
        stage_.focus().ResetHighlight();
    }
    return Finish();
}

bool Input::MouseDown() {
    rt_.NewTick();
    down_ = true;
    avm1::KeyChanged(rt_, 1, 0, true, false);
    Notify(rt_.mouseObject_, "onMouseDown");
    Broadcast(kEventMouseDown, "onMouseDown");
    hover_ = 0;
    focusHover_ = false;
    Clip* t = Target(stage_.root(), mouse_, 0, true);
    if (t && avm1::FieldOf(t->object)) {
        // A selectable field takes the press for itself: the focus, and the caret where it fell.
        Guard([&] { stage_.focus().Pressed(t); });
        auto inverse = stage_.GlobalMatrix(*t).Inverse();
        const TextField* f = avm1::FieldOf(t->object);
        if (inverse && stage_.focus().FocusedField() == t) {
            swf::Point local = inverse->Apply(mouse_);
            typing_.Press(t->object, (local.x - f->bounds.xMin) / 20,
                          (local.y - f->bounds.yMin) / 20);
        }
        Finish();
        stage_.focus().ResetHighlight();
        return true;
    }
    bool pressed = t != nullptr;
    if (t) {
        hover_ = pressed_ = t->id;
        Fire(*t, Edge::Press);
    }
    Guard([&] { stage_.focus().Pressed(t ? t : FieldAt(stage_.root(), mouse_, 0)); });
    bool changed = Finish() || pressed;
    stage_.focus().ResetHighlight();
    return changed;
}

bool Input::MouseUp() {
    rt_.NewTick();
    down_ = false;
    avm1::KeyChanged(rt_, 1, 0, false, false);
    Notify(rt_.mouseObject_, "onMouseUp");
    Broadcast(kEventMouseUp, "onMouseUp");
    bool released = false;
    Adopt(hover_, hoverSpot_);
    Adopt(pressed_, pressedSpot_);
    if (Clip* pressed = Live(pressed_); pressed && Interactive(*pressed)) {
        Clip* t = Target(stage_.root(), mouse_, 0);
        released = true;
        if (t == pressed) {
            Fire(*pressed, Edge::Release);
            hover_ = pressed_;
        } else {
            Fire(*pressed, Edge::ReleaseOutside);
            hover_ = 0;
        }
    }
    if (Clip* menu = Live(std::exchange(menu_, 0)); menu && Interactive(*menu)) {
        released = true;
        Fire(*menu, Edge::Release);
        hover_ = menu->id;
    }
    pressed_ = 0;
    UpdateHover();
    bool changed = Finish() || released;
    if (rt_.version() < 9) {
        stage_.focus().ResetHighlight();
    }
    return changed;
}

bool Input::MouseLeave() {
    if (down_ || !hover_) {
        return false;
    }
    rt_.NewTick();
    if (Clip* old = Live(hover_)) {
        Fire(*old, Edge::RollOut);
    }
    hover_ = 0;
    Finish();
    return true;
}

void Input::KeyHeard(int keyCode, char32_t character, bool down) {
    rt_.NewTick();
    avm1::KeyChanged(rt_, keyCode, static_cast<int>(character), down);
    const char* method = down ? "onKeyDown" : "onKeyUp";
    if (QueueFocusKey(method)) {
        stage_.RunQueued();
    }
    Notify(rt_.keyObject_, method);
    Broadcast(down ? kEventKeyDown : kEventKeyUp, nullptr);
}

bool Input::KeyDown(int keyCode, char32_t character) {
    KeyHeard(keyCode, character, true);
    // Printable characters press buttons as they are typed.
    std::uint8_t code = ButtonKeyCode(keyCode, 0);
    bool taken = PressKey(code < 32 ? code : 0);
    // A key no button took moves the focus (Tab, with Shift backwards) or presses the focused
    // object (Enter, Space) while its highlight shows.
    Focus& focus = stage_.focus();
    if (taken || replaced_) {
    } else if (keyCode == 9) {
        avm1::KeyboardState* k = avm1::Keyboard(rt_);
        Guard([&] { focus.Cycle(k && k->down[16]); });
        acted_ = true;
    } else if ((keyCode == 13 || keyCode == 32) && focus.HighlightShows() &&
               !PressKey(ButtonKeyCode(keyCode, character), true)) {
        // A button that names the key takes it as it is typed instead.
        if (Clip* f = focus.Current(); f && !avm1::FieldOf(f->object)) {
            Fire(*f, Edge::Press);
            Fire(*f, Edge::Release);
        }
    }
    return Finish();
}

bool Input::PressKey(std::uint8_t code, bool probe) {
    bool taken = false;
    if (code) {
        // Clips listening for the key, in the tree's order (a clip before its children, lower
        // depths first), and the first button that names it: that one takes the key.
        std::vector<Clip*> pending{&stage_.root()};
        std::size_t visited = 0;
        while (!pending.empty() && ++visited < 1000000) {
            Clip* c = pending.back();
            pending.pop_back();
            for (auto it = c->children.rbegin(); it != c->children.rend(); ++it) {
                pending.push_back(it->second.get());
            }
            if (c->removed) {
                continue;
            }
            for (const auto& action : c->clipActions) {
                if ((action.events & kEventKeyPress) && action.key == code && !probe) {
                    Stage::Queued q;
                    q.clip = c->id;
                    q.own = action.actions;
                    stage_.queue_[Stage::kNormal].push_back(std::move(q));
                }
            }
            const swf::Character* ch =
                c->isClip() ? nullptr : CharacterOf(MovieOf(stage_, *c), c->character);
            const auto* button = ch ? std::get_if<swf::Button>(ch) : nullptr;
            if (!button || !c->parent || taken) {
                continue;
            }
            for (const auto& a : button->actions) {
                if (a.key == code && probe) {
                    taken = true;
                } else if (a.key == code) {
                    Stage::Queued q;
                    q.clip = c->parent->id;
                    q.own = a.actions;
                    stage_.queue_[Stage::kNormal].push_back(std::move(q));
                    taken = acted_ = true;
                }
            }
        }
    }
    return taken;
}

bool Input::TextInput(char32_t character) {
    rt_.NewTick();
    std::uint8_t code = ButtonKeyCode(0, character);
    if (!(code >= 32 && PressKey(code))) {
        Edited(typing_.Type(character));
    }
    return Finish();
}

bool Input::TextControl(EditCommand command) {
    rt_.NewTick();
    Edited(typing_.Command(command));
    return Finish();
}

void Input::Edited(const Typing::Result& r) {
    if (r.changed) {
        acted_ = true;
        Notify(r.changed, "onChanged", {avm1::Value(r.changed)});
    }
    if (r.scrolled) {
        acted_ = true;
        Notify(r.scrolled, "onScroller", {avm1::Value(r.scrolled)});
    }
}

bool Input::FrameEnded() {
    typing_.FrameEnded(stage_.root());
    if (!seen_) {
        return false;
    }
    rt_.NewTick();
    int hover = hover_;
    UpdateHover();
    return Finish() || hover != hover_;
}

bool Input::KeyUp(int keyCode, char32_t character) {
    KeyHeard(keyCode, character, false);
    return Finish();
}

bool Input::QueueFocusKey(const char* method) {
    Focus& focus = stage_.focus();
    Clip* f = focus.Current();
    if (!f || !focus.HighlightActive() || rt_.version() < 6 || avm1::FieldOf(f->object)) {
        return false;
    }
    stage_.QueueEvents(*f, 0, method, Stage::kNormal);
    return true;
}

Clip* Input::FieldAt(Clip& parent, swf::Point p, int nesting) {
    if (nesting > kMaxNesting) {
        return nullptr;
    }
    for (auto it = parent.children.rbegin(); it != parent.children.rend(); ++it) {
        Clip& child = *it->second;
        if (!child.visible || child.removed || child.clipDepth != 0) {
            continue;
        }
        if (const TextField* f = avm1::FieldOf(child.object)) {
            auto inverse = stage_.GlobalMatrix(child).Inverse();
            if (f->selectable && inverse && Inside(f->bounds, inverse->Apply(p))) {
                return &child;
            }
        } else if (child.isClip()) {
            if (Clip* found = FieldAt(child, p, nesting + 1)) {
                return found;
            }
        }
    }
    return nullptr;
}

void Input::Guard(const std::function<void()>& change) {
    if (replaced_) {
        return;
    }
    try {
        change();
    } catch (const avm1::StopBlock& stop) {
        stage_.Report("action block stopped: " + stop.reason);
    } catch (const avm1::Thrown&) {
        stage_.Report("uncaught exception in a focus handler");
    } catch (const avm1::MovieReplaced&) {
        replaced_ = true;
    }
}

void Input::FocusRoll(Clip* to) {
    Clip* old = Live(hover_);
    hover_ = to ? to->id : 0;
    focusHover_ = true;
    // Text fields take no roll events.
    auto rolls = [&](const Clip* c) {
        const swf::Character* ch = c->isClip() ? nullptr : CharacterOf(c->movie, c->character);
        return c->isClip() || (ch && std::holds_alternative<swf::Button>(*ch));
    };
    if (old && rolls(old)) {
        Fire(*old, Edge::RollOut);
    }
    if (to && rolls(to)) {
        Fire(*to, Edge::RollOver);
    }
}

bool Input::FocusLost() {
    rt_.NewTick();
    Guard([&] { stage_.focus().Set(nullptr, Focus::Cause::Key); });
    return Finish();
}

} // namespace fw::display
