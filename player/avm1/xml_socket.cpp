// XMLSocket: a connection to a server that trades texts ended by a zero byte. The host makes the
// connection (NetServices); what arrives is handed to onData a text at a time between ticks, and
// onData's default reads it as XML for onXML.

#include "net_services.h"
#include "runtime.h"

#include <cmath>
#include <memory>

namespace fw::avm1 {
namespace {

// A text that never ends is not kept without bound.
constexpr std::size_t kMaxPending = 16u << 20;

struct SocketState {
    std::unique_ptr<SocketConnection> connection;
    bool refused = false; // no connection could be tried: onConnect(false) is due
    std::string pending;  // received, up to the next zero byte
    double timeout = 20000;
};

struct SocketData : ActiveHost {
    std::shared_ptr<SocketState> state = std::make_shared<SocketState>();
    void Trace(std::vector<Object*>&) const override {}
    bool Poll(Runtime& rt, Object* self) override;
    bool Idle() const override { return !state->connection && !state->refused; }
};

SocketState* StateOf(const Value& self) {
    Object* o = self.object();
    auto* data = o && o->host ? dynamic_cast<SocketData*>(o->host.get()) : nullptr;
    return data ? data->state.get() : nullptr;
}

bool SocketData::Poll(Runtime& rt, Object* self) {
    // A handler may close the socket, connect it anew or give the object another native part.
    std::shared_ptr<SocketState> s = state;
    if (s->refused) {
        s->refused = false;
        rt.CallMethod(Value(self), "onConnect", {Value(false)});
        return true;
    }
    bool moved = false;
    SocketConnection* c = s->connection.get();
    while (c && s->connection.get() == c) {
        std::optional<SocketConnection::Event> e = c->Poll();
        if (!e) {
            break;
        }
        moved = true;
        using Kind = SocketConnection::Event::Kind;
        switch (e->kind) {
        case Kind::Connected:
            rt.CallMethod(Value(self), "onConnect", {Value(true)});
            break;
        case Kind::Refused:
            s->connection.reset();
            rt.CallMethod(Value(self), "onConnect", {Value(false)});
            break;
        case Kind::Closed:
            s->connection.reset();
            s->pending.clear();
            rt.CallMethod(Value(self), "onClose", {});
            break;
        case Kind::Data:
            for (char ch : e->bytes) {
                if (ch != '\0') {
                    if (s->pending.size() < kMaxPending) {
                        s->pending += ch;
                    }
                    continue;
                }
                std::string text;
                text.swap(s->pending);
                rt.CallMethod(Value(self), "onData", {rt.Text(std::move(text))});
                if (s->connection.get() != c) {
                    break; // closed by the handler: the rest is not read
                }
            }
            break;
        }
    }
    return moved;
}

Value Construct(Runtime&, Activation&, Value self, std::vector<Value>&) {
    if (Object* o = self.object()) {
        o->host = std::make_unique<SocketData>();
    }
    return Value();
}

// connect(host, port): no host is the movie's own, which for a local movie is this machine.
// Whether the server answers comes later, to onConnect.
Value Connect(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    SocketState* s = StateOf(self);
    if (!s) {
        return Value();
    }
    Value hostArg = Arg(args, 0);
    std::string host =
        hostArg.isUndefined() || hostArg.isNull() ? std::string("localhost") : rt.ToStr(hostArg);
    double port = rt.ToNum(Arg(args, 1));
    int portNumber = std::isfinite(port) ? static_cast<int>(ToUint32(port) & 0xFFFF) : 0;
    if (s->connection) {
        s->connection->Close();
        s->connection.reset();
    }
    s->pending.clear();
    NetServices* net = rt.display().Net();
    s->connection = net ? net->Connect(host, portNumber) : nullptr;
    s->refused = !s->connection;
    rt.Activate(self.object());
    return Value(true);
}

// send(data): the data as text with its ending zero; nothing without a connection.
Value Send(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    SocketState* s = StateOf(self);
    if (s && s->connection) {
        std::string text = rt.ToStr(Arg(args, 0));
        text += '\0';
        s->connection->Send(text);
    }
    return Value();
}

// close(): hangs up without onClose; what the server sent and nobody read is dropped.
Value Close(Runtime&, Activation&, Value self, std::vector<Value>&) {
    SocketState* s = StateOf(self);
    if (s && s->connection) {
        s->connection->Close();
        s->connection.reset();
        s->pending.clear();
    }
    return Value();
}

Value OnData(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    Value xml = rt.Construct(rt.Get(Value(rt.global()), "XML"), args);
    rt.CallMethod(self, "onXML", {xml});
    return Value();
}

Value GetTimeout(Runtime&, Activation&, Value self, std::vector<Value>&) {
    SocketState* s = StateOf(self);
    return s ? Value(s->timeout) : Value();
}

Value SetTimeout(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    if (SocketState* s = StateOf(self)) {
        s->timeout = ToUint32(rt.ToNum(Arg(args, 0)));
    }
    return Value();
}

Value Nothing(Runtime&, Activation&, Value, std::vector<Value>&) {
    return Value();
}

} // namespace

void InstallXmlSocket(Runtime& rt, Object* global) {
    Object* proto = rt.NewPlain();
    rt.MakeClass("XMLSocket", Construct, proto, global)->function->scripted = true;
    Accessor(rt, proto, "timeout", GetTimeout, SetTimeout);
    for (const auto& [name, fn] : {std::pair<const char*, NativeFn>{"connect", Connect},
                                   {"send", Send},
                                   {"close", Close},
                                   {"onConnect", Nothing},
                                   {"onClose", Nothing},
                                   {"onData", OnData},
                                   {"onXML", Nothing}}) {
        rt.Method(proto, name, fn);
    }
}

} // namespace fw::avm1
