// The start-up decision and the texts built from paths. Input: one flag byte
// (bits 0-2 the drive type, bit 3 the program key exists, bit 4 it has a
// default value, bit 5 the answer to the offer), then fields split at raw
// '|': the default value, a path text, an executable path, and the
// command-line arguments.

#include "setup/start_decision.h"

#include "base/text.h"

#include "fuzz_text.h"

#include <cstdint>
#include <string>
#include <vector>

namespace {

bool IsLetter(wchar_t c) {
    return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z');
}

void CheckRoots(const std::wstring& path) {
    const std::wstring drive = fw::DrivePart(path);
    const std::wstring root = fw::FreeSpaceRoot(path);
    const bool hasDrive = path.size() >= 2 && IsLetter(path[0]) && path[1] == L':';
    FW_FUZZ_CHECK(drive == (hasDrive ? path.substr(0, 2) : std::wstring()));
    if (!hasDrive) {
        FW_FUZZ_CHECK(root.empty());
        return;
    }
    // Always a root the free-space query understands: an upper-case letter,
    // a colon and a backslash, whatever follows the drive in the text.
    FW_FUZZ_CHECK(root.size() == 3 && root[0] >= L'A' && root[0] <= L'Z' && root[1] == L':' &&
                  root[2] == L'\\');
    FW_FUZZ_CHECK(fwfuzz::AsciiEqualNoCase(root.substr(0, 1), path.substr(0, 1)));
}

void CheckBatch(const std::wstring& exe) {
    const std::wstring bat = fw::BatchPath(exe);
    // The batch file is in the executable's folder and is never the executable.
    FW_FUZZ_CHECK(bat.size() >= 4 && bat.compare(bat.size() - 4, 4, L".bat") == 0);
    const auto slash = exe.find_last_of(L'\\');
    const std::wstring folder = slash == std::wstring::npos ? L"" : exe.substr(0, slash + 1);
    FW_FUZZ_CHECK(bat.compare(0, folder.size(), folder) == 0);
    FW_FUZZ_CHECK(bat.find_last_of(L'\\') == slash);
    FW_FUZZ_CHECK(bat != exe || exe.empty());

    const std::vector<std::wstring> lines = fw::BatchLines(exe, bat);
    FW_FUZZ_CHECK(lines.size() == 4);
    FW_FUZZ_CHECK(lines[0] == L":1");
    // The loop erases the executable until it is gone, then the batch file:
    // each path stands whole between quotes.
    const std::wstring quotedExe = L"\"" + exe + L"\"";
    const std::wstring quotedBat = L"\"" + bat + L"\"";
    FW_FUZZ_CHECK(lines[1].find(quotedExe) != std::wstring::npos);
    FW_FUZZ_CHECK(lines[2].find(quotedExe) != std::wstring::npos);
    FW_FUZZ_CHECK(lines[2].find(L"Goto 1") != std::wstring::npos);
    FW_FUZZ_CHECK(lines[3].find(quotedBat) != std::wstring::npos);

    // The bounded loop erases the same files, and the batch file only last.
    const std::vector<std::wstring> bounded = fw::BoundedBatchLines(exe, bat);
    FW_FUZZ_CHECK(bounded.size() >= 4);
    FW_FUZZ_CHECK(bounded.back().find(quotedBat) != std::wstring::npos);
    std::size_t erasing = 0;
    for (std::size_t i = 0; i + 1 < bounded.size(); ++i) {
        erasing += bounded[i].find(quotedExe) != std::wstring::npos;
    }
    FW_FUZZ_CHECK(erasing == 2);

    // Lines are ended by the writer: none may carry a line break of its own
    // unless a path did.
    if (exe.find_first_of(L"\r\n") == std::wstring::npos) {
        for (const auto* set : {&lines, &bounded}) {
            for (const auto& line : *set) {
                FW_FUZZ_CHECK(line.find_first_of(L"\r\n") == std::wstring::npos);
            }
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) {
        return 0;
    }
    const std::uint8_t flags = data[0];
    auto fields = fwfuzz::Fields(data + 1, size - 1, '|');
    fields.resize(std::max<std::size_t>(fields.size(), 3));

    fw::StartFacts facts;
    facts.drive = static_cast<fw::DriveType>(flags & 7);
    facts.programKeyExists = (flags & 8) != 0;
    if (flags & 16) {
        facts.defaultValue = fields[0];
    }
    facts.args.assign(fields.begin() + 3, fields.end());
    const bool answer = (flags & 32) != 0;

    int asked = 0;
    const fw::StartRoad road = fw::DecideStart(facts, [&] {
        ++asked;
        return answer;
    });
    const bool removal = !facts.args.empty() && fwfuzz::AsciiEqualNoCase(facts.args[0], L"-u");
    const bool marker = facts.programKeyExists && facts.defaultValue == fw::kTransferMarker;
    const bool registered = facts.programKeyExists && !marker;
    // The offer is made at most once, and only on a start from a drive other
    // than a fixed disk that is not registered yet and not a removal.
    FW_FUZZ_CHECK(asked <= 1);
    FW_FUZZ_CHECK(asked == 0 || (!removal && !registered && !facts.programKeyExists &&
                                 facts.drive != fw::DriveType::Fixed));
    FW_FUZZ_CHECK((road == fw::StartRoad::Removal) == removal);
    FW_FUZZ_CHECK(road != fw::StartRoad::Install || (asked == 1 && answer));
    FW_FUZZ_CHECK(road != fw::StartRoad::Normal || registered);
    if (registered && !removal) {
        FW_FUZZ_CHECK(road == fw::StartRoad::Normal);
    }

    CheckRoots(fields[1]);
    CheckBatch(fields[2]);
    return 0;
}
