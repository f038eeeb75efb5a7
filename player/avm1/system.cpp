// System: the capabilities of the player, as a desktop player of the time reports them.

#include "runtime.h"

namespace fw::avm1 {

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
    Object* security = rt.NewPlain();
    system->Set("security", Value(security));
    // A movie played from a file reads local files; the network is the web player's.
    security->Set("sandboxType", Value("localWithFile"));
    system->Set("useCodepage", Value(false));
}

} // namespace fw::avm1
