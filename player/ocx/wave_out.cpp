#include "wave_out.h"

#include <algorithm>

namespace fw::player {
namespace {

constexpr UINT_PTR kSilentTimer = 1;
// The silent clock's step: as often as the device would hand a buffer back.
constexpr UINT kSilentStepMs = 50;

HINSTANCE ThisModule() {
    HMODULE module = nullptr;
    ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                             GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                         reinterpret_cast<LPCWSTR>(&ThisModule), &module);
    return module;
}

} // namespace

// ---- Device

MMRESULT WaveOut::Device::Open(UINT id, HWND notify) {
    Close();
    WAVEFORMATEX format{};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = 2;
    format.nSamplesPerSec = kWaveRate;
    format.wBitsPerSample = 16;
    format.nBlockAlign = 4;
    format.nAvgBytesPerSec = kWaveRate * 4;
    return ::waveOutOpen(&handle_, id, &format, reinterpret_cast<DWORD_PTR>(notify), 0,
                         CALLBACK_WINDOW);
}

bool WaveOut::Device::Prepare(WAVEHDR& header) {
    if (!handle_ || ::waveOutPrepareHeader(handle_, &header, sizeof header) != MMSYSERR_NOERROR) {
        return false;
    }
    prepared_.push_back(&header);
    return true;
}

void WaveOut::Device::Close() {
    if (!handle_) {
        return;
    }
    ::waveOutReset(handle_);
    for (WAVEHDR* header : prepared_) {
        ::waveOutUnprepareHeader(handle_, header, sizeof *header);
    }
    prepared_.clear();
    ::waveOutClose(handle_);
    handle_ = nullptr;
}

// ---- WaveOut

WaveOut::WaveOut(WaveSource& source, WaveOutOptions options) : source_(source), options_(options) {}

WaveOut::~WaveOut() {
    Close();
    if (window_) {
        ::DestroyWindow(window_);
    }
}

bool WaveOut::EnsureWindow() {
    if (window_) {
        return true;
    }
    static const ATOM atom = [] {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = &WaveOut::Proc;
        wc.hInstance = ThisModule();
        wc.lpszClassName = kWaveWindowClass;
        return ::RegisterClassExW(&wc);
    }();
    if (!atom) {
        return false;
    }
    // Message-only: it takes the device's notices and the silent clock's ticks, nothing else.
    window_ = ::CreateWindowExW(0, kWaveWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                ThisModule(), this);
    return window_ != nullptr;
}

void WaveOut::Wake() {
    if (SilentClock() || !source_.Sounding()) {
        return;
    }
    if (device_.open()) {
        // A sound started while the device drained: what had drained plays again.
        quietFrames_ = 0;
        for (Buffer& b : buffers_) {
            if ((b.header.dwFlags & WHDR_DONE) && !Queue(b)) {
                device_.Close();
                return;
            }
        }
        return;
    }
    if (!EnsureWindow()) {
        return;
    }
    quietFrames_ = 0;
    if (StartDevice()) {
        return;
    }
    // No device (or none that takes our format): the movie plays on without being heard.
    device_.Close();
    silentSince_ = std::max<ULONGLONG>(::GetTickCount64(), 1);
    silentFrames_ = 0;
    ::SetTimer(window_, kSilentTimer, kSilentStepMs, nullptr);
}

bool WaveOut::StartDevice() {
    if (device_.Open(options_.device, window_) != MMSYSERR_NOERROR) {
        return false;
    }
    for (Buffer& b : buffers_) {
        b.header = WAVEHDR{};
        b.header.lpData = reinterpret_cast<LPSTR>(b.samples.data());
        b.header.dwBufferLength = static_cast<DWORD>(b.samples.size() * sizeof(std::int16_t));
        if (!device_.Prepare(b.header)) {
            return false;
        }
    }
    for (Buffer& b : buffers_) {
        if (!Queue(b)) {
            return false;
        }
    }
    return true;
}

bool WaveOut::Queue(Buffer& b) {
    source_.Fill(b.samples.data(), kBufferFrames);
    return ::waveOutWrite(device_.handle(), &b.header, sizeof b.header) == MMSYSERR_NOERROR;
}

void WaveOut::Close() {
    device_.Close();
    if (silentSince_ != 0 && window_) {
        ::KillTimer(window_, kSilentTimer);
    }
    silentSince_ = 0;
}

bool WaveOut::KeepGoing(std::size_t frames) {
    if (source_.Sounding()) {
        quietFrames_ = 0;
        return true;
    }
    quietFrames_ += frames;
    return quietFrames_ < std::size_t{options_.idleMs} * kWaveRate / 1000;
}

void WaveOut::OnDone(HWAVEOUT from, WAVEHDR* header) {
    // A notice from a device closed since, or for a buffer already queued again, is late news.
    auto mine = std::find_if(buffers_.begin(), buffers_.end(),
                             [&](const Buffer& b) { return &b.header == header; });
    if (!device_.open() || from != device_.handle() || mine == buffers_.end() ||
        !(header->dwFlags & WHDR_DONE)) {
        return;
    }
    if (KeepGoing(kBufferFrames)) {
        if (!Queue(*mine)) {
            device_.Close(); // the device went away; the next sound tries again
        }
        return;
    }
    // Silent long enough: the rest drains, then the device goes.
    bool drained = std::all_of(buffers_.begin(), buffers_.end(),
                               [](const Buffer& b) { return (b.header.dwFlags & WHDR_DONE) != 0; });
    if (drained) {
        device_.Close();
    }
}

void WaveOut::OnSilentTick() {
    if (silentSince_ == 0) {
        return;
    }
    const ULONGLONG elapsed = ::GetTickCount64() - silentSince_;
    const std::uint64_t due = elapsed * kWaveRate / 1000;
    // A long stall (the machine asleep) does not make the sounds race to catch up.
    std::size_t frames =
        static_cast<std::size_t>(std::min<std::uint64_t>(due - silentFrames_, kWaveRate));
    silentFrames_ = due;
    scratch_.resize(2 * kBufferFrames);
    while (frames > 0) {
        const std::size_t step = std::min(frames, kBufferFrames);
        source_.Fill(scratch_.data(), step);
        frames -= step;
        if (!KeepGoing(step)) {
            Close();
            return;
        }
    }
}

LRESULT CALLBACK WaveOut::Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    auto* self = reinterpret_cast<WaveOut*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (msg == WM_NCCREATE) {
        self = static_cast<WaveOut*>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams);
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    } else if (msg == WM_NCDESTROY) {
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        if (self) {
            self->window_ = nullptr;
        }
        self = nullptr;
    }
    if (self) {
        try {
            if (msg == MM_WOM_DONE) {
                self->OnDone(reinterpret_cast<HWAVEOUT>(wp), reinterpret_cast<WAVEHDR*>(lp));
                return 0;
            }
            if (msg == WM_TIMER && wp == kSilentTimer) {
                self->OnSilentTick();
                return 0;
            }
        } catch (...) {
            // Nothing may leave a window procedure: a mix that fails is heard as silence.
            self->Close();
            return 0;
        }
    }
    return ::DefWindowProcW(hwnd, msg, wp, lp);
}

} // namespace fw::player
