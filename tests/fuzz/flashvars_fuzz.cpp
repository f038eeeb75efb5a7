// The movie's parameter text. Input: the first byte's lowest bit is the intro
// flag, the next four bytes (low first) the processor figure, and the rest
// saved values as lines "name|value" (raw '\n' ends a line, the first raw '|'
// ends the name). The text must list every named value in order, exactly as
// stored, and end with the two figures the movie reads last.

#include "base/text.h"
#include "shell/commands.h"

#include "fuzz_text.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 5) {
        return 0;
    }
    const bool escIntro = (data[0] & 1) != 0;
    const auto freq = static_cast<std::int32_t>(
        static_cast<std::uint32_t>(data[1]) | static_cast<std::uint32_t>(data[2]) << 8 |
        static_cast<std::uint32_t>(data[3]) << 16 | static_cast<std::uint32_t>(data[4]) << 24);
    std::vector<std::pair<std::wstring, std::wstring>> saved;
    std::size_t start = 5;
    for (std::size_t i = 5; i <= size; ++i) {
        if (i == size || data[i] == '\n') {
            auto parts = fwfuzz::Fields(data + start, i - start, '|');
            std::wstring value;
            for (std::size_t p = 1; p < parts.size(); ++p) {
                value += (p > 1 ? L"|" : L"") + parts[p];
            }
            if (i > start) {
                saved.emplace_back(parts.front(), value);
            }
            start = i + 1;
        }
    }

    const std::wstring text = fw::BuildFlashVars(saved, freq, escIntro);

    const std::wstring intro = escIntro ? L"EscIntro=-1" : L"EscIntro=0";
    FW_FUZZ_CHECK(text.size() >= intro.size() &&
                  text.compare(text.size() - intro.size(), intro.size(), intro) == 0);

    // "&ProcessorFreq=" and a number that reads back as the figure.
    const std::wstring key = L"ProcessorFreq=";
    const std::size_t at = text.size() - intro.size() - 1;
    FW_FUZZ_CHECK(text[at] == L'&');
    const std::size_t keyAt = text.rfind(key, at);
    FW_FUZZ_CHECK(keyAt != std::wstring::npos);
    FW_FUZZ_CHECK(fw::ParseInt32(std::wstring_view(text).substr(keyAt + key.size(),
                                                                at - keyAt - key.size())) == freq);

    // Before it, each named value as name=value& in the order given; the
    // unnamed default value (the installation's marker) never reaches the movie.
    std::size_t pos = 0;
    for (const auto& [name, value] : saved) {
        if (name.empty()) {
            continue;
        }
        const std::wstring entry = name + L"=" + value + L"&";
        FW_FUZZ_CHECK(text.compare(pos, entry.size(), entry) == 0);
        pos += entry.size();
    }
    FW_FUZZ_CHECK(pos == keyAt);
    return 0;
}
