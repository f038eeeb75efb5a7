// Feeds arbitrary bytes to the movie reader and, both as a movie and as a bare action block,
// to the interpreter: the movie plays and draws a few frames on virtual time as fwplay plays
// it, then every action block it holds runs once more on its own, so the scripts of frames the
// playhead never reaches run too. Nothing may crash, hang or leak.

#include "render/picture.h"
#include "swf/movie.h"
#include "swf/player.h"

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

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
    constexpr int kFrames = 8;
    constexpr std::size_t kBlocks = 32;
    std::vector<fw::swf::ActionBlock> blocks;
    for (const auto& frame : player.movie().frames) {
        for (const auto* list : {&frame.initActions, &frame.actions}) {
            for (const auto& block : *list) {
                if (blocks.size() < kBlocks) {
                    blocks.push_back(block);
                }
            }
        }
    }
    double frameMs = 1000.0 / player.movie().frameRate;
    // Each frame is drawn too, small, so the renderer meets every shape, style and matrix the
    // reader lets through.
    fw::render::Picture picture(40, 30);
    fw::swf::Matrix toPixels{0.05, 0, 0, 0.05, 0, 0};
    for (int frame = 0; frame < kFrames; ++frame) {
        player.SetTime(frame * frameMs);
        player.Tick();
        player.Render(picture, toPixels);
    }
    for (const auto& block : blocks) {
        player.RunBlock(block);
    }
    player.RunBlock(fw::swf::ActionBlock(bytes.begin(), bytes.end()));
    player.ApplyFlashVars(std::string_view(reinterpret_cast<const char*>(data), size));
    player.GetVariableText(std::string_view(reinterpret_cast<const char*>(data), size));
    player.RootVariables();
    return 0;
}
