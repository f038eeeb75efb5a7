#include "acm_mp3.h"

#include "avm1/mp3_info.h"

#include <windows.h>

#include <mmreg.h>
#include <mmsystem.h>
#include <msacm.h>

#include <algorithm>
#include <cstring>
#include <string_view>
#include <vector>

namespace fw::player {
namespace {

// Source bytes per conversion: more than the longest layer III frame, so a codec that takes
// whole frames only always finds one.
constexpr DWORD kChunk = 4096;
// Room for whatever one conversion may give: a codec that reads everything it is given (Wine's)
// must never find its output full, and short low-rate frames decode to a hundred times their
// size.
constexpr DWORD kOutBytes = 4u << 20;

class Stream {
public:
    ~Stream() {
        if (handle_) {
            ::acmStreamClose(handle_, 0);
        }
    }
    MMRESULT Open(WAVEFORMATEX* from, WAVEFORMATEX* to) {
        return ::acmStreamOpen(&handle_, nullptr, from, to, nullptr, 0, 0,
                               ACM_STREAMOPENF_NONREALTIME);
    }
    HACMSTREAM handle() const { return handle_; }

private:
    HACMSTREAM handle_ = nullptr;
};

// A header prepared on the stream for the whole decode; unprepared with the lengths it was
// prepared with, as the manager requires.
class Header {
public:
    Header(HACMSTREAM stream, std::uint8_t* src, std::uint8_t* dst) : stream_(stream) {
        h_.cbStruct = sizeof h_;
        h_.pbSrc = src;
        h_.cbSrcLength = kChunk;
        h_.pbDst = dst;
        h_.cbDstLength = kOutBytes;
        prepared_ = ::acmStreamPrepareHeader(stream_, &h_, 0) == MMSYSERR_NOERROR;
    }
    ~Header() {
        if (prepared_) {
            h_.cbSrcLength = kChunk;
            h_.cbDstLength = kOutBytes;
            ::acmStreamUnprepareHeader(stream_, &h_, 0);
        }
    }
    Header(const Header&) = delete;
    Header& operator=(const Header&) = delete;
    bool prepared() const { return prepared_; }
    ACMSTREAMHEADER& get() { return h_; }

private:
    HACMSTREAM stream_;
    ACMSTREAMHEADER h_{};
    bool prepared_ = false;
};

} // namespace

bool AcmMp3Decoder::Decode(std::span<const std::uint8_t> bytes, audio::Pcm& out,
                           std::string& error) {
    out.samples.clear();
    const auto first = avm1::FirstMp3Frame(
        std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    if (!first || first->layer != 3) {
        error = "MP3 data holds no frame that decodes";
        return false;
    }
    MPEGLAYER3WAVEFORMAT mp3{};
    mp3.wfx.wFormatTag = WAVE_FORMAT_MPEGLAYER3;
    mp3.wfx.nChannels = static_cast<WORD>(first->channels);
    mp3.wfx.nSamplesPerSec = static_cast<DWORD>(first->rate);
    mp3.wfx.nAvgBytesPerSec = static_cast<DWORD>(first->bitrate / 8);
    mp3.wfx.nBlockAlign = 1;
    mp3.wfx.cbSize = MPEGLAYER3_WFX_EXTRA_BYTES;
    mp3.wID = MPEGLAYER3_ID_MPEG;
    mp3.fdwFlags = MPEGLAYER3_FLAG_PADDING_OFF;
    mp3.nBlockSize = static_cast<WORD>(first->length);
    mp3.nFramesPerBlock = 1;
    mp3.nCodecDelay = 0;
    WAVEFORMATEX pcm{};
    pcm.wFormatTag = WAVE_FORMAT_PCM;
    pcm.nChannels = mp3.wfx.nChannels;
    pcm.nSamplesPerSec = mp3.wfx.nSamplesPerSec;
    pcm.wBitsPerSample = 16;
    pcm.nBlockAlign = static_cast<WORD>(2 * pcm.nChannels);
    pcm.nAvgBytesPerSec = pcm.nSamplesPerSec * pcm.nBlockAlign;

    Stream stream;
    if (stream.Open(&mp3.wfx, &pcm) != MMSYSERR_NOERROR) {
        error = "MP3 sound not played: the system has no MP3 codec for it";
        return false;
    }
    std::vector<std::uint8_t> src(kChunk);
    std::vector<std::uint8_t> dst(kOutBytes);
    Header header(stream.handle(), src.data(), dst.data());
    if (!header.prepared()) {
        error = "MP3 sound not played: the codec refused its buffers";
        return false;
    }
    ACMSTREAMHEADER& h = header.get();
    const std::size_t channels = static_cast<std::size_t>(first->channels);
    const std::size_t most = audio::kMaxSoundFrames * channels;
    std::size_t pos = first->offset;
    DWORD pending = 0;
    DWORD flags = ACM_STREAMCONVERTF_START;
    // What the codec holds back once all is given comes out over a few more calls.
    for (int drains = 0; drains < 8 && out.samples.size() < most;) {
        const DWORD take =
            static_cast<DWORD>(std::min<std::size_t>(kChunk - pending, bytes.size() - pos));
        std::memcpy(src.data() + pending, bytes.data() + pos, take);
        pos += take;
        pending += take;
        const bool end = pos == bytes.size();
        h.cbSrcLength = pending;
        h.cbDstLength = kOutBytes;
        h.cbSrcLengthUsed = 0;
        h.cbDstLengthUsed = 0;
        flags |= end ? ACM_STREAMCONVERTF_END : ACM_STREAMCONVERTF_BLOCKALIGN;
        if (::acmStreamConvert(stream.handle(), &h, flags) != MMSYSERR_NOERROR) {
            break;
        }
        flags = 0;
        const DWORD used = std::min(h.cbSrcLengthUsed, pending);
        const DWORD made = std::min(h.cbDstLengthUsed, kOutBytes) & ~DWORD{1};
        const auto* samples = reinterpret_cast<const std::int16_t*>(dst.data());
        out.samples.insert(out.samples.end(), samples, samples + made / 2);
        std::memmove(src.data(), src.data() + used, pending - used);
        pending -= used;
        if (end) {
            if (made == 0 && used == 0) {
                break;
            }
            ++drains;
        } else if (used == 0 && made == 0 && pending == kChunk) {
            break; // the codec takes nothing more: the rest does not decode
        }
    }
    out.samples.resize(std::min(out.samples.size(), most));
    out.samples.resize(out.samples.size() - out.samples.size() % channels);
    if (out.samples.empty()) {
        error = "MP3 data holds no frame that decodes";
        return false;
    }
    out.rate = first->rate;
    out.channels = first->channels;
    return true;
}

} // namespace fw::player
