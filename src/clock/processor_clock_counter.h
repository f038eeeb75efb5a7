#pragma once
// Counts processor clock cycles with the x86 time-stamp counter: the span between Start and
// Stop, or one call of a procedure supplied by the owner. It knows nothing of seconds; turning
// cycles into a frequency is the host's job.
//
// Everything that touches the processor or the system goes through ClockPort, so the arithmetic
// here is the same on the host (with a fake) and in the program (with the Win32 port).

#include <cstdint>
#include <exception>
#include <memory>
#include <optional>
#include <span>
#include <string_view>

namespace fw {

class TProcessorClockCounter;

// The event's procedure takes its object in EAX and the sender in EDX on i686, so the timed
// call needs nothing but two register loads before it.
#if defined(__i386__)
#define FW_REGISTER_CALL __attribute__((regparm(2)))
#else
#define FW_REGISTER_CALL
#endif

// A method reference: an object together with one of its procedures. The procedure may not
// throw: PrecizeMethod wraps a member function so that its exception is kept by the counter
// and raised again once the timed call is over.
struct TPrecizeProc {
    using CodeType = void(FW_REGISTER_CALL*)(void* data, TProcessorClockCounter* sender) noexcept;
    CodeType Code = nullptr;
    void* Data = nullptr;
    // The event counts as assigned when its procedure part is set.
    bool Assigned() const { return Code != nullptr; }
};

enum class TClockPriority : std::uint8_t { cpIdle, cpNormal, cpHigh, cpRealTime, cpProcessDefined };

// Priority classes and thread priorities as the system numbers them.
inline constexpr std::uint32_t kNormalPriorityClass = 0x20;
inline constexpr std::uint32_t kIdlePriorityClass = 0x40;
inline constexpr std::uint32_t kHighPriorityClass = 0x80;
inline constexpr std::uint32_t kRealtimePriorityClass = 0x100;
inline constexpr std::int32_t kThreadPriorityIdle = -15;
inline constexpr std::int32_t kThreadPriorityNormal = 0;
inline constexpr std::int32_t kThreadPriorityHighest = 2;
inline constexpr std::int32_t kThreadPriorityTimeCritical = 15;

struct ClockPrioritySetting {
    std::uint32_t MeasureClass;
    std::int32_t MeasureThreadPriority;
};

// What Start sets for each fixed choice; cpProcessDefined has no fixed entry (it takes the
// priorities last read).
std::optional<ClockPrioritySetting> FixedClockPriority(TClockPriority value);
// The choice that a priority class stands for; none for a class outside the four fixed ones.
std::optional<TClockPriority> ClockPriorityOfClass(std::uint32_t priorityClass);

inline constexpr std::size_t kNopBlockSize = 524288;
inline constexpr std::uint8_t kNopOpcode = 0x90;
inline constexpr std::uint8_t kRetOpcode = 0xC3;

using PriorityHandle = void*;

struct StampPair {
    std::uint64_t Start = 0;
    std::uint64_t Stop = 0;
};

// One precise pass: an empty call timed, then the event's call.
struct PassStamps {
    StampPair Empty;
    StampPair Event;
};

// The processor and the system services the counter uses, shaped like the calls they stand for.
class ClockPort {
public:
    virtual ~ClockPort() = default;

    // RDTSC, bare.
    virtual std::uint64_t ReadTimeStampCounter() noexcept = 0;
    // The same read where the processor may refuse it: yields 0 or throws then.
    virtual std::uint64_t ProbeTimeStampCounter() = 0;

    virtual PriorityHandle GetCurrentProcess() = 0;
    virtual std::uint32_t GetPriorityClass(PriorityHandle process) = 0;
    virtual bool SetPriorityClass(PriorityHandle process, std::uint32_t priorityClass) = 0;
    virtual PriorityHandle GetCurrentThread() = 0;
    virtual std::int32_t GetThreadPriority(PriorityHandle thread) = 0;
    virtual bool SetThreadPriority(PriorityHandle thread, std::int32_t priority) = 0;

    // The NOP block's memory: writable until sealed, executable afterwards.
    virtual std::span<std::uint8_t> NopBlockMemory() = 0;
    virtual void SealNopBlock() = 0;
    // Calls the first byte of the block.
    virtual void RunNopBlock() = 0;

    // The timed instruction sequences. Each empty call goes to a procedure that only returns,
    // with the same loads and NOPs around it as around the event's call.
    // PrecizePass: stamp, empty call, stamp, twelve NOPs, stamp, event call, stamp.
    virtual void PrecizePass(const TPrecizeProc& event, TProcessorClockCounter* sender,
                             PassStamps& stamps) = 0;
    // Eleven NOPs, stamp, empty call, stamp.
    virtual void TimeEmptyCall(const TPrecizeProc& event, TProcessorClockCounter* sender,
                               StampPair& stamps) = 0;
    // Five NOPs, stamp, event call, stamp.
    virtual void TimeEventCall(const TPrecizeProc& event, TProcessorClockCounter* sender,
                               StampPair& stamps) = 0;

    // A modal note with one OK button and the application's title.
    virtual void ShowMessage(std::wstring_view text) = 0;
};

inline constexpr std::wstring_view kClockCounterNotSupported =
    L"Clock counter is not supported on this processor !";

class TProcessorClockCounter {
public:
    // Tests the counter (showing the note when it is missing), fills the NOP block and
    // calibrates with cpNormal.
    explicit TProcessorClockCounter(std::unique_ptr<ClockPort> port);
    virtual ~TProcessorClockCounter();
    TProcessorClockCounter(const TProcessorClockCounter&) = delete;
    TProcessorClockCounter& operator=(const TProcessorClockCounter&) = delete;

    virtual void UpdateClockPriority();
    virtual void MeasurePrecizeOnce();
    virtual void MeasurePrecizeTwice();

    void SetClockPriority(TClockPriority value);
    void Calibrate();
    void Start();
    void Stop();
    std::int64_t CurrentTicks() const;

    TClockPriority ClockPriority() const { return ClockPriority_; }
    std::int64_t Calibration() const { return Calibration_; }
    std::int64_t ElapsedTicks() const { return ElapsedTicks_; }
    bool CounterSupported() const { return CounterSupported_; }
    const TPrecizeProc& OnPrecizeProc() const { return OnPrecizeProc_; }
    void SetOnPrecizeProc(const TPrecizeProc& value) { OnPrecizeProc_ = value; }

    // Called by the wrapper that PrecizeMethod makes when the handler throws.
    void KeepEventError(std::exception_ptr error) noexcept { EventError_ = std::move(error); }

private:
    bool CheckCounterSupport();
    void ReadPriorities();
    void RunNopBlock();
    void PrecizePass();
    void RaiseEventError();

    std::unique_ptr<ClockPort> Port_;
    std::span<std::uint8_t> NopBlock_;
    TClockPriority ClockPriority_ = TClockPriority::cpNormal;
    PriorityHandle ProcessHandle_ = nullptr;
    std::uint32_t SavedClass_ = 0;
    std::uint32_t MeasureClass_ = 0;
    PriorityHandle ThreadHandle_ = nullptr;
    std::int32_t SavedThreadPriority_ = 0;
    std::int32_t MeasureThreadPriority_ = 0;
    std::int64_t Calibration_ = 0;
    std::int64_t CallOverhead_ = 0;
    std::uint64_t StartStamp_ = 0;
    std::uint64_t StopStamp_ = 0;
    std::int64_t ElapsedTicks_ = 0;
    TPrecizeProc OnPrecizeProc_;
    bool CounterSupported_ = false;
    std::exception_ptr EventError_;
};

namespace detail {
template <auto Method, typename T>
void FW_REGISTER_CALL PrecizeThunk(void* data, TProcessorClockCounter* sender) noexcept {
    // The timed call runs inside hand-written instructions that no exception may cross.
    try {
        (static_cast<T*>(data)->*Method)(sender);
    } catch (...) {
        sender->KeepEventError(std::current_exception());
    }
}
} // namespace detail

// Binds a handler `void T::Handler(TProcessorClockCounter* Sender)` of `object` as the event:
//   counter.SetOnPrecizeProc(fw::PrecizeMethod<&TMainForm::ProcessorClockCounterPrecizeProc>(this));
template <auto Method, typename T> TPrecizeProc PrecizeMethod(T* object) {
    return TPrecizeProc{&detail::PrecizeThunk<Method, T>, object};
}

} // namespace fw
