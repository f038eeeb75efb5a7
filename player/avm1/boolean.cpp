// Boolean: the boxed truth value.

#include "runtime.h"

namespace fw::avm1 {
namespace {

bool Primitive(Runtime& rt, const Value& self) {
    if (Object* o = self.object(); o && o->kind == Kind::Boolean) {
        return ToBoolean(o->primitive, rt.version());
    }
    return rt.ToBool(self);
}

Value Construct(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    bool constructing = rt.constructing;
    bool b = args.empty() ? false : rt.ToBool(args[0]);
    if (constructing && self.isObject()) {
        self.asObject()->kind = Kind::Boolean;
        self.asObject()->primitive = Value(b);
        return self;
    }
    return args.empty() ? Value() : Value(b);
}

Value ToStringFn(Runtime& rt, Activation&, Value self, std::vector<Value>&) {
    return Value(Primitive(rt, self) ? "true" : "false");
}

Value ValueOf(Runtime& rt, Activation&, Value self, std::vector<Value>&) {
    return Value(Primitive(rt, self));
}

} // namespace

void InstallBoolean(Runtime& rt, Object* global) {
    Object* proto = rt.NewObject(rt.objectProto_, Kind::Boolean);
    proto->primitive = Value(false);
    rt.booleanProto_ = proto;
    rt.MakeClass("Boolean", Construct, proto, global);
    rt.Method(proto, "toString", ToStringFn);
    rt.Method(proto, "valueOf", ValueOf);
}

} // namespace fw::avm1
