#pragma once
// What the movie's commands ask of the shell, decided without touching the
// platform: the main window carries out the returned action.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace fw {

enum class CommandKind {
    None, // unrecognised: nothing happens
    Quit,
    Minimize,
    Maximize,
    Normalize,
    Print,
    SetVolume,
    Cursor,
    Execute,
    Save,
};

enum class CursorChoice { Unchanged, Default, HourGlass };

struct CommandAction {
    CommandKind kind = CommandKind::None;
    std::uint16_t volumePercent = 0; // SetVolume: low 16 bits of the percentage
    CursorChoice cursor = CursorChoice::Unchanged;
    bool document = false;    // Execute: shown in the document viewer
    std::wstring file;        // Execute: path relative to the data folder, as received
    std::wstring valueName;   // Save: the registry value name (empty: the default value)
    bool deleteValue = false; // Save: "nan" forgets the value
    std::wstring valueText;   // Save: the text to keep
};

CommandAction DecideCommand(const std::wstring& command, const std::wstring& args);

// The movie's 0..20 volume scale turned into the percentage handed to the
// sound window, as the low 16 bits of round(n * 100 / 20).
std::uint16_t VolumePercentFromArgument(const std::wstring& args);

// The percentage reported back to the movie on its 0..20 scale.
int MovieVolumeFromPercent(std::uint16_t percent);

// The movie's parameter text: every saved value as name=value, then the
// processor figure and the intro flag, joined by '&'. Names and values are
// passed exactly as stored.
std::wstring BuildFlashVars(const std::vector<std::pair<std::wstring, std::wstring>>& saved,
                            std::int32_t processorFreq, bool escIntro);

// The two parts of the document viewer's place on a screen: left or top of a
// box of the given size centred with truncating division.
int CentredOrigin(int screen, int size);

} // namespace fw
