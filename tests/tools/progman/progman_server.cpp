// Test Program Manager DDE server.
//
//   progman.exe [/log:FILE] [/events:FILE] [/ready:EVENT] [/quit:EVENT] [/timeout:MS]
//
// Registers the service "PROGMAN" with an ANSI DDEML instance, accepts every
// connect (a named topic or any topic) and appends the bytes of each execute
// transaction, exactly as they arrived, to FILE (default: the value of the
// environment variable FW_PROGMAN_LOG, else nothing is written). With
// /events: it also appends a line "connect" for every conversation that opens
// and "disconnect" for every one that ends, so a client can be seen to close
// what it opened. Signals the
// named event READY once it serves, and ends when the named event QUIT
// (default: the value of FW_PROGMAN_QUIT) is signalled, when its window
// "FwProgmanServer" gets WM_CLOSE, or after MS milliseconds (default 120000).
// Started without arguments (as "progman ") it takes everything from the
// environment.

#include <windows.h>

#include <ddeml.h>
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

DWORD g_instance = 0;
HSZ g_service = nullptr;
std::wstring g_log;
std::wstring g_events;

void Append(const std::wstring& file, const void* data, std::size_t size) {
    if (file.empty()) {
        return;
    }
    FILE* f = _wfopen(file.c_str(), L"ab");
    if (!f) {
        return;
    }
    fwrite(data, 1, size, f);
    fclose(f);
}

void AppendEvent(const char* name) {
    const std::string line = std::string(name) + "\n";
    Append(g_events, line.data(), line.size());
}

HDDEDATA CALLBACK Callback(UINT type, UINT, HCONV, HSZ hsz1, HSZ hsz2, HDDEDATA data, ULONG_PTR,
                           ULONG_PTR) {
    switch (type) {
    case XTYP_CONNECT:
        return reinterpret_cast<HDDEDATA>(TRUE);
    case XTYP_WILDCONNECT: {
        if (hsz2 && ::DdeCmpStringHandles(hsz2, g_service) != 0) {
            return nullptr;
        }
        HSZPAIR pairs[2] = {{g_service, hsz1 ? hsz1 : g_service}, {nullptr, nullptr}};
        return ::DdeCreateDataHandle(g_instance, reinterpret_cast<LPBYTE>(pairs), sizeof(pairs), 0,
                                     nullptr, CF_TEXT, 0);
    }
    case XTYP_EXECUTE: {
        const DWORD size = ::DdeGetData(data, nullptr, 0, 0);
        std::vector<BYTE> bytes(size);
        if (size) {
            ::DdeGetData(data, bytes.data(), size, 0);
        }
        Append(g_log, bytes.data(), bytes.size());
        return reinterpret_cast<HDDEDATA>(DDE_FACK);
    }
    case XTYP_CONNECT_CONFIRM:
        AppendEvent("connect");
        return nullptr;
    case XTYP_DISCONNECT:
        AppendEvent("disconnect");
        return nullptr;
    default:
        return nullptr;
    }
}

LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_CLOSE) {
        ::PostQuitMessage(0);
        return 0;
    }
    return ::DefWindowProcW(hwnd, msg, wp, lp);
}

std::wstring Option(int argc, wchar_t** argv, const std::wstring& name) {
    for (int i = 1; i < argc; ++i) {
        const std::wstring a = argv[i];
        if (a.size() > name.size() && a.compare(0, name.size(), name) == 0) {
            return a.substr(name.size());
        }
    }
    return {};
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    int argc = 0;
    wchar_t** argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
    g_log = Option(argc, argv, L"/log:");
    if (g_log.empty()) {
        if (const wchar_t* env = _wgetenv(L"FW_PROGMAN_LOG")) {
            g_log = env;
        }
    }
    g_events = Option(argc, argv, L"/events:");
    const std::wstring ready = Option(argc, argv, L"/ready:");
    std::wstring quit = Option(argc, argv, L"/quit:");
    if (quit.empty()) {
        if (const wchar_t* env = _wgetenv(L"FW_PROGMAN_QUIT")) {
            quit = env;
        }
    }
    const std::wstring timeoutText = Option(argc, argv, L"/timeout:");
    const DWORD timeout =
        timeoutText.empty() ? 120000 : std::wcstoul(timeoutText.c_str(), nullptr, 10);

    WNDCLASSW wc{};
    wc.lpfnWndProc = WndProc;
    wc.hInstance = instance;
    wc.lpszClassName = L"FwProgmanServer";
    ::RegisterClassW(&wc);
    HWND hwnd = ::CreateWindowExW(0, wc.lpszClassName, L"FwProgmanServer", WS_OVERLAPPED, 0, 0, 0,
                                  0, nullptr, nullptr, instance, nullptr);

    if (::DdeInitializeA(&g_instance, Callback,
                         APPCLASS_STANDARD | CBF_FAIL_POKES | CBF_FAIL_REQUESTS | CBF_FAIL_ADVISES |
                             CBF_SKIP_REGISTRATIONS | CBF_SKIP_UNREGISTRATIONS,
                         0) != DMLERR_NO_ERROR) {
        return 2;
    }
    g_service = ::DdeCreateStringHandleA(g_instance, "PROGMAN", CP_WINANSI);
    if (!::DdeNameService(g_instance, g_service, nullptr, DNS_REGISTER)) {
        return 3;
    }

    HANDLE quitEvent = quit.empty() ? nullptr : ::CreateEventW(nullptr, TRUE, FALSE, quit.c_str());
    if (!ready.empty()) {
        if (HANDLE readyEvent = ::CreateEventW(nullptr, TRUE, FALSE, ready.c_str())) {
            ::SetEvent(readyEvent);
            ::CloseHandle(readyEvent);
        }
    }

    const DWORD start = ::GetTickCount();
    for (bool running = true; running;) {
        const DWORD elapsed = ::GetTickCount() - start;
        if (elapsed >= timeout) {
            break;
        }
        const DWORD n = quitEvent ? 1 : 0;
        const DWORD r =
            ::MsgWaitForMultipleObjects(n, &quitEvent, FALSE, timeout - elapsed, QS_ALLINPUT);
        // Whatever a client posted before the quit is still handled.
        if (quitEvent && r == WAIT_OBJECT_0) {
            running = false;
        }
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                running = false;
                break;
            }
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
    }

    ::DdeNameService(g_instance, g_service, nullptr, DNS_UNREGISTER);
    ::DdeFreeStringHandle(g_instance, g_service);
    ::DdeUninitialize(g_instance);
    if (quitEvent) {
        ::CloseHandle(quitEvent);
    }
    ::DestroyWindow(hwnd);
    ::LocalFree(argv);
    return 0;
}
