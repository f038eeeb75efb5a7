#include "display/typing.h"

#include "avm1/text_field.h"
#include "display/stage.h"

#include <algorithm>

namespace fw::display {
namespace {

constexpr std::size_t kMaxVisits = 1000000;

// Brings the caret's line into view; true when the lines shown moved.
bool ScrollToCaret(TextField& f) {
    const auto& lines = f.Lines();
    int line = 1;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (f.caret >= lines[i].start) {
            line = static_cast<int>(i) + 1;
        }
    }
    int old = f.scroll;
    if (line < f.scroll) {
        f.scroll = line;
    }
    while (line > f.BottomScroll() && f.scroll < f.MaxScroll()) {
        ++f.scroll;
    }
    f.scroll = std::clamp(f.scroll, 1, std::max(1, f.MaxScroll()));
    return f.scroll != old;
}

} // namespace

avm1::Object* Typing::FocusedField() {
    avm1::Object* o = rt_.display().FocusObject();
    return avm1::FieldOf(o) ? o : nullptr;
}

template <typename F> Typing::Result Typing::Change(F&& edit) {
    avm1::Object* o = FocusedField();
    if (!o) {
        return {};
    }
    // A bound field shows its variable, which scripts may have changed meanwhile.
    avm1::SyncVariable(rt_, o);
    TextField& f = *avm1::FieldOf(o);
    std::u16string before = f.chars();
    edit(f);
    Result r;
    if (f.chars() != before) {
        avm1::StoreVariable(rt_, o);
        r.changed = o;
    }
    if (ScrollToCaret(f)) {
        r.scrolled = o;
    }
    return r;
}

Typing::Result Typing::Type(char32_t c) {
    // Control characters come as editing commands, if at all.
    if (c < 32 || c == 127) {
        return {};
    }
    return Change([c](TextField& f) {
        if (f.editable) {
            std::u16string s;
            AppendUtf16(s, c);
            f.Type(s);
        }
    });
}

Typing::Result Typing::Command(EditCommand command) {
    return Change([&](TextField& f) {
        if (f.editable || f.selectable) {
            Edit(f, command, clipboard_);
        }
    });
}

void Typing::Press(avm1::Object* field, double x, double y) {
    TextField* f = avm1::FieldOf(field);
    if (!f) {
        return;
    }
    f->caret = f->selectionStart = f->selectionEnd = CaretAt(*f, x, y);
}

void Typing::FrameEnded(Clip& root) {
    std::vector<Clip*> pending{&root};
    for (std::size_t visited = 0; !pending.empty() && visited < kMaxVisits; ++visited) {
        Clip* c = pending.back();
        pending.pop_back();
        for (auto& [depth, child] : c->children) {
            pending.push_back(child.get());
        }
        if (c->removed || !avm1::FieldOf(c->object)) {
            continue;
        }
        try {
            avm1::ShowVariable(rt_, c->object);
        } catch (const avm1::StopBlock&) {
        } catch (const avm1::Thrown&) {
        } catch (const avm1::MovieReplaced&) {
            return; // the tree is gone
        }
    }
}

} // namespace fw::display
