#include "wav.h"

namespace fw::audio {
namespace {

void Put(std::string& out, std::uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        out.push_back(static_cast<char>((v >> (8 * i)) & 0xff));
    }
}

} // namespace

std::string EncodeWav(std::span<const std::int16_t> samples, int channels, int rate) {
    auto data = static_cast<std::uint32_t>(samples.size() * 2);
    auto blockAlign = static_cast<std::uint32_t>(channels * 2);
    std::string out = "RIFF";
    Put(out, 36 + data, 4);
    out += "WAVEfmt ";
    Put(out, 16, 4);
    Put(out, 1, 2); // integer samples
    Put(out, static_cast<std::uint32_t>(channels), 2);
    Put(out, static_cast<std::uint32_t>(rate), 4);
    Put(out, static_cast<std::uint32_t>(rate) * blockAlign, 4);
    Put(out, blockAlign, 2);
    Put(out, 16, 2);
    out += "data";
    Put(out, data, 4);
    for (std::int16_t s : samples) {
        Put(out, static_cast<std::uint16_t>(s), 2);
    }
    return out;
}

} // namespace fw::audio
