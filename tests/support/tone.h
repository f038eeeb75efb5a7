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
    std::size_t first = 0, last = 0, crossings = 0;
    bool any = false;
    for (std::size_t i = 0; i < samples.size() / ch; ++i) {
        int s = samples[i * ch + static_cast<std::size_t>(channel)];
        h.peak = std::max(h.peak, std::abs(s));
        if (std::abs(s) > 300) {
            first = any ? first : i;
            last = i;
            any = true;
        }
        if (i > 0 && samples[(i - 1) * ch + static_cast<std::size_t>(channel)] < 0 && s >= 0) {
            ++crossings;
        }
    }
    if (any) {
        h.seconds = static_cast<double>(last - first + 1) / rate;
        h.hz = static_cast<double>(crossings) / h.seconds;
    }
    return h;
}

} // namespace fw::test
