#pragma once
// Registry access with the program's error texts. Keys are opened with full
// access rights, as the program always has done.

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "win/handle.h"

namespace fw::win {

class Registry {
public:
    explicit Registry(HKEY root = HKEY_LOCAL_MACHINE) : root_(root) {}

    bool KeyExists(const std::wstring& key) const;
    // Opens a key; false when it cannot be opened (or created).
    bool OpenKey(const std::wstring& key, bool create);
    void CloseKey() { key_.reset(); }
    bool IsOpen() const { return static_cast<bool>(key_); }

    // Names of the open key's values, in the registry's enumeration order.
    std::vector<std::wstring> ValueNames() const;
    bool ValueExists(const std::wstring& name) const;
    // Reads a string value; raises RegistryError for a value of another kind.
    std::wstring ReadString(const std::wstring& name) const;
    // Writes a string value; raises RegistryError "Failed to set data for '%s'".
    void WriteString(const std::wstring& name, const std::wstring& value);
    bool DeleteValue(const std::wstring& name);
    // Deletes a key of the root with all its subkeys.
    bool DeleteKey(const std::wstring& key);

private:
    HKEY root_;
    RegKey key_;
};

} // namespace fw::win
