// Classes of the reference player whose devices and services this player does not have (camera,
// microphone, streams, printing, shared objects): movies may name them,
// extend them and test for them, so they exist as classes whose objects carry no native part.
// The flash package came with version 8: older movies do not see it.

#include "runtime.h"

namespace fw::avm1 {
namespace {

Value PlainCtor(Runtime&, Activation&, Value, std::vector<Value>&) {
    return Value();
}

// A video the timeline placed reads as its path, as every display object does.
Value VideoText(Runtime& rt, Activation&, Value self, std::vector<Value>&) {
    Object* o = self.object();
    return o && o->kind == Kind::Clip ? Value(rt.Describe(o)) : Value("[object Object]");
}

} // namespace

void InstallAbsentServices(Runtime& rt, Object* global) {
    for (const char* name : {"Camera", "Microphone", "NetStream", "PrintJob", "SharedObject"}) {
        rt.MakeClass(name, PlainCtor, rt.NewPlain(), global)->function->scripted = true;
    }
    Object* video = rt.NewPlain();
    rt.MakeClass("Video", PlainCtor, video, global)->function->scripted = true;
    rt.Method(video, "toString", VideoText);
    InstallXmlSocket(rt, global);
    global->Set("Accessibility", Value(rt.NewPlain()), kDontEnum);
    if (Object* system = rt.Get(Value(global), "System").object()) {
        Object* ime = rt.NewPlain();
        system->Set("IME", Value(ime), kDontEnum);
        rt.CallMethod(rt.Get(Value(global), "AsBroadcaster"), "initialize", {Value(ime)});
    }
    InstallFileReference(rt, global);
    rt.MakeClass("TextRenderer", PlainCtor, rt.NewPlain(), Package(rt, global, "flash.text"));
    if (Property* flash = global->FindOwn("flash")) {
        flash->flags |= kOnlyFrom8;
    }
}

} // namespace fw::avm1
