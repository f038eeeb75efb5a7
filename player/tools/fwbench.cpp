// fwbench: how long the player takes to draw a frame, for tools/bench player. Plays each movie
// on virtual time and times Player::Render alone into a picture of the window's size.

#include "render/picture.h"
#include "swf/player.h"
#include "swf/writer.h"

#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STBI_WRITE_NO_STDIO
#include <stb_image_write.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

using namespace fw::swf;

class QuietHost : public PlayerHost {
public:
    void FsCommand(const std::string&, const std::string&) override {}
    void TraceOutput(const std::string&) override {}
    void Problem(const std::string&) override {}
};

constexpr double kPx = 20; // twips a pixel

Rgba Colour(int i, std::uint8_t alpha) {
    return Rgba{static_cast<std::uint8_t>(i * 53), static_cast<std::uint8_t>(255 - i * 31),
                static_cast<std::uint8_t>(i * 97), alpha};
}

// 500 shapes, half with linear and half with radial gradients of see-through stops, drifting
// across the stage every frame.
std::vector<std::uint8_t> StressMovie(int frames) {
    constexpr int kShapes = 500;
    MovieWriter w(MovieOptions{8, 800, 600, 30, false});
    w.Background({255, 255, 255});
    for (int s = 0; s < 10; ++s) {
        ShapeBuilder b(static_cast<std::uint16_t>(s + 1));
        int fill = b.Fill(Colour(s, 200));
        b.Style(0, fill, 0);
        if (s % 2) {
            b.MoveTo(0, -40 * kPx).CurveTo(40 * kPx, -40 * kPx, 40 * kPx, 0);
            b.CurveTo(40 * kPx, 40 * kPx, 0, 40 * kPx).CurveTo(-40 * kPx, 40 * kPx, -40 * kPx, 0);
            b.CurveTo(-40 * kPx, -40 * kPx, 0, -40 * kPx);
        } else {
            b.Rect(-30 * kPx, -20 * kPx, 60 * kPx, 40 * kPx);
        }
        Shape shape = b.Build();
        FillStyle& f = shape.fills[fill - 1];
        f.type = s % 2 ? kFillRadial : kFillLinear;
        f.solid = false;
        f.gradient.matrix = Matrix{40 * kPx / 16384, 0, 0, 40 * kPx / 16384, 0, 0};
        f.gradient.stops = {
            {0, Colour(s, 230)}, {128, Colour(s + 3, 120)}, {255, Colour(s + 5, 60)}};
        w.DefineShape(shape);
    }
    for (int frame = 0; frame < frames; ++frame) {
        for (int i = 0; i < kShapes; ++i) {
            Placement p;
            p.depth = static_cast<std::uint16_t>(i + 1);
            p.move = frame > 0;
            if (frame == 0) {
                p.character = static_cast<std::uint16_t>(i % 10 + 1);
                ColorTransform alpha;
                alpha.mult[3] = static_cast<std::int16_t>(128 + i % 128);
                p.colour = alpha;
            }
            double angle = i * 0.7 + frame * 0.05;
            double x = 400 + std::cos(angle) * (50 + i * 0.7) + frame;
            double y = 300 + std::sin(angle * 1.3) * (40 + i * 0.5);
            p.matrix = Matrix{std::cos(angle), std::sin(angle), -std::sin(angle),
                              std::cos(angle), x * kPx,         y * kPx};
            w.Place(p);
        }
        w.ShowFrame();
    }
    return w.Finish();
}

// A photograph-like JPEG covering the stage, with a paragraph of device text over it that
// scrolls, or stands still while the frames go by.
std::vector<std::uint8_t> PictureMovie(int frames, bool scroll = true) {
    constexpr int kW = 800, kH = 600;
    std::vector<std::uint8_t> rgb(static_cast<std::size_t>(kW) * kH * 3);
    for (int y = 0; y < kH; ++y) {
        for (int x = 0; x < kW; ++x) {
            std::uint8_t* p = &rgb[(static_cast<std::size_t>(y) * kW + x) * 3];
            p[0] = static_cast<std::uint8_t>(128 + 127 * std::sin(x * 0.013 + y * 0.007));
            p[1] = static_cast<std::uint8_t>(128 + 127 * std::sin(y * 0.021));
            p[2] = static_cast<std::uint8_t>((x ^ y) & 0xFF);
        }
    }
    std::vector<std::uint8_t> jpeg;
    stbi_write_jpg_to_func(
        [](void* context, void* data, int size) {
            auto* out = static_cast<std::vector<std::uint8_t>*>(context);
            auto* bytes = static_cast<std::uint8_t*>(data);
            out->insert(out->end(), bytes, bytes + size);
        },
        &jpeg, kW, kH, 3, rgb.data(), 85);
    MovieWriter w(MovieOptions{8, kW, kH, 30, false});
    std::vector<std::uint8_t> body = {1, 0}; // DefineBitsJPEG2, character 1
    body.insert(body.end(), jpeg.begin(), jpeg.end());
    w.Tag(21, body, true);
    ShapeBuilder b(2);
    int fill = b.Fill(Rgba{128, 128, 128, 255});
    b.Style(0, fill, 0).Rect(0, 0, kW * kPx, kH * kPx);
    Shape shape = b.Build();
    shape.fills[fill - 1].type = kFillClippedBitmap;
    shape.fills[fill - 1].solid = false;
    shape.fills[fill - 1].bitmap = 1;
    shape.fills[fill - 1].bitmapMatrix = Matrix{kPx, 0, 0, kPx, 0, 0};
    w.DefineShape(shape);
    Font font;
    font.id = 3;
    font.name = "_sans";
    w.DefineFont(font);
    EditText text;
    text.id = 4;
    text.bounds = Bounds{0, 700 * kPx, 0, 500 * kPx};
    text.hasFont = true;
    text.fontId = 3;
    text.height = 24 * kPx;
    text.colour = Rgba{255, 255, 255, 255};
    text.multiline = text.wordWrap = true;
    text.readOnly = text.noSelect = true;
    text.hasText = true;
    for (int i = 0; i < 12; ++i) {
        text.initialText +=
            "The quick brown fox jumps over the lazy dog, line " + std::to_string(i + 1) + ".\r";
    }
    w.DefineEditText(text);
    for (int frame = 0; frame < frames; ++frame) {
        for (std::uint16_t id : {2, 4}) {
            if (frame > 0 && !scroll) {
                break;
            }
            Placement p;
            p.depth = id;
            p.move = frame > 0;
            if (frame == 0) {
                p.character = id;
            }
            // The text scrolls a pixel a frame, so every frame is a new picture.
            p.matrix =
                Matrix{1, 0, 0, 1, id == 4 ? 50 * kPx : 0, id == 4 ? (50 + frame % 40) * kPx : 0};
            w.Place(p);
        }
        w.ShowFrame();
    }
    return w.Finish();
}

struct Timing {
    double median = 0;
    double mean = 0;
    double worst = 0;
};

Timing TimeRendering(const std::vector<std::uint8_t>& file, int frames, int width, int height) {
    QuietHost host;
    Player player(host);
    player.Load(ParseMovie(file));
    const TwipsRect& stage = player.movie().frameSize;
    Matrix toPixels = ShowAllMatrix(stage.xMin, stage.yMin, stage.xMax - stage.xMin,
                                    stage.yMax - stage.yMin, width, height);
    fw::render::Picture canvas(width, height);
    double frameMs = 1000.0 / player.movie().frameRate;
    std::vector<double> ms;
    for (int frame = 0; frame < frames; ++frame) {
        player.SetTime(std::floor(frame * frameMs));
        player.Tick();
        auto start = std::chrono::steady_clock::now();
        player.Render(canvas, toPixels);
        ms.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count());
    }
    Timing t;
    if (ms.empty()) {
        return t;
    }
    t.mean = 0;
    for (double m : ms) {
        t.mean += m / ms.size();
    }
    t.worst = *std::max_element(ms.begin(), ms.end());
    std::nth_element(ms.begin(), ms.begin() + ms.size() / 2, ms.end());
    t.median = ms[ms.size() / 2];
    return t;
}

} // namespace

// The bench's own movies as files, for drawing them elsewhere too: by default each one still
// frame; and a movie that loops over a second of frames which change nothing.
int WriteMovies(const std::string& folder, int frames) {
    const std::pair<const char*, std::vector<std::uint8_t>> movies[] = {
        {"gradients.swf", StressMovie(frames)},
        {"jpeg_text.swf", PictureMovie(frames)},
        {"still.swf", PictureMovie(30, false)},
    };
    for (const auto& [name, bytes] : movies) {
        std::ofstream out(folder + "/" + name, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
        if (!out) {
            std::fprintf(stderr, "fwbench: %s/%s cannot be written\n", folder.c_str(), name);
            return 1;
        }
    }
    return 0;
}

int main(int argc, char** argv) {
    if ((argc == 3 || argc == 4) && std::string(argv[1]) == "--write") {
        return WriteMovies(argv[2], argc == 4 ? std::clamp(std::atoi(argv[3]), 1, 10000) : 1);
    }
    if (argc != 2 && argc != 3) {
        std::fprintf(stderr, "usage: fwbench GAME.swf [FRAMES] | fwbench --write FOLDER [FRAMES]\n"
                             "Times the drawing of a frame at 800x600: the sample game, 500 "
                             "moving gradient shapes with alpha, a full-stage JPEG under text.\n");
        return 2;
    }
    int frames = argc == 3 ? std::clamp(std::atoi(argv[2]), 1, 10000) : 120;
    std::ifstream in(argv[1], std::ios::binary);
    std::vector<std::uint8_t> game((std::istreambuf_iterator<char>(in)), {});
    if (game.empty()) {
        std::fprintf(stderr, "fwbench: %s cannot be read\n", argv[1]);
        return 2;
    }
    const std::pair<const char*, std::vector<std::uint8_t>> movies[] = {
        {"sample game", game},
        {"500 gradient shapes", StressMovie(frames)},
        {"JPEG under text", PictureMovie(frames)},
    };
    std::printf("| movie (800x600, %d frames) | median ms | mean ms | worst ms |\n", frames);
    std::printf("|---|---|---|---|\n");
    for (const auto& [name, file] : movies) {
        Timing t = TimeRendering(file, frames, 800, 600);
        std::printf("| %s | %.2f | %.2f | %.2f |\n", name, t.median, t.mean, t.worst);
    }
    return 0;
}
