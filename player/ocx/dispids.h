#pragma once
// The control's identity and dispatch ids. The shell relies on the first group only; the
// rest serve demos and tests.

#include <windows.h>
#include <ole2.h>

namespace fw::player {

// {D27CDB6E-AE6D-11CF-96B8-444553540000}
inline constexpr CLSID kPlayerClsid = {
    0xD27CDB6E, 0xAE6D, 0x11CF, {0x96, 0xB8, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
// {D27CDB6C-AE6D-11CF-96B8-444553540000}: the dispatch interface
inline constexpr IID kPlayerDispatchIid = {
    0xD27CDB6C, 0xAE6D, 0x11CF, {0x96, 0xB8, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
// {D27CDB6D-AE6D-11CF-96B8-444553540000}: the event interface
inline constexpr IID kPlayerEventsIid = {
    0xD27CDB6D, 0xAE6D, 0x11CF, {0x96, 0xB8, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};

inline constexpr wchar_t kProgId[] = L"ShockwaveFlash.ShockwaveFlash";

enum PlayerDispId : DISPID {
    kDispMovie = 102,
    kDispScaleMode = 120,
    kDispWMode = 133,
    kDispSetVariable = 151,
    kDispGetVariable = 152,
    kDispFlashVars = 170,
    // Ours:
    kDispPlay = 112,
    kDispStop = 113,
    kDispTotalFrames = 124,
    kDispPlaying = 125,
    kDispCurrentFrame = 128, // 0-based
    kDispReadyState = -525,  // 4 once created: the movie is read at once
    // Event:
    kDispFsCommand = 150,
};

} // namespace fw::player
