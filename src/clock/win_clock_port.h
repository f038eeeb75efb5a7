#pragma once
// The clock counter's port on an x86 processor under Windows: RDTSC, the process and thread
// priorities, and the NOP block in memory the processor may execute.

#include "clock/processor_clock_counter.h"

#include <windows.h>
// The 64-bit system headers define a macro of the port's method's name.
#undef ReadTimeStampCounter

#include <functional>
#include <memory>
#include <string_view>

namespace fw {

class Win32ClockPort : public ClockPort {
public:
    using MessageProc = std::function<void(std::wstring_view)>;

    // showMessage shows the counter's note; without it the application's message dialog
    // (one OK button, the application's title) does.
    explicit Win32ClockPort(MessageProc showMessage = {});
    ~Win32ClockPort() override;
    Win32ClockPort(const Win32ClockPort&) = delete;
    Win32ClockPort& operator=(const Win32ClockPort&) = delete;

    std::uint64_t ReadTimeStampCounter() noexcept override;
    std::uint64_t ProbeTimeStampCounter() override;

    PriorityHandle GetCurrentProcess() override;
    std::uint32_t GetPriorityClass(PriorityHandle process) override;
    bool SetPriorityClass(PriorityHandle process, std::uint32_t priorityClass) override;
    PriorityHandle GetCurrentThread() override;
    std::int32_t GetThreadPriority(PriorityHandle thread) override;
    bool SetThreadPriority(PriorityHandle thread, std::int32_t priority) override;

    std::span<std::uint8_t> NopBlockMemory() override;
    void SealNopBlock() override;
    void RunNopBlock() override;

    void PrecizePass(const TPrecizeProc& event, TProcessorClockCounter* sender,
                     PassStamps& stamps) override;
    void TimeEmptyCall(const TPrecizeProc& event, TProcessorClockCounter* sender,
                       StampPair& stamps) override;
    void TimeEventCall(const TPrecizeProc& event, TProcessorClockCounter* sender,
                       StampPair& stamps) override;

    void ShowMessage(std::wstring_view text) override;

    // The NOP block as it lies in memory, for inspection.
    std::span<const std::uint8_t> NopBlock() const { return {block_, kNopBlockSize}; }

private:
    MessageProc showMessage_;
    std::uint8_t* block_ = nullptr;
};

} // namespace fw
