// Number: the boxed number, toString with a radix and the limits of doubles.

#include "runtime.h"

#include <cmath>
#include <limits>

namespace fw::avm1 {
namespace {

double Primitive(Runtime& rt, const Value& self) {
    if (Object* o = self.object(); o && o->kind == Kind::Number) {
        return ToNumber(o->primitive, rt.version());
    }
    if (self.isObject()) {
        // Another object borrowing the method has no number of its own; converting it
        // would only call this method again.
        return std::nan("");
    }
    return self.isNumber() ? self.asNumber() : rt.ToNum(self);
}

Value Construct(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    bool constructing = rt.constructing;
    double n = args.empty() ? 0.0 : rt.ToNum(args[0]);
    if (constructing && self.isObject()) {
        self.asObject()->kind = Kind::Number;
        self.asObject()->primitive = Value(n);
        return self;
    }
    return Value(n);
}

Value ToStringFn(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    double n = Primitive(rt, self);
    int radix = 10;
    if (!args.empty() && !args[0].isUndefined()) {
        radix = static_cast<int>(ToInt32(rt.ToNum(args[0])));
    }
    return Value(NumberToRadix(n, radix));
}

Value ValueOf(Runtime& rt, Activation&, Value self, std::vector<Value>&) {
    return Value(Primitive(rt, self));
}

} // namespace

void InstallNumber(Runtime& rt, Object* global) {
    Object* proto = rt.NewObject(rt.objectProto_, Kind::Number);
    proto->primitive = Value(0.0);
    rt.numberProto_ = proto;
    Object* ctor = rt.MakeClass("Number", Construct, proto, global);
    rt.Method(proto, "toString", ToStringFn);
    rt.Method(proto, "valueOf", ValueOf);
    const std::uint8_t fixed = kDontEnum | kDontDelete | kReadOnly;
    ctor->Set("MAX_VALUE", Value(std::numeric_limits<double>::max()), fixed);
    ctor->Set("MIN_VALUE", Value(std::numeric_limits<double>::denorm_min()), fixed);
    ctor->Set("NaN", Value(std::nan("")), fixed);
    ctor->Set("NEGATIVE_INFINITY", Value(-std::numeric_limits<double>::infinity()), fixed);
    ctor->Set("POSITIVE_INFINITY", Value(std::numeric_limits<double>::infinity()), fixed);
}

} // namespace fw::avm1
