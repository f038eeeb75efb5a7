#include "win/strings.h"

#include "base/path.h"
#include "base/text.h"

#include <vector>

namespace fw::win {

std::string Narrow(std::wstring_view s, UINT codePage) {
    if (s.empty()) {
        return {};
    }
    const int n = ::WideCharToMultiByte(codePage, 0, s.data(), static_cast<int>(s.size()), nullptr,
                                        0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
    if (n > 0) {
        ::WideCharToMultiByte(codePage, 0, s.data(), static_cast<int>(s.size()), out.data(), n,
                              nullptr, nullptr);
    }
    return out;
}

std::wstring Widen(std::string_view s, UINT codePage) {
    if (s.empty()) {
        return {};
    }
    const int n =
        ::MultiByteToWideChar(codePage, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0) {
        ::MultiByteToWideChar(codePage, 0, s.data(), static_cast<int>(s.size()), out.data(), n);
    }
    return out;
}

std::string ToUtf8(std::wstring_view s) {
    return Narrow(s, CP_UTF8);
}
std::wstring FromUtf8(std::string_view s) {
    return Widen(s, CP_UTF8);
}

std::wstring SystemErrorText(DWORD code) {
    wchar_t* buf = nullptr;
    const DWORD n = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(&buf), 0, nullptr);
    std::wstring text = n && buf ? std::wstring(buf, n) : std::wstring();
    if (buf) {
        ::LocalFree(buf);
    }
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r')) {
        text.pop_back();
    }
    if (text.empty()) {
        text = L"System error " + DecimalText(code);
    }
    return text;
}

std::wstring ExePath() {
    std::vector<wchar_t> buf(MAX_PATH);
    for (;;) {
        const DWORD n = ::GetModuleFileNameW(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
        if (n < buf.size()) {
            return std::wstring(buf.data(), n);
        }
        buf.resize(buf.size() * 2);
    }
}

std::wstring ExeFolder() {
    return FolderOf(ExePath());
}

} // namespace fw::win
