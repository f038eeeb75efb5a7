#include "setup/file_tree.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

using fw::FolderEntry;

// A file system in memory. Paths are absolute with backslashes; a link is a
// folder entry whose contents are those of its target.
class FakeFolders : public fw::FolderPort {
public:
    struct Node {
        std::uint32_t attributes = 0;
        std::wstring linkTarget;
    };

    void AddFolder(const std::wstring& path, std::uint32_t extra = 0) {
        nodes_[path] = {fw::kAttrDirectory | extra, {}};
    }
    void AddFile(const std::wstring& path, std::uint32_t attributes = fw::kAttrArchive) {
        nodes_[path] = {attributes, {}};
    }
    void AddLink(const std::wstring& path, const std::wstring& target) {
        nodes_[path] = {fw::kAttrDirectory | fw::kAttrReparsePoint, target};
    }

    std::set<std::wstring> Paths() const {
        std::set<std::wstring> out;
        for (const auto& [path, node] : nodes_) {
            out.insert(path);
        }
        return out;
    }

    std::vector<FolderEntry> Enumerate(const std::wstring& pattern) override {
        ++enumerations;
        const std::wstring tail = L"\\*.*";
        EXPECT_TRUE(pattern.size() > tail.size() &&
                    pattern.compare(pattern.size() - tail.size(), tail.size(), tail) == 0)
            << "unexpected pattern " << Narrow(pattern);
        const std::wstring folder = Resolve(pattern.substr(0, pattern.size() - tail.size()));
        const auto it = nodes_.find(folder);
        if (it == nodes_.end() || (it->second.attributes & fw::kAttrDirectory) == 0) {
            return {};
        }
        std::vector<FolderEntry> out{{L".", fw::kAttrDirectory}, {L"..", fw::kAttrDirectory}};
        for (const auto& [path, node] : nodes_) {
            if (IsChild(path, folder)) {
                out.push_back({path.substr(folder.size() + 1), node.attributes});
            }
        }
        return out;
    }

    bool DeleteFile(const std::wstring& path) override {
        log.push_back(L"del " + path);
        const auto it = nodes_.find(Resolve(path));
        if (it == nodes_.end() || (it->second.attributes & fw::kAttrDirectory) != 0 ||
            (it->second.attributes & fw::kAttrReadOnly) != 0) {
            return false;
        }
        nodes_.erase(it);
        return true;
    }

    bool RemoveDirectory(const std::wstring& path) override {
        log.push_back(L"rmdir " + path);
        const auto link = nodes_.find(path);
        if (link != nodes_.end() && !link->second.linkTarget.empty()) {
            nodes_.erase(link);
            return true;
        }
        const std::wstring real = Resolve(path);
        const auto it = nodes_.find(real);
        if (it == nodes_.end() || (it->second.attributes & fw::kAttrDirectory) == 0) {
            return false;
        }
        for (const auto& [p, node] : nodes_) {
            if (IsChild(p, real)) {
                return false;
            }
        }
        nodes_.erase(it);
        return true;
    }

    static std::string Narrow(const std::wstring& s) {
        std::string out;
        for (wchar_t c : s) {
            out += c < 128 ? static_cast<char>(c) : '?';
        }
        return out;
    }

    int enumerations = 0;
    std::vector<std::wstring> log;

private:
    static bool IsChild(const std::wstring& path, const std::wstring& folder) {
        return path.size() > folder.size() + 1 && path.compare(0, folder.size(), folder) == 0 &&
               path[folder.size()] == L'\\' &&
               path.find(L'\\', folder.size() + 1) == std::wstring::npos;
    }

    // Follows links on the way: "C:\p\link\x" becomes "<target>\x".
    std::wstring Resolve(std::wstring path) const {
        for (std::size_t pos = 0; pos != std::wstring::npos;) {
            pos = path.find(L'\\', pos + 1);
            const std::wstring prefix = path.substr(0, pos);
            const auto it = nodes_.find(prefix);
            if (it != nodes_.end() && !it->second.linkTarget.empty()) {
                path = it->second.linkTarget + (pos == std::wstring::npos ? L"" : path.substr(pos));
                pos = 0;
            }
        }
        return path;
    }

    std::map<std::wstring, Node> nodes_;
};

// The tree every clearing case starts from.
void BuildTree(FakeFolders& fs) {
    fs.AddFolder(L"C:\\Other");
    fs.AddFile(L"C:\\Other\\keep.txt");
    fs.AddFolder(L"C:\\Game");
    fs.AddFile(L"C:\\Game\\Fenwobble.exe");
    fs.AddFile(L"C:\\Game\\notes.txt", 0);
    fs.AddFolder(L"C:\\Game\\SWF");
    fs.AddFile(L"C:\\Game\\SWF\\Game.swf");
    fs.AddFolder(L"C:\\Game\\SWF\\Deep");
    fs.AddFolder(L"C:\\Game\\SWF\\Deep\\Deeper");
    fs.AddFile(L"C:\\Game\\SWF\\Deep\\Deeper\\a.bin");
    fs.AddFolder(L"C:\\Game\\Пусто");
}

struct ClearCase {
    const char* what;
    const wchar_t* folder;
    void (*extra)(FakeFolders&);
    std::set<std::wstring> kept; // beyond C:\Other and its file
};

TEST(ClearFolder, DeletesAllButWhatMustStay) {
    const ClearCase cases[] = {
        {"plain tree", L"C:\\Game", nullptr, {L"C:\\Game"}},
        {"trailing backslash", L"C:\\Game\\", nullptr, {L"C:\\Game"}},
        {"hidden file deep inside",
         L"C:\\Game",
         [](FakeFolders& fs) {
             fs.AddFile(L"C:\\Game\\SWF\\Deep\\Deeper\\secret.dat", fw::kAttrHidden);
         },
         {L"C:\\Game", L"C:\\Game\\SWF", L"C:\\Game\\SWF\\Deep", L"C:\\Game\\SWF\\Deep\\Deeper",
          L"C:\\Game\\SWF\\Deep\\Deeper\\secret.dat"}},
        {"hidden and system folders stay with their contents",
         L"C:\\Game",
         [](FakeFolders& fs) {
             fs.AddFolder(L"C:\\Game\\Hid", fw::kAttrHidden);
             fs.AddFile(L"C:\\Game\\Hid\\in.txt");
             fs.AddFolder(L"C:\\Game\\Sys", fw::kAttrSystem);
             fs.AddFolder(L"C:\\Game\\Sys\\Sub");
         },
         {L"C:\\Game", L"C:\\Game\\Hid", L"C:\\Game\\Hid\\in.txt", L"C:\\Game\\Sys",
          L"C:\\Game\\Sys\\Sub"}},
        {"system file, volume label and hidden read-only file",
         L"C:\\Game",
         [](FakeFolders& fs) {
             fs.AddFile(L"C:\\Game\\desktop.ini", fw::kAttrSystem | fw::kAttrArchive);
             fs.AddFile(L"C:\\Game\\LABEL", fw::kAttrVolume);
             fs.AddFile(L"C:\\Game\\SWF\\h.txt", fw::kAttrHidden | fw::kAttrReadOnly);
         },
         {L"C:\\Game", L"C:\\Game\\desktop.ini", L"C:\\Game\\LABEL", L"C:\\Game\\SWF",
          L"C:\\Game\\SWF\\h.txt"}},
        {"read-only file refuses deletion",
         L"C:\\Game",
         [](FakeFolders& fs) {
             fs.AddFile(L"C:\\Game\\SWF\\Deep\\ro.txt", fw::kAttrReadOnly | fw::kAttrArchive);
         },
         {L"C:\\Game", L"C:\\Game\\SWF", L"C:\\Game\\SWF\\Deep", L"C:\\Game\\SWF\\Deep\\ro.txt"}},
        {"a link is removed and its target left alone",
         L"C:\\Game",
         [](FakeFolders& fs) { fs.AddLink(L"C:\\Game\\SWF\\Shortcut", L"C:\\Other"); },
         {L"C:\\Game"}},
        {"clearing a subfolder leaves the rest",
         L"C:\\Game\\SWF",
         nullptr,
         {L"C:\\Game", L"C:\\Game\\Fenwobble.exe", L"C:\\Game\\notes.txt", L"C:\\Game\\SWF",
          L"C:\\Game\\Пусто"}},
    };
    for (const auto& c : cases) {
        FakeFolders fs;
        BuildTree(fs);
        if (c.extra) {
            c.extra(fs);
        }
        fw::ClearFolder(fs, c.folder);
        std::set<std::wstring> expected = c.kept;
        expected.insert(L"C:\\Other");
        expected.insert(L"C:\\Other\\keep.txt");
        EXPECT_EQ(fs.Paths(), expected) << c.what;
    }
}

TEST(ClearFolder, NothingHappensForAnEmptyTextOrAMissingFolder) {
    for (const wchar_t* folder : {L"", L"C:\\Missing", L"C:\\Game\\notes.txt"}) {
        FakeFolders fs;
        BuildTree(fs);
        const auto before = fs.Paths();
        fw::ClearFolder(fs, folder);
        EXPECT_EQ(fs.Paths(), before) << FakeFolders::Narrow(folder);
        EXPECT_TRUE(fs.log.empty()) << FakeFolders::Narrow(folder);
    }
    FakeFolders fs;
    fw::ClearFolder(fs, L"");
    EXPECT_EQ(fs.enumerations, 0) << "an empty text must not be enumerated";
}

TEST(ClearFolder, SubfoldersGoBeforeTheFilesBesideThem) {
    FakeFolders fs;
    fs.AddFolder(L"C:\\G");
    fs.AddFile(L"C:\\G\\a.txt");
    fs.AddFolder(L"C:\\G\\b");
    fs.AddFile(L"C:\\G\\c.txt");
    fw::ClearFolder(fs, L"C:\\G");
    const std::vector<std::wstring> expected = {L"rmdir C:\\G\\b", L"del C:\\G\\a.txt",
                                                L"del C:\\G\\c.txt"};
    EXPECT_EQ(fs.log, expected);
}

TEST(DeleteFolderEntry, IgnoresDotEntriesAndNamelessOnes) {
    FakeFolders fs;
    BuildTree(fs);
    const auto before = fs.Paths();
    for (const wchar_t* name : {L".", L"..", L""}) {
        fw::DeleteFolderEntry(fs, {name, fw::kAttrDirectory}, L"C:\\Game\\SWF");
    }
    EXPECT_EQ(fs.Paths(), before);
    EXPECT_TRUE(fs.log.empty());
}

TEST(DeleteFolderEntry, FileOrFolderByTheDirectoryBit) {
    FakeFolders fs;
    BuildTree(fs);
    fw::DeleteFolderEntry(fs, {L"SWF", fw::kAttrDirectory}, L"C:\\Game");
    fw::DeleteFolderEntry(fs, {L"notes.txt", 0}, L"C:\\Game\\");
    const auto paths = fs.Paths();
    EXPECT_EQ(paths.count(L"C:\\Game\\SWF"), 0u);
    EXPECT_EQ(paths.count(L"C:\\Game\\SWF\\Deep\\Deeper\\a.bin"), 0u);
    EXPECT_EQ(paths.count(L"C:\\Game\\notes.txt"), 0u);
    EXPECT_EQ(paths.count(L"C:\\Game\\Fenwobble.exe"), 1u);
}

} // namespace
