// The crash guard on its own, around entries of the test program itself: what reaches the
// entry, what comes back, and faults contained one after another.
#include "setup/elements/crash_guard.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <stdexcept>

#include "support/fixtures.h"

namespace {

long WINAPI SumOfFour(std::uintptr_t a, std::uintptr_t b, std::uintptr_t c, std::uintptr_t d) {
    return static_cast<long>(a * 1000 + b * 100 + c * 10 + d);
}

long WINAPI NoArguments() {
    return -7;
}

long WINAPI ReturnsZero() {
    return 0;
}

long WINAPI WritesToAnInvalidAddress() {
    volatile int* volatile invalid = reinterpret_cast<int*>(std::uintptr_t(8));
    *invalid = 1;
    return 0;
}

long WINAPI DividesByZero() {
    volatile int zero = 0;
    return 10 / zero;
}

#if defined(__cpp_exceptions)
// An exception handled inside the entry never reaches the guard.
long WINAPI CatchesItsOwnException() {
    try {
        throw std::runtime_error("handled here");
    } catch (const std::exception&) {
        return 3;
    }
}
#endif

// The exception a Visual C++ module's uncaught throw raises: foreign to this program's runtime.
long WINAPI RaisesAForeignException() {
    RaiseException(0xE06D7363, EXCEPTION_NONCONTINUABLE, 0, nullptr);
    return 0;
}

// Faults with the direction flag set, as code in the middle of a backward string copy would.
long WINAPI FaultsWithTheDirectionFlagSet() {
    asm volatile("std" ::: "memory");
    volatile int* volatile invalid = reinterpret_cast<int*>(std::uintptr_t(8));
    *invalid = 1;
    return 0;
}

template <class F> FARPROC Entry(F* function) {
    return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(function));
}

// The entry's result, or the code of the exception that left it.
struct Outcome {
    bool returned;
    long result;
    std::uint32_t code;
};

Outcome Call(FARPROC entry, const std::uintptr_t* args = nullptr, int count = 0) {
    long result = 12345;
    CSetupCException caught(0);
    const bool returned = CallGuardedEntry(entry, args, count, result, caught);
    return {returned, result, caught.GetCode()};
}

long Returned(FARPROC entry, const std::uintptr_t* args = nullptr, int count = 0) {
    const Outcome outcome = Call(entry, args, count);
    EXPECT_TRUE(outcome.returned) << std::hex << outcome.code;
    EXPECT_EQ(outcome.code, 0u);
    return outcome.result;
}

std::uint32_t CrashCode(FARPROC entry) {
    const Outcome outcome = Call(entry);
    EXPECT_FALSE(outcome.returned);
    EXPECT_EQ(outcome.result, 0) << "no result without a return";
    return outcome.code;
}

} // namespace

TEST(CrashGuard, ArgumentsReachTheEntryAndItsResultComesBack) {
    const std::uintptr_t args[] = {1, 2, 3, 4};
    EXPECT_EQ(Returned(Entry(&SumOfFour), args, 4), 1234);
    EXPECT_EQ(Returned(Entry(&SumOfFour), args, 2), 1200) << "the rest is passed as 0";
    EXPECT_EQ(Returned(Entry(&NoArguments)), -7);
    EXPECT_EQ(Returned(Entry(&ReturnsZero)), 0) << "a result of 0 is a return, not a crash";
}

// On qemu's user-mode emulator a hardware fault reaches Wine with a trap number of -1 and the
// direction flag as the faulting code left it (fault_delivery_i386 shows it without Wine): an
// access violation arrives as 0xC000001D, a division by zero as 0xC0000090. What the guard
// makes of a fault cannot be proved there.
constexpr const char* kEmulatedFaults =
    "qemu-user hands hardware faults to Wine with trap number -1 (wrong exception codes) and "
    "the direction flag left set";

TEST(CrashGuard, ForeignExceptionCodes) {
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        EXPECT_EQ(CrashCode(Entry(&RaisesAForeignException)), 0xE06D7363u);
        EXPECT_FALSE(testsupport::DirectionFlagSet());
    }
    EXPECT_EQ(Returned(Entry(&NoArguments)), -7);
}

TEST(CrashGuard, AFaultWithTheDirectionFlagSet) {
    TARVO_SKIP_ON_EMULATED_CPU(kEmulatedFaults);
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        EXPECT_EQ(CrashCode(Entry(&RaisesAForeignException)), 0xE06D7363u);
        EXPECT_EQ(CrashCode(Entry(&FaultsWithTheDirectionFlagSet)), 0xC0000005u);
        EXPECT_FALSE(testsupport::DirectionFlagSet()) << "the guard hands back a clear flag";
    }
    EXPECT_EQ(Returned(Entry(&NoArguments)), -7);
}

TEST(CrashGuard, FaultsOneAfterAnotherAreContained) {
    TARVO_SKIP_ON_EMULATED_CPU(kEmulatedFaults);
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        EXPECT_EQ(CrashCode(Entry(&WritesToAnInvalidAddress)), 0xC0000005u);
        EXPECT_EQ(CrashCode(Entry(&DividesByZero)), 0xC0000094u);
        EXPECT_EQ(Returned(Entry(&NoArguments)), -7);
    }
    EXPECT_EQ(CrashCode(nullptr), 0xC0000005u) << "a null entry faults at the call";
}

#if defined(__cpp_exceptions)
// Test programs with C++ exceptions only (the x86_64 build): the i686 one is built as the
// product, without them.
TEST(CrashGuard, ExceptionsTheEntryHandlesItselfAreNotCrashes) {
    EXPECT_EQ(Returned(Entry(&CatchesItsOwnException)), 3);
    // The test program's own exceptions still work after the guard has been used.
    EXPECT_THROW(throw std::logic_error("after"), std::logic_error);
}
#endif

#if defined(__i386__)
// The guard as a 32-bit caller meets it: called from a hand-written sequence that puts sentinels
// in EBX, ESI, EDI and EBP, so that the caller's registers after the guard are the guard's doing
// alone (compiled callers would restore their own copies and hide a fault). The handler chain
// (FS:[0]) and the stack pointer must be as before, and the direction flag clear.
struct GuardCall {
    void* guard;                           // 0: CallGuardedEntry
    FARPROC entry;                         // 4
    long* result;                          // 8
    CSetupCException* caught;              // 12
    std::uint32_t returned;                // 16: the guard's answer (al)
    std::uint32_t ebx, esi, edi, ebp;      // 20, 24, 28, 32: after the guard
    std::uint32_t chainBefore, chainAfter; // 36, 40: FS:[0]
    std::uint32_t espBefore, espAfter;     // 44, 48
    std::uint32_t eflags;                  // 52
};
static_assert(sizeof(GuardCall) == 56, "the assembly's offsets");

extern "C" {
GuardCall* g_guardCall;
std::uint32_t g_guardSavedEsp;
}

// No prologue or epilogue of the compiler's: the body is the whole call sequence.
extern "C" __attribute__((naked)) void __cdecl CallGuardFromAssembly(GuardCall*) {
    asm volatile(R"(
    pushl %ebp
    pushl %ebx
    pushl %esi
    pushl %edi
    movl 20(%esp), %eax
    movl %eax, _g_guardCall
    movl %esp, _g_guardSavedEsp
    movl %fs:0, %ecx
    movl %ecx, 36(%eax)
    movl %esp, 44(%eax)
    pushl 12(%eax)
    pushl 8(%eax)
    pushl $0
    pushl $0
    pushl 4(%eax)
    movl 0(%eax), %ecx
    movl $0x1BADB0B1, %ebx
    movl $0x2BADB0B2, %esi
    movl $0x3BADB0B3, %edi
    movl $0x4BADB0B4, %ebp
    cld
    call *%ecx
    addl $20, %esp
    movl _g_guardCall, %ecx
    movzbl %al, %eax
    movl %eax, 16(%ecx)
    movl %ebx, 20(%ecx)
    movl %esi, 24(%ecx)
    movl %edi, 28(%ecx)
    movl %ebp, 32(%ecx)
    movl %fs:0, %eax
    movl %eax, 40(%ecx)
    movl %esp, 48(%ecx)
    pushfl
    popl %eax
    movl %eax, 52(%ecx)
    movl _g_guardSavedEsp, %esp
    popl %edi
    popl %esi
    popl %ebx
    popl %ebp
    ret
)");
}

struct GuardRow {
    const char* what;
    FARPROC entry;
    bool returned;
    std::uint32_t code;
};

template <std::size_t N> void CallFromAssembly(const GuardRow (&rows)[N]) {
    bool (*guard)(FARPROC, const std::uintptr_t*, int, long&, CSetupCException&) =
        &CallGuardedEntry;
    std::printf("case                    returned  code        registers  chain  stack  DF\n");
    for (const auto& row : rows) {
        long result = 12345;
        CSetupCException caught(0);
        GuardCall call = {};
        call.guard = reinterpret_cast<void*>(guard);
        call.entry = row.entry;
        call.result = &result;
        call.caught = &caught;
        CallGuardFromAssembly(&call);
        const bool kept = call.ebx == 0x1BADB0B1 && call.esi == 0x2BADB0B2 &&
                          call.edi == 0x3BADB0B3 && call.ebp == 0x4BADB0B4;
        std::printf("%-22s  %-8s  0x%08lx  %-9s  %-5s  %-5s  %s\n", row.what,
                    call.returned ? "yes" : "no", static_cast<unsigned long>(caught.GetCode()),
                    kept ? "kept" : "CHANGED",
                    call.chainAfter == call.chainBefore ? "same" : "MOVED",
                    call.espAfter == call.espBefore ? "same" : "MOVED",
                    (call.eflags & 0x400) ? "SET" : "clear");
        SCOPED_TRACE(row.what);
        EXPECT_EQ(call.returned != 0, row.returned);
        EXPECT_EQ(caught.GetCode(), row.code);
        EXPECT_EQ(result, row.returned ? -7 : 0);
        EXPECT_TRUE(kept) << std::hex << call.ebx << " " << call.esi << " " << call.edi << " "
                          << call.ebp;
        EXPECT_EQ(call.chainAfter, call.chainBefore);
        EXPECT_EQ(call.espAfter, call.espBefore);
        EXPECT_EQ(call.eflags & 0x400, 0u);
    }
}

TEST(CrashGuard32, CallersRegistersHandlerChainAndStackAreKept) {
    const GuardRow rows[] = {
        {"returns", Entry(&NoArguments), true, 0},
        {"foreign exception", Entry(&RaisesAForeignException), false, 0xE06D7363u},
        {"returns again", Entry(&NoArguments), true, 0}};
    CallFromAssembly(rows);
}

TEST(CrashGuard32, CallersStateIsKeptAfterHardwareFaults) {
    TARVO_SKIP_ON_EMULATED_CPU(kEmulatedFaults);
    const GuardRow rows[] = {
        {"access violation", Entry(&WritesToAnInvalidAddress), false, 0xC0000005u},
        {"division by zero", Entry(&DividesByZero), false, 0xC0000094u},
        {"foreign exception", Entry(&RaisesAForeignException), false, 0xE06D7363u},
        {"direction flag set", Entry(&FaultsWithTheDirectionFlagSet), false, 0xC0000005u},
        {"access violation again", Entry(&WritesToAnInvalidAddress), false, 0xC0000005u},
        {"returns", Entry(&NoArguments), true, 0}};
    CallFromAssembly(rows);
}
#endif
