// Provisioning of the player control on the roads a scenario cannot reach
// easily: what LoadLibrary makes of the copied file, a registration program
// that cannot be started, a source that cannot be copied. The system folder is
// a folder of the test's whose "regsvr32.exe" is a copy of this test program
// that only notes its command line.
#include "app/startup.h"
#include "win/strings.h"

#include "box_watcher.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace {

namespace fs = std::filesystem;

// Started as the stand-in regsvr32, the program writes its command line beside
// itself and ends before any test runs.
const bool kRanAsRegsvr32 = [] {
    wchar_t path[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    const fs::path self(path);
    if (self.filename() != L"regsvr32.exe") {
        return false;
    }
    std::wofstream(self.parent_path() / L"ran.txt") << ::GetCommandLineW();
    ::ExitProcess(0);
}();

std::wstring Read(const fs::path& p) {
    std::wifstream in(p);
    return std::wstring(std::istreambuf_iterator<wchar_t>(in), {});
}

class Provisioning : public ::testing::Test {
protected:
    void SetUp() override {
        work_ = fs::temp_directory_path() / L"fw_provision";
        fs::remove_all(work_);
        fs::create_directories(work_ / L"sys");
        wchar_t self[MAX_PATH] = {};
        ::GetModuleFileNameW(nullptr, self, MAX_PATH);
        fs::copy_file(self, work_ / L"sys" / L"regsvr32.exe");
        folders_.system = (work_ / L"sys").wstring() + L"\\";
        folders_.flash = (work_ / L"sys" / L"Macromed" / L"Flash").wstring() + L"\\";
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(work_, ignored);
    }
    fs::path Target() const { return fs::path(folders_.flash) / L"FLASH.OCX"; }
    bool RegistrationRan() const { return fs::exists(work_ / L"sys" / L"ran.txt"); }

    fs::path work_;
    fw::SystemFolders folders_;
};

fs::path TestFolder() {
    wchar_t self[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    return fs::path(self).parent_path();
}

TEST_F(Provisioning, WhatTheCopiedFileIsDecidesTheRegistration) {
    const fs::path text = work_ / L"text.ocx";
    std::ofstream(text) << "not a library";
    struct Case {
        const char* name;
        fs::path source;
        bool registers;
    };
    const Case cases[] = {
        // LoadLibrary answers 0: no registration, no message.
        {"not a library", text, false},
        // Loaded and freed again, regsvr32 not run.
        {"no registration entry", TestFolder() / L"plain.dll", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(fs::exists(c.source)) << c.source.string();
        fs::remove(work_ / L"sys" / L"ran.txt");
        ErrorBoxWatcher boxes;
        EXPECT_TRUE(fw::ProvisionFlashControl(folders_, c.source.wstring()))
            << "expected the start-up to go on to its decision";
        EXPECT_TRUE(boxes.Texts().empty()) << "expected no message";
        EXPECT_TRUE(fs::exists(Target())) << "expected the file copied";
        EXPECT_EQ(RegistrationRan(), c.registers);
        EXPECT_EQ(::GetModuleHandleW(Target().c_str()), nullptr) << "expected the library freed";
    }
}

TEST_F(Provisioning, ALibraryWithTheEntryIsRegisteredByItsShortPath) {
    const fs::path control =
        TestFolder().parent_path().parent_path() / L"cd" / L"SWF" / L"FLASH.OCX";
    if (!fs::exists(control)) {
        GTEST_SKIP() << "the control is not built beside the tests";
    }
    ErrorBoxWatcher boxes;
    EXPECT_TRUE(fw::ProvisionFlashControl(folders_, control.wstring()));
    EXPECT_TRUE(boxes.Texts().empty());
    ASSERT_TRUE(RegistrationRan()) << "expected regsvr32 to run";
    wchar_t shortPath[2048] = {};
    ::GetShortPathNameW(Target().c_str(), shortPath, 2047);
    const std::wstring got = Read(work_ / L"sys" / L"ran.txt");
    const std::wstring tail = std::wstring(L"regsvr32.exe /s ") + shortPath;
    EXPECT_TRUE(got.size() >= tail.size() &&
                got.compare(got.size() - tail.size(), tail.size(), tail) == 0)
        << "expected the command to end in " << fw::win::ToUtf8(tail) << ", got "
        << fw::win::ToUtf8(got);
}

TEST_F(Provisioning, ARegistrationProgramThatCannotStartIsReportedAndTheDecisionFollows) {
    fs::remove(work_ / L"sys" / L"regsvr32.exe");
    const fs::path cd = TestFolder().parent_path().parent_path() / L"cd" / L"SWF" / L"FLASH.OCX";
    if (!fs::exists(cd)) {
        GTEST_SKIP() << "the control is not built beside the tests";
    }
    ErrorBoxWatcher boxes;
    EXPECT_TRUE(fw::ProvisionFlashControl(folders_, cd.wstring()))
        << "expected the start-up to go on to its decision";
    const auto seen = boxes.Boxes();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].caption, L"Yipes!");
    EXPECT_EQ(seen[0].text, fw::win::SystemErrorText(ERROR_FILE_NOT_FOUND))
        << "got " << fw::win::ToUtf8(seen[0].text);
}

TEST_F(Provisioning, ASourceThatCannotBeCopiedEndsTheProvisioning) {
    ErrorBoxWatcher boxes;
    EXPECT_FALSE(fw::ProvisionFlashControl(folders_, (work_ / L"missing.ocx").wstring()))
        << "expected the start-up to skip its decision";
    const auto texts = boxes.Texts();
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0], L"Unable to find and copy Macromedia Shockwave Flash.OCX");
    EXPECT_FALSE(RegistrationRan());
}

TEST(RunAndWait, AProgramThatCannotBeFoundShowsTheSystemsTextAndAnswersMinusOne) {
    ErrorBoxWatcher boxes;
    EXPECT_EQ(fw::RunAndWait(L"C:\\windows\\no_such_program.exe /s", SW_HIDE), -1);
    const auto seen = boxes.Boxes();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].caption, L"Yipes!");
    EXPECT_EQ(seen[0].text, fw::win::SystemErrorText(ERROR_FILE_NOT_FOUND))
        << "got " << fw::win::ToUtf8(seen[0].text);
}

TEST(RunAndWait, AnswersTheProgramsExitCode) {
    wchar_t cmd[MAX_PATH] = {};
    ::GetSystemDirectoryW(cmd, MAX_PATH);
    EXPECT_EQ(fw::RunAndWait(std::wstring(cmd) + L"\\cmd.exe /c exit 23", SW_HIDE), 23);
}

} // namespace
