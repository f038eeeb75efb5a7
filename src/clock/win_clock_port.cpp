#include "clock/win_clock_port.h"

#include "win/application.h"

#include <new>
#include <string>

#include <intrin.h>

// The product is a 32-bit program and its timed sequences are written for 32-bit x86. The
// 64-bit build only carries the Windows tests on hosts that run no 32-bit code: there the same
// sequences are plain calls between two readings, near enough for what those tests measure.
#if !defined(__i386__) && !defined(__x86_64__)
#error "The clock counter is written for x86."
#endif

namespace fw {

namespace {

// The procedure with an empty body whose call is timed to learn what the event's call costs.
__attribute__((noinline, used)) void FW_REGISTER_CALL EmptyProc(void*,
                                                                TProcessorClockCounter*) noexcept {
    asm volatile("");
}

} // namespace

} // namespace fw

#if defined(__i386__)
// The probe's RDTSC sits at a known address, so that a refusal of exactly this instruction can
// be told from any other fault and stepped over.
extern "C" std::uint64_t fw_ProbeRdtsc();
extern "C" char fw_ProbeRdtscInstruction[];
asm(".text\n"
    ".globl _fw_ProbeRdtsc\n"
    ".globl _fw_ProbeRdtscInstruction\n"
    "_fw_ProbeRdtsc:\n"
    "_fw_ProbeRdtscInstruction:\n"
    "\trdtsc\n"
    "\tret\n");

#endif

namespace fw {

namespace {

#if defined(__i386__)
// Steps over a refused probe RDTSC with a reading of zero, which the counter takes as "not
// supported".
LONG CALLBACK SkipRefusedProbe(EXCEPTION_POINTERS* info) {
    const DWORD code = info->ExceptionRecord->ExceptionCode;
    if ((code == EXCEPTION_ILLEGAL_INSTRUCTION || code == EXCEPTION_PRIV_INSTRUCTION) &&
        info->ExceptionRecord->ExceptionAddress == static_cast<void*>(fw_ProbeRdtscInstruction)) {
        info->ContextRecord->Eax = 0;
        info->ContextRecord->Edx = 0;
        info->ContextRecord->Eip += 2;
        return EXCEPTION_CONTINUE_EXECUTION;
    }
    return EXCEPTION_CONTINUE_SEARCH;
}

#endif

} // namespace

Win32ClockPort::Win32ClockPort(MessageProc showMessage) : showMessage_(std::move(showMessage)) {
    block_ = static_cast<std::uint8_t*>(
        ::VirtualAlloc(nullptr, kNopBlockSize, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    if (!block_) {
        throw std::bad_alloc();
    }
}

Win32ClockPort::~Win32ClockPort() {
    ::VirtualFree(block_, 0, MEM_RELEASE);
}

std::uint64_t Win32ClockPort::ReadTimeStampCounter() noexcept {
#if defined(__i386__)
    std::uint64_t value;
    asm volatile("rdtsc" : "=A"(value));
    return value;
#else
    return __rdtsc();
#endif
}

std::uint64_t Win32ClockPort::ProbeTimeStampCounter() {
#if !defined(__i386__)
    return __rdtsc();
#else
    void* handler = ::AddVectoredExceptionHandler(1, SkipRefusedProbe);
    const std::uint64_t value = fw_ProbeRdtsc();
    if (handler) {
        ::RemoveVectoredExceptionHandler(handler);
    }
    return value;
#endif
}

PriorityHandle Win32ClockPort::GetCurrentProcess() {
    return ::GetCurrentProcess();
}
std::uint32_t Win32ClockPort::GetPriorityClass(PriorityHandle process) {
    return ::GetPriorityClass(process);
}
bool Win32ClockPort::SetPriorityClass(PriorityHandle process, std::uint32_t priorityClass) {
    return ::SetPriorityClass(process, priorityClass) != FALSE;
}
PriorityHandle Win32ClockPort::GetCurrentThread() {
    return ::GetCurrentThread();
}
std::int32_t Win32ClockPort::GetThreadPriority(PriorityHandle thread) {
    return ::GetThreadPriority(thread);
}
bool Win32ClockPort::SetThreadPriority(PriorityHandle thread, std::int32_t priority) {
    return ::SetThreadPriority(thread, priority) != FALSE;
}

std::span<std::uint8_t> Win32ClockPort::NopBlockMemory() {
    return {block_, kNopBlockSize};
}

void Win32ClockPort::SealNopBlock() {
    // Filled once and never changed: from now on the block may run but not be written.
    DWORD old = 0;
    ::VirtualProtect(block_, kNopBlockSize, PAGE_EXECUTE_READ, &old);
    ::FlushInstructionCache(::GetCurrentProcess(), block_, kNopBlockSize);
}

void Win32ClockPort::RunNopBlock() {
    asm volatile("call *%0" : : "r"(block_) : "memory");
}

#if !defined(__i386__)
void Win32ClockPort::PrecizePass(const TPrecizeProc& event, TProcessorClockCounter* sender,
                                 PassStamps& stamps) {
    TimeEmptyCall(event, sender, stamps.Empty);
    TimeEventCall(event, sender, stamps.Event);
}

void Win32ClockPort::TimeEmptyCall(const TPrecizeProc& event, TProcessorClockCounter* sender,
                                   StampPair& stamps) {
    stamps.Start = __rdtsc();
    EmptyProc(event.Data, sender);
    stamps.Stop = __rdtsc();
}

void Win32ClockPort::TimeEventCall(const TPrecizeProc& event, TProcessorClockCounter* sender,
                                   StampPair& stamps) {
    stamps.Start = __rdtsc();
    event.Code(event.Data, sender);
    stamps.Stop = __rdtsc();
}
#else

// The register loads and three NOPs before each call are the same for the empty procedure and
// for the event, so the empty call's count is exactly what the event's call adds to its body.
void Win32ClockPort::PrecizePass(const TPrecizeProc& event, TProcessorClockCounter* sender,
                                 PassStamps& stamps) {
    void* data = event.Data;
    auto code = event.Code;
    asm volatile("rdtsc\n\t"
                 "movl %%eax, 0(%%esi)\n\t"
                 "movl %%edx, 4(%%esi)\n\t"
                 "movl %[data], %%eax\n\t"
                 "movl %[sender], %%edx\n\t"
                 "nop\n\tnop\n\tnop\n\t"
                 "call %P[empty]\n\t"
                 "rdtsc\n\t"
                 "movl %%eax, 8(%%esi)\n\t"
                 "movl %%edx, 12(%%esi)\n\t"
                 ".rept 12\n\tnop\n\t.endr\n\t"
                 "rdtsc\n\t"
                 "movl %%eax, 16(%%esi)\n\t"
                 "movl %%edx, 20(%%esi)\n\t"
                 "movl %[data], %%eax\n\t"
                 "movl %[sender], %%edx\n\t"
                 "nop\n\tnop\n\tnop\n\t"
                 "call *%[code]\n\t"
                 "rdtsc\n\t"
                 "movl %%eax, 24(%%esi)\n\t"
                 "movl %%edx, 28(%%esi)"
                 :
                 : "S"(&stamps), [data] "m"(data), [sender] "m"(sender), [code] "m"(code),
                   [empty] "i"(&EmptyProc)
                 : "eax", "ecx", "edx", "memory", "cc");
}

void Win32ClockPort::TimeEmptyCall(const TPrecizeProc& event, TProcessorClockCounter* sender,
                                   StampPair& stamps) {
    void* data = event.Data;
    asm volatile(".rept 11\n\tnop\n\t.endr\n\t"
                 "rdtsc\n\t"
                 "movl %%eax, 0(%%esi)\n\t"
                 "movl %%edx, 4(%%esi)\n\t"
                 "movl %[data], %%eax\n\t"
                 "movl %[sender], %%edx\n\t"
                 "nop\n\tnop\n\tnop\n\t"
                 "call %P[empty]\n\t"
                 "rdtsc\n\t"
                 "movl %%eax, 8(%%esi)\n\t"
                 "movl %%edx, 12(%%esi)"
                 :
                 : "S"(&stamps), [data] "m"(data), [sender] "m"(sender), [empty] "i"(&EmptyProc)
                 : "eax", "ecx", "edx", "memory", "cc");
}

void Win32ClockPort::TimeEventCall(const TPrecizeProc& event, TProcessorClockCounter* sender,
                                   StampPair& stamps) {
    void* data = event.Data;
    auto code = event.Code;
    asm volatile(".rept 5\n\tnop\n\t.endr\n\t"
                 "rdtsc\n\t"
                 "movl %%eax, 0(%%esi)\n\t"
                 "movl %%edx, 4(%%esi)\n\t"
                 "movl %[data], %%eax\n\t"
                 "movl %[sender], %%edx\n\t"
                 "nop\n\tnop\n\tnop\n\t"
                 "call *%[code]\n\t"
                 "rdtsc\n\t"
                 "movl %%eax, 8(%%esi)\n\t"
                 "movl %%edx, 12(%%esi)"
                 :
                 : "S"(&stamps), [data] "m"(data), [sender] "m"(sender), [code] "m"(code)
                 : "eax", "ecx", "edx", "memory", "cc");
}

#endif

void Win32ClockPort::ShowMessage(std::wstring_view text) {
    if (showMessage_) {
        showMessage_(text);
        return;
    }
    win::Application::Get().ShowMessage(std::wstring(text));
}

} // namespace fw
