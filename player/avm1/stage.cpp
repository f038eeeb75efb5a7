// Stage: the movie's place in the player's window. Its size is the movie's own while the movie
// scales to the window, the window's when it does not; where it would align is kept as set, and
// a change of size or display state tells the listeners.

#include "runtime.h"

#include <cmath>

namespace fw::avm1 {
namespace {

struct StageData : HostData {
    std::string scaleMode = "showAll";
    std::string align;
    bool fullScreen = false;
    void Trace(std::vector<Object*>&) const override {}
};

StageData* DataOf(const Value& self) {
    Object* o = self.object();
    return o && o->host ? dynamic_cast<StageData*>(o->host.get()) : nullptr;
}

std::pair<double, double> Size(Runtime& rt, const StageData* d) {
    auto window = rt.display().HostWindow();
    if (d && d->scaleMode == "noScale" && window) {
        return {std::round(window->width / window->scale),
                std::round(window->height / window->scale)};
    }
    return rt.display().MovieSize();
}

Value Width(Runtime& rt, Activation&, Value self, std::vector<Value>&) {
    return Value(Size(rt, DataOf(self)).first);
}

Value Height(Runtime& rt, Activation&, Value self, std::vector<Value>&) {
    return Value(Size(rt, DataOf(self)).second);
}

Value ScaleModeGet(Runtime&, Activation&, Value self, std::vector<Value>&) {
    StageData* d = DataOf(self);
    return d ? Value(d->scaleMode) : Value();
}

// A mode by any letter case; anything else shows all.
Value ScaleModeSet(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    StageData* d = DataOf(self);
    if (!d) {
        return Value();
    }
    std::string asked = AsciiLower(rt.ToStr(Arg(args, 0)));
    auto before = Size(rt, d);
    d->scaleMode = "showAll";
    for (const char* mode : {"exactFit", "noBorder", "noScale"}) {
        if (asked == AsciiLower(mode)) {
            d->scaleMode = mode;
        }
    }
    if (Size(rt, d) != before) {
        rt.CallMethod(self, "broadcastMessage", {Value("onResize")});
    }
    return Value();
}

Value AlignGet(Runtime&, Activation&, Value self, std::vector<Value>&) {
    StageData* d = DataOf(self);
    return d ? Value(d->align) : Value();
}

// The sides named anywhere in the text, in the order left, top, right, bottom.
Value AlignSet(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    StageData* d = DataOf(self);
    if (!d) {
        return Value();
    }
    std::string asked = AsciiLower(rt.ToStr(Arg(args, 0)));
    d->align.clear();
    for (char side : {'l', 't', 'r', 'b'}) {
        if (asked.find(side) != std::string::npos) {
            d->align += static_cast<char>(side - 'a' + 'A');
        }
    }
    return Value();
}

Value DisplayStateGet(Runtime&, Activation&, Value self, std::vector<Value>&) {
    StageData* d = DataOf(self);
    return d ? Value(d->fullScreen ? "fullScreen" : "normal") : Value();
}

Value DisplayStateSet(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    StageData* d = DataOf(self);
    if (!d) {
        return Value();
    }
    std::string asked = AsciiLower(rt.ToStr(Arg(args, 0)));
    if (asked != "fullscreen" && asked != "normal") {
        return Value();
    }
    bool full = asked == "fullscreen";
    if (full != d->fullScreen) {
        d->fullScreen = full;
        rt.CallMethod(self, "broadcastMessage", {Value("onFullScreen"), Value(full)});
    }
    return Value();
}

} // namespace

void InstallStage(Runtime& rt, Object* global) {
    Object* stage = rt.NewPlain();
    stage->host = std::make_unique<StageData>();
    global->Set("Stage", Value(stage), kDontEnum);
    rt.CallMethod(rt.Get(Value(global), "AsBroadcaster"), "initialize", {Value(stage)});
    Accessor(rt, stage, "width", Width);
    Accessor(rt, stage, "height", Height);
    Accessor(rt, stage, "scaleMode", ScaleModeGet, ScaleModeSet);
    Accessor(rt, stage, "align", AlignGet, AlignSet);
    Accessor(rt, stage, "displayState", DisplayStateGet, DisplayStateSet);
    stage->Set("showMenu", Value(true), kDontEnum | kDontDelete);
}

} // namespace fw::avm1
