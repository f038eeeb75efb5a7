#pragma once
// The control's sound out: the movie's mix played through waveOut at 44.1 kHz, 16-bit stereo,
// in a few short buffers refilled on the control's own thread as the device hands them back
// (its notices come to a hidden window), so the mix is only ever touched where the movie runs.

#include <windows.h>

#include <mmsystem.h>

#include <array>
#include <cstdint>
#include <vector>

namespace fw::player {

inline constexpr int kWaveRate = 44100;
inline constexpr wchar_t kWaveWindowClass[] = L"FenwobbleWaveOut";

// What the output plays.
class WaveSource {
public:
    // The next frames, left and right interleaved (2 * frames values).
    virtual void Fill(std::int16_t* out, std::size_t frames) = 0;
    // Whether anything sounds now; silence for a while lets the device go.
    virtual bool Sounding() = 0;

protected:
    ~WaveSource() = default;
};

struct WaveOutOptions {
    UINT device = WAVE_MAPPER;
    // Silence this long lets the device go: a game's sounds come in bursts (a click, a
    // sentence), and opening the device for each one would cost a pause and a crackle.
    DWORD idleMs = 3000;
};

class WaveOut {
public:
    static constexpr std::size_t kBuffers = 4;
    static constexpr std::size_t kBufferFrames = kWaveRate / 20; // 50 ms each

    explicit WaveOut(WaveSource& source, WaveOutOptions options = {});
    ~WaveOut();
    WaveOut(const WaveOut&) = delete;
    WaveOut& operator=(const WaveOut&) = delete;

    // Starts playing when the source sounds and nothing plays yet: called after anything that
    // may have started a sound.
    void Wake();
    // Stops at once, dropping what is queued, and lets the device go.
    void Close();

    // Whether the device plays; with no device to be had, the source is still pulled at the
    // pace of the clock (its sounds end when they would have been heard), silently.
    bool DevicePlaying() const { return device_.open(); }
    bool SilentClock() const { return silentSince_ != 0; }

private:
    // The open device and the headers prepared on it: closing resets the device first, so no
    // header is still queued when it is unprepared.
    class Device {
    public:
        Device() = default;
        ~Device() { Close(); }
        Device(const Device&) = delete;
        Device& operator=(const Device&) = delete;
        MMRESULT Open(UINT id, HWND notify);
        bool Prepare(WAVEHDR& header);
        void Close();
        bool open() const { return handle_ != nullptr; }
        HWAVEOUT handle() const { return handle_; }

    private:
        HWAVEOUT handle_ = nullptr;
        std::vector<WAVEHDR*> prepared_;
    };

    struct Buffer {
        WAVEHDR header{};
        std::array<std::int16_t, 2 * kBufferFrames> samples{};
    };

    static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    bool EnsureWindow();
    bool StartDevice();
    // Fills a buffer and queues it; false when the device refused it.
    bool Queue(Buffer& b);
    void OnDone(HWAVEOUT from, WAVEHDR* header);
    void OnSilentTick();
    // Counts silence since the source last sounded; true while it is worth going on.
    bool KeepGoing(std::size_t frames);

    WaveSource& source_;
    WaveOutOptions options_;
    HWND window_ = nullptr;
    Device device_;
    std::array<Buffer, kBuffers> buffers_{};
    std::size_t quietFrames_ = 0;
    // The silent clock: when it started (a tick count, 0 when it rests) and what it pulled.
    ULONGLONG silentSince_ = 0;
    std::uint64_t silentFrames_ = 0;
    std::vector<std::int16_t> scratch_;
};

} // namespace fw::player
