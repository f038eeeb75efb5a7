// The sample CD's movie as the build writes it, played by the player: its banner's gradient,
// its bitmap and its title's embedded glyphs are drawn, and its buttons are heard.

#include "render/picture.h"
#include "swf/player.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <variant>
#include <vector>

namespace {

using namespace fw::swf;

// Keeps the commands the movie sends to the shell.
struct Shell : PlayerHost {
    std::vector<std::string> commands;
    void FsCommand(const std::string& command, const std::string& args) override {
        commands.push_back(command + " " + args);
    }
    void TraceOutput(const std::string&) override {}
    void Problem(const std::string&) override {}
};

struct Rgb8 {
    int r, g, b;
};

Rgb8 At(const fw::render::Picture& p, int x, int y) {
    fw::render::Pixel v = p.Row(y)[x];
    return {int((v >> 16) & 0xff), int((v >> 8) & 0xff), int(v & 0xff)};
}

// The loudest sample of the next seconds of sound.
int Peak(Player& player, double seconds) {
    std::vector<std::int16_t> sound(static_cast<std::size_t>(seconds * 44100) * 2);
    player.MixSound(sound.data(), sound.size() / 2);
    int peak = 0;
    for (auto v : sound) {
        peak = std::max(peak, std::abs(int(v)));
    }
    return peak;
}

class SampleGame : public ::testing::Test {
protected:
    void SetUp() override {
        std::ifstream in(FW_SAMPLE_MOVIE, std::ios::binary);
        std::vector<std::uint8_t> file((std::istreambuf_iterator<char>(in)),
                                       std::istreambuf_iterator<char>());
        Movie movie = ParseMovie(file);
        ASSERT_TRUE(movie.valid) << FW_SAMPLE_MOVIE;
        for (const auto& problem : movie.problems) {
            ADD_FAILURE() << "the movie reads with a problem: " << problem;
        }
        for (const auto& [id, character] : movie.characters) {
            if (const auto* b = std::get_if<Button>(&character)) {
                ++buttons_;
                auto click = movie.sounds.find(b->sounds[2].sound);
                clicking_ += click != movie.sounds.end() && click->second->sampleCount > 0;
            }
        }
        player_.Load(std::move(movie));
        player_.Tick();
        player_.Tick();
    }

    fw::render::Picture Stage() {
        fw::render::Picture picture(800, 600);
        player_.Render(picture, Matrix{0.05, 0, 0, 0.05, 0, 0});
        return picture;
    }

    int buttons_ = 0;
    int clicking_ = 0; // buttons with a sound for their press
    Shell shell_;
    Player player_{shell_};
};

TEST_F(SampleGame, DrawsItsGradientsBitmapAndEmbeddedTitle) {
    const auto p = Stage();
    // The banner runs from a light blue at its top to a dark one at its bottom, smoothly.
    const Rgb8 high = At(p, 400, 14), low = At(p, 400, 66), mid = At(p, 90, 41);
    EXPECT_GT(high.b, mid.b + 20);
    EXPECT_GT(mid.b, low.b + 20);
    // The bitmaps at both ends: a yellow face with a dark eye.
    for (int x : {44, 728}) {
        const Rgb8 face = At(p, x, 37);
        EXPECT_TRUE(face.r > 200 && face.g > 120 && face.b < 120)
            << "face at " << x << ": " << face.r << "," << face.g << "," << face.b;
    }
    const Rgb8 eye = At(p, 34 + 17, 10 + 7 + 18);
    EXPECT_LT(eye.r, 140) << "expected the left face's eye drawn";
    // The radial ball: lightest near its highlight, darkest at its rim.
    const Rgb8 glow = At(p, 718, 140), rim = At(p, 762, 160);
    EXPECT_GT(glow.g, rim.g + 80);
    // The title's glyphs: white ink across the banner's middle, some edge pixels in between.
    int white = 0, edge = 0;
    for (int x = 110; x < 690; ++x) {
        for (int y = 24; y < 62; ++y) {
            const Rgb8 c = At(p, x, y);
            white += c.r > 240 && c.g > 240 && c.b > 240;
            edge += c.r > 120 && c.r < 220 && c.b > c.r;
        }
    }
    EXPECT_GT(white, 2000) << "expected the title's letters";
    EXPECT_GT(edge, 200) << "expected the letters' edges smoothed";
}

TEST_F(SampleGame, ButtonsClickAndAChimeRingsAsTheLevelRises) {
    Peak(player_, 0.2);
    EXPECT_EQ(Peak(player_, 0.2), 0) << "expected silence before a press";
    EXPECT_EQ(clicking_, buttons_) << "expected every button to click when pressed";
    // "Level +1", third row of the panel, right column.
    player_.MouseMove(Point{645 * 20, 443 * 20});
    player_.MouseDown();
    player_.MouseUp();
    player_.Tick();
    ASSERT_EQ(shell_.commands, std::vector<std::string>{"savelevel 1"});
    EXPECT_GT(Peak(player_, 0.2), 3000) << "expected the chime as the level rises";
    EXPECT_GT(Peak(player_, 0.3), 300) << "expected the chime to ring on";
}

} // namespace
