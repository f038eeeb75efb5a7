#include "shell/commands.h"

#include <gtest/gtest.h>

namespace {

using fw::CommandKind;
using fw::CursorChoice;
using fw::DecideCommand;

struct KindCase {
    const wchar_t* command;
    CommandKind expected;
};

TEST(DecideCommand, MatchesWholeWordsInAnyLatinCase) {
    const KindCase cases[] = {
        {L"quit", CommandKind::Quit},
        {L"QUIT", CommandKind::Quit},
        {L"Quit", CommandKind::Quit},
        {L" quit", CommandKind::None},
        {L"quit ", CommandKind::None},
        {L"qui", CommandKind::None},
        {L"minimize", CommandKind::Minimize},
        {L"MAXIMIZE", CommandKind::Maximize},
        {L"Normalize", CommandKind::Normalize},
        {L"print", CommandKind::Print},
        {L"SetVolume", CommandKind::SetVolume},
        {L"cursor", CommandKind::Cursor},
        {L"execute", CommandKind::Execute},
        {L"save", CommandKind::Save},
        {L"SAVEcolor", CommandKind::Save},
        {L"sav", CommandKind::None},
        {L"", CommandKind::None},
        // Cyrillic letters are not folded: the Cyrillic "quit" look-alike stays unknown.
        {L"qu\u0456t", CommandKind::None},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DecideCommand(c.command, L"").kind, c.expected)
            << "for command \"" << c.command << "\"";
    }
}

struct VolumeCase {
    const wchar_t* arg;
    std::uint16_t expected;
};

TEST(DecideCommand, SetVolumeTurnsTheMovieScaleIntoPercent) {
    const VolumeCase cases[] = {
        {L"20", 100},
        {L"0", 0},
        {L"7", 35},
        {L"", 50},
        {L"abc", 50},
        {L"25", 125},
        {L"-1", 65531},
        {L" 15", 75},
        {L"$A", 50},
        {L"0x14", 100},
        {L"+3", 15},
        {L"1.5", 50},
        {L"15 ", 50},
        // 2^31/100 wraps in the 32-bit product; only the low 16 bits remain.
        {L"2147483647", static_cast<std::uint16_t>(static_cast<std::int64_t>(-5) & 0xFFFF)},
    };
    for (const auto& c : cases) {
        const auto a = DecideCommand(L"setvolume", c.arg);
        EXPECT_EQ(a.kind, CommandKind::SetVolume);
        EXPECT_EQ(a.volumePercent, c.expected) << "for argument \"" << c.arg << "\"";
    }
}

TEST(DecideCommand, CursorTakesNormAndWaitOnly) {
    EXPECT_EQ(DecideCommand(L"cursor", L"WAIT").cursor, CursorChoice::HourGlass);
    EXPECT_EQ(DecideCommand(L"cursor", L"wait").cursor, CursorChoice::HourGlass);
    EXPECT_EQ(DecideCommand(L"CURSOR", L"Norm").cursor, CursorChoice::Default);
    EXPECT_EQ(DecideCommand(L"cursor", L"busy").cursor, CursorChoice::Unchanged);
    EXPECT_EQ(DecideCommand(L"cursor", L" wait").cursor, CursorChoice::Unchanged);
}

TEST(DecideCommand, ExecuteTellsDocumentsByRtfAnywhere) {
    struct Case {
        const wchar_t* arg;
        bool document;
    } cases[] = {
        {L"help.RTF", true},  {L"rtf.txt", false},     {L"docs.rtf.exe", true},
        {L"..\\x.rtf", true}, {L"missing.exe", false}, {L"", false},
    };
    for (const auto& c : cases) {
        const auto a = DecideCommand(L"execute", c.arg);
        EXPECT_EQ(a.document, c.document) << "for \"" << c.arg << "\"";
        EXPECT_EQ(a.file, c.arg) << "the name must be kept as received";
    }
}

TEST(DecideCommand, SaveNamesTheValueFromTheFifthCharacter) {
    struct Case {
        const wchar_t* command;
        const wchar_t* arg;
        const wchar_t* name;
        bool del;
    } cases[] = {
        {L"savecolor", L"red", L"color", false},
        {L"SAVEcolor", L"NaN", L"color", true},
        {L"Save Level ", L"5", L"Level", false},
        {L"save", L"Transfering", L"", false},
        {L"saveini", L"", L"ini", false},
        {L"save\t\x01name\x1f", L"nan", L"name", true},
        {L"saveA\\B=C&D", L"x", L"A\\B=C&D", false},
        {L"save\u0423\u0440\u043e\u0432\u0435\u043d\u044c", L"nanx",
         L"\u0423\u0440\u043e\u0432\u0435\u043d\u044c", false},
    };
    for (const auto& c : cases) {
        const auto a = DecideCommand(c.command, c.arg);
        EXPECT_EQ(a.kind, CommandKind::Save);
        EXPECT_EQ(a.valueName, c.name) << "for command \"" << c.command << "\"";
        EXPECT_EQ(a.deleteValue, c.del) << "for command \"" << c.command << "\"";
        EXPECT_EQ(a.valueText, c.arg) << "the text must be kept as received";
    }
}

TEST(BuildFlashVars, JoinsSavedValuesThenTheFixedParameters) {
    EXPECT_EQ(fw::BuildFlashVars({{L"level", L"3"}}, 450, true),
              L"level=3&ProcessorFreq=450&EscIntro=-1");
    EXPECT_EQ(fw::BuildFlashVars({}, 450, false), L"ProcessorFreq=450&EscIntro=0");
    // The default value (empty name) is skipped; order and text are kept.
    EXPECT_EQ(
        fw::BuildFlashVars({{L"", L"Transfering"}, {L"level", L"3"}, {L"ini", L""}}, 0, false),
        L"level=3&ini=&ProcessorFreq=0&EscIntro=0");
    // Separators inside a saved text pass through unchanged.
    EXPECT_EQ(fw::BuildFlashVars({{L"a", L"x&b=y"}}, -1, false),
              L"a=x&b=y&ProcessorFreq=-1&EscIntro=0");
}

TEST(Volume, ReportsThePercentOnTheMovieScale) {
    struct Case {
        std::uint16_t percent;
        int movie;
    } cases[] = {{52, 10}, {53, 11}, {0, 0}, {100, 20}, {75, 15}, {2, 0}, {3, 1}};
    for (const auto& c : cases) {
        EXPECT_EQ(fw::MovieVolumeFromPercent(c.percent), c.movie) << "for " << c.percent << " %";
    }
    // Every movie volume survives the trip to percent and back.
    for (int n = 0; n <= 20; ++n) {
        EXPECT_EQ(fw::MovieVolumeFromPercent(fw::VolumePercentFromArgument(std::to_wstring(n))), n);
    }
}

TEST(CentredOrigin, TruncatesTowardZero) {
    EXPECT_EQ(fw::CentredOrigin(1024, 800), 112);
    EXPECT_EQ(fw::CentredOrigin(768, 600), 84);
    EXPECT_EQ(fw::CentredOrigin(640, 800), -80);
    EXPECT_EQ(fw::CentredOrigin(480, 600), -60);
    EXPECT_EQ(fw::CentredOrigin(641, 800), -79);
    EXPECT_EQ(fw::CentredOrigin(1023, 700), 161);
}

} // namespace
