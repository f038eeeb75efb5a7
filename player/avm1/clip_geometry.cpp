// MovieClip's geometry: bounds, points between spaces, hit tests, the drawing methods and
// setMask, all through the display's geometry interface.

#include "bitmap_data.h"
#include "runtime.h"

#include <algorithm>
#include <cmath>

namespace fw::avm1 {
namespace {

int ClipOf(const Value& v) {
    Object* o = v.object();
    return o && o->kind == Kind::Clip ? o->clipId : -1;
}

// A target path walked from a timeline: "a.b", "a/b", "/a", "_root:a", "../a".
Object* Walk(Runtime& rt, Object* from, std::string_view path) {
    Value at(from);
    std::size_t i = 0;
    if (!path.empty() && path[0] == '/') {
        at = Value(rt.root());
    }
    while (i < path.size()) {
        if (path.substr(i, 2) == "..") {
            at = rt.Get(at, "_parent");
            i += 2;
        } else if (path[i] == '.' || path[i] == '/' || path[i] == ':') {
            ++i;
            continue;
        } else {
            std::size_t end = std::min(path.find_first_of("./:", i), path.size());
            std::string_view part = path.substr(i, end - i);
            std::string lower = AsciiLower(part);
            if (lower == "_root" || lower.rfind("_level", 0) == 0) {
                at = Value(rt.root());
            } else if (lower != "this") {
                at = rt.Get(at, part);
            }
            i = end;
        }
        if (!at.isObject()) {
            return nullptr;
        }
    }
    Object* o = at.object();
    return o && o->kind == Kind::Clip ? o : nullptr;
}

// A clip named by a script: itself, or a path from the timeline given (any other object
// names its path by its text where objectsName). -1 for none.
int TargetOf(Runtime& rt, Object* from, const Value& v, bool objectsName) {
    if (int id = ClipOf(v); id >= 0) {
        return id;
    }
    if (v.isObject() && !objectsName) {
        return -1;
    }
    std::string path = rt.ToStr(v);
    Object* found = path.empty() || !from ? nullptr : Walk(rt, from, path);
    return found ? found->clipId : -1;
}

GeometryInterface* Geo(Runtime& rt) {
    return rt.display().Geometry();
}

template <bool WithStrokes>
Value GetBounds(Runtime& rt, Activation& caller, Value self, std::vector<Value>& args) {
    int clip = ClipOf(self);
    GeometryInterface* g = Geo(rt);
    if (clip < 0 || !g) {
        return Value();
    }
    int space = args.empty() ? clip : TargetOf(rt, self.object(), args[0], true);
    if (space < 0) {
        return Value();
    }
    // The version of the movie whose code asks.
    int base = caller.base && caller.base->kind == Kind::Clip ? caller.base->clipId : -1;
    auto version = base >= 0 ? rt.display().SwfVersion(base) : std::nullopt;
    auto r = g->Bounds(clip, space, WithStrokes, version.value_or(rt.version()));
    if (!r) {
        return Value();
    }
    Object* o = rt.NewPlain();
    o->Set("xMin", Value(r->xMin));
    o->Set("xMax", Value(r->xMax));
    o->Set("yMin", Value(r->yMin));
    o->Set("yMax", Value(r->yMax));
    return Value(o);
}

template <bool ToStage>
Value MapPoint(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    int clip = ClipOf(self);
    GeometryInterface* g = Geo(rt);
    Value pt = Arg(args, 0);
    if (clip < 0 || !g || !pt.isObject()) {
        return Value();
    }
    double x = rt.ToNum(rt.Get(pt, "x"));
    double y = rt.ToNum(rt.Get(pt, "y"));
    if (auto p = g->MapPoint(clip, x, y, ToStage)) {
        rt.Put(pt, "x", Value(p->first));
        rt.Put(pt, "y", Value(p->second));
    }
    return Value();
}

Value HitTest(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    int clip = ClipOf(self);
    GeometryInterface* g = Geo(rt);
    if (clip < 0 || !g) {
        return Value();
    }
    if (args.size() > 1) {
        double x = rt.ToNum(args[0]);
        double y = rt.ToNum(args[1]);
        bool shape = args.size() > 2 && rt.ToBool(args[2]);
        return Value(g->HitPoint(clip, x, y, shape));
    }
    if (args.size() == 1) {
        int other = TargetOf(rt, self.object(), args[0], true);
        return Value(other >= 0 && g->HitClip(clip, other));
    }
    return Value(false);
}

void Draw(Runtime& rt, const Value& self, const DrawCommand& command) {
    int clip = ClipOf(self);
    if (GeometryInterface* g = Geo(rt); g && clip >= 0) {
        g->Draw(clip, command);
    }
}

std::uint32_t Rgb(Runtime& rt, const Value& v) {
    return static_cast<std::uint32_t>(ToInt32(rt.ToNum(v)));
}

template <DrawCommand::Op Op>
Value Path(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    DrawCommand c;
    c.op = Op;
    std::size_t need = Op == DrawCommand::Op::CurveTo ? 4 : 2;
    if (args.size() < need) {
        return Value();
    }
    if (Op == DrawCommand::Op::CurveTo) {
        c.cx = rt.ToNum(args[0]);
        c.cy = rt.ToNum(args[1]);
        c.x = rt.ToNum(args[2]);
        c.y = rt.ToNum(args[3]);
    } else {
        c.x = rt.ToNum(args[0]);
        c.y = rt.ToNum(args[1]);
    }
    Draw(rt, self, c);
    return Value();
}

Value LineStyle(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    DrawCommand c;
    if (args.empty() || args[0].isUndefined()) {
        c.op = DrawCommand::Op::NoLine;
    } else {
        c.op = DrawCommand::Op::LineStyle;
        c.width = rt.ToNum(args[0]);
        c.rgb = args.size() > 1 ? Rgb(rt, args[1]) : 0;
        c.alpha = args.size() > 2 ? rt.ToNum(args[2]) : 100;
        c.pixelHinting = args.size() > 3 && rt.ToBool(args[3]);
        if (args.size() > 4) {
            std::string mode = rt.ToStr(args[4]);
            c.noScale = mode == "none" ? 1 : mode == "vertical" ? 2 : mode == "horizontal" ? 3 : 0;
        }
        if (args.size() > 5) {
            std::string caps = rt.ToStr(args[5]);
            c.caps = caps == "none" ? 1 : caps == "square" ? 2 : 0;
        }
        if (args.size() > 6) {
            std::string joint = rt.ToStr(args[6]);
            c.joint = joint == "bevel" ? 1 : joint == "miter" ? 2 : 0;
        }
        if (args.size() > 7) {
            double limit = rt.ToNum(args[7]);
            c.miterLimit = std::isnan(limit) ? 3 : std::clamp(limit, 1.0, 255.0);
        }
    }
    Draw(rt, self, c);
    return Value();
}

Value BeginFill(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    DrawCommand c;
    if (args.empty() || args[0].isUndefined()) {
        c.op = DrawCommand::Op::EndFill;
    } else {
        c.op = DrawCommand::Op::SolidFill;
        c.rgb = Rgb(rt, args[0]);
        c.alpha = args.size() > 1 ? rt.ToNum(args[1]) : 100;
    }
    Draw(rt, self, c);
    return Value();
}

// The gradient box of a script's matrix argument: {matrixType: "box", x, y, w, h, r}, a
// flash.geom.Matrix, or the 3x3 form {a, b, d, e, g, h}; the gradient's square is 32768 twips.
Affine GradientMatrix(Runtime& rt, Object* m) {
    constexpr double kSquare = 32768;
    auto num = [&](const char* name) { return rt.ToNum(rt.Get(Value(m), name)); };
    Affine out;
    if (rt.ToStr(rt.Get(Value(m), "matrixType")) == "box") {
        double w = num("w");
        double h = num("h");
        double r = num("r");
        out = {std::cos(r) * w / kSquare, std::sin(r) * h / kSquare, -std::sin(r) * w / kSquare,
               std::cos(r) * h / kSquare, num("x") + w / 2,          num("y") + h / 2};
    } else if (rt.Has(m, "tx")) {
        out = {num("a") / 20, num("b") / 20, num("c") / 20, num("d") / 20, num("tx"), num("ty")};
    } else {
        out = {num("a") / kSquare, num("b") / kSquare, num("d") / kSquare,
               num("e") / kSquare, num("g"),           num("h")};
    }
    return out;
}

// Reads beginGradientFill's and lineGradientStyle's arguments into c; false for a call the
// player ignores.
bool GradientArgs(Runtime& rt, std::vector<Value>& args, DrawCommand& c) {
    if (args.size() < 5 || args.size() > 8) {
        return false;
    }
    std::string kind = rt.ToStr(args[0]);
    Object* colours = args[1].object();
    Object* alphas = args[2].object();
    Object* ratios = args[3].object();
    Object* matrix = args[4].object();
    if ((kind != "linear" && kind != "radial") || !colours || !alphas || !ratios || !matrix) {
        return false;
    }
    double n = rt.Length(colours);
    if (n != rt.Length(alphas) || n != rt.Length(ratios)) {
        return false;
    }
    c.radial = kind == "radial";
    for (double i = 0; i < n && i < 15; ++i) {
        double ratio = rt.ToNum(rt.Element(ratios, i));
        if (ratio <= -1 || ratio >= 256) {
            return false;
        }
        double alpha = rt.ToNum(rt.Element(alphas, i));
        c.stops.push_back({Rgb(rt, rt.Element(colours, i)),
                           std::isnan(alpha) ? 0 : std::clamp(alpha, 0.0, 100.0),
                           std::isnan(ratio) ? 0 : std::clamp(std::trunc(ratio), 0.0, 255.0)});
    }
    c.matrix = GradientMatrix(rt, matrix);
    if (args.size() > 5) {
        std::string spread = rt.ToStr(args[5]);
        c.spread = spread == "reflect" ? 1 : spread == "repeat" ? 2 : 0;
    }
    c.linearRgb = args.size() > 6 && rt.ToStr(args[6]) == "linearRGB";
    if (args.size() > 7 && c.radial) {
        double focal = rt.ToNum(args[7]);
        c.focal = std::isnan(focal) ? 0 : std::clamp(focal, -1.0, 1.0);
    }
    return true;
}

Value BeginGradientFill(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    DrawCommand c;
    // An undefined kind ends the fill whatever follows; other wrong calls leave it as it is.
    if (args.size() < 5 || args[0].isUndefined()) {
        c.op = DrawCommand::Op::EndFill;
        Draw(rt, self, c);
        return Value();
    }
    if (!GradientArgs(rt, args, c)) {
        return Value();
    }
    c.op = DrawCommand::Op::GradientFill;
    Draw(rt, self, c);
    return Value();
}

Value LineGradientStyle(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    DrawCommand c;
    if (!GradientArgs(rt, args, c)) {
        return Value();
    }
    c.op = DrawCommand::Op::LineGradient;
    Draw(rt, self, c);
    return Value();
}

Value BeginBitmapFill(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    DrawCommand c;
    if (args.empty()) {
        c.op = DrawCommand::Op::EndFill;
        Draw(rt, self, c);
        return Value();
    }
    // Anything but a live BitmapData leaves the fill as it is.
    if (!BitmapOf(args[0])) {
        return Value();
    }
    c.op = DrawCommand::Op::BitmapFill;
    c.bitmapData = args[0].object();
    c.matrix = {};
    if (Object* m = Arg(args, 1).object()) {
        auto num = [&](const char* name) { return rt.ToNum(rt.Get(Value(m), name)); };
        c.matrix = {num("a"), num("b"), num("c"), num("d"), num("tx"), num("ty")};
    }
    c.repeat = args.size() < 3 || rt.ToBool(args[2]);
    c.smooth = args.size() > 3 && rt.ToBool(args[3]);
    Draw(rt, self, c);
    return Value();
}

template <DrawCommand::Op Op>
Value Plain(Runtime& rt, Activation&, Value self, std::vector<Value>&) {
    DrawCommand c;
    c.op = Op;
    Draw(rt, self, c);
    return Value();
}

Value SetMask(Runtime& rt, Activation& caller, Value self, std::vector<Value>& args) {
    int clip = ClipOf(self);
    GeometryInterface* g = Geo(rt);
    if (clip < 0 || !g || args.empty()) {
        return Value();
    }
    if (args[0].isNullish()) {
        g->SetMask(clip, 0);
        return Value(true);
    }
    // A mask named by its path is looked for from the timeline the script runs on.
    int mask = TargetOf(rt, caller.target, args[0], false);
    if (mask < 0) {
        return Value(false);
    }
    g->SetMask(clip, mask);
    return Value(true);
}

Value StartDrag(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    int clip = ClipOf(self);
    GeometryInterface* g = Geo(rt);
    if (clip < 0 || !g) {
        return Value();
    }
    std::optional<Rect> within;
    if (args.size() >= 5) {
        within = Rect{rt.ToNum(args[1]), rt.ToNum(args[3]), rt.ToNum(args[2]), rt.ToNum(args[4])};
    }
    g->StartDrag(clip, !args.empty() && rt.ToBool(args[0]), within);
    return Value();
}

Value StopDrag(Runtime& rt, Activation&, Value, std::vector<Value>&) {
    if (GeometryInterface* g = Geo(rt)) {
        g->StopDrag();
    }
    return Value();
}

} // namespace

void InstallClipGeometry(Runtime& rt, Object*) {
    Object* proto = rt.clipProto_;
    if (!proto) {
        return;
    }
    using Op = DrawCommand::Op;
    rt.Method(proto, "getBounds", GetBounds<true>);
    rt.Method(proto, "getRect", GetBounds<false>);
    rt.Method(proto, "localToGlobal", MapPoint<true>);
    rt.Method(proto, "globalToLocal", MapPoint<false>);
    rt.Method(proto, "hitTest", HitTest);
    rt.Method(proto, "moveTo", Path<Op::MoveTo>);
    rt.Method(proto, "lineTo", Path<Op::LineTo>);
    rt.Method(proto, "curveTo", Path<Op::CurveTo>);
    rt.Method(proto, "lineStyle", LineStyle);
    rt.Method(proto, "beginFill", BeginFill);
    rt.Method(proto, "beginGradientFill", BeginGradientFill);
    rt.Method(proto, "beginBitmapFill", BeginBitmapFill);
    rt.Method(proto, "lineGradientStyle", LineGradientStyle);
    rt.Method(proto, "endFill", Plain<Op::EndFill>);
    rt.Method(proto, "clear", Plain<Op::Clear>);
    rt.Method(proto, "setMask", SetMask);
    rt.Method(proto, "startDrag", StartDrag);
    rt.Method(proto, "stopDrag", StopDrag);
}

} // namespace fw::avm1
