#include "focus.h"

#include "avm1/input.h"
#include "avm1/text_field.h"
#include "geometry.h"
#include "input.h"
#include "stage.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <utility>
#include <variant>

namespace fw::display {
namespace {

using avm1::Value;

constexpr int kMaxNesting = 256;

// The methods that make a clip act as a button.
constexpr const char* kButtonMethods[] = {"onPress",    "onRelease", "onReleaseOutside",
                                          "onRollOver", "onRollOut", "onDragOver",
                                          "onDragOut"};
constexpr std::uint32_t kButtonEvents = kEventPress | kEventRelease | kEventReleaseOutside |
                                        kEventRollOver | kEventRollOut | kEventDragOver |
                                        kEventDragOut;

} // namespace

void Focus::Reset() {
    focus_ = -1;
    left_ = false;
    highlight_ = Highlight::Inactive;
    rects_.clear();
    // The stage's own _focusrect outlives the movies loaded into it.
}

Clip* Focus::Current() {
    Clip* c = focus_ >= 0 ? stage_.Find(focus_) : nullptr;
    return c && !c->removed ? c : nullptr;
}

Clip* Focus::FocusedField() {
    Clip* c = Current();
    return c && IsField(*c) ? c : nullptr;
}

bool Focus::IsButton(const Clip& clip) const {
    if (clip.isClip() || !clip.movie) {
        return false;
    }
    auto it = clip.movie->characters.find(clip.character);
    return it != clip.movie->characters.end() && std::holds_alternative<swf::Button>(it->second);
}

bool Focus::IsField(const Clip& clip) const {
    return avm1::FieldOf(clip.object) != nullptr;
}

bool Focus::Editable(const Clip& clip) const {
    const TextField* f = avm1::FieldOf(clip.object);
    return f && f->editable;
}

bool Focus::Property(const Clip& clip, const char* name, bool absent) {
    avm1::Runtime* rt = stage_.rt_;
    if (!clip.object || !rt) {
        return false;
    }
    try {
        Value v = rt->Get(Value(clip.object), name, false);
        return v.isUndefined() ? absent : rt->ToBool(v);
    } catch (...) {
        return false; // a getter that fails answers no
    }
}

bool Focus::ButtonMode(const Clip& clip) {
    if (!clip.isClip() || !clip.object) {
        return false;
    }
    for (const auto& a : clip.clipActions) {
        if (a.events & kButtonEvents) {
            return true;
        }
    }
    try {
        for (const char* m : kButtonMethods) {
            if (!stage_.rt_->Get(Value(clip.object), m, false).isUndefined()) {
                return true;
            }
        }
    } catch (...) {
    }
    return false;
}

bool Focus::Focusable(const Clip& clip) {
    if (!clip.object || clip.removed) {
        return false;
    }
    if (IsField(clip) || IsButton(clip)) {
        return true;
    }
    // A level's root never takes the focus.
    return clip.isClip() && clip.parent &&
           (Property(clip, "focusEnabled", false) || ButtonMode(clip));
}

bool Focus::FocusableByMouse(const Clip& clip) {
    const TextField* f = avm1::FieldOf(clip.object);
    return f && f->selectable;
}

bool Focus::Tabbable(const Clip& clip) {
    if (!clip.object) {
        return false;
    }
    if (IsField(clip)) {
        return Editable(clip) && Property(clip, "tabEnabled", true);
    }
    if (IsButton(clip)) {
        return Property(clip, "tabEnabled", true);
    }
    return clip.isClip() && clip.parent && Property(clip, "tabEnabled", ButtonMode(clip));
}

std::optional<std::int32_t> Focus::TabIndex(const Clip& clip) {
    avm1::Runtime* rt = stage_.rt_;
    Value v;
    try {
        v = rt->Get(Value(clip.object), "tabIndex", false);
    } catch (...) {
        return std::nullopt;
    }
    if (v.isNullish()) {
        return std::nullopt;
    }
    if (v.type() != Value::Type::Number && v.type() != Value::Type::Boolean) {
        return INT_MIN; // a text or an object orders first
    }
    double d = rt->ToNum(v);
    if (std::isnan(d)) {
        return 0;
    }
    d = std::trunc(d);
    if (d < INT_MIN || d > INT_MAX) {
        return INT_MIN;
    }
    auto i = static_cast<std::int32_t>(d);
    if (i == -1) {
        return std::nullopt; // the same as none
    }
    return i;
}

void Focus::Fill(Clip& parent, std::vector<Clip*>& out, int nesting) {
    // tabChildren false leaves out the whole subtree, whatever order it would take.
    if (nesting > kMaxNesting || !Property(parent, "tabChildren", true)) {
        return;
    }
    for (auto& [depth, child] : parent.children) {
        if (!child->visible || child->removed) {
            continue;
        }
        if (Tabbable(*child)) {
            out.push_back(child.get());
        }
        if (child->isClip()) {
            Fill(*child, out, nesting + 1);
        }
    }
}

namespace {

// Where the highlight goes around an object, in the stage's twips.
std::optional<swf::Bounds> StageBounds(const Clip& clip, const swf::Matrix& m) {
    if (const TextField* f = avm1::FieldOf(clip.object)) {
        return TransformBounds(f->bounds, m);
    }
    return ContentBounds(clip, true, m);
}

} // namespace

std::vector<Clip*> Focus::TabOrder() {
    std::vector<Clip*> all;
    Fill(stage_.root(), all, 0);
    for (auto& [n, level] : stage_.levels_) {
        if (level && level->visible) {
            Fill(*level, all, 0);
        }
    }
    std::vector<std::pair<std::optional<std::int32_t>, Clip*>> indexed;
    bool custom = false;
    for (Clip* c : all) {
        auto i = TabIndex(*c);
        custom = custom || i.has_value();
        indexed.emplace_back(i, c);
    }
    std::vector<Clip*> order;
    if (custom) {
        // Only the objects given an index take part, by index, the tree's order breaking ties.
        std::erase_if(indexed, [](const auto& e) { return !e.first; });
        std::stable_sort(indexed.begin(), indexed.end(),
                         [](const auto& a, const auto& b) { return *a.first < *b.first; });
        for (const auto& e : indexed) {
            order.push_back(e.second);
        }
        return order;
    }
    // By the top left corner, six rows' worth of a step down weighing as one step right, so an
    // object a little higher still comes after the one to its left; of objects with the same
    // weight only the first in the tree's order takes part.
    std::vector<std::pair<std::int64_t, Clip*>> keyed;
    for (Clip* c : all) {
        swf::Bounds b = StageBounds(*c, stage_.GlobalMatrix(*c)).value_or(InvalidBounds());
        keyed.emplace_back(static_cast<std::int64_t>(b.yMin) * 6 + b.xMin, c);
    }
    std::stable_sort(keyed.begin(), keyed.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    for (std::size_t i = 0; i < keyed.size(); ++i) {
        if (i == 0 || keyed[i].first != keyed[i - 1].first) {
            order.push_back(keyed[i].second);
        }
    }
    return order;
}

void Focus::Cycle(bool reverse) {
    std::vector<Clip*> order = TabOrder();
    if (order.empty()) {
        return;
    }
    if (reverse) {
        std::reverse(order.begin(), order.end());
    }
    Clip* next = order.front();
    auto at = std::find(order.begin(), order.end(), Current());
    if (at != order.end() && at + 1 != order.end()) {
        next = *(at + 1);
    }
    Set(next, Cause::Key);
    UpdateHighlight();
}

void Focus::Pressed(Clip* target) {
    if (target && !target->parent) {
        target = nullptr;
    }
    if (target && FocusableByMouse(*target)) {
        Set(target, Cause::Mouse);
    } else if (Clip* held = Current(); held && FocusableByMouse(*held)) {
        Set(nullptr, Cause::Mouse);
    }
}

void Focus::Left(const Clip& clip) {
    left_ = left_ || clip.id == focus_;
}

void Focus::Leaving(const Clip& clip) {
    const Clip* c = focus_ >= 0 ? stage_.Find(focus_) : nullptr;
    for (int i = 0; c && i < 100000; ++i, c = c->parent) {
        if (c == &clip) {
            Set(nullptr, Cause::Script);
            return;
        }
    }
}

void Focus::Settle() {
    if (std::exchange(left_, false)) {
        Set(nullptr, Cause::Script);
    }
}

void Focus::Call(const Clip* clip, const char* method, Value other) {
    avm1::Runtime& rt = *stage_.rt_;
    if (!clip || !clip->object) {
        return;
    }
    Value self(clip->object);
    Value fn = rt.Get(self, method, false);
    if (rt.IsCallable(fn)) {
        rt.Call(fn, self, {std::move(other)});
    }
}

bool Focus::Set(Clip* target, Cause cause) {
    avm1::Runtime* rt = stage_.rt_;
    if (!rt || (cause == Cause::Script && target && !Focusable(*target))) {
        return false;
    }
    // What had the focus may have just left the stage: its handlers still hear of it.
    Clip* old = focus_ >= 0 ? stage_.FindAny(focus_) : nullptr;
    if (cause == Cause::Mouse && old == target) {
        return true;
    }
    // The pointer's hover follows the focus: what had it rolls out, the new object over. A
    // script's change leaves those events queued; the keyboard's runs them first.
    if (input_) {
        input_->FocusRoll(target);
    }
    if (cause == Cause::Key) {
        stage_.RunQueued();
        old = focus_ >= 0 ? stage_.FindAny(focus_) : nullptr;
    }
    if (old != target) {
        focus_ = target ? target->id : -1;
        UpdateHighlight();
        Value oldObject = old && old->object ? Value(old->object) : Value(avm1::Null{});
        Value newObject = target && target->object ? Value(target->object) : Value(avm1::Null{});
        Call(old, "onKillFocus", newObject);
        Call(target, "onSetFocus", oldObject);
        avm1::NotifyListeners(*rt, rt->selectionObject_, "onSetFocus", {oldObject, newObject});
    }
    // Focus on a text field selects all of its text, even where the field had it already.
    if (Clip* field = FocusedField()) {
        TextField* f = avm1::FieldOf(field->object);
        f->selectionStart = 0;
        f->selectionEnd = f->caret = f->Length();
    }
    return true;
}

void Focus::UpdateHighlight() {
    Clip* c = Current();
    if (!c) {
        highlight_ = Highlight::Inactive;
        return;
    }
    bool enabled = stageRect_;
    int version = c->movie ? c->movie->version : stage_.rt_->version();
    if (version >= 6) {
        if (auto it = rects_.find(c->id); it != rects_.end()) {
            enabled = it->second;
        }
    }
    // A text field draws none; neither does an object with nothing to go around.
    auto b = IsField(*c) ? std::nullopt : StageBounds(*c, stage_.GlobalMatrix(*c));
    bool empty = !b || IsInvalid(*b) || (b->xMin == b->xMax && b->yMin == b->yMax);
    highlight_ = enabled && !empty ? Highlight::Visible : Highlight::Hidden;
}

namespace {

// Whether _focusrect of an object means the stage's: every object's before version 6, and a
// level's root's.
bool MeansStage(const avm1::Runtime& rt, const Clip& clip) {
    return rt.version() <= 5 || !clip.parent;
}

} // namespace

Value Focus::Rect(const Clip& clip) {
    avm1::Runtime& rt = *stage_.rt_;
    if (MeansStage(rt, clip)) {
        return rt.version() <= 5 ? Value(stageRect_ ? 1 : 0) : Value(stageRect_);
    }
    if (!clip.object) {
        return Value();
    }
    auto it = rects_.find(clip.id);
    return it == rects_.end() ? Value(avm1::Null{}) : Value(it->second);
}

void Focus::SetRect(const Clip& clip, const Value& v) {
    avm1::Runtime& rt = *stage_.rt_;
    if (MeansStage(rt, clip)) {
        if (v.isNullish()) {
            return;
        }
        stageRect_ = v.isObject() ? false : rt.ToNum(v) != 0;
    } else if (clip.object) {
        if (v.isNullish()) {
            rects_.erase(clip.id);
        } else {
            rects_[clip.id] = rt.ToBool(v);
        }
    }
}

avm1::Object* Stage::FocusObject() {
    Clip* c = focus_->Current();
    return c ? c->object : nullptr;
}

bool Stage::SetFocus(avm1::Object* target) {
    Clip* clip = target ? Find(target->clipId) : nullptr;
    if (target && !clip) {
        return false;
    }
    return focus_->Set(clip, Focus::Cause::Script);
}

} // namespace fw::display
