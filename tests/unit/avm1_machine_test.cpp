#include "avm1/object.h"
#include "avm1/value.h"
#include "swf/player.h"
#include "swf/writer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

namespace {

using namespace fw::swf;

class QuietHost : public PlayerHost {
public:
    void FsCommand(const std::string&, const std::string&) override {}
    void TraceOutput(const std::string& text) override { traces.push_back(text); }
    void Problem(const std::string& text) override { problems.push_back(text); }
    std::vector<std::string> traces;
    std::vector<std::string> problems;
};

constexpr Op kCallFunction = static_cast<Op>(0x3D);
constexpr Op kNewObject = static_cast<Op>(0x40);
constexpr Op kCallMethod = static_cast<Op>(0x52);
constexpr Op kReturn = static_cast<Op>(0x3E);

// function name() { body }, as the compiler emits it.
void DefineFunction(ActionWriter& w, const std::string& name, const ActionWriter& body) {
    std::vector<std::uint8_t> code = body.Finish(false);
    std::vector<std::uint8_t> header(name.begin(), name.end());
    header.push_back(0);
    header.insert(header.end(), {0, 0, static_cast<std::uint8_t>(code.size() & 0xFF),
                                 static_cast<std::uint8_t>(code.size() >> 8)});
    w.Raw(0x9B, header).RawBytes(code);
}

// Runs one frame holding the block, then a second block that sets "next".
void Play(Player& player, const ActionWriter& w) {
    MovieWriter m;
    m.Actions(w);
    m.Actions(ActionWriter().Push({std::string("next"), 1.0}).Do(Op::SetVariable));
    m.ShowFrame();
    player.Load(ParseMovie(m.Finish()));
    player.Tick();
}

TEST(Collector, FreesUnreachableCyclesAndKeepsTheReachable) {
    QuietHost host;
    Player player(host);
    Play(player, ActionWriter());
    const std::size_t baseline = player.runtime().objectCount();

    // keep = {}; for (i = 0; i < 300; i++) { o = {}; o.me = o; }
    ActionWriter w;
    w.Push({std::string("keep"), 0.0}).Do(Op::InitObject).Do(Op::SetVariable);
    w.Push({std::string("i"), 0.0}).Do(Op::SetVariable);
    auto top = w.NewLabel();
    auto done = w.NewLabel();
    w.Bind(top);
    w.Push({std::string("i")}).Do(Op::GetVariable).Push({300.0}).Do(Op::Less2).Do(Op::Not).If(done);
    w.Push({std::string("o"), 0.0}).Do(Op::InitObject).Do(Op::SetVariable);
    w.Push({std::string("o")}).Do(Op::GetVariable).Push({std::string("me"), std::string("o")});
    w.Do(Op::GetVariable).Do(Op::SetMember);
    w.Push({std::string("i"), std::string("i")}).Do(Op::GetVariable).Do(Op::Increment);
    w.Do(Op::SetVariable).Jump(top);
    w.Bind(done);
    Play(player, w);
    EXPECT_EQ(player.runtime().objectCount(), baseline + 2); // keep and the last o

    player.SetVariable("o", Value());
    player.Tick();
    EXPECT_EQ(player.runtime().objectCount(), baseline + 1);
    EXPECT_EQ(player.GetVariableText("keep"), "[object Object]");
    EXPECT_TRUE(host.problems.empty()) << host.problems.front();
}

// Movies up to version 6 and later ones keep their own globals, made once and kept by the
// collector, but hear the one keyboard, pointer and focus through the same objects.
TEST(Versions, OlderAndLaterMoviesKeepTheirOwnGlobalsAndShareTheInput) {
    QuietHost host;
    Player player(host);
    Play(player, ActionWriter());
    fw::avm1::Runtime& rt = player.runtime();
    fw::avm1::Object* older = rt.GlobalFor(6);
    fw::avm1::Object* later = rt.GlobalFor(8);
    ASSERT_NE(older, later);
    rt.Collect();
    EXPECT_EQ(rt.GlobalFor(5), older);
    EXPECT_EQ(rt.GlobalFor(7), later);
    EXPECT_NE(rt.GlobalFor(8)->Find("Object")->object(), older->Find("Object")->object());
    for (const char* shared : {"Key", "Mouse", "Selection"}) {
        EXPECT_EQ(older->Find(shared)->object(), later->Find(shared)->object()) << shared;
    }
    EXPECT_EQ(rt.global(), older); // the movie's own version's, between its scripts
}

// try { throw {v: "kept"}; } finally { body }, inside try { ... } catch (e) { trace(e.v); }
ActionWriter ThrowAcrossFinally(const ActionWriter& finallyBody) {
    auto block = [](std::uint8_t flags, const std::vector<std::uint8_t>& tryCode,
                    const std::vector<std::uint8_t>& catchCode,
                    const std::vector<std::uint8_t>& finallyCode) {
        std::vector<std::uint8_t> header{flags};
        for (std::size_t n : {tryCode.size(), catchCode.size(), finallyCode.size()}) {
            header.push_back(static_cast<std::uint8_t>(n & 0xFF));
            header.push_back(static_cast<std::uint8_t>(n >> 8));
        }
        header.insert(header.end(), {'e', 0});
        ActionWriter w;
        w.Raw(0x8F, header).RawBytes(tryCode).RawBytes(catchCode).RawBytes(finallyCode);
        return w.Finish(false);
    };
    ActionWriter thrown;
    thrown.Push({std::string("v"), std::string("kept"), 1.0}).Do(Op::InitObject);
    thrown.Do(static_cast<Op>(0x2A)); // Throw
    ActionWriter report;
    report.Push({std::string("e")}).Do(Op::GetVariable).Push({std::string("v")});
    report.Do(Op::GetMember).Do(Op::Trace);
    auto inner = block(2, thrown.Finish(false), {}, finallyBody.Finish(false));
    ActionWriter w;
    w.RawBytes(block(1, inner, report.Finish(false), {}));
    return w;
}

// Calls of a function make garbage (their locals and arguments) as a long loop runs: it is
// freed while the block runs, so only what stays reachable counts against the budget; a value
// held across a finally block survives the collections made there.
TEST(Collector, FreesWithinALongBlock) {
    ActionWriter calls; // function f(x) { return x; } i = 0; while (i < 5000) { f(i); i++; }
    DefineFunction(calls, "f",
                   ActionWriter().Push({std::string("x")}).Do(Op::GetVariable).Do(kReturn));
    calls.Push({std::string("i"), 0.0}).Do(Op::SetVariable);
    auto top = calls.NewLabel();
    auto done = calls.NewLabel();
    calls.Bind(top).Push({std::string("i")}).Do(Op::GetVariable).Push({5000.0});
    calls.Do(Op::Less2).Do(Op::Not).If(done);
    calls.Push({std::string("i")}).Do(Op::GetVariable).Push({1.0, std::string("f")});
    calls.Do(kCallFunction).Do(Op::Pop);
    calls.Push({std::string("i"), std::string("i")}).Do(Op::GetVariable).Do(Op::Increment);
    calls.Do(Op::SetVariable).Jump(top).Bind(done);

    struct Case {
        const char* what;
        ActionWriter block;
        std::vector<std::string> traces;
    };
    const Case cases[] = {
        {"calls", calls, {}},
        {"thrown across finally", ThrowAcrossFinally(calls), {"kept"}},
    };
    for (const auto& c : cases) {
        QuietHost host;
        PlayerLimits limits;
        limits.objects = 4000;
        Player player(host, limits);
        Play(player, c.block);
        EXPECT_TRUE(host.problems.empty()) << c.what << ": " << host.problems.front();
        EXPECT_EQ(host.traces, c.traces) << c.what;
        EXPECT_EQ(player.GetVariableText("i"), "5000") << c.what;
        EXPECT_EQ(player.GetVariableText("next"), "1") << c.what;
    }
}

TEST(Limits, StopRunawayRecursionAndAllocation) {
    struct Case {
        const char* what;
        ActionWriter block;
        const char* problem;
    };
    ActionWriter recursion;
    DefineFunction(recursion, "r", ActionWriter().Push({0.0, std::string("r")}).Do(kCallFunction));
    recursion.Push({0.0, std::string("r")}).Do(kCallFunction);
    ActionWriter allocation; // a = []; while (true) a = [a];
    auto top = allocation.NewLabel();
    allocation.Push({std::string("a"), 0.0}).Do(static_cast<Op>(0x42)).Do(Op::SetVariable);
    allocation.Bind(top).Push({std::string("a"), std::string("a")}).Do(Op::GetVariable);
    allocation.Push({1.0}).Do(static_cast<Op>(0x42)).Do(Op::SetVariable).Jump(top);
    // _global.String = function S() { "x".length; }; "y".length: each read boxes the string by
    // constructing S, which reads a string's member again: the objects run out first.
    ActionWriter boxing;
    DefineFunction(
        boxing, "S",
        ActionWriter().Push({std::string("x"), std::string("length")}).Do(Op::GetMember));
    boxing.Push({std::string("_global")}).Do(Op::GetVariable).Push({std::string("String")});
    boxing.Push({std::string("S")}).Do(Op::GetVariable).Do(Op::SetMember);
    boxing.Push({std::string("y"), std::string("length")}).Do(Op::GetMember).Do(Op::Pop);
    const Case cases[] = {
        {"recursion", recursion, "action block stopped: more than 256 levels of recursion"},
        {"boxing", boxing, "action block stopped: more than 2000 objects"},
        {"allocation", allocation, "action block stopped: more than 2000 objects"},
    };
    for (const auto& c : cases) {
        QuietHost host;
        PlayerLimits limits;
        limits.objects = 2000;
        Player player(host, limits);
        Play(player, c.block);
        ASSERT_EQ(host.problems.size(), 1u) << c.what;
        EXPECT_EQ(host.problems[0], c.problem) << c.what;
        EXPECT_EQ(player.GetVariableText("next"), "1") << c.what; // the movie goes on
    }
}

TEST(Conversions, TextToNumberByVersionAndIntegerWrapping) {
    using fw::avm1::StringToNumber;
    struct Case {
        const char* text;
        int version;
        double n; // NaN for NaN
    };
    const Case cases[] = {
        {"010", 6, 8},           {"010", 5, 10},  {"019", 6, 19},    {"-010", 7, -8},
        {"037777777777", 6, -1}, {" 010", 6, 10}, {"0x10", 6, 16},   {"0x10", 5, NAN},
        {"150a", 4, 150},        {"ab", 4, 0},    {" 2.5x", 4, 2.5}, {"150a", 5, NAN},
    };
    for (const auto& c : cases) {
        double got = StringToNumber(c.text, c.version);
        if (std::isnan(c.n)) {
            EXPECT_TRUE(std::isnan(got)) << c.text << " in " << c.version << ": got " << got;
        } else {
            EXPECT_EQ(got, c.n) << c.text << " in " << c.version;
        }
    }
    EXPECT_EQ(fw::avm1::ToInt32(4294967295.0), -1);
    EXPECT_EQ(fw::avm1::ToInt32(-1.9), -1);
    EXPECT_EQ(fw::avm1::ToInt32(2147483648.0), -2147483647 - 1);
    EXPECT_EQ(fw::avm1::ToUint32(-1), 4294967295u);
    EXPECT_EQ(fw::avm1::ToInt32(NAN), 0);
    EXPECT_EQ(fw::avm1::NumberToRadix(255, 16), "ff");
    EXPECT_EQ(fw::avm1::NumberToRadix(-5, 2), "-101");
}

TEST(Conversions, MovieTextPerVersionAndHiddenProperties) {
    using fw::avm1::MovieText;
    struct Case {
        const char* bytes;
        int version;
        const char* text;
    };
    const Case cases[] = {
        {"a\xC5"
         "b",
         5,
         "a\xC3\x85"
         "b"},                                                       // the code page's upper half
        {"\x80\x99", 5, "\xE2\x82\xAC\xE2\x84\xA2"},                 // and its 0x80 to 0x9F block
        {"\xC3\x85", 6, "\xC3\x85"},                                 // well-formed UTF-8 stays
        {"\xED\xA0\x80", 6, "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"}, // no surrogates
        {"\xE6\x84", 8, "\xEF\xBF\xBD"},                             // a cut sequence is one U+FFFD
        {"\xFFx", 7, "\xEF\xBF\xBDx"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(MovieText(c.bytes, c.version), c.text) << c.bytes << " in " << c.version;
    }
    // A lone surrogate made by a script leaves as U+FFFD; a pair stays.
    std::u16string lone{0xD800, u'x'};
    EXPECT_EQ(fw::avm1::OutsideText(fw::avm1::FromUtf16(lone)), "\xEF\xBF\xBDx");
    std::u16string pair{0xD83D, 0xDE0B};
    EXPECT_EQ(fw::avm1::OutsideText(fw::avm1::FromUtf16(pair)), "\xF0\x9F\x98\x8B");

    struct Hidden {
        std::uint16_t flags;
        int version;
        bool visible;
    };
    const Hidden hidden[] = {
        {fw::avm1::kOnlyFrom6, 5, false}, {fw::avm1::kOnlyFrom6, 6, true},
        {fw::avm1::kOnlyIn6, 6, false},   {fw::avm1::kOnlyIn6, 7, true},
        {fw::avm1::kOnlyFrom7, 6, false}, {fw::avm1::kOnlyFrom7, 7, true},
        {fw::avm1::kOnlyFrom8, 7, false}, {fw::avm1::kOnlyFrom10, 9, false},
        {fw::avm1::kDontEnum, 4, true},
    };
    for (const auto& h : hidden) {
        EXPECT_EQ(fw::avm1::VisibleIn(h.flags, h.version), h.visible)
            << "flags " << h.flags << " in " << h.version;
    }
}

// Setting the date of a time before 1970 keeps its time of day: movies from version 8 on take
// it modulo a day upwards, older ones keep the negative remainder and so land a day early.
TEST(Date, SettersKeepTheTimeOfDayByTheMoviesVersion) {
    const struct {
        std::uint8_t version;
        const char* time;
    } cases[] = {{7, "-86400001"}, {8, "-1"}};
    for (const auto& c : cases) {
        QuietHost host;
        Player player(host);
        // trace(new Date(-1).setUTCFullYear(1969))
        ActionWriter w;
        w.Push({1969.0, 1.0, -1.0, 1.0, std::string("Date")}).Do(kNewObject);
        w.Push({std::string("setUTCFullYear")}).Do(kCallMethod).Do(Op::Trace);
        MovieWriter m(MovieOptions{.version = c.version});
        m.Actions(w).ShowFrame();
        player.Load(ParseMovie(m.Finish()));
        player.Tick();
        ASSERT_EQ(host.traces.size(), 1u) << "version " << int{c.version};
        EXPECT_EQ(host.traces[0], c.time) << "version " << int{c.version};
    }
}

// The host's zone is pinned here, as the conformance tool pins it for the corpus: a fixed zone
// 5:45 east of UTC, restored afterwards.
TEST(Date, ShowsTimesInTheHostZoneAndReadsTheHostsClock) {
    const char* old = std::getenv("TZ");
    const std::string saved = old ? old : "";
    setenv("TZ", "<+0545>-5:45", 1);
    tzset();

    QuietHost host;
    Player player(host);
    // d = new Date(2001, 1, 3, 4, 5, 6); then trace each of d's answers below, and d.
    ActionWriter w;
    w.Push({std::string("d"), 6.0, 5.0, 4.0, 3.0, 1.0, 2001.0, 6.0, std::string("Date")})
        .Do(kNewObject)
        .Do(Op::SetVariable);
    const char* methods[] = {"getTime", "getTimezoneOffset", "getHours", "getUTCHours",
                             "getUTCDate"};
    for (const char* m : methods) {
        w.Push({0.0, std::string("d")}).Do(Op::GetVariable).Push({std::string(m)});
        w.Do(kCallMethod).Do(Op::Trace);
    }
    w.Push({std::string("d")}).Do(Op::GetVariable).Do(Op::Trace);
    // d - 0: arithmetic reads a date's time, though + reads its text.
    w.Push({std::string("d")}).Do(Op::GetVariable).Push({0.0}).Do(Op::Subtract).Do(Op::Trace);
    // new Date().getTime(): the host's date at time 0, and the time since.
    w.Push({0.0, 0.0, std::string("Date")}).Do(kNewObject).Push({std::string("getTime")});
    w.Do(kCallMethod).Do(Op::Trace);
    player.SetDateOrigin(981152406000 - 1500);
    player.SetTime(1500);
    Play(player, w);

    if (old) {
        setenv("TZ", saved.c_str(), 1);
    } else {
        unsetenv("TZ");
    }
    tzset();

    const std::vector<std::string> expected = {
        "981152406000", "-345",         "4", "22", "2", "Sat Feb 3 04:05:06 GMT+0545 2001",
        "981152406000", "981152406000",
    };
    ASSERT_EQ(host.traces.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(host.traces[i], expected[i]) << "line " << i;
    }
}

} // namespace
