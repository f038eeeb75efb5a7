// regsvr32's entry points: the class, its ProgID, the in-process server and the Control key.

#include "dispids.h"
#include "module.h"

#include <olectl.h>

#include <string>

namespace fw::player {
namespace {

constexpr wchar_t kDescription[] = L"Fenwobble movie player control";
// OLEMISC flags the container reads before creating the control (see GetMiscStatus).
constexpr wchar_t kMiscStatus[] = L"131473";

std::wstring ClsidText() {
    wchar_t text[64];
    ::StringFromGUID2(kPlayerClsid, text, 64);
    return text;
}

bool SetValue(const std::wstring& key, const wchar_t* name, const std::wstring& value) {
    HKEY h = nullptr;
    if (::RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &h,
                          nullptr) != ERROR_SUCCESS) {
        return false;
    }
    LONG rc = ::RegSetValueExW(h, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                               static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    ::RegCloseKey(h);
    return rc == ERROR_SUCCESS;
}

std::wstring ModulePath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        DWORD n =
            ::GetModuleFileNameW(ModuleInstance(), path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) {
            return {};
        }
        if (n < path.size()) {
            path.resize(n);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

} // namespace
} // namespace fw::player

extern "C" HRESULT STDAPICALLTYPE DllRegisterServer() {
    using namespace fw::player;
    std::wstring path = ModulePath();
    if (path.empty()) {
        return SELFREG_E_CLASS;
    }
    std::wstring clsid = L"CLSID\\" + ClsidText();
    std::wstring progId = kProgId;
    bool ok = SetValue(clsid, nullptr, kDescription) &&
              SetValue(clsid + L"\\InprocServer32", nullptr, path) &&
              SetValue(clsid + L"\\InprocServer32", L"ThreadingModel", L"Apartment") &&
              SetValue(clsid + L"\\ProgID", nullptr, progId) &&
              SetValue(clsid + L"\\VersionIndependentProgID", nullptr, progId) &&
              SetValue(clsid + L"\\Control", nullptr, L"") &&
              SetValue(clsid + L"\\MiscStatus", nullptr, L"0") &&
              SetValue(clsid + L"\\MiscStatus\\1", nullptr, kMiscStatus) &&
              SetValue(progId, nullptr, kDescription) &&
              SetValue(progId + L"\\CLSID", nullptr, ClsidText());
    return ok ? S_OK : SELFREG_E_CLASS;
}

extern "C" HRESULT STDAPICALLTYPE DllUnregisterServer() {
    using namespace fw::player;
    std::wstring clsid = L"CLSID\\" + ClsidText();
    LONG a = ::RegDeleteTreeW(HKEY_CLASSES_ROOT, clsid.c_str());
    LONG b = ::RegDeleteTreeW(HKEY_CLASSES_ROOT, kProgId);
    bool ok = (a == ERROR_SUCCESS || a == ERROR_FILE_NOT_FOUND) &&
              (b == ERROR_SUCCESS || b == ERROR_FILE_NOT_FOUND);
    return ok ? S_OK : SELFREG_E_CLASS;
}
