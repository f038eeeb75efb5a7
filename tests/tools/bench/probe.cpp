// Starts a program and times, from just before its process is created, the
// moments its windows appear; then keeps it running until the benchmark
// script has measured it at rest, and ends it.
//
//   bench_probe baseline EXE SYNCDIR   the first visible top-level window
//   bench_probe shell EXE SYNCDIR      the intro window; then Esc is posted and
//                                      the time until the movie shows is taken
//
// Prints one line "pid=N first=MS movie=MS" (movie only for the shell), writes
// SYNCDIR\shown once the program stands, waits for SYNCDIR\done (at most
// 120 s) and ends the program.

#include <windows.h>

#include <cstdio>
#include <string>

#include "fire_protocol.h"

namespace {

double NowMs() {
    static LARGE_INTEGER freq = [] {
        LARGE_INTEGER f;
        ::QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER t;
    ::QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) * 1000.0 / static_cast<double>(freq.QuadPart);
}

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

bool Exists(const std::wstring& path) {
    return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: bench_probe baseline|shell EXE SYNCDIR\n");
        return 2;
    }
    const bool shell = std::wstring(argv[1]) == L"shell";
    const std::wstring exe = argv[2];
    const std::wstring sync = argv[3];

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
    const double first = Until(pi.hProcess, 60000, [&] {
        return VisibleTop(pid, shell ? L"TIntroForm" : nullptr) != nullptr;
    });
    double movie = -1;
    if (first < 0) {
        std::fprintf(stderr, "no window appeared\n");
        rc = 1;
    } else if (shell) {
        HWND main = AnyTop(pid, L"TMainForm");
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
        ::CloseHandle(::CreateFileW((sync + L"\\shown").c_str(), GENERIC_WRITE, 0, nullptr,
                                    CREATE_ALWAYS, 0, nullptr));
        const double waitFrom = NowMs();
        while (!Exists(sync + L"\\done") && NowMs() - waitFrom < 120000) {
            if (::WaitForSingleObject(pi.hProcess, 200) == WAIT_OBJECT_0) {
                std::fprintf(stderr, "the program ended by itself\n");
                rc = 1;
                break;
            }
        }
    }
    ::TerminateProcess(pi.hProcess, 0);
    ::WaitForSingleObject(pi.hProcess, 10000);
    ::CloseHandle(pi.hThread);
    ::CloseHandle(pi.hProcess);
    return rc;
}
