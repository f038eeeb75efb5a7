#include "setup/program_folder.h"

#include "base/path.h"

#include <gtest/gtest.h>

#include <set>

namespace {

using fw::FolderVerdict;

const fw::SystemFolders kSystem{
    {L"C:\\Windows", L"C:\\Windows\\system32", L"D:\\OS\\Win"},
    {L"C:\\Program Files", L"C:\\Program Files\\Common Files"},
    {L"C:\\users\\Иван", L"C:\\users\\Иван\\Desktop", L"C:\\users\\Иван\\Documents",
     L"C:\\users\\Public\\Desktop", L"\\\\srv\\home\\ivan\\Documents", L"C:\\Temp\\"},
};

TEST(PathRoot, NamesTheDriveOrTheShareAndComparablePathSpellsOneFolderOneWay) {
    struct Case {
        const wchar_t* path;
        const wchar_t* root;
        const wchar_t* comparable;
    };
    const Case cases[] = {
        {L"c:\\Games\\x", L"c:\\", L"c:\\games\\x"},
        {L"E:", L"E:\\", L""}, // relative to the drive's current folder
        {L"C:Games", L"C:\\", L""},
        {L"\\\\server\\share\\Games\\x", L"\\\\server\\share\\", L"\\\\server\\share\\games\\x"},
        {L"\\\\Srv\\Share\\..", L"\\\\Srv\\Share\\", L"\\\\srv\\share\\"},
        {L"D:\\.", L"D:\\", L"d:\\"},
        {L"//server/share/x", L"\\\\server\\share\\", L"\\\\server\\share\\x"},
        {L"\\\\server", L"\\\\server\\", L""},
        {L"\\Games", L"", L""},
        {L"Games", L"", L""},
        {L"", L"", L""},
        {L"1:\\x", L"", L""},
        {L"c:/GAMES//Fenwobble\\.\\", L"c:\\", L"c:\\games\\fenwobble"},
        {L"C:\\Games\\Fenwobble\\..\\..\\..\\Windows", L"C:\\", L"c:\\windows"},
        {L"C:\\Windows.\\System32 \\", L"C:\\", L"c:\\windows\\system32"},
        {L"C:\\ИГРЫ\\Ёлка", L"C:\\", L"c:\\игры\\ёлка"},
        {L"C:\\ÉTÉ\\ŁÓDŹ", L"C:\\", L"c:\\été\\łódź"},
        {L"\\\\?\\C:\\Games", L"\\\\?\\C:\\", L"c:\\games"},
        {L"\\\\?\\UNC\\Srv\\Share\\x", L"\\\\?\\UNC\\", L"\\\\srv\\share\\x"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(fw::PathRoot(c.path), c.root) << "case " << (&c - cases);
        EXPECT_EQ(fw::ComparablePath(c.path), c.comparable) << "case " << (&c - cases);
    }
}

TEST(JudgeProgramFolder, ClearsOnlyAFolderOfItsOwnWithItsData) {
    struct Case {
        const wchar_t* folder;
        FolderVerdict expected;
    };
    const Case cases[] = {
        {L"C:\\Games\\Fenwobble\\", FolderVerdict::Own},
        {L"C:\\Program Files\\Brumvale\\Fenwobble\\", FolderVerdict::Own},
        {L"C:\\users\\Иван\\Documents\\Fenwobble\\", FolderVerdict::Own},
        {L"\\\\srv\\games\\Fenwobble\\", FolderVerdict::Own},
        // Roots of drives and shares, however written.
        {L"C:\\", FolderVerdict::DriveRoot},
        {L"e:", FolderVerdict::NoRoot},
        {L"E:\\\\", FolderVerdict::DriveRoot},
        {L"C:\\Games\\..\\", FolderVerdict::DriveRoot},
        {L"\\\\srv\\games\\", FolderVerdict::DriveRoot},
        {L"\\\\srv\\games", FolderVerdict::DriveRoot},
        {L"\\\\?\\UNC\\srv\\games\\", FolderVerdict::DriveRoot},
        // The system's folders and every folder above them.
        {L"C:\\WINDOWS\\", FolderVerdict::SystemFolder},
        {L"C:\\Windows\\System32\\", FolderVerdict::SystemFolder},
        {L"C:\\Games\\..\\Windows\\.\\system32", FolderVerdict::SystemFolder},
        {L"D:\\OS\\", FolderVerdict::SystemFolder},
        {L"C:\\Program Files\\", FolderVerdict::ProgramFiles},
        {L"c:\\program files\\common files", FolderVerdict::ProgramFiles},
        // The profile, its shell folders, the folder of all profiles, temp.
        {L"C:\\Users\\ИВАН\\", FolderVerdict::UserFolder},
        {L"C:\\users\\Иван\\Desktop\\", FolderVerdict::UserFolder},
        {L"C:\\users\\", FolderVerdict::UserFolder},
        {L"C:\\users\\Public\\", FolderVerdict::UserFolder},
        {L"\\\\SRV\\Home\\ivan\\", FolderVerdict::UserFolder},
        {L"C:\\Temp", FolderVerdict::UserFolder},
        // Below them a folder can be the program's; a name that merely
        // begins like one is another folder.
        {L"C:\\Windows\\Temp\\Fenwobble\\", FolderVerdict::Own},
        {L"C:\\Program Files2\\", FolderVerdict::Own},
        // Relative paths say nothing of where they are.
        {L"Fenwobble\\", FolderVerdict::NoRoot},
        {L"", FolderVerdict::NoRoot},
        // Without the data folder and its movie a folder is not the program's.
        {L"C:\\Downloads\\", FolderVerdict::NoGameData},
        {L"C:\\Games\\Empty SWF\\", FolderVerdict::NoGameData},
    };
    const std::set<std::wstring> games = {
        L"C:\\Games\\Fenwobble\\SWF\\Game.swf",
        L"C:\\Program Files\\Brumvale\\Fenwobble\\SWF\\Game.swf",
        L"C:\\users\\Иван\\Documents\\Fenwobble\\SWF\\Game.swf",
        L"\\\\srv\\games\\Fenwobble\\SWF\\Game.swf",
        L"C:\\Windows\\Temp\\Fenwobble\\SWF\\Game.swf",
        L"C:\\Program Files2\\SWF\\Game.swf",
        // Each refused folder holds the data too: the data alone never decides.
        L"C:\\SWF\\Game.swf",
        L"C:\\WINDOWS\\SWF\\Game.swf",
        L"C:\\users\\Иван\\Desktop\\SWF\\Game.swf",
        L"C:\\Games\\Empty SWF\\SWF\\Other.swf",
    };
    std::vector<std::wstring> asked;
    const auto exists = [&](const std::wstring& path) {
        asked.push_back(path);
        return games.count(path) > 0;
    };
    for (const auto& c : cases) {
        asked.clear();
        const FolderVerdict verdict = fw::JudgeProgramFolder(c.folder, kSystem, exists);
        EXPECT_EQ(static_cast<int>(verdict), static_cast<int>(c.expected))
            << "expected verdict " << static_cast<int>(c.expected) << " for the folder of "
            << std::wstring_view(c.folder).size() << " chars, case " << (&c - cases);
        // The installation's target judgement is the same but for the data.
        const FolderVerdict target = fw::JudgeTarget(c.folder, kSystem);
        EXPECT_EQ(target == FolderVerdict::Own,
                  c.expected == FolderVerdict::Own || c.expected == FolderVerdict::NoGameData)
            << "case " << (&c - cases);
        EXPECT_EQ(asked.empty(), target != FolderVerdict::Own)
            << "expected the data asked for only of a folder that may be the program's, case "
            << (&c - cases);
    }
}

} // namespace
