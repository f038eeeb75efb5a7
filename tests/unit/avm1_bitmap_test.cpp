// BitmapData and the filters as scripts reach them, where the conformance corpus leaves them
// open: the pixel operations it never calls, the version 8 size limit and the disposed picture.

#include "avm1/bitmap_data.h"
#include "swf/player.h"
#include "swf/writer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

namespace {

using namespace fw::swf;
using fw::avm1::Value;

class QuietHost : public PlayerHost {
public:
    void FsCommand(const std::string&, const std::string&) override {}
    void TraceOutput(const std::string&) override {}
    void Problem(const std::string& text) override { problems.push_back(text); }
    std::vector<std::string> problems;
};

class Bitmaps : public ::testing::Test {
protected:
    Bitmaps() {
        MovieWriter m(MovieOptions{.version = 8});
        m.ShowFrame();
        player.Load(ParseMovie(m.Finish()));
        player.Tick();
    }
    fw::avm1::Runtime& rt() { return player.runtime(); }
    Value Class(const char* package, const char* name) {
        return rt().Get(rt().Get(rt().Get(Value(rt().global()), "flash"), package), name);
    }
    Value Make(double w, double h, bool transparent, double fill) {
        return rt().Construct(Class("display", "BitmapData"),
                              {Value(w), Value(h), Value(transparent), Value(fill)});
    }
    Value Call(const Value& o, const char* method, std::vector<Value> args = {}) {
        return rt().CallMethod(o, method, std::move(args));
    }
    Value Obj(std::vector<std::pair<const char*, double>> fields) {
        fw::avm1::Object* o = rt().NewPlain();
        for (auto& [name, v] : fields) {
            o->Set(name, Value(v));
        }
        return Value(o);
    }
    std::uint32_t Pixel(const Value& b, int x, int y) {
        return static_cast<std::uint32_t>(
            static_cast<std::int32_t>(rt().ToNum(Call(b, "getPixel32", {Value(x), Value(y)}))));
    }

    QuietHost host;
    Player player{host};
};

TEST_F(Bitmaps, PremultipliedPixelsReadBackWithinRounding) {
    for (std::uint32_t a = 1; a < 256; ++a) {
        for (std::uint32_t c : {0u, 1u, 17u, 128u, 254u, 255u}) {
            std::uint32_t argb = a << 24 | c << 16 | c << 8 | c;
            std::uint32_t back = fw::avm1::Unpremultiply(fw::avm1::Premultiply(argb));
            int diff = static_cast<int>(back & 255) - static_cast<int>(c);
            EXPECT_EQ(back >> 24, a);
            EXPECT_LE(diff * diff * static_cast<int>(a * a), 255 * 255)
                << "alpha " << a << ", expected about " << c << ", got " << (back & 255);
        }
    }
}

TEST_F(Bitmaps, SizeLimitOfVersion8) {
    EXPECT_TRUE(Make(2880, 2880, true, 0).isObject());
    EXPECT_TRUE(Make(2881, 1, true, 0).isUndefined());
    EXPECT_TRUE(Make(1, 0, true, 0).isUndefined());
}

TEST_F(Bitmaps, DisposedPictureAnswersMinusOneEverywhere) {
    Value b = Make(4, 4, true, 0);
    Call(b, "dispose");
    for (const char* prop : {"width", "height", "transparent", "rectangle"}) {
        EXPECT_EQ(rt().ToNum(rt().Get(b, prop)), -1) << prop;
    }
    for (const char* method : {"getPixel",  "getPixel32", "setPixel",       "setPixel32",
                               "fillRect",  "copyPixels", "copyChannel",    "clone",
                               "dispose",   "compare",    "hitTest",        "noise",
                               "threshold", "floodFill",  "colorTransform", "getColorBoundsRect",
                               "scroll",    "merge",      "paletteMap",     "draw"}) {
        EXPECT_EQ(rt().ToNum(Call(b, method)), -1) << method;
    }
}

TEST_F(Bitmaps, FloodFillStaysInsideItsColourAndBoundsFindIt) {
    Value b = Make(6, 6, false, 0xFFFFFF);
    // A wall at x = 3 keeps the fill in the left part.
    Call(b, "fillRect", {Obj({{"x", 3}, {"y", 0}, {"width", 1}, {"height", 6}}), Value(0)});
    Call(b, "floodFill", {Value(0), Value(0), Value(0xFF0000)});
    EXPECT_EQ(Pixel(b, 2, 5), 0xFFFF0000u);
    EXPECT_EQ(Pixel(b, 3, 0), 0xFF000000u);
    EXPECT_EQ(Pixel(b, 4, 0), 0xFFFFFFFFu);
    Value r = Call(b, "getColorBoundsRect", {Value(double{0xFFFFFFFF}), Value(double{0xFFFF0000})});
    EXPECT_EQ(rt().ToStr(r), "(x=0, y=0, w=3, h=6)");
    r = Call(b, "getColorBoundsRect",
             {Value(double{0xFFFFFFFF}), Value(double{0xFFFF0000}), Value(false)});
    EXPECT_EQ(rt().ToStr(r), "(x=3, y=0, w=3, h=6)");
}

TEST_F(Bitmaps, ScrollKeepsTheUncoveredPixels) {
    Value b = Make(3, 1, false, 0);
    for (int x = 0; x < 3; ++x) {
        Call(b, "setPixel", {Value(x), Value(0), Value(x + 1)});
    }
    Call(b, "scroll", {Value(1), Value(0)});
    EXPECT_EQ(Pixel(b, 0, 0) & 0xFFFFFF, 1u);
    EXPECT_EQ(Pixel(b, 1, 0) & 0xFFFFFF, 1u);
    EXPECT_EQ(Pixel(b, 2, 0) & 0xFFFFFF, 2u);
}

TEST_F(Bitmaps, ChannelOperationsWorkOnWholeColours) {
    Value src = Make(1, 1, false, 0x102030);
    Value dst = Make(1, 1, false, 0x000000);
    Value all = Obj({{"x", 0}, {"y", 0}, {"width", 1}, {"height", 1}});
    Value origin = Obj({{"x", 0}, {"y", 0}});
    Call(dst, "copyChannel", {src, all, origin, Value(1), Value(4)}); // red into blue
    EXPECT_EQ(Pixel(dst, 0, 0), 0xFF000010u);
    // Each channel weighs source and destination by its multiplier out of 256.
    Call(dst, "merge", {src, all, origin, Value(128), Value(0), Value(128), Value(0)});
    EXPECT_EQ(Pixel(dst, 0, 0), 0xFF000000u | (0x10 * 128 / 256) << 16 | (0x30 + 0x10) / 2);
    fw::avm1::Object* reds = rt().NewArray();
    for (int i = 0; i < 256; ++i) {
        rt().ArraySet(reds, fw::avm1::Runtime::IndexName(i), Value((255 - i) << 16));
    }
    Call(dst, "paletteMap", {src, all, origin, Value(reds)});
    EXPECT_EQ(Pixel(dst, 0, 0), 0xFF002030u | (255u - 0x10) << 16);
}

TEST_F(Bitmaps, FilterCloneIsIndependent) {
    Value glow = rt().Construct(Class("filters", "GlowFilter"), {Value(0x00FF00)});
    Value copy = Call(glow, "clone");
    rt().Put(copy, "color", Value(0x0000FF));
    EXPECT_EQ(rt().ToNum(rt().Get(glow, "color")), 0x00FF00);
    EXPECT_EQ(rt().ToNum(rt().Get(copy, "color")), 0x0000FF);
    EXPECT_TRUE(host.problems.empty()) << host.problems.front();
}

TEST_F(Bitmaps, PerlinNoiseTakesAnyArgumentsAndRepeatsItself) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Case {
        double baseX, baseY, octaves, seed;
        bool stitch;
    } cases[] = {
        {nan, 20, 2, 1, false}, {1e-300, 1e-300, 3, 7, true}, {30, 40, 1e9, -2147483648.0, true},
        {0, 0, 4, 0, true},     {-25, 1e300, 2, 1e12, false},
    };
    for (const Case& c : cases) {
        auto draw = [&] {
            Value b = Make(17, 9, false, 0);
            Value offsets = rt().Construct(rt().Get(Value(rt().global()), "Array"),
                                           {Obj({{"x", 1e308}, {"y", -1e308}}), Value(nan)});
            Call(b, "perlinNoise",
                 {Value(c.baseX), Value(c.baseY), Value(c.octaves), Value(c.seed), Value(c.stitch),
                  Value(true), Value(15), Value(false), offsets});
            std::vector<std::uint32_t> px;
            for (int y = 0; y < 9; ++y) {
                for (int x = 0; x < 17; ++x) {
                    px.push_back(Pixel(b, x, y));
                }
            }
            return px;
        };
        std::vector<std::uint32_t> first = draw();
        EXPECT_EQ(first, draw()) << "base " << c.baseX << " x " << c.baseY;
        for (std::uint32_t p : first) {
            ASSERT_EQ(p >> 24, 255u) << "an opaque picture got alpha " << (p >> 24);
        }
    }
}

} // namespace
