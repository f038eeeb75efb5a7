#pragma once
// A WAV file of 16-bit samples, as the runner writes what the mixer produced.

#include <cstdint>
#include <span>
#include <string>

namespace fw::audio {

std::string EncodeWav(std::span<const std::int16_t> samples, int channels, int rate);

} // namespace fw::audio
