// wine-shares: serial
// Faults of the machine around the shell: the drive of an installed copy gone
// before the copy's first start, a Program Manager that accepts the connect
// and then dies, and the sound server stopped under the running movie. Each
// shows its message or nothing, and loses no saved value and no file that the
// shell was not asked to delete.
#include "sound_window.h"

#include <mmsystem.h>
#include <shellapi.h>

#include <filesystem>
#include <fstream>

using namespace fwtest;
namespace fs = std::filesystem;

namespace {

// Values the movie saved earlier; no fault may take them.
const std::pair<std::wstring, std::wstring> kSaved[] = {
    {L"level", L"3"},
    {L"\u0438\u043c\u044f", L"\u041c\u0430\u0448\u0430"},
};

void WriteSaved() {
    for (const auto& [name, value] : kSaved) {
        RegWriteString(HKEY_LOCAL_MACHINE, kProgramKey, name, value);
    }
}

void ExpectSavedKept() {
    for (const auto& [name, value] : kSaved) {
        EXPECT_EQ(RegReadString(HKEY_LOCAL_MACHINE, kProgramKey, name), value)
            << "expected the saved value " << Cp1251(name) << " kept";
    }
}

size_t VolumeReports(const std::wstring& trace) {
    return TraceMatching(trace, {L"call", L"SetVariable", L"_root.currentvolume"}).size();
}

// Whether our Program Manager server holds an open conversation: the DDE
// library gives each one a window below the server's name window.
bool ServerConversationOpen() {
    HWND server = ::FindWindowW(L"FwProgmanServer", nullptr);
    DWORD pid = 0;
    if (!server || !::GetWindowThreadProcessId(server, &pid)) {
        return false;
    }
    for (HWND h : TopWindows(pid, false)) {
        for (const wchar_t* cls : {L"WineDdeServerConvA", L"WineDdeServerConvW"}) {
            if (::FindWindowExW(h, nullptr, cls, nullptr)) {
                return true;
            }
        }
    }
    return false;
}

// The message boxes a process shows from now until it shows the main
// window's movie, each closed with OK.
std::vector<MessageBoxInfo> CollectBoxes(DWORD pid, const std::wstring& trace, size_t most) {
    std::vector<MessageBoxInfo> boxes;
    while (boxes.size() < most) {
        auto box = WaitMessageBox(pid, 5s);
        if (!box) {
            break;
        }
        boxes.push_back(*box);
        PressButton(box->hwnd, IDOK);
        if (WaitTrace(trace, {L"put", L"Movie"}, 0ms)) {
            break;
        }
    }
    return boxes;
}

class FaultyPlatform : public ::testing::Test {
protected:
    void SetUp() override {
        RegisterControl(CdFolder() + L"SWF\\FLASH.OCX");
        RegDeleteTree(HKEY_LOCAL_MACHINE, kProgramKey);
        RegDeleteTree(HKEY_LOCAL_MACHINE, kAppPaths);
        RegDeleteTree(HKEY_LOCAL_MACHINE, kUninstall);
    }
};

} // namespace

// The installation copied the program to another drive and left its marker,
// but the drive is gone before the copy ever ran: a start from the CD takes
// the marker road and registers at the CD, without an offer.
TEST_F(FaultyPlatform, AMarkedCopyOnAGoneDriveLeadsToRegistrationAtTheCd) {
    if (!HostAvailable()) {
        GTEST_SKIP() << "no host bridge to link a drive";
    }
    const auto link = Host("d=\"$FW_PREFIX_HOST/drive-e\"; mkdir -p \"$d\" && "
                           "ln -sfn \"$d\" \"$FW_PREFIX_HOST/dosdevices/e:\"");
    ASSERT_EQ(link.status, 0) << link.output;
    const std::wstring copy = L"E:\\Fenwobble\\";
    CopyTree(CdFolder(), copy);
    const auto files = TreeListing(copy);
    ASSERT_FALSE(files.empty()) << "expected the copy on drive E:";
    RegWriteString(HKEY_LOCAL_MACHINE, kProgramKey, L"", L"Transfering");
    WriteSaved();

    const auto unlink = Host("rm \"$FW_PREFIX_HOST/dosdevices/e:\"");
    ASSERT_EQ(unlink.status, 0) << unlink.output;
    EXPECT_EQ(::GetDriveTypeW(L"E:\\"), static_cast<UINT>(DRIVE_NO_ROOT_DIR))
        << "expected drive E: gone";
    EXPECT_FALSE(FileExists(copy + L"Fenwobble.exe"));

    // Starting the copy where it was, as the installation or a link would,
    // simply fails.
    {
        std::wstring cmd = L"\"" + copy + L"Fenwobble.exe\"";
        STARTUPINFOW si{};
        si.cb = sizeof(si);
        PROCESS_INFORMATION pi{};
        const BOOL started =
            ::CreateProcessW((copy + L"Fenwobble.exe").c_str(), cmd.data(), nullptr, nullptr, FALSE,
                             0, nullptr, nullptr, &si, &pi);
        const DWORD error = ::GetLastError();
        EXPECT_FALSE(started) << "expected no process from a gone drive";
        if (started) {
            ::TerminateProcess(pi.hProcess, 1);
            ::CloseHandle(pi.hProcess);
            ::CloseHandle(pi.hThread);
        } else {
            EXPECT_TRUE(error == ERROR_PATH_NOT_FOUND || error == ERROR_FILE_NOT_FOUND)
                << "expected a path error, got " << error;
        }
        SHELLEXECUTEINFOW sei{};
        sei.cbSize = sizeof(sei);
        sei.fMask = SEE_MASK_FLAG_NO_UI | SEE_MASK_NOCLOSEPROCESS;
        sei.lpVerb = L"open";
        const std::wstring file = copy + L"Fenwobble.exe";
        sei.lpFile = file.c_str();
        sei.lpParameters = L"";
        sei.lpDirectory = copy.c_str();
        sei.nShow = SW_HIDE;
        EXPECT_FALSE(::ShellExecuteExW(&sei)) << "expected the shell's open to fail";
        if (sei.hProcess) {
            ::TerminateProcess(sei.hProcess, 1);
            ::CloseHandle(sei.hProcess);
        }
    }

    ProgmanServer progman;
    const std::wstring trace = TempFile(L"trace");
    Program shell({.trace = trace});
    ASSERT_TRUE(WaitTrace(trace, {L"put", L"Movie"}, 60s)) << "expected the movie to start";
    EXPECT_FALSE(WaitMessageBox(shell.Pid(), 1s).has_value())
        << "expected no offer and no message; windows: " << DescribeWindows();
    EXPECT_EQ(RegReadString(HKEY_LOCAL_MACHINE, kProgramKey, L""), L"")
        << "expected the marker cleared";
    EXPECT_EQ(RegReadString(HKEY_LOCAL_MACHINE, kAppPaths, L""), L"D:\\Fenwobble.exe");
    EXPECT_EQ(RegReadString(HKEY_LOCAL_MACHINE, kUninstall, L"UninstallString"),
              L"\"D:\\Fenwobble.exe\" -u");
    EXPECT_TRUE(WaitFor(
        [&] {
            return progman.Received() == ProgmanBytes(RegistrationCommands(L"D:\\Fenwobble.exe"));
        },
        10s))
        << "expected the group at the CD, got " << progman.Received().size() << " bytes";
    ASSERT_TRUE(WaitFor(
        [&] {
            return !TraceMatching(trace, {L"put", L"FlashVars"}).empty();
        },
        10s));
    const std::wstring vars = TraceMatching(trace, {L"put", L"FlashVars"}).front().at(2);
    EXPECT_NE(vars.find(L"level=3&"), std::wstring::npos) << "expected the saved values handed on";
    HWND main = WaitWindow(shell.Pid(), L"TMainForm", L"MainForm", 20s, false);
    ASSERT_NE(main, nullptr);
    ASSERT_TRUE(Fire(main, L"quit", L""));
    EXPECT_TRUE(shell.WaitExit(20s));
    ExpectSavedKept();

    // The drive comes back as it was: nothing on it was touched.
    ASSERT_EQ(Host("ln -sfn \"$FW_PREFIX_HOST/drive-e\" \"$FW_PREFIX_HOST/dosdevices/e:\"").status,
              0);
    EXPECT_EQ(TreeListing(copy), files) << "expected the copy's files untouched";
}

// The conversation opened at window load stays open on a normal start; the
// server's death is not noticed, as nothing more is sent.
TEST_F(FaultyPlatform, AServerThatDiesUnderANormalStartGoesUnnoticed) {
    const std::wstring folder = InstalledCopy(L"fwddenormal");
    WriteSaved();
    const auto files = TreeListing(folder);
    ProgmanServer progman;
    Shell shell({.exe = folder + L"Fenwobble.exe"});
    ASSERT_NO_FATAL_FAILURE(shell.WaitMovie(60s, false));
    const std::wstring& trace = shell.Trace();
    HWND main = shell.Main();
    EXPECT_TRUE(ServerConversationOpen()) << "expected the conversation from window load open";
    progman.Kill();
    EXPECT_FALSE(ServerConversationOpen());

    ASSERT_NO_FATAL_FAILURE(shell.SkipIntro());
    const size_t reports = VolumeReports(trace);
    EXPECT_TRUE(WaitFor([&] { return VolumeReports(trace) >= reports + 10; }, 20s))
        << "expected the volume reports to go on";
    EXPECT_FALSE(WaitMessageBox(shell.Pid(), 1s).has_value()) << "expected no message";
    ASSERT_TRUE(Fire(main, L"quit", L""));
    EXPECT_TRUE(shell.WaitExit(20s)) << "expected the end without a goodbye from the server";
    EXPECT_EQ(progman.Received(), "") << "expected nothing sent on a normal start";
    ExpectSavedKept();
    EXPECT_EQ(TreeListing(folder), files);
}

// The removal's delete-group command meets a dead server: it fails silently
// and the removal goes on to its report and its end.
TEST_F(FaultyPlatform, ARemovalWhoseServerDiedUnderTheQuestionEndsAsUsual) {
    const std::wstring folder = InstalledCopy(L"fwddeu");
    WriteSaved();
    RegWriteString(HKEY_LOCAL_MACHINE, kUninstall, L"DisplayName", L"Тавилон");
    fs::create_directories(L"C:\\fwddeneighbour");
    { std::ofstream(fs::path(L"C:\\fwddeneighbour\\keep.txt")) << "mine"; }
    ProgmanServer progman;
    Program shell({.exe = folder + L"Fenwobble.exe", .args = L"-u"});
    auto box = WaitMessageBox(shell.Pid(), 60s);
    ASSERT_TRUE(box.has_value()) << "expected the confirmation";
    EXPECT_EQ(box->caption, L"Удаление Тавилон");
    EXPECT_TRUE(ServerConversationOpen()) << "expected the conversation from window load open";
    progman.Kill();
    PressButton(box->hwnd, IDYES);

    auto report = WaitMessageBox(shell.Pid(), 30s);
    ASSERT_TRUE(report.has_value()) << "expected the report";
    EXPECT_EQ(report->text, L"Приложение Тавилон удалено");
    EXPECT_EQ(report->caption, L"Fenwobble");
    PressButton(report->hwnd, IDOK);
    EXPECT_TRUE(shell.WaitExit(20s))
        << "expected the end with no other message; windows: " << DescribeWindows();
    EXPECT_EQ(progman.Received(), "") << "expected nothing delivered to a dead server";
    EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, kProgramKey));
    EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, kUninstall));
    EXPECT_FALSE(FileExists(folder + L"SWF")) << "expected the program's files deleted";
    EXPECT_TRUE(FileExists(L"C:\\fwddeneighbour\\keep.txt")) << "expected the neighbour kept";
}

// A copy's first start from the fixed disk: the server accepted the connect at
// window load and is gone before the group commands. Each command is refused
// and reported in turn; the registration and the movie go on.
TEST_F(FaultyPlatform, AServerThatDiesBeforeTheGroupCommandsGivesTheThreeNotices) {
    const std::wstring folder = L"C:\\fwddereg\\";
    CopyTree(CdFolder(), folder);
    RegWriteString(HKEY_LOCAL_MACHINE, kProgramKey, L"", L"Transfering");
    WriteSaved();
    const auto files = TreeListing(folder);
    ProgmanServer progman;
    const std::wstring trace = TempFile(L"trace");
    Program shell({.exe = folder + L"Fenwobble.exe", .trace = trace});
    // The processor measurement, half a second of sleeping, lies between the
    // connect and the commands: time enough to end the server in between.
    ASSERT_TRUE(WaitFor(ServerConversationOpen, 60s, 5ms)) << "expected the shell to connect";
    progman.Kill();
    ASSERT_EQ(progman.Received(), "") << "the commands came before the server could be ended";

    const auto boxes = CollectBoxes(shell.Pid(), trace, 4);
    const std::wstring expected[] = {L"Невозможно создать программную группу",
                                     L"Невозможно добавить ярлык", L"Невозможно добавить ярлык."};
    ASSERT_EQ(boxes.size(), std::size(expected)) << "windows: " << DescribeWindows();
    for (size_t i = 0; i < boxes.size(); ++i) {
        EXPECT_EQ(boxes[i].text, expected[i]) << "notice " << i;
        EXPECT_EQ(boxes[i].caption, L"Information") << "notice " << i;
    }
    ASSERT_TRUE(WaitTrace(trace, {L"put", L"Movie"}, 30s)) << "expected the movie to start";
    EXPECT_EQ(RegReadString(HKEY_LOCAL_MACHINE, kProgramKey, L""), L"");
    EXPECT_EQ(RegReadString(HKEY_LOCAL_MACHINE, kAppPaths, L""), folder + L"Fenwobble.exe");
    HWND main = WaitWindow(shell.Pid(), L"TMainForm", L"MainForm", 20s, false);
    ASSERT_NE(main, nullptr);
    EXPECT_FALSE(WaitMessageBox(shell.Pid(), 1s).has_value()) << "expected no more messages";
    ASSERT_TRUE(Fire(main, L"quit", L""));
    EXPECT_TRUE(shell.WaitExit(20s));
    ExpectSavedKept();
    EXPECT_EQ(TreeListing(folder), files);
}

namespace {

// The sound server of the run, stopped under the shell and always started
// again afterwards the way the test platform starts it, so later scenarios
// find it; the new server is recorded for the platform to stop at the end.
class SoundServerStopped : public SoundShell {
protected:
    void TearDown() override {
        if (!stopped_) {
            return;
        }
        const auto again = Host(
            "pactl info >/dev/null 2>&1 && exit 0; rm -f \"$XDG_RUNTIME_DIR/pulse/pid\"; "
            "pulseaudio -n --daemonize=yes --exit-idle-time=-1 "
            "--log-target=file:\"$FW_RUN/pulse.log\" "
            "--load=\"module-null-sink sink_name=null\" --load=module-native-protocol-unix "
            ">/dev/null 2>&1; "
            "for _ in $(seq 50); do [ -f \"$XDG_RUNTIME_DIR/pulse/pid\" ] && break; sleep 0.1; "
            "done; [ -f \"$XDG_RUNTIME_DIR/pulse/pid\" ] || exit 1; "
            "cat \"$XDG_RUNTIME_DIR/pulse/pid\" >>\"$FW_RUN/pids\"; "
            "pactl set-default-sink null >/dev/null 2>&1; pactl info >/dev/null");
        EXPECT_EQ(again.status, 0) << "expected the sound server started again: " << again.output;
    }

    // Ends the server and waits until it no longer answers.
    bool StopServer() {
        stopped_ = true;
        const auto stop = Host("pactl exit && for _ in $(seq 50); do "
                               "pactl info >/dev/null 2>&1 || exit 0; sleep 0.1; done; exit 1");
        return stop.status == 0;
    }

    bool stopped_ = false;
};

} // namespace

TEST_F(SoundServerStopped, TheMovieGoesOnAndSetVolumeStillMovesTheSlider) {
    if (!HostAvailable()) {
        GTEST_SKIP() << "no host bridge to stop the sound server";
    }
    ASSERT_GT(::mixerGetNumDevs(), 0u) << "expected a mixer device from the sound server";
    WriteSaved();
    const auto files = TreeListing(folder_);
    const int max = Max();
    ASSERT_GT(max, 0);
    ASSERT_TRUE(StopServer()) << "expected the sound server stopped";

    const size_t reports = VolumeReports(trace_);
    EXPECT_TRUE(WaitFor([&] { return VolumeReports(trace_) >= reports + 20; }, 20s))
        << "expected the volume reports to go on";
    for (const VolumeCase& c : kVolumeCases) {
        ASSERT_NO_FATAL_FAILURE(ExpectVolumeRoad(c, max));
    }
    EXPECT_FALSE(WaitMessageBox(shell_->Pid(), 1s).has_value()) << "expected no message";
    EXPECT_FALSE(::IsWindowVisible(sound_)) << "expected the sound window still hidden";
    ASSERT_TRUE(Fire(main_, L"quit", L""));
    EXPECT_TRUE(shell_->WaitExit(20s)) << "expected the end without the sound server";
    ExpectSavedKept();
    EXPECT_EQ(TreeListing(folder_), files);
}
