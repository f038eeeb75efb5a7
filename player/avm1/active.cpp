// Objects waiting on the world outside the movie: kept alive and polled between ticks.

#include "runtime.h"

#include <algorithm>

namespace fw::avm1 {
namespace {

// Rounds of polling within one tick: an answer may start the next request (a file picked in a
// dialog is uploaded at once), but a movie that keeps asking must not hold the tick.
constexpr int kRoundsPerTick = 64;
// Objects polled at once; more are refused work rather than grow the list without end.
constexpr std::size_t kMaxActive = 4096;

ActiveHost* ActiveOf(Object* o) {
    return o && o->host ? dynamic_cast<ActiveHost*>(o->host.get()) : nullptr;
}

} // namespace

void Runtime::Activate(Object* o) {
    if (!ActiveOf(o) || std::find(active_.begin(), active_.end(), o) != active_.end()) {
        return;
    }
    if (active_.size() >= kMaxActive) {
        Report("too many sockets, dialogs and sounds waiting; one more was dropped");
        return;
    }
    active_.push_back(o);
}

void Runtime::PollActive() {
    for (int round = 0; round < kRoundsPerTick && !active_.empty(); ++round) {
        bool moved = false;
        // A handler may activate more objects; they wait for the next round.
        std::vector<Object*> now = active_;
        for (Object* o : now) {
            ActiveHost* host = ActiveOf(o);
            if (!host) {
                continue;
            }
            callDepth_ = 0;
            try {
                moved = host->Poll(*this, o) || moved;
            } catch (Thrown& thrown) {
                Report("uncaught exception: " + ToString(thrown.value, version_));
                moved = true;
            }
        }
        std::erase_if(active_, [](Object* o) {
            ActiveHost* host = ActiveOf(o);
            return !host || host->Idle();
        });
        if (!moved) {
            break;
        }
    }
}

} // namespace fw::avm1
