#include "sound/win_mixer.h"

#include "sound/SndControls.h"

#include <windows.h>
#include <mmsystem.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace fw {

using namespace fw::mixer;

static_assert(sizeof(MIXERLINEA) == kMixerLineSize || sizeof(void*) != 4);
static_assert(sizeof(MIXERCONTROLA) == kMixerControlSize);
static_assert(sizeof(MIXERLINECONTROLSA) == kMixerLineControlsSize || sizeof(void*) != 4);
static_assert(sizeof(MIXERCONTROLDETAILS) == kMixerControlDetailsSize || sizeof(void*) != 4);
static_assert(MIXERCONTROL_CONTROLTYPE_MUTE == kControlMute);
static_assert(MIXERCONTROL_CONTROLTYPE_VOLUME == kControlVolume);
static_assert(MIXERCONTROL_CONTROLTYPE_PEAKMETER == kControlPeakMeter);
static_assert(MIXERLINE_COMPONENTTYPE_DST_WAVEIN == kDstWaveIn);
static_assert(MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT == kSrcWaveOut);
static_assert(MIXERLINE_COMPONENTTYPE_SRC_COMPACTDISC == kSrcCompactDisc);
static_assert(MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE == kSrcMicrophone);
static_assert(MIXERLINE_COMPONENTTYPE_SRC_AUXILIARY == kSrcAuxiliary);
static_assert(MIXER_GETLINEINFOF_SOURCE == kGetLineInfoSource);
static_assert(MIXER_GETLINEINFOF_COMPONENTTYPE == kGetLineInfoComponentType);

namespace {

template <std::size_t N, std::size_t M> void CopyText(char (&to)[N], const char (&from)[M]) {
    static_assert(N == M);
    std::memcpy(to, from, N);
    to[N - 1] = '\0';
}

HMIXEROBJ Device(std::uint32_t mixerId) {
    return reinterpret_cast<HMIXEROBJ>(static_cast<UINT_PTR>(mixerId));
}

MIXERLINEA ToWin(const MixerLine& l) {
    MIXERLINEA w{};
    w.cbStruct = sizeof(w);
    w.dwDestination = l.dwDestination;
    w.dwSource = l.dwSource;
    w.dwLineID = l.dwLineID;
    w.dwComponentType = l.dwComponentType;
    return w;
}

void FromWin(const MIXERLINEA& w, MixerLine& l) {
    l.dwDestination = w.dwDestination;
    l.dwSource = w.dwSource;
    l.dwLineID = w.dwLineID;
    l.fdwLine = w.fdwLine;
    l.dwUser = w.dwUser;
    l.dwComponentType = w.dwComponentType;
    l.cChannels = w.cChannels;
    l.cConnections = w.cConnections;
    l.cControls = w.cControls;
    CopyText(l.szShortName, w.szShortName);
    CopyText(l.szName, w.szName);
    l.Target.dwType = w.Target.dwType;
    l.Target.dwDeviceID = w.Target.dwDeviceID;
    l.Target.wMid = w.Target.wMid;
    l.Target.wPid = w.Target.wPid;
    l.Target.vDriverVersion = w.Target.vDriverVersion;
    CopyText(l.Target.szPname, w.Target.szPname);
}

void FromWin(const MIXERCONTROLA& w, MixerControl& c) {
    c.cbStruct = kMixerControlSize;
    c.dwControlID = w.dwControlID;
    c.dwControlType = w.dwControlType;
    c.fdwControl = w.fdwControl;
    c.cMultipleItems = w.cMultipleItems;
    CopyText(c.szShortName, w.szShortName);
    CopyText(c.szName, w.szName);
    c.Bounds.dwMinimum = w.Bounds.dwMinimum;
    c.Bounds.dwMaximum = w.Bounds.dwMaximum;
    c.Metrics.cSteps = w.Metrics.cSteps;
}

// The one value of a details record travels in a buffer of its own, so winmm
// never writes past the four bytes the caller offered.
MmResult Details(std::uint32_t mixerId, MixerControlDetails& d, std::uint32_t flags, bool set) {
    if (flags != kControlDetailsValue || d.cChannels != 1 || d.cMultipleItems != 0 ||
        d.cbDetails != 4 || !d.paDetails) {
        return MMSYSERR_INVALPARAM;
    }
    DWORD value = 0;
    std::memcpy(&value, d.paDetails, 4);
    MIXERCONTROLDETAILS w{};
    w.cbStruct = sizeof(w);
    w.dwControlID = d.dwControlID;
    w.cChannels = 1;
    w.cMultipleItems = 0;
    w.cbDetails = sizeof(value);
    w.paDetails = &value;
    if (set) {
        return mixerSetControlDetails(Device(mixerId), &w,
                                      MIXER_OBJECTF_MIXER | MIXER_SETCONTROLDETAILSF_VALUE);
    }
    const MMRESULT r = mixerGetControlDetailsA(
        Device(mixerId), &w, MIXER_OBJECTF_MIXER | MIXER_GETCONTROLDETAILSF_VALUE);
    if (r == MMSYSERR_NOERROR) {
        std::memcpy(d.paDetails, &value, 4);
    }
    return r;
}

} // namespace

std::uint32_t WinMixerPort::GetNumDevs() {
    return mixerGetNumDevs();
}

MmResult WinMixerPort::GetDevCaps(std::uint32_t mixerId, MixerCaps& caps) {
    MIXERCAPSA w{};
    const MMRESULT r = mixerGetDevCapsA(mixerId, &w, sizeof(w));
    if (r != MMSYSERR_NOERROR) {
        return r;
    }
    caps.wMid = w.wMid;
    caps.wPid = w.wPid;
    caps.vDriverVersion = w.vDriverVersion;
    CopyText(caps.szPname, w.szPname);
    caps.fdwSupport = w.fdwSupport;
    caps.cDestinations = w.cDestinations;
    return r;
}

MmResult WinMixerPort::Open(MixerHandle& handle, std::uint32_t mixerId, WindowHandle window) {
    HMIXER h = nullptr;
    const MMRESULT r = mixerOpen(&h, mixerId, static_cast<DWORD_PTR>(window),
                                 reinterpret_cast<DWORD_PTR>(GetModuleHandleW(nullptr)),
                                 (window ? CALLBACK_WINDOW : 0) | MIXER_OBJECTF_MIXER);
    handle = reinterpret_cast<MixerHandle>(h);
    return r;
}

MmResult WinMixerPort::GetLineInfo(std::uint32_t mixerId, MixerLine& line, std::uint32_t flags) {
    MIXERLINEA w = ToWin(line);
    const MMRESULT r = mixerGetLineInfoA(Device(mixerId), &w, MIXER_OBJECTF_MIXER | flags);
    if (r == MMSYSERR_NOERROR) {
        FromWin(w, line);
    }
    return r;
}

MmResult WinMixerPort::GetLineControls(std::uint32_t mixerId, MixerLineControls& controls,
                                       std::uint32_t flags) {
    if (!controls.pamxctrl || controls.cControls == 0 || controls.cControls > kMaxMixerItems) {
        return MMSYSERR_INVALPARAM;
    }
    std::vector<MIXERCONTROLA> buffer(controls.cControls);
    MIXERLINECONTROLSA w{};
    w.cbStruct = sizeof(w);
    w.dwLineID = controls.dwLineID;
    w.dwControlID = controls.dwControlID;
    w.cControls = controls.cControls;
    w.cbmxctrl = sizeof(MIXERCONTROLA);
    w.pamxctrl = buffer.data();
    const MMRESULT r = mixerGetLineControlsA(Device(mixerId), &w, MIXER_OBJECTF_MIXER | flags);
    if (r == MMSYSERR_NOERROR) {
        for (std::size_t k = 0; k < buffer.size(); ++k) {
            FromWin(buffer[k], controls.pamxctrl[k]);
        }
    }
    return r;
}

MmResult WinMixerPort::GetControlDetails(std::uint32_t mixerId, MixerControlDetails& details,
                                         std::uint32_t flags) {
    return Details(mixerId, details, flags, false);
}

MmResult WinMixerPort::SetControlDetails(std::uint32_t mixerId, MixerControlDetails& details,
                                         std::uint32_t flags) {
    return Details(mixerId, details, flags, true);
}

MmResult WinMixerPort::Close(MixerHandle handle) {
    return mixerClose(reinterpret_cast<HMIXER>(handle));
}

} // namespace fw
