// Error: a message and a name, and a toString that gives the message.

#include "runtime.h"

namespace fw::avm1 {
namespace {

Value Construct(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    bool constructing = rt.constructing;
    Object* e = constructing && self.isObject() ? self.asObject() : rt.NewObject(rt.errorProto_);
    if (!args.empty() && !args[0].isUndefined()) {
        e->Set("message", args[0]);
    }
    return Value(e);
}

Value ToStringFn(Runtime& rt, Activation&, Value self, std::vector<Value>&) {
    return Value(rt.ToStr(rt.Get(self, "message")));
}

} // namespace

void InstallError(Runtime& rt, Object* global) {
    Object* proto = rt.NewPlain();
    rt.errorProto_ = proto;
    rt.MakeClass("Error", Construct, proto, global);
    rt.Method(proto, "toString", ToStringFn);
    proto->Set("message", Value("Error"), kDontEnum);
    proto->Set("name", Value("Error"), kDontEnum);
}

} // namespace fw::avm1
