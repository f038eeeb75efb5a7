#pragma once
// The scenario driver: starts Fenwobble.exe in the prefix the scenario runs
// in and works it as a person would, through its windows, keys, message
// boxes, the registry, files and the stand-in player's trace.

#include "program_names.h"

#include <windows.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace fwtest {

using namespace std::chrono_literals;
using Ms = std::chrono::milliseconds;

// The sample CD as the scenario sees it: FW_CD when wine-run linked a drive,
// otherwise the build's cd folder through drive Z:.
std::wstring CdFolder();
// What the scenarios need that the CD does not ship (the legacy control): the build's
// tests/fixtures folder through drive Z:.
std::wstring FixtureFolder();
// A unique file in the prefix's temporary folder for a trace or a record.
std::wstring TempFile(const std::wstring& stem);

struct StartArgs {
    std::wstring exe; // full path; empty: CdFolder() + L"Fenwobble.exe"
    std::wstring args;
    std::wstring trace; // trace file for the stand-in player; empty: none
    std::wstring workDir;
};

// A running program; it is always ended when the object goes.
class Program {
public:
    explicit Program(const StartArgs& args);
    ~Program();
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    DWORD Pid() const { return pi_.dwProcessId; }
    bool Running() const;
    // Waits for the end; true when it ended in time.
    bool WaitExit(Ms timeout);
    DWORD ExitCode() const;
    void Kill();

private:
    PROCESS_INFORMATION pi_{};
};

bool WaitFor(const std::function<bool()>& cond, Ms timeout, Ms step = 50ms);

// Top-level windows of a process (any process when pid is 0).
std::vector<HWND> TopWindows(DWORD pid, bool visibleOnly);
// Waits for a top-level window of the class (and title, when given).
HWND WaitWindow(DWORD pid, const std::wstring& cls, const std::wstring& title, Ms timeout,
                bool visibleOnly = true);
HWND FindWindowOf(DWORD pid, const std::wstring& cls, const std::wstring& title,
                  bool visibleOnly = true);
HWND FindChild(HWND parent, const std::wstring& cls);

std::wstring WindowText(HWND hwnd);
// The text of a control of another process (asked with WM_GETTEXT).
std::wstring ControlText(HWND hwnd);
// "class 'title'" of every visible top-level window, for failure messages.
std::string DescribeWindows();
std::wstring ClassName(HWND hwnd);
RECT WindowRect(HWND hwnd);

// A system message box of the process, its text and caption, and its buttons.
struct MessageBoxInfo {
    HWND hwnd = nullptr;
    std::wstring text;
    std::wstring caption;
};
std::optional<MessageBoxInfo> WaitMessageBox(DWORD pid, Ms timeout);
// Presses a button of a dialog by its id (IDOK, IDYES, IDNO...) and waits
// until the dialog has gone.
void PressButton(HWND dialog, int id);
// Waits for a box, checks nothing, presses its first button; returns its text.
std::wstring DismissMessageBox(DWORD pid, Ms timeout, int id = IDOK);

// Posts a key press and release to a window (through the program's queue).
void PostKey(HWND hwnd, WORD vk);

// Registry under HKEY_LOCAL_MACHINE (or another root) as the shell sees it.
std::optional<std::wstring> RegReadString(HKEY root, const std::wstring& key,
                                          const std::wstring& name);
bool RegKeyExists(HKEY root, const std::wstring& key);
void RegWriteString(HKEY root, const std::wstring& key, const std::wstring& name,
                    const std::wstring& value);
void RegDeleteTree(HKEY root, const std::wstring& key);
// Value names in the registry's enumeration order.
std::vector<std::wstring> RegValueNames(HKEY root, const std::wstring& key);

// One line of the stand-in player's trace: its tab-separated fields, decoded.
using TraceLine = std::vector<std::wstring>;
std::vector<TraceLine> ReadTrace(const std::wstring& path);
// The lines whose first fields are the given ones.
std::vector<TraceLine> TraceMatching(const std::wstring& path,
                                     const std::vector<std::wstring>& head);
// Waits until the trace holds a line starting with these fields.
bool WaitTrace(const std::wstring& path, const std::vector<std::wstring>& head, Ms timeout);

// The player control's window inside the main window, and making it fire an
// FSCommand as its movie would.
HWND PlayerWindow(HWND mainWindow);
bool Fire(HWND mainWindow, const std::wstring& command, const std::wstring& args);

// The shell started for a scenario with the stand-in player's trace (a fresh file unless the
// arguments name one), followed as far as its movie. A step that does not see what it waits for
// fails the test fatally: call it under ASSERT_NO_FATAL_FAILURE.
class Shell : public Program {
public:
    explicit Shell(StartArgs args) : Shell(WithTrace(std::move(args)), 0) {}

    const std::wstring& Trace() const { return trace_; }
    // The main window, once WaitMovie has seen it.
    HWND Main() const { return main_; }
    // Waits for the main window (a hidden one too unless visibleOnly) and the movie's load.
    void WaitMovie(Ms timeout = 60s, bool visibleOnly = true);
    // Presses Escape to skip the intro: the movie is loaded once more and its player shows.
    void SkipIntro();
    // Makes the player fire the movie's command; true once it has fired it.
    bool Send(const std::wstring& command, const std::wstring& args);

private:
    Shell(const StartArgs& args, int) : Program(args), trace_(args.trace) {}
    static StartArgs WithTrace(StartArgs args);

    std::wstring trace_;
    HWND main_ = nullptr;
};

// Runs a program in this prefix and waits for it; returns its exit code.
DWORD RunWait(const std::wstring& commandLine, Ms timeout = 60s);
// Registers a control silently with the system's regsvr32.
void RegisterControl(const std::wstring& path);
std::wstring SystemFolder(); // with its trailing backslash
// Copies a folder tree; the destination is created.
void CopyTree(const std::wstring& from, const std::wstring& to);
// The sample CD copied to a folder of drive C: as an installed program
// (the program key marks it registered), so scenarios can add files to it.
std::wstring InstalledCopy(const std::wstring& name);

// The sample CD installed as InstalledCopy does with the given movie as its Game.swf, its control
// registered, and the shell started there and followed past the intro. A step that fails is
// fatal: call it under ASSERT_NO_FATAL_FAILURE.
void StartWithMovie(const std::wstring& name, const std::vector<std::uint8_t>& movie,
                    std::unique_ptr<Shell>& shell);

// Our Program Manager DDE server (tests/tools/progman), recording every
// command's bytes; it is stopped when the object goes.
class ProgmanServer {
public:
    ProgmanServer();
    ~ProgmanServer();
    ProgmanServer(const ProgmanServer&) = delete;
    ProgmanServer& operator=(const ProgmanServer&) = delete;
    // Everything received so far, byte for byte.
    std::string Received() const;
    // Ends the server at once, as a crash would: no goodbye to its clients.
    void Kill();

private:
    std::wstring log_;
    HANDLE quit_ = nullptr;
    PROCESS_INFORMATION pi_{};
};

// A text in Windows-1251 bytes, as the program group commands are sent.
std::string Cp1251(const std::wstring& text);
// The bytes our Program Manager server records for these commands: each in Windows-1251 with
// its terminating zero.
std::string ProgmanBytes(const std::vector<std::wstring>& commands);

// Every file below a folder, as relative paths with their sizes.
std::vector<std::pair<std::wstring, std::uintmax_t>> TreeListing(const std::wstring& folder);

// Lines of a UTF-8 text file (the player's trace); empty when it is missing.
std::vector<std::wstring> ReadLines(const std::wstring& path);
bool FileExists(const std::wstring& path);

// Runs a shell command on the host (xdotool, pactl, pdftoppm...) through the
// bridge that tools/wine-run keeps; returns its exit status and output.
struct HostResult {
    int status = -1;
    std::string output;
};
HostResult Host(const std::string& command, Ms timeout = 60s);
bool HostAvailable();

// The pixel colour of the screen at a point.
COLORREF ScreenPixel(int x, int y);

// A folder on the host for this run's pictures and pages, as a shell word for
// Host() command lines (it goes with the prefix).
std::string HostScratch();
// Saves the whole screen as a picture on the host (ImageMagick's import).
bool HostScreenshot(const std::string& image);
// The colours of points of a picture on the host; empty when it cannot be read.
std::vector<COLORREF> HostImagePixels(const std::string& image, const std::vector<POINT>& points);
// The box of a picture's content within its plain margins (ImageMagick's trim).
std::optional<RECT> HostImageContentBox(const std::string& image);
// Watches, on the host and for a while, which files of this prefix matching a
// pattern (an extended regular expression on the file's host path) any
// process holds open. The watch ends by itself.
class HostFileWatch {
public:
    HostFileWatch(const std::string& pattern, std::chrono::seconds duration);
    bool Started() const { return started_; }
    // Waits for the watch to end and gives the host paths seen open.
    std::set<std::string> Seen();

private:
    std::string list_;
    std::chrono::seconds duration_;
    bool started_ = false;
};

// Whether two colours are alike within a tolerance on every channel.
bool ColoursAlike(COLORREF a, COLORREF b, int tolerance = 40);
std::string DescribeColour(COLORREF c);

} // namespace fwtest
