// Folder copying and clearing on real folders.

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <string>

#include "setup/file_tree.h"
#include "setup/file_tree_win.h"
#include "win/strings.h"

namespace {

std::wstring TempRoot(const wchar_t* name) {
    wchar_t buf[MAX_PATH];
    ::GetTempPathW(MAX_PATH, buf);
    return std::wstring(buf) + name + std::to_wstring(::GetCurrentProcessId());
}

void WriteText(const std::wstring& path, const std::string& text, DWORD attributes = 0) {
    FILE* f = _wfopen(path.c_str(), L"wb");
    ASSERT_NE(f, nullptr) << "cannot create " << fw::win::ToUtf8(path);
    fwrite(text.data(), 1, text.size(), f);
    fclose(f);
    if (attributes) {
        ::SetFileAttributesW(path.c_str(), attributes);
    }
}

std::string ReadText(const std::wstring& path) {
    std::string out;
    if (FILE* f = _wfopen(path.c_str(), L"rb")) {
        char buf[512];
        for (std::size_t n; (n = fread(buf, 1, sizeof(buf), f)) > 0;) {
            out.append(buf, n);
        }
        fclose(f);
    }
    return out;
}

void MakeFolder(const std::wstring& path, DWORD attributes = 0) {
    ASSERT_TRUE(::CreateDirectoryW(path.c_str(), nullptr) ||
                ::GetLastError() == ERROR_ALREADY_EXISTS)
        << "cannot create " << fw::win::ToUtf8(path);
    if (attributes) {
        ::SetFileAttributesW(path.c_str(), attributes);
    }
}

// Every path under the root, relative to it.
void Collect(const std::wstring& root, const std::wstring& rel, std::set<std::wstring>& out) {
    WIN32_FIND_DATAW d;
    HANDLE h = ::FindFirstFileW((root + rel + L"\\*").c_str(), &d);
    if (h == INVALID_HANDLE_VALUE) {
        return;
    }
    do {
        const std::wstring name = d.cFileName;
        if (name == L"." || name == L"..") {
            continue;
        }
        out.insert(rel + L"\\" + name);
        if (d.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            Collect(root, rel + L"\\" + name, out);
        }
    } while (::FindNextFileW(h, &d));
    ::FindClose(h);
}

std::set<std::wstring> Tree(const std::wstring& root) {
    std::set<std::wstring> out;
    Collect(root, L"", out);
    return out;
}

// Removes a test tree whatever its attributes.
void RemoveTree(const std::wstring& path) {
    ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    WIN32_FIND_DATAW d;
    HANDLE h = ::FindFirstFileW((path + L"\\*").c_str(), &d);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = d.cFileName;
            if (name == L"." || name == L"..") {
                continue;
            }
            const std::wstring child = path + L"\\" + name;
            if (d.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(child);
            } else {
                ::SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
                ::DeleteFileW(child.c_str());
            }
        } while (::FindNextFileW(h, &d));
        ::FindClose(h);
    }
    ::RemoveDirectoryW(path.c_str());
}

std::string Show(const std::set<std::wstring>& paths) {
    std::string out;
    for (const auto& p : paths) {
        out += fw::win::ToUtf8(p) + " ";
    }
    return out;
}

TEST(CopyFolderContents, ReplacesFilesOfTheSameNamesAndMakesMissingFolders) {
    const std::wstring root = TempRoot(L"fw_copy_");
    RemoveTree(root);
    MakeFolder(root);
    const std::wstring src = root + L"\\CD";
    MakeFolder(src);
    WriteText(src + L"\\Fenwobble.exe", "new exe");
    MakeFolder(src + L"\\SWF");
    WriteText(src + L"\\SWF\\Game.swf", "new movie");
    MakeFolder(src + L"\\SWF\\Документы");
    WriteText(src + L"\\SWF\\Документы\\Родителям.rtf", "new rtf");

    struct Case {
        const char* what;
        const wchar_t* target;
        bool prefill;
    };
    const Case cases[] = {
        {"target holds older files", L"\\Old", true},
        {"target does not exist yet", L"\\New\\Deeper", false},
        {"target with Cyrillic name", L"\\Игра", true},
    };
    for (const auto& c : cases) {
        const std::wstring dst = root + c.target;
        if (c.prefill) {
            MakeFolder(dst);
            WriteText(dst + L"\\Fenwobble.exe", "old exe, longer than the new one");
            MakeFolder(dst + L"\\SWF");
            WriteText(dst + L"\\SWF\\Game.swf", "old movie");
            WriteText(dst + L"\\keep.txt", "kept");
        }
        const fw::CopyResult r = fw::CopyFolderContents(src + L"\\", dst, nullptr);
        EXPECT_TRUE(r.Succeeded())
            << c.what << ": expected success, got code " << r.code << " aborted " << r.aborted;
        EXPECT_EQ(ReadText(dst + L"\\Fenwobble.exe"), "new exe") << c.what;
        EXPECT_EQ(ReadText(dst + L"\\SWF\\Game.swf"), "new movie") << c.what;
        EXPECT_EQ(ReadText(dst + L"\\SWF\\Документы\\Родителям.rtf"), "new rtf") << c.what;
        EXPECT_EQ(ReadText(dst + L"\\keep.txt"), c.prefill ? "kept" : "") << c.what;
        EXPECT_EQ(Tree(src), [&] {
            std::set<std::wstring> copied;
            for (const auto& p : Tree(dst)) {
                if (p != L"\\keep.txt") {
                    copied.insert(p);
                }
            }
            return copied;
        }()) << c.what;
    }
    RemoveTree(root);
}

TEST(CopyFolderContents, AnIncompleteCopyIsReportedAsAFailure) {
    const std::wstring root = TempRoot(L"fw_copy_missing_");
    RemoveTree(root);
    MakeFolder(root);
    // The shell answers success for a source folder that does not exist.
    fw::CopyResult r =
        fw::CopyFolderContents(root + L"\\NoSuchFolder\\", root + L"\\Target", nullptr);
    EXPECT_FALSE(r.Succeeded()) << "missing source: expected a failure, got code " << r.code;
    // A target file that cannot be replaced keeps its old size.
    MakeFolder(root + L"\\CD");
    WriteText(root + L"\\CD\\a.txt", "new and longer");
    MakeFolder(root + L"\\Target");
    WriteText(root + L"\\Target\\a.txt", "old");
    HANDLE locked = ::CreateFileW((root + L"\\Target\\a.txt").c_str(), GENERIC_READ, 0, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(locked, INVALID_HANDLE_VALUE);
    r = fw::CopyFolderContents(root + L"\\CD\\", root + L"\\Target", nullptr);
    ::CloseHandle(locked);
    EXPECT_FALSE(r.Succeeded()) << "locked target: expected a failure, got code " << r.code
                                << " aborted " << r.aborted;
    RemoveTree(root);
}

struct ClearCase {
    const char* what;
    void (*build)(const std::wstring& root);
    std::set<std::wstring> kept;
};

TEST(ClearFolder, RealTreeKeepsHiddenSystemAndReadOnlyEntries) {
    const ClearCase cases[] = {
        {"hidden file deep inside",
         [](const std::wstring& r) {
             MakeFolder(r + L"\\SWF");
             MakeFolder(r + L"\\SWF\\Глубже");
             WriteText(r + L"\\SWF\\Глубже\\secret.dat", "s", FILE_ATTRIBUTE_HIDDEN);
             WriteText(r + L"\\SWF\\Глубже\\plain.dat", "p");
             WriteText(r + L"\\SWF\\Game.swf", "g");
         },
         {L"\\SWF", L"\\SWF\\Глубже", L"\\SWF\\Глубже\\secret.dat"}},
        {"system file and hidden folder",
         [](const std::wstring& r) {
             WriteText(r + L"\\desktop.ini", "d", FILE_ATTRIBUTE_SYSTEM);
             MakeFolder(r + L"\\Hidden");
             WriteText(r + L"\\Hidden\\in.txt", "i");
             ::SetFileAttributesW((r + L"\\Hidden").c_str(), FILE_ATTRIBUTE_HIDDEN);
         },
         {L"\\desktop.ini", L"\\Hidden", L"\\Hidden\\in.txt"}},
        {"read-only file refuses deletion",
         [](const std::wstring& r) {
             MakeFolder(r + L"\\Docs");
             WriteText(r + L"\\Docs\\ro.txt", "r", FILE_ATTRIBUTE_READONLY);
             WriteText(r + L"\\Docs\\rw.txt", "w");
         },
         {L"\\Docs", L"\\Docs\\ro.txt"}},
    };
    for (const auto& c : cases) {
        const std::wstring root = TempRoot(L"fw_clear_");
        RemoveTree(root);
        MakeFolder(root);
        WriteText(root + L"\\Fenwobble.exe", "x");
        MakeFolder(root + L"\\Empty");
        c.build(root);
        for (const std::wstring& folder : {root, root + L"\\"}) {
            fw::ClearFolder(folder);
            EXPECT_EQ(::GetFileAttributesW(root.c_str()) & FILE_ATTRIBUTE_DIRECTORY,
                      static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY))
                << c.what << ": the folder itself must stay";
            const auto got = Tree(root);
            EXPECT_EQ(got, c.kept)
                << c.what << ": expected " << Show(c.kept) << "got " << Show(got);
        }
        RemoveTree(root);
    }
}

TEST(ClearFolder, EmptyTextAndMissingFolderChangeNothing) {
    const std::wstring root = TempRoot(L"fw_clear_none_");
    RemoveTree(root);
    MakeFolder(root);
    WriteText(root + L"\\a.txt", "a");
    wchar_t old[MAX_PATH];
    ::GetCurrentDirectoryW(MAX_PATH, old);
    // An empty text must not fall back to the current folder.
    ::SetCurrentDirectoryW(root.c_str());
    fw::ClearFolder(L"");
    fw::ClearFolder(root + L"\\Missing");
    ::SetCurrentDirectoryW(old);
    EXPECT_EQ(Tree(root), std::set<std::wstring>{L"\\a.txt"});
    RemoveTree(root);
}

} // namespace
