// wine-shares: sound
// The real X mouse and keyboard reaching into a movie's tree: a button two clips deep shows its
// states and sends its command, a clip follows the mouse while dragged, and an input field
// takes Cyrillic typed on the keyboard.
#include "driver.h"
#include "swf/writer.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <sstream>

using namespace fwtest;

namespace {

// An 800 x 600 movie fills the 800 x 600 control one to one, here on a 1024 x 768 screen.
constexpr int kLeft = 112;
constexpr int kTop = 84;

constexpr COLORREF kBackground = RGB(0x20, 0x20, 0x40);
constexpr COLORREF kUp = RGB(0x30, 0xc0, 0x50);
constexpr COLORREF kOver = RGB(0xe0, 0xc0, 0x20);
constexpr COLORREF kDown = RGB(0x20, 0x60, 0xe0);
constexpr COLORREF kRed = RGB(0xe0, 0x30, 0x30);

// The button's square (root > outer > inner > button), the dragged square and the field.
constexpr POINT kButton{150, 150};
constexpr POINT kDragged{500, 100};
constexpr RECT kField{100, 400, 500, 440};

fw::swf::Rgba Colour(COLORREF c) {
    return {GetRValue(c), GetGValue(c), GetBValue(c), 255};
}

fw::swf::Matrix At(POINT p) {
    return fw::swf::Matrix{1, 0, 0, 1, p.x * 20.0, p.y * 20.0};
}

void Square(fw::swf::MovieWriter& w, std::uint16_t id, COLORREF c, int side) {
    fw::swf::ShapeBuilder sb(id, 32);
    sb.Style(0, sb.Fill(Colour(c)), 0).Rect(0, 0, side * 20.0, side * 20.0);
    w.DefineShape(sb.Build());
}

// Actions without a body that ActionWriter has no name for.
fw::swf::ActionWriter& Code(fw::swf::ActionWriter& a, std::uint8_t code) {
    const std::array<std::uint8_t, 1> op{code};
    return a.RawBytes(op);
}
constexpr std::uint8_t kStartDrag = 0x27;
constexpr std::uint8_t kEndDrag = 0x28;
constexpr std::uint8_t kCallMethod = 0x52;

// Pushes Key.method() on the stack.
fw::swf::ActionWriter& KeyCall(fw::swf::ActionWriter& a, const char* method) {
    using fw::swf::Op;
    a.Push({std::int32_t{0}, std::string("Key")}).Do(Op::GetVariable).Push({std::string(method)});
    return Code(a, kCallMethod);
}

std::vector<std::uint8_t> InputMovie() {
    using namespace fw::swf;
    MovieWriter w(MovieOptions{6, 800, 600, 12, false});
    w.Background(Rgb{GetRValue(kBackground), GetGValue(kBackground), GetBValue(kBackground)});
    Square(w, 1, kUp, 100);
    Square(w, 2, kOver, 100);
    Square(w, 3, kDown, 100);
    Square(w, 4, kRed, 80);
    Button button;
    button.id = 10;
    button.records = {ButtonRecord{kStateUp | kStateHit, 1, 1, {}, {}},
                      ButtonRecord{kStateOver, 2, 1, {}, {}},
                      ButtonRecord{kStateDown, 3, 1, {}, {}}};
    button.actions = {ButtonAction{kCondRelease, 0, ActionWriter().FsCommand("deep", "").Finish()}};
    w.DefineButton2(button);
    MovieWriter inner;
    Placement b;
    b.depth = 1;
    b.character = 10;
    inner.Place(b).ShowFrame();
    w.DefineSprite(11, inner);
    MovieWriter outer;
    Placement i;
    i.depth = 1;
    i.character = 11;
    i.name = "inner";
    i.matrix = At({50, 50});
    outer.Place(i).ShowFrame();
    w.DefineSprite(12, outer);
    MovieWriter dragged;
    Placement s;
    s.depth = 1;
    s.character = 4;
    dragged.Place(s).ShowFrame();
    w.DefineSprite(13, dragged);
    w.DefineFont(Font{14, "Arial", false, false});
    EditText field;
    field.id = 15;
    field.bounds =
        Bounds{0, (kField.right - kField.left) * 20.0, 0, (kField.bottom - kField.top) * 20.0};
    field.hasFont = true;
    field.fontId = 14;
    field.height = 480;
    field.colour = Rgba{0xff, 0xff, 0xff, 255};
    field.border = true;
    field.variable = "typed";
    w.DefineEditText(field);

    Placement o;
    o.depth = 1;
    o.character = 12;
    o.name = "outer";
    o.matrix = At({kButton.x - 50, kButton.y - 50});
    w.Place(o);
    // on (press) startDrag; on (release, releaseOutside) stopDrag; each key reported as
    // "code,ascii".
    Placement d;
    d.depth = 2;
    d.character = 13;
    d.name = "dragged";
    d.matrix = At(kDragged);
    ActionWriter drag;
    drag.Push({std::int32_t{0}, std::int32_t{0}, std::string("_root.dragged")});
    Code(drag, kStartDrag);
    ActionWriter drop;
    Code(drop, kEndDrag);
    ActionWriter key;
    key.Push({std::string("FSCommand:key")});
    KeyCall(key, "getCode").Push({std::string(",")}).Do(Op::Add2);
    KeyCall(key, "getAscii").Do(Op::Add2).GetUrl2(0);
    d.clipActions = {ClipAction{1u << 10, 0, drag.Finish()},
                     ClipAction{(1u << 11) | (1u << 12), 0, drop.Finish()},
                     ClipAction{1u << 6, 0, key.Finish()}};
    w.Place(d);
    Placement f;
    f.depth = 3;
    f.character = 15;
    f.name = "entry";
    f.matrix = At({kField.left, kField.top});
    w.Place(f);
    // Selection.setFocus("entry"), then the field's text reported whenever it changes.
    ActionWriter focus;
    focus.Push({std::string("entry"), std::int32_t{1}, std::string("Selection")})
        .Do(Op::GetVariable)
        .Push({std::string("setFocus")});
    Code(focus, kCallMethod).Do(Op::Pop);
    w.Actions(focus).ShowFrame();
    ActionWriter report;
    auto same = report.NewLabel();
    report.Push({std::string("typed")})
        .Do(Op::GetVariable)
        .Push({std::string("last")})
        .Do(Op::GetVariable)
        .Do(Op::Equals2)
        .If(same)
        .Push({std::string("last"), std::string("typed")})
        .Do(Op::GetVariable)
        .Do(Op::SetVariable)
        .Push({std::string("FSCommand:typed"), std::string("typed")})
        .Do(Op::GetVariable)
        .GetUrl2(0)
        .Bind(same);
    w.Actions(report).ShowFrame();
    w.Actions(ActionWriter().GotoFrame(1).Do(Op::Play)).ShowFrame();
    return w.Finish();
}

std::string Hex(COLORREF c) {
    std::ostringstream s;
    s << std::hex << "#" << int(GetRValue(c)) << "," << int(GetGValue(c)) << ","
      << int(GetBValue(c));
    return s.str();
}

std::string Screen(int x, int y) {
    return std::to_string(kLeft + x) + " " + std::to_string(kTop + y);
}

COLORREF MoviePixel(int x, int y) {
    return ScreenPixel(kLeft + x, kTop + y);
}

bool WaitPixel(int x, int y, COLORREF expected, Ms timeout = 5s) {
    return WaitFor([&] { return MoviePixel(x, y) == expected; }, timeout);
}

std::string Utf8(const std::wstring& text) {
    std::string out(::WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0,
                                          nullptr, nullptr),
                    '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), out.data(), int(out.size()),
                          nullptr, nullptr);
    return out;
}

class PlayerInput : public ::testing::Test {
protected:
    void SetUp() override {
        if (!HostAvailable()) {
            GTEST_SKIP() << "no host bridge for X mouse and keyboard events";
        }
        // The pointer away from everything the movie shows, whatever the last test left.
        ASSERT_EQ(Host("xdotool mousemove 1 1").status, 0);
        const std::wstring folder = InstalledCopy(L"InputTest");
        {
            const auto bytes = InputMovie();
            FILE* f = _wfopen((folder + L"SWF\\Game.swf").c_str(), L"wb");
            ASSERT_NE(f, nullptr);
            ASSERT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), f), bytes.size());
            std::fclose(f);
        }
        RegisterControl(folder + L"SWF\\FLASH.OCX");
        shell_ =
            std::make_unique<Shell>(StartArgs{.exe = folder + L"Fenwobble.exe", .workDir = folder});
        ASSERT_NO_FATAL_FAILURE(shell_->WaitMovie());
        ASSERT_NO_FATAL_FAILURE(shell_->SkipIntro());
        trace_ = shell_->Trace();
        ASSERT_TRUE(WaitPixel(kButton.x + 50, kButton.y + 50, kUp, 10s))
            << "expected the deep button drawn up, got "
            << Hex(MoviePixel(kButton.x + 50, kButton.y + 50));
    }

    void TearDown() override {
        if (shell_) {
            shell_->Kill();
        }
    }

    std::unique_ptr<ProgmanServer> progman_ = std::make_unique<ProgmanServer>();
    std::wstring trace_;
    std::unique_ptr<Shell> shell_;
};

// Typing on a Russian keyboard. Wine reads the X keyboard as it starts; a letter missing from
// the layout would be typed on a key bound for the moment, which a loaded machine may read only
// after it is unbound again.
class PlayerTyping : public PlayerInput {
protected:
    void SetUp() override {
        if (HostAvailable()) {
            const std::string query = Host("setxkbmap -query").output;
            const std::size_t at = query.find("layout:");
            if (at != std::string::npos) {
                std::istringstream line(query.substr(at + 7));
                line >> layout_;
            }
            ASSERT_FALSE(layout_.empty()) << "expected the keyboard layout in: " << query;
            ASSERT_EQ(Host("setxkbmap -layout ru").status, 0);
        }
        PlayerInput::SetUp();
    }

    void TearDown() override {
        PlayerInput::TearDown();
        if (!layout_.empty()) {
            EXPECT_EQ(Host("setxkbmap -layout " + layout_).status, 0)
                << "expected the keyboard layout " << layout_ << " back";
        }
    }

    std::string layout_;
};

} // namespace

TEST_F(PlayerInput, AButtonTwoClipsDeepShowsItsStatesAndSendsItsCommand) {
    const int x = kButton.x + 50;
    const int y = kButton.y + 50;
    ASSERT_EQ(Host("xdotool mousemove " + Screen(x, y)).status, 0);
    EXPECT_TRUE(WaitPixel(x, y, kOver)) << "expected the over state, got " << Hex(MoviePixel(x, y));
    ASSERT_EQ(Host("xdotool mousedown 1").status, 0);
    EXPECT_TRUE(WaitPixel(x, y, kDown)) << "expected the down state, got " << Hex(MoviePixel(x, y));
    EXPECT_TRUE(TraceMatching(trace_, {L"FSCommand", L"deep"}).empty())
        << "expected nothing sent before the release";
    ASSERT_EQ(Host("xdotool mouseup 1").status, 0);
    EXPECT_TRUE(WaitTrace(trace_, {L"FSCommand", L"deep"}, 10s))
        << "expected the release to send the deep button's command";
    EXPECT_TRUE(WaitPixel(x, y, kOver)) << "expected the over state after the release";
}

TEST_F(PlayerInput, ADraggedClipFollowsTheMouseUntilReleased) {
    const POINT from{kDragged.x + 40, kDragged.y + 40};
    const POINT to{from.x + 60, from.y + 200};
    ASSERT_EQ(MoviePixel(from.x, from.y), kRed);
    ASSERT_EQ(MoviePixel(to.x, to.y), kBackground);
    ASSERT_EQ(Host("xdotool mousemove " + Screen(from.x, from.y) + " mousedown 1").status, 0);
    // In steps, as a hand moves it.
    for (int i = 1; i <= 4; ++i) {
        const int x = from.x + (to.x - from.x) * i / 4;
        const int y = from.y + (to.y - from.y) * i / 4;
        ASSERT_EQ(Host("xdotool mousemove " + Screen(x, y)).status, 0);
        ::Sleep(100);
    }
    EXPECT_TRUE(WaitPixel(to.x, to.y, kRed))
        << "expected the clip under the pointer, got " << Hex(MoviePixel(to.x, to.y));
    EXPECT_TRUE(WaitPixel(from.x, from.y, kBackground))
        << "expected the clip gone from where it was, got " << Hex(MoviePixel(from.x, from.y));
    ASSERT_EQ(Host("xdotool mouseup 1 mousemove " + Screen(700, 550)).status, 0);
    ::Sleep(500);
    EXPECT_EQ(MoviePixel(to.x, to.y), kRed) << "expected the clip left where it was dropped";
    EXPECT_EQ(MoviePixel(700, 550), kBackground) << "expected the clip not to follow any more";
}

TEST_F(PlayerTyping, AnInputFieldTakesCyrillicTypedOnTheKeyboard) {
    const std::wstring word = L"\x0436\x0451\x043b\x0442\x044b\x0439"; // a Cyrillic word
    ASSERT_EQ(
        Host("xdotool mousemove " + Screen(kField.left + 20, kField.top + 20) + " click 1").status,
        0);
    ::Sleep(300);
    const auto typed = Host("xdotool type --delay 80 '" + Utf8(word) + "'", 30s);
    ASSERT_EQ(typed.status, 0) << typed.output;
    const bool taken = WaitTrace(trace_, {L"FSCommand", L"typed", word}, 10s);
    std::string keys;
    for (const auto& line : TraceMatching(trace_, {L"FSCommand", L"key"})) {
        keys += " " + Utf8(line.size() > 2 ? line[2] : L"");
    }
    EXPECT_TRUE(taken) << "expected the field's text reported; the movie heard the keys (code,"
                          "character):"
                       << keys;
    // The first letter's key reached the movie with its character.
    EXPECT_NE(keys.find("," + std::to_string(int(word[0]))), std::string::npos) << keys;
}
