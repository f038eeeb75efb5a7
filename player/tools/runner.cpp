#include "runner.h"

#include "mp3_mpg123.h"

#include "audio/mixer.h"
#include "audio/wav.h"
#include "render/png.h"
#include "swf/local_path.h"
#include "swf/movie.h"
#include "swf/player.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <new>
#include <ostream>
#include <vector>

namespace fw::play {
namespace {

// Larger files are not given to a movie.
constexpr std::uintmax_t kMaxLoadedBytes = 16u << 20;

// Virtual time starts where the conformance harness's clock stands: 3 February 2001, 04:05:06
// on the local clock, so the dates a movie reads are the same in every run.
double VirtualDateOrigin() {
    std::tm start{};
    start.tm_year = 2001 - 1900;
    start.tm_mon = 1;
    start.tm_mday = 3;
    start.tm_hour = 4;
    start.tm_min = 5;
    start.tm_sec = 6;
    start.tm_isdst = -1;
    std::time_t t = std::mktime(&start);
    return t == static_cast<std::time_t>(-1) ? 0 : static_cast<double>(t) * 1000;
}

class StreamHost : public swf::PlayerHost {
public:
    StreamHost(std::ostream& out, std::ostream& err, std::string folder, std::string url,
               std::optional<avm1::DisplayInterface::Window> window,
               std::optional<std::vector<PeerStep>> peer)
        : out_(out), err_(err), folder_(std::move(folder)), url_(std::move(url)), window_(window),
          net_(err, folder_, std::move(peer)) {}

    void FsCommand(const std::string& command, const std::string& args) override {
        // The reference test harness ends a run on "quit"; every other command only shows.
        if (command == "quit") {
            quit_ = true;
        } else {
            err_ << "fwplay: fscommand " << command << " " << args << '\n';
        }
    }
    void TraceOutput(const std::string& text) override { out_ << text << '\n'; }
    void Problem(const std::string& text) override { err_ << "fwplay: " << text << '\n'; }
    std::optional<std::string> ReadFile(std::string_view url) override {
        return folder_.empty() ? std::nullopt : ReadBesideMovie(folder_, url);
    }

    std::optional<avm1::DisplayInterface::Window> HostWindow() override { return window_; }
    avm1::NetServices* Net() override { return &net_; }
    audio::Mp3Decoder* Mp3() override { return &mp3_; }
    std::string MovieUrl() override { return url_; }

    bool quit() const { return quit_; }

private:
    std::ostream& out_;
    std::ostream& err_;
    std::string folder_;
    std::string url_;
    std::optional<avm1::DisplayInterface::Window> window_;
    ScriptedNet net_;
    Mpg123Decoder mp3_;
    bool quit_ = false;
};

// "900x600" or "1920x1080@1.25": a size from 1 to 100000 pixels and a scale from 0.01 to 100.
std::optional<avm1::DisplayInterface::Window> ParseWindow(std::string_view text) {
    auto number = [](std::string_view part, double low, double high) -> std::optional<double> {
        double v = 0;
        auto [end, ec] = std::from_chars(part.data(), part.data() + part.size(), v);
        if (ec != std::errc() || end != part.data() + part.size() || !(v >= low && v <= high)) {
            return std::nullopt;
        }
        return v;
    };
    std::size_t x = text.find('x');
    std::size_t at = text.find('@');
    if (x == std::string_view::npos) {
        return std::nullopt;
    }
    auto w = number(text.substr(0, x), 1, 100000);
    auto h = number(text.substr(x + 1, at == std::string_view::npos ? at : at - x - 1), 1, 100000);
    auto s = at == std::string_view::npos ? std::optional<double>(1)
                                          : number(text.substr(at + 1), 0.01, 100);
    if (!w || !h || !s) {
        return std::nullopt;
    }
    return avm1::DisplayInterface::Window{*w, *h, *s};
}

bool WritePicture(const render::Picture& picture, const std::string& path, std::ostream& err) {
    auto bytes = render::EncodePng(picture);
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    file.close();
    if (bytes.empty() || !file) {
        err << "fwplay: " << path << ": the picture cannot be written\n";
        return false;
    }
    return true;
}

bool ParseCount(std::string_view text, std::uint32_t& value) {
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size() && value <= kMaxFrames;
}

// Reads a whole file, refusing what is not a plain file or is larger than any movie may be.
std::optional<std::vector<std::uint8_t>> ReadMovieFile(const std::string& path, std::ostream& err) {
    std::error_code ec;
    auto status = std::filesystem::status(path, ec);
    if (ec || !std::filesystem::exists(status)) {
        err << "fwplay: " << path << ": no such file\n";
        return std::nullopt;
    }
    if (!std::filesystem::is_regular_file(status)) {
        err << "fwplay: " << path << ": not a file\n";
        return std::nullopt;
    }
    auto tooLarge = [&] {
        err << "fwplay: " << path << ": larger than " << swf::kMaxMovieBytes
            << " bytes, not played\n";
        return std::nullopt;
    };
    if (auto size = std::filesystem::file_size(path, ec); !ec && size > swf::kMaxMovieBytes) {
        return tooLarge();
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        err << "fwplay: " << path << ": cannot be opened\n";
        return std::nullopt;
    }
    std::vector<std::uint8_t> bytes;
    constexpr std::size_t kChunk = 1u << 16;
    while (in) {
        std::size_t had = bytes.size();
        bytes.resize(had + kChunk);
        in.read(reinterpret_cast<char*>(bytes.data() + had), kChunk);
        bytes.resize(had + static_cast<std::size_t>(in.gcount()));
        if (bytes.size() > swf::kMaxMovieBytes) { // it grew while being read
            return tooLarge();
        }
    }
    if (in.bad()) {
        err << "fwplay: " << path << ": read error\n";
        return std::nullopt;
    }
    return bytes;
}

// Hands one event to the player; the stage's pixels are the movie frame's, and a scaled
// window's pixels are that many to one of them.
void Inject(swf::Player& player, const InputEvent& e, double scale) {
    using Kind = InputEvent::Kind;
    const swf::TwipsRect& frame = player.movie().frameSize;
    swf::Point p{e.x / scale * 20 + frame.xMin, e.y / scale * 20 + frame.yMin};
    switch (e.kind) {
    case Kind::MouseMove:
        player.MouseMove(p, true);
        break;
    case Kind::MouseDown:
    case Kind::MouseUp:
        player.MouseMove(p);
        if (e.button == 0) {
            e.kind == Kind::MouseDown ? player.MouseDown() : player.MouseUp();
        } else {
            player.OtherButton(e.button == 1 ? 4 : 2, e.kind == Kind::MouseDown);
        }
        break;
    case Kind::KeyDown:
        player.KeyDown(e.keyCode, e.keyChar);
        break;
    case Kind::KeyUp:
        player.KeyUp(e.keyCode, e.keyChar);
        break;
    case Kind::Text:
        player.TextInput(e.codepoint);
        break;
    case Kind::TextControl:
        if (auto command = display::EditCommandNamed(e.text)) {
            player.TextControl(*command);
        }
        break;
    case Kind::Clipboard:
        player.SetClipboard(display::Utf16(e.text));
        break;
    case Kind::FocusLost:
        player.FocusLost();
        break;
    default: // gaining the window's focus reaches no script yet
        break;
    }
}

} // namespace

const char* Usage() {
    return "usage: fwplay [--frames N] [--input FILE] [--socket FILE] [--png OUT.png]\n"
           "              [--png-at N=OUT.png]... [--wav OUT.wav] [--script-seconds S]\n"
           "              [--window WxH[@SCALE]] [--url ADDRESS] MOVIE.swf\n"
           "Plays MOVIE.swf from its first frame for N frames (default: the movie's frame count)\n"
           "on virtual time (its dates from 2001-02-03 04:05:06 local time) and prints each\n"
           "trace() line on standard output; problems go to standard error. A script running\n"
           "longer than S seconds of real time (default 15) is stopped. --window gives the host\n"
           "window's size in pixels and how many of them make one of the screen (default: the\n"
           "movie's own size). --input FILE is a JSON list of mouse and key events; after each\n"
           "frame the movie gets those up to the next \"Wait\".\n"
           "--socket FILE is a JSON list of what a socket's peer receives and sends, in turn;\n"
           "without it no socket connects. File dialogs and transfers are answered as the\n"
           "conformance harness does (a filter described \"debug-select-success\", a saved\n"
           "\"debug-success.txt\", addresses with \"?debug-success\"); nothing is written.\n"
           "--url gives the address the movie reads as the one it was played from (default none).\n"
           "--png writes a picture of the stage at the movie's size after the last frame;\n"
           "--png-at after frame N (from 1, once the input up to its \"Wait\" is handed over).\n"
           "Exit status 0 played, 1 not a playable movie or input file, 2 bad arguments.\n";
}

std::optional<Options> ParseArguments(std::span<const std::string_view> args, std::string& error) {
    Options options;
    bool movieSet = false;
    bool optionsEnd = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string_view arg = args[i];
        if (optionsEnd || arg.empty() || arg[0] != '-' || arg == "-") {
            if (movieSet) {
                error = "more than one movie given";
                return std::nullopt;
            }
            options.movie = std::string(arg);
            movieSet = true;
            continue;
        }
        if (arg == "--") {
            optionsEnd = true;
            continue;
        }
        if (arg == "--help" || arg == "-h") {
            options.help = true;
            return options;
        }
        std::string_view name = arg;
        std::optional<std::string_view> value;
        if (auto eq = arg.find('='); eq != std::string_view::npos) {
            name = arg.substr(0, eq);
            value = arg.substr(eq + 1);
        }
        std::string* text = nullptr;
        if (name == "--input") {
            text = &options.input;
        } else if (name == "--socket") {
            text = &options.socket;
        } else if (name == "--png") {
            text = &options.png;
        } else if (name == "--wav") {
            text = &options.wav;
        } else if (name == "--url") {
            text = &options.url;
        } else if (name != "--frames" && name != "--script-seconds" && name != "--window" &&
                   name != "--png-at") {
            error = "unknown option " + std::string(name);
            return std::nullopt;
        }
        if (!value) {
            if (i + 1 == args.size()) {
                error = std::string(name) + " needs a value";
                return std::nullopt;
            }
            value = args[++i];
        }
        if (text) {
            if (value->empty()) {
                error = std::string(name) +
                        (name == "--url" ? " needs an address" : " needs a file name");
                return std::nullopt;
            }
            *text = std::string(*value);
            continue;
        }
        if (name == "--png-at") {
            auto eq = value->find('=');
            std::uint32_t frame = 0;
            if (eq == std::string_view::npos || !ParseCount(value->substr(0, eq), frame) ||
                frame == 0 || eq + 1 == value->size()) {
                error = "--png-at wants FRAME=FILE with a frame from 1, not \"" +
                        std::string(*value) + "\"";
                return std::nullopt;
            }
            options.captures.push_back(Capture{frame, std::string(value->substr(eq + 1))});
            continue;
        }
        if (name == "--window") {
            options.window = ParseWindow(*value);
            if (!options.window) {
                error = "--window wants WIDTHxHEIGHT or WIDTHxHEIGHT@SCALE, not \"" +
                        std::string(*value) + "\"";
                return std::nullopt;
            }
            continue;
        }
        if (name == "--script-seconds") {
            std::uint32_t seconds = 0;
            if (!ParseCount(*value, seconds) || seconds == 0 || seconds > 3600) {
                error = "--script-seconds wants a whole number from 1 to 3600, not \"" +
                        std::string(*value) + "\"";
                return std::nullopt;
            }
            options.scriptSeconds = seconds;
            continue;
        }
        std::uint32_t frames = 0;
        if (!ParseCount(*value, frames)) {
            error = "--frames wants a whole number from 0 to " + std::to_string(kMaxFrames) +
                    ", not \"" + std::string(*value) + "\"";
            return std::nullopt;
        }
        options.frames = frames;
    }
    if (!movieSet) {
        error = "no movie given";
        return std::nullopt;
    }
    return options;
}

namespace {

// The host an http address names ("localhost" of "http://localhost:8000/a.swf") and the rest of
// the address after it; nullopt for any other address or a host that is no plain name.
std::optional<std::pair<std::string, std::string_view>> WebHost(std::string_view url) {
    for (std::string_view scheme : {"http://", "https://"}) {
        if (url.size() <= scheme.size() || url.substr(0, scheme.size()) != scheme) {
            continue;
        }
        std::string_view rest = url.substr(scheme.size());
        std::size_t slash = rest.find('/');
        std::string_view authority = rest.substr(0, slash);
        std::string host(authority.substr(0, authority.find(':')));
        bool plain = !host.empty() && host.find_first_not_of("abcdefghijklmnopqrstuvwxyz"
                                                             "ABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                                             "0123456789.-") == std::string::npos;
        if (!plain || host.find("..") != std::string::npos || slash == std::string_view::npos) {
            return std::nullopt;
        }
        return std::pair{host, rest.substr(slash + 1)};
    }
    return std::nullopt;
}

} // namespace

std::optional<std::string> ReadBesideMovie(const std::string& folder, std::string_view url) {
    // The network is the folder's subfolder named by the host, as the harness serves it.
    std::filesystem::path base(folder);
    auto web = WebHost(url);
    if (web) {
        base /= web->first;
        url = web->second;
    }
    auto local = swf::LocalPath(url);
    if (!local) {
        return std::nullopt; // another network address, a drive, an absolute path or a way up
    }
    std::filesystem::path relative(*local, std::filesystem::path::generic_format);
    std::filesystem::path path = base / relative;
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec) ||
        std::filesystem::file_size(path, ec) > kMaxLoadedBytes || ec) {
        return std::nullopt;
    }
    std::ifstream in(path, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad() || bytes.size() > kMaxLoadedBytes) {
        return std::nullopt;
    }
    return bytes;
}

int PlayMovie(std::span<const std::uint8_t> file, std::optional<std::uint32_t> frames,
              std::ostream& out, std::ostream& err, const std::string& folder,
              std::optional<double> scriptSeconds,
              std::optional<avm1::DisplayInterface::Window> window,
              std::span<const InputEvent> input, std::optional<std::vector<PeerStep>> peer,
              std::span<const Capture> captures, std::vector<std::int16_t>* sound,
              const std::string& url) {
    try {
        swf::Movie movie = swf::ParseMovie(file);
        if (!movie.valid) {
            err << "fwplay: not a movie";
            for (const auto& problem : movie.problems) {
                err << ": " << problem;
            }
            err << '\n';
            return kNotPlayed;
        }
        std::uint32_t count = frames.value_or(std::max<std::uint32_t>(movie.declaredFrameCount, 1));
        double frameMs = 1000.0 / movie.frameRate;
        StreamHost host(out, err, folder, url, window, std::move(peer));
        swf::PlayerLimits limits;
        if (scriptSeconds) {
            limits.secondsPerBlock = *scriptSeconds;
        }
        swf::Player player(host, limits);
        player.SetDateOrigin(VirtualDateOrigin());
        player.Load(std::move(movie));
        std::size_t next = 0;
        bool written = true;
        auto capture = [&](std::optional<std::uint32_t> played, std::uint32_t frame) {
            for (const auto& c : captures) {
                if (c.frame == played || (!played && c.frame && *c.frame > frame)) {
                    written = WritePicture(StagePicture(player), c.file, err) && written;
                }
            }
        };
        std::uint32_t frame = 0;
        for (; frame < count && !host.quit(); ++frame) {
            // Whole milliseconds, as the clock scripts read has no finer steps.
            player.SetTime(std::floor(frame * frameMs));
            player.Tick();
            if (sound) {
                // Each frame lasts its share of samples, rounded so the run never drifts.
                auto upTo = static_cast<std::size_t>(
                    std::llround((frame + 1.0) * audio::kMixRate / player.movie().frameRate));
                std::size_t had = sound->size() / 2;
                if (upTo > had) {
                    sound->resize(2 * upTo);
                    player.MixSound(sound->data() + 2 * had, upTo - had);
                }
            }
            for (; next < input.size() && !host.quit(); ++next) {
                if (input[next].kind == InputEvent::Kind::Wait) {
                    ++next;
                    break;
                }
                Inject(player, input[next], window ? window->scale : 1);
            }
            capture(frame + 1, frame + 1);
        }
        // Pictures asked for after the last frame, or after frames the movie never reached.
        capture(std::nullopt, frame);
        out.flush();
        return written ? kPlayed : kNotPlayed;
    } catch (const std::bad_alloc&) {
        err << "fwplay: out of memory, stopped\n";
    } catch (const std::exception& e) {
        err << "fwplay: stopped: " << e.what() << '\n';
    }
    out.flush();
    return kNotPlayed;
}

render::Picture StagePicture(swf::Player& player) {
    const swf::TwipsRect& frame = player.movie().frameSize;
    // An empty or inverted frame still gives a one-pixel picture, which a PNG can hold.
    auto pixels = [](std::int64_t twips) {
        return static_cast<int>(std::clamp<std::int64_t>((twips + 10) / 20, 1, render::kMaxSide));
    };
    render::Picture picture(pixels(std::int64_t{frame.xMax} - frame.xMin),
                            pixels(std::int64_t{frame.yMax} - frame.yMin));
    swf::Matrix toPixels{1.0 / 20, 0, 0, 1.0 / 20, -frame.xMin / 20.0, -frame.yMin / 20.0};
    player.Render(picture, toPixels);
    return picture;
}

int Run(const Options& options, std::ostream& out, std::ostream& err) {
    // The scripts the run needs beside the movie; a run without them does not start.
    std::vector<InputEvent> events;
    std::optional<std::vector<PeerStep>> peer;
    std::string error;
    for (const auto& [path, isInput] :
         {std::pair{&options.input, true}, std::pair{&options.socket, false}}) {
        if (path->empty()) {
            continue;
        }
        std::ifstream in(*path, std::ios::binary);
        std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        bool read = !in.bad() && in.is_open();
        if (read && isInput) {
            auto parsed = ParseInputScript(text, error);
            read = parsed.has_value();
            events = parsed.value_or(std::vector<InputEvent>{});
        } else if (read) {
            peer = ParsePeerScript(text, error);
            read = peer.has_value();
        }
        if (!read) {
            err << "fwplay: " << *path << ": " << (error.empty() ? "cannot be read" : error)
                << '\n';
            return kNotPlayed;
        }
    }
    auto bytes = ReadMovieFile(options.movie, err);
    if (!bytes) {
        return kNotPlayed;
    }
    std::filesystem::path folder = std::filesystem::path(options.movie).parent_path();
    std::vector<Capture> captures = options.captures;
    if (!options.png.empty()) {
        captures.push_back(Capture{std::nullopt, options.png});
    }
    std::vector<std::int16_t> sound;
    int status = PlayMovie(*bytes, options.frames, out, err, folder.empty() ? "." : folder.string(),
                           options.scriptSeconds, options.window, events, std::move(peer), captures,
                           options.wav.empty() ? nullptr : &sound, options.url);
    if (!options.wav.empty() && status == kPlayed) {
        std::string wav = audio::EncodeWav(sound, 2, audio::kMixRate);
        std::ofstream file(options.wav, std::ios::binary | std::ios::trunc);
        file.write(wav.data(), static_cast<std::streamsize>(wav.size()));
        if (!file) {
            err << "fwplay: " << options.wav << ": cannot be written\n";
            return kNotPlayed;
        }
    }
    return status;
}

} // namespace fw::play
