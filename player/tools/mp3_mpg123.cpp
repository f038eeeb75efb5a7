#include "mp3_mpg123.h"

#include <mpg123.h>

#include <memory>
#include <mutex>

namespace fw::play {

bool Mpg123Decoder::Decode(std::span<const std::uint8_t> bytes, audio::Pcm& out,
                           std::string& error) {
    static std::once_flag init;
    std::call_once(init, [] { mpg123_init(); });
    int status = MPG123_OK;
    std::unique_ptr<mpg123_handle, void (*)(mpg123_handle*)> h(mpg123_new(nullptr, &status),
                                                               mpg123_delete);
    if (!h) {
        error = "MP3 decoder not available";
        return false;
    }
    mpg123_param(h.get(), MPG123_ADD_FLAGS, MPG123_QUIET, 0);
    // Signed 16-bit at whatever rate and channels the frames have.
    mpg123_format_none(h.get());
    for (long rate : {8000L, 11025L, 12000L, 16000L, 22050L, 24000L, 32000L, 44100L, 48000L}) {
        mpg123_format(h.get(), rate, MPG123_MONO | MPG123_STEREO, MPG123_ENC_SIGNED_16);
    }
    if (mpg123_open_feed(h.get()) != MPG123_OK ||
        mpg123_feed(h.get(), bytes.data(), bytes.size()) != MPG123_OK) {
        error = "MP3 data not accepted";
        return false;
    }
    out.samples.clear();
    long rate = 0;
    int channels = 0;
    int encoding = 0;
    unsigned char* audio = nullptr;
    std::size_t got = 0;
    off_t frame = 0;
    for (;;) {
        status = mpg123_decode_frame(h.get(), &frame, &audio, &got);
        if (status == MPG123_NEW_FORMAT) {
            mpg123_getformat(h.get(), &rate, &channels, &encoding);
            continue;
        }
        if (status != MPG123_OK) {
            break; // the data is used up, or what is left does not decode
        }
        auto* samples = reinterpret_cast<const std::int16_t*>(audio);
        out.samples.insert(out.samples.end(), samples, samples + got / 2);
        if (out.samples.size() > audio::kMaxSoundFrames * 2) {
            break;
        }
    }
    if (out.samples.empty() || rate <= 0 || channels < 1 || channels > 2) {
        error = "MP3 data holds no frame that decodes";
        out.samples.clear();
        return false;
    }
    out.rate = static_cast<double>(rate);
    out.channels = channels;
    out.samples.resize(out.samples.size() -
                       out.samples.size() % static_cast<std::size_t>(channels));
    return true;
}

} // namespace fw::play
