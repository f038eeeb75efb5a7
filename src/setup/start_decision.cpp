#include "setup/start_decision.h"

#include "base/text.h"

namespace fw {

bool IsRemovalSwitch(const std::vector<std::wstring>& args) {
    return !args.empty() && AsciiLower(args.front()) == L"-u";
}

StartRoad DecideStart(const StartFacts& facts, const std::function<bool()>& askOffer) {
    if (IsRemovalSwitch(facts.args)) {
        return StartRoad::Removal;
    }
    const bool marker = facts.programKeyExists && facts.defaultValue == kTransferMarker;
    if (facts.programKeyExists && !marker) {
        return StartRoad::Normal;
    }
    if (facts.drive == DriveType::Fixed || facts.programKeyExists) {
        return StartRoad::Register;
    }
    return askOffer && askOffer() ? StartRoad::Install : StartRoad::Register;
}

std::int64_t FreeMegabytes(std::optional<std::uint64_t> bytes) {
    const std::int64_t b = bytes ? static_cast<std::int64_t>(*bytes) : -1;
    return b / 1024 / 1024;
}

std::wstring DrivePart(const std::wstring& path) {
    if (path.size() >= 2 && path[1] == L':' &&
        ((path[0] >= L'A' && path[0] <= L'Z') || (path[0] >= L'a' && path[0] <= L'z'))) {
        return path.substr(0, 2);
    }
    return {};
}

std::wstring FreeSpaceRoot(const std::wstring& pathText) {
    const std::wstring drive = DrivePart(pathText);
    if (drive.empty()) {
        return {};
    }
    wchar_t letter = drive[0];
    if (letter >= L'a' && letter <= L'z') {
        letter = static_cast<wchar_t>(letter - L'a' + L'A');
    }
    return std::wstring(1, letter) + L":\\";
}

std::wstring OfferText() {
    return L"Перенести файлы программы на жесткий диск?\r\nОни займут примерно " +
           DecimalText(kRequiredMegabytes) + L" Мб, но программа может работать быстрее";
}

std::wstring ShortageText(std::int64_t freeMegabytes) {
    return L"На диске всего " + DecimalText(freeMegabytes) + L" Мб, нужно примерно " +
           DecimalText(kRequiredMegabytes) + L" Мб";
}

std::wstring CannotCreateText(const std::wstring& pathText) {
    return L"Невозможно создать директорию " + pathText + L". Установка не завершена";
}

std::wstring RemovalQuestion(const std::wstring& programFolder) {
    return L"Вы действительно хотите полностью удалить программу и все связанные с ней "
           L"файлы?\r\n(Будут удалены файлы из директории " +
           programFolder + L")";
}

std::wstring RegisteredExePath(const std::wstring& programFolder) {
    return programFolder + L"Fenwobble" + L".exe";
}

std::wstring BatchPath(const std::wstring& exePath) {
    const auto slash = exePath.find_last_of(L'\\');
    const auto dot = exePath.find_last_of(L'.');
    if (dot == std::wstring::npos || (slash != std::wstring::npos && dot < slash)) {
        return exePath + L".bat";
    }
    return exePath.substr(0, dot) + L".bat";
}

std::vector<std::wstring> BatchLines(const std::wstring& exePath, const std::wstring& batchPath) {
    return {
        L":1",
        L"Erase \"" + exePath + L"\"",
        L"If exist \"" + exePath + L"\" Goto 1",
        L"Erase \"" + batchPath + L"\"",
    };
}

std::vector<std::wstring> BoundedBatchLines(const std::wstring& exePath,
                                            const std::wstring& batchPath) {
    return {
        L"Set FenwobbleTries=0",
        L":1",
        L"Erase \"" + exePath + L"\"",
        L"Set /a FenwobbleTries=FenwobbleTries+1",
        L"If exist \"" + exePath + L"\" If %FenwobbleTries% LSS 20000 Goto 1",
        L"Erase \"" + batchPath + L"\"",
    };
}

} // namespace fw
