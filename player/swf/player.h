#pragma once
// The movie's timeline and its script interpreter: frames advance one per Tick, each frame's
// action blocks run as the frame is entered, and the root timeline's variables are what the
// host reads and writes.

#include "movie.h"
#include "value.h"

#include <array>
#include <chrono>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace fw::swf {

// What the movie does outside itself.
class PlayerHost {
public:
    virtual ~PlayerHost() = default;
    virtual void FsCommand(const std::string& command, const std::string& args) = 0;
    virtual void TraceOutput(const std::string& text) = 0; // the movie's own trace()
    virtual void Problem(const std::string& text) = 0;     // a fault in the file or its scripts
};

struct PlayerLimits {
    std::size_t actionsPerBlock = 100000;
    std::size_t stackDepth = 10000;
    std::size_t stringBytes = 1u << 20;
    std::size_t textBytesPerTick = 32u << 20; // all texts the scripts push within one tick
    std::size_t objects = 10000;
    std::size_t propertiesPerObject = 10000;
    std::size_t blocksPerTick = 256; // frames entered by gotos within one tick
};

class Player {
public:
    explicit Player(PlayerHost& host, PlayerLimits limits = {});
    ~Player();
    Player(const Player&) = delete;
    Player& operator=(const Player&) = delete;

    // Replaces the movie: variables and objects are cleared, the playhead waits before the
    // first frame, which the next Tick enters.
    void Load(Movie movie);
    const Movie& movie() const { return movie_; }

    // Enters the first frame on the first call, then moves one frame on while playing
    // (looping to the first frame after the last).
    void Tick();
    void Play() { playing_ = true; }
    void Stop() { playing_ = false; }
    bool playing() const { return playing_; }
    int currentFrame() const { return current_; } // 0-based, -1 before the first Tick
    int version() const { return movie_.version; }

    // Variables by path: "name", "_root.name", "_level0.name", "/:name", "a.b" through objects.
    void SetVariable(std::string_view path, Value value);
    Value GetVariable(std::string_view path);
    std::string GetVariableText(std::string_view path);
    void ApplyFlashVars(std::string_view text);

    // The root timeline's variables in the order they were first set, as texts.
    std::vector<std::pair<std::string, std::string>> RootVariables() const;

    // Runs one action block on the root timeline, outside the frames' own order.
    void RunBlock(const ActionBlock& block);

private:
    class Machine;
    struct Target {
        ScriptObject* object = nullptr;
        std::string name;
    };

    ScriptObject* NewObject();
    ScriptObject* Root() const { return objects_.front().get(); }
    Value NameValue(std::string_view name);
    ScriptObject* ResolveObject(std::string_view path);
    Target ResolveTarget(std::string_view path);
    void GotoFrame(int frame);
    void RunPending();
    void RunOne(const ActionBlock& block);
    void Report(const std::string& text) { host_.Problem(text); }

    PlayerHost& host_;
    PlayerLimits limits_;
    Movie movie_;
    std::vector<std::unique_ptr<ScriptObject>> objects_; // [0] is the root timeline
    std::array<Value, 4> registers_;
    int current_ = -1;
    bool playing_ = true;
    std::deque<int> pendingFrames_; // frames entered whose actions have not run yet
    std::chrono::steady_clock::time_point loadedAt_ = std::chrono::steady_clock::now();
    std::size_t textBytes_ = 0; // pushed since the tick began
    unsigned generation_ = 0;   // counts Loads, so a script notices its movie was replaced
};

} // namespace fw::swf
