// The movie start: the parameter text built from the program key, the
// processor figure it carries, and a missing movie.
#include "driver.h"

#include <gtest/gtest.h>

#include <intrin.h>

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
