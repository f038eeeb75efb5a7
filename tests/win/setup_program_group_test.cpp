// The program group commands against a Program Manager DDE server of our own
// (tests/tools/progman), and without any server.

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <string>
#include <thread>
#include <vector>

#include "setup/cp1251.h"
#include "setup/ddeml_port.h"
#include "setup/program_group.h"
#include "win/handle.h"
#include "win/strings.h"

namespace {

using fw::win::KernelHandle;

std::wstring ServerExe() {
    return fw::win::ExeFolder() + L"..\\tools\\progman\\progman.exe";
}

std::wstring TempFolder() {
    wchar_t buf[MAX_PATH];
    ::GetTempPathW(MAX_PATH, buf);
    return buf;
}

std::string ReadBytes(const std::wstring& path) {
    std::string out;
    if (FILE* f = _wfopen(path.c_str(), L"rb")) {
        char buf[4096];
        for (std::size_t n; (n = fread(buf, 1, sizeof(buf), f)) > 0;) {
            out.append(buf, n);
        }
        fclose(f);
    }
    return out;
}

// Handles every message waiting in the queue, as the program does once.
void ProcessPending() {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
}

// Printable form of command bytes for failure messages.
std::string Show(const std::string& bytes) {
    std::string out;
    char hex[8];
    for (unsigned char c : bytes) {
        if (c >= 32 && c < 127) {
            out += static_cast<char>(c);
        } else {
            std::snprintf(hex, sizeof(hex), "\\x%02X", c);
            out += hex;
        }
    }
    return out;
}

// Our server, running for the lifetime of the object.
class Server {
public:
    explicit Server(const std::wstring& log) {
        const std::wstring id = std::to_wstring(::GetCurrentProcessId());
        const std::wstring readyName = L"FwProgmanReady" + id;
        quitName_ = L"FwProgmanQuit" + id;
        KernelHandle ready(::CreateEventW(nullptr, TRUE, FALSE, readyName.c_str()));
        quit_.reset(::CreateEventW(nullptr, TRUE, FALSE, quitName_.c_str()));
        std::wstring cmd = L"\"" + ServerExe() + L"\" /log:" + log + L" /ready:" + readyName +
                           L" /quit:" + quitName_ + L" /timeout:60000";
        STARTUPINFOW si{};
        si.cb = sizeof(si);
        PROCESS_INFORMATION pi{};
        if (!::CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                              &si, &pi)) {
            ADD_FAILURE() << "cannot start " << fw::win::ToUtf8(ServerExe()) << ", error "
                          << ::GetLastError();
            return;
        }
        ::CloseHandle(pi.hThread);
        process_.reset(pi.hProcess);
        HANDLE both[2] = {ready.get(), process_.get()};
        started_ = ::WaitForMultipleObjects(2, both, FALSE, 30000) == WAIT_OBJECT_0;
        EXPECT_TRUE(started_) << "the server did not come up";
    }
    ~Server() { Stop(); }
    bool Started() const { return started_; }
    void Stop() {
        if (process_) {
            ::SetEvent(quit_.get());
            ::WaitForSingleObject(process_.get(), 30000);
            process_.reset();
        }
    }

private:
    std::wstring quitName_;
    KernelHandle quit_;
    KernelHandle process_;
    bool started_ = false;
};

std::string Expected(const std::vector<std::wstring>& commands) {
    std::string out;
    for (const auto& c : commands) {
        out += fw::CommandBytes(c);
    }
    return out;
}

TEST(ProgramGroupBytes, OurWindows1251AgreesWithThePlatform) {
    for (int b = 1; b < 256; ++b) {
        const char byte = static_cast<char>(b);
        wchar_t wide = 0;
        ASSERT_EQ(::MultiByteToWideChar(fw::win::kCp1251, 0, &byte, 1, &wide, 1), 1);
        EXPECT_EQ(fw::FromCp1251(std::string(1, byte)), std::wstring(1, wide))
            << "byte " << b << ": expected U+" << std::hex << static_cast<int>(wide);
        EXPECT_EQ(fw::ToCp1251(std::wstring(1, wide)), std::string(1, byte)) << "byte " << b;
    }
    const std::wstring sample = std::wstring(fw::kRemovalItemName) + L" \u2116 \u0401\u0451";
    EXPECT_EQ(fw::ToCp1251(sample), fw::win::Narrow(sample, fw::win::kCp1251));
}

TEST(ProgramGroupDde, InstallAndRemovalReachTheServerByteForByte) {
    const std::wstring log =
        TempFolder() + L"fw_progman_" + std::to_wstring(::GetCurrentProcessId()) + L".bin";
    ::DeleteFileW(log.c_str());
    const std::wstring exe = L"C:\\Program Files\\Brumvale Игры\\Fenwobble.exe";
    {
        Server server(log);
        ASSERT_TRUE(server.Started());
        fw::DdemlPort port;
        ASSERT_TRUE(port.Initialized());
        std::vector<std::wstring> shown;
        {
            fw::TDdeClientConv conv(port);
            ASSERT_TRUE(conv.SetLink(fw::kProgmanService, L""))
                << "no conversation with our server";
            fw::RunInstallSequence(conv, exe, [&](std::wstring_view t) { shown.emplace_back(t); });
            EXPECT_FALSE(conv.Connected());
        }
        EXPECT_TRUE(shown.empty()) << "expected no message, got " << shown.size();
        {
            fw::TDdeClientConv conv(port);
            ASSERT_TRUE(conv.SetLink(fw::kProgmanService, L""));
            fw::RunRemovalSequence(conv, ProcessPending);
        }
        server.Stop();
    }
    const std::string got = ReadBytes(log);
    const std::string expected =
        Expected({fw::CreateGroupCommand(fw::kGroupName), fw::AddItemCommand(exe, fw::kGroupName),
                  fw::AddRemovalItemCommand(exe, fw::kRemovalItemName),
                  fw::DeleteGroupCommand(fw::kGroupName)});
    EXPECT_EQ(got, expected) << "expected " << Show(expected) << ", got " << Show(got);
    ::DeleteFileW(log.c_str());
}

struct WindowSearch {
    const wchar_t* cls;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectForeign(HWND h, LPARAM lp) {
    auto* s = reinterpret_cast<WindowSearch*>(lp);
    wchar_t name[64] = {};
    ::GetClassNameW(h, name, 64);
    DWORD pid = 0;
    ::GetWindowThreadProcessId(h, &pid);
    if (pid != ::GetCurrentProcessId() && std::wcscmp(name, s->cls) == 0) {
        s->found.push_back(h);
    }
    return TRUE;
}

// Top-level windows of a class that belong to other processes.
std::vector<HWND> ForeignWindows(const wchar_t* cls) {
    WindowSearch search{cls, {}};
    ::EnumWindows(CollectForeign, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// Ends the process of a window that a test caused to start.
void EndProcessOf(HWND hwnd) {
    DWORD pid = 0;
    ::GetWindowThreadProcessId(hwnd, &pid);
    KernelHandle p(::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid));
    if (p) {
        ::TerminateProcess(p.get(), 0);
        ::WaitForSingleObject(p.get(), 10000);
    }
}

TEST(ProgramGroupDde, WithoutAServerInstallShowsThreeMessagesAndRemovalNone) {
    const auto before = ForeignWindows(L"PMMain");
    fw::DdemlPort port;
    fw::TDdeClientConv conv(port);
    // The system's own Program Manager may be started by the failed connect;
    // it does not answer the empty topic, so there is still no conversation.
    EXPECT_FALSE(conv.SetLink(fw::kProgmanService, L""));
    EXPECT_EQ(conv.DdeService(), L"") << "a failed set-up keeps no names";
    for (HWND h : ForeignWindows(L"PMMain")) {
        if (std::find(before.begin(), before.end(), h) == before.end()) {
            EndProcessOf(h);
        }
    }
    std::vector<std::wstring> shown;
    fw::RunInstallSequence(conv, L"C:\\Fenwobble.exe",
                           [&](std::wstring_view t) { shown.emplace_back(t); });
    const std::vector<std::wstring> expected = {std::wstring(fw::kCreateGroupFailed),
                                                std::wstring(fw::kAddItemFailed),
                                                std::wstring(fw::kAddRemovalItemFailed)};
    EXPECT_EQ(shown, expected);
    shown.clear();
    fw::RunRemovalSequence(conv, ProcessPending);
    EXPECT_TRUE(shown.empty());
    EXPECT_TRUE(ForeignWindows(L"FwProgmanServer").empty());
}

// Restores the current folder and two environment variables.
class ServerStartGuard {
public:
    ServerStartGuard(const std::wstring& folder, const std::wstring& log,
                     const std::wstring& quit) {
        wchar_t buf[MAX_PATH];
        ::GetCurrentDirectoryW(MAX_PATH, buf);
        oldFolder_ = buf;
        ::SetCurrentDirectoryW(folder.c_str());
        ::SetEnvironmentVariableW(L"FW_PROGMAN_LOG", log.c_str());
        ::SetEnvironmentVariableW(L"FW_PROGMAN_QUIT", quit.c_str());
    }
    ~ServerStartGuard() {
        ::SetCurrentDirectoryW(oldFolder_.c_str());
        ::SetEnvironmentVariableW(L"FW_PROGMAN_LOG", nullptr);
        ::SetEnvironmentVariableW(L"FW_PROGMAN_QUIT", nullptr);
    }

private:
    std::wstring oldFolder_;
};

TEST(ProgramGroupDde, AFailedConnectStartsTheServerAndTriesOnceMore) {
    ASSERT_TRUE(ForeignWindows(L"FwProgmanServer").empty()) << "a server is running already";
    const std::wstring id = std::to_wstring(::GetCurrentProcessId());
    const std::wstring log = TempFolder() + L"fw_progman_started_" + id + L".bin";
    const std::wstring quitName = L"FwProgmanStartedQuit" + id;
    ::DeleteFileW(log.c_str());
    KernelHandle quit(::CreateEventW(nullptr, TRUE, FALSE, quitName.c_str()));
    std::wstring folder = ServerExe();
    folder.erase(folder.find_last_of(L'\\') + 1);
    std::vector<std::wstring> shown;
    {
        ServerStartGuard guard(folder, log, quitName);
        fw::DdemlPort port;
        fw::TDdeClientConv conv(port);
        EXPECT_TRUE(conv.SetLink(fw::kProgmanService, L""))
            << "the server started by \"progman \" did not answer";
        fw::RunInstallSequence(conv, L"D:\\Fenwobble.exe",
                               [&](std::wstring_view t) { shown.emplace_back(t); });
    }
    const auto servers = ForeignWindows(L"FwProgmanServer");
    ASSERT_EQ(servers.size(), 1u) << "expected the started server";
    DWORD pid = 0;
    ::GetWindowThreadProcessId(servers[0], &pid);
    KernelHandle process(::OpenProcess(SYNCHRONIZE, FALSE, pid));
    ::SetEvent(quit.get());
    EXPECT_EQ(::WaitForSingleObject(process.get(), 30000), WAIT_OBJECT_0);
    EXPECT_TRUE(shown.empty()) << "expected no message, got " << shown.size();
    const std::string got = ReadBytes(log);
    const std::string expected =
        Expected({fw::CreateGroupCommand(fw::kGroupName),
                  fw::AddItemCommand(L"D:\\Fenwobble.exe", fw::kGroupName),
                  fw::AddRemovalItemCommand(L"D:\\Fenwobble.exe", fw::kRemovalItemName)});
    EXPECT_EQ(got, expected) << "expected " << Show(expected) << ", got " << Show(got);
    ::DeleteFileW(log.c_str());
}

// What a test reads off a message box of this process before it presses OK.
struct SeenBox {
    bool found = false;
    std::wstring caption;
    std::wstring text;
    bool icon = false;
};

BOOL CALLBACK FindOwnDialog(HWND h, LPARAM lp) {
    wchar_t cls[16] = {};
    ::GetClassNameW(h, cls, 16);
    DWORD pid = 0;
    ::GetWindowThreadProcessId(h, &pid);
    if (pid == ::GetCurrentProcessId() && std::wcscmp(cls, L"#32770") == 0 &&
        ::IsWindowVisible(h)) {
        *reinterpret_cast<HWND*>(lp) = h;
        return FALSE;
    }
    return TRUE;
}

std::wstring TextOf(HWND h) {
    wchar_t buf[512] = {};
    ::GetWindowTextW(h, buf, 512);
    return buf;
}

BOOL CALLBACK FindIcon(HWND h, LPARAM lp) {
    if ((::GetWindowLongW(h, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
        *reinterpret_cast<bool*>(lp) = true;
    }
    return TRUE;
}

TEST(ProgramGroupDde, MessagesAppearInTheInformationDialog) {
    SeenBox seen;
    std::thread presser([&seen] {
        for (int i = 0; i < 200 && !seen.found; ++i) {
            HWND box = nullptr;
            ::EnumWindows(FindOwnDialog, reinterpret_cast<LPARAM>(&box));
            if (!box) {
                ::Sleep(50);
                continue;
            }
            seen.found = true;
            seen.caption = TextOf(box);
            seen.text = TextOf(::GetDlgItem(box, 0xFFFF));
            ::EnumChildWindows(box, FindIcon, reinterpret_cast<LPARAM>(&seen.icon));
            ::PostMessageW(box, WM_COMMAND, IDOK, 0);
        }
    });
    fw::ShowInformation(nullptr, fw::kAddRemovalItemFailed);
    presser.join();
    ASSERT_TRUE(seen.found) << "no dialog appeared";
    EXPECT_EQ(seen.caption, L"Information") << "got " << fw::win::ToUtf8(seen.caption);
    EXPECT_EQ(seen.text, fw::kAddRemovalItemFailed) << "got " << fw::win::ToUtf8(seen.text);
    EXPECT_TRUE(seen.icon) << "expected the information icon";
}

} // namespace
