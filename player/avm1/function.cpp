// Function: call and apply, and the constructor every function's prototype chain ends in.

#include "runtime.h"

namespace fw::avm1 {
namespace {

Value Construct(Runtime& rt, Activation&, Value, std::vector<Value>& args) {
    if (!rt.constructing) {
        // Called plainly it hands back its argument, or a bare object without one.
        return args.empty() ? Value(rt.NewObject(nullptr)) : args[0];
    }
    return Value(
        rt.NewFunction([](Runtime&, Activation&, Value, std::vector<Value>&) { return Value(); }));
}

// What a function called through call or apply sees as this: a primitive boxed, and the global
// object where there is none.
Value ThisObject(Runtime& rt, const Value& v) {
    Object* o = rt.ToObject(v);
    return Value(o ? o : rt.global());
}

Value CallFn(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    Value thisArg = Arg(args, 0);
    std::vector<Value> rest;
    if (args.size() > 1) {
        rest.assign(args.begin() + 1, args.end());
    }
    thisArg = ThisObject(rt, thisArg);
    return rt.Call(self, thisArg, std::move(rest), 1);
}

Value ApplyFn(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    Value thisArg = Arg(args, 0);
    std::vector<Value> rest;
    if (Object* list = Arg(args, 1).object()) {
        double n = rt.Length(list);
        for (double i = 0; i < n && i < 65536; ++i) {
            rest.push_back(rt.Element(list, i));
        }
    }
    thisArg = ThisObject(rt, thisArg);
    return rt.Call(self, thisArg, std::move(rest), 1);
}

} // namespace

void InstallFunction(Runtime& rt, Object* global) {
    Object* proto = rt.functionProto_;
    rt.MakeClass("Function", Construct, proto, global)->function->scripted = true;
    rt.Method(proto, "call", CallFn);
    rt.Method(proto, "apply", ApplyFn);
}

} // namespace fw::avm1
