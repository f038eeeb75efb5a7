#pragma once
// The audio mixer as the sound lines see it: records and calls shaped like the
// winmm mixer functions (ANSI forms), so that the walk over the devices can run
// against the system's mixer or against any set of devices a test describes.
// Only the fields the shell reads are given meaning; the others are carried so a
// record reads like its winmm original.

#include <cstdint>

namespace fw::mixer {

using MmResult = std::uint32_t;
inline constexpr MmResult kNoError = 0;         // MMSYSERR_NOERROR
inline constexpr MmResult kError = 1;           // MMSYSERR_ERROR
inline constexpr MmResult kBadDeviceId = 2;     // MMSYSERR_BADDEVICEID
inline constexpr MmResult kInvalHandle = 5;     // MMSYSERR_INVALHANDLE
inline constexpr MmResult kInvalParam = 11;     // MMSYSERR_INVALPARAM
inline constexpr MmResult kInvalLine = 1025;    // MIXERR_INVALLINE
inline constexpr MmResult kInvalControl = 1026; // MIXERR_INVALCONTROL

// An open mixer (HMIXER) and the window that receives its notifications (HWND),
// both opaque here.
using MixerHandle = std::uintptr_t;
using WindowHandle = std::uintptr_t;

// How mixerGetLineInfo finds a line.
inline constexpr std::uint32_t kGetLineInfoDestination = 0;   // MIXER_GETLINEINFOF_DESTINATION
inline constexpr std::uint32_t kGetLineInfoSource = 1;        // MIXER_GETLINEINFOF_SOURCE
inline constexpr std::uint32_t kGetLineInfoComponentType = 3; // MIXER_GETLINEINFOF_COMPONENTTYPE
// How mixerGetLineControls lists a line's controls.
inline constexpr std::uint32_t kGetLineControlsAll = 0; // MIXER_GETLINECONTROLSF_ALL
// How control details are read and written.
inline constexpr std::uint32_t kControlDetailsValue = 0; // MIXER_{GET,SET}CONTROLDETAILSF_VALUE

// Line component types.
inline constexpr std::uint32_t kDstWaveIn = 7;           // MIXERLINE_COMPONENTTYPE_DST_WAVEIN
inline constexpr std::uint32_t kDstSpeakers = 4;         // MIXERLINE_COMPONENTTYPE_DST_SPEAKERS
inline constexpr std::uint32_t kSrcMicrophone = 0x1003;  // MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE
inline constexpr std::uint32_t kSrcCompactDisc = 0x1005; // MIXERLINE_COMPONENTTYPE_SRC_COMPACTDISC
inline constexpr std::uint32_t kSrcWaveOut = 0x1008;     // MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT
inline constexpr std::uint32_t kSrcAuxiliary = 0x1009;   // MIXERLINE_COMPONENTTYPE_SRC_AUXILIARY

// Control types.
inline constexpr std::uint32_t kControlMute = 0x20010002u;   // MIXERCONTROL_CONTROLTYPE_MUTE
inline constexpr std::uint32_t kControlVolume = 0x50030001u; // MIXERCONTROL_CONTROLTYPE_VOLUME
inline constexpr std::uint32_t kControlPeakMeter =
    0x10020001u; // MIXERCONTROL_CONTROLTYPE_PEAKMETER

// MIXERCAPSA.
struct MixerCaps {
    std::uint16_t wMid = 0;
    std::uint16_t wPid = 0;
    std::uint32_t vDriverVersion = 0;
    char szPname[32] = {};
    std::uint32_t fdwSupport = 0;
    std::uint32_t cDestinations = 0;
};

// MIXERLINEA.
struct MixerLine {
    std::uint32_t cbStruct = 0;
    std::uint32_t dwDestination = 0;
    std::uint32_t dwSource = 0;
    std::uint32_t dwLineID = 0;
    std::uint32_t fdwLine = 0;
    std::uintptr_t dwUser = 0;
    std::uint32_t dwComponentType = 0;
    std::uint32_t cChannels = 0;
    std::uint32_t cConnections = 0;
    std::uint32_t cControls = 0;
    char szShortName[16] = {};
    char szName[64] = {};
    struct {
        std::uint32_t dwType = 0;
        std::uint32_t dwDeviceID = 0;
        std::uint16_t wMid = 0;
        std::uint16_t wPid = 0;
        std::uint32_t vDriverVersion = 0;
        char szPname[32] = {};
    } Target;
};

// MIXERCONTROLA: Bounds as the unsigned pair, Metrics as the number of steps.
struct MixerControl {
    std::uint32_t cbStruct = 0;
    std::uint32_t dwControlID = 0;
    std::uint32_t dwControlType = 0;
    std::uint32_t fdwControl = 0;
    std::uint32_t cMultipleItems = 0;
    char szShortName[16] = {};
    char szName[64] = {};
    struct {
        std::uint32_t dwMinimum = 0;
        std::uint32_t dwMaximum = 0;
        std::uint32_t dwReserved[4] = {};
    } Bounds;
    struct {
        std::uint32_t cSteps = 0;
        std::uint32_t dwReserved[5] = {};
    } Metrics;
};

// MIXERLINECONTROLSA for MIXER_GETLINECONTROLSF_ALL.
struct MixerLineControls {
    std::uint32_t cbStruct = 0;
    std::uint32_t dwLineID = 0;
    std::uint32_t dwControlID = 0;
    std::uint32_t cControls = 0;
    std::uint32_t cbmxctrl = 0;
    MixerControl* pamxctrl = nullptr;
};

// MIXERCONTROLDETAILS with one value of four bytes for all channels.
struct MixerControlDetails {
    std::uint32_t cbStruct = 0;
    std::uint32_t dwControlID = 0;
    std::uint32_t cChannels = 0;
    std::uint32_t cMultipleItems = 0;
    std::uint32_t cbDetails = 0;
    void* paDetails = nullptr;
};

// The winmm mixer calls. A mixer is named by its device index (MIXER_OBJECTF_MIXER);
// every call answers an MMRESULT.
class MixerPort {
public:
    virtual ~MixerPort() = default;
    virtual std::uint32_t GetNumDevs() = 0;
    virtual MmResult GetDevCaps(std::uint32_t mixerId, MixerCaps& caps) = 0;
    // Opens with CALLBACK_WINDOW: the window is told of every control change.
    virtual MmResult Open(MixerHandle& handle, std::uint32_t mixerId, WindowHandle window) = 0;
    virtual MmResult GetLineInfo(std::uint32_t mixerId, MixerLine& line, std::uint32_t flags) = 0;
    virtual MmResult GetLineControls(std::uint32_t mixerId, MixerLineControls& controls,
                                     std::uint32_t flags) = 0;
    virtual MmResult GetControlDetails(std::uint32_t mixerId, MixerControlDetails& details,
                                       std::uint32_t flags) = 0;
    virtual MmResult SetControlDetails(std::uint32_t mixerId, MixerControlDetails& details,
                                       std::uint32_t flags) = 0;
    virtual MmResult Close(MixerHandle handle) = 0;
};

} // namespace fw::mixer
