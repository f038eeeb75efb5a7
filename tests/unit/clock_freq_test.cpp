#include "clock/processor_clock_counter.h"
#include "clock/processor_freq.h"
#include "clock/print_layout.h"

#include <gtest/gtest.h>

#include <limits>

namespace {

struct FreqCase {
    std::int64_t ticks;
    std::int32_t mhz;
};

TEST(ProcessorFreq, CyclesPerMicrosecondRoundedHalfToEven) {
    const FreqCase cases[] = {
        {125'000'000, 500},
        {125'000, 0}, // exactly 0.5
        {375'000, 2}, // exactly 1.5
        {625'000, 2}, // exactly 2.5
        {624'999, 2},
        {625'001, 3},
        {0, 0},
        {-125'000, 0}, // an empty-call correction larger than the span
        {-375'000, -2},
        {3'000'000'000'000LL, 12'000'000},
        {std::numeric_limits<std::int64_t>::max(), std::numeric_limits<std::int32_t>::max()},
        {std::numeric_limits<std::int64_t>::min(), std::numeric_limits<std::int32_t>::min()},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(fw::ProcessorFreqFromTicks(c.ticks), c.mhz) << "ticks " << c.ticks;
    }
}

// A processor whose every timed sleep counts the same number of cycles.
class SteadyPort : public fw::ClockPort {
public:
    SteadyPort(bool supported, std::uint64_t sleepTicks, int& sleeps)
        : supported_(supported), sleepTicks_(sleepTicks), sleeps_(sleeps) {}
    std::uint64_t ReadTimeStampCounter() noexcept override { return now_ += 10; }
    std::uint64_t ProbeTimeStampCounter() override { return supported_ ? 1 : 0; }
    fw::PriorityHandle GetCurrentProcess() override { return nullptr; }
    std::uint32_t GetPriorityClass(fw::PriorityHandle) override { return 0x20; }
    bool SetPriorityClass(fw::PriorityHandle, std::uint32_t) override { return true; }
    fw::PriorityHandle GetCurrentThread() override { return nullptr; }
    std::int32_t GetThreadPriority(fw::PriorityHandle) override { return 0; }
    bool SetThreadPriority(fw::PriorityHandle, std::int32_t) override { return true; }
    std::span<std::uint8_t> NopBlockMemory() override { return block_; }
    void SealNopBlock() override {}
    void RunNopBlock() override {}
    void PrecizePass(const fw::TPrecizeProc& event, fw::TProcessorClockCounter* sender,
                     fw::PassStamps& stamps) override {
        stamps.Empty = {now_, now_ + 20};
        stamps.Event.Start = now_ + 40;
        event.Code(event.Data, sender);
        stamps.Event.Stop = now_ + 40 + 20 + sleepTicks_;
        now_ += 100 + sleepTicks_;
    }
    void TimeEmptyCall(const fw::TPrecizeProc&, fw::TProcessorClockCounter*,
                       fw::StampPair&) override {
        ADD_FAILURE() << "the figure uses the two-pass measurement";
    }
    void TimeEventCall(const fw::TPrecizeProc&, fw::TProcessorClockCounter*,
                       fw::StampPair&) override {
        ADD_FAILURE() << "the figure uses the two-pass measurement";
    }
    void ShowMessage(std::wstring_view) override { ++notes; }
    int notes = 0;

private:
    bool supported_;
    std::uint64_t sleepTicks_;
    int& sleeps_;
    std::uint64_t now_ = 1'000'000;
    std::vector<std::uint8_t> block_ = std::vector<std::uint8_t>(16);
};

struct Sleeper {
    int* sleeps;
    void Sleep(fw::TProcessorClockCounter*) { ++*sleeps; }
};

struct MeasureCase {
    bool supported;
    std::uint64_t sleepTicks;
    std::int32_t mhz;
    int sleeps;
};

TEST(ProcessorFreq, MeasureTimesTheSleepTwiceAndKeepsTheSecond) {
    const MeasureCase cases[] = {
        {true, 125'000'000, 500, 2},
        {true, 375'000, 2, 2},
        {false, 125'000'000, 0, 0},
    };
    for (const auto& c : cases) {
        int sleeps = 0;
        fw::TProcessorClockCounter counter(
            std::make_unique<SteadyPort>(c.supported, c.sleepTicks, sleeps));
        Sleeper sleeper{&sleeps};
        counter.SetOnPrecizeProc(fw::PrecizeMethod<&Sleeper::Sleep>(&sleeper));
        EXPECT_EQ(fw::MeasureProcessorFreq(counter), c.mhz) << "ticks " << c.sleepTicks;
        EXPECT_EQ(sleeps, c.sleeps);
    }
}

struct FitCase {
    int pictureW, pictureH, pageW, pageH;
    fw::PageRect expected;
};

TEST(PrintLayout, PictureAsLargeAsFitsKeepingAspectCentred) {
    const FitCase cases[] = {
        {800, 600, 1100, 850, {0, 12, 1100, 825}},   // width limits
        {800, 600, 3300, 2400, {50, 0, 3200, 2400}}, // height limits
        {800, 600, 1600, 1200, {0, 0, 1600, 1200}},  // exact
        {1024, 768, 800, 600, {0, 0, 800, 600}},     // shrinks
        {640, 480, 6600, 5100, {0, 75, 6600, 4950}},
        {10000, 1, 100, 100, {0, 49, 100, 1}}, // a line stays one pixel high
        {0, 600, 1100, 850, {}},
        {800, -1, 1100, 850, {}},
        {800, 600, 0, 850, {}},
        {2'000'000'000, 2'000'000'000, 1100, 850, {125, 0, 850, 850}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(fw::FitCentred(c.pictureW, c.pictureH, c.pageW, c.pageH), c.expected)
            << c.pictureW << "x" << c.pictureH << " on " << c.pageW << "x" << c.pageH;
    }
}

} // namespace
