// Makes the two logo clips of the sample CD in the folder given as the only argument.

#include "clips/logo_clips.h"

#include <cstdio>
#include <exception>
#include <filesystem>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT-FOLDER\n", argc > 0 ? argv[0] : "clipgen");
        return 2;
    }
    try {
        const std::filesystem::path folder = argv[1];
        std::filesystem::create_directories(folder);
        for (const auto& clip : {fw::clips::kPelkClip, fw::clips::kBrumvaleClip}) {
            fw::clips::WriteClip(clip, folder);
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "clipgen: %s\n", e.what());
        return 1;
    }
    return 0;
}
