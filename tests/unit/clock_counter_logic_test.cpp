#include "clock/processor_clock_counter.h"

#include <gtest/gtest.h>

#include <deque>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using fw::TClockPriority;

// Stands for the processor and the system: hands out scripted counter readings and records
// every call, so a test sees the order of reads and priority changes.
class FakeClockPort : public fw::ClockPort {
public:
    using PassStamps = fw::PassStamps;
    using StampPair = fw::StampPair;
    struct State {
        std::deque<std::uint64_t> readings;
        std::uint64_t probe = 1000;
        bool probeThrows = false;
        std::uint32_t processClass = fw::kNormalPriorityClass;
        std::int32_t threadPriority = 0;
        std::vector<std::string> log;
        std::vector<std::wstring> messages;
        std::vector<std::uint8_t> block = std::vector<std::uint8_t>(fw::kNopBlockSize);
        int nopRuns = 0;
        int eventCalls = 0;
        PassStamps pass;
        std::deque<StampPair> emptyCalls;
        std::deque<StampPair> eventCallStamps;
    };
    explicit FakeClockPort(State& s) : s_(s) {}

    std::uint64_t ReadTimeStampCounter() noexcept override {
        s_.log.push_back("rdtsc");
        if (s_.readings.empty()) {
            ADD_FAILURE() << "expected a scripted reading, got none left";
            return 0;
        }
        const auto value = s_.readings.front();
        s_.readings.pop_front();
        return value;
    }
    std::uint64_t ProbeTimeStampCounter() override {
        s_.log.push_back("probe");
        if (s_.probeThrows) {
            throw std::runtime_error("privileged instruction");
        }
        return s_.probe;
    }
    fw::PriorityHandle GetCurrentProcess() override { return &s_.processClass; }
    std::uint32_t GetPriorityClass(fw::PriorityHandle h) override {
        EXPECT_EQ(h, &s_.processClass);
        s_.log.push_back("getclass");
        return s_.processClass;
    }
    bool SetPriorityClass(fw::PriorityHandle h, std::uint32_t c) override {
        EXPECT_EQ(h, &s_.processClass);
        s_.log.push_back("class=" + std::to_string(c));
        return true;
    }
    fw::PriorityHandle GetCurrentThread() override { return &s_.threadPriority; }
    std::int32_t GetThreadPriority(fw::PriorityHandle h) override {
        EXPECT_EQ(h, &s_.threadPriority);
        s_.log.push_back("getthread");
        return s_.threadPriority;
    }
    bool SetThreadPriority(fw::PriorityHandle h, std::int32_t p) override {
        EXPECT_EQ(h, &s_.threadPriority);
        s_.log.push_back("thread=" + std::to_string(p));
        return false; // refused priorities are ignored
    }
    std::span<std::uint8_t> NopBlockMemory() override { return s_.block; }
    void SealNopBlock() override { s_.log.push_back("seal"); }
    void RunNopBlock() override {
        s_.log.push_back("nops");
        ++s_.nopRuns;
    }
    void PrecizePass(const fw::TPrecizeProc& event, fw::TProcessorClockCounter* sender,
                     PassStamps& stamps) override {
        s_.log.push_back("pass");
        stamps.Empty = s_.pass.Empty;
        stamps.Event.Start = s_.pass.Event.Start;
        event.Code(event.Data, sender);
        stamps.Event.Stop = s_.pass.Event.Stop;
    }
    void TimeEmptyCall(const fw::TPrecizeProc&, fw::TProcessorClockCounter*,
                       StampPair& stamps) override {
        s_.log.push_back("empty");
        stamps = s_.emptyCalls.front();
        s_.emptyCalls.pop_front();
    }
    void TimeEventCall(const fw::TPrecizeProc& event, fw::TProcessorClockCounter* sender,
                       StampPair& stamps) override {
        s_.log.push_back("event");
        stamps = s_.eventCallStamps.front();
        s_.eventCallStamps.pop_front();
        event.Code(event.Data, sender);
    }
    void ShowMessage(std::wstring_view text) override { s_.messages.emplace_back(text); }

private:
    State& s_;
};

// The owner of the event, as the main window is.
struct Owner {
    int calls = 0;
    fw::TProcessorClockCounter* lastSender = nullptr;
    bool fail = false;
    void PrecizeProc(fw::TProcessorClockCounter* sender) {
        ++calls;
        lastSender = sender;
        if (fail) {
            throw std::runtime_error("handler failed");
        }
    }
};

// Calibration reads: the warm-up pair, then the pair whose count is kept.
void ScriptCalibration(FakeClockPort::State& s, std::uint64_t start, std::uint64_t stop) {
    s.readings.insert(s.readings.end(), {100, 150, start, stop});
}

std::unique_ptr<fw::TProcessorClockCounter> MakeCounter(FakeClockPort::State& s) {
    return std::make_unique<fw::TProcessorClockCounter>(std::make_unique<FakeClockPort>(s));
}

TEST(ClockCounter, ConstructionTestsFillsCalibratesInOrder) {
    FakeClockPort::State s;
    ScriptCalibration(s, 1000, 1042);
    auto counter = MakeCounter(s);

    EXPECT_TRUE(counter->CounterSupported());
    EXPECT_TRUE(s.messages.empty());
    EXPECT_EQ(counter->Calibration(), 42) << "the second empty pair's count";
    EXPECT_EQ(counter->ElapsedTicks(), 0);
    EXPECT_EQ(counter->ClockPriority(), TClockPriority::cpNormal);
    const std::vector<std::string> expected = {
        "probe", "seal", "getclass", "getthread", // support test, block,
                                                  // UpdateClockPriority
        "getclass", "getthread",                  // Calibrate reads the priorities again
        "class=32", "thread=0", "rdtsc", "rdtsc", "class=32", "thread=0", // warm-up pair
        "class=32", "thread=0", "rdtsc", "rdtsc", "class=32", "thread=0"};
    EXPECT_EQ(s.log, expected);

    for (std::size_t i = 0; i + 1 < s.block.size(); ++i) {
        if (s.block[i] != fw::kNopOpcode) {
            FAIL() << "expected NOP at " << i << ", got " << int(s.block[i]);
        }
    }
    EXPECT_EQ(s.block.back(), fw::kRetOpcode);
}

struct SupportCase {
    const char* name;
    bool probeThrows;
    std::uint64_t probe;
};

TEST(ClockCounter, UnsupportedCounterShowsNoteOnceAndMeasuresNothing) {
    const SupportCase cases[] = {{"read raises", true, 1000}, {"read gives zero", false, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeClockPort::State s;
        s.probeThrows = c.probeThrows;
        s.probe = c.probe;
        auto counter = MakeCounter(s);
        Owner owner;
        counter->SetOnPrecizeProc(fw::PrecizeMethod<&Owner::PrecizeProc>(&owner));

        EXPECT_FALSE(counter->CounterSupported());
        ASSERT_EQ(s.messages.size(), 1u);
        EXPECT_EQ(s.messages[0], L"Clock counter is not supported on this processor !");
        EXPECT_EQ(counter->Calibration(), 0);

        counter->SetClockPriority(TClockPriority::cpHigh); // no calibration: no reading scripted
        counter->Calibrate();
        counter->MeasurePrecizeTwice();
        EXPECT_EQ(counter->ElapsedTicks(), 0);
        counter->MeasurePrecizeOnce();
        EXPECT_EQ(counter->ElapsedTicks(), 0);
        EXPECT_EQ(owner.calls, 0);
        EXPECT_EQ(s.nopRuns, 0);
        EXPECT_EQ(s.messages.size(), 1u);
        for (const auto& entry : s.log) {
            EXPECT_NE(entry, "rdtsc") << "no read may follow a failed support test";
        }
    }
}

struct SpanCase {
    const char* name;
    std::uint64_t start, stop;
    std::int64_t expected;
};

TEST(ClockCounter, StopSubtractsStartAndCalibrationOnFull64Bits) {
    const SpanCase cases[] = {
        {"plain", 5000, 7042, 2000},
        {"empty pair is about zero", 5000, 5042, 0},
        {"shorter than calibration is negative", 5000, 5030, -12},
        {"borrow from the high half", 0x1'0000'0000ull - 8, 0x1'0000'0000ull + 100, 66},
        {"counter wrapped around", 0xFFFF'FFFF'FFFF'FF00ull, 0x100, 470},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeClockPort::State s;
        ScriptCalibration(s, 1000, 1042);
        auto counter = MakeCounter(s);
        s.log.clear();
        s.readings = {c.start, c.stop};
        counter->Start();
        EXPECT_EQ(s.log.back(), "rdtsc") << "the read is the last action of Start";
        counter->Stop();
        EXPECT_EQ(s.log[3], "rdtsc") << "the read is the first action of Stop";
        EXPECT_EQ(counter->ElapsedTicks(), c.expected);
    }
}

TEST(ClockCounter, CurrentTicksReadsWithoutChangingAnything) {
    FakeClockPort::State s;
    ScriptCalibration(s, 1000, 1042);
    auto counter = MakeCounter(s);
    s.readings = {10'000, 10'500, 12'000};
    counter->Start();
    s.log.clear();
    EXPECT_EQ(counter->CurrentTicks(), 10'500 - 10'000 - 42);
    EXPECT_EQ(counter->CurrentTicks(), 12'000 - 10'000 - 42);
    EXPECT_EQ(counter->ElapsedTicks(), 0);
    EXPECT_EQ(s.log, (std::vector<std::string>{"rdtsc", "rdtsc"}));
}

struct PriorityCase {
    TClockPriority value;
    std::uint32_t measureClass;
    std::int32_t threadPriority;
};

TEST(ClockCounter, PriorityTableSetsWhatStartUsesAndStopRestores) {
    const PriorityCase cases[] = {
        {TClockPriority::cpIdle, 0x40, -15},
        {TClockPriority::cpHigh, 0x80, 2},
        {TClockPriority::cpRealTime, 0x100, 15},
        // cpProcessDefined takes the priorities last read, here those of the process below.
        {TClockPriority::cpProcessDefined, 0x8000, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.value));
        FakeClockPort::State s;
        s.processClass = 0x8000; // ABOVE_NORMAL: not one of the four
        s.threadPriority = 1;
        ScriptCalibration(s, 1000, 1042);
        auto counter = MakeCounter(s);
        s.log.clear();
        ScriptCalibration(s, 2000, 2010);
        counter->SetClockPriority(c.value);
        EXPECT_EQ(counter->ClockPriority(), c.value);
        EXPECT_EQ(counter->Calibration(), 10) << "any other value recalibrates at once";
        const std::string cls = "class=" + std::to_string(c.measureClass);
        const std::string thr = "thread=" + std::to_string(c.threadPriority);
        const std::vector<std::string> expected = {
            "getclass", "getthread", cls, thr,     "rdtsc", "rdtsc",       "class=32768",
            "thread=1", cls,         thr, "rdtsc", "rdtsc", "class=32768", "thread=1"};
        EXPECT_EQ(s.log, expected);
    }
}

TEST(ClockCounter, SameClockPriorityDoesNotRecalibrate) {
    FakeClockPort::State s;
    ScriptCalibration(s, 1000, 1042);
    auto counter = MakeCounter(s);
    s.log.clear();
    counter->SetClockPriority(TClockPriority::cpNormal);
    EXPECT_TRUE(s.log.empty());
    EXPECT_EQ(counter->Calibration(), 42);
}

TEST(ClockCounter, ProcessDefinedUsesPrioritiesOfLatestReadNotOfMeasuring) {
    FakeClockPort::State s;
    s.processClass = fw::kHighPriorityClass;
    s.threadPriority = 2;
    ScriptCalibration(s, 1000, 1042);
    auto counter = MakeCounter(s);
    ScriptCalibration(s, 1000, 1042);
    counter->SetClockPriority(TClockPriority::cpProcessDefined);
    // The process changes afterwards; Start still sets what was read.
    s.processClass = fw::kIdlePriorityClass;
    s.threadPriority = -15;
    s.log.clear();
    s.readings = {1, 2};
    counter->Start();
    counter->Stop();
    EXPECT_EQ(s.log, (std::vector<std::string>{"class=128", "thread=2", "rdtsc", "rdtsc",
                                               "class=128", "thread=2"}));
}

struct UpdateCase {
    std::uint32_t processClass;
    TClockPriority expected;
};

TEST(ClockCounter, UpdateClockPriorityFollowsMeasureClass) {
    // After cpProcessDefined the measure class is the process's own; the four known classes
    // turn into their fixed choices, any other class leaves cpProcessDefined in place.
    const UpdateCase cases[] = {
        {0x20, TClockPriority::cpNormal},
        {0x40, TClockPriority::cpIdle},
        {0x80, TClockPriority::cpHigh},
        {0x100, TClockPriority::cpRealTime},
        {0x4000, TClockPriority::cpProcessDefined},
        {0x8000, TClockPriority::cpProcessDefined},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.processClass);
        FakeClockPort::State s;
        s.processClass = c.processClass;
        ScriptCalibration(s, 1000, 1042);
        auto counter = MakeCounter(s);
        ScriptCalibration(s, 1000, 1042);
        counter->SetClockPriority(TClockPriority::cpProcessDefined);
        s.log.clear();
        counter->UpdateClockPriority();
        EXPECT_EQ(counter->ClockPriority(), c.expected);
        EXPECT_EQ(s.log, (std::vector<std::string>{"getclass", "getthread"})) << "no recalibration";
    }
}

TEST(ClockCounter, PriorityTablesAgree) {
    for (int i = 0; i <= 4; ++i) {
        const auto value = static_cast<TClockPriority>(i);
        const auto setting = fw::FixedClockPriority(value);
        if (value == TClockPriority::cpProcessDefined) {
            EXPECT_FALSE(setting.has_value());
            continue;
        }
        ASSERT_TRUE(setting.has_value());
        EXPECT_EQ(fw::ClockPriorityOfClass(setting->MeasureClass), value);
    }
    EXPECT_FALSE(fw::ClockPriorityOfClass(0).has_value());
}

TEST(ClockCounter, WithoutEventPreciseMeasurementsGiveZeroAndRunNothing) {
    FakeClockPort::State s;
    ScriptCalibration(s, 1000, 1042);
    auto counter = MakeCounter(s);
    s.readings = {5000, 9000};
    counter->Start();
    counter->Stop();
    ASSERT_NE(counter->ElapsedTicks(), 0);
    s.log.clear();
    counter->MeasurePrecizeTwice();
    EXPECT_EQ(counter->ElapsedTicks(), 0);
    counter->MeasurePrecizeOnce();
    EXPECT_EQ(counter->ElapsedTicks(), 0);
    EXPECT_TRUE(s.log.empty());
}

TEST(ClockCounter, PreciseTwiceRunsBlockOnceEventTwiceAndSubtractsEmptyCall) {
    FakeClockPort::State s;
    ScriptCalibration(s, 1000, 1042);
    auto counter = MakeCounter(s);
    Owner owner;
    counter->SetOnPrecizeProc(fw::PrecizeMethod<&Owner::PrecizeProc>(&owner));
    s.pass = {{0xFFFF'FFFF'FFFF'FFF0ull, 0x10}, {0x1000, 0x1000 + 750'000'000}};
    s.log.clear();
    counter->MeasurePrecizeTwice();
    EXPECT_EQ(owner.calls, 2);
    EXPECT_EQ(owner.lastSender, counter.get());
    EXPECT_EQ(s.log, (std::vector<std::string>{"nops", "pass", "pass"}));
    EXPECT_EQ(counter->ElapsedTicks(), 750'000'000 - 32) << "calibration is not used";
}

TEST(ClockCounter, PreciseOnceRunsBlockTwiceEventOnce) {
    FakeClockPort::State s;
    ScriptCalibration(s, 1000, 1042);
    auto counter = MakeCounter(s);
    Owner owner;
    counter->SetOnPrecizeProc(fw::PrecizeMethod<&Owner::PrecizeProc>(&owner));
    s.emptyCalls = {{7000, 7025}};
    s.eventCallStamps = {{9000, 9010}};
    s.log.clear();
    counter->MeasurePrecizeOnce();
    EXPECT_EQ(owner.calls, 1);
    EXPECT_EQ(s.log, (std::vector<std::string>{"nops", "empty", "nops", "event"}));
    EXPECT_EQ(counter->ElapsedTicks(), -15) << "an event cheaper than the empty call";
}

TEST(ClockCounter, EventErrorLeavesMeasurementAndKeepsLastCompletedCount) {
    struct ErrorCase {
        const char* name;
        bool twice;
    };
    for (const auto& c : {ErrorCase{"twice", true}, ErrorCase{"once", false}}) {
        SCOPED_TRACE(c.name);
        FakeClockPort::State s;
        ScriptCalibration(s, 1000, 1042);
        auto counter = MakeCounter(s);
        Owner owner;
        owner.fail = true;
        counter->SetOnPrecizeProc(fw::PrecizeMethod<&Owner::PrecizeProc>(&owner));
        s.pass = {{0, 10}, {100, 600}};
        s.emptyCalls = {{0, 10}};
        s.eventCallStamps = {{100, 600}};
        if (c.twice) {
            EXPECT_THROW(counter->MeasurePrecizeTwice(), std::runtime_error);
        } else {
            EXPECT_THROW(counter->MeasurePrecizeOnce(), std::runtime_error);
        }
        EXPECT_EQ(owner.calls, 1) << "the first failure ends the measurement";
        EXPECT_EQ(counter->ElapsedTicks(), 0);

        // The error is not kept for the next measurement.
        owner.fail = false;
        s.emptyCalls = {{0, 10}};
        s.eventCallStamps = {{100, 600}};
        if (c.twice) {
            counter->MeasurePrecizeTwice();
        } else {
            counter->MeasurePrecizeOnce();
        }
        EXPECT_EQ(counter->ElapsedTicks(), 490);
    }
}

} // namespace
