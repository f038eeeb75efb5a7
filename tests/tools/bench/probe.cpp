// Starts a program and times, from just before its process is created, the
// moments its windows appear; then keeps it running until the benchmark
// script has measured it at rest, and closes it as a user would.
//
//   bench_probe baseline EXE SYNCDIR   the first visible top-level window
//   bench_probe shell EXE SYNCDIR      the intro window; then Esc is posted and
//                                      the time until the movie shows is taken
//   bench_probe progman EXE SYNCDIR EVENTS
//                                      runs the test Program Manager server EXE,
//                                      which logs its conversations to EVENTS,
//                                      for as long as the benchmark needs it
//
// Prints one line "pid=N first=MS movie=MS" (movie only for the shell), writes
// SYNCDIR\shown once the program stands (the server: once it serves), waits
// for SYNCDIR\done (at most 120 s; the server: an hour) and ends the program:
// WM_CLOSE to its window, so that it ends its conversations on its own, and
// only when it has not gone 10 s later, TerminateProcess. Then prints
// "ended=1" when the program ended by itself, else "ended=0".

#include <windows.h>

#include <cstdio>
#include <string>

#include "fire_protocol.h"
#include "sync.h"

namespace {

using fw::bench::Exists;
using fw::bench::NowMs;
using fw::bench::Touch;

struct Search {
    DWORD pid;
    const wchar_t* cls; // nullptr: any class
    HWND found;
};

BOOL CALLBACK MatchTop(HWND hwnd, LPARAM lp) {
    auto* s = reinterpret_cast<Search*>(lp);
    DWORD pid = 0;
    ::GetWindowThreadProcessId(hwnd, &pid);
    if (pid != s->pid || !::IsWindowVisible(hwnd)) {
        return TRUE;
    }
    wchar_t name[64] = {};
    ::GetClassNameW(hwnd, name, 64);
    if (s->cls && std::wstring(name) != s->cls) {
        return TRUE;
    }
    s->found = hwnd;
    return FALSE;
}

HWND VisibleTop(DWORD pid, const wchar_t* cls) {
    Search s{pid, cls, nullptr};
    ::EnumWindows(&MatchTop, reinterpret_cast<LPARAM>(&s));
    return s.found;
}

HWND AnyTop(DWORD pid, const wchar_t* cls) {
    HWND h = nullptr;
    while ((h = ::FindWindowExW(nullptr, h, cls, nullptr)) != nullptr) {
        DWORD owner = 0;
        ::GetWindowThreadProcessId(h, &owner);
        if (owner == pid) {
            return h;
        }
    }
    return nullptr;
}

// Polls every millisecond until cond holds or the process ends; the time it held, or -1.
template <typename F> double Until(HANDLE process, double limitMs, F cond) {
    const double start = NowMs();
    while (NowMs() - start < limitMs) {
        if (cond()) {
            return NowMs();
        }
        if (::WaitForSingleObject(process, 1) == WAIT_OBJECT_0) {
            return -1;
        }
    }
    return -1;
}

// Waits for the file, or for the process to end; false when it ended.
bool WaitForFile(HANDLE process, const std::wstring& path, double limitMs) {
    const double from = NowMs();
    while (!Exists(path) && NowMs() - from < limitMs) {
        if (::WaitForSingleObject(process, 200) == WAIT_OBJECT_0) {
            return false;
        }
    }
    return true;
}

// Ends the program as closing its window would; true when it ended by
// itself, false when it had to be terminated.
bool Close(const PROCESS_INFORMATION& pi, HWND window) {
    if (window) {
        ::PostMessageW(window, WM_CLOSE, 0, 0);
    }
    if (window && ::WaitForSingleObject(pi.hProcess, 10000) == WAIT_OBJECT_0) {
        return true;
    }
    ::TerminateProcess(pi.hProcess, 0);
    ::WaitForSingleObject(pi.hProcess, 10000);
    return false;
}

// The server for the whole session: started with named events for its
// readiness and its end, so the shell's connects find it serving.
int RunProgman(const std::wstring& exe, const std::wstring& sync, const std::wstring& events) {
    const std::wstring id = std::to_wstring(::GetCurrentProcessId());
    const std::wstring readyName = L"FwBenchProgmanReady" + id;
    const std::wstring quitName = L"FwBenchProgmanQuit" + id;
    HANDLE ready = ::CreateEventW(nullptr, TRUE, FALSE, readyName.c_str());
    HANDLE quit = ::CreateEventW(nullptr, TRUE, FALSE, quitName.c_str());
    std::wstring cmd = L"\"" + exe + L"\" /events:" + events + L" /ready:" + readyName +
                       L" /quit:" + quitName + L" /timeout:3600000";
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi{};
    if (!::CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                          &pi)) {
        std::fprintf(stderr, "cannot start the Program Manager server: error %lu\n",
                     ::GetLastError());
        return 1;
    }
    HANDLE both[2] = {ready, pi.hProcess};
    int rc = 0;
    if (::WaitForMultipleObjects(2, both, FALSE, 30000) != WAIT_OBJECT_0) {
        std::fprintf(stderr, "the Program Manager server did not come up\n");
        rc = 1;
    } else {
        Touch(sync + L"\\shown");
        if (!WaitForFile(pi.hProcess, sync + L"\\done", 3600000)) {
            std::fprintf(stderr, "the Program Manager server ended by itself\n");
            rc = 1;
        }
    }
    ::SetEvent(quit);
    if (::WaitForSingleObject(pi.hProcess, 10000) != WAIT_OBJECT_0) {
        ::TerminateProcess(pi.hProcess, 1);
        ::WaitForSingleObject(pi.hProcess, 10000);
    }
    ::CloseHandle(pi.hThread);
    ::CloseHandle(pi.hProcess);
    ::CloseHandle(quit);
    ::CloseHandle(ready);
    return rc;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 4 || (std::wstring(argv[1]) == L"progman" && argc < 5)) {
        std::fprintf(stderr, "usage: bench_probe baseline|shell EXE SYNCDIR\n"
                             "       bench_probe progman EXE SYNCDIR EVENTS\n");
        return 2;
    }
    const bool shell = std::wstring(argv[1]) == L"shell";
    const std::wstring exe = argv[2];
    const std::wstring sync = argv[3];
    if (std::wstring(argv[1]) == L"progman") {
        return RunProgman(exe, sync, argv[4]);
    }

    std::wstring cmd = L"\"" + exe + L"\"";
    std::wstring dir = exe.substr(0, exe.find_last_of(L'\\') + 1);
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi{};
    const double t0 = NowMs();
    if (!::CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, dir.c_str(),
                          &si, &pi)) {
        std::fprintf(stderr, "cannot start the program: error %lu\n", ::GetLastError());
        return 1;
    }
    const DWORD pid = pi.dwProcessId;
    int rc = 0;
    HWND window = nullptr;
    const double first = Until(pi.hProcess, 60000, [&] {
        window = VisibleTop(pid, shell ? L"TIntroForm" : nullptr);
        return window != nullptr;
    });
    double movie = -1;
    HWND main = nullptr;
    if (first < 0) {
        std::fprintf(stderr, "no window appeared\n");
        rc = 1;
    } else if (!shell) {
        main = window;
    } else {
        main = AnyTop(pid, L"TMainForm");
        if (!main) {
            std::fprintf(stderr, "no main window\n");
            rc = 1;
        } else {
            const UINT scan = ::MapVirtualKeyW(VK_ESCAPE, 0);
            ::PostMessageW(main, WM_KEYDOWN, VK_ESCAPE, 1 | (scan << 16));
            ::PostMessageW(main, WM_KEYUP, VK_ESCAPE, 1 | (scan << 16) | (1u << 30) | (1u << 31));
            movie = Until(pi.hProcess, 60000, [&] {
                HWND player = fw::player::FindPlayerWindow(main);
                return player && ::IsWindowVisible(player) && ::IsWindowVisible(main);
            });
            if (movie < 0) {
                std::fprintf(stderr, "the movie did not show\n");
                rc = 1;
            }
        }
    }
    std::printf("pid=%lu first=%.1f movie=%.1f\n", pid, first < 0 ? -1.0 : first - t0,
                movie < 0 ? -1.0 : movie - t0);
    std::fflush(stdout);

    if (rc == 0) {
        Touch(sync + L"\\shown");
        if (!WaitForFile(pi.hProcess, sync + L"\\done", 120000)) {
            std::fprintf(stderr, "the program ended by itself\n");
            rc = 1;
        }
    }
    std::printf("ended=%d\n", Close(pi, rc == 0 ? main : nullptr) ? 1 : 0);
    ::CloseHandle(pi.hThread);
    ::CloseHandle(pi.hProcess);
    return rc;
}
