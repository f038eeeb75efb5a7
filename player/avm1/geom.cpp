// flash.geom: Point and Matrix. Their methods read and write the coordinates as ordinary
// properties, in the reference player's order, and make new points through the class the global
// path names now, so scripts that replace or watch any of these see what they would there.

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

Value MatrixClass(Runtime& rt) {
    return rt.Get(rt.Get(rt.Get(Value(rt.global()), "flash"), "geom"), "Matrix");
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

// --- Matrix ---

const char* const kFields[] = {"a", "b", "c", "d", "tx", "ty"};

Value NewMatrix(Runtime& rt, std::vector<Value> fields) {
    return rt.Construct(MatrixClass(rt), std::move(fields));
}

Value Get(Runtime& rt, const Value& o, const char* name) {
    return rt.Get(o, name);
}

Value Divide(Runtime& rt, const Value& a, const Value& b) {
    return Value(rt.ToNum(a) / rt.ToNum(b));
}

Value MatrixCtor(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    if (args.empty()) {
        rt.CallMethod(self, "identity", {});
        return Value();
    }
    for (std::size_t i = 0; i < 6; ++i) {
        rt.Put(self, kFields[i], Arg(args, i));
    }
    return Value();
}

void SetAll(Runtime& rt, const Value& self, const Value (&v)[6]) {
    for (std::size_t i = 0; i < 6; ++i) {
        rt.Put(self, kFields[i], v[i]);
    }
}

Value Concat(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    Value m = Arg(args, 0);
    auto f = [&](const Value& o, const char* name) { return Get(rt, o, name); };
    Value a = Times(rt, f(self, "a"), f(m, "a"));
    Value d = Times(rt, f(self, "d"), f(m, "d"));
    Value b(0);
    Value c(0);
    Value tx = Plus(rt, Times(rt, f(self, "tx"), f(m, "a")), f(m, "tx"));
    Value ty = Plus(rt, Times(rt, f(self, "ty"), f(m, "d")), f(m, "ty"));
    auto skewed = [&](const Value& o, const char* name) { return !(rt.ToNum(f(o, name)) == 0); };
    // The skew terms count only where either matrix is skewed; NaN counts as skewed.
    if (skewed(self, "b") || skewed(self, "c") || skewed(m, "b") || skewed(m, "c")) {
        a = Plus(rt, a, Times(rt, f(self, "b"), f(m, "c")));
        d = Plus(rt, d, Times(rt, f(self, "c"), f(m, "b")));
        b = Plus(rt, b,
                 Plus(rt, Times(rt, f(self, "a"), f(m, "b")), Times(rt, f(self, "b"), f(m, "d"))));
        c = Plus(rt, c,
                 Plus(rt, Times(rt, f(self, "c"), f(m, "a")), Times(rt, f(self, "d"), f(m, "c"))));
        tx = Plus(rt, tx, Times(rt, f(self, "ty"), f(m, "c")));
        ty = Plus(rt, ty, Times(rt, f(self, "tx"), f(m, "b")));
    }
    SetAll(rt, self, {a, b, c, d, tx, ty});
    return Value();
}

Value Identity(Runtime& rt, Activation&, Value self, std::vector<Value>&) {
    // The diagonal first, each pair backwards: for-in shows that order.
    for (const char* name : {"d", "a", "c", "b", "ty", "tx"}) {
        bool diagonal = name[0] == 'a' || name[0] == 'd';
        rt.Put(self, name, Value(diagonal ? 1 : 0));
    }
    return Value();
}

Value Invert(Runtime& rt, Activation&, Value self, std::vector<Value>&) {
    auto num = [&](const char* name) { return rt.ToNum(rt.Get(self, name)); };
    if (num("b") == 0 && num("c") == 0) {
        rt.Put(self, "a", Value(1 / num("a")));
        rt.Put(self, "d", Value(1 / num("d")));
        rt.Put(self, "c", Value(0));
        rt.Put(self, "b", Value(0));
        rt.Put(self, "tx", Value(-num("a") * num("tx")));
        rt.Put(self, "ty", Value(-num("d") * num("ty")));
        return Value();
    }
    double a = num("a"), b = num("b"), c = num("c"), d = num("d");
    double det = a * d - b * c;
    if (det == 0) { // not invertible: the identity instead
        rt.CallMethod(self, "identity", {});
        return Value();
    }
    det = 1 / det;
    rt.Put(self, "a", Value(d * det));
    rt.Put(self, "b", Value(-b * det));
    rt.Put(self, "c", Value(-c * det));
    rt.Put(self, "d", Value(a * det));
    Value ty = rt.Get(self, "ty");
    Value tx = rt.Get(self, "tx");
    Value pt = rt.CallMethod(self, "deltaTransformPoint", {NewPoint(rt, tx, ty)});
    rt.Put(self, "tx", Value(-rt.ToNum(rt.Get(pt, "x"))));
    rt.Put(self, "ty", Value(-rt.ToNum(rt.Get(pt, "y"))));
    return Value();
}

Value CreateBox(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    Value tx = args.size() < 4 ? Value(0) : args[3];
    Value ty = args.size() < 5 ? Value(0) : args[4];
    rt.CallMethod(self, "identity", {});
    rt.CallMethod(self, "rotate", {Arg(args, 2)}); // no rotation given fills in NaN
    rt.CallMethod(self, "scale", {Arg(args, 0), Arg(args, 1)});
    rt.Put(self, "tx", tx);
    rt.Put(self, "ty", ty);
    return Value();
}

Value CreateGradientBox(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    Value width = Arg(args, 0);
    Value height = Arg(args, 1);
    Value rotation = args.size() < 3 ? Value(0) : args[2];
    Value tx = args.size() < 4 ? Value(0) : args[3];
    Value ty = args.size() < 5 ? Value(0) : args[4];
    Value boxY = Plus(rt, ty, Divide(rt, height, Value(2)));
    Value boxX = Plus(rt, tx, Divide(rt, width, Value(2)));
    Value scaleY = Divide(rt, height, Value(1638.4));
    Value scaleX = Divide(rt, width, Value(1638.4));
    rt.CallMethod(self, "createBox", {scaleX, scaleY, rotation, boxX, boxY});
    return Value();
}

Value MatrixClone(Runtime& rt, Activation&, Value self, std::vector<Value>&) {
    std::vector<Value> fields(6);
    for (std::size_t i = 6; i-- > 0;) {
        fields[i] = rt.Get(self, kFields[i]);
    }
    return NewMatrix(rt, std::move(fields));
}

Value Rotate(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    Value math = rt.Get(Value(rt.global()), "Math");
    Value cos = rt.CallMethod(math, "cos", {Arg(args, 0)});
    Value sin = rt.CallMethod(math, "sin", {Arg(args, 0)});
    Value minusSin(-rt.ToNum(sin));
    rt.CallMethod(self, "concat", {NewMatrix(rt, {cos, sin, minusSin, cos, Value(0), Value(0)})});
    return Value();
}

Value Translate(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    rt.Put(self, "tx", Plus(rt, rt.Get(self, "tx"), Arg(args, 0)));
    rt.Put(self, "ty", Plus(rt, rt.Get(self, "ty"), Arg(args, 1)));
    return Value();
}

Value Scale(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    Value m = NewMatrix(rt, {Arg(args, 0), Value(0), Value(0), Arg(args, 1), Value(0), Value(0)});
    rt.CallMethod(self, "concat", {m});
    return Value();
}

// Where the matrix takes a point, with the translation or without.
template <bool Translated>
Value TransformPoint(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    Value pt = Arg(args, 0);
    auto f = [&](const Value& o, const char* name) { return Get(rt, o, name); };
    Value y = Plus(rt, Times(rt, f(self, "d"), f(pt, "y")), Times(rt, f(self, "b"), f(pt, "x")));
    if (Translated) {
        y = Plus(rt, y, f(self, "ty"));
    }
    Value x = Plus(rt, Times(rt, f(self, "a"), f(pt, "x")), Times(rt, f(self, "c"), f(pt, "y")));
    if (Translated) {
        x = Plus(rt, x, f(self, "tx"));
    }
    return NewPoint(rt, x, y);
}

Value MatrixToString(Runtime& rt, Activation&, Value self, std::vector<Value>&) {
    std::string out = "(";
    for (std::size_t i = 0; i < 6; ++i) {
        out += std::string(i ? ", " : "") + kFields[i] + "=" + rt.ToStr(rt.Get(self, kFields[i]));
    }
    return rt.Text(out + ")");
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

    Object* matrix = rt.NewPlain();
    rt.MakeClass("Matrix", MatrixCtor, matrix, geom);
    const std::pair<const char*, NativeFn> matrixMethods[] = {
        {"concat", Concat},
        {"invert", Invert},
        {"createBox", CreateBox},
        {"createGradientBox", CreateGradientBox},
        {"clone", MatrixClone},
        {"identity", Identity},
        {"rotate", Rotate},
        {"translate", Translate},
        {"scale", Scale},
        {"deltaTransformPoint", TransformPoint<false>},
        {"transformPoint", TransformPoint<true>},
        {"toString", MatrixToString},
    };
    for (const auto& [name, fn] : matrixMethods) {
        rt.Method(matrix, name, fn);
    }
}

} // namespace fw::avm1
