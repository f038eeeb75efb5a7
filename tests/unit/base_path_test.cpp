#include "base/path.h"

#include <gtest/gtest.h>

namespace {

TEST(SplitPath, FolderAndNameAtTheLastSeparatorOrTheDrive) {
    struct Case {
        const wchar_t* path;
        const wchar_t* folder;
        const wchar_t* name;
        const wchar_t* withoutExtension;
    };
    const Case cases[] = {
        {L"C:\\Games\\Fenwobble.exe", L"C:\\Games\\", L"Fenwobble.exe", L"C:\\Games\\Fenwobble"},
        {L"C:\\Fenwobble.exe", L"C:\\", L"Fenwobble.exe", L"C:\\Fenwobble"},
        {L"C:\\", L"C:\\", L"", L"C:\\"},
        {L"C:Fenwobble.exe", L"C:", L"Fenwobble.exe", L"C:Fenwobble"},
        {L"C:", L"C:", L"", L"C:"},
        {L"\\\\server\\share\\Game\\run.bat", L"\\\\server\\share\\Game\\", L"run.bat",
         L"\\\\server\\share\\Game\\run"},
        {L"\\\\server\\share\\", L"\\\\server\\share\\", L"", L"\\\\server\\share\\"},
        {L"C:/Games/Fenwobble.exe", L"C:/Games/", L"Fenwobble.exe", L"C:/Games/Fenwobble"},
        {L"C:\\Games\\", L"C:\\Games\\", L"", L"C:\\Games\\"},
        {L"C:\\P.d\\run", L"C:\\P.d\\", L"run", L"C:\\P.d\\run"},
        {L"C:\\P.d/run", L"C:\\P.d/", L"run", L"C:\\P.d/run"},
        {L"C:\\Игры\\Игра.tar.gz", L"C:\\Игры\\", L"Игра.tar.gz", L"C:\\Игры\\Игра.tar"},
        {L"Fenwobble.exe", L"", L"Fenwobble.exe", L"Fenwobble"},
        {L"\\Fenwobble", L"\\", L"Fenwobble", L"\\Fenwobble"},
        {L"", L"", L"", L""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "case " << (&c - cases));
        EXPECT_EQ(fw::FolderOf(c.path), c.folder);
        EXPECT_EQ(fw::FileNameOf(c.path), c.name);
        EXPECT_EQ(fw::FolderOf(c.path) + fw::FileNameOf(c.path), c.path);
        EXPECT_EQ(fw::WithoutExtension(c.path), c.withoutExtension);
    }
}

TEST(WithoutTrailingSeparators, KeepsTheRootOfADriveAndALoneSeparator) {
    const std::pair<const wchar_t*, const wchar_t*> cases[] = {
        {L"C:\\Games\\", L"C:\\Games"},
        {L"C:\\Games\\/\\", L"C:\\Games"},
        {L"C:\\Games", L"C:\\Games"},
        {L"C:\\", L"C:\\"},
        {L"C:\\\\", L"C:\\"},
        {L"C:", L"C:"},
        {L"C:Games\\", L"C:Games"},
        {L"\\\\server\\share\\", L"\\\\server\\share"},
        {L"\\", L"\\"},
        {L"//", L"/"},
        {L"Games/", L"Games"},
        {L"", L""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(fw::WithoutTrailingSeparators(c.first), c.second) << "case " << (&c - cases);
    }
}

TEST(JoinPath, AddsOneSeparatorAndDropsOneLeadingSeparator) {
    struct Case {
        const wchar_t* folder;
        const wchar_t* name;
        const wchar_t* expected;
    };
    const Case cases[] = {
        {L"C:\\Games", L"Fenwobble.exe", L"C:\\Games\\Fenwobble.exe"},
        {L"C:\\Games\\", L"\\Fenwobble.exe", L"C:\\Games\\Fenwobble.exe"},
        {L"C:\\Games\\", L"Fenwobble.exe", L"C:\\Games\\Fenwobble.exe"},
        {L"C:\\Games", L"\\Fenwobble.exe", L"C:\\Games\\Fenwobble.exe"},
        {L"C:/Games/", L"/Fenwobble.exe", L"C:/Games/Fenwobble.exe"},
        {L"C:\\", L"SWF", L"C:\\SWF"},
        {L"\\\\server\\share", L"SWF\\Game.swf", L"\\\\server\\share\\SWF\\Game.swf"},
        {L"", L"Fenwobble.exe", L"Fenwobble.exe"},
        {L"", L"\\Fenwobble.exe", L"Fenwobble.exe"},
        {L"C:\\Games", L"", L"C:\\Games\\"},
        {L"", L"", L""},
        // Only one separator is dropped or added.
        {L"C:\\Games\\\\", L"\\\\x", L"C:\\Games\\\\\\x"},
        {L"C:\\Программы\\Brumvale", L"Игра.exe", L"C:\\Программы\\Brumvale\\Игра.exe"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(fw::JoinPath(c.folder, c.name), c.expected) << "case " << (&c - cases);
    }
}

} // namespace
