#include "clock/processor_clock_counter.h"

#include <algorithm>
#include <utility>

namespace fw {

namespace {

// Differences are two's-complement subtractions on the full 64 bits; nothing is clamped, so a
// span shorter than what is subtracted from it gives a negative count.
std::int64_t Span(std::uint64_t stop, std::uint64_t start, std::int64_t less) {
    return static_cast<std::int64_t>(stop - start - static_cast<std::uint64_t>(less));
}

} // namespace

std::optional<ClockPrioritySetting> FixedClockPriority(TClockPriority value) {
    switch (value) {
    case TClockPriority::cpIdle:
        return ClockPrioritySetting{kIdlePriorityClass, kThreadPriorityIdle};
    case TClockPriority::cpNormal:
        return ClockPrioritySetting{kNormalPriorityClass, kThreadPriorityNormal};
    case TClockPriority::cpHigh:
        return ClockPrioritySetting{kHighPriorityClass, kThreadPriorityHighest};
    case TClockPriority::cpRealTime:
        return ClockPrioritySetting{kRealtimePriorityClass, kThreadPriorityTimeCritical};
    case TClockPriority::cpProcessDefined:
        break;
    }
    return std::nullopt;
}

std::optional<TClockPriority> ClockPriorityOfClass(std::uint32_t priorityClass) {
    switch (priorityClass) {
    case kNormalPriorityClass:
        return TClockPriority::cpNormal;
    case kIdlePriorityClass:
        return TClockPriority::cpIdle;
    case kHighPriorityClass:
        return TClockPriority::cpHigh;
    case kRealtimePriorityClass:
        return TClockPriority::cpRealTime;
    default:
        return std::nullopt;
    }
}

TProcessorClockCounter::TProcessorClockCounter(std::unique_ptr<ClockPort> port)
    : Port_(std::move(port)) {
    CounterSupported_ = CheckCounterSupport();

    NopBlock_ = Port_->NopBlockMemory();
    if (!NopBlock_.empty()) {
        std::fill(NopBlock_.begin(), NopBlock_.end() - 1, kNopOpcode);
        NopBlock_.back() = kRetOpcode;
    }
    Port_->SealNopBlock();

    // The field itself, not through SetClockPriority: the first calibration runs at normal
    // priority whatever the owner's stored settings say.
    ClockPriority_ = TClockPriority::cpNormal;
    MeasureClass_ = kNormalPriorityClass;
    MeasureThreadPriority_ = kThreadPriorityNormal;
    UpdateClockPriority();
    Calibrate();
    StartStamp_ = 0;
    StopStamp_ = 0;
    ElapsedTicks_ = 0;
}

// The port releases the NOP block; no counter is read and no priority touched.
TProcessorClockCounter::~TProcessorClockCounter() = default;

bool TProcessorClockCounter::CheckCounterSupport() {
    Calibration_ = 0;
    std::int64_t ticks = 0;
    bool raised = false;
    try {
        // With StartStamp and Calibration both zero this is the raw counter.
        ticks = Span(Port_->ProbeTimeStampCounter(), StartStamp_, Calibration_);
    } catch (...) {
        raised = true;
    }
    const bool supported = !raised && ticks != 0;
    if (!supported) {
        Port_->ShowMessage(kClockCounterNotSupported);
    }
    return supported;
}

void TProcessorClockCounter::ReadPriorities() {
    ProcessHandle_ = Port_->GetCurrentProcess();
    SavedClass_ = Port_->GetPriorityClass(ProcessHandle_);
    ThreadHandle_ = Port_->GetCurrentThread();
    SavedThreadPriority_ = Port_->GetThreadPriority(ThreadHandle_);
}

void TProcessorClockCounter::UpdateClockPriority() {
    ReadPriorities();
    if (const auto value = ClockPriorityOfClass(MeasureClass_)) {
        ClockPriority_ = *value;
    }
}

void TProcessorClockCounter::SetClockPriority(TClockPriority value) {
    if (value == ClockPriority_) {
        return;
    }
    ClockPriority_ = value;
    if (const auto setting = FixedClockPriority(value)) {
        MeasureClass_ = setting->MeasureClass;
        MeasureThreadPriority_ = setting->MeasureThreadPriority;
    } else {
        MeasureClass_ = SavedClass_;
        MeasureThreadPriority_ = SavedThreadPriority_;
    }
    Calibrate();
}

void TProcessorClockCounter::Calibrate() {
    if (!CounterSupported_) {
        return;
    }
    Calibration_ = 0;
    ReadPriorities();
    // The first pair only warms up.
    Start();
    Stop();
    Start();
    Stop();
    Calibration_ = ElapsedTicks_;
}

void TProcessorClockCounter::Start() {
    // Without the counter the read would raise a processor exception.
    if (!CounterSupported_) {
        return;
    }
    Port_->SetPriorityClass(ProcessHandle_, MeasureClass_);
    Port_->SetThreadPriority(ThreadHandle_, MeasureThreadPriority_);
    StartStamp_ = Port_->ReadTimeStampCounter();
}

void TProcessorClockCounter::Stop() {
    if (!CounterSupported_) {
        return;
    }
    StopStamp_ = Port_->ReadTimeStampCounter();
    ElapsedTicks_ = Span(StopStamp_, StartStamp_, Calibration_);
    Port_->SetPriorityClass(ProcessHandle_, SavedClass_);
    Port_->SetThreadPriority(ThreadHandle_, SavedThreadPriority_);
}

std::int64_t TProcessorClockCounter::CurrentTicks() const {
    if (!CounterSupported_) {
        return 0;
    }
    return Span(Port_->ReadTimeStampCounter(), StartStamp_, Calibration_);
}

void TProcessorClockCounter::RunNopBlock() {
    Port_->RunNopBlock();
}

void TProcessorClockCounter::RaiseEventError() {
    if (EventError_) {
        std::rethrow_exception(std::exchange(EventError_, nullptr));
    }
}

void TProcessorClockCounter::PrecizePass() {
    PassStamps stamps;
    Port_->PrecizePass(OnPrecizeProc_, this, stamps);
    StartStamp_ = stamps.Empty.Start;
    StopStamp_ = stamps.Empty.Stop;
    CallOverhead_ = Span(StopStamp_, StartStamp_, 0);
    StartStamp_ = stamps.Event.Start;
    // A failed event leaves the pass before its closing read.
    RaiseEventError();
    StopStamp_ = stamps.Event.Stop;
    ElapsedTicks_ = Span(StopStamp_, StartStamp_, CallOverhead_);
}

void TProcessorClockCounter::MeasurePrecizeTwice() {
    ElapsedTicks_ = 0;
    if (!CounterSupported_ || !OnPrecizeProc_.Assigned()) {
        return;
    }
    RunNopBlock();
    // The first pass warms up; the second one's count stands.
    PrecizePass();
    PrecizePass();
}

void TProcessorClockCounter::MeasurePrecizeOnce() {
    ElapsedTicks_ = 0;
    if (!CounterSupported_ || !OnPrecizeProc_.Assigned()) {
        return;
    }
    RunNopBlock();
    StampPair empty;
    Port_->TimeEmptyCall(OnPrecizeProc_, this, empty);
    StartStamp_ = empty.Start;
    StopStamp_ = empty.Stop;
    CallOverhead_ = Span(StopStamp_, StartStamp_, 0);

    RunNopBlock();
    StampPair event;
    Port_->TimeEventCall(OnPrecizeProc_, this, event);
    StartStamp_ = event.Start;
    RaiseEventError();
    StopStamp_ = event.Stop;
    ElapsedTicks_ = Span(StopStamp_, StartStamp_, CallOverhead_);
}

} // namespace fw
