// wine-shares: sound printer
// A hostile movie: thousands of commands drawn at random from the vocabulary
// and from junk, fired through the stand-in player as fast as it takes them.
// The shell must stay alive and answering, keep every value it was asked to
// keep exactly as sent, and hand them all to the next movie start.
#include "driver.h"

#include "fire_protocol.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <random>
#include <set>

using namespace fwtest;

namespace {

constexpr std::size_t kHuge = 65536; // "64 KiB long" texts, in characters

// How many commands one run sends; FW_HOSTILE_COMMANDS and FW_HOSTILE_SEED
// repeat a run with other figures.
std::size_t CommandCount() {
    const char* env = std::getenv("FW_HOSTILE_COMMANDS");
    return env ? std::strtoul(env, nullptr, 10) : 10000;
}
unsigned Seed() {
    const char* env = std::getenv("FW_HOSTILE_SEED");
    return env ? static_cast<unsigned>(std::strtoul(env, nullptr, 10)) : 20240611u;
}

std::string Narrow(const std::wstring& w, std::size_t max = 120) {
    std::string out;
    for (wchar_t c : w.substr(0, max)) {
        out += c >= 32 && c < 127 ? static_cast<char>(c) : '?';
    }
    if (w.size() > max) {
        out += "...(" + std::to_string(w.size()) + " chars)";
    }
    return out;
}

// Junk made of every kind of character the movie could send.
class Junk {
public:
    explicit Junk(unsigned seed) : rng_(seed) {}

    std::size_t Below(std::size_t n) { return n ? rng_() % n : 0; }
    bool Chance(unsigned percent) { return Below(100) < percent; }
    template <class T> const T& Pick(const std::vector<T>& v) { return v[Below(v.size())]; }

    wchar_t Letter() {
        switch (Below(12)) {
        case 0:
            return static_cast<wchar_t>(L'A' + Below(26));
        case 1:
            return static_cast<wchar_t>(L'a' + Below(26));
        case 2:
            return static_cast<wchar_t>(0x410 + Below(64)); // Cyrillic
        case 3:
            return Pick(std::vector<wchar_t>{0x401, 0x451, 0x404, 0x454, 0x406, 0x456});
        case 4:
            return static_cast<wchar_t>(0x391 + Below(57)); // Greek
        case 5:
            return static_cast<wchar_t>(0x4E00 + Below(0x5000)); // CJK
        case 6:
            return static_cast<wchar_t>(0x627 + Below(36)); // Arabic
        case 7:
            return static_cast<wchar_t>(0x5D0 + Below(27)); // Hebrew
        case 8:
            return static_cast<wchar_t>(0x905 + Below(48)); // Devanagari
        case 9:
            return static_cast<wchar_t>(1 + Below(31)); // control characters
        case 10:
            return Pick(std::vector<wchar_t>{
                L'\\',  L'=',  L'&',   L'%',   L'"', L'\'', L' ', L'\t', 0xA0, 0x200B, 0x200F,
                0xFEFF, 0x301, 0xFFFD, 0x3000, L'/', L'?',  L'*', L'|',  L'<', L'>',   L':'});
        default:
            return static_cast<wchar_t>(L'0' + Below(10));
        }
    }

    std::wstring Text(std::size_t maxLength) {
        std::wstring s;
        const std::size_t n = Below(maxLength + 1);
        while (s.size() < n) {
            if (Chance(3)) {
                // A character outside the basic plane, as a surrogate pair.
                const unsigned cp = 0x1F300 + static_cast<unsigned>(Below(0x300));
                s += static_cast<wchar_t>(0xD800 + ((cp - 0x10000) >> 10));
                s += static_cast<wchar_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
            } else {
                s += Letter();
            }
        }
        return s;
    }

    std::wstring Huge() {
        std::wstring s = Text(64);
        while (s.size() < kHuge) {
            s += Letter();
        }
        return s.substr(0, kHuge);
    }

    // Upper- or lower-cases the ASCII letters at random.
    std::wstring Case(std::wstring s) {
        for (auto& c : s) {
            if (c < 128 && std::isalpha(static_cast<int>(c)) && Chance(50)) {
                c = static_cast<wchar_t>(std::iswupper(c) ? std::towlower(c) : std::towupper(c));
            }
        }
        return s;
    }

private:
    std::mt19937 rng_;
};

// What the registry must hold: the movie's values as the shell was asked to
// keep them. Names compare without regard to case, as the registry's do.
class Expected {
public:
    static std::wstring Key(const std::wstring& name) {
        std::wstring k = name;
        if (!k.empty()) {
            ::CharUpperBuffW(k.data(), static_cast<DWORD>(k.size()));
        }
        return k;
    }
    void Write(const std::wstring& name, const std::wstring& text) {
        // A registry text ends at its first NUL.
        values_[Key(name)] = {name, text.substr(0, text.find(L'\0'))};
    }
    void Forget(const std::wstring& name) { values_.erase(Key(name)); }
    const std::map<std::wstring, std::pair<std::wstring, std::wstring>>& Values() const {
        return values_;
    }

private:
    std::map<std::wstring, std::pair<std::wstring, std::wstring>> values_;
};

// The value name the shell derives from a save command: the command after
// "save", cleaned of blanks and control characters at both ends.
std::wstring ValueName(const std::wstring& command) {
    std::size_t first = 4;
    std::size_t last = command.size();
    while (first < last && command[first] <= 32) {
        ++first;
    }
    while (last > first && command[last - 1] <= 32) {
        --last;
    }
    return command.substr(first, last - first);
}

bool IsDeletion(const std::wstring& args) {
    if (args.size() != 3) {
        return false;
    }
    std::wstring l = args;
    for (auto& c : l) {
        c = c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c + 32) : c;
    }
    return l == L"nan";
}

// Whether the registry itself takes a value of this name (very long names are
// beyond its limit), asked on a scratch key of our own.
bool RegistryTakesName(const std::wstring& name) {
    HKEY h = nullptr;
    if (::RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\FwHostileProbe", 0, nullptr, 0,
                          KEY_ALL_ACCESS, nullptr, &h, nullptr) != ERROR_SUCCESS) {
        return false;
    }
    const wchar_t one[] = L"1";
    const bool ok = ::RegSetValueExW(h, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(one),
                                     sizeof(one)) == ERROR_SUCCESS;
    ::RegDeleteValueW(h, name.c_str());
    ::RegCloseKey(h);
    return ok;
}

struct Command {
    std::wstring command;
    std::wstring args;
};

// Saved names the stream comes back to, so values are replaced and forgotten.
std::vector<std::wstring> NamePool(Junk& junk) {
    std::vector<std::wstring> pool = {
        L"level",
        L"Level",
        L"LEVEL",
        L"ini",
        L"a\\b\\c",
        L"\\",
        L"..\\..\\Software",
        L"a=b",
        L"x&y=z",
        L"&",
        L"=",
        L"%41%00",
        L"name with blanks",
        L"\u0423\u0440\u043e\u0432\u0435\u043d\u044c",
        L"\u0443\u0440\u043e\u0432\u0435\u043d\u044c",
        L"\u0401\u0436\u0438\u043a",
        L"\u03b1\u03b2\u03b3",
        L"\u6c34\u5e73",
        L"\u05e9\u05dc\u05d5\u05dd",
        L"\u0645\u0631\u062d\u0628\u0627",
        L"\U0001F600smile",
        L"tab\tinside",
        L"cr\rlf\ninside",
        L"\x7f\x01",
        L"nan",
        L"Transfering",
        L"ProcessorFreq",
        L"EscIntro",
    };
    for (int i = 0; i < 30; ++i) {
        std::wstring n;
        while (n.empty()) {
            n = ValueName(L"save" + junk.Text(24));
        }
        pool.push_back(n);
    }
    return pool;
}

// One command of the hostile stream; never "execute", "print", "minimize" or "quit".
Command Draw(Junk& junk, const std::vector<std::wstring>& pool) {
    static const std::vector<std::wstring> kVolumeForms = {L"",
                                                           L"0",
                                                           L"20",
                                                           L"7",
                                                           L"25",
                                                           L"-1",
                                                           L"+5",
                                                           L"  12",
                                                           L"12 ",
                                                           L"$A",
                                                           L"$ff",
                                                           L"0x14",
                                                           L"0X0f",
                                                           L"0x",
                                                           L"$",
                                                           L"-",
                                                           L"+",
                                                           L"2147483647",
                                                           L"-2147483648",
                                                           L"2147483648",
                                                           L"99999999999",
                                                           L"-99999999999",
                                                           L"0x7FFFFFFF",
                                                           L"0xFFFFFFFF",
                                                           L"$80000000",
                                                           L"1e3",
                                                           L"1.5",
                                                           L"NaN",
                                                           L"inf",
                                                           L"\u0663",
                                                           L"\uff13",
                                                           L"\t3",
                                                           L"0003",
                                                           L"-0",
                                                           L"--1",
                                                           std::wstring(L"1\0002", 3),
                                                           L"655",
                                                           L"13107",
                                                           L"21474837"};
    static const std::vector<std::wstring> kCursorForms = {L"norm",
                                                           L"NORM",
                                                           L"wait",
                                                           L"WaIt",
                                                           L"busy",
                                                           L"",
                                                           L" wait",
                                                           L"wait ",
                                                           L"nor",
                                                           L"\u0445\u043e\u0434",
                                                           std::wstring(L"wait\0norm", 9),
                                                           L"crHourGlass",
                                                           L"-11",
                                                           L"0"};
    // Look-alikes of the excluded commands: none of them may act.
    static const std::vector<std::wstring> kLookalikes = {
        L"qu\u0131t",
        L"QU\u0130T",
        L"quit ",
        L" quit",
        L"quit\t",
        L"pr\u0131nt",
        L"print\u200b",
        L"execute ",
        L"\u0435xecute",
        L"minimise",
        L"m\u0131nimize",
        L"\uff51uit",
        L"sav",
        L" save",
        L"\u017fave",
        L"sa ve",
        L"s\u0430ve",
        L"quitquit",
        L"exec",
        L"cursor ",
        L"setvolume ",
        L"set volume",
        L"maximize ",
        L"normalise",
        L"fscommand:quit",
        L"\u041a\u043e\u043c\u0430\u043d\u0434\u0430"};
    Command c;
    const std::size_t roll = junk.Below(1000);
    if (roll < 350) { // save a value under a name the stream comes back to
        c.command = junk.Case(L"save") + junk.Pick(pool);
        if (junk.Chance(30)) {
            c.command =
                junk.Case(L"save") +
                junk.Pick(std::vector<std::wstring>{L" ", L"\t", L"\x01", L"\r\n", L"  \x1f"}) +
                junk.Pick(pool) + junk.Pick(std::vector<std::wstring>{L"", L" ", L"\x02", L"\n"});
        }
        c.args = junk.Chance(2) ? junk.Huge() : junk.Text(40);
        if (junk.Chance(10)) {
            c.args += std::wstring(1, L'\0') + junk.Text(10);
        }
    } else if (roll < 450) { // a name never seen before
        c.command = junk.Case(L"save") + junk.Text(60);
        c.args = junk.Text(80);
    } else if (roll < 540) { // forget, or texts that only look like it
        c.command = junk.Case(L"save") + junk.Pick(pool);
        c.args = junk.Pick(
            std::vector<std::wstring>{L"nan", L"NaN", L"NAN", L"nAn", L" nan", L"nan ", L"na",
                                      L"nann", std::wstring(L"nan\0x", 5), L"\u043d\u0430\u043d"});
    } else if (roll < 548) { // the default value: anything but the transfer marker
        c.command =
            junk.Case(L"save") + junk.Pick(std::vector<std::wstring>{L"", L" ", L"\x01\x1f"});
        c.args = junk.Pick(std::vector<std::wstring>{L"", L"x", L"nan", L"transfering",
                                                     L"TRANSFERING", L"Transfering "});
    } else if (roll < 552) { // names at and beyond the registry's limit
        const std::size_t length =
            junk.Pick(std::vector<std::size_t>{16382, 16383, 16384, 20000, kHuge - 4});
        c.command = L"save" + std::wstring(length, L'n');
        c.args = junk.Chance(30) ? L"nan" : junk.Text(8);
    } else if (roll < 680) {
        c.command = junk.Case(L"setvolume");
        c.args = junk.Chance(80) ? junk.Pick(kVolumeForms) : junk.Text(12);
    } else if (roll < 760) {
        c.command = junk.Case(L"cursor");
        c.args = junk.Chance(80) ? junk.Pick(kCursorForms) : junk.Text(12);
    } else if (roll < 790) {
        c.command = junk.Case(junk.Chance(50) ? L"maximize" : L"normalize");
        c.args = junk.Text(10);
    } else if (roll < 850) {
        c.command = junk.Pick(kLookalikes);
        c.args = junk.Text(10);
    } else if (roll < 860) {
        c.command = junk.Chance(50) ? std::wstring() : junk.Huge();
        c.args = junk.Chance(50) ? std::wstring() : junk.Huge();
    } else { // plain junk
        c.command = junk.Text(30);
        c.args = junk.Text(30);
        if (junk.Chance(20)) {
            c.args += std::wstring(1, L'\0') + junk.Text(10);
        }
    }
    return c;
}

bool Excluded(const std::wstring& command) {
    std::wstring l = command;
    for (auto& c : l) {
        c = c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c + 32) : c;
    }
    return l == L"execute" || l == L"print" || l == L"minimize" || l == L"quit";
}

class HostileCommands : public ::testing::Test {
protected:
    void SetUp() override {
        RegisterControl(CdFolder() + L"SWF\\FLASH.OCX");
        RegDeleteTree(HKEY_LOCAL_MACHINE, kProgramKey);
        folder_ = InstalledCopy(L"fwhostile");
    }

    void Start() {
        shell_ = std::make_unique<Shell>(StartArgs{.exe = folder_ + L"Fenwobble.exe"});
        ASSERT_NO_FATAL_FAILURE(shell_->WaitMovie());
        trace_ = shell_->Trace();
        main_ = shell_->Main();
        player_ = PlayerWindow(main_);
    }

    void SkipIntro() { shell_->SkipIntro(); }

    // Answers every message box of the shell that is up now; checks each is a
    // refused registry write and counts it. Errors that come while a box is up
    // are dropped: never more than one box stands.
    void DismissBoxes() {
        int standing = 0;
        for (HWND h : TopWindows(shell_->Pid(), true)) {
            if (ClassName(h) != L"#32770") {
                continue;
            }
            EXPECT_EQ(++standing, 1) << "expected one error box at a time";
            HWND text = ::GetDlgItem(h, 0xFFFF);
            const std::wstring t = text ? ControlText(text) : L"";
            EXPECT_EQ(t.rfind(L"Failed to set data for '", 0), 0u)
                << "unexpected box: " << Narrow(t);
            EXPECT_EQ(WindowText(h), L"Fenwobble");
            ++boxes_;
            PressButton(h, IDOK);
        }
    }

    bool Answers() {
        DWORD_PTR r = 0;
        return ::SendMessageTimeoutW(main_, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 10000, &r) != 0;
    }

    // Fires one command, waiting while the player's queue is full.
    void Send(const Command& c) {
        while (!fw::player::SendFireRequest(player_, c.command, c.args)) {
            ASSERT_TRUE(shell_->Running()) << "the shell ended";
            DismissBoxes();
            ::Sleep(2);
        }
    }

    std::wstring folder_;
    std::wstring trace_;
    std::unique_ptr<Shell> shell_;
    HWND main_ = nullptr;
    HWND player_ = nullptr;
    int boxes_ = 0;
};

// The movie's volume scale read back through the 50 ms report, for the
// number forms the movie may send.
TEST_F(HostileCommands, VolumeFormsReachTheMixerAndComeBack) {
    if (!HostAvailable() || Host("pactl info").status != 0) {
        GTEST_SKIP() << "no sound server";
    }
    Start();
    SkipIntro();
    struct Case {
        std::wstring arg;
        int movieVolume;
    };
    const std::vector<Case> cases = {
        {L"7", 7},           {L"0x0F", 15}, {L"99999999999", 10}, {L"  3", 3},         {L"$E", 14},
        {L"2147483647", 20}, {L"-0", 0},    {L"3 ", 10},          {L"-2147483648", 0}, {L"25", 20},
        {L"\uff13", 10},     {L"+1", 1},    {L"1.5", 10},         {L"-1", 20},         {L"0", 0},
        {L"", 10},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(Fire(main_, L"setvolume", c.arg));
        const std::wstring want = std::to_wstring(c.movieVolume);
        EXPECT_TRUE(WaitFor(
            [&] {
                const auto vars =
                    TraceMatching(trace_, {L"call", L"SetVariable", L"_root.currentvolume"});
                return !vars.empty() && vars.back().size() > 3 && vars.back()[3] == want;
            },
            5s))
            << "setvolume '" << Narrow(c.arg) << "': expected the movie to read " << c.movieVolume;
    }
}

TEST_F(HostileCommands, AThousandfoldJunkStreamKeepsTheShellAndEveryValue) {
    const unsigned seed = Seed();
    const std::size_t count = CommandCount();
    std::printf("hostile stream: seed %u, %zu commands\n", seed, count);
    Junk junk(seed);
    const auto pool = NamePool(junk);

    // Draw the whole stream first and work out what the registry must hold.
    std::vector<Command> stream;
    Expected expected;
    std::optional<std::wstring> defaultValue = L""; // registered, as set up
    int refusals = 0;
    std::size_t saves = 0;
    while (stream.size() < count) {
        Command c = Draw(junk, pool);
        if (Excluded(c.command)) {
            continue;
        }
        std::wstring lower = c.command.substr(0, 4);
        for (auto& ch : lower) {
            ch = ch >= L'A' && ch <= L'Z' ? static_cast<wchar_t>(ch + 32) : ch;
        }
        if (lower == L"save") {
            ++saves;
            const std::wstring name = ValueName(c.command);
            if (IsDeletion(c.args)) {
                if (name.empty()) {
                    defaultValue.reset();
                } else {
                    expected.Forget(name);
                }
            } else if (name.size() > 255 && !RegistryTakesName(name)) {
                ++refusals;
            } else if (name.empty()) {
                defaultValue = c.args.substr(0, c.args.find(L'\0'));
            } else {
                expected.Write(name, c.args);
            }
        }
        stream.push_back(std::move(c));
    }
    std::printf("%zu save commands, %d names beyond the registry's limit (names of 16383 chars "
                "taken: %d, of 16384: %d)\n",
                saves, refusals, RegistryTakesName(std::wstring(16383, L'n')),
                RegistryTakesName(std::wstring(16384, L'n')));

    Start();
    SkipIntro();
    const DWORD begin = ::GetTickCount();
    for (std::size_t i = 0; i < stream.size(); ++i) {
        Send(stream[i]);
        if (HasFatalFailure()) {
            return;
        }
        if (i % 500 == 499) {
            DismissBoxes();
            ASSERT_TRUE(shell_->Running()) << "the shell ended after command " << i;
            ASSERT_TRUE(Answers()) << "the main window stopped answering after command " << i;
        }
    }
    // The player fires in order: once this last value is there, all are done.
    const std::wstring stamp = L"end of stream " + std::to_wstring(seed);
    Send({L"saveHostileStreamEnd", stamp});
    ASSERT_TRUE(WaitFor(
        [&] {
            DismissBoxes();
            return RegReadString(HKEY_LOCAL_MACHINE, kProgramKey, L"HostileStreamEnd") == stamp;
        },
        120s))
        << "expected the stream to be worked off";
    expected.Write(L"HostileStreamEnd", stamp);
    DismissBoxes();
    const DWORD elapsed = ::GetTickCount() - begin;
    std::printf("%zu commands in %lu ms (%.0f per second), %d error boxes\n", stream.size() + 1,
                elapsed, (stream.size() + 1) * 1000.0 / (elapsed ? elapsed : 1), boxes_);
    ASSERT_TRUE(shell_->Running());
    ASSERT_TRUE(Answers());
    // Refusals that came while a box was up were dropped with no box of their own.
    EXPECT_LE(boxes_, refusals) << "expected at most one error box per refused value name";
    EXPECT_EQ(boxes_ > 0, refusals > 0) << "expected an error box for the refused names";

    const auto fired = TraceMatching(trace_, {L"FSCommand"}).size();
    EXPECT_EQ(fired, stream.size() + 1) << "expected the player to fire every command";

    // Every value as sent, none lost, none invented.
    std::size_t checked = 0;
    for (const auto& [key, value] : expected.Values()) {
        const auto got = RegReadString(HKEY_LOCAL_MACHINE, kProgramKey, value.first);
        EXPECT_EQ(got, value.second) << "value '" << Narrow(value.first) << "'";
        ++checked;
    }
    EXPECT_EQ(RegReadString(HKEY_LOCAL_MACHINE, kProgramKey, L""), defaultValue)
        << "the default value";
    std::set<std::wstring> names;
    for (const auto& n : RegValueNames(HKEY_LOCAL_MACHINE, kProgramKey)) {
        if (!n.empty()) {
            names.insert(Expected::Key(n));
        }
    }
    EXPECT_EQ(names.size(), expected.Values().size()) << "expected no other values";
    std::printf("%zu values checked\n", checked);

    ASSERT_TRUE(Fire(main_, L"quit", L""));
    ASSERT_TRUE(shell_->WaitExit(30s)) << "expected quit to end the shell";

    // The next start hands every value over, in the registry's order.
    Start();
    ASSERT_TRUE(WaitTrace(trace_, {L"put", L"FlashVars"}, 30s));
    std::wstring want;
    for (const auto& n : RegValueNames(HKEY_LOCAL_MACHINE, kProgramKey)) {
        if (!n.empty()) {
            want +=
                n + L"=" + RegReadString(HKEY_LOCAL_MACHINE, kProgramKey, n).value_or(L"?") + L"&";
        }
    }
    want += L"ProcessorFreq=";
    const std::wstring vars = TraceMatching(trace_, {L"put", L"FlashVars"}).front().at(2);
    ASSERT_GE(vars.size(), want.size());
    const auto mismatch =
        std::mismatch(want.begin(), want.end(), vars.begin()).first - want.begin();
    EXPECT_EQ(vars.substr(0, want.size()), want)
        << "parameter text of " << vars.size() << " chars differs at " << mismatch << ": got '"
        << Narrow(vars.substr(mismatch, 60)) << "', expected '" << Narrow(want.substr(mismatch, 60))
        << "'";
    EXPECT_TRUE(shell_->Running());
}

} // namespace
