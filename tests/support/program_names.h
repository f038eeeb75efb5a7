#pragma once
// The names the program leaves for other programs to read: its registry keys, the player
// control's class key and the Program Manager commands of its group. Written out here as the
// system sees them rather than taken from the program's code, so a test notices when the
// program writes something else.

#include <string>
#include <vector>

namespace fwtest {

// Under HKEY_LOCAL_MACHINE.
inline const std::wstring kProgramKey = L"Software\\Brumvale\\Fenwobble";
inline const std::wstring kAppPaths =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Fenwobble.exe";
inline const std::wstring kUninstall =
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Fenwobble.exe";
// Under HKEY_CLASSES_ROOT.
inline const std::wstring kClsidKey = L"CLSID\\{D27CDB6E-AE6D-11CF-96B8-444553540000}";
inline const std::wstring kInprocServerKey = kClsidKey + L"\\InprocServer32";

// The installation's default target.
inline const std::wstring kDefaultTarget = L"C:\\Program Files\\Brumvale\\Fenwobble";

// What a first start from a fixed disk asks of Program Manager for the program at exe, and
// what the removal asks.
inline std::vector<std::wstring> RegistrationCommands(const std::wstring& exe) {
    return {L"[CreateGroup(Тавилон)]\r\n", L"[AddItem(\"" + exe + L"\",Тавилон)]\r\n",
            L"[AddItem(\"" + exe + L"\" -u,Удалить Тавилон)]\r\n"};
}
inline const std::wstring kDeleteGroupCommand = L"[DeleteGroup(Тавилон)]\r\n";

} // namespace fwtest
