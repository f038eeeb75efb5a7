#pragma once
// What fwplay does, apart from its process: reads the command line, plays a movie for a number
// of frames on virtual time and writes the movie's trace lines to one stream and every problem
// to another.

#include "avm1/runtime.h"
#include "render/picture.h"
#include "input_script.h"
#include "scripted_net.h"

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace fw::swf {
class Player;
}

namespace fw::play {

// A picture of the stage to write: after the given frame (counted from 1, once the input
// following it is handed over), or after the last frame played when none is given.
struct Capture {
    std::optional<std::uint32_t> frame;
    std::string file;
};

struct Options {
    std::optional<std::uint32_t> frames; // none: the movie's own frame count
    std::string input;                   // events to inject between frames
    std::string socket;                  // the socket peer's part
    std::string png;                     // picture of the stage after the last frame
    std::vector<Capture> captures;       // --png-at: pictures after given frames
    std::string wav;                     // what the sounds played, as a WAV file
    std::string movie;
    std::string url; // the address the movie is played from, as it reads its own
    std::optional<double> scriptSeconds; // real time one action block may run (the host's default)
    std::optional<avm1::DisplayInterface::Window> window; // the host window's size and scale
    bool help = false;
};

inline constexpr std::uint32_t kMaxFrames = 10'000'000;

// Exit statuses of fwplay.
inline constexpr int kPlayed = 0;
inline constexpr int kNotPlayed = 1; // the file could not be read or is not a movie
inline constexpr int kUsage = 2;

const char* Usage();

// Reads the arguments after the program name; nullopt with error set when they make no sense.
std::optional<Options> ParseArguments(std::span<const std::string_view> args, std::string& error);

// Plays the movie in a file's bytes from its first frame for the given number of frames (the
// movie's own frame count when none), each frame one frame's duration later on the clock the
// scripts read. Stops early when the movie asks to quit. Returns an exit status.
// Files the movie loads are read from folder by their relative address (none when empty).
// After each frame the input events up to the next Wait are handed to the movie, as the
// reference test harness does; the events after the last frame's Wait follow the last frame.
// Sockets reach a peer playing the given part (none: no connection is made); dialogs and
// transfers are answered as ScriptedNet says. The captures' pictures are written as PNG files.
// With sound given, what the movie's sounds play is appended to it (44.1 kHz stereo, each frame
// its share of samples). The movie reads url as the address it was played from.
int PlayMovie(std::span<const std::uint8_t> file, std::optional<std::uint32_t> frames,
              std::ostream& out, std::ostream& err, const std::string& folder = {},
              std::optional<double> scriptSeconds = std::nullopt,
              std::optional<avm1::DisplayInterface::Window> window = std::nullopt,
              std::span<const InputEvent> input = {},
              std::optional<std::vector<PeerStep>> peer = std::nullopt,
              std::span<const Capture> captures = {}, std::vector<std::int16_t>* sound = nullptr,
              const std::string& url = {});

// The stage as it stands, drawn at the movie's own size (one pixel per 20 twips).
render::Picture StagePicture(swf::Player& player);

// The bytes of the file a movie in folder loads by a relative address ("data.xml",
// "sub/vars.txt?x=1"), or by an http address from the folder's subfolder named by the host
// ("http://localhost:8000/a.swf" reads localhost/a.swf); nullopt for another network or an
// absolute address, a way out of the folder, or no plain file there.
std::optional<std::string> ReadBesideMovie(const std::string& folder, std::string_view url);

// Reads the movie the options name and plays it as PlayMovie does.
int Run(const Options& options, std::ostream& out, std::ostream& err);

} // namespace fw::play
