// Feeds arbitrary bytes to the movie reader and, both as a movie and as a bare action block,
// to the interpreter: nothing may crash, hang or leak.

#include "swf/movie.h"
#include "swf/player.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace {

class QuietHost : public fw::swf::PlayerHost {
public:
    void FsCommand(const std::string& command, const std::string& args) override {
        sink_ += command.size() + args.size();
    }
    void TraceOutput(const std::string& text) override { sink_ += text.size(); }
    void Problem(const std::string& text) override { sink_ += text.size(); }

private:
    std::size_t sink_ = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::span<const std::uint8_t> bytes(data, size);
    QuietHost host;
    fw::swf::PlayerLimits limits;
    limits.actionsPerBlock = 20000; // keeps each input fast; the limit logic is the same
    fw::swf::Player player(host, limits);
    player.Load(fw::swf::ParseMovie(bytes));
    for (int tick = 0; tick < 6; ++tick) {
        player.Tick();
    }
    player.RunBlock(fw::swf::ActionBlock(bytes.begin(), bytes.end()));
    player.ApplyFlashVars(std::string_view(reinterpret_cast<const char*>(data), size));
    player.GetVariableText(std::string_view(reinterpret_cast<const char*>(data), size));
    player.RootVariables();
    return 0;
}
