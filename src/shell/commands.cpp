#include "shell/commands.h"

#include "base/text.h"

namespace fw {

std::uint16_t VolumePercentFromArgument(const std::wstring& args) {
    const std::int32_t n = ParseInt32(args).value_or(10);
    // The product is a 32-bit integer: it wraps like the original arithmetic.
    const auto product =
        static_cast<std::int32_t>(static_cast<std::uint32_t>(n) * static_cast<std::uint32_t>(100));
    const std::int64_t percent = RoundHalfEven(static_cast<double>(product) / 20.0);
    return static_cast<std::uint16_t>(static_cast<std::uint64_t>(percent) & 0xFFFFu);
}

int MovieVolumeFromPercent(std::uint16_t percent) {
    return static_cast<int>(RoundHalfEven(static_cast<double>(percent) / 100.0 * 20.0));
}

CommandAction DecideCommand(const std::wstring& command, const std::wstring& args) {
    CommandAction a;
    const std::wstring cmd = AsciiLower(command);
    if (cmd == L"quit") {
        a.kind = CommandKind::Quit;
    } else if (cmd == L"minimize") {
        a.kind = CommandKind::Minimize;
    } else if (cmd == L"maximize") {
        a.kind = CommandKind::Maximize;
    } else if (cmd == L"normalize") {
        a.kind = CommandKind::Normalize;
    } else if (cmd == L"print") {
        a.kind = CommandKind::Print;
    } else if (cmd == L"setvolume") {
        a.kind = CommandKind::SetVolume;
        a.volumePercent = VolumePercentFromArgument(args);
    } else if (cmd == L"cursor") {
        a.kind = CommandKind::Cursor;
        const std::wstring c = AsciiLower(args);
        a.cursor = c == L"norm"   ? CursorChoice::Default
                   : c == L"wait" ? CursorChoice::HourGlass
                                  : CursorChoice::Unchanged;
    } else if (cmd == L"execute") {
        a.kind = CommandKind::Execute;
        a.document = AsciiLower(args).find(L".rtf") != std::wstring::npos;
        a.file = args;
    } else if (StartsWith(cmd, L"save")) {
        a.kind = CommandKind::Save;
        a.valueName = TrimControl(std::wstring_view(command).substr(4));
        a.deleteValue = AsciiLower(args) == L"nan";
        a.valueText = args;
    }
    return a;
}

std::wstring BuildFlashVars(const std::vector<std::pair<std::wstring, std::wstring>>& saved,
                            std::int32_t processorFreq, bool escIntro) {
    std::wstring text;
    for (const auto& [name, value] : saved) {
        if (name.empty()) {
            continue; // the default value is the installation's marker
        }
        text += name;
        text += L'=';
        text += value;
        text += L'&';
    }
    text += L"ProcessorFreq=" + DecimalText(processorFreq) + L"&";
    text += escIntro ? L"EscIntro=-1&" : L"EscIntro=0&";
    text.pop_back();
    return text;
}

int CentredOrigin(int screen, int size) {
    return (screen - size) / 2;
}

} // namespace fw
