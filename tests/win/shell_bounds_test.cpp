// Bounds on what the movie hands the shell: the size of a document for the
// parents, and the value names that the registry's error texts quote.

#include "shell/RtfFrm.h"
#include "win/application.h"
#include "win/error.h"
#include "win/handle.h"
#include "win/registry.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::wstring TempPath(const std::wstring& name) {
    wchar_t dir[MAX_PATH];
    ::GetTempPathW(MAX_PATH, dir);
    return std::wstring(dir) + L"fw_bounds_" + std::to_wstring(::GetCurrentProcessId()) + L"_" +
           name;
}

// A short rich-text document, followed by zero bytes up to the size when that is larger.
void WriteDocument(const std::wstring& path, long long size) {
    const std::string text = "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\\pard\\plain\\f0 Big\\par}";
    fw::win::FileHandle file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                           FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(file);
    DWORD written = 0;
    ASSERT_TRUE(
        ::WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr));
    if (size > static_cast<long long>(text.size())) {
        LARGE_INTEGER end{};
        end.QuadPart = size;
        ASSERT_TRUE(::SetFilePointerEx(file.get(), end, nullptr, FILE_BEGIN));
        ASSERT_TRUE(::SetEndOfFile(file.get()));
    }
}

TEST(ShellBounds, ADocumentLargerThan16MiBIsRefusedWithTheFileError) {
    fw::win::Application::Get().Initialize();
    auto viewer = fw::TRtfForm::Create();
    const std::wstring small = TempPath(L"small.rtf");
    const std::wstring big = TempPath(L"big.rtf");
    WriteDocument(small, 0);
    WriteDocument(big, (16LL << 20) + 1);

    viewer->ShowDocument(small);
    EXPECT_TRUE(viewer->Visible());
    EXPECT_EQ(viewer->RxRichEdit().Text().substr(0, 3), L"Big");
    viewer->Hide();

    std::wstring error;
    try {
        viewer->ShowDocument(big);
    } catch (const fw::win::FileError& e) {
        error = e.Text();
    }
    EXPECT_EQ(error, L"Cannot read file \"" + big + L"\": the document is larger than 16 MB");
    EXPECT_FALSE(viewer->Visible()) << "expected the viewer to stay hidden";
    ::DeleteFileW(small.c_str());
    ::DeleteFileW(big.c_str());
}

TEST(ShellBounds, ErrorTextsQuoteLongValueNamesCut) {
    const std::wstring key =
        L"\\Software\\FenwobbleBoundsTest" + std::to_wstring(::GetCurrentProcessId());
    fw::win::Registry reg(HKEY_CURRENT_USER);
    ASSERT_TRUE(reg.OpenKey(key, true));
    // A name the registry refuses, and one it takes holding no text.
    const std::wstring refused(20000, L'n');
    const std::wstring number(1000, L'd');
    const DWORD one = 1;
    ASSERT_EQ(::RegSetKeyValueW(HKEY_CURRENT_USER, key.substr(1).c_str(), number.c_str(), REG_DWORD,
                                &one, sizeof one),
              ERROR_SUCCESS);
    struct Case {
        const char* name;
        std::wstring prefix;
        void (*act)(fw::win::Registry&, const std::wstring&);
        const std::wstring* valueName;
    };
    const Case cases[] = {
        {"write", L"Failed to set data for '",
         [](fw::win::Registry& r, const std::wstring& n) { r.WriteString(n, L"x"); }, &refused},
        {"read", L"Invalid data type for '",
         [](fw::win::Registry& r, const std::wstring& n) { r.ReadString(n); }, &number},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::wstring text;
        try {
            c.act(reg, *c.valueName);
        } catch (const fw::win::RegistryError& e) {
            text = e.Text();
        }
        const std::wstring name = c.valueName->substr(0, fw::win::kQuotedNameChars - 1);
        EXPECT_EQ(text, c.prefix + name + L"\u2026'") << "got " << text.size() << " chars";
    }
    reg.CloseKey();
    reg.DeleteKey(key);
}

} // namespace
