#include "driver.h"

#include "fire_protocol.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace fwtest {

namespace {

std::wstring Env(const wchar_t* name) {
    wchar_t buf[4096];
    const DWORD n = ::GetEnvironmentVariableW(name, buf, 4096);
    return n && n < 4096 ? std::wstring(buf, n) : std::wstring();
}

std::wstring FromUtf8(const std::string& s) {
    if (s.empty()) {
        return {};
    }
    const int n =
        ::MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), out.data(), n);
    return out;
}

} // namespace

std::wstring CdFolder() {
    std::wstring cd = Env(L"FW_CD");
    if (cd.empty()) {
        // Beside the scenario executable: build/win32/tests/e2e -> build/win32/cd
        wchar_t path[MAX_PATH];
        ::GetModuleFileNameW(nullptr, path, MAX_PATH);
        std::wstring p(path);
        for (int i = 0; i < 3; ++i) {
            p = p.substr(0, p.find_last_of(L'\\'));
        }
        cd = p + L"\\cd\\";
    }
    if (cd.back() != L'\\') {
        cd += L'\\';
    }
    return cd;
}

std::wstring FixtureFolder() {
    // build/<preset>/tests/e2e/<scenario>.exe -> build/<preset>/tests/fixtures
    wchar_t path[MAX_PATH];
    ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring p(path);
    p = p.substr(0, p.find_last_of(L'\\'));
    return p.substr(0, p.find_last_of(L'\\')) + L"\\fixtures\\";
}

std::wstring TempFile(const std::wstring& stem) {
    wchar_t dir[MAX_PATH];
    ::GetTempPathW(MAX_PATH, dir);
    static int counter = 0;
    return std::wstring(dir) + stem + L"-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
           std::to_wstring(++counter) + L".txt";
}

Program::Program(const StartArgs& args) {
    const std::wstring exe = args.exe.empty() ? CdFolder() + L"Fenwobble.exe" : args.exe;
    std::wstring cmd = L"\"" + exe + L"\"";
    if (!args.args.empty()) {
        cmd += L" " + args.args;
    }
    if (!args.trace.empty()) {
        ::SetEnvironmentVariableW(L"FENWOBBLE_PLAYER_TRACE", args.trace.c_str());
    } else {
        ::SetEnvironmentVariableW(L"FENWOBBLE_PLAYER_TRACE", nullptr);
    }
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    std::wstring work = args.workDir;
    if (!::CreateProcessW(exe.c_str(), cmd.data(), nullptr, nullptr, FALSE, 0, nullptr,
                          work.empty() ? nullptr : work.c_str(), &si, &pi_)) {
        throw std::runtime_error("cannot start the program under test");
    }
}

Program::~Program() {
    Kill();
    if (pi_.hProcess) {
        ::CloseHandle(pi_.hProcess);
        ::CloseHandle(pi_.hThread);
    }
}

bool Program::Running() const {
    return pi_.hProcess && ::WaitForSingleObject(pi_.hProcess, 0) == WAIT_TIMEOUT;
}

bool Program::WaitExit(Ms timeout) {
    return ::WaitForSingleObject(pi_.hProcess, static_cast<DWORD>(timeout.count())) ==
           WAIT_OBJECT_0;
}

DWORD Program::ExitCode() const {
    DWORD code = STILL_ACTIVE;
    ::GetExitCodeProcess(pi_.hProcess, &code);
    return code;
}

void Program::Kill() {
    if (Running()) {
        ::TerminateProcess(pi_.hProcess, 99);
        ::WaitForSingleObject(pi_.hProcess, 5000);
    }
}

bool WaitFor(const std::function<bool()>& cond, Ms timeout, Ms step) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (cond()) {
            return true;
        }
        if (std::chrono::steady_clock::now() >= end) {
            return false;
        }
        std::this_thread::sleep_for(step);
    }
}

namespace {
struct EnumCtx {
    DWORD pid;
    bool visible;
    std::vector<HWND> out;
};
BOOL CALLBACK CollectWindow(HWND h, LPARAM lp) {
    auto* c = reinterpret_cast<EnumCtx*>(lp);
    DWORD owner = 0;
    ::GetWindowThreadProcessId(h, &owner);
    if ((c->pid == 0 || owner == c->pid) && (!c->visible || ::IsWindowVisible(h))) {
        c->out.push_back(h);
    }
    return TRUE;
}
} // namespace

std::vector<HWND> TopWindows(DWORD pid, bool visibleOnly) {
    EnumCtx ctx{pid, visibleOnly, {}};
    ::EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&ctx));
    return ctx.out;
}

std::wstring WindowText(HWND hwnd) {
    wchar_t buf[4096];
    const int n = ::GetWindowTextW(hwnd, buf, 4096);
    return std::wstring(buf, n > 0 ? n : 0);
}

std::wstring ControlText(HWND hwnd) {
    DWORD_PTR length = 0;
    ::SendMessageTimeoutW(hwnd, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 5000, &length);
    std::wstring text(length + 1, L'\0');
    DWORD_PTR got = 0;
    ::SendMessageTimeoutW(hwnd, WM_GETTEXT, length + 1, reinterpret_cast<LPARAM>(text.data()),
                          SMTO_ABORTIFHUNG, 5000, &got);
    text.resize(got);
    return text;
}

std::string DescribeWindows() {
    std::string out;
    for (HWND h : TopWindows(0, true)) {
        const std::wstring w = ClassName(h) + L" '" + WindowText(h) + L"'; ";
        out += std::string(w.begin(), w.end());
    }
    return out;
}

std::wstring ClassName(HWND hwnd) {
    wchar_t buf[256];
    const int n = ::GetClassNameW(hwnd, buf, 256);
    return std::wstring(buf, n > 0 ? n : 0);
}

RECT WindowRect(HWND hwnd) {
    RECT r{};
    ::GetWindowRect(hwnd, &r);
    return r;
}

HWND FindWindowOf(DWORD pid, const std::wstring& cls, const std::wstring& title, bool visibleOnly) {
    for (HWND h : TopWindows(pid, visibleOnly)) {
        if ((cls.empty() || ClassName(h) == cls) && (title.empty() || WindowText(h) == title)) {
            return h;
        }
    }
    return nullptr;
}

HWND WaitWindow(DWORD pid, const std::wstring& cls, const std::wstring& title, Ms timeout,
                bool visibleOnly) {
    HWND found = nullptr;
    WaitFor([&] { return (found = FindWindowOf(pid, cls, title, visibleOnly)) != nullptr; },
            timeout);
    return found;
}

HWND FindChild(HWND parent, const std::wstring& cls) {
    return ::FindWindowExW(parent, nullptr, cls.c_str(), nullptr);
}

std::optional<MessageBoxInfo> WaitMessageBox(DWORD pid, Ms timeout) {
    HWND box = WaitWindow(pid, L"#32770", L"", timeout);
    if (!box) {
        return std::nullopt;
    }
    MessageBoxInfo info;
    info.hwnd = box;
    info.caption = WindowText(box);
    // The text of a system message box is the static control with id 65535.
    if (HWND text = ::GetDlgItem(box, 0xFFFF)) {
        info.text = WindowText(text);
    }
    return info;
}

void PressButton(HWND dialog, int id) {
    HWND button = ::GetDlgItem(dialog, id);
    ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                   reinterpret_cast<LPARAM>(button));
    // The next box must not be mistaken for this one.
    WaitFor([&] { return !::IsWindow(dialog) || !::IsWindowVisible(dialog); }, 5s);
}

std::wstring DismissMessageBox(DWORD pid, Ms timeout, int id) {
    auto box = WaitMessageBox(pid, timeout);
    if (!box) {
        return L"<no message box>";
    }
    PressButton(box->hwnd, id);
    return box->text;
}

void PostKey(HWND hwnd, WORD vk) {
    const UINT scan = ::MapVirtualKeyW(vk, 0);
    ::PostMessageW(hwnd, WM_KEYDOWN, vk, 1 | (scan << 16));
    ::PostMessageW(hwnd, WM_KEYUP, vk, 1 | (scan << 16) | (1u << 30) | (1u << 31));
}

std::optional<std::wstring> RegReadString(HKEY root, const std::wstring& key,
                                          const std::wstring& name) {
    HKEY h = nullptr;
    if (::RegOpenKeyExW(root, key.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    DWORD type = 0;
    DWORD size = 0;
    std::optional<std::wstring> out;
    if (::RegQueryValueExW(h, name.c_str(), nullptr, &type, nullptr, &size) == ERROR_SUCCESS &&
        (type == REG_SZ || type == REG_EXPAND_SZ)) {
        std::wstring v(size / sizeof(wchar_t) + 1, L'\0');
        ::RegQueryValueExW(h, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(v.data()),
                           &size);
        v.resize(size / sizeof(wchar_t));
        while (!v.empty() && v.back() == L'\0') {
            v.pop_back();
        }
        out = v;
    }
    ::RegCloseKey(h);
    return out;
}

bool RegKeyExists(HKEY root, const std::wstring& key) {
    HKEY h = nullptr;
    if (::RegOpenKeyExW(root, key.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS) {
        return false;
    }
    ::RegCloseKey(h);
    return true;
}

void RegWriteString(HKEY root, const std::wstring& key, const std::wstring& name,
                    const std::wstring& value) {
    HKEY h = nullptr;
    if (::RegCreateKeyExW(root, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h, nullptr) !=
        ERROR_SUCCESS) {
        throw std::runtime_error("cannot create a registry key");
    }
    ::RegSetValueExW(h, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                     static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    ::RegCloseKey(h);
}

void RegDeleteTree(HKEY root, const std::wstring& key) {
    ::RegDeleteTreeW(root, key.c_str());
}

std::vector<std::wstring> RegValueNames(HKEY root, const std::wstring& key) {
    std::vector<std::wstring> names;
    HKEY h = nullptr;
    if (::RegOpenKeyExW(root, key.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS) {
        return names;
    }
    for (DWORD i = 0;; ++i) {
        wchar_t name[16384];
        DWORD len = 16384;
        if (::RegEnumValueW(h, i, name, &len, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS) {
            break;
        }
        names.emplace_back(name, len);
    }
    ::RegCloseKey(h);
    return names;
}

std::vector<std::wstring> ReadLines(const std::wstring& path) {
    std::vector<std::wstring> lines;
    std::ifstream in(path.c_str(), std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        lines.push_back(FromUtf8(line));
    }
    return lines;
}

namespace {
std::wstring Decode(const std::wstring& field) {
    std::wstring out;
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] == L'%' && i + 2 < field.size()) {
            const std::wstring hex = field.substr(i + 1, 2);
            out += static_cast<wchar_t>(std::wcstoul(hex.c_str(), nullptr, 16));
            i += 2;
        } else {
            out += field[i];
        }
    }
    return out;
}
} // namespace

std::vector<TraceLine> ReadTrace(const std::wstring& path) {
    std::vector<TraceLine> out;
    for (const auto& line : ReadLines(path)) {
        TraceLine fields;
        std::size_t start = 0;
        for (;;) {
            const auto tab = line.find(L'\t', start);
            fields.push_back(Decode(line.substr(start, tab - start)));
            if (tab == std::wstring::npos) {
                break;
            }
            start = tab + 1;
        }
        out.push_back(fields);
    }
    return out;
}

std::vector<TraceLine> TraceMatching(const std::wstring& path,
                                     const std::vector<std::wstring>& head) {
    std::vector<TraceLine> out;
    for (const auto& line : ReadTrace(path)) {
        if (line.size() >= head.size() && std::equal(head.begin(), head.end(), line.begin())) {
            out.push_back(line);
        }
    }
    return out;
}

bool WaitTrace(const std::wstring& path, const std::vector<std::wstring>& head, Ms timeout) {
    return WaitFor([&] { return !TraceMatching(path, head).empty(); }, timeout);
}

HWND PlayerWindow(HWND mainWindow) {
    return fw::player::FindPlayerWindow(mainWindow);
}

bool Fire(HWND mainWindow, const std::wstring& command, const std::wstring& args) {
    HWND player = PlayerWindow(mainWindow);
    return player && fw::player::SendFireRequest(player, command, args);
}

DWORD RunWait(const std::wstring& commandLine, Ms timeout) {
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi{};
    std::wstring cmd = commandLine;
    if (!::CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                          &pi)) {
        return static_cast<DWORD>(-1);
    }
    DWORD code = static_cast<DWORD>(-2);
    if (::WaitForSingleObject(pi.hProcess, static_cast<DWORD>(timeout.count())) == WAIT_OBJECT_0) {
        ::GetExitCodeProcess(pi.hProcess, &code);
    } else {
        ::TerminateProcess(pi.hProcess, 1);
    }
    ::CloseHandle(pi.hProcess);
    ::CloseHandle(pi.hThread);
    return code;
}

std::wstring SystemFolder() {
    wchar_t buf[MAX_PATH];
    ::GetSystemDirectoryW(buf, MAX_PATH);
    return std::wstring(buf) + L"\\";
}

void RegisterControl(const std::wstring& path) {
    const DWORD rc = RunWait(SystemFolder() + L"regsvr32.exe /s \"" + path + L"\"");
    if (rc != 0) {
        throw std::runtime_error("regsvr32 failed");
    }
}

void CopyTree(const std::wstring& from, const std::wstring& to) {
    namespace fs = std::filesystem;
    fs::create_directories(to);
    for (const auto& entry : fs::directory_iterator(from)) {
        const fs::path target = fs::path(to) / entry.path().filename();
        if (entry.is_directory()) {
            CopyTree(entry.path().wstring(), target.wstring());
        } else {
            fs::copy_file(entry.path(), target, fs::copy_options::overwrite_existing);
        }
    }
}

std::wstring InstalledCopy(const std::wstring& name) {
    const std::wstring folder = L"C:\\" + name + L"\\";
    CopyTree(CdFolder(), folder);
    RegWriteString(HKEY_LOCAL_MACHINE, kProgramKey, L"", L"");
    return folder;
}

void StartWithMovie(const std::wstring& name, const std::vector<std::uint8_t>& movie,
                    std::unique_ptr<Shell>& shell) {
    const std::wstring folder = InstalledCopy(name);
    FILE* f = _wfopen((folder + L"SWF\\Game.swf").c_str(), L"wb");
    ASSERT_NE(f, nullptr);
    const std::size_t written = std::fwrite(movie.data(), 1, movie.size(), f);
    std::fclose(f);
    ASSERT_EQ(written, movie.size());
    RegisterControl(folder + L"SWF\\FLASH.OCX");
    StartArgs args;
    args.exe = folder + L"Fenwobble.exe";
    args.workDir = folder;
    shell = std::make_unique<Shell>(std::move(args));
    ASSERT_NO_FATAL_FAILURE(shell->WaitMovie());
    ASSERT_NO_FATAL_FAILURE(shell->SkipIntro());
}

ProgmanServer::ProgmanServer() {
    wchar_t self[MAX_PATH];
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring folder(self);
    folder = folder.substr(0, folder.find_last_of(L'\\') + 1);
    const std::wstring exe = folder + L"..\\tools\\progman\\progman.exe";
    const std::wstring id =
        std::to_wstring(::GetCurrentProcessId()) + L"_" + std::to_wstring(::GetTickCount());
    log_ = TempFile(L"progman");
    const std::wstring readyName = L"FwScenarioProgmanReady" + id;
    const std::wstring quitName = L"FwScenarioProgmanQuit" + id;
    HANDLE ready = ::CreateEventW(nullptr, TRUE, FALSE, readyName.c_str());
    quit_ = ::CreateEventW(nullptr, TRUE, FALSE, quitName.c_str());
    std::wstring cmd = L"\"" + exe + L"\" /log:" + log_ + L" /ready:" + readyName + L" /quit:" +
                       quitName + L" /timeout:600000";
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    if (!::CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                          &pi_)) {
        ::CloseHandle(ready);
        throw std::runtime_error("cannot start the test Program Manager server");
    }
    HANDLE both[2] = {ready, pi_.hProcess};
    const DWORD w = ::WaitForMultipleObjects(2, both, FALSE, 30000);
    ::CloseHandle(ready);
    if (w != WAIT_OBJECT_0) {
        throw std::runtime_error("the test Program Manager server did not come up");
    }
}

ProgmanServer::~ProgmanServer() {
    ::SetEvent(quit_);
    if (::WaitForSingleObject(pi_.hProcess, 5000) != WAIT_OBJECT_0) {
        ::TerminateProcess(pi_.hProcess, 1);
    }
    ::CloseHandle(pi_.hProcess);
    ::CloseHandle(pi_.hThread);
    ::CloseHandle(quit_);
}

void ProgmanServer::Kill() {
    ::TerminateProcess(pi_.hProcess, 1);
    ::WaitForSingleObject(pi_.hProcess, 5000);
}

std::string ProgmanServer::Received() const {
    std::ifstream in(log_.c_str(), std::ios::binary);
    std::ostringstream all;
    all << in.rdbuf();
    return all.str();
}

std::string Cp1251(const std::wstring& text) {
    if (text.empty()) {
        return {};
    }
    const int n = ::WideCharToMultiByte(1251, 0, text.data(), static_cast<int>(text.size()),
                                        nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n), '\0');
    ::WideCharToMultiByte(1251, 0, text.data(), static_cast<int>(text.size()), out.data(), n,
                          nullptr, nullptr);
    return out;
}

StartArgs Shell::WithTrace(StartArgs args) {
    if (args.trace.empty()) {
        args.trace = TempFile(L"trace");
    }
    return args;
}

void Shell::WaitMovie(Ms timeout, bool visibleOnly) {
    main_ = WaitWindow(Pid(), L"TMainForm", L"MainForm", timeout, visibleOnly);
    if (main_ == nullptr) {
        // A rare start under a loaded machine never shows the window; what the process and its
        // trace got to is what tells a slow start from a failed one.
        const std::vector<TraceLine> lines = ReadTrace(trace_);
        std::wstring trace;
        for (std::size_t i = lines.size() > 20 ? lines.size() - 20 : 0; i < lines.size(); ++i) {
            for (const std::wstring& field : lines[i]) {
                trace += field + L' ';
            }
            trace += L"| ";
        }
        FAIL() << "expected the main window; windows: " << DescribeWindows()
               << (Running() ? "; still running" : "; exited with " + std::to_string(ExitCode()))
               << "; trace: " << Cp1251(trace);
    }
    ASSERT_TRUE(WaitTrace(trace_, {L"put", L"Movie"}, 30s)) << "expected the movie loaded";
    ASSERT_NE(PlayerWindow(main_), nullptr) << "expected the player's window";
}

void Shell::SkipIntro() {
    PostKey(main_, VK_ESCAPE);
    ASSERT_TRUE(WaitFor(
        [&] {
            return TraceMatching(trace_, {L"put", L"Movie"}).size() >= 2;
        },
        20s))
        << "expected the movie loaded again after the skip";
    ASSERT_TRUE(
        WaitFor([&] { return ::IsWindowVisible(::GetParent(PlayerWindow(main_))) != FALSE; }, 10s))
        << "expected the player shown after the skip";
}

bool Shell::Send(const std::wstring& command, const std::wstring& args) {
    const auto before = TraceMatching(trace_, {L"FSCommand"}).size();
    return Fire(main_, command, args) &&
           WaitFor([&] { return TraceMatching(trace_, {L"FSCommand"}).size() > before; }, 10s);
}

std::string ProgmanBytes(const std::vector<std::wstring>& commands) {
    std::string bytes;
    for (const std::wstring& c : commands) {
        bytes += Cp1251(c);
        bytes += '\0';
    }
    return bytes;
}

std::vector<std::pair<std::wstring, std::uintmax_t>> TreeListing(const std::wstring& folder) {
    namespace fs = std::filesystem;
    std::vector<std::pair<std::wstring, std::uintmax_t>> out;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(folder, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (it->is_regular_file()) {
            out.emplace_back(fs::relative(it->path(), folder).wstring(), it->file_size());
        }
    }
    std::sort(out.begin(), out.end());
    return out;
}

bool FileExists(const std::wstring& path) {
    return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool HostAvailable() {
    return !Env(L"FW_BRIDGE").empty();
}

HostResult Host(const std::string& command, Ms timeout) {
    HostResult result;
    const std::wstring dir = Env(L"FW_BRIDGE");
    if (dir.empty()) {
        result.output = "no host bridge";
        return result;
    }
    static int counter = 0;
    const std::wstring base = dir + L"\\req" + std::to_wstring(::GetCurrentProcessId()) + L"_" +
                              std::to_wstring(++counter);
    {
        std::ofstream tmp((base + L".new").c_str(), std::ios::binary);
        tmp << command << "\n";
    }
    ::MoveFileW((base + L".new").c_str(), (base + L".cmd").c_str());
    if (!WaitFor([&] { return FileExists(base + L".rc"); }, timeout)) {
        result.output = "host command timed out";
        return result;
    }
    std::ifstream rc((base + L".rc").c_str());
    rc >> result.status;
    std::ifstream out((base + L".out").c_str(), std::ios::binary);
    std::ostringstream all;
    all << out.rdbuf();
    result.output = all.str();
    return result;
}

COLORREF ScreenPixel(int x, int y) {
    HDC dc = ::GetDC(nullptr);
    const COLORREF c = ::GetPixel(dc, x, y);
    ::ReleaseDC(nullptr, dc);
    return c;
}

std::string HostScratch() {
    return "\"$WINEPREFIX/scratch\"";
}

bool HostScreenshot(const std::string& image) {
    return Host("mkdir -p " + HostScratch() + " && import -window root " + image).status == 0;
}

std::vector<COLORREF> HostImagePixels(const std::string& image, const std::vector<POINT>& points) {
    std::string format;
    for (const POINT& p : points) {
        format += "%[hex:p{" + std::to_string(p.x) + "," + std::to_string(p.y) + "}] ";
    }
    const HostResult r = Host("convert " + image + " -format '" + format + "' info:");
    std::vector<COLORREF> colours;
    if (r.status != 0) {
        return colours;
    }
    std::istringstream in(r.output);
    std::string hex;
    while (in >> hex && colours.size() < points.size()) {
        // Six hex digits of red, green and blue (eight with alpha).
        if (hex.size() < 6) {
            return {};
        }
        const unsigned long v = std::stoul(hex.substr(0, 6), nullptr, 16);
        colours.push_back(RGB((v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF));
    }
    if (colours.size() != points.size()) {
        colours.clear();
    }
    return colours;
}

std::optional<RECT> HostImageContentBox(const std::string& image) {
    const HostResult r = Host("convert " + image + " -trim -format '%w %h %X %Y' info:");
    int w = 0, h = 0, x = 0, y = 0;
    if (r.status != 0 || std::sscanf(r.output.c_str(), "%d %d %d %d", &w, &h, &x, &y) != 4) {
        return std::nullopt;
    }
    return RECT{x, y, x + w, y + h};
}

HostFileWatch::HostFileWatch(const std::string& pattern, std::chrono::seconds duration)
    : duration_(duration) {
    static int counter = 0;
    list_ = HostScratch() + "/watch" + std::to_string(::GetCurrentProcessId()) + "_" +
            std::to_string(++counter);
    const std::string loop =
        "end=$((SECONDS+" + std::to_string(duration.count()) +
        ")); while [ $SECONDS -lt $end ]; do ls -l /proc/[0-9]*/fd 2>/dev/null | grep -oE "
        "\"$WINEPREFIX/[^ ]*(" +
        pattern + ")\"; sleep 0.05; done | sort -u >" + list_ + ".tmp; mv " + list_ + ".tmp " +
        list_;
    // Detached, so the bridge answers at once; the loop ends by itself.
    started_ = Host("mkdir -p " + HostScratch() + " && (" + loop + ") >/dev/null 2>&1 </dev/null &")
                   .status == 0;
}

std::set<std::string> HostFileWatch::Seen() {
    std::set<std::string> seen;
    if (!started_) {
        return seen;
    }
    const HostResult r =
        Host("for i in $(seq 1 " + std::to_string(duration_.count() * 20 + 100) + "); do [ -e " +
                 list_ + " ] && break; sleep 0.1; done; cat " + list_,
             duration_ + 30s);
    std::istringstream in(r.output);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty()) {
            seen.insert(line);
        }
    }
    return seen;
}

bool ColoursAlike(COLORREF a, COLORREF b, int tolerance) {
    return std::abs(GetRValue(a) - GetRValue(b)) <= tolerance &&
           std::abs(GetGValue(a) - GetGValue(b)) <= tolerance &&
           std::abs(GetBValue(a) - GetBValue(b)) <= tolerance;
}

std::string DescribeColour(COLORREF c) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "#%02X%02X%02X", GetRValue(c), GetGValue(c), GetBValue(c));
    return buf;
}

} // namespace fwtest
