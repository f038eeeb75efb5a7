#include "trace.h"

#include "fire_protocol.h"
#include "text.h"

#include <string>

namespace fw::player {
namespace {

std::string Escape(std::string_view s) {
    std::string out;
    for (char c : s) {
        switch (c) {
        case '%':
            out += "%25";
            break;
        case '\t':
            out += "%09";
            break;
        case '\r':
            out += "%0D";
            break;
        case '\n':
            out += "%0A";
            break;
        default:
            out += c;
        }
    }
    return out;
}

} // namespace

void TraceLine(std::initializer_list<std::wstring_view> fields) {
    wchar_t path[MAX_PATH * 2];
    DWORD n = ::GetEnvironmentVariableW(kTraceVariable, path, MAX_PATH * 2);
    if (n == 0 || n >= MAX_PATH * 2) {
        return;
    }
    std::string line;
    bool first = true;
    for (auto f : fields) {
        if (!first) {
            line += '\t';
        }
        first = false;
        line += Escape(ToUtf8(f));
    }
    line += "\r\n";
    // Opened for each line, so another process may read the file while the control runs.
    HANDLE file = ::CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return;
    }
    DWORD written = 0;
    ::WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    ::CloseHandle(file);
}

} // namespace fw::player
