#pragma once
// MP3 sounds decoded by the platform's own codec, through the audio compression manager.

#include "audio/decode.h"

namespace fw::player {

class AcmMp3Decoder : public audio::Mp3Decoder {
public:
    bool Decode(std::span<const std::uint8_t> bytes, audio::Pcm& out, std::string& error) override;
};

} // namespace fw::player
