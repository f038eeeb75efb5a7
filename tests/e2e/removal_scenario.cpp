// Registration from a fixed disk and removal with "-u": what is deleted, what
// stays, the group, the report and the batch file that erases the program.
#include "driver.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

using namespace fwtest;
namespace fs = std::filesystem;

namespace {

const std::wstring kInstalled = kDefaultTarget + L"\\";

class Removal : public ::testing::Test {
protected:
    void SetUp() override {
        RegisterControl(CdFolder() + L"SWF\\FLASH.OCX");
        fs::remove_all(kInstalled);
        CopyTree(CdFolder(), kInstalled);
        // Something of the user's own beside it, which must survive.
        fs::create_directories(L"C:\\Program Files\\Brumvale\\Neighbour");
        std::ofstream(fs::path(L"C:\\Program Files\\Brumvale\\Neighbour\\keep.txt")) << "mine";
        RegDeleteTree(HKEY_LOCAL_MACHINE, kProgramKey);
    }

    // A first start from the fixed disk registers without asking.
    void Register(ProgmanServer& progman) {
        const std::wstring trace = TempFile(L"trace");
        Program shell({.exe = kInstalled + L"Fenwobble.exe", .trace = trace});
        ASSERT_TRUE(WaitTrace(trace, {L"put", L"Movie"}, 60s));
        EXPECT_FALSE(WaitMessageBox(shell.Pid(), 1s).has_value()) << "expected no offer";
        HWND main = WaitWindow(shell.Pid(), L"TMainForm", L"MainForm", 20s);
        ASSERT_TRUE(Fire(main, L"quit", L""));
        ASSERT_TRUE(shell.WaitExit(20s));
        const std::wstring exe = kInstalled + L"Fenwobble.exe";
        EXPECT_EQ(progman.Received(), ProgmanBytes(RegistrationCommands(exe)));
    }

    std::wstring Question() {
        return L"Вы действительно хотите полностью удалить программу и все связанные с ней "
               L"файлы?\r\n(Будут удалены файлы из директории " +
               kInstalled + L")";
    }
};

} // namespace

TEST_F(Removal, ConfirmedRemovalClearsTheFolderKeysAndGroupAndErasesItself) {
    ProgmanServer progman;
    Register(progman);
    EXPECT_EQ(RegReadString(HKEY_LOCAL_MACHINE, kAppPaths, L""), kInstalled + L"Fenwobble.exe");
    // A hidden file deep inside keeps its folders.
    fs::create_directories(kInstalled + L"saves\\deep");
    std::ofstream(fs::path(kInstalled + L"saves\\deep\\hidden.dat")) << "x";
    ::SetFileAttributesW((kInstalled + L"saves\\deep\\hidden.dat").c_str(), FILE_ATTRIBUTE_HIDDEN);
    std::ofstream(fs::path(kInstalled + L"saves\\plain.dat")) << "y";

    Program shell({.exe = kInstalled + L"Fenwobble.exe", .args = L"-u"});
    auto box = WaitMessageBox(shell.Pid(), 60s);
    ASSERT_TRUE(box.has_value()) << "expected the confirmation";
    EXPECT_EQ(box->caption, L"Удаление Тавилон");
    EXPECT_EQ(box->text, Question());
    PressButton(box->hwnd, IDYES);
    auto report = WaitMessageBox(shell.Pid(), 30s);
    ASSERT_TRUE(report.has_value()) << "expected the report";
    EXPECT_EQ(report->text, L"Приложение Тавилон удалено");
    EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, kProgramKey));
    EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, kAppPaths));
    EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, kUninstall));
    EXPECT_TRUE(RegKeyExists(HKEY_LOCAL_MACHINE, L"Software\\Brumvale")) << "the maker's key stays";
    PressButton(report->hwnd, IDOK);
    EXPECT_TRUE(shell.WaitExit(20s));

    // The batch file erases the executable once the process is gone, then itself.
    EXPECT_TRUE(WaitFor(
        [] {
            return !FileExists(kInstalled + L"Fenwobble.exe") &&
                   !FileExists(kInstalled + L"Fenwobble.bat");
        },
        30s))
        << "expected the executable and the batch file erased";
    EXPECT_FALSE(FileExists(kInstalled + L"SWF")) << "expected the data folder gone";
    EXPECT_FALSE(FileExists(kInstalled + L"saves\\plain.dat"));
    EXPECT_TRUE(FileExists(kInstalled + L"saves\\deep\\hidden.dat")) << "a hidden file stays";
    EXPECT_TRUE(FileExists(kInstalled)) << "the program folder itself stays";
    EXPECT_TRUE(FileExists(L"C:\\Program Files\\Brumvale\\Neighbour\\keep.txt"))
        << "expected the neighbour untouched";
    EXPECT_NE(progman.Received().find(ProgmanBytes({kDeleteGroupCommand})), std::string::npos)
        << "expected the group deleted";
}

TEST_F(Removal, DeclinedChangesNothingAndALaterSwitchIsIgnored) {
    ProgmanServer progman;
    Register(progman);
    const auto before = TreeListing(kInstalled);
    {
        Program shell({.exe = kInstalled + L"Fenwobble.exe", .args = L"-U"});
        auto box = WaitMessageBox(shell.Pid(), 60s);
        ASSERT_TRUE(box.has_value());
        EXPECT_EQ(box->caption, L"Удаление Тавилон");
        PressButton(box->hwnd, IDNO);
        EXPECT_TRUE(shell.WaitExit(20s));
    }
    EXPECT_EQ(TreeListing(kInstalled), before);
    EXPECT_TRUE(RegKeyExists(HKEY_LOCAL_MACHINE, kProgramKey));
    EXPECT_TRUE(RegKeyExists(HKEY_LOCAL_MACHINE, kUninstall));

    const std::wstring trace = TempFile(L"trace");
    Program later({.exe = kInstalled + L"Fenwobble.exe", .args = L"x -u", .trace = trace});
    EXPECT_TRUE(WaitTrace(trace, {L"put", L"Movie"}, 60s)) << "expected a normal start";
    EXPECT_FALSE(WaitMessageBox(later.Pid(), 1s).has_value());
}

TEST_F(Removal, ARenamedExecutableRegistersTheProgramsNameAndOtherCaseMarkerCounts) {
    ProgmanServer progman;
    fs::rename(kInstalled + L"Fenwobble.exe", kInstalled + L"Game2.exe");
    {
        const std::wstring trace = TempFile(L"trace");
        Program shell({.exe = kInstalled + L"Game2.exe", .trace = trace});
        ASSERT_TRUE(WaitTrace(trace, {L"put", L"Movie"}, 60s));
        EXPECT_EQ(RegReadString(HKEY_LOCAL_MACHINE, kAppPaths, L""), kInstalled + L"Fenwobble.exe");
        EXPECT_EQ(RegReadString(HKEY_LOCAL_MACHINE, kUninstall, L"UninstallString"),
                  L"\"" + kInstalled + L"Fenwobble.exe\" -u");
    }
    // A marker in another letter case counts as registered: no registration.
    RegDeleteTree(HKEY_LOCAL_MACHINE, kAppPaths);
    RegWriteString(HKEY_LOCAL_MACHINE, kProgramKey, L"", L"TRANSFERING");
    const std::wstring trace = TempFile(L"trace");
    Program again({.exe = kInstalled + L"Game2.exe", .trace = trace});
    ASSERT_TRUE(WaitTrace(trace, {L"put", L"Movie"}, 60s));
    EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, kAppPaths)) << "expected no registration";
    EXPECT_EQ(RegReadString(HKEY_LOCAL_MACHINE, kProgramKey, L""), L"TRANSFERING");
}

TEST_F(Removal, FromTheCdNothingIsDeletedAndTheBatchFileErrorFollowsTheReport) {
    if (!HostAvailable()) {
        GTEST_SKIP() << "no host bridge to make a read-only CD";
    }
    // A read-only copy of the CD as drive R: of type CD, so nothing can be written to it.
    const auto ro = Host(
        "d=\"$FW_PREFIX_HOST/rocd\"; mkdir -p \"$d\" && mount -t tmpfs -o size=64m tmpfs \"$d\" && "
        "cp -r \"$(readlink -f \"$FW_PREFIX_HOST/dosdevices/d:\")\"/. \"$d\"/ && "
        "mount -o remount,ro \"$d\" && ln -sfn \"$d\" \"$FW_PREFIX_HOST/dosdevices/r:\" && "
        "WINEPREFIX=\"$FW_PREFIX_HOST\" wine reg add 'HKLM\\Software\\Wine\\Drives' /v r: /d cdrom "
        "/f >/dev/null 2>&1");
    if (ro.status != 0) {
        GTEST_SKIP() << "cannot make a read-only CD here: " << ro.output;
    }
    ProgmanServer progman;
    RegWriteString(HKEY_LOCAL_MACHINE, kProgramKey, L"", L"");
    RegWriteString(HKEY_LOCAL_MACHINE, kUninstall, L"DisplayName", L"Тавилон");
    const auto before = TreeListing(L"R:\\");
    ASSERT_FALSE(before.empty());
    Program shell({.exe = L"R:\\Fenwobble.exe", .args = L"-u"});
    auto box = WaitMessageBox(shell.Pid(), 60s);
    ASSERT_TRUE(box.has_value());
    PressButton(box->hwnd, IDYES);
    EXPECT_EQ(DismissMessageBox(shell.Pid(), 30s),
              L"Приложение Тавилон удалено\r\nФайлы в директории R:\\ не удалены");
    auto error = WaitMessageBox(shell.Pid(), 30s);
    ASSERT_TRUE(error.has_value()) << "expected the batch file's error";
    EXPECT_NE(error->text.find(L"R:\\Fenwobble.bat"), std::wstring::npos)
        << "expected the file named in the error";
    EXPECT_EQ(error->caption, L"Fenwobble");
    PressButton(error->hwnd, IDOK);
    EXPECT_TRUE(shell.WaitExit(20s)) << "expected the process to end all the same";
    EXPECT_EQ(TreeListing(L"R:\\"), before) << "expected no file deleted on the CD";
    EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, kProgramKey));
    EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, kUninstall));
}
