#include "sound/SndControls.h"

#include <algorithm>
#include <limits>
#include <span>

namespace fw {

using namespace fw::mixer;

TSndControl::TSndControl(MixerPort& port) : port_(port) {}

void TSndControl::PrepareDetails(MixerControlDetails& details, std::uint32_t controlId,
                                 void* value) {
    details.cbStruct = kMixerControlDetailsSize;
    details.dwControlID = controlId;
    details.cChannels = 1; // one value stands for all channels
    details.cMultipleItems = 0;
    details.cbDetails = 4;
    details.paDetails = value;
}

void TSndControl::AssignMute(const MixerControl& control, std::uint32_t mixerId) {
    muteControl_ = control;
    PrepareDetails(muteDetails_, control.dwControlID, &muteValue_);
    muteMixerId_ = mixerId;
    hasMute_ = true;
}

void TSndControl::AssignVolume(const MixerControl& control, std::uint32_t mixerId) {
    volumeControl_ = control;
    PrepareDetails(volumeDetails_, control.dwControlID, &volumeValue_);
    volumeMixerId_ = mixerId;
    hasVolume_ = true;
}

void TSndControl::AssignPeak(const MixerControl& control, std::uint32_t mixerId) {
    peakControl_ = control;
    PrepareDetails(peakDetails_, control.dwControlID, &peakValue_);
    peakMixerId_ = mixerId;
    hasPeak_ = true;
}

void TSndControl::SetSoundOn(bool on) {
    if (!hasMute_) {
        return;
    }
    muteValue_ = on ? 0 : 1;
    // A failed write leaves the mixer as it was; there is nobody to tell.
    port_.SetControlDetails(muteMixerId_, muteDetails_, kControlDetailsValue);
}

std::optional<bool> TSndControl::ReadSoundOn() {
    if (!hasMute_ ||
        port_.GetControlDetails(muteMixerId_, muteDetails_, kControlDetailsValue) != kNoError) {
        return std::nullopt;
    }
    return muteValue_ == 0;
}

bool TSndControl::IsSoundOn() {
    return ReadSoundOn().value_or(false);
}

void TSndControl::SetVolume(std::uint32_t value) {
    if (!hasVolume_) {
        return;
    }
    if (value < volumeControl_.Bounds.dwMinimum) {
        value = volumeControl_.Bounds.dwMinimum;
    }
    if (value > volumeControl_.Bounds.dwMaximum) {
        value = volumeControl_.Bounds.dwMaximum;
    }
    volumeValue_ = value;
    port_.SetControlDetails(volumeMixerId_, volumeDetails_, kControlDetailsValue);
}

std::optional<std::uint32_t> TSndControl::ReadVolume() {
    if (!hasVolume_ ||
        port_.GetControlDetails(volumeMixerId_, volumeDetails_, kControlDetailsValue) != kNoError) {
        return std::nullopt;
    }
    return volumeValue_;
}

std::uint32_t TSndControl::GetVolume() {
    return ReadVolume().value_or(0);
}

std::int32_t TSndControl::GetPeak() {
    if (!hasPeak_ ||
        port_.GetControlDetails(peakMixerId_, peakDetails_, kControlDetailsValue) != kNoError) {
        return 0;
    }
    // The most negative reading has no positive twin; the meter is simply full.
    if (peakValue_ == std::numeric_limits<std::int32_t>::min()) {
        return std::numeric_limits<std::int32_t>::max();
    }
    return peakValue_ < 0 ? -peakValue_ : peakValue_;
}

namespace {

// Assigns every mute switch, volume fader and peak meter of a list, in the
// mixer's order, so that a later one replaces an earlier one.
void AssignAll(TSndControl& target, std::span<const MixerControl> controls, std::uint32_t mixerId) {
    for (const MixerControl& c : controls) {
        switch (c.dwControlType) {
        case kControlMute:
            target.AssignMute(c, mixerId);
            break;
        case kControlVolume:
            target.AssignVolume(c, mixerId);
            break;
        case kControlPeakMeter:
            target.AssignPeak(c, mixerId);
            break;
        default:
            break;
        }
    }
}

bool Believable(std::uint32_t count) {
    return count > 0 && count <= kMaxMixerItems;
}

} // namespace

SndControls::SndControls(MixerPort& port) : port_(port) {}

SndControls::~SndControls() {
    CloseMixer();
}

void SndControls::OpenMixer(WindowHandle window) {
    CloseMixer();
    for (auto& line : lines_) {
        line = std::make_unique<TSndControl>(port_);
    }
    const std::uint32_t devices = port_.GetNumDevs();
    if (devices > kMaxMixerItems) {
        return;
    }
    for (std::uint32_t i = 0; i < devices; ++i) {
        WalkDevice(i, window);
    }
}

void SndControls::CloseMixer() {
    for (MixerHandle h : handles_) {
        port_.Close(h);
    }
    handles_.clear();
    for (auto& line : lines_) {
        line.reset();
    }
    mixerId_ = 0;
}

void SndControls::WalkDevice(std::uint32_t mixerId, WindowHandle window) {
    MixerCaps caps{};
    // Without its capabilities a device's lines cannot be counted; it is left alone.
    if (port_.GetDevCaps(mixerId, caps) != kNoError) {
        return;
    }
    MixerHandle handle = 0;
    if (port_.Open(handle, mixerId, window) != kNoError || handle == 0) {
        return;
    }
    handles_.push_back(handle);
    if (caps.cDestinations == 0 || caps.cDestinations > kMaxMixerItems) {
        return;
    }
    WalkPlayback(mixerId, caps.cDestinations);
    WalkRecording(mixerId);
}

void SndControls::WalkPlayback(std::uint32_t mixerId, std::uint32_t destinations) {
    TSndControl& general = *lines_[static_cast<std::size_t>(SoundLine::General)];
    TSndControl& wave = *lines_[static_cast<std::size_t>(SoundLine::Wave)];
    for (std::uint32_t d = 0; d < destinations; ++d) {
        MixerLine dest{};
        dest.cbStruct = kMixerLineSize;
        dest.dwDestination = d;
        dest.dwSource = 0;
        if (port_.GetLineInfo(mixerId, dest, kGetLineInfoDestination) != kNoError ||
            !Believable(dest.cConnections)) {
            continue;
        }
        // The master controls are those of the first destination that has them;
        // a destination never lends General its meter.
        if (auto controls = FetchControls(mixerId, dest)) {
            for (const MixerControl& c : *controls) {
                if (c.dwControlType == kControlMute && !general.HasMute()) {
                    mixerId_ = mixerId;
                    general.AssignMute(c, mixerId);
                } else if (c.dwControlType == kControlVolume && !general.HasVolume()) {
                    general.AssignVolume(c, mixerId);
                }
            }
        }
        for (std::uint32_t s = 0; s < dest.cConnections; ++s) {
            auto source = ReadSource(mixerId, d, s);
            if (!source) {
                continue;
            }
            if (source->dwComponentType != kSrcWaveOut) {
                continue;
            }
            if (auto controls = FetchControls(mixerId, *source)) {
                AssignAll(wave, *controls, mixerId);
            }
        }
    }
}

void SndControls::WalkRecording(std::uint32_t mixerId) {
    TSndControl& cd = *lines_[static_cast<std::size_t>(SoundLine::CD)];
    TSndControl& mic = *lines_[static_cast<std::size_t>(SoundLine::Mic)];
    MixerLine rec{};
    rec.cbStruct = kMixerLineSize;
    rec.dwComponentType = kDstWaveIn;
    if (port_.GetLineInfo(mixerId, rec, kGetLineInfoComponentType) != kNoError ||
        !Believable(rec.cConnections)) {
        return;
    }
    auto walk = [&](auto targetOf) {
        for (std::uint32_t s = 0; s < rec.cConnections; ++s) {
            auto source = ReadSource(mixerId, rec.dwDestination, s);
            if (!source) {
                continue;
            }
            TSndControl* target = targetOf(source->dwComponentType);
            if (!target) {
                continue;
            }
            if (auto controls = FetchControls(mixerId, *source)) {
                AssignAll(*target, *controls, mixerId);
            }
        }
    };
    walk([&](std::uint32_t type) -> TSndControl* {
        if (type == kSrcMicrophone) {
            return &mic;
        }
        if (type == kSrcCompactDisc) {
            return &cd;
        }
        return nullptr;
    });
    // Many cards wire the CD player to an auxiliary input instead.
    if (!cd.HasVolume()) {
        walk([&](std::uint32_t type) -> TSndControl* {
            return type == kSrcAuxiliary ? &cd : nullptr;
        });
    }
}

std::optional<MixerLine> SndControls::ReadSource(std::uint32_t mixerId, std::uint32_t destination,
                                                 std::uint32_t source) {
    MixerLine line{};
    line.cbStruct = kMixerLineSize;
    line.dwDestination = destination;
    line.dwSource = source;
    if (port_.GetLineInfo(mixerId, line, kGetLineInfoSource) != kNoError) {
        return std::nullopt;
    }
    return line;
}

std::optional<std::vector<MixerControl>> SndControls::FetchControls(std::uint32_t mixerId,
                                                                    const MixerLine& line) {
    if (line.cControls == 0) {
        return std::vector<MixerControl>{};
    }
    if (line.cControls > kMaxMixerItems) {
        return std::nullopt;
    }
    // Room for exactly as many entries as the line reports: the mixer fills them all.
    std::vector<MixerControl> controls(line.cControls);
    MixerLineControls request{};
    request.cbStruct = kMixerLineControlsSize;
    request.dwLineID = line.dwLineID;
    request.cControls = line.cControls;
    request.cbmxctrl = kMixerControlSize;
    request.pamxctrl = controls.data();
    if (port_.GetLineControls(mixerId, request, kGetLineControlsAll) != kNoError) {
        return std::nullopt;
    }
    return controls;
}

} // namespace fw
