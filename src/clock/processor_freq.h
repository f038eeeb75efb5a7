#pragma once
// The processor clock figure in MHz that the movie receives at start-up: the cycles counted
// during a sleep of a quarter second, divided by the microseconds slept.

#include <cstdint>

namespace fw {

class TProcessorClockCounter;

// How long the main window's event handler sleeps while the counter times it.
inline constexpr unsigned kProcessorFreqSleepMs = 250;

// Cycles per microsecond of the timed sleep, rounded to the nearest integer with halves going
// to the even neighbour, kept within the 32-bit range.
std::int32_t ProcessorFreqFromTicks(std::int64_t ticks);

// Times the counter's event twice (its handler sleeps kProcessorFreqSleepMs) and returns the
// figure of the second timing; 0 when the processor has no usable counter.
std::int32_t MeasureProcessorFreq(TProcessorClockCounter& counter);

} // namespace fw
