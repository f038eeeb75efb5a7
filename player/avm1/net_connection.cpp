// NetConnection and LocalConnection. A connection to no server ("null") opens and closes at
// once; a server address is taken as given, and as no server answers, closing it reports an
// empty status after the closing one. LocalConnection has its methods but no other movie to talk
// to.

#include "runtime.h"

namespace fw::avm1 {
namespace {

struct Connection : HostData {
    bool connected = false;
    bool remote = false; // to a server, which never answers
    void Trace(std::vector<Object*>&) const override {}
};

Connection* ConnectionOf(const Value& v) {
    Object* o = v.object();
    return o && o->host ? dynamic_cast<Connection*>(o->host.get()) : nullptr;
}

void Status(Runtime& rt, const Value& self, const char* code) {
    Object* event = rt.NewPlain();
    event->Set("code", Value(code));
    event->Set("level", Value("status"));
    rt.CallMethod(self, "onStatus", {Value(event)});
}

Value Construct(Runtime&, Activation&, Value self, std::vector<Value>&) {
    if (Object* o = self.object()) {
        o->host = std::make_unique<Connection>();
    }
    return Value();
}

Value Connect(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    Connection* c = ConnectionOf(self);
    if (!c || args.empty()) {
        return Value(false);
    }
    if (c->connected) {
        c->connected = false;
        Status(rt, self, "NetConnection.Connect.Closed");
    }
    c->connected = true;
    c->remote = !args[0].isNull();
    if (!c->remote) {
        Status(rt, self, "NetConnection.Connect.Success");
    }
    return Value(true);
}

Value Close(Runtime& rt, Activation&, Value self, std::vector<Value>&) {
    Connection* c = ConnectionOf(self);
    if (c && c->connected) {
        c->connected = false;
        Status(rt, self, "NetConnection.Connect.Closed");
        if (c->remote) {
            // What was waiting for the server's answer ends without one.
            c->remote = false;
            rt.CallMethod(self, "onStatus", {});
        }
    }
    return Value();
}

Value IsConnected(Runtime&, Activation&, Value self, std::vector<Value>&) {
    Connection* c = ConnectionOf(self);
    return c ? Value(c->connected) : Value();
}

Value Nothing(Runtime&, Activation&, Value, std::vector<Value>&) {
    return Value();
}

Value LocalDomain(Runtime&, Activation&, Value, std::vector<Value>&) {
    return Value("localhost");
}

Value LocalConnect(Runtime& rt, Activation&, Value, std::vector<Value>& args) {
    return Value(!args.empty() && !rt.ToStr(args[0]).empty());
}

} // namespace

void InstallNetConnection(Runtime& rt, Object* global) {
    Object* proto = rt.NewPlain();
    rt.MakeClass("NetConnection", Construct, proto, global)->function->scripted = true;
    rt.Method(proto, "connect", Connect);
    rt.Method(proto, "close", Close);
    rt.Method(proto, "call", Nothing);
    rt.Method(proto, "addHeader", Nothing);
    Accessor(rt, proto, "isConnected", IsConnected);

    Object* local = rt.NewPlain();
    rt.MakeClass("LocalConnection", Nothing, local, global);
    const std::pair<const char*, NativeFn> methods[] = {
        {"connect", LocalConnect}, {"send", Nothing}, {"close", Nothing}, {"domain", LocalDomain}};
    for (const auto& [name, fn] : methods) {
        rt.Method(local, name, fn);
        local->FindOwn(name)->flags = kDontEnum | kDontDelete;
    }
}

} // namespace fw::avm1
