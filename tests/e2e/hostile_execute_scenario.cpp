// "execute" with names a hostile movie could send: traversal, device names,
// quotes, wildcards, very long and empty names. Each must end in the document
// viewer, in a program the shell's open started, or in a message, and the
// shell must go on.
#include "driver.h"

#include <gtest/gtest.h>

#include <tlhelp32.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <set>

using namespace fwtest;
namespace fs = std::filesystem;

namespace {

std::string Narrow(const std::wstring& w, std::size_t max = 80) {
    std::string out;
    for (wchar_t c : w.substr(0, max)) {
        out += c >= 32 && c < 127 ? static_cast<char>(c) : '?';
    }
    if (w.size() > max) {
        out += "...(" + std::to_string(w.size()) + " chars)";
    }
    return out;
}

// Processes started by the given one and by those, transitively.
std::vector<DWORD> Descendants(DWORD root) {
    std::multimap<DWORD, DWORD> children;
    HANDLE snap = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snap == INVALID_HANDLE_VALUE) {
        return {};
    }
    PROCESSENTRY32W e{};
    e.dwSize = sizeof(e);
    for (BOOL ok = ::Process32FirstW(snap, &e); ok; ok = ::Process32NextW(snap, &e)) {
        if (e.th32ProcessID != e.th32ParentProcessID) {
            children.emplace(e.th32ParentProcessID, e.th32ProcessID);
        }
    }
    ::CloseHandle(snap);
    std::vector<DWORD> out;
    std::vector<DWORD> todo{root};
    while (!todo.empty()) {
        const DWORD p = todo.back();
        todo.pop_back();
        auto [a, b] = children.equal_range(p);
        for (auto it = a; it != b; ++it) {
            out.push_back(it->second);
            todo.push_back(it->second);
        }
    }
    return out;
}

// Closes the windows of a started program, then ends it.
void EndProgram(DWORD pid) {
    for (HWND h : TopWindows(pid, true)) {
        ::PostMessageW(h, WM_CLOSE, 0, 0);
    }
    HANDLE p = ::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid);
    if (!p) {
        return;
    }
    if (::WaitForSingleObject(p, 300) != WAIT_OBJECT_0) {
        ::TerminateProcess(p, 1);
        ::WaitForSingleObject(p, 5000);
    }
    ::CloseHandle(p);
}

// The names: fixed hostile cases first, then random junk up to the count.
std::vector<std::wstring> Names(std::size_t count, unsigned seed) {
    std::vector<std::wstring> names = {
        L"",
        L" ",
        L"..\\..\\windows\\win.ini",
        L"..\\..\\..\\..\\..\\..\\..\\windows\\win.ini",
        L"../../windows/win.ini",
        L"..\\..\\windows\\notepad.exe",
        L"..\\..\\windows\\system32\\winver.exe",
        L"..\\Fenwobble.exe",
        L"..\\..\\windows\\system32\\drivers\\etc\\hosts",
        L"..\\SWF\\..\\SWF\\rtf.txt",
        L"CON",
        L"NUL",
        L"AUX",
        L"PRN",
        L"COM1",
        L"LPT1",
        L"CON.txt",
        L"nul.txt",
        L"aux.rtf",
        L"NUL.rtf",
        L"CONIN$",
        L"CONOUT$",
        L"CON:",
        L"NUL.",
        L"COM1 ",
        L"\\\\.\\NUL",
        L"\\\\?\\C:\\windows\\win.ini",
        L"\"",
        L"\"\"",
        L"a\"b.txt",
        L"\"rtf.txt\"",
        L"'rtf.txt'",
        L"\"..\\..\\windows\\win.ini\"",
        L"rtf.txt\" \"other",
        L"rtf.txt\" /p",
        L"*",
        L"*.*",
        L"?.txt",
        L"*.rtf",
        L"rtf.txt:stream",
        L"rtf.txt::$DATA",
        L"rtf.txt.",
        L"rtf.txt   ",
        L".",
        L"..",
        L"...",
        L"\\",
        L"/",
        L"|",
        L"<>",
        L"a|b.txt",
        L"%WINDIR%\\win.ini",
        L"http://example.invalid/",
        L"mailto:someone@example.invalid",
        L"file:///C:/windows/win.ini",
        L"C:\\windows\\win.ini",
        L"\\\\server.invalid\\share\\x.txt",
        L"\u0414\u043e\u043a\u0443\u043c\u0435\u043d\u0442.txt",
        L"\u0414\u043e\u043a\u0443\u043c\u0435\u043d\u0442.rtf",
        L"help.RTF",
        L"docs.rtf.exe",
        L"rtf.txt",
        L"\x01\x02",
        L"tab\tname.txt",
        L"name\r\n.txt",
        L"\u6587\u4ef6.txt",
        L"\U0001F600.txt",
        std::wstring(200, L'a') + L".txt",
        std::wstring(259, L'b'),
        std::wstring(260, L'c') + L".txt",
        std::wstring(300, L'd') + L".rtf",
        std::wstring(1000, L'e') + L".txt",
        std::wstring(32767, L'f'),
        std::wstring(65536, L'g') + L".txt",
        std::wstring(65536, L'h') + L".rtf",
        std::wstring(100, L'\\') + L"win.ini",
        L"..\\" + std::wstring(40, L'.') + L"\\x.txt",
    };
    std::mt19937 rng(seed);
    const std::wstring alphabet = L"abcXYZ019 ._-\\/:*?\"<>|%&=\u0430\u0436\u044f\u03b1\u6c34\t";
    const std::vector<std::wstring> tails = {L"",     L".txt", L".rtf", L".exe", L".bat",
                                             L".RtF", L".ini", L".lnk", L".url", L"\\"};
    while (names.size() < count) {
        std::wstring n;
        const std::size_t len = 1 + rng() % 24;
        for (std::size_t i = 0; i < len; ++i) {
            n += alphabet[rng() % alphabet.size()];
        }
        if (rng() % 4 == 0) {
            n = L"..\\" + n;
        }
        names.push_back(n + tails[rng() % tails.size()]);
    }
    names.resize(count);
    return names;
}

class HostileExecute : public ::testing::Test {
protected:
    void SetUp() override {
        RegisterControl(CdFolder() + L"SWF\\FLASH.OCX");
        RegDeleteTree(HKEY_LOCAL_MACHINE, kProgramKey);
        folder_ = InstalledCopy(L"fwexecute");
        const std::wstring swf = folder_ + L"SWF\\";
        std::ofstream(fs::path(swf + L"rtf.txt")) << "plain text\r\n";
        std::ofstream(fs::path(swf + L"\u0414\u043e\u043a\u0443\u043c\u0435\u043d\u0442.txt"))
            << "text\r\n";
        const char* rtf =
            "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\\pard\\plain\\f0 For parents\\par}";
        std::ofstream(fs::path(swf + L"help.RTF")) << rtf;
        std::ofstream(fs::path(swf + L"\u0414\u043e\u043a\u0443\u043c\u0435\u043d\u0442.rtf"))
            << rtf;
    }

    std::wstring folder_;
};

} // namespace

TEST_F(HostileExecute, EveryNameEndsInTheViewerAStartedProgramOrAMessage) {
    const unsigned seed = 7411;
    const auto names = Names(200, seed);
    std::printf("execute: %zu names, seed %u\n", names.size(), seed);
    const auto winIni = fs::file_size(L"C:\\windows\\win.ini");
    const auto ours = TreeListing(folder_);

    // With no window manager on the test display, Wine waits two seconds for
    // every closed message box to be withdrawn unless its windows are
    // unmanaged; the hundreds of boxes here need the time saved.
    const std::wstring x11 = L"Software\\Wine\\X11 Driver";
    const auto managed = RegReadString(HKEY_CURRENT_USER, x11, L"Managed");
    RegWriteString(HKEY_CURRENT_USER, x11, L"Managed", L"N");
    struct Restore {
        std::wstring key;
        std::optional<std::wstring> value;
        ~Restore() {
            if (value) {
                RegWriteString(HKEY_CURRENT_USER, key, L"Managed", *value);
            } else {
                HKEY h = nullptr;
                if (::RegOpenKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, KEY_SET_VALUE, &h) == 0) {
                    ::RegDeleteValueW(h, L"Managed");
                    ::RegCloseKey(h);
                }
            }
        }
    } restore{x11, managed};

    Shell shell({.exe = folder_ + L"Fenwobble.exe"});
    ASSERT_NO_FATAL_FAILURE(shell.WaitMovie());
    ASSERT_NO_FATAL_FAILURE(shell.SkipIntro());
    HWND main = shell.Main();

    const DWORD start = ::GetTickCount();
    std::map<std::string, int> outcomes;
    std::vector<std::string> silent;
    for (const auto& name : names) {
        const bool document = [&] {
            std::wstring l = name;
            for (auto& c : l) {
                c = c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c + 32) : c;
            }
            return l.find(L".rtf") != std::wstring::npos;
        }();
        const DWORD begin = ::GetTickCount();
        ASSERT_TRUE(Fire(main, L"execute", name)) << "the player refused '" << Narrow(name) << "'";
        std::string outcome;
        WaitFor(
            [&] {
                if (HWND viewer = FindWindowOf(shell.Pid(), L"TRtfForm", L"Родителям")) {
                    outcome = "viewer";
                    EXPECT_TRUE(document) << "viewer for '" << Narrow(name) << "'";
                    ::PostMessageW(viewer, WM_CLOSE, 0, 0);
                    WaitFor([&] { return !::IsWindowVisible(viewer); }, 5s);
                    return true;
                }
                if (auto box = WaitMessageBox(shell.Pid(), 0ms)) {
                    EXPECT_EQ(box->caption, L"Fenwobble");
                    if (document) {
                        outcome = "file error box";
                        EXPECT_EQ(box->text.rfind(L"Cannot ", 0), 0u)
                            << "'" << Narrow(name) << "': " << Narrow(box->text);
                    } else {
                        const std::wstring head = L"Ошибка ";
                        const std::wstring tail = L" вызова внешней программы";
                        const bool shape = box->text.size() > head.size() + tail.size() &&
                                           box->text.rfind(head, 0) == 0 &&
                                           box->text.compare(box->text.size() - tail.size(),
                                                             tail.size(), tail) == 0;
                        EXPECT_TRUE(shape) << "'" << Narrow(name) << "': " << Narrow(box->text);
                        const std::wstring code =
                            shape ? box->text.substr(head.size(),
                                                     box->text.size() - head.size() - tail.size())
                                  : L"?";
                        outcome = "message " + Narrow(code);
                        if (shape) {
                            EXPECT_LE(std::stoi(code), 32) << Narrow(name);
                        }
                    }
                    PressButton(box->hwnd, IDOK);
                    return true;
                }
                const auto started = Descendants(shell.Pid());
                if (!started.empty()) {
                    EXPECT_FALSE(document) << "a program for '" << Narrow(name) << "'";
                    outcome = "started program";
                    // Let it show what it opens before it is closed.
                    WaitFor(
                        [&] {
                            for (DWORD pid : Descendants(shell.Pid())) {
                                if (!TopWindows(pid, true).empty()) {
                                    return true;
                                }
                            }
                            return false;
                        },
                        3s);
                    for (DWORD pid : Descendants(shell.Pid())) {
                        EndProgram(pid);
                    }
                    return true;
                }
                return false;
            },
            8s, 20ms);
        if (outcome.empty()) {
            outcome = "nothing";
            silent.push_back(Narrow(name));
        }
        ++outcomes[outcome];
        std::printf("  '%s': %s (%lu ms, at %lu s)\n", Narrow(name, 40).c_str(), outcome.c_str(),
                    ::GetTickCount() - begin, (::GetTickCount() - start) / 1000);
        ASSERT_TRUE(shell.Running()) << "the shell ended after '" << Narrow(name) << "'";
        DWORD_PTR r = 0;
        const DWORD t0 = ::GetTickCount();
        ASSERT_NE(::SendMessageTimeoutW(main, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 10000, &r), 0)
            << "the shell stopped answering after '" << Narrow(name) << "'";
        if (::GetTickCount() - t0 > 500) {
            std::printf("    answered in %lu ms\n", ::GetTickCount() - t0);
        }
    }
    for (const auto& [what, n] : outcomes) {
        std::printf("  %-20s %d\n", what.c_str(), n);
    }
    EXPECT_TRUE(silent.empty()) << silent.size() << " names ended in nothing, the first: '"
                                << (silent.empty() ? "" : silent.front()) << "'";
    EXPECT_EQ(TreeListing(folder_), ours) << "expected the program's files untouched";
    EXPECT_EQ(fs::file_size(L"C:\\windows\\win.ini"), winIni) << "expected win.ini untouched";
    EXPECT_TRUE(Fire(main, L"quit", L""));
    EXPECT_TRUE(shell.WaitExit(30s));
}
