// The disc in the drive as Windows sees it (drive D: is linked to the extracted image): the
// autorun.inf that Explorer reads, and the program and the control as Explorer shows them, with
// their version, their icons and the program's manifest.
#include <windows.h>

#include <gtest/gtest.h>
#include <shellapi.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

const std::wstring kProgram = L"D:\\Fenwobble.exe";

std::string Utf8(const std::wstring& s) {
    std::string out(s.size() * 3, '\0');
    out.resize(::WideCharToMultiByte(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), out.data(),
                                     static_cast<int>(out.size()), nullptr, nullptr));
    return out;
}

struct Module {
    explicit Module(const std::wstring& path)
        : handle(::LoadLibraryExW(path.c_str(), nullptr,
                                  LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE)) {}
    ~Module() {
        if (handle) {
            ::FreeLibrary(handle);
        }
    }
    Module(const Module&) = delete;
    Module& operator=(const Module&) = delete;
    HMODULE handle;
};

// The bytes of a resource, empty when there is none.
std::string Resource(HMODULE module, LPCWSTR name, LPCWSTR type) {
    HRSRC found = ::FindResourceW(module, name, type);
    HGLOBAL loaded = found ? ::LoadResource(module, found) : nullptr;
    const char* data = loaded ? static_cast<const char*>(::LockResource(loaded)) : nullptr;
    return data ? std::string(data, ::SizeofResource(module, found)) : std::string();
}

BOOL CALLBACK FirstName(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR out) {
    *reinterpret_cast<LPWSTR*>(out) = name; // an id (a name would live only in the callback)
    return FALSE;
}

TEST(Disc, AutorunStartsTheProgramUnderTheRussianLabel) {
    ASSERT_EQ(::GetDriveTypeW(L"D:\\"), static_cast<UINT>(DRIVE_CDROM));
    const struct {
        const wchar_t* key;
        std::wstring expected;
    } cases[] = {
        {L"open", L"Fenwobble.exe"},
        {L"icon", L"Fenwobble.exe,0"},
        {L"label", L"Тавилон"},
    };
    for (const auto& c : cases) {
        wchar_t value[256] = L"";
        ::GetPrivateProfileStringW(L"autorun", c.key, L"", value, 256, L"D:\\autorun.inf");
        EXPECT_EQ(std::wstring(value), c.expected)
            << Utf8(c.key) << ": expected " << Utf8(c.expected) << ", got " << Utf8(value);
    }
}

TEST(Disc, ProgramAndControlNameTheirProductMakerAndOneVersion) {
    for (const std::wstring& file : {kProgram, std::wstring(L"D:\\SWF\\FLASH.OCX")}) {
        SCOPED_TRACE(Utf8(file));
        DWORD ignored = 0;
        std::vector<char> info(::GetFileVersionInfoSizeW(file.c_str(), &ignored));
        ASSERT_FALSE(info.empty()) << "expected a version resource";
        ASSERT_TRUE(
            ::GetFileVersionInfoW(file.c_str(), 0, static_cast<DWORD>(info.size()), info.data()));
        void* p = nullptr;
        UINT n = 0;
        ASSERT_TRUE(::VerQueryValueW(info.data(), L"\\VarFileInfo\\Translation", &p, &n));
        const auto* lang = static_cast<const WORD*>(p);
        wchar_t block[64];
        std::swprintf(block, 64, L"\\StringFileInfo\\%04X%04X\\", lang[0], lang[1]);
        auto text = [&](const wchar_t* name) {
            void* v = nullptr;
            UINT len = 0;
            const std::wstring query = block + std::wstring(name);
            return ::VerQueryValueW(info.data(), query.c_str(), &v, &len) && len
                       ? std::wstring(static_cast<const wchar_t*>(v))
                       : std::wstring();
        };
        EXPECT_EQ(text(L"ProductName"), L"Тавилон") << Utf8(text(L"ProductName"));
        EXPECT_EQ(text(L"CompanyName"), L"Brumvale") << Utf8(text(L"CompanyName"));
        EXPECT_FALSE(text(L"FileDescription").empty());
        // The numbers and the texts come from one place: they must agree.
        ASSERT_TRUE(::VerQueryValueW(info.data(), L"\\", &p, &n));
        const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(p);
        const std::wstring numbers = std::to_wstring(HIWORD(fixed->dwFileVersionMS)) + L"." +
                                     std::to_wstring(LOWORD(fixed->dwFileVersionMS)) + L"." +
                                     std::to_wstring(HIWORD(fixed->dwFileVersionLS));
        EXPECT_EQ(text(L"FileVersion"), numbers) << Utf8(text(L"FileVersion"));
        EXPECT_EQ(text(L"ProductVersion"), numbers) << Utf8(text(L"ProductVersion"));
    }
}

TEST(Disc, ProgramHasItsIconInEverySizeAndItsManifest) {
    HICON large = nullptr;
    HICON small = nullptr;
    EXPECT_GE(::ExtractIconExW(kProgram.c_str(), -1, nullptr, nullptr, 0), 1u);
    ::ExtractIconExW(kProgram.c_str(), 0, &large, &small, 1);
    EXPECT_NE(large, nullptr) << "expected the large icon";
    EXPECT_NE(small, nullptr) << "expected the small icon";
    for (HICON icon : {large, small}) {
        if (icon) {
            ::DestroyIcon(icon);
        }
    }

    Module program(kProgram);
    ASSERT_NE(program.handle, nullptr);
    LPWSTR group = nullptr;
    ::EnumResourceNamesW(program.handle, RT_GROUP_ICON, FirstName,
                         reinterpret_cast<LONG_PTR>(&group));
    ASSERT_TRUE(group && IS_INTRESOURCE(group)) << "expected an icon group with an id";
    std::string directory = Resource(program.handle, group, RT_GROUP_ICON);
    ASSERT_FALSE(directory.empty());
    for (int size : {16, 32, 48}) {
        // The image Windows picks for the size must be drawn for it, not scaled from another.
        const int id = ::LookupIconIdFromDirectoryEx(reinterpret_cast<BYTE*>(directory.data()),
                                                     TRUE, size, size, LR_DEFAULTCOLOR);
        const std::string image = Resource(program.handle, MAKEINTRESOURCEW(id), RT_ICON);
        ASSERT_GE(image.size(), sizeof(BITMAPINFOHEADER)) << "no image for " << size;
        BITMAPINFOHEADER header;
        std::memcpy(&header, image.data(), sizeof header);
        EXPECT_EQ(header.biWidth, size) << "expected " << size << ", got " << header.biWidth;
    }

    // Common controls 6, and no requested execution level (see the manifest's comment).
    const std::string manifest =
        Resource(program.handle, CREATEPROCESS_MANIFEST_RESOURCE_ID, RT_MANIFEST);
    EXPECT_NE(manifest.find("Microsoft.Windows.Common-Controls"), std::string::npos) << manifest;
    EXPECT_EQ(manifest.find("<requestedExecutionLevel"), std::string::npos) << manifest;
}

} // namespace
