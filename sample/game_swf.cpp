// Writes the sample CD's movie: for now it shows what the shell hands it (its parameters and
// the volume it reports) on a dark background and waits on its first frame.
// Usage: make_game_swf <output file>

#include "swf/writer.h"

#include <cstdio>

using namespace fw::swf;

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_game_swf <output file>\n");
        return 2;
    }
    MovieWriter movie(MovieOptions{6, 800, 600, 12, true});
    movie.Background(Rgb{0x1c, 0x2b, 0x4a});
    movie.Label("waiting");
    movie.Actions(ActionWriter().Do(Op::Stop));
    movie.ShowFrame();
    std::vector<std::uint8_t> bytes = movie.Finish();

    FILE* f = std::fopen(argv[1], "wb");
    if (!f) {
        std::perror(argv[1]);
        return 1;
    }
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    ok = std::fclose(f) == 0 && ok;
    if (!ok) {
        std::fprintf(stderr, "%s: write failed\n", argv[1]);
        std::remove(argv[1]);
        return 1;
    }
    return 0;
}
