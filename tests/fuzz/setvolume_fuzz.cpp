// The "setvolume" number reader: any text either reads as the number a
// careful reader finds in it or as no number, in narrow and wide form alike,
// and the volume taken from it depends on that number only.

#include "base/text.h"
#include "shell/commands.h"

#include "fuzz_text.h"

#include <cstdint>
#include <optional>
#include <string>

namespace {

// A second reader built another way: strip the prefix, drop leading zeros and
// judge overflow by the number of digits before computing anything.
std::optional<std::int32_t> Reference(const std::wstring& s) {
    std::size_t i = s.find_first_not_of(L' ');
    if (i == std::wstring::npos) {
        return std::nullopt;
    }
    bool negative = false;
    if (s[i] == L'+' || s[i] == L'-') {
        negative = s[i] == L'-';
        ++i;
    }
    bool hex = false;
    if (s.compare(i, 1, L"$") == 0) {
        hex = true;
        i += 1;
    } else if (s.compare(i, 2, L"0x") == 0 || s.compare(i, 2, L"0X") == 0) {
        hex = true;
        i += 2;
    }
    const std::wstring digits = s.substr(i);
    const std::wstring allowed = hex ? L"0123456789abcdefABCDEF" : L"0123456789";
    if (digits.empty() || digits.find_first_not_of(allowed) != std::wstring::npos) {
        return std::nullopt;
    }
    const std::size_t first = digits.find_first_not_of(L'0');
    const std::wstring significant = first == std::wstring::npos ? L"" : digits.substr(first);
    if (significant.size() > (hex ? 8u : 10u)) {
        return std::nullopt;
    }
    const std::uint64_t magnitude =
        significant.empty() ? 0 : std::stoull(significant, nullptr, hex ? 16 : 10);
    if (hex) {
        const auto bits = static_cast<std::uint32_t>(magnitude);
        return static_cast<std::int32_t>(negative ? 0u - bits : bits);
    }
    if (magnitude > (negative ? 2147483648ull : 2147483647ull)) {
        return std::nullopt;
    }
    const std::int64_t v =
        negative ? -static_cast<std::int64_t>(magnitude) : static_cast<std::int64_t>(magnitude);
    return static_cast<std::int32_t>(v);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::wstring text = fwfuzz::Fields(data, size).front();
    const std::optional<std::int32_t> n = fw::ParseInt32(text);
    FW_FUZZ_CHECK(n == Reference(text));

    // The narrow reader agrees wherever the text fits in bytes; bytes above
    // 127 are letters of the code page, never digits.
    bool narrowable = true;
    std::string narrow;
    for (wchar_t c : text) {
        narrowable = narrowable && static_cast<std::uint32_t>(c) < 256;
        narrow += static_cast<char>(c);
    }
    if (narrowable) {
        FW_FUZZ_CHECK(fw::ParseInt32(narrow) == n);
    }

    // What was read writes back and reads again as the same number.
    if (n) {
        FW_FUZZ_CHECK(fw::ParseInt32(std::to_wstring(*n)) == n);
    }

    const std::uint16_t percent = fw::VolumePercentFromArgument(text);
    // Anything that is no number is the middle of the scale.
    const std::int32_t value = n.value_or(10);
    FW_FUZZ_CHECK(percent == fw::VolumePercentFromArgument(std::to_wstring(value)));
    // Without 32-bit wrap-around the percentage is exactly five per step.
    if (value >= -21474836 && value <= 21474836) {
        FW_FUZZ_CHECK(percent ==
                      static_cast<std::uint16_t>(static_cast<std::uint32_t>(value) * 5u));
    }
    if (value >= 0 && value <= 20) {
        FW_FUZZ_CHECK(percent == 5 * value);
        FW_FUZZ_CHECK(fw::MovieVolumeFromPercent(percent) == value);
    }
    const int back = fw::MovieVolumeFromPercent(percent);
    FW_FUZZ_CHECK(back >= 0 && back <= 13107);
    return 0;
}
