// The start-up decision and the texts built from paths. Input: one flag byte
// (bits 0-2 the drive type, bit 3 the program key exists, bit 4 it has a
// default value, bit 5 the answer to the offer), then fields split at raw
// '|': the default value, a path text, an executable path, and the
// command-line arguments.

#include "setup/program_folder.h"
#include "setup/start_decision.h"

#include "base/text.h"

#include "fuzz_text.h"

#include <cstdint>
#include <optional>
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
    const auto separator = [](wchar_t c) { return c == L'\\' || c == L'/'; };
    if (!hasDrive) {
        // A network path is measured on its share, anything else on the
        // current drive.
        const bool network = path.size() >= 2 && separator(path[0]) && separator(path[1]);
        FW_FUZZ_CHECK(root.empty() != network);
        FW_FUZZ_CHECK(!network ||
                      (fw::StartsWith(root, L"\\\\") && root.back() == L'\\' && root.size() >= 3));
        return;
    }
    // Always a root the free-space query understands: an upper-case letter,
    // a colon and a backslash, whatever follows the drive in the text.
    FW_FUZZ_CHECK(root.size() == 3 && root[0] >= L'A' && root[0] <= L'Z' && root[1] == L':' &&
                  root[2] == L'\\');
    FW_FUZZ_CHECK(fwfuzz::AsciiEqualNoCase(root.substr(0, 1), path.substr(0, 1)));
}

void CheckFolder(const std::wstring& path) {
    // One spelling: spelling it again changes nothing, and a folder is
    // judged as its spelling is.
    const std::wstring comparable = fw::ComparablePath(path);
    FW_FUZZ_CHECK(fw::ComparablePath(comparable) == comparable);
    const fw::SystemFolders system{{L"C:\\Windows"}, {L"C:\\Program Files"}, {L"C:\\Users\\A"}};
    const fw::FolderVerdict verdict = fw::JudgeTarget(path, system);
    FW_FUZZ_CHECK(verdict == fw::JudgeTarget(comparable, system));
    FW_FUZZ_CHECK((verdict == fw::FolderVerdict::NoRoot) == comparable.empty());
}

// Plain ASCII and no short names.
class AsciiOem : public fw::OemPort {
public:
    std::optional<std::string> ExactOem(std::wstring_view text) override {
        std::string out;
        for (const wchar_t c : text) {
            if (c >= 0x80) {
                return std::nullopt;
            }
            out += static_cast<char>(c);
        }
        return out;
    }
    std::optional<std::wstring> ShortPath(const std::wstring&) override { return std::nullopt; }
};

void CheckBatch(const std::wstring& exe) {
    const std::wstring bat = fw::BatchPath(exe);
    // The batch file is in the executable's folder and is never the executable.
    FW_FUZZ_CHECK(bat.size() >= 4 && bat.compare(bat.size() - 4, 4, L".bat") == 0);
    const auto slash = exe.find_last_of(L'\\');
    const std::wstring folder = slash == std::wstring::npos ? L"" : exe.substr(0, slash + 1);
    FW_FUZZ_CHECK(bat.compare(0, folder.size(), folder) == 0);
    FW_FUZZ_CHECK(bat.find_last_of(L'\\') == slash);
    FW_FUZZ_CHECK(bat != exe || exe.empty());

    // Each path stands whole between quotes, as cmd.exe reads it back: every
    // "%" doubled.
    const auto quoted = [](const std::wstring& path) {
        std::wstring out = L"\"";
        for (const wchar_t c : path) {
            out += c == L'%' ? L"%%" : std::wstring(1, c);
        }
        return out + L"\"";
    };
    const std::vector<std::wstring> lines = fw::BatchLines(exe, bat);
    FW_FUZZ_CHECK(lines.size() >= 4);
    // The loop erases the executable and jumps back only while a counter
    // allows; the batch file is erased last.
    FW_FUZZ_CHECK(lines.back().find(quoted(bat)) != std::wstring::npos);
    std::size_t erasing = 0;
    std::size_t jumps = 0;
    for (std::size_t i = 0; i + 1 < lines.size(); ++i) {
        erasing += lines[i].find(quoted(exe)) != std::wstring::npos;
        if (lines[i].find(L"Goto 1") != std::wstring::npos) {
            ++jumps;
            FW_FUZZ_CHECK(lines[i].find(L" LSS ") != std::wstring::npos);
        }
    }
    FW_FUZZ_CHECK(erasing == 2);
    FW_FUZZ_CHECK(jumps == 1);

    // Lines are ended by the writer: none may carry a line break of its own
    // unless a path did.
    if (exe.find_first_of(L"\r\n") == std::wstring::npos) {
        for (const auto& line : lines) {
            FW_FUZZ_CHECK(line.find_first_of(L"\r\n") == std::wstring::npos);
        }
    }

    // Written exactly or not at all.
    AsciiOem oem;
    const auto bytes = fw::BatchFileBytes(exe, bat, oem);
    const bool ascii = oem.ExactOem(exe).has_value();
    FW_FUZZ_CHECK(bytes.has_value() == ascii);
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
    CheckFolder(fields[1]);
    CheckBatch(fields[2]);
    return 0;
}
