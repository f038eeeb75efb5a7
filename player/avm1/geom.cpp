// flash.geom: Point. Its methods read and write the coordinates as ordinary properties, in the
// reference player's order, and make new points through the class the global path names now,
// so scripts that replace or watch any of these see what they would there.

#include "runtime.h"

#include <cmath>

namespace fw::avm1 {
namespace {

Value PointClass(Runtime& rt) {
    return rt.Get(rt.Get(rt.Get(Value(rt.global()), "flash"), "geom"), "Point");
}

Value NewPoint(Runtime& rt, Value x, Value y) {
    return rt.Construct(PointClass(rt), {std::move(x), std::move(y)});
}

// The + of the byte code: texts join, anything else adds as numbers.
Value Plus(Runtime& rt, const Value& a, const Value& b) {
    Value pa = rt.ToPrimitive(a);
    Value pb = rt.ToPrimitive(b);
    if (pa.isString() || pb.isString()) {
        return rt.Text(rt.ToStr(pa) + rt.ToStr(pb));
    }
    return Value(rt.ToNum(pa) + rt.ToNum(pb));
}

Value Minus(Runtime& rt, const Value& a, const Value& b) {
    return Value(rt.ToNum(a) - rt.ToNum(b));
}

Value Times(Runtime& rt, const Value& a, const Value& b) {
    return Value(rt.ToNum(a) * rt.ToNum(b));
}

Value Construct(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    if (args.empty()) { // y first: it shows in for-in order
        rt.Put(self, "y", Value(0));
        rt.Put(self, "x", Value(0));
    } else {
        rt.Put(self, "x", args[0]);
        rt.Put(self, "y", Arg(args, 1));
    }
    return Value();
}

Value Distance(Runtime& rt, Activation&, Value, std::vector<Value>& args) {
    Value diff = rt.CallMethod(Arg(args, 0), "subtract", {Arg(args, 1)});
    return rt.Get(diff, "length");
}

Value Polar(Runtime& rt, Activation&, Value, std::vector<Value>& args) {
    Value math = rt.Get(Value(rt.global()), "Math");
    Value len = Arg(args, 0);
    Value angle = Arg(args, 1);
    Value y = Times(rt, len, rt.CallMethod(math, "sin", {angle}));
    Value x = Times(rt, len, rt.CallMethod(math, "cos", {angle}));
    return NewPoint(rt, x, y);
}

Value Interpolate(Runtime& rt, Activation&, Value, std::vector<Value>& args) {
    Value p1 = Arg(args, 0);
    Value p2 = Arg(args, 1);
    Value f = Arg(args, 2);
    auto along = [&](const char* axis) {
        Value to = rt.Get(p2, axis);
        return Plus(rt, to, Times(rt, Minus(rt, rt.Get(p1, axis), rt.Get(p2, axis)), f));
    };
    Value y = along("y");
    Value x = along("x");
    return NewPoint(rt, x, y);
}

Value Length(Runtime& rt, Activation&, Value self, std::vector<Value>&) {
    Value x = rt.Get(self, "x");
    double x2 = rt.ToNum(Times(rt, x, x));
    Value y = rt.Get(self, "y");
    double y2 = rt.ToNum(Times(rt, y, y));
    return Value(std::sqrt(x2 + y2));
}

Value Ignore(Runtime&, Activation&, Value, std::vector<Value>&) {
    return Value();
}

Value Clone(Runtime& rt, Activation&, Value self, std::vector<Value>&) {
    Value y = rt.Get(self, "y");
    Value x = rt.Get(self, "x");
    return NewPoint(rt, x, y);
}

Value Offset(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    rt.Put(self, "x", Plus(rt, rt.Get(self, "x"), Arg(args, 0)));
    rt.Put(self, "y", Plus(rt, rt.Get(self, "y"), Arg(args, 1)));
    return Value();
}

bool LooselyEqual(Runtime& rt, const Value& a, const Value& b) {
    Value pa = rt.ToPrimitive(a);
    Value pb = rt.ToPrimitive(b);
    if (pa.isObject() || pb.isObject()) {
        return pa.isObject() && pb.isObject() && pa.asObject() == pb.asObject();
    }
    return AbstractEquals(pa, pb, rt.version());
}

Value Equals(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    Value other = Arg(args, 0);
    if (!rt.InstanceOf(other, PointClass(rt).object())) {
        return Value(false);
    }
    return Value(LooselyEqual(rt, rt.Get(other, "x"), rt.Get(self, "x")) &&
                 LooselyEqual(rt, rt.Get(other, "y"), rt.Get(self, "y")));
}

template <Value (*Op)(Runtime&, const Value&, const Value&)>
Value Combine(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    Value v = Arg(args, 0);
    Value y = Op(rt, rt.Get(self, "y"), rt.Get(v, "y"));
    Value x = Op(rt, rt.Get(self, "x"), rt.Get(v, "x"));
    return NewPoint(rt, x, y);
}

Value Normalize(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    double current = rt.ToNum(rt.Get(self, "length"));
    if (!(current > 0)) { // zero, negative or NaN stays as it is
        return Value();
    }
    Value scale(rt.ToNum(Arg(args, 0)) / current);
    rt.Put(self, "x", Times(rt, rt.Get(self, "x"), scale));
    rt.Put(self, "y", Times(rt, rt.Get(self, "y"), scale));
    return Value();
}

Value ToStringFn(Runtime& rt, Activation&, Value self, std::vector<Value>&) {
    std::string x = rt.ToStr(rt.Get(self, "x"));
    std::string y = rt.ToStr(rt.Get(self, "y"));
    return rt.Text("(x=" + x + ", y=" + y + ")");
}

} // namespace

void InstallGeom(Runtime& rt, Object* global) {
    Object* geom = Package(rt, global, "flash.geom");
    Object* proto = rt.NewPlain();
    Object* point = rt.MakeClass("Point", Construct, proto, geom);
    rt.Method(point, "distance", Distance);
    rt.Method(point, "polar", Polar);
    rt.Method(point, "interpolate", Interpolate);
    Property& length = proto->Set("length", Value(), kDontEnum);
    length.getter = rt.NewFunction(Length);
    length.setter = rt.NewFunction(Ignore);
    const std::pair<const char*, NativeFn> methods[] = {
        {"clone", Clone},         {"offset", Offset},
        {"equals", Equals},       {"subtract", Combine<Minus>},
        {"add", Combine<Plus>},   {"normalize", Normalize},
        {"toString", ToStringFn},
    };
    for (const auto& [name, fn] : methods) {
        rt.Method(proto, name, fn);
    }
}

} // namespace fw::avm1
