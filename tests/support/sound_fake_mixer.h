#pragma once
// A mixer described by the test: devices with destination lines, their source
// lines and controls, answering the mixer calls the way winmm does (including
// refusing malformed records), and recording every open, close and write.

#include "sound/mixer_port.h"
#include "sound/SndControls.h"

#include <cstdint>
#include <cstring>
#include <optional>
#include <utility>
#include <vector>

namespace fw::test {

using namespace fw::mixer;

struct FakeControl {
    std::uint32_t type = kControlVolume;
    std::uint32_t min = 0;
    std::uint32_t max = 65535;
    std::uint32_t steps = 65535;
    std::uint32_t value = 0; // the four bytes of the value, signed or not
    bool readFails = false;
};

inline FakeControl Mute(std::uint32_t value = 0) {
    return {kControlMute, 0, 1, 0, value, false};
}
inline FakeControl Volume(std::uint32_t min = 0, std::uint32_t max = 65535,
                          std::uint32_t steps = 65535, std::uint32_t value = 0) {
    return {kControlVolume, min, max, steps, value, false};
}
inline FakeControl Peak(std::int32_t value = 0) {
    return {kControlPeakMeter,
            static_cast<std::uint32_t>(-32768),
            32767,
            0,
            static_cast<std::uint32_t>(value),
            false};
}
inline FakeControl Other() {
    return {0x50030004u /* bass */, 0, 65535, 100, 0, false};
}

struct FakeLine {
    FakeLine(std::uint32_t t = 0, std::vector<FakeControl> c = {}, std::vector<FakeLine> s = {})
        : type(t), controls(std::move(c)), sources(std::move(s)) {}
    std::uint32_t type = 0;
    std::vector<FakeControl> controls;
    std::vector<FakeLine> sources; // destinations only
    bool infoFails = false;
    bool controlsFail = false;
    std::optional<std::uint32_t> claimedConnections; // what the line says it has
};

struct FakeDevice {
    FakeDevice(std::vector<FakeLine> d = {}) : destinations(std::move(d)) {}
    std::vector<FakeLine> destinations;
    bool capsFail = false;
    bool openFails = false;
    std::optional<std::uint32_t> claimedDestinations;
};

class FakeMixer : public MixerPort {
public:
    struct Write {
        std::uint32_t mixerId;
        std::uint32_t controlId;
        std::uint32_t value;
        bool operator==(const Write&) const = default;
    };
    struct Opened {
        MixerHandle handle;
        std::uint32_t mixerId;
        WindowHandle window;
    };

    std::vector<FakeDevice> devices;
    std::vector<Write> writes;
    std::vector<Opened> opened;
    std::vector<MixerHandle> closed;
    std::uint32_t calls = 0;

    // Control ids number a control by its line and place, so two devices may use
    // the same ids, as real ones do.
    static std::uint32_t LineId(std::uint32_t d, std::optional<std::uint32_t> s) {
        return (d << 16) | ((s ? *s + 1 : 0) << 8);
    }
    static std::uint32_t ControlId(std::uint32_t d, std::optional<std::uint32_t> s,
                                   std::uint32_t k) {
        return LineId(d, s) | (k + 1);
    }

    FakeControl* Find(std::uint32_t mixerId, std::uint32_t controlId) {
        FakeLine* line = FindLine(mixerId, controlId & ~0xFFu);
        std::uint32_t k = controlId & 0xFFu;
        if (!line || k == 0 || k > line->controls.size()) {
            return nullptr;
        }
        return &line->controls[k - 1];
    }
    FakeControl& At(std::uint32_t mixerId, std::uint32_t controlId) {
        return *Find(mixerId, controlId);
    }

    std::uint32_t GetNumDevs() override {
        ++calls;
        return static_cast<std::uint32_t>(devices.size());
    }

    MmResult GetDevCaps(std::uint32_t mixerId, MixerCaps& caps) override {
        ++calls;
        if (mixerId >= devices.size()) {
            return kBadDeviceId;
        }
        const FakeDevice& dev = devices[mixerId];
        if (dev.capsFail) {
            return kError;
        }
        caps.cDestinations =
            dev.claimedDestinations.value_or(static_cast<std::uint32_t>(dev.destinations.size()));
        return kNoError;
    }

    MmResult Open(MixerHandle& handle, std::uint32_t mixerId, WindowHandle window) override {
        ++calls;
        if (mixerId >= devices.size()) {
            return kBadDeviceId;
        }
        if (devices[mixerId].openFails) {
            return kError;
        }
        handle = nextHandle_++;
        opened.push_back({handle, mixerId, window});
        return kNoError;
    }

    MmResult GetLineInfo(std::uint32_t mixerId, MixerLine& line, std::uint32_t flags) override {
        ++calls;
        if (mixerId >= devices.size()) {
            return kBadDeviceId;
        }
        if (line.cbStruct != kMixerLineSize) {
            return kInvalParam;
        }
        FakeDevice& dev = devices[mixerId];
        std::uint32_t d = 0;
        std::optional<std::uint32_t> s;
        switch (flags) {
        case kGetLineInfoDestination:
            d = line.dwDestination;
            break;
        case kGetLineInfoSource:
            d = line.dwDestination;
            s = line.dwSource;
            break;
        case kGetLineInfoComponentType: {
            bool found = false;
            for (std::uint32_t i = 0; i < dev.destinations.size() && !found; ++i) {
                if (dev.destinations[i].type == line.dwComponentType) {
                    d = i;
                    found = true;
                }
            }
            if (!found) {
                return kInvalLine;
            }
            break;
        }
        default:
            return kInvalParam;
        }
        if (d >= dev.destinations.size()) {
            return kInvalLine;
        }
        FakeLine* l = &dev.destinations[d];
        if (s) {
            if (*s >= l->sources.size()) {
                return kInvalLine;
            }
            l = &l->sources[*s];
        }
        if (l->infoFails) {
            return kError;
        }
        line.dwDestination = d;
        line.dwSource = s.value_or(0);
        line.dwLineID = LineId(d, s);
        line.dwComponentType = l->type;
        line.cConnections =
            s ? 0 : l->claimedConnections.value_or(static_cast<std::uint32_t>(l->sources.size()));
        line.cControls = static_cast<std::uint32_t>(l->controls.size());
        return kNoError;
    }

    MmResult GetLineControls(std::uint32_t mixerId, MixerLineControls& request,
                             std::uint32_t flags) override {
        ++calls;
        if (mixerId >= devices.size()) {
            return kBadDeviceId;
        }
        if (flags != kGetLineControlsAll || request.cbStruct != kMixerLineControlsSize ||
            request.cbmxctrl != kMixerControlSize || request.pamxctrl == nullptr) {
            return kInvalParam;
        }
        FakeLine* line = FindLine(mixerId, request.dwLineID);
        if (!line) {
            return kInvalLine;
        }
        if (line->controlsFail) {
            return kError;
        }
        // Like winmm: the caller asks for all of them, and gets all of them.
        if (request.cControls != line->controls.size()) {
            return kInvalParam;
        }
        for (std::uint32_t k = 0; k < line->controls.size(); ++k) {
            const FakeControl& c = line->controls[k];
            MixerControl& out = request.pamxctrl[k];
            out = MixerControl{};
            out.cbStruct = kMixerControlSize;
            out.dwControlID = request.dwLineID | (k + 1);
            out.dwControlType = c.type;
            out.Bounds.dwMinimum = c.min;
            out.Bounds.dwMaximum = c.max;
            out.Metrics.cSteps = c.steps;
        }
        return kNoError;
    }

    MmResult GetControlDetails(std::uint32_t mixerId, MixerControlDetails& details,
                               std::uint32_t flags) override {
        ++calls;
        FakeControl* c = nullptr;
        if (MmResult r = Check(mixerId, details, flags, c); r != kNoError) {
            return r;
        }
        if (c->readFails) {
            return kError;
        }
        std::memcpy(details.paDetails, &c->value, 4);
        return kNoError;
    }

    MmResult SetControlDetails(std::uint32_t mixerId, MixerControlDetails& details,
                               std::uint32_t flags) override {
        ++calls;
        FakeControl* c = nullptr;
        if (MmResult r = Check(mixerId, details, flags, c); r != kNoError) {
            return r;
        }
        std::memcpy(&c->value, details.paDetails, 4);
        writes.push_back({mixerId, details.dwControlID, c->value});
        return kNoError;
    }

    MmResult Close(MixerHandle handle) override {
        ++calls;
        closed.push_back(handle);
        return kNoError;
    }

private:
    FakeLine* FindLine(std::uint32_t mixerId, std::uint32_t lineId) {
        if (mixerId >= devices.size()) {
            return nullptr;
        }
        std::uint32_t d = lineId >> 16;
        std::uint32_t s = (lineId >> 8) & 0xFFu;
        auto& dests = devices[mixerId].destinations;
        if (d >= dests.size()) {
            return nullptr;
        }
        if (s == 0) {
            return &dests[d];
        }
        if (s - 1 >= dests[d].sources.size()) {
            return nullptr;
        }
        return &dests[d].sources[s - 1];
    }

    MmResult Check(std::uint32_t mixerId, MixerControlDetails& details, std::uint32_t flags,
                   FakeControl*& c) {
        if (mixerId >= devices.size()) {
            return kBadDeviceId;
        }
        if (flags != kControlDetailsValue || details.cbStruct != kMixerControlDetailsSize ||
            details.cChannels != 1 || details.cMultipleItems != 0 || details.cbDetails != 4 ||
            details.paDetails == nullptr) {
            return kInvalParam;
        }
        c = Find(mixerId, details.dwControlID);
        return c ? kNoError : kInvalControl;
    }

    MixerHandle nextHandle_ = 0x100;
};

} // namespace fw::test
