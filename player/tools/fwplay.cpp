// fwplay: plays a movie headless on virtual time and prints its trace lines (see runner.h).

#include "render/font_file.h"
#include "runner.h"

#include <csignal>
#include <iostream>
#include <string_view>
#include <vector>

int main(int argc, char** argv) {
    // A reader that stops early (head, a closed pipe) ends the run, not the process by a signal.
    std::signal(SIGPIPE, SIG_IGN);
    std::ios::sync_with_stdio(false);
    std::vector<std::string_view> args(argv + 1, argv + argc);
    std::string error;
    auto options = fw::play::ParseArguments(args, error);
    if (!options) {
        std::cerr << "fwplay: " << error << '\n' << fw::play::Usage();
        return fw::play::kUsage;
    }
    if (options->help) {
        std::cout << fw::play::Usage();
        return fw::play::kPlayed;
    }
    // Device texts draw with one fixed family, so pictures come out the same on any machine; it
    // is one whose letters take the room the platform's fonts give them, so lines break alike.
    fw::render::SetDeviceFonts(fw::render::LiberationFonts("/usr/share/fonts/truetype/liberation"));
    return fw::play::Run(*options, std::cout, std::cerr);
}
