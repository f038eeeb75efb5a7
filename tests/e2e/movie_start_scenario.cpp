// wine-shares: sound serial
// The movie start: the parameter text built from the program key, the
// processor figure it carries, and a missing movie. It runs alone: the shell
// times the processor, and a test busy beside it skews that figure.
#include "driver.h"

#include <gtest/gtest.h>

#include <intrin.h>
#include <sddl.h>

#include <filesystem>

using namespace fwtest;

namespace {

// The processor's time-stamp rate in MHz, measured over a second against the
// performance counter, independently of the shell's own measurement.
double ReferenceMhz() {
    LARGE_INTEGER f, a, b;
    ::QueryPerformanceFrequency(&f);
    ::QueryPerformanceCounter(&a);
    const unsigned long long t0 = __rdtsc();
    ::Sleep(1000);
    ::QueryPerformanceCounter(&b);
    const unsigned long long t1 = __rdtsc();
    const double seconds = static_cast<double>(b.QuadPart - a.QuadPart) / f.QuadPart;
    return static_cast<double>(t1 - t0) / seconds / 1e6;
}

class MovieStart : public ::testing::Test {
protected:
    void SetUp() override { RegisterControl(CdFolder() + L"SWF\\FLASH.OCX"); }
};

} // namespace

TEST_F(MovieStart, HandsTheSavedValuesInRegistryOrderThenTheFixedParameters) {
    RegDeleteTree(HKEY_LOCAL_MACHINE, kProgramKey);
    RegWriteString(HKEY_LOCAL_MACHINE, kProgramKey, L"", L"");
    RegWriteString(HKEY_LOCAL_MACHINE, kProgramKey, L"level", L"3");
    RegWriteString(HKEY_LOCAL_MACHINE, kProgramKey, L"ini", L"");
    const auto order = RegValueNames(HKEY_LOCAL_MACHINE, kProgramKey);

    const std::wstring trace = TempFile(L"trace");
    Program shell({.trace = trace});
    ASSERT_TRUE(WaitTrace(trace, {L"put", L"FlashVars"}, 60s)) << "expected FlashVars to be set";
    const std::wstring vars = TraceMatching(trace, {L"put", L"FlashVars"}).front().at(2);

    std::wstring expectedHead;
    for (const auto& name : order) {
        if (name == L"level") {
            expectedHead += L"level=3&";
        } else if (name == L"ini") {
            expectedHead += L"ini=&";
        }
    }
    const std::wstring head = expectedHead + L"ProcessorFreq=";
    ASSERT_EQ(vars.substr(0, head.size()), head) << "got FlashVars of " << vars.size() << " chars";
    const std::wstring tail = L"&EscIntro=0";
    ASSERT_GT(vars.size(), head.size() + tail.size());
    EXPECT_EQ(vars.substr(vars.size() - tail.size()), tail);

    const std::wstring figure = vars.substr(head.size(), vars.size() - head.size() - tail.size());
    const double mhz = std::stod(figure);
    const double reference = ReferenceMhz();
    EXPECT_NEAR(mhz, reference, reference * 0.02)
        << "expected the processor figure within 2 % of the time-stamp rate";
    std::printf("ProcessorFreq=%s, reference %.1f MHz\n",
                std::string(figure.begin(), figure.end()).c_str(), reference);
}

TEST_F(MovieStart, AMissingMovieEndsTheProcessWithoutAMessage) {
    const std::wstring folder = L"C:\\nomovie\\";
    CopyTree(CdFolder(), folder);
    std::filesystem::remove(folder + L"SWF\\Game.swf");
    RegWriteString(HKEY_LOCAL_MACHINE, kProgramKey, L"", L"");
    Program shell({.exe = folder + L"Fenwobble.exe"});
    bool sawBox = false;
    const bool ended = WaitFor(
        [&] {
            sawBox = sawBox || FindWindowOf(shell.Pid(), L"#32770", L"") != nullptr;
            return !shell.Running();
        },
        30s);
    EXPECT_TRUE(ended) << "expected the process to end by itself";
    EXPECT_FALSE(sawBox) << "expected no message";
}

// A saved value that is not text stops the movie start at the error box:
// neither the parameters nor the volume reports reach the movie.
TEST_F(MovieStart, ASavedValueThatIsNotTextIsReportedAndNothingFollows) {
    RegDeleteTree(HKEY_LOCAL_MACHINE, kProgramKey);
    RegWriteString(HKEY_LOCAL_MACHINE, kProgramKey, L"", L"");
    HKEY key = nullptr;
    ASSERT_EQ(::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kProgramKey.c_str(), 0, KEY_SET_VALUE, &key),
              ERROR_SUCCESS);
    const DWORD count = 3;
    ::RegSetValueExW(key, L"count", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&count),
                     sizeof(count));
    ::RegCloseKey(key);

    const std::wstring trace = TempFile(L"trace");
    Program shell({.trace = trace});
    EXPECT_EQ(DismissMessageBox(shell.Pid(), 60s), L"Invalid data type for 'count'.");
    ASSERT_TRUE(WaitTrace(trace, {L"put", L"Movie"}, 10s));
    ::Sleep(1000);
    EXPECT_TRUE(TraceMatching(trace, {L"put", L"FlashVars"}).empty()) << "expected no parameters";
    EXPECT_TRUE(TraceMatching(trace, {L"call", L"SetVariable"}).empty())
        << "expected the volume timer not started";
    RegDeleteTree(HKEY_LOCAL_MACHINE, kProgramKey);
}

// Without the program key the movie gets no parameters at all, not even the
// two fixed ones: here the key goes while the intro plays.
TEST_F(MovieStart, WithoutTheProgramKeyTheMovieGetsNoParameters) {
    RegWriteString(HKEY_LOCAL_MACHINE, kProgramKey, L"", L"");
    const std::wstring trace = TempFile(L"trace");
    Program shell({.trace = trace});
    HWND main = WaitWindow(shell.Pid(), L"TMainForm", L"MainForm", 60s, false);
    ASSERT_NE(main, nullptr);
    ASSERT_TRUE(WaitTrace(trace, {L"put", L"FlashVars"}, 20s));
    RegDeleteTree(HKEY_LOCAL_MACHINE, kProgramKey);
    PostKey(main, VK_ESCAPE);
    ASSERT_TRUE(WaitFor(
        [&] {
            return TraceMatching(trace, {L"put", L"Movie"}).size() >= 2;
        },
        20s))
        << "expected the movie started again after the skip";
    ::Sleep(500);
    EXPECT_EQ(TraceMatching(trace, {L"put", L"FlashVars"}).size(), 1u)
        << "expected no parameters on the second start";
    EXPECT_FALSE(TraceMatching(trace, {L"call", L"SetVariable"}).empty())
        << "expected the volume reports to go on";
}

// A program key that can be read but not opened for writing (no right to
// write under HKEY_LOCAL_MACHINE): no saved value is found, and the movie
// gets the two fixed parameters alone.
TEST_F(MovieStart, AKeyThatCannotBeOpenedGivesOnlyTheFixedParameters) {
    RegDeleteTree(HKEY_LOCAL_MACHINE, kProgramKey);
    RegWriteString(HKEY_LOCAL_MACHINE, kProgramKey, L"", L"");
    RegWriteString(HKEY_LOCAL_MACHINE, kProgramKey, L"level", L"3");
    PSECURITY_DESCRIPTOR readOnly = nullptr;
    ASSERT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorW(
        L"D:P(A;;KR;;;WD)", SDDL_REVISION_1, &readOnly, nullptr));
    HKEY key = nullptr;
    ASSERT_EQ(::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kProgramKey.c_str(), 0, WRITE_DAC, &key),
              ERROR_SUCCESS);
    ASSERT_EQ(::RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, readOnly), ERROR_SUCCESS);
    ::RegCloseKey(key);
    ::LocalFree(readOnly);
    HKEY probe = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kProgramKey.c_str(), 0, KEY_ALL_ACCESS, &probe) ==
        ERROR_SUCCESS) {
        ::RegCloseKey(probe);
        GTEST_SKIP() << "this registry does not enforce the key's access rights";
    }

    const std::wstring trace = TempFile(L"trace");
    Program shell({.trace = trace});
    ASSERT_TRUE(WaitTrace(trace, {L"put", L"FlashVars"}, 60s));
    const std::wstring vars = TraceMatching(trace, {L"put", L"FlashVars"}).front().at(2);
    EXPECT_EQ(vars.rfind(L"ProcessorFreq=", 0), 0u) << "expected no saved value";
    EXPECT_NE(vars.find(L"&EscIntro=0"), std::wstring::npos);
}
