// Writes the sample CD's movie: a small demo game in Russian that shows what the shell hands
// it (the saved level, the processor clock, whether the intro was skipped), a volume bar and
// number that follow currentvolume, and a button for every command the shell carries out.
// Its title is drawn in glyphs cut from a free font on the build machine, over a gradient
// banner with a bitmap at each end; its buttons click and a chime rings when the level rises.
// Usage: make_game_swf <output file> [font file]

#include "art.h"
#include "swf/writer.h"

#include <algorithm>
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

using namespace fw::swf;

namespace {

constexpr double kPx = 20; // twips per pixel

const Rgb kBackground{0x1c, 0x2b, 0x4a};
const Rgba kWhite{255, 255, 255, 255};
const Rgba kLabel{0xc8, 0xd4, 0xf0, 255};
const Rgba kValue{0xff, 0xe0, 0x66, 255};

enum : std::uint16_t { kFont = 1, kFontBold = 2, kTitleFont = 3, kClick = 4, kChime = 5 };

const char* const kDefaultFont = "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf";

// Ids handed out in definition order; depths in placement order.
class Ids {
public:
    std::uint16_t Next() { return next_++; }

private:
    std::uint16_t next_ = 10;
};

// A timeline being filled: the root's or a clip's, each with its own depths.
struct Timeline {
    MovieWriter& writer;
    std::uint16_t depth = 1;

    void Place(std::uint16_t character, double x, double y, const std::string& name = {}) {
        Placement p;
        p.depth = depth++;
        p.character = character;
        p.matrix = Matrix{1, 0, 0, 1, x * kPx, y * kPx};
        if (!name.empty()) {
            p.name = name;
        }
        writer.Place(p);
    }
};

struct Game {
    MovieWriter movie{MovieOptions{6, 800, 600, 12, true}};
    Timeline root{movie};
    Ids ids;

    // A text field of the given size in pixels at (x, y) of `into`; bound to a variable when
    // given. Returns its id.
    std::uint16_t Text(Timeline* into, const std::string& text, double x, double y, double w,
                       double h, double size, Rgba colour, TextAlign align = TextAlign::Left,
                       const std::string& variable = {}, bool bold = false) {
        EditText t =
            fw::sample::Caption(ids.Next(), bold ? kFontBold : kFont, text, w, h, size, colour);
        t.align = align;
        t.variable = variable;
        movie.DefineEditText(t);
        if (into) {
            into->Place(t.id, x, y);
        }
        return t.id;
    }

    // A shape of one filled outline that draw makes, filled with fill (tag 32, or 83 with a
    // stroke of width pixels in colour border).
    template <class Draw>
    std::uint16_t Filled(const FillStyle& fill, Draw draw, double width = 0, Rgba border = {}) {
        ShapeBuilder b(ids.Next(), width > 0 ? 83 : 32);
        int f = b.Fill(fill.colour);
        int l = width > 0 ? b.Line(width * kPx, border) : 0;
        b.Style(0, f, l);
        draw(b);
        Shape s = b.Build();
        s.fills[0] = fill;
        movie.DefineShape(s);
        return s.id;
    }

    std::uint16_t Rect(double w, double h, Rgba fill, Rgba border = {0, 0, 0, 0}) {
        ShapeBuilder b(ids.Next());
        int f = b.Fill(fill);
        int l = border.a ? b.Line(2 * kPx, border) : 0;
        b.Style(0, f, l).Rect(0, 0, w * kPx, h * kPx);
        Shape s = b.Build();
        movie.DefineShape(s);
        return s.id;
    }

    // A clip of one frame that `fill` places its parts into; returns its id.
    template <class Fill> std::uint16_t Clip(Fill fill) {
        MovieWriter frames;
        Timeline timeline{frames};
        fill(timeline);
        frames.ShowFrame();
        std::uint16_t id = ids.Next();
        movie.DefineSprite(id, frames);
        return id;
    }

    // A button with its caption; up, over and down drawn in three shades of its colour.
    void ButtonAt(Timeline& into, const std::string& caption, double x, double y, double w,
                  double h, Rgba colour, const ActionWriter& onRelease,
                  const std::string& name = {}) {
        auto shade = [](Rgba c, int delta) {
            auto ch = [&](int v) {
                return static_cast<std::uint8_t>(std::clamp(v + delta, 0, 255));
            };
            return Rgba{ch(c.r), ch(c.g), ch(c.b), 255};
        };
        std::uint16_t up = Rect(w, h, colour, shade(colour, 60));
        std::uint16_t over = Rect(w, h, shade(colour, 45), kWhite);
        std::uint16_t down = Rect(w, h, shade(colour, -45), kValue);
        double size = h >= 40 ? 18 : 16;
        std::uint16_t label =
            Text(nullptr, caption, 0, 0, w, h, size, kWhite, TextAlign::Center, {}, true);
        Button b;
        b.id = ids.Next();
        Matrix labelAt{1, 0, 0, 1, 0, (h - size * 1.25) / 2 * kPx - 2 * kPx};
        b.records = {
            ButtonRecord{kStateUp | kStateHit, up, 1, Matrix{}, ColorTransform{}},
            ButtonRecord{kStateOver, over, 1, Matrix{}, ColorTransform{}},
            ButtonRecord{kStateDown, down, 1, Matrix{}, ColorTransform{}},
            ButtonRecord{kStateUp | kStateOver | kStateDown, label, 2, labelAt, ColorTransform{}},
        };
        b.actions = {ButtonAction{kCondRelease, 0, onRelease.Finish()}};
        b.sounds[2].sound = kClick; // pressed
        movie.DefineButton2(b);
        into.Place(b.id, x, y, name);
    }
};

ActionWriter Command(const std::string& command, const std::string& args) {
    return ActionWriter().FsCommand(command, args);
}

// The buttons live in clips, so the variables the shell sets on the root are named from there.
const std::string kVolume = "/:currentvolume";
const std::string kLevel = "/:level";

// setvolume with the movie's volume one step lower or higher, kept within 0 to 20.
ActionWriter VolumeStep(int step) {
    ActionWriter a;
    auto inRange = a.NewLabel();
    a.Push({std::string("FSCommand:setvolume"), kVolume})
        .Do(Op::GetVariable)
        .Do(Op::ToInteger)
        .Push({static_cast<std::int32_t>(step)})
        .Do(Op::Add2)
        .StoreRegister(0)
        .Do(Op::Pop);
    if (step < 0) {
        a.Push({PushRegister{0}, static_cast<std::int32_t>(0)}).Do(Op::Less2);
    } else {
        a.Push({PushRegister{0}, static_cast<std::int32_t>(20)}).Do(Op::Greater);
    }
    a.Do(Op::Not)
        .If(inRange)
        .Push({static_cast<std::int32_t>(step < 0 ? 0 : 20)})
        .StoreRegister(0)
        .Do(Op::Pop)
        .Bind(inRange)
        .Push({PushRegister{0}})
        .GetUrl2(0);
    return a;
}

// The level goes up by one and is saved; an unset or unreadable level counts as 0. The chime
// clip rings.
ActionWriter NextLevel() {
    return ActionWriter()
        .SetTarget("/chime")
        .GotoFrame(1)
        .Do(Op::Play)
        .SetTarget("")
        .Push({kLevel, kLevel})
        .Do(Op::GetVariable)
        .Do(Op::ToInteger)
        .Push({static_cast<std::int32_t>(1)})
        .Do(Op::Add2)
        .Do(Op::SetVariable)
        .Push({std::string("FSCommand:savelevel"), kLevel})
        .Do(Op::GetVariable)
        .GetUrl2(0);
}

ActionWriter ForgetLevel() {
    return ActionWriter()
        .FsCommand("savelevel", "nan")
        .Push({kLevel, std::string("0")})
        .Do(Op::SetVariable);
}

FillStyle Gradient(std::uint8_t type, Matrix m, std::vector<GradientStop> stops) {
    FillStyle f;
    f.type = type;
    f.solid = false;
    f.colour = stops.front().colour;
    f.gradient.matrix = m;
    f.gradient.stops = std::move(stops);
    return f;
}

// The banner with the title in embedded glyphs, a bitmap at each end, and a glowing ball.
void Decorate(Game& g, const std::string& fontPath) {
    const double unit = 1.0 / 32768; // of a gradient's square
    const double top = 10, height = 62;
    std::uint16_t banner = g.Filled(
        Gradient(kFillLinear, Matrix{0, height * kPx * unit, -height * kPx * unit, 0, 0, 0},
                 {{0, Rgba{0x58, 0x84, 0xd8, 255}}, {255, Rgba{0x22, 0x34, 0x62, 255}}}),
        [&](ShapeBuilder& b) {
            fw::sample::RoundRect(b, 0, -height / 2 * kPx, 760 * kPx, height * kPx, 14 * kPx);
        },
        2, Rgba{0x9a, 0xb8, 0xf0, 255});
    g.root.Place(banner, 20, top + height / 2);

    const int side = 48;
    std::uint16_t bitmap = g.ids.Next();
    g.movie.DefineBitsLossless2(bitmap, side, side, fw::sample::SmileyPixels(side));
    FillStyle picture;
    picture.type = kFillClippedBitmap;
    picture.solid = false;
    picture.bitmap = bitmap;
    picture.bitmapMatrix = Matrix{kPx, 0, 0, kPx, 0, 0};
    std::uint16_t smiley =
        g.Filled(picture, [&](ShapeBuilder& b) { b.Rect(0, 0, side * kPx, side * kPx); });
    g.root.Place(smiley, 34, top + 7);
    g.root.Place(smiley, 800 - 34 - side, top + 7);

    fw::sample::GlyphCutter cutter(fontPath);
    Font font;
    font.id = kTitleFont;
    font.name = "DejaVu Sans";
    font.bold = true;
    StaticText title = cutter.Line(font, g.ids.Next(), "Фенвоббл: демонстрационная игра", 30,
                                   kWhite, 400, top + 42);
    g.movie.DefineFont(font);
    g.movie.DefineText2(title);
    g.root.Place(title.id, 0, 0);

    const double r = 40;
    std::uint16_t ball =
        g.Filled(Gradient(kFillRadial,
                          Matrix{1.5 * r * kPx / 16384, 0, 0, 1.5 * r * kPx / 16384,
                                 -0.35 * r * kPx, -0.35 * r * kPx},
                          {{0, Rgba{0xff, 0xfb, 0xe8, 255}},
                           {70, Rgba{0xff, 0xcc, 0x44, 255}},
                           {190, Rgba{0xe0, 0x5a, 0x1e, 255}},
                           {255, Rgba{0x7a, 0x22, 0x0e, 255}}}),
                 [&](ShapeBuilder& b) { fw::sample::Circle(b, 0, 0, r * kPx); });
    g.root.Place(ball, 730, 152);
}

// A clip that rests on its first frame; played from its second, it rings the chime once.
std::uint16_t ChimeClip(Game& g) {
    g.movie.DefineSound(fw::sample::ClickSound(kClick));
    g.movie.DefineSound(fw::sample::ChimeSound(kChime));
    return g.Clip([&](Timeline& t) {
        t.writer.Actions(ActionWriter().Do(Op::Stop));
        t.writer.ShowFrame();
        SoundStart ring;
        ring.id = kChime;
        t.writer.StartSound(ring);
        t.writer.Actions(ActionWriter().GotoFrame(0));
    });
}

std::vector<std::uint8_t> WriteGame(const std::string& fontPath) {
    Game g;
    g.movie.Background(kBackground);
    for (bool bold : {false, true}) {
        Font device;
        device.id = bold ? kFontBold : kFont;
        device.name = "Tahoma";
        device.bold = bold;
        g.movie.DefineFont(device);
    }
    g.root.Place(ChimeClip(g), 0, 0, "chime");

    // Title and what the shell passed.
    Decorate(g, fontPath);
    struct Row {
        const char* label;
        const char* variable;
        const char* none;
    };
    const Row rows[] = {
        {"Сохранённый уровень (level):", "level", "нет"},
        {"Частота процессора, МГц (ProcessorFreq):", "ProcessorFreq", "?"},
        {"Заставка пропущена (EscIntro):", "EscIntro", "?"},
    };
    double y = 90;
    for (const auto& row : rows) {
        g.Text(&g.root, row.label, 40, y, 440, 30, 18, kLabel);
        g.Text(&g.root, row.none, 490, y, 270, 30, 18, kValue, TextAlign::Left, row.variable, true);
        y += 36;
    }

    // Volume: a panel clip whose bar clip's width and number follow currentvolume.
    y = 215;
    g.Text(&g.root, "Громкость:", 40, y + 6, 150, 30, 18, kLabel);
    const Rgba blue{0x3a, 0x5a, 0x9a, 255};
    std::uint16_t track = g.Rect(400, 24, Rgba{0x0e, 0x16, 0x26, 255}, Rgba{0x6a, 0x7a, 0x9a, 255});
    std::uint16_t fill = g.Rect(400, 24, Rgba{0x3c, 0xc8, 0x5a, 255});
    std::uint16_t bar = g.Clip([&](Timeline& t) { t.Place(fill, 0, 0); });
    std::uint16_t volume = g.Clip([&](Timeline& t) {
        g.ButtonAt(t, "\xe2\x88\x92", 0, 0, 44, 40, blue, VolumeStep(-1), "volumeDown");
        t.Place(track, 56, 8);
        t.Place(bar, 56, 8, "bar");
        g.ButtonAt(t, "+", 468, 0, 44, 40, blue, VolumeStep(+1), "volumeUp");
        g.Text(&t, "?", 520, 6, 60, 30, 20, kValue, TextAlign::Center, kVolume, true);
    });
    g.root.Place(volume, 200, y, "volume");

    // A panel clip with a button for every command.
    struct Cmd {
        const char* caption;
        ActionWriter actions;
        const char* name;
    };
    const Cmd commands[] = {
        {"Во весь экран", Command("maximize", ""), "maximize"},
        {"Обычный размер", Command("normalize", ""), "normalize"},
        {"Свернуть", Command("minimize", ""), "minimize"},
        {"Печать", Command("print", ""), "print"},
        {"Курсор: часы", Command("cursor", "wait"), "cursorWait"},
        {"Курсор: стрелка", Command("cursor", "norm"), "cursorNorm"},
        {"Родителям", Command("execute", "Родителям.rtf"), "parents"},
        {"Текстовый файл", Command("execute", "notes.txt"), "textFile"},
        {"Уровень +1", NextLevel(), "levelUp"},
        {"Забыть уровень", ForgetLevel(), "forgetLevel"},
    };
    std::uint16_t panel = g.Clip([&](Timeline& t) {
        for (std::size_t i = 0; i < std::size(commands); ++i) {
            double x = static_cast<double>(i % 3) * 245;
            double top = static_cast<double>(i / 3) * 64;
            g.ButtonAt(t, commands[i].caption, x, top, 230, 50, blue, commands[i].actions,
                       commands[i].name);
        }
        g.ButtonAt(t, "Выход", 490, 192, 230, 50, Rgba{0xa0, 0x30, 0x30, 255}, Command("quit", ""),
                   "quit");
    });
    g.root.Place(panel, 40, 290, "commands");
    g.Text(&g.root, "Каждая кнопка посылает оболочке свою команду.", 0, 560, 800, 26, 15, kLabel,
           TextAlign::Center);

    // Frame 1 shows it all; frame 2 sizes the bar; frame 3 goes back to frame 2.
    g.movie.ShowFrame();
    g.movie.Label("update");
    g.movie.Actions(ActionWriter()
                        .Push({std::string("volume/bar"), static_cast<std::int32_t>(2), kVolume})
                        .Do(Op::GetVariable)
                        .Do(Op::ToInteger)
                        .Push({static_cast<std::int32_t>(5)})
                        .Do(Op::Multiply)
                        .Do(Op::SetProperty));
    g.movie.ShowFrame();
    g.movie.Actions(ActionWriter().GotoFrame(1).Do(Op::Play));
    g.movie.ShowFrame();
    return g.movie.Finish();
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2 && argc != 3) {
        std::fprintf(stderr, "usage: make_game_swf <output file> [font file]\n");
        return 2;
    }
    std::vector<std::uint8_t> bytes;
    try {
        bytes = WriteGame(argc == 3 ? argv[2] : kDefaultFont);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "make_game_swf: %s\n", e.what());
        return 1;
    }
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
