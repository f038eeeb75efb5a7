// The sound readers, decoders and mixer. Input: the first byte chooses StartSound (bit 0) or
// StartSound2, whether MP3 goes through mpg123 (bit 1) and whether the rest is a stream (bit
// 2); a DefineSound body (or a stream head) follows after a 16-bit length (low first), then a
// StartSound body (or the stream's blocks, cut in up to eight). What decodes is mixed under the
// start's envelope, points and loops, or streamed block by block; the output must stay bounded
// in time and size.

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
    fw::play::Mpg123Decoder mp3;
    fw::audio::Mixer mixer;
    mixer.SetMp3Decoder((in[0] & 2) ? &mp3 : nullptr);
    std::vector<std::int16_t> out(2 * 4096);
    if (in[0] & 4) {
        auto head = fw::swf::ReadStreamHead(defineBody, problem);
        if (!head) {
            return 0;
        }
        std::size_t share = startBody.size() / 8 + 1;
        std::vector<fw::swf::StreamBlock> blocks;
        std::vector<const fw::swf::StreamBlock*> before;
        blocks.reserve(9);
        for (std::size_t at = 0; at < startBody.size(); at += share) {
            auto bytes = startBody.subspan(at, std::min(share, startBody.size() - at));
            blocks.push_back({*head, {bytes.begin(), bytes.end()}});
            std::string error;
            auto pcm = fw::audio::DecodeStreamBlock(blocks.back(), before, mixer.mp3(), error);
            before.push_back(&blocks.back());
            if (pcm) {
                mixer.Stream(1, *pcm);
            }
            mixer.Mix(out.data(), 1024);
        }
        mixer.Mix(out.data(), 4096);
        return 0;
    }
    auto sound = fw::swf::ReadDefineSound(defineBody, problem);
    auto start = fw::swf::ReadStartSound((in[0] & 1) ? 15 : 89, startBody, problem);
    if (!sound) {
        return 0;
    }
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
    for (int i = 0; i < 8 && mixer.voices() > 0; ++i) {
        mixer.Mix(out.data(), 4096);
    }
    return 0;
}
