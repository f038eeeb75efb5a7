// Removal deletes inside the program folder only, whatever the folder holds:
// links to folders and files outside, a link back to its parent, names with
// trailing dots or blanks, and files another program holds open.
#include "driver.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

using namespace fwtest;
namespace fs = std::filesystem;

namespace {

const std::wstring kGames = L"C:\\Games\\";
const std::wstring kProgram = L"C:\\Games\\Fenwobble\\";

std::string Read(const std::wstring& path) {
    std::ifstream in(fs::path(path), std::ios::binary);
    std::ostringstream all;
    all << in.rdbuf();
    return all.str();
}

void Write(const std::wstring& path, const std::string& text) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(fs::path(path), std::ios::binary) << text;
}

class RemovalNeighbours : public ::testing::Test {
protected:
    void SetUp() override {
        RegisterControl(CdFolder() + L"SWF\\FLASH.OCX");
        RegDeleteTree(HKEY_LOCAL_MACHINE, kProgramKey);
        // Links of an earlier case must not lead this one's files elsewhere.
        if (HostAvailable()) {
            Host("rm -rf \"$FW_PREFIX_HOST/drive_c/Games\" \"$FW_PREFIX_HOST/drive_c/Outside\"");
        }
        CopyTree(CdFolder(), kProgram);
        RegWriteString(HKEY_LOCAL_MACHINE, kProgramKey, L"", L"");
        // The user's own things beside and far from the program.
        for (const auto& [path, text] : Neighbours()) {
            Write(path, text);
        }
    }

    static std::vector<std::pair<std::wstring, std::string>> Neighbours() {
        return {{kGames + L"keep.txt", "beside"},
                {kGames + L"Neighbour\\keep.txt", "next door"},
                {kGames + L"Fenwobble2\\Fenwobble.exe", "another program"},
                {L"C:\\Outside\\data\\precious.txt", "far away"},
                {L"C:\\Outside\\data\\sub\\deep.txt", "deeper"},
                {L"C:\\Outside\\single.txt", "one file"}};
    }

    void ExpectNeighboursKept() {
        for (const auto& [path, text] : Neighbours()) {
            EXPECT_EQ(Read(path), text)
                << "expected a neighbour untouched: " << std::string(path.begin(), path.end());
        }
    }

    // Runs the removal from a folder, confirms it, waits for the end and for
    // the batch file to erase the executable; gives the final report.
    std::wstring RemoveFrom(const std::wstring& folder) {
        Program shell({.exe = folder + L"Fenwobble.exe", .args = L"-u"});
        auto box = WaitMessageBox(shell.Pid(), 60s);
        EXPECT_TRUE(box.has_value()) << "expected the confirmation";
        if (!box) {
            return {};
        }
        EXPECT_EQ(box->caption, L"Удаление Тавилон");
        PressButton(box->hwnd, IDYES);
        const std::wstring report = DismissMessageBox(shell.Pid(), 60s);
        EXPECT_FALSE(WaitMessageBox(shell.Pid(), 1s).has_value()) << "expected no other message";
        EXPECT_TRUE(shell.WaitExit(30s)) << "expected the process to end";
        EXPECT_TRUE(WaitFor(
            [&] {
                return !FileExists(folder + L"Fenwobble.exe") &&
                       !FileExists(folder + L"Fenwobble.bat");
            },
            30s))
            << "expected the batch file to erase the executable and itself";
        return report;
    }

    void Remove() { EXPECT_EQ(RemoveFrom(kProgram), L"Приложение Тавилон удалено"); }
};

} // namespace

TEST_F(RemovalNeighbours, LinksAndOddNamesInsideTheFolderLeaveEverythingOutsideAlone) {
    if (!HostAvailable()) {
        GTEST_SKIP() << "no host bridge to make links and odd names";
    }
    // Links made on the host: what a junction or a symbolic link is to the
    // program; names with trailing dots or blanks, which Windows calls cannot make.
    const auto made = Host(
        "c=\"$FW_PREFIX_HOST/drive_c\"; p=\"$c/Games/Fenwobble\"; "
        "ln -s \"$c/Outside/data\" \"$p/saves\" && "
        "ln -s \"$c/Outside/single.txt\" \"$p/single.txt\" && "
        "ln -s \"$c/Games\" \"$p/up\" && "
        "ln -s \"$c/Outside/data\" \"$p/SWF/deeper link\" && "
        "mkdir -p \"$p/dots...\" \"$p/blank \" \"$p/ both . \" \"$p/.. \" \"$p/...\" \"$p/. .\" && "
        "echo v > \"$p/.. /f.txt\" && echo u > \"$p/.../f.txt\" && "
        "echo x > \"$p/dots.../f.txt\" && echo y > \"$p/blank /f.txt\" && "
        "echo z > \"$p/trailing.\" && echo w > \"$p/trailing \"");
    ASSERT_EQ(made.status, 0) << made.output;
    ASSERT_TRUE(FileExists(kProgram + L"saves\\precious.txt")) << "expected the link to work";
    ExpectNeighboursKept();

    ProgmanServer progman;
    Remove();
    ExpectNeighboursKept();
    EXPECT_TRUE(FileExists(L"C:\\Outside\\data\\sub")) << "expected the outside folder kept";
    const auto left = Host("cd \"$FW_PREFIX_HOST/drive_c/Games/Fenwobble\" && ls -A1");
    std::printf("left in the program folder:\n%s", left.output.c_str());
    EXPECT_FALSE(FileExists(kProgram + L"SWF\\Game.swf")) << "expected the program's files gone";
}

TEST_F(RemovalNeighbours, FilesHeldOpenAreSkippedAndTheRestIsRemoved) {
    // Running as root, a read-only attribute stops no deletion; files held open
    // without sharing by another program stand in for what cannot be deleted.
    Write(kProgram + L"saves\\held.dat", "held");
    Write(kProgram + L"saves\\free.dat", "free");
    Write(kProgram + L"held.txt", "held too");
    auto hold = [](const std::wstring& path) {
        return ::CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    };
    HANDLE a = hold(kProgram + L"saves\\held.dat");
    HANDLE b = hold(kProgram + L"held.txt");
    ASSERT_NE(a, INVALID_HANDLE_VALUE);
    ASSERT_NE(b, INVALID_HANDLE_VALUE);

    ProgmanServer progman;
    Remove();
    ::CloseHandle(a);
    ::CloseHandle(b);
    EXPECT_EQ(Read(kProgram + L"saves\\held.dat"), "held") << "expected a held file kept";
    EXPECT_EQ(Read(kProgram + L"held.txt"), "held too");
    EXPECT_FALSE(FileExists(kProgram + L"saves\\free.dat"));
    EXPECT_FALSE(FileExists(kProgram + L"SWF")) << "expected the rest removed";
    EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, kProgramKey));
    ExpectNeighboursKept();
}

TEST_F(RemovalNeighbours, AFolderNotTheProgramsKeepsItsFilesAndEveryNameReachesTheExecutable) {
    struct Case {
        const char* what;
        std::wstring folder; // with its trailing backslash
        bool withData;       // the whole CD, or the executable alone
        bool cleared;        // the folder is the program's own
        std::vector<std::pair<std::wstring, std::string>> neighbours;
    };
    // Best fit would make "Café" "Cafe", and "%\" once vanished from the
    // batch file: both times the neighbour's executable was erased instead.
    const Case cases[] = {
        {"drive root",
         L"E:\\",
         true,
         false,
         {{L"E:\\keep.txt", "on the stick"}, {L"E:\\Photos\\summer.jpg", "photo"}}},
        {"no data folder",
         L"C:\\Downloads\\",
         false,
         false,
         {{L"C:\\Downloads\\letter.txt", "letter"},
          {L"C:\\Downloads\\SWF\\other.swf", "other movie"},
          {L"C:\\Downloads\\Music\\song.mp3", "song"}}},
        {"percent",
         L"C:\\Games\\50%\\",
         true,
         true,
         {{L"C:\\Games\\50\\Fenwobble.exe", "not ours"}}},
        {"accent and Cyrillic",
         L"C:\\Games\\Café Тавилон\\",
         true,
         true,
         {{L"C:\\Games\\Cafe Тавилон\\Fenwobble.exe", "not ours either"}}},
    };
    const bool host = HostAvailable();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.folder == L"E:\\") {
            if (!host) {
                std::printf("no host bridge to make drive E:; the drive root is not tried\n");
                continue;
            }
            const auto linked = Host("mkdir -p \"$FW_PREFIX_HOST/drive_c/stick\" && ln -sfn "
                                     "\"$FW_PREFIX_HOST/drive_c/stick\" "
                                     "\"$FW_PREFIX_HOST/dosdevices/e:\"");
            ASSERT_EQ(linked.status, 0) << linked.output;
        }
        if (c.withData) {
            CopyTree(CdFolder(), c.folder);
        } else {
            std::filesystem::create_directories(c.folder);
            fs::copy_file(CdFolder() + L"Fenwobble.exe", c.folder + L"Fenwobble.exe");
        }
        for (const auto& [path, text] : c.neighbours) {
            Write(path, text);
        }
        const auto program = TreeListing(c.folder);

        const std::wstring report = RemoveFrom(c.folder);
        std::wstring expected = L"Приложение Тавилон удалено";
        if (!c.cleared) {
            expected += L"\r\nФайлы в директории " + c.folder + L" не удалены";
        }
        EXPECT_EQ(report, expected);
        for (const auto& [path, text] : c.neighbours) {
            EXPECT_EQ(Read(path), text) << "expected a neighbour untouched";
        }
        ExpectNeighboursKept();
        // The program's own files go with its folder; in any other folder
        // every file but the executable stays as it was.
        auto left = program;
        std::erase_if(left, [](const auto& e) { return e.first == L"Fenwobble.exe"; });
        if (c.cleared) {
            EXPECT_TRUE(TreeListing(c.folder).empty()) << "expected the folder cleared";
        } else {
            EXPECT_EQ(TreeListing(c.folder), left) << "expected every other file kept";
        }
    }
}
