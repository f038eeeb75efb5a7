// TextSnapshot: the characters of a clip's static texts as one string, taken when the snapshot
// is made, with a selection flag per character. A text's end counts as a line's end where a
// script asks for line endings.

#include "avm1/runtime.h"

#include <algorithm>
#include <cmath>

namespace fw::avm1 {
namespace {

struct SnapshotData : HostData {
    std::u16string chars;
    std::vector<bool> lineStart; // the character opens another text
    std::vector<bool> selected;
    double selectColor = 0xFFFF00;
    void Trace(std::vector<Object*>&) const override {}
};

SnapshotData* DataOf(const Value& self) {
    Object* o = self.object();
    return o && o->host ? dynamic_cast<SnapshotData*>(o->host.get()) : nullptr;
}

double Whole(Runtime& rt, const Value& v) {
    return static_cast<double>(ToInt32(rt.ToNum(v)));
}

std::u16string Lower(std::u16string s) {
    for (auto& c : s) {
        if (c >= u'A' && c <= u'Z') {
            c = static_cast<char16_t>(c - u'A' + u'a');
        }
    }
    return s;
}

// [from, to) of a method's first two arguments: from within the text, to past it by one at
// least.
bool Range(Runtime& rt, const SnapshotData& d, const std::vector<Value>& args, std::size_t& from,
           std::size_t& to) {
    double n = static_cast<double>(d.chars.size());
    if (n == 0) {
        return false;
    }
    double a = std::clamp(Whole(rt, args[0]), 0.0, n - 1);
    double b = std::clamp(Whole(rt, args[1]), a + 1, n);
    from = static_cast<std::size_t>(a);
    to = static_cast<std::size_t>(b);
    return true;
}

std::u16string Piece(const SnapshotData& d, std::size_t from, std::size_t to, bool lineEndings,
                     bool selectedOnly) {
    std::u16string out;
    for (std::size_t i = from; i < to; ++i) {
        if (selectedOnly && !d.selected[i]) {
            continue;
        }
        if (lineEndings && !out.empty() && d.lineStart[i]) {
            out.push_back(u'\n');
        }
        out.push_back(d.chars[i]);
    }
    return out;
}

Value Construct(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    Object* o = self.object();
    Object* clip = Arg(args, 0).object();
    if (!rt.constructing || !o || !clip || clip->kind != Kind::Clip) {
        return Value();
    }
    auto d = std::make_unique<SnapshotData>();
    for (const auto& text : rt.display().StaticTexts(clip->clipId)) {
        for (std::size_t i = 0; i < text.size(); ++i) {
            d->lineStart.push_back(i == 0);
        }
        d->chars += text;
    }
    d->selected.assign(d->chars.size(), false);
    o->host = std::move(d);
    return Value();
}

Value GetCount(Runtime&, Activation&, Value self, std::vector<Value>&) {
    SnapshotData* d = DataOf(self);
    return d ? Value(static_cast<double>(d->chars.size())) : Value();
}

Value GetText(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    SnapshotData* d = DataOf(self);
    if (!d || args.size() < 2 || args.size() > 3) {
        return Value();
    }
    std::size_t from = 0, to = 0;
    if (!Range(rt, *d, args, from, to)) {
        return Value("");
    }
    bool lines = args.size() > 2 && rt.ToBool(args[2]);
    return Value(FromUtf16(Piece(*d, from, to, lines, false)));
}

Value FindText(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    SnapshotData* d = DataOf(self);
    if (!d || args.size() != 3) {
        return Value();
    }
    double from = Whole(rt, args[0]);
    std::u16string what = ToUtf16(rt.ToStr(args[1]));
    bool caseSensitive = rt.ToBool(args[2]);
    if (from < 0 || from >= static_cast<double>(d->chars.size()) || what.empty()) {
        return Value(-1);
    }
    std::u16string in = caseSensitive ? d->chars : Lower(d->chars);
    std::size_t at = in.find(caseSensitive ? what : Lower(what), static_cast<std::size_t>(from));
    return Value(at == std::u16string::npos ? -1.0 : static_cast<double>(at));
}

Value GetSelected(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    SnapshotData* d = DataOf(self);
    std::size_t from = 0, to = 0;
    if (!d || args.size() != 2 || !Range(rt, *d, args, from, to)) {
        return Value();
    }
    return Value(std::any_of(d->selected.begin() + static_cast<std::ptrdiff_t>(from),
                             d->selected.begin() + static_cast<std::ptrdiff_t>(to),
                             [](bool s) { return s; }));
}

Value SetSelected(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    SnapshotData* d = DataOf(self);
    std::size_t from = 0, to = 0;
    if (d && args.size() == 3 && Range(rt, *d, args, from, to)) {
        std::fill(d->selected.begin() + static_cast<std::ptrdiff_t>(from),
                  d->selected.begin() + static_cast<std::ptrdiff_t>(to), rt.ToBool(args[2]));
    }
    return Value();
}

Value GetSelectedText(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    SnapshotData* d = DataOf(self);
    if (!d || args.size() > 1) {
        return Value();
    }
    bool lines = !args.empty() && rt.ToBool(args[0]);
    return Value(FromUtf16(Piece(*d, 0, d->chars.size(), lines, true)));
}

Value SetSelectColor(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    if (SnapshotData* d = DataOf(self); d && !args.empty()) {
        d->selectColor = static_cast<double>(static_cast<std::uint32_t>(Whole(rt, args[0])));
    }
    return Value();
}

// Where the characters lie is the display's to know; without it no character is near.
Value HitTestTextNearPos(Runtime&, Activation&, Value self, std::vector<Value>& args) {
    return DataOf(self) && args.size() >= 2 ? Value(-1) : Value();
}

Value GetTextRunInfo(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    return DataOf(self) && args.size() == 2 ? Value(rt.NewArray()) : Value();
}

Value GetTextSnapshot(Runtime& rt, Activation&, Value self, std::vector<Value>&) {
    Object* o = self.object();
    if (!o || o->kind != Kind::Clip) {
        return Value();
    }
    // Whatever the movie has made of the global class makes the snapshot.
    return rt.Construct(rt.Get(Value(rt.global()), "TextSnapshot"), {self});
}

} // namespace

void InstallTextSnapshot(Runtime& rt, Object* global) {
    Object* proto = rt.NewPlain();
    rt.MakeClass("TextSnapshot", Construct, proto, global);
    struct Entry {
        const char* name;
        NativeFn fn;
    };
    // Installed oldest first: for-in visits them newest first.
    const Entry methods[] = {
        {"getCount", GetCount},
        {"setSelected", SetSelected},
        {"getSelected", GetSelected},
        {"getText", GetText},
        {"getSelectedText", GetSelectedText},
        {"hitTestTextNearPos", HitTestTextNearPos},
        {"findText", FindText},
        {"setSelectColor", SetSelectColor},
        {"getTextRunInfo", GetTextRunInfo},
    };
    for (const auto& m : methods) {
        rt.Method(proto, m.name, m.fn);
        if (Property* p = proto->FindOwn(m.name)) {
            p->flags = kOnlyFrom6;
        }
    }
    if (rt.clipProto_) {
        rt.Method(rt.clipProto_, "getTextSnapshot", GetTextSnapshot);
        if (Property* p = rt.clipProto_->FindOwn("getTextSnapshot")) {
            p->flags |= kOnlyFrom6;
        }
    }
}

} // namespace fw::avm1
