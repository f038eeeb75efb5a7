#pragma once
// Sine tones for sound tests, and what a test hears in samples: how long they sound, at which
// frequency (by zero crossings) and how loud.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace fw::test {

inline std::vector<std::int16_t> Sine(double hz, double rate, std::size_t frames, int channels,
                                      double amplitude = 16000) {
    std::vector<std::int16_t> out;
    for (std::size_t i = 0; i < frames; ++i) {
        double v = amplitude * std::sin(2 * 3.14159265358979 * hz * static_cast<double>(i) / rate);
        out.insert(out.end(), static_cast<std::size_t>(channels), static_cast<std::int16_t>(v));
    }
    return out;
}

struct Heard {
    double seconds = 0; // from the first sample above the noise to the last
    double hz = 0;
    int peak = 0;
};

// One channel of interleaved samples.
inline Heard Listen(const std::vector<std::int16_t>& samples, int channels, int channel,
                    double rate) {
    Heard h;
    const auto ch = static_cast<std::size_t>(channels);
    auto at = [&](std::size_t i) { return samples[i * ch + static_cast<std::size_t>(channel)]; };
    std::size_t first = 0, last = 0, crossings = 0;
    bool any = false;
    for (std::size_t i = 0; i < samples.size() / ch; ++i) {
        h.peak = std::max(h.peak, std::abs(at(i)));
        if (std::abs(at(i)) > 300) {
            first = any ? first : i;
            last = i;
            any = true;
        }
    }
    // Whole periods between the first and the last rising crossing while it sounds.
    // A crossing counts from well below zero to well above, so coding noise counts none.
    std::size_t firstCrossing = 0, lastCrossing = 0;
    bool low = false;
    for (std::size_t i = first + 1; any && i <= last; ++i) {
        low = low || at(i) < -200;
        if (low && at(i) > 200) {
            low = false;
            firstCrossing = crossings++ ? firstCrossing : i;
            lastCrossing = i;
        }
    }
    if (any) {
        h.seconds = static_cast<double>(last - first + 1) / rate;
    }
    if (crossings > 1) {
        h.hz = static_cast<double>(crossings - 1) * rate /
               static_cast<double>(lastCrossing - firstCrossing);
    }
    return h;
}

} // namespace fw::test
