// The decision on a movie command: input is "command|args" (the first raw
// '|' separates them). Whatever arrives, the decision keeps the promises the
// main window relies on when it carries it out.

#include "base/text.h"
#include "shell/commands.h"

#include "fuzz_text.h"

#include <cstdint>
#include <string>

namespace {

using fw::CommandKind;

std::wstring Joined(const std::vector<std::wstring>& fields, std::size_t from) {
    std::wstring out;
    for (std::size_t i = from; i < fields.size(); ++i) {
        if (i > from) {
            out += L'|';
        }
        out += fields[i];
    }
    return out;
}

std::wstring AsciiUpper(std::wstring s) {
    for (auto& c : s) {
        if (c >= L'a' && c <= L'z') {
            c = static_cast<wchar_t>(c - 32);
        }
    }
    return s;
}

bool IsWord(const std::wstring& command, const wchar_t* word) {
    return fwfuzz::AsciiEqualNoCase(command, word);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto fields = fwfuzz::Fields(data, size, '|');
    const std::wstring command = fields.front();
    const std::wstring args = Joined(fields, 1);

    const fw::CommandAction a = fw::DecideCommand(command, args);

    // The words are matched in any Latin letter case, and only whole.
    struct Word {
        const wchar_t* text;
        CommandKind kind;
    };
    const Word words[] = {
        {L"quit", CommandKind::Quit},         {L"minimize", CommandKind::Minimize},
        {L"maximize", CommandKind::Maximize}, {L"normalize", CommandKind::Normalize},
        {L"print", CommandKind::Print},       {L"setvolume", CommandKind::SetVolume},
        {L"cursor", CommandKind::Cursor},     {L"execute", CommandKind::Execute},
    };
    CommandKind expected = CommandKind::None;
    for (const auto& w : words) {
        if (IsWord(command, w.text)) {
            expected = w.kind;
        }
    }
    if (expected == CommandKind::None && command.size() >= 4 &&
        IsWord(command.substr(0, 4), L"save")) {
        expected = CommandKind::Save;
    }
    FW_FUZZ_CHECK(a.kind == expected);
    FW_FUZZ_CHECK(fw::DecideCommand(AsciiUpper(command), args).kind == a.kind);

    // Fields that belong to other kinds stay at their neutral values.
    if (a.kind != CommandKind::SetVolume) {
        FW_FUZZ_CHECK(a.volumePercent == 0);
    }
    if (a.kind != CommandKind::Cursor) {
        FW_FUZZ_CHECK(a.cursor == fw::CursorChoice::Unchanged);
    }
    if (a.kind != CommandKind::Execute) {
        FW_FUZZ_CHECK(!a.document && a.file.empty());
    }
    if (a.kind != CommandKind::Save) {
        FW_FUZZ_CHECK(a.valueName.empty() && a.valueText.empty() && !a.deleteValue);
    }

    switch (a.kind) {
    case CommandKind::SetVolume:
        FW_FUZZ_CHECK(a.volumePercent == fw::VolumePercentFromArgument(args));
        break;
    case CommandKind::Cursor:
        FW_FUZZ_CHECK((a.cursor == fw::CursorChoice::Default) == IsWord(args, L"norm"));
        FW_FUZZ_CHECK((a.cursor == fw::CursorChoice::HourGlass) == IsWord(args, L"wait"));
        break;
    case CommandKind::Execute:
        // The file is handed on exactly as received; the viewer takes it when
        // ".rtf" appears anywhere in any letter case.
        FW_FUZZ_CHECK(a.file == args);
        FW_FUZZ_CHECK(a.document == (fw::AsciiLower(args).find(L".rtf") != std::wstring::npos));
        break;
    case CommandKind::Save: {
        // The name is what follows "save", without blanks or control
        // characters at either end; the value is kept exactly.
        const std::wstring& name = a.valueName;
        if (!name.empty()) {
            FW_FUZZ_CHECK(static_cast<std::uint32_t>(name.front()) > 32);
            FW_FUZZ_CHECK(static_cast<std::uint32_t>(name.back()) > 32);
        }
        const std::wstring rest = command.substr(4);
        const auto at = rest.find(name);
        FW_FUZZ_CHECK(at != std::wstring::npos);
        for (std::size_t i = 0; i < rest.size(); ++i) {
            if (i < at || i >= at + name.size()) {
                FW_FUZZ_CHECK(static_cast<std::uint32_t>(rest[i]) <= 32);
            }
        }
        FW_FUZZ_CHECK(a.valueText == args);
        FW_FUZZ_CHECK(a.deleteValue == IsWord(args, L"nan"));
        break;
    }
    default:
        break;
    }
    return 0;
}
