// System: the capabilities of the player, as a desktop player of the time reports them.

#include "runtime.h"

#include <cmath>

namespace fw::avm1 {
namespace {

// A movie loaded from the network is the network's; one played from a file may read local
// files, or the network when it asked for that.
Value SandboxType(Runtime& rt, Activation&, Value, std::vector<Value>&) {
    Object* base = rt.CodeBase();
    auto url =
        base && base->kind == Kind::Clip ? rt.display().MovieUrl(base->clipId) : std::nullopt;
    if (url && (url->rfind("http://", 0) == 0 || url->rfind("https://", 0) == 0)) {
        return Value("remote");
    }
    return Value(rt.display().UsesNetwork() ? "localWithNetwork" : "localWithFile");
}

} // namespace

void InstallSystem(Runtime& rt, Object* global) {
    Object* system = rt.NewPlain();
    global->Set("System", Value(system), kDontEnum);
    Object* caps = rt.NewPlain();
    system->Set("capabilities", Value(caps));
    const std::pair<const char*, Value> entries[] = {
        {"version", Value("WIN 8,0,0,0")},
        {"os", Value("Windows XP")},
        {"manufacturer", Value("Fenwobble")},
        {"playerType", Value("StandAlone")},
        {"language", Value("en")},
        {"screenResolutionX", Value(1024)},
        {"screenResolutionY", Value(768)},
        {"screenDPI", Value(72)},
        {"screenColor", Value("color")},
        {"pixelAspectRatio", Value(1)},
        {"hasAudio", Value(true)},
        {"hasMP3", Value(true)},
        {"hasAccessibility", Value(false)},
        {"isDebugger", Value(false)},
        {"localFileReadDisable", Value(false)},
    };
    for (const auto& [name, v] : entries) {
        caps->Set(name, v);
    }
    // A host window of its own gives the screen it stands for.
    if (auto window = rt.display().HostWindow()) {
        caps->Set("screenResolutionX", Value(std::round(window->width / window->scale)));
        caps->Set("screenResolutionY", Value(std::round(window->height / window->scale)));
    }
    Object* security = rt.NewPlain();
    system->Set("security", Value(security));
    Accessor(rt, security, "sandboxType", SandboxType);
    system->Set("useCodepage", Value(false));
}

} // namespace fw::avm1
