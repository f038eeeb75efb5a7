// Hosts the player control as the shell does (the same container, settings and 800x600 place)
// in a window of its own, for tools/bench player:
//
//   bench_player frames MOVIE FRAMES   times FRAMES frames through the control: each frame is
//                                      the control's own step (its frame timer's message, when
//                                      the timer runs) and a paint of its window; prints
//                                      "frames=N median=MS mean=MS worst=MS step=MS", the last
//                                      the mean of the steps alone
//   bench_player idle MOVIE SYNCDIR    plays the movie and leaves it alone: writes SYNCDIR\shown
//                                      once it stands, runs until SYNCDIR\done appears (at most
//                                      120 s) and prints "timers=N paints=N ms=T", what the
//                                      control's window handled in those T ms, while the script
//                                      measures the process's processor time from outside.

#include "win/com.h"
#include "win/error.h"
#include "win/ole_control.h"

#include "dispids.h"
#include "fire_protocol.h"
#include "sync.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <numeric>
#include <string>
#include <vector>

namespace {

using fw::bench::Exists;
using fw::bench::NowMs;
using fw::bench::Touch;

// The shell's main form in small: a black popup holding the control at 800x600.
class Host {
public:
    explicit Host(const std::wstring& movie) {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof(wc);
        wc.lpfnWndProc = ::DefWindowProcW;
        wc.hInstance = ::GetModuleHandleW(nullptr);
        wc.hbrBackground = static_cast<HBRUSH>(::GetStockObject(BLACK_BRUSH));
        wc.lpszClassName = L"BenchPlayerHost";
        ::RegisterClassExW(&wc);
        frame_ = ::CreateWindowExW(0, wc.lpszClassName, L"bench", WS_POPUP | WS_CLIPCHILDREN, 0, 0,
                                   800, 600, nullptr, nullptr, wc.hInstance, nullptr);
        if (!frame_) {
            throw fw::win::Error(L"the host window cannot be created");
        }
        fw::win::OleControlArgs args;
        args.place = {frame_, 0, 0, 0, 800, 600, nullptr, false};
        args.clsid = fw::player::kPlayerClsid;
        args.eventsIid = fw::player::kPlayerEventsIid;
        args.settings = {{L"WMode", L"Transparent"},
                         {L"Quality", L"High"},
                         {L"AllowScriptAccess", L"always"},
                         {L"Scale", L"ShowAll"}};
        control_.Create(args);
        control_.PutString(fw::player::kDispMovie, movie);
        control_.PutInt(fw::player::kDispScaleMode, 0);
        control_.DoVerb(OLEIVERB_SHOW);
        control_.Show();
        ::ShowWindow(frame_, SW_SHOWNOACTIVATE);
        player_ = fw::player::FindPlayerWindow(frame_);
        if (!player_) {
            throw fw::win::Error(L"the control made no window");
        }
        ::UpdateWindow(frame_);
    }
    ~Host() { ::DestroyWindow(frame_); }
    Host(const Host&) = delete;
    Host& operator=(const Host&) = delete;

    HWND player() const { return player_; }

private:
    HWND frame_ = nullptr;
    fw::win::OleControl control_;
    HWND player_ = nullptr;
};

bool Pump(MSG& msg) {
    return ::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE) && msg.message != WM_QUIT;
}

void Dispatch(const MSG& msg) {
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
}

int TimeFrames(const Host& host, int frames) {
    // A movie whose timer rests (stopped) still gets its picture painted at 30 frames a second.
    constexpr double kRestingFrameMs = 1000.0 / 30;
    const double deadline = NowMs() + 120000;
    std::vector<double> ms;
    double stepMs = 0;
    double lastFrame = NowMs();
    while (static_cast<int>(ms.size()) < frames && NowMs() < deadline) {
        MSG msg;
        double step = -1;
        while (step < 0 && Pump(msg)) {
            if (msg.hwnd == host.player() && msg.message == WM_TIMER) {
                const double t0 = NowMs();
                Dispatch(msg);
                step = NowMs() - t0;
            } else {
                Dispatch(msg);
            }
        }
        if (step < 0 && NowMs() - lastFrame < kRestingFrameMs * 3) {
            ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
            continue;
        }
        // Every frame is painted, changed or not, as the native table draws every frame.
        const double t0 = NowMs();
        ::InvalidateRect(host.player(), nullptr, FALSE);
        ::UpdateWindow(host.player());
        ms.push_back(std::max(step, 0.0) + NowMs() - t0);
        stepMs += std::max(step, 0.0);
        lastFrame = NowMs();
    }
    if (ms.empty()) {
        std::fprintf(stderr, "no frame was drawn\n");
        return 1;
    }
    const double mean = std::accumulate(ms.begin(), ms.end(), 0.0) / ms.size();
    const double worst = *std::max_element(ms.begin(), ms.end());
    std::nth_element(ms.begin(), ms.begin() + ms.size() / 2, ms.end());
    std::printf("frames=%zu median=%.2f mean=%.2f worst=%.2f step=%.2f\n", ms.size(),
                ms[ms.size() / 2], mean, worst, stepMs / ms.size());
    return 0;
}

int Idle(const Host& host, const std::wstring& sync) {
    Touch(sync + L"\\shown");
    long timers = 0;
    long paints = 0;
    const double start = NowMs();
    const double deadline = start + 120000;
    // The file is looked for four times a second, not at every message: the process's own
    // work at rest is what is measured.
    double look = start;
    for (;;) {
        if (NowMs() >= look) {
            if (Exists(sync + L"\\done") || NowMs() >= deadline) {
                break;
            }
            look = NowMs() + 250;
        }
        MSG msg;
        while (Pump(msg)) {
            if (msg.hwnd == host.player()) {
                timers += msg.message == WM_TIMER;
                paints += msg.message == WM_PAINT;
            }
            Dispatch(msg);
        }
        const double wait = std::max(look - NowMs(), 0.0);
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(wait) + 1, QS_ALLINPUT);
    }
    std::printf("timers=%ld paints=%ld ms=%.0f\n", timers, paints, NowMs() - start);
    return 0;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    const std::wstring mode = argc > 1 ? argv[1] : L"";
    if (argc != 4 || (mode != L"frames" && mode != L"idle")) {
        std::fprintf(stderr, "usage: bench_player frames MOVIE FRAMES\n"
                             "       bench_player idle MOVIE SYNCDIR\n");
        return 2;
    }
    fw::win::OleScope ole;
    if (!ole.Ok()) {
        std::fprintf(stderr, "OLE cannot start\n");
        return 1;
    }
    try {
        Host host(argv[2]);
        if (mode == L"frames") {
            return TimeFrames(
                host, std::clamp(static_cast<int>(std::wcstol(argv[3], nullptr, 10)), 1, 10000));
        }
        return Idle(host, argv[3]);
    } catch (const fw::win::Error& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
}
