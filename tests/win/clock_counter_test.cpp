// The clock counter on the real processor: support test, calibration, the NOP block, the timed
// calls of the event and the frequency figure against an independent measurement.

#include "clock/processor_clock_counter.h"
#include "clock/processor_freq.h"
#include "clock/win_clock_port.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

// Counts the runs of the NOP block on the way to the real one.
class CountingPort : public fw::Win32ClockPort {
public:
    CountingPort(int& nopRuns, std::vector<std::wstring>& notes)
        : Win32ClockPort([&notes](std::wstring_view text) { notes.emplace_back(text); }),
          nopRuns_(nopRuns) {}
    void RunNopBlock() override {
        ++nopRuns_;
        Win32ClockPort::RunNopBlock();
    }

private:
    int& nopRuns_;
};

struct Fixture {
    int nopRuns = 0;
    std::vector<std::wstring> notes;
    CountingPort* port = nullptr;
    std::unique_ptr<fw::TProcessorClockCounter> counter;

    Fixture() {
        auto p = std::make_unique<CountingPort>(nopRuns, notes);
        port = p.get();
        counter = std::make_unique<fw::TProcessorClockCounter>(std::move(p));
    }
};

// The main window's handler, which sleeps a quarter second.
struct Sleeper {
    int calls = 0;
    bool fail = false;
    void PrecizeProc(fw::TProcessorClockCounter*) {
        ++calls;
        ::Sleep(fw::kProcessorFreqSleepMs);
        if (fail) {
            throw std::runtime_error("sleep interrupted");
        }
    }
};

// What an empty Start/Stop pair may cost at most, in cycles: a few microseconds.
constexpr std::int64_t kSmallCount = 50'000;

TEST(ClockCounterWin, ConstructionFindsCounterAndCalibrates) {
    Fixture f;
    EXPECT_TRUE(f.counter->CounterSupported());
    EXPECT_TRUE(f.notes.empty()) << "expected no note, got one";
    EXPECT_GT(f.counter->Calibration(), 0);
    EXPECT_LT(f.counter->Calibration(), kSmallCount);
    EXPECT_EQ(f.counter->ElapsedTicks(), 0);
    EXPECT_EQ(f.counter->ClockPriority(), fw::TClockPriority::cpNormal);
    EXPECT_EQ(f.nopRuns, 0);
    std::printf("calibration: %lld cycles\n", static_cast<long long>(f.counter->Calibration()));

    // An empty pair after calibration counts about nothing, possibly below zero.
    f.counter->Start();
    f.counter->Stop();
    EXPECT_GT(f.counter->ElapsedTicks(), -kSmallCount);
    EXPECT_LT(f.counter->ElapsedTicks(), kSmallCount);
}

TEST(ClockCounterWin, NopBlockIsExecutableCodeOwnedByTheCounter) {
    Fixture f;
    const auto block = f.port->NopBlock();
    ASSERT_EQ(block.size(), 524'288u);
    std::size_t nops = 0;
    for (std::size_t i = 0; i + 1 < block.size(); ++i) {
        nops += block[i] == 0x90;
    }
    EXPECT_EQ(nops, 524'287u);
    EXPECT_EQ(block.back(), 0xC3);

    MEMORY_BASIC_INFORMATION info{};
    ASSERT_NE(::VirtualQuery(block.data(), &info, sizeof(info)), 0u);
    EXPECT_EQ(info.Protect, static_cast<DWORD>(PAGE_EXECUTE_READ))
        << "expected execute-read, got 0x" << std::hex << info.Protect;
    EXPECT_GE(info.RegionSize, block.size());
}

struct PreciseCase {
    const char* name;
    bool twice;
    int events;
    int nopRuns;
};

TEST(ClockCounterWin, PreciseMeasurementsRunEventAndBlockAsOften) {
    const PreciseCase cases[] = {{"twice", true, 2, 1}, {"once", false, 1, 2}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Fixture f;
        Sleeper sleeper;
        f.counter->SetOnPrecizeProc(fw::PrecizeMethod<&Sleeper::PrecizeProc>(&sleeper));
        if (c.twice) {
            f.counter->MeasurePrecizeTwice();
        } else {
            f.counter->MeasurePrecizeOnce();
        }
        EXPECT_EQ(sleeper.calls, c.events);
        EXPECT_EQ(f.nopRuns, c.nopRuns);
        // A quarter second is far more than any processor counts in a microsecond.
        EXPECT_GT(f.counter->ElapsedTicks(), 250'000);
    }
}

TEST(ClockCounterWin, WithoutEventMeasurementsGiveZero) {
    Fixture f;
    f.counter->Start();
    f.counter->Stop();
    f.counter->MeasurePrecizeTwice();
    EXPECT_EQ(f.counter->ElapsedTicks(), 0);
    f.counter->MeasurePrecizeOnce();
    EXPECT_EQ(f.counter->ElapsedTicks(), 0);
    EXPECT_EQ(f.nopRuns, 0);
}

TEST(ClockCounterWin, HandlerErrorCrossesTheTimedCall) {
    Fixture f;
    Sleeper sleeper;
    sleeper.fail = true;
    f.counter->SetOnPrecizeProc(fw::PrecizeMethod<&Sleeper::PrecizeProc>(&sleeper));
    try {
        f.counter->MeasurePrecizeTwice();
        ADD_FAILURE() << "expected the handler's error, got none";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "sleep interrupted");
    }
    EXPECT_EQ(sleeper.calls, 1);
    EXPECT_EQ(f.counter->ElapsedTicks(), 0);
}

struct PriorityCase {
    fw::TClockPriority value;
    DWORD processClass;
    int threadPriority;
};

TEST(ClockCounterWin, StartRaisesAndStopRestoresPriorities) {
    const HANDLE process = ::GetCurrentProcess();
    const HANDLE thread = ::GetCurrentThread();
    const DWORD savedClass = ::GetPriorityClass(process);
    const int savedThread = ::GetThreadPriority(thread);
    const PriorityCase cases[] = {
        {fw::TClockPriority::cpHigh, HIGH_PRIORITY_CLASS, THREAD_PRIORITY_HIGHEST},
        {fw::TClockPriority::cpIdle, IDLE_PRIORITY_CLASS, THREAD_PRIORITY_IDLE},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.value));
        Fixture f;
        f.counter->SetClockPriority(c.value);
        f.counter->Start();
        const DWORD during = ::GetPriorityClass(process);
        const int duringThread = ::GetThreadPriority(thread);
        f.counter->Stop();
        // The system may refuse a class; the span is then timed at what it granted.
        if (during == c.processClass) {
            EXPECT_EQ(duringThread, c.threadPriority);
        } else {
            std::printf("priority class 0x%lx refused, got 0x%lx\n", c.processClass, during);
        }
        EXPECT_EQ(::GetPriorityClass(process), savedClass);
        EXPECT_EQ(::GetThreadPriority(thread), savedThread);
    }
    ::SetPriorityClass(process, savedClass);
    ::SetThreadPriority(thread, savedThread);
}

// The time-stamp rate measured without the counter: its readings over a second of
// QueryPerformanceCounter.
double ReferenceMhz() {
    LARGE_INTEGER frequency, t0, t1;
    ::QueryPerformanceFrequency(&frequency);
    ::QueryPerformanceCounter(&t0);
    const unsigned long long c0 = __builtin_ia32_rdtsc();
    ::Sleep(1000);
    const unsigned long long c1 = __builtin_ia32_rdtsc();
    ::QueryPerformanceCounter(&t1);
    const double microseconds = static_cast<double>(t1.QuadPart - t0.QuadPart) * 1e6 /
                                static_cast<double>(frequency.QuadPart);
    return static_cast<double>(c1 - c0) / microseconds;
}

TEST(ClockCounterWin, FigureAgreesWithIndependentRate) {
    Fixture f;
    Sleeper sleeper;
    f.counter->SetOnPrecizeProc(fw::PrecizeMethod<&Sleeper::PrecizeProc>(&sleeper));
    const std::int32_t figure = fw::MeasureProcessorFreq(*f.counter);
    const double reference = ReferenceMhz();
    std::printf("ProcessorFreq=%ld, reference %.1f MHz\n", static_cast<long>(figure), reference);
    EXPECT_EQ(sleeper.calls, 2);
    EXPECT_GT(figure, 0);
    EXPECT_NEAR(figure, reference, reference * 0.02)
        << "expected within 2 % of " << reference << ", got " << figure;
}

} // namespace
