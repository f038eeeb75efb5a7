// The sound readers, decoders and mixer. Input: the first byte chooses StartSound (bit 0) or
// StartSound2 and whether MP3 goes through mpg123 (bit 1); a DefineSound body follows after a
// 16-bit length (low first), then a StartSound body. What decodes is mixed under the start's
// envelope, points and loops; the output must stay bounded in time and size.

#include "audio/mixer.h"
#include "swf/sound.h"
#include "tools/mp3_mpg123.h"

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3) {
        return 0;
    }
    std::span<const std::uint8_t> in(data, size);
    std::size_t length = std::min<std::size_t>(in[1] | in[2] << 8, size - 3);
    auto defineBody = in.subspan(3, length);
    auto startBody = in.subspan(3 + length);
    std::string problem;
    auto sound = fw::swf::ReadDefineSound(defineBody, problem);
    auto start = fw::swf::ReadStartSound((in[0] & 1) ? 15 : 89, startBody, problem);
    if (!sound) {
        return 0;
    }
    fw::play::Mpg123Decoder mp3;
    fw::audio::Mixer mixer;
    mixer.SetMp3Decoder((in[0] & 2) ? &mp3 : nullptr);
    std::string error;
    auto pcm = mixer.Decoded(std::make_shared<const fw::swf::SoundDefinition>(*sound), error);
    fw::audio::VoiceStart how;
    if (start) {
        how.inPoint = start->info.inPoint.value_or(0);
        how.outPoint = start->info.outPoint;
        how.loops = start->info.loops;
        how.envelope = start->info.envelope;
    }
    mixer.Start(pcm, how);
    mixer.Start(pcm, fw::audio::VoiceStart{});
    std::vector<std::int16_t> out(2 * 4096);
    for (int i = 0; i < 8 && mixer.voices() > 0; ++i) {
        mixer.Mix(out.data(), 4096);
    }
    return 0;
}
