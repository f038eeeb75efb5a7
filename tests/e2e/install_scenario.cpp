// The start-up decision from the CD and from a fixed disk: the offer, the
// installation into the default folder, its failures, and the registration
// with the program group.
#include "driver.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

using namespace fwtest;

namespace {

const std::wstring kOfferCaption = L"Уcтановка Тавилон";

std::wstring Offer() {
    return L"Перенести файлы программы на жесткий диск?\r\nОни займут примерно 90 Мб, но "
           L"программа может работать быстрее";
}

HWND ChildWithText(HWND parent, const std::wstring& cls, const std::wstring& text) {
    HWND child = nullptr;
    while ((child = ::FindWindowExW(parent, child, cls.c_str(), nullptr)) != nullptr) {
        if (text.empty() || ControlText(child) == text) {
            return child;
        }
    }
    return nullptr;
}

class Decision : public ::testing::Test {
protected:
    void SetUp() override {
        RegisterControl(CdFolder() + L"SWF\\FLASH.OCX");
        RegDeleteTree(HKEY_LOCAL_MACHINE, kProgramKey);
        RegDeleteTree(HKEY_LOCAL_MACHINE, kAppPaths);
        RegDeleteTree(HKEY_LOCAL_MACHINE, kUninstall);
    }

    // Copies started by an installation run on after their starter; they
    // must not register themselves into the next test.
    void TearDown() override {
        ::Sleep(500);
        for (HWND h : TopWindows(0, false)) {
            if (ClassName(h) == L"TMainForm") {
                DWORD pid = 0;
                ::GetWindowThreadProcessId(h, &pid);
                if (HANDLE p = ::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid)) {
                    ::TerminateProcess(p, 1);
                    ::WaitForSingleObject(p, 5000);
                    ::CloseHandle(p);
                }
            }
        }
    }

    // Waits for the offer, checks it and answers it.
    void AnswerOffer(const Program& shell, int answer) {
        auto box = WaitMessageBox(shell.Pid(), 60s);
        ASSERT_TRUE(box.has_value()) << "expected the installation offer";
        EXPECT_EQ(box->caption, kOfferCaption);
        EXPECT_EQ(box->text, Offer());
        PressButton(box->hwnd, answer);
    }

    HWND Dialog(const Program& shell) {
        return WaitWindow(shell.Pid(), L"TStartingForm", L"Установка \"Тавилон\"", 20s);
    }
    std::wstring Label(HWND dialog) {
        HWND label = ::FindWindowExW(dialog, nullptr, L"Static", nullptr);
        return label ? ControlText(label) : L"<no label>";
    }
    void SetPath(HWND dialog, const std::wstring& text) {
        HWND edit = ::FindWindowExW(dialog, nullptr, L"Edit", nullptr);
        ::SendMessageW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
    }
    void PressContinue(HWND dialog) {
        HWND ok = ChildWithText(dialog, L"Button", L"Продолжить");
        ASSERT_NE(ok, nullptr);
        ::PostMessageW(ok, BM_CLICK, 0, 0);
    }
    // Waits until the dialog's label reads the text (a notice or shortage).
    bool WaitLabel(HWND dialog, const std::wstring& text) {
        return WaitFor([&] { return Label(dialog) == text; }, 30s);
    }
};

} // namespace

TEST_F(Decision, FirstStartFromTheCdDeclinedRegistersOnTheCdAndPlays) {
    ProgmanServer progman;
    {
        const std::wstring trace = TempFile(L"trace");
        Program shell({.trace = trace});
        AnswerOffer(shell, IDNO);
        ASSERT_TRUE(WaitTrace(trace, {L"put", L"Movie"}, 60s)) << "expected the movie to start";
        EXPECT_EQ(RegReadString(HKEY_LOCAL_MACHINE, kProgramKey, L""), L"");
        EXPECT_EQ(RegReadString(HKEY_LOCAL_MACHINE, kAppPaths, L""), L"D:\\Fenwobble.exe");
        EXPECT_EQ(RegReadString(HKEY_LOCAL_MACHINE, kAppPaths, L"Path"), L"D:\\");
        EXPECT_EQ(RegReadString(HKEY_LOCAL_MACHINE, kUninstall, L"DisplayName"), L"Тавилон");
        EXPECT_EQ(RegReadString(HKEY_LOCAL_MACHINE, kUninstall, L"UninstallString"),
                  L"\"D:\\Fenwobble.exe\" -u");
        EXPECT_TRUE(WaitFor(
            [&] {
                return progman.Received() ==
                       ProgmanBytes(RegistrationCommands(L"D:\\Fenwobble.exe"));
            },
            10s))
            << "expected the three group commands, got " << progman.Received().size() << " bytes";
        EXPECT_FALSE(WaitMessageBox(shell.Pid(), 1s).has_value()) << "expected no message";
    }
    const std::wstring trace = TempFile(L"trace");
    Program again({.trace = trace});
    ASSERT_TRUE(WaitTrace(trace, {L"put", L"Movie"}, 60s));
    EXPECT_FALSE(WaitMessageBox(again.Pid(), 2s).has_value()) << "expected no second offer";
}

TEST_F(Decision, AcceptedOfferCopiesMarksAndStartsTheCopyWhichRegistersItself) {
    ProgmanServer progman;
    std::filesystem::remove_all(kDefaultTarget);
    Program shell({});
    AnswerOffer(shell, IDYES);
    HWND dialog = Dialog(shell);
    ASSERT_NE(dialog, nullptr) << "expected the setup dialog";
    EXPECT_EQ(Label(dialog), L"Файлы программы будут записываться в директорию:");
    EXPECT_EQ(ControlText(::FindWindowExW(dialog, nullptr, L"Edit", nullptr)), kDefaultTarget);
    PressContinue(dialog);
    EXPECT_TRUE(shell.WaitExit(120s)) << "expected this process to end after the copy";

    EXPECT_EQ(TreeListing(kDefaultTarget), TreeListing(CdFolder()))
        << "expected the whole CD copied";
    // The copy starts, finds the marker and registers itself where it is.
    const std::wstring copied = kDefaultTarget + L"\\Fenwobble.exe";
    EXPECT_TRUE(
        WaitFor([&] { return RegReadString(HKEY_LOCAL_MACHINE, kAppPaths, L"") == copied; }, 60s))
        << "expected the copy to register itself";
    EXPECT_EQ(RegReadString(HKEY_LOCAL_MACHINE, kProgramKey, L""), L"")
        << "expected the marker cleared by the copy";
    EXPECT_TRUE(WaitFor(
        [&] { return progman.Received() == ProgmanBytes(RegistrationCommands(copied)); }, 20s));
}

TEST_F(Decision, ClosingTheDialogOrAnUncreatableOrForeignFolderEndsWithoutWritingAnything) {
    {
        Program shell({});
        AnswerOffer(shell, IDYES);
        HWND dialog = Dialog(shell);
        ASSERT_NE(dialog, nullptr);
        ::PostMessageW(dialog, WM_CLOSE, 0, 0);
        EXPECT_TRUE(WaitLabel(dialog, L"Установка не завершена")) << "got " << ControlText(dialog);
        EXPECT_NE(ChildWithText(dialog, L"Button", L"Выход"), nullptr);
        ::PostMessageW(dialog, WM_CLOSE, 0, 0);
        EXPECT_TRUE(shell.WaitExit(20s));
        EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, kProgramKey)) << "expected nothing written";
    }
    {
        std::filesystem::create_directories(L"C:\\blocker");
        { std::ofstream(std::filesystem::path(L"C:\\blocker\\file")) << "x"; }
        Program shell({});
        AnswerOffer(shell, IDYES);
        HWND dialog = Dialog(shell);
        ASSERT_NE(dialog, nullptr);
        SetPath(dialog, L"C:\\blocker\\file\\sub");
        PressContinue(dialog);
        EXPECT_TRUE(WaitLabel(dialog, L"Невозможно создать директорию C:\\blocker\\file\\sub. "
                                      L"Установка не завершена"))
            << "got a label of " << Label(dialog).size() << " chars";
        ::PostMessageW(dialog, WM_CLOSE, 0, 0);
        EXPECT_TRUE(shell.WaitExit(20s));
        EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, kProgramKey)) << "expected nothing written";
    }
    // A drive root is nobody's program folder: refused, nothing copied.
    for (const std::wstring target : {L"C:\\", L"C:\\Games\\..\\Windows"}) {
        Program shell({});
        AnswerOffer(shell, IDYES);
        HWND dialog = Dialog(shell);
        ASSERT_NE(dialog, nullptr);
        SetPath(dialog, target);
        PressContinue(dialog);
        EXPECT_TRUE(WaitLabel(dialog, L"Установка не завершена"))
            << "got a label of " << Label(dialog).size() << " chars";
        ::PostMessageW(dialog, WM_CLOSE, 0, 0);
        EXPECT_TRUE(shell.WaitExit(20s));
        EXPECT_FALSE(FileExists(target + L"\\Fenwobble.exe")) << "expected nothing copied";
        EXPECT_FALSE(FileExists(target + L"\\SWF")) << "expected nothing copied";
        EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, kProgramKey)) << "expected nothing written";
    }
}

TEST_F(Decision, ASmallDriveShowsTheShortageUntilAnotherDriveIsChosen) {
    if (!HostAvailable()) {
        GTEST_SKIP() << "no host bridge to make a small drive";
    }
    const auto mount = Host("d=\"$FW_PREFIX_HOST/small\"; mkdir -p \"$d\" && "
                            "mount -t tmpfs -o size=20m tmpfs \"$d\" && "
                            "ln -sfn \"$d\" \"$FW_PREFIX_HOST/dosdevices/s:\" && "
                            "mkdir -p \"$FW_PREFIX_HOST/dosdevices/unc/fileserver\" && "
                            "ln -sfn \"$d\" \"$FW_PREFIX_HOST/dosdevices/unc/fileserver/small\"");
    if (mount.status != 0) {
        GTEST_SKIP() << "cannot mount a small drive here: " << mount.output;
    }
    ProgmanServer progman;
    Program shell({});
    AnswerOffer(shell, IDYES);
    HWND dialog = Dialog(shell);
    ASSERT_NE(dialog, nullptr);
    SetPath(dialog, L"S:\\Fenwobble");
    PressContinue(dialog);
    EXPECT_TRUE(WaitLabel(dialog, L"На диске всего 20 Мб, нужно примерно 90 Мб"))
        << "got a label of " << Label(dialog).size() << " chars";
    // The same drive as a network share is measured on the share.
    SetPath(dialog, L"\\\\fileserver\\small\\Fenwobble");
    ::SendMessageW(::FindWindowExW(dialog, nullptr, L"Static", nullptr), WM_SETTEXT, 0,
                   reinterpret_cast<LPARAM>(L""));
    PressContinue(dialog);
    EXPECT_TRUE(WaitLabel(dialog, L"На диске всего 20 Мб, нужно примерно 90 Мб"))
        << "expected the share measured, got a label of " << Label(dialog).size() << " chars";
    SetPath(dialog, L"C:\\Games\\Fenwobble");
    PressContinue(dialog);
    EXPECT_TRUE(shell.WaitExit(120s));
    EXPECT_TRUE(FileExists(L"C:\\Games\\Fenwobble\\Fenwobble.exe"));
    EXPECT_TRUE(WaitFor(
        [] {
            return RegReadString(HKEY_LOCAL_MACHINE, kAppPaths, L"") ==
                   L"C:\\Games\\Fenwobble\\Fenwobble.exe";
        },
        60s))
        << "expected the copy to register itself";
    EXPECT_FALSE(FileExists(L"S:\\Fenwobble\\Fenwobble.exe"));
    EXPECT_FALSE(FileExists(L"S:\\Fenwobble")) << "expected nothing written to the share";
}

TEST_F(Decision, ACopyThatFailsEndsWithoutTheMarker) {
    // A source file held open without sharing cannot be copied.
    HANDLE busy = ::CreateFileW((CdFolder() + L"SWF\\logo_pelk.avi").c_str(), GENERIC_READ, 0,
                                nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(busy, INVALID_HANDLE_VALUE);
    Program shell({});
    AnswerOffer(shell, IDYES);
    HWND dialog = Dialog(shell);
    ASSERT_NE(dialog, nullptr);
    SetPath(dialog, L"C:\\Broken\\Fenwobble");
    PressContinue(dialog);
    // The shell's own copy error, if it shows one, is answered first.
    EXPECT_TRUE(WaitFor(
        [&] {
            for (HWND h : TopWindows(shell.Pid(), true)) {
                if (ClassName(h) == L"#32770") {
                    ::PostMessageW(h, WM_COMMAND, IDOK, 0);
                    ::PostMessageW(h, WM_CLOSE, 0, 0);
                }
            }
            return Label(dialog) == L"Установка не завершена";
        },
        60s))
        << "expected the failure notice";
    ::CloseHandle(busy);
    ::PostMessageW(dialog, WM_CLOSE, 0, 0);
    EXPECT_TRUE(shell.WaitExit(20s));
    EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, kProgramKey)) << "expected no marker";
}
