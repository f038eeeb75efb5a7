#pragma once
// MP3 decoding for the runner and the host tests, through the system's mpg123 library.

#include "audio/decode.h"

namespace fw::play {

class Mpg123Decoder : public audio::Mp3Decoder {
public:
    bool Decode(std::span<const std::uint8_t> bytes, audio::Pcm& out, std::string& error) override;
};

} // namespace fw::play
