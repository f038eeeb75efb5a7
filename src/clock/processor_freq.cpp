#include "clock/processor_freq.h"

#include "clock/processor_clock_counter.h"

#include <cmath>
#include <limits>

namespace fw {

std::int32_t ProcessorFreqFromTicks(std::int64_t ticks) {
    // Extended precision holds every 64-bit count exactly; nearbyint follows the default
    // rounding to nearest, halves to even.
    const long double mhz =
        std::nearbyint(static_cast<long double>(ticks) / (kProcessorFreqSleepMs * 1000.0L));
    constexpr auto kMin = std::numeric_limits<std::int32_t>::min();
    constexpr auto kMax = std::numeric_limits<std::int32_t>::max();
    if (mhz < kMin) {
        return kMin;
    }
    if (mhz > kMax) {
        return kMax;
    }
    return static_cast<std::int32_t>(mhz);
}

std::int32_t MeasureProcessorFreq(TProcessorClockCounter& counter) {
    counter.MeasurePrecizeTwice();
    return ProcessorFreqFromTicks(counter.ElapsedTicks());
}

} // namespace fw
