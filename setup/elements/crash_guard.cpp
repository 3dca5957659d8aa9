#include "setup/elements/crash_guard.h"

#include <excpt.h>

#include <cstddef>

namespace {

// What the architecture-specific guard reads and writes. The i686 assembly below uses the
// offsets of this layout.
struct GuardedCall {
    FARPROC entry;                   // i686: 0
    const std::uintptr_t* arguments; // 4
    int count;                       // 8
    long result;                     // 12
    unsigned long code;              // 16
    int crashed;                     // 20
};

} // namespace

#if defined(__i386__)

static_assert(offsetof(GuardedCall, entry) == 0 && offsetof(GuardedCall, arguments) == 4 &&
                  offsetof(GuardedCall, count) == 8 && offsetof(GuardedCall, result) == 12 &&
                  offsetof(GuardedCall, code) == 16 && offsetof(GuardedCall, crashed) == 20,
              "the guard's assembly reads these offsets");

// void __cdecl TarvoGuardedCall(GuardedCall* call)
//
// Frame of TarvoGuardedCall, from its frame pointer:
//    8(%ebp)  the GuardedCall
//    0(%ebp)  the caller's frame pointer; -4, -8, -12: the caller's ebx, esi, edi
//   -28(%ebp) the registration record: +0 the previous record (chain link), +4 the handler,
//             +8 this frame pointer, +12 the exception code
//   below: 16 spare bytes, then the arguments, the stack aligned to 16 bytes at the call
//
// TarvoGuardHandler (cdecl: exception record, establisher frame = the registration record,
// context, dispatcher context) answers "continue search" (1) while unwinding; otherwise it
// stores the code, unwinds the frames above the record and resumes the guard at label 4.
// RtlUnwind is not relied on to keep any register but the stack pointer. The direction flag is
// cleared before RtlUnwind runs: the fault may have interrupted a backward string copy.
asm(R"(
    .text
    .globl _TarvoGuardedCall
    .def _TarvoGuardedCall; .scl 2; .type 32; .endef
_TarvoGuardedCall:
    pushl %ebp
    movl %esp, %ebp
    pushl %ebx
    pushl %esi
    pushl %edi
    subl $16, %esp
    movl %fs:0, %eax
    movl %eax, (%esp)
    movl $_TarvoGuardHandler, 4(%esp)
    movl %ebp, 8(%esp)
    movl $0, 12(%esp)
    movl %esp, %fs:0
    movl 8(%ebp), %ebx
    movl 8(%ebx), %ecx
    movl 4(%ebx), %edx
    leal 16(,%ecx,4), %eax
    subl %eax, %esp
    andl $-16, %esp
1:  testl %ecx, %ecx
    jz 2f
    decl %ecx
    movl (%edx,%ecx,4), %eax
    movl %eax, (%esp,%ecx,4)
    jmp 1b
2:  call *(%ebx)
    leal -28(%ebp), %esp
    movl 8(%ebp), %ebx
    movl %eax, 12(%ebx)
    movl $0, 20(%ebx)
    jmp 3f
4:  leal -28(%ebp), %esp
    cld
    movl 8(%ebp), %ebx
    movl 12(%esp), %eax
    movl %eax, 16(%ebx)
    movl $1, 20(%ebx)
3:  movl (%esp), %eax
    movl %eax, %fs:0
    leal -12(%ebp), %esp
    popl %edi
    popl %esi
    popl %ebx
    popl %ebp
    ret

    .def _TarvoGuardHandler; .scl 3; .type 32; .endef
_TarvoGuardHandler:
    cld
    movl 4(%esp), %eax
    testl $6, 4(%eax)
    jnz 5f
    movl 8(%esp), %ecx
    movl (%eax), %edx
    movl %edx, 12(%ecx)
    pushl $0
    pushl %eax
    pushl $6f
    pushl %ecx
    call _RtlUnwind@16
6:  movl 8(%esp), %ecx
    movl 8(%ecx), %ebp
    jmp 4b
5:  movl $1, %eax
    ret
)");

extern "C" void TarvoGuardedCall(GuardedCall* call);

namespace {
// The assembly always passes four arguments: an entry that takes more than it is given reads
// zeros, as on x86_64, instead of whatever lay on the stack. An entry that takes fewer pops only
// its own; the guard restores the stack pointer from its frame either way.
void RunGuarded(GuardedCall& call) {
    std::uintptr_t padded[4] = {0, 0, 0, 0};
    for (int i = 0; i < call.count; ++i)
        padded[i] = call.arguments[i];
    GuardedCall four = call;
    four.arguments = padded;
    four.count = 4;
    TarvoGuardedCall(&four);
    call.result = four.result;
    call.code = four.code;
    call.crashed = four.crashed;
}
} // namespace

#elif defined(__x86_64__)

namespace {
// Written by the filter, read by the guard right after the unwind; set before every call, so
// its per-thread storage exists before anything can fault.
thread_local unsigned long t_exceptionCode = 0;
} // namespace

// The filter of the guard's scope entry; it runs only for exceptions that no frame of the
// module handled.
extern "C" LONG TarvoCrashGuardFilter(EXCEPTION_POINTERS* pointers, void*) {
    t_exceptionCode = pointers->ExceptionRecord->ExceptionCode;
    return EXCEPTION_EXECUTE_HANDLER;
}

namespace {

using Entry4 = long(WINAPI*)(std::uintptr_t, std::uintptr_t, std::uintptr_t, std::uintptr_t);

// The scope's labels may appear once per source file: this function must be neither inlined nor
// cloned. It holds no object with a destructor, so the compiler adds no handler of its own. The
// memory barriers keep the stores of the normal path between the scope's labels, and make the
// code after the scope read `crashed` back instead of assuming the normal path's value.
__attribute__((noinline, noclone)) void RunGuarded(GuardedCall& callRef) {
    volatile GuardedCall* call = &callRef;
    std::uintptr_t a[4] = {0, 0, 0, 0};
    for (int i = 0; i < call->count && i < 4; ++i)
        a[i] = call->arguments[i];
    // On x86_64 the first four arguments travel in registers: passing four to an entry that
    // takes fewer is harmless.
    Entry4 entry = reinterpret_cast<Entry4>(reinterpret_cast<void (*)()>(call->entry));
    t_exceptionCode = 0;
    call->crashed = 1;
    asm volatile("" ::: "memory");
    __try1(TarvoCrashGuardFilter) call->result = entry(a[0], a[1], a[2], a[3]);
    call->crashed = 0;
    asm volatile("" ::: "memory");
    __except1 asm volatile("" ::: "memory");
    if (call->crashed)
        call->code = t_exceptionCode;
}

} // namespace

#else
#error "the crash guard is written for i686 and x86_64"
#endif

bool CallGuardedEntry(FARPROC entry, const std::uintptr_t* arguments, int count, long& result,
                      CSetupCException& caught) {
    GuardedCall call{entry, arguments, count < 0 ? 0 : (count > 4 ? 4 : count), 0, 0, 0};
    RunGuarded(call);
    if (call.crashed) {
        result = 0;
        caught = CSetupCException(static_cast<std::uint32_t>(call.code));
        return false;
    }
    result = call.result;
    return true;
}
