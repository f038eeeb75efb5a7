#include "setup/cp1251.h"
#include "setup/program_group.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Bytes of the Windows-1251 texts that the commands carry.
const std::string kGroup1251 = "\xD2\xE0\xE2\xE8\xEB\xEE\xED";                 // Тавилон
const std::string kRemoval1251 = "\xD3\xE4\xE0\xEB\xE8\xF2\xFC " + kGroup1251; // Удалить Тавилон

TEST(ProgramGroupCommands, TextsForAPathWithBlanksAndCyrillic) {
    const std::wstring path = L"C:\\Program Files\\Игры Brumvale\\Fenwobble.exe";
    const std::string path1251 =
        "C:\\Program Files\\\xC8\xE3\xF0\xFB Brumvale\\Fenwobble.exe"; // Игры
    struct Case {
        std::wstring text;
        std::string bytes;
    };
    const Case cases[] = {
        {fw::CreateGroupCommand(fw::kGroupName), "[CreateGroup(" + kGroup1251 + ")]\r\n"},
        {fw::AddItemCommand(path, fw::kGroupName),
         "[AddItem(\"" + path1251 + "\"," + kGroup1251 + ")]\r\n"},
        {fw::AddRemovalItemCommand(path, fw::kRemovalItemName),
         "[AddItem(\"" + path1251 + "\" -u," + kRemoval1251 + ")]\r\n"},
        {fw::DeleteGroupCommand(fw::kGroupName), "[DeleteGroup(" + kGroup1251 + ")]\r\n"},
    };
    for (const auto& c : cases) {
        const std::string bytes = fw::CommandBytes(c.text);
        ASSERT_FALSE(bytes.empty());
        EXPECT_EQ(bytes.back(), '\0') << "the terminating NUL travels with the command";
        EXPECT_EQ(bytes.substr(0, bytes.size() - 1), c.bytes);
    }
}

TEST(ProgramGroupCommands, AWideOnlyCharacterIsTheOneLoss) {
    const std::string bytes =
        fw::CommandBytes(fw::AddItemCommand(L"D:\\\u00E9t\u00E9\\F.exe", L"\u0416"));
    EXPECT_EQ(bytes, std::string("[AddItem(\"D:\\?t?\\F.exe\",\xC6)]\r\n", 29) + '\0');
}

TEST(Cp1251, EveryByteComesBackFromItsCharacter) {
    for (int b = 0; b < 256; ++b) {
        const std::string one(1, static_cast<char>(b));
        const std::wstring wide = fw::FromCp1251(one);
        ASSERT_EQ(wide.size(), 1u) << "byte " << b;
        EXPECT_EQ(fw::ToCp1251(wide), one) << "byte " << b;
    }
    EXPECT_EQ(fw::FromCp1251("\xC0\xFF\xA8\xB8\xB9"), L"\u0410\u044F\u0401\u0451\u2116");
}

TEST(Cp1251, UnknownCharactersBecomeOneQuestionMarkEach) {
    const struct {
        std::wstring text;
        std::string bytes;
    } cases[] = {
        {L"a\u4E2Db", "a?b"},
        {std::wstring(L"x") + static_cast<wchar_t>(0xD83D) + static_cast<wchar_t>(0xDE00) + L"y",
         "x?y"},
        {std::wstring(1, static_cast<wchar_t>(0xDC00)), "?"},
        {L"", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(fw::ToCp1251(c.text), c.bytes);
    }
}

// Records what the conversation asks of the DDE library.
class FakeDde : public fw::DdePort {
public:
    bool Connect(std::wstring_view service, std::wstring_view topic) override {
        log.push_back("connect " + Ascii(service) + "|" + Ascii(topic));
        connected = connectAnswers.empty() ? false : connectAnswers.front();
        if (!connectAnswers.empty()) {
            connectAnswers.erase(connectAnswers.begin());
        }
        return connected;
    }
    unsigned StartServer(std::wstring_view commandLine) override {
        log.push_back("start " + Ascii(commandLine));
        return startAnswer;
    }
    bool Execute(std::string_view bytes) override {
        EXPECT_TRUE(connected) << "execute without a conversation";
        sent.emplace_back(bytes);
        const bool ok = executeAnswers.empty() ? true : executeAnswers.front();
        if (!executeAnswers.empty()) {
            executeAnswers.erase(executeAnswers.begin());
        }
        log.push_back(ok ? "execute" : "execute refused");
        return ok;
    }
    void Disconnect() override {
        log.push_back("disconnect");
        connected = false;
    }

    static std::string Ascii(std::wstring_view s) {
        std::string out;
        for (wchar_t c : s) {
            out += c < 128 ? static_cast<char>(c) : '?';
        }
        return out;
    }

    std::vector<bool> connectAnswers;
    unsigned startAnswer = 2;
    std::vector<bool> executeAnswers;
    bool connected = false;
    std::vector<std::string> log;
    std::vector<std::string> sent;
};

struct SetLinkCase {
    const char* what;
    std::vector<bool> connectAnswers;
    unsigned startAnswer;
    bool connected;
    std::vector<std::string> log;
};

TEST(TDdeClientConv, SetLinkTriesOnceMoreOnlyAfterStartingTheServer) {
    const SetLinkCase cases[] = {
        {"server answers", {true}, 2, true, {"disconnect", "connect progman|"}},
        {"no server, none to start",
         {false},
         2,
         false,
         {"disconnect", "connect progman|", "start progman ", "disconnect"}},
        {"WinExec's 31 is still a failure",
         {false, true},
         31,
         false,
         {"disconnect", "connect progman|", "start progman ", "disconnect"}},
        {"server started and answers",
         {false, true},
         32,
         true,
         {"disconnect", "connect progman|", "start progman ", "connect progman|"}},
        {"server started but silent",
         {false, false},
         33,
         false,
         {"disconnect", "connect progman|", "start progman ", "connect progman|", "disconnect"}},
    };
    for (const auto& c : cases) {
        FakeDde dde;
        dde.connectAnswers = c.connectAnswers;
        dde.startAnswer = c.startAnswer;
        fw::TDdeClientConv conv(dde);
        EXPECT_EQ(conv.SetLink(fw::kProgmanService, L""), c.connected) << c.what;
        EXPECT_EQ(conv.Connected(), c.connected) << c.what;
        EXPECT_EQ(dde.log, c.log) << c.what;
        EXPECT_EQ(conv.DdeService(), c.connected ? L"progman" : L"") << c.what;
        // Opening again never makes a further attempt.
        const auto before = dde.log.size();
        EXPECT_EQ(conv.OpenLink(), c.connected) << c.what;
        EXPECT_EQ(dde.log.size(), before) << c.what;
    }
}

TEST(TDdeClientConv, CloseEmptiesTheNamesSoOpenNeverReconnects) {
    FakeDde dde;
    dde.connectAnswers = {true, true};
    fw::TDdeClientConv conv(dde);
    ASSERT_TRUE(conv.SetLink(fw::kProgmanService, L""));
    conv.CloseLink();
    EXPECT_FALSE(conv.Connected());
    EXPECT_EQ(conv.DdeService(), L"");
    EXPECT_EQ(conv.DdeTopic(), L"");
    EXPECT_FALSE(conv.OpenLink());
    EXPECT_FALSE(conv.ExecuteMacro(fw::DeleteGroupCommand(fw::kGroupName)));
    EXPECT_TRUE(dde.sent.empty());
    EXPECT_EQ(dde.connectAnswers.size(), 1u) << "a second connection was attempted";
}

struct InstallCase {
    const char* what;
    std::vector<bool> connectAnswers;
    std::vector<bool> executeAnswers;
    std::vector<std::wstring> messages;
    std::size_t sent;
};

TEST(InstallSequence, ShowsTheMessageOfEachRefusedCommandInOrder) {
    const InstallCase cases[] = {
        {"all accepted", {true}, {}, {}, 3},
        {"no conversation",
         {false},
         {},
         {std::wstring(fw::kCreateGroupFailed), std::wstring(fw::kAddItemFailed),
          std::wstring(fw::kAddRemovalItemFailed)},
         0},
        {"group refused", {true}, {false, true, true}, {std::wstring(fw::kCreateGroupFailed)}, 3},
        {"start item refused", {true}, {true, false, true}, {std::wstring(fw::kAddItemFailed)}, 3},
        {"removal item refused",
         {true},
         {true, true, false},
         {std::wstring(fw::kAddRemovalItemFailed)},
         3},
    };
    for (const auto& c : cases) {
        FakeDde dde;
        dde.connectAnswers = c.connectAnswers;
        dde.executeAnswers = c.executeAnswers;
        fw::TDdeClientConv conv(dde);
        conv.SetLink(fw::kProgmanService, L"");
        std::vector<std::wstring> shown;
        fw::RunInstallSequence(conv, L"E:\\Fenwobble.exe",
                               [&](std::wstring_view text) { shown.emplace_back(text); });
        EXPECT_EQ(shown, c.messages) << c.what;
        EXPECT_EQ(dde.sent.size(), c.sent) << c.what;
        EXPECT_FALSE(conv.Connected()) << c.what;
        EXPECT_EQ(dde.log.back(), "disconnect") << c.what;
        if (c.sent == 3) {
            EXPECT_EQ(dde.sent[0], fw::CommandBytes(fw::CreateGroupCommand(fw::kGroupName)));
            EXPECT_EQ(dde.sent[1],
                      fw::CommandBytes(fw::AddItemCommand(L"E:\\Fenwobble.exe", fw::kGroupName)));
            EXPECT_EQ(dde.sent[2], fw::CommandBytes(fw::AddRemovalItemCommand(
                                       L"E:\\Fenwobble.exe", fw::kRemovalItemName)));
        }
    }
    EXPECT_NE(fw::kAddItemFailed, fw::kAddRemovalItemFailed);
}

TEST(RemovalSequence, SendsDeleteGroupThenHandlesMessagesThenCloses) {
    for (const bool reachable : {true, false}) {
        FakeDde dde;
        dde.connectAnswers = {reachable};
        fw::TDdeClientConv conv(dde);
        conv.SetLink(fw::kProgmanService, L"");
        dde.log.clear();
        fw::RunRemovalSequence(conv, [&] { dde.log.push_back("messages"); });
        const std::vector<std::string> expected =
            reachable ? std::vector<std::string>{"execute", "messages", "disconnect"}
                      : std::vector<std::string>{"messages", "disconnect"};
        EXPECT_EQ(dde.log, expected) << "reachable " << reachable;
        if (reachable) {
            ASSERT_EQ(dde.sent.size(), 1u);
            EXPECT_EQ(dde.sent[0], "[DeleteGroup(" + kGroup1251 + ")]\r\n" + std::string(1, '\0'));
        }
    }
}

} // namespace
