#include "win/registry.h"

#include "base/text.h"
#include "win/error.h"

namespace fw::win {

namespace {
std::wstring Relative(const std::wstring& key) {
    // Keys are written from the root with a leading backslash.
    return !key.empty() && key.front() == L'\\' ? key.substr(1) : key;
}
} // namespace

bool Registry::KeyExists(const std::wstring& key) const {
    HKEY h = nullptr;
    if (::RegOpenKeyExW(root_, Relative(key).c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS) {
        return false;
    }
    ::RegCloseKey(h);
    return true;
}

bool Registry::OpenKey(const std::wstring& key, bool create) {
    key_.reset();
    HKEY h = nullptr;
    LONG rc = 0;
    if (create) {
        rc = ::RegCreateKeyExW(root_, Relative(key).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                               KEY_ALL_ACCESS, nullptr, &h, nullptr);
    } else {
        rc = ::RegOpenKeyExW(root_, Relative(key).c_str(), 0, KEY_ALL_ACCESS, &h);
    }
    if (rc != ERROR_SUCCESS) {
        return false;
    }
    key_.reset(h);
    return true;
}

std::vector<std::wstring> Registry::ValueNames() const {
    std::vector<std::wstring> names;
    if (!key_) {
        return names;
    }
    DWORD count = 0;
    DWORD longest = 0;
    ::RegQueryInfoKeyW(key_.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count,
                       &longest, nullptr, nullptr, nullptr);
    std::wstring buf(static_cast<std::size_t>(longest) + 1, L'\0');
    for (DWORD i = 0; i < count; ++i) {
        DWORD len = longest + 1;
        if (::RegEnumValueW(key_.get(), i, buf.data(), &len, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS) {
            continue;
        }
        names.emplace_back(buf.data(), len);
    }
    return names;
}

bool Registry::ValueExists(const std::wstring& name) const {
    return key_ && ::RegQueryValueExW(key_.get(), name.c_str(), nullptr, nullptr, nullptr,
                                      nullptr) == ERROR_SUCCESS;
}

std::wstring Registry::ReadString(const std::wstring& name) const {
    DWORD type = 0;
    DWORD size = 0;
    if (!key_ || ::RegQueryValueExW(key_.get(), name.c_str(), nullptr, &type, nullptr, &size) !=
                     ERROR_SUCCESS) {
        return {};
    }
    if (type != REG_SZ && type != REG_EXPAND_SZ) {
        throw RegistryError(L"Invalid data type for '" + CutText(name, kQuotedNameChars) + L"'");
    }
    std::wstring value(size / sizeof(wchar_t) + 1, L'\0');
    DWORD got = size;
    ::RegQueryValueExW(key_.get(), name.c_str(), nullptr, &type,
                       reinterpret_cast<BYTE*>(value.data()), &got);
    value.resize(got / sizeof(wchar_t));
    // A stored text ends at its terminating NUL.
    if (const auto nul = value.find(L'\0'); nul != std::wstring::npos) {
        value.resize(nul);
    }
    return value;
}

void Registry::WriteString(const std::wstring& name, const std::wstring& value) {
    // Stored up to the first NUL, which ends a registry text anyway.
    const std::wstring text = value.substr(0, value.find(L'\0'));
    if (!key_ || ::RegSetValueExW(key_.get(), name.c_str(), 0, REG_SZ,
                                  reinterpret_cast<const BYTE*>(text.c_str()),
                                  static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))) !=
                     ERROR_SUCCESS) {
        throw RegistryError(L"Failed to set data for '" + CutText(name, kQuotedNameChars) + L"'");
    }
}

bool Registry::DeleteValue(const std::wstring& name) {
    return key_ && ::RegDeleteValueW(key_.get(), name.c_str()) == ERROR_SUCCESS;
}

bool Registry::DeleteKey(const std::wstring& key) {
    return ::RegDeleteTreeW(root_, Relative(key).c_str()) == ERROR_SUCCESS;
}

} // namespace fw::win
