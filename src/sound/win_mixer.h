#pragma once
// The mixer port over winmm's mixer functions (ANSI forms, devices named by index).

#include "sound/mixer_port.h"

namespace fw {

class WinMixerPort : public mixer::MixerPort {
public:
    std::uint32_t GetNumDevs() override;
    mixer::MmResult GetDevCaps(std::uint32_t mixerId, mixer::MixerCaps& caps) override;
    mixer::MmResult Open(mixer::MixerHandle& handle, std::uint32_t mixerId,
                         mixer::WindowHandle window) override;
    mixer::MmResult GetLineInfo(std::uint32_t mixerId, mixer::MixerLine& line,
                                std::uint32_t flags) override;
    mixer::MmResult GetLineControls(std::uint32_t mixerId, mixer::MixerLineControls& controls,
                                    std::uint32_t flags) override;
    mixer::MmResult GetControlDetails(std::uint32_t mixerId, mixer::MixerControlDetails& details,
                                      std::uint32_t flags) override;
    mixer::MmResult SetControlDetails(std::uint32_t mixerId, mixer::MixerControlDetails& details,
                                      std::uint32_t flags) override;
    mixer::MmResult Close(mixer::MixerHandle handle) override;
};

} // namespace fw
