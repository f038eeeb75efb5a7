#include "setup/start_decision.h"

#include "base/path.h"
#include "base/text.h"
#include "setup/program_folder.h"

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
    std::wstring root = PathRoot(pathText);
    if (root.size() == 3 && root[0] >= L'a' && root[0] <= L'z') {
        root[0] = static_cast<wchar_t>(root[0] - L'a' + L'A');
    }
    return root;
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
    return WithoutExtension(exePath) + L".bat";
}

std::wstring UntouchedFolderText(const std::wstring& programFolder) {
    return L"Файлы в директории " + programFolder + L" не удалены";
}

std::wstring ExecutableStaysText(const std::wstring& exePath) {
    return L"Файл " + exePath + L" не удален: удалите его вручную";
}

std::vector<std::wstring> BatchLines(const std::wstring& exePath, const std::wstring& batchPath) {
    // Quotes keep "&", "^" and blanks literal, but cmd.exe reads "%" as the
    // start of a variable even inside them: "%%" is one "%".
    const auto quoted = [](const std::wstring& path) {
        std::wstring out = L"\"";
        for (const wchar_t c : path) {
            out += c;
            if (c == L'%') {
                out += L'%';
            }
        }
        return out + L"\"";
    };
    const std::wstring exe = quoted(exePath);
    std::vector<std::wstring> lines;
    // Delayed expansion, when switched on for every cmd.exe in the registry,
    // would read "!" as a variable's start too.
    if ((exePath + batchPath).find(L'!') != std::wstring::npos) {
        lines.push_back(L"Setlocal DisableDelayedExpansion");
    }
    // The loop repeats the erase without a pause until the program has
    // exited, and gives up after a fixed number of tries, so that an
    // executable that can never be erased (read-only, no right to delete)
    // cannot keep a hidden cmd.exe spinning for ever. A counter of cmd.exe's
    // own is the bound that works everywhere: a pause would need a program
    // (ping, timeout) that may be missing or want a console or a network.
    // 100000 tries outlast a slow exit by far: a try takes about a
    // millisecond under Wine, less on Windows.
    lines.insert(lines.end(), {
                                  L"Set FenwobbleTries=0",
                                  L":1",
                                  L"Erase " + exe,
                                  L"Set /a FenwobbleTries+=1",
                                  L"If exist " + exe + L" If %FenwobbleTries% LSS 100000 Goto 1",
                                  L"Erase " + quoted(batchPath),
                              });
    return lines;
}

std::optional<std::string> BatchFileBytes(const std::wstring& exePath,
                                          const std::wstring& batchPath, OemPort& oem) {
    // A best fit ("e" for "é") or a default character ("?", a wildcard)
    // would make the batch file erase another file.
    const auto exact = [&oem](const std::wstring& path) -> std::optional<std::wstring> {
        if (oem.ExactOem(path)) {
            return path;
        }
        auto shortPath = oem.ShortPath(path);
        if (shortPath && oem.ExactOem(*shortPath)) {
            return shortPath;
        }
        return std::nullopt;
    };
    const auto exe = exact(exePath);
    const auto batch = exact(batchPath);
    if (!exe || !batch) {
        return std::nullopt;
    }
    std::string bytes;
    for (const auto& line : BatchLines(*exe, *batch)) {
        const auto oemLine = oem.ExactOem(line);
        if (!oemLine) {
            return std::nullopt;
        }
        bytes += *oemLine;
        bytes += "\r\n";
    }
    return bytes;
}

} // namespace fw
