#pragma once
// The control's call trace for tests (format in fire_protocol.h).

#include <initializer_list>
#include <string_view>

namespace fw::player {

// Appends one line of tab-separated fields to the file named by FENWOBBLE_PLAYER_TRACE;
// does nothing when the variable is unset. Failures to write are ignored: the trace must
// never disturb the container.
void TraceLine(std::initializer_list<std::wstring_view> fields);

} // namespace fw::player
