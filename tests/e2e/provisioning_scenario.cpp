// Provisioning of the player control: a fresh machine without any control,
// a machine with a control too old for the movie's parameters, and a target
// file that cannot be replaced, with and without an old control.
#include "driver.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace fwtest;

namespace {

std::wstring FlashFolder() {
    return SystemFolder() + L"Macromed\\Flash\\";
}

std::wstring Lower(std::wstring s) {
    for (auto& c : s) {
        c = static_cast<wchar_t>(::towlower(c));
    }
    return s;
}

std::wstring ShortPath(const std::wstring& path) {
    wchar_t buf[2048];
    const DWORD n = ::GetShortPathNameW(path.c_str(), buf, 2048);
    return std::wstring(buf, n);
}

// The legacy control, registered from a place of its own.
void RegisterLegacyControl() {
    const std::wstring legacy = L"C:\\legacy\\";
    std::filesystem::create_directories(legacy);
    std::filesystem::copy_file(FixtureFolder() + L"FLASH_OLD.OCX", legacy + L"FLASH.OCX",
                               std::filesystem::copy_options::overwrite_existing);
    RegisterControl(legacy + L"FLASH.OCX");
}

} // namespace

TEST(Provisioning, AFreshMachineGetsTheControlCopiedRegisteredAndTheMovieStarted) {
    ASSERT_FALSE(RegReadString(HKEY_CLASSES_ROOT, kInprocServerKey, L"").has_value())
        << "expected a prefix without any player control";
    std::filesystem::remove_all(FlashFolder());
    RegWriteString(HKEY_LOCAL_MACHINE, kProgramKey, L"", L""); // registered: no offer

    const std::wstring trace = TempFile(L"trace");
    Program shell({.trace = trace});
    HWND main = WaitWindow(shell.Pid(), L"TMainForm", L"MainForm", 60s);
    ASSERT_NE(main, nullptr) << "expected the main window after provisioning";
    EXPECT_FALSE(WaitMessageBox(shell.Pid(), 1s).has_value()) << "expected no message";

    const std::wstring target = FlashFolder() + L"FLASH.OCX";
    EXPECT_TRUE(FileExists(target)) << "expected the control copied into the Flash folder";
    const auto server = RegReadString(HKEY_CLASSES_ROOT, kInprocServerKey, L"");
    ASSERT_TRUE(server.has_value()) << "expected the control registered";
    EXPECT_EQ(Lower(*server), Lower(ShortPath(target)))
        << "expected regsvr32 to have been given the short path";

    ASSERT_TRUE(WaitTrace(trace, {L"put", L"Movie"}, 10s));
    const auto movie = TraceMatching(trace, {L"put", L"Movie"});
    EXPECT_EQ(movie.front().at(2), CdFolder() + L"SWF\\Game.swf");
}

TEST(Provisioning, AControlTooOldIsReplacedAndTheUserAskedToStartAgain) {
    RegisterLegacyControl();
    RegWriteString(HKEY_LOCAL_MACHINE, kProgramKey, L"", L"");
    RegWriteString(HKEY_LOCAL_MACHINE, kProgramKey, L"level", L"3");

    {
        Program shell({});
        auto box = WaitMessageBox(shell.Pid(), 60s);
        ASSERT_TRUE(box.has_value()) << "expected the request to start again";
        EXPECT_EQ(box->text, L"Запустите программу еще раз");
        EXPECT_EQ(box->caption, L"Fenwobble");
        PressButton(box->hwnd, IDOK);
        EXPECT_TRUE(shell.WaitExit(20s)) << "expected the process to end after the message";
    }
    const auto server = RegReadString(HKEY_CLASSES_ROOT, kInprocServerKey, L"");
    ASSERT_TRUE(server.has_value());
    EXPECT_EQ(Lower(*server), Lower(ShortPath(FlashFolder() + L"FLASH.OCX")))
        << "expected the new control registered from the Flash folder";

    const std::wstring trace = TempFile(L"trace");
    Program again({.trace = trace});
    ASSERT_TRUE(WaitTrace(trace, {L"put", L"FlashVars"}, 60s))
        << "expected the next start to hand the movie its parameters";
    const auto vars = TraceMatching(trace, {L"put", L"FlashVars"}).front().at(2);
    EXPECT_EQ(vars.rfind(L"level=3&ProcessorFreq=", 0), 0u) << "got " << vars.size();
    EXPECT_FALSE(WaitMessageBox(again.Pid(), 1s).has_value());
}

// A target that cannot be replaced ends the provisioning after its message:
// without any control the program ends, and with an old one the movie plays
// without its parameters instead of asking for a new start every time.
TEST(Provisioning, ATargetInUseIsReportedAndTheProgramGoesOnWithWhatItHas) {
    const std::wstring target = FlashFolder() + L"FLASH.OCX";
    RunWait(SystemFolder() + L"regsvr32.exe /u /s " + target);
    ASSERT_FALSE(RegReadString(HKEY_CLASSES_ROOT, kInprocServerKey, L"").has_value())
        << "expected the control unregistered";
    // Held open without sharing, the target cannot be replaced (a read-only
    // attribute would not stop the tests, which run as root).
    HANDLE busy =
        ::CreateFileW(target.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(busy, INVALID_HANDLE_VALUE);

    {
        Program shell({});
        EXPECT_EQ(DismissMessageBox(shell.Pid(), 60s),
                  L"Unable to find and copy Macromedia Shockwave Flash.OCX");
        EXPECT_TRUE(shell.WaitExit(20s)) << "expected the process to end without a main window";
    }

    RegisterLegacyControl();
    const std::wstring trace = TempFile(L"trace");
    Program shell({.trace = trace});
    EXPECT_EQ(DismissMessageBox(shell.Pid(), 60s),
              L"Unable to find and copy Macromedia Shockwave Flash.OCX");
    EXPECT_NE(WaitWindow(shell.Pid(), L"TMainForm", L"MainForm", 30s), nullptr)
        << "expected the movie's window";
    EXPECT_TRUE(WaitTrace(trace, {L"put", L"Movie"}, 20s)) << "expected the movie loaded";
    EXPECT_FALSE(WaitMessageBox(shell.Pid(), 2s).has_value())
        << "expected no request to start again";
    EXPECT_TRUE(shell.Running());
    ::CloseHandle(busy);
}
