#include "setup/start_decision.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

using fw::DriveType;
using fw::StartRoad;

struct RoadCase {
    const char* what;
    std::vector<std::wstring> args;
    bool keyExists;
    std::optional<std::wstring> defaultValue;
    DriveType drive;
    bool answerYes;
    StartRoad expected;
    bool offered;
};

TEST(DecideStart, TakesTheRoadOfEveryInstallationState) {
    const std::wstring marker = L"Transfering";
    const RoadCase cases[] = {
        {"-u removes", {L"-u"}, true, L"", DriveType::Fixed, false, StartRoad::Removal, false},
        {"-U removes", {L"-U"}, false, {}, DriveType::CdRom, false, StartRoad::Removal, false},
        {"-u second is ignored",
         {L"x", L"-u"},
         true,
         L"",
         DriveType::Fixed,
         false,
         StartRoad::Normal,
         false},
        {"-uu is not the switch",
         {L"-uu"},
         true,
         L"",
         DriveType::Fixed,
         false,
         StartRoad::Normal,
         false},
        {"first start from fixed disk",
         {},
         false,
         {},
         DriveType::Fixed,
         false,
         StartRoad::Register,
         false},
        {"first start from CD, declined",
         {},
         false,
         {},
         DriveType::CdRom,
         false,
         StartRoad::Register,
         true},
        {"first start from CD, accepted",
         {},
         false,
         {},
         DriveType::CdRom,
         true,
         StartRoad::Install,
         true},
        {"first start from removable, accepted",
         {},
         false,
         {},
         DriveType::Removable,
         true,
         StartRoad::Install,
         true},
        {"first start from network, accepted",
         {},
         false,
         {},
         DriveType::Remote,
         true,
         StartRoad::Install,
         true},
        {"marker on fixed disk registers",
         {},
         true,
         marker,
         DriveType::Fixed,
         true,
         StartRoad::Register,
         false},
        {"marker on CD registers without offer",
         {},
         true,
         marker,
         DriveType::CdRom,
         true,
         StartRoad::Register,
         false},
        {"registered from CD", {}, true, L"", DriveType::CdRom, true, StartRoad::Normal, false},
        {"marker in other case counts as registered",
         {},
         true,
         L"transfering",
         DriveType::CdRom,
         true,
         StartRoad::Normal,
         false},
        {"key without default value is registered",
         {},
         true,
         {},
         DriveType::CdRom,
         true,
         StartRoad::Normal,
         false},
    };
    for (const auto& c : cases) {
        fw::StartFacts facts{c.args, c.keyExists, c.defaultValue, c.drive};
        bool offered = false;
        const StartRoad road = fw::DecideStart(facts, [&] {
            offered = true;
            return c.answerYes;
        });
        EXPECT_EQ(road, c.expected) << c.what;
        EXPECT_EQ(offered, c.offered) << c.what;
    }
}

TEST(FreeMegabytes, CountsWholeMegabytesAndFailuresAsZero) {
    EXPECT_EQ(fw::FreeMegabytes(94371840ull), 90);
    EXPECT_EQ(fw::FreeMegabytes(94371839ull), 89);
    EXPECT_EQ(fw::FreeMegabytes(std::nullopt), 0);
    EXPECT_EQ(fw::FreeMegabytes(0ull), 0);
    EXPECT_EQ(fw::FreeMegabytes(5ull * 1024 * 1024 * 1024 * 1024), 5 * 1024 * 1024);
}

TEST(FreeSpaceRoot, NamesTheDriveOfThePathText) {
    EXPECT_EQ(fw::FreeSpaceRoot(L"c:\\Program Files\\Brumvale"), L"C:\\");
    EXPECT_EQ(fw::FreeSpaceRoot(L"E:"), L"E:\\");
    EXPECT_EQ(fw::FreeSpaceRoot(L"\\Brumvale\\Fenwobble"), L"");
    EXPECT_EQ(fw::FreeSpaceRoot(L"\\\\server\\share\\x"), L"\\\\server\\share\\");
    EXPECT_EQ(fw::FreeSpaceRoot(L""), L"");
    EXPECT_EQ(fw::FreeSpaceRoot(L"1:\\x"), L"");
}

TEST(Texts, CarryTheirFiguresAndPaths) {
    EXPECT_EQ(fw::ShortageText(89), L"На диске всего 89 Мб, нужно примерно 90 Мб");
    EXPECT_EQ(fw::CannotCreateText(L"Q:\\x"),
              L"Невозможно создать директорию Q:\\x. Установка не завершена");
    EXPECT_NE(fw::OfferText().find(L"\r\nОни займут примерно 90 Мб"), std::wstring::npos);
    const std::wstring question = fw::RemovalQuestion(L"C:\\P\\");
    const std::wstring tail = L"?\r\n(Будут удалены файлы из директории C:\\P\\)";
    ASSERT_GE(question.size(), tail.size());
    EXPECT_EQ(question.substr(question.size() - tail.size()), tail);
    EXPECT_EQ(fw::RegisteredExePath(L"D:\\"), L"D:\\Fenwobble.exe");
}

TEST(Batch, ErasesTheExecutableThenItself) {
    EXPECT_EQ(fw::BatchPath(L"C:\\P\\Game2.exe"), L"C:\\P\\Game2.bat");
    EXPECT_EQ(fw::BatchPath(L"C:\\P.d\\run"), L"C:\\P.d\\run.bat");
    const auto lines = fw::BatchLines(L"C:\\P Q\\F.exe", L"C:\\P Q\\F.bat");
    const std::vector<std::wstring> expected = {
        L"Set FenwobbleTries=0",
        L":1",
        L"Erase \"C:\\P Q\\F.exe\"",
        L"Set /a FenwobbleTries+=1",
        L"If exist \"C:\\P Q\\F.exe\" If %FenwobbleTries% LSS 100000 Goto 1",
        L"Erase \"C:\\P Q\\F.bat\"",
    };
    EXPECT_EQ(lines, expected);
}

TEST(Batch, TheBoundedLoopStillErasesBothButGivesUp) {
    const auto lines = fw::BatchLines(L"C:\\P\\F.exe", L"C:\\P\\F.bat");
    ASSERT_GE(lines.size(), 4u);
    // The same erase of the executable and of itself as the plain loop...
    EXPECT_NE(std::find(lines.begin(), lines.end(), L"Erase \"C:\\P\\F.exe\""), lines.end());
    EXPECT_EQ(lines.back(), L"Erase \"C:\\P\\F.bat\"");
    // ...and the jump back only while a counter is below its limit.
    const auto jump = std::find_if(lines.begin(), lines.end(), [](const std::wstring& l) {
        return l.find(L"Goto 1") != std::wstring::npos;
    });
    ASSERT_NE(jump, lines.end());
    EXPECT_NE(jump->find(L"LSS"), std::wstring::npos) << "expected a bounded jump";
}

// Code page 866 for ASCII and Russian letters, nothing else; short names from a table.
class FakeOem : public fw::OemPort {
public:
    explicit FakeOem(std::vector<std::pair<std::wstring, std::wstring>> shortNames)
        : shortNames_(std::move(shortNames)) {}
    std::optional<std::string> ExactOem(std::wstring_view text) override {
        std::string out;
        for (const wchar_t c : text) {
            if (c < 0x80) {
                out += static_cast<char>(c);
            } else if (c >= 0x410 && c <= 0x43F) {
                out += static_cast<char>(c - 0x410 + 0x80);
            } else if (c >= 0x440 && c <= 0x44F) {
                out += static_cast<char>(c - 0x440 + 0xE0);
            } else {
                return std::nullopt;
            }
        }
        return out;
    }
    std::optional<std::wstring> ShortPath(const std::wstring& path) override {
        for (const auto& [full, shortName] : shortNames_) {
            if (full == path) {
                return shortName;
            }
        }
        return std::nullopt;
    }

private:
    std::vector<std::pair<std::wstring, std::wstring>> shortNames_;
};

TEST(Batch, WritesEveryPathExactlyOrNotAtAll) {
    struct Case {
        const wchar_t* folder;
        std::vector<std::pair<std::wstring, std::wstring>> shortNames;
        std::optional<std::string> eraseExe;   // the line erasing the executable
        std::optional<std::string> eraseBatch; // the last line
        bool setlocal;
    };
    const Case cases[] = {
        {L"C:\\Games\\50%",
         {},
         "Erase \"C:\\Games\\50%%\\F.exe\"",
         "Erase \"C:\\Games\\50%%\\F.bat\"",
         false},
        {L"C:\\%PATH%\\%1",
         {},
         "Erase \"C:\\%%PATH%%\\%%1\\F.exe\"",
         "Erase \"C:\\%%PATH%%\\%%1\\F.bat\"",
         false},
        {L"C:\\Tom & Jerry ^ (1)",
         {},
         "Erase \"C:\\Tom & Jerry ^ (1)\\F.exe\"",
         "Erase \"C:\\Tom & Jerry ^ (1)\\F.bat\"",
         false},
        {L"C:\\Wow!", {}, "Erase \"C:\\Wow!\\F.exe\"", "Erase \"C:\\Wow!\\F.bat\"", true},
        {L"C:\\Игры",
         {},
         "Erase \"C:\\\x88\xA3\xE0\xEB\\F.exe\"",
         "Erase \"C:\\\x88\xA3\xE0\xEB\\F.bat\"",
         false},
        // Best fit would write "Cafe": the short name is written instead.
        {L"C:\\Café Игры",
         {{L"C:\\Café Игры\\F.exe", L"C:\\CAFE~1\\F.exe"},
          {L"C:\\Café Игры\\F.bat", L"C:\\CAFE~1\\F.bat"}},
         "Erase \"C:\\CAFE~1\\F.exe\"",
         "Erase \"C:\\CAFE~1\\F.bat\"",
         false},
        // A short name the code page cannot hold either, or none at all.
        {L"C:\\日本", {{L"C:\\日本\\F.exe", L"C:\\日本\\F.exe"}}, {}, {}, false},
        {L"C:\\Café", {}, {}, {}, false},
    };
    for (const auto& c : cases) {
        const std::wstring folder = c.folder;
        FakeOem oem(c.shortNames);
        const auto bytes = fw::BatchFileBytes(folder + L"\\F.exe", folder + L"\\F.bat", oem);
        const std::string what = "case " + std::to_string(&c - cases);
        ASSERT_EQ(bytes.has_value(), c.eraseExe.has_value()) << what;
        if (!bytes) {
            continue;
        }
        EXPECT_EQ(bytes->substr(bytes->size() - 2), "\r\n") << what;
        EXPECT_NE(bytes->find("\r\n" + *c.eraseExe + "\r\n"), std::string::npos)
            << what << ": expected " << *c.eraseExe << " in\n"
            << *bytes;
        EXPECT_EQ(bytes->substr(bytes->rfind("\r\n", bytes->size() - 3) + 2),
                  *c.eraseBatch + "\r\n")
            << what;
        EXPECT_EQ(bytes->rfind("Setlocal DisableDelayedExpansion\r\n", 0) == 0, c.setlocal) << what;
    }
}

} // namespace
