/* The i686 crash guard's assembly, run as a freestanding Linux i386 program (see
   crash_guard_i386.sh). A thread information block of our own sits on %fs (an LDT entry), so the
   guard's FS:[0] chain is real. The platform is played by:
   - Dispatch: walks the chain from FS:[0] and calls each handler as the platform does (cdecl, four
     arguments), with the direction flag set as a fault in a backward copy leaves it; an
     exception nobody handles ends the program;
   - RtlUnwind: calls the handlers above the target frame in unwinding mode and unlinks them, then
     returns with ebx, esi, edi and ebp clobbered and the direction flag set, as some systems'
     RtlUnwind leaves them;
   - a SIGSEGV handler that dispatches a real access violation and, like the platform's
     dispatcher, is abandoned by the guard's resume (SA_NODEFER keeps the signal usable).
   Every call goes through a wrapper that checks the caller's view afterwards: callee-saved
   registers kept, the stack pointer balanced, the direction flag clear, the chain as before. */

typedef unsigned int u32;

/* The guard's GuardedCall (crash_guard.cpp). */
typedef struct {
    const void* entry;
    const u32* arguments;
    int count;
    long result;
    unsigned long code;
    int crashed;
} GuardedCall;

typedef struct Registration {
    struct Registration* next;
    const void* handler;
} Registration;

typedef struct {
    u32 code;
    u32 flags;
    void* nested;
    void* address;
    u32 parameterCount;
} ExceptionRecord;

#define CHAIN_END ((Registration*)-1)
#define UNWINDING 2u
#define CONTINUE_SEARCH 1u
#define DIRECTION_FLAG 0x400u

extern void TarvoGuardedCall(GuardedCall*) __asm__("_TarvoGuardedCall");

/* --- output and ending, through the kernel directly --- */

static long Syscall3(long number, long a, long b, long c) {
    long r;
    __asm__ volatile("int $0x80" : "=a"(r) : "a"(number), "b"(a), "c"(b), "d"(c) : "memory");
    return r;
}

static void Say(const char* text) {
    int n = 0;
    while (text[n])
        ++n;
    Syscall3(4, 1, (long)text, n);
}

static void SayHex(u32 v) {
    char text[11] = "0x";
    for (int i = 0; i < 8; ++i)
        text[2 + i] = "0123456789abcdef"[(v >> (28 - 4 * i)) & 15];
    text[10] = 0;
    Say(text);
}

__attribute__((noreturn)) static void Quit(int code) {
    for (;;)
        Syscall3(1, code, 0, 0);
}

static int g_failures;
static const char* g_case = "";

static void Check(int ok, const char* what, u32 got) {
    if (ok)
        return;
    ++g_failures;
    Say("FAIL ");
    Say(g_case);
    Say(": ");
    Say(what);
    Say(", got ");
    SayHex(got);
    Say("\n");
}

/* --- the thread's handler chain --- */

static u32 g_threadBlock[16];

static Registration* ChainHead(void) {
    Registration* r;
    __asm__ volatile("movl %%fs:0, %0" : "=r"(r) : : "memory");
    return r;
}

static void SetChainHead(Registration* r) {
    __asm__ volatile("movl %0, %%fs:0" : : "r"(r) : "memory");
}

/* --- the platform's part --- */

static u32 CallHandler(const void* handler, ExceptionRecord* record, Registration* frame) {
    u32 answer;
    __asm__ volatile("pushl $0\n pushl $0\n pushl %2\n pushl %1\n std\n call *%3\n"
                     "cld\n addl $16, %%esp"
                     : "=a"(answer)
                     : "r"(record), "r"(frame), "r"(handler)
                     : "ecx", "edx", "memory", "cc");
    return answer;
}

static void Dispatch(u32 code) {
    ExceptionRecord record = {code, 0, 0, 0, 0};
    for (Registration* r = ChainHead(); r != CHAIN_END; r = r->next)
        if (CallHandler(r->handler, &record, r) != CONTINUE_SEARCH)
            return;
    Say("an exception reached the end of the chain\n");
    Quit(2);
}

volatile u32 g_directionFlagInUnwind;

void UnwindTo(Registration* target, ExceptionRecord* record) {
    record->flags |= UNWINDING;
    for (Registration* r = ChainHead(); r != target; r = ChainHead()) {
        if (r == CHAIN_END) {
            Say("the unwind target is not on the chain\n");
            Quit(3);
        }
        CallHandler(r->handler, record, r);
        SetChainHead(r->next);
    }
}

/* RtlUnwind(target frame, target address, exception record, return value), callee-cleans. */
__asm__(".text\n"
        ".globl _RtlUnwind_16\n"
        "_RtlUnwind_16:\n"
        "    pushfl\n"
        "    popl %eax\n"
        "    andl $0x400, %eax\n"
        "    orl %eax, g_directionFlagInUnwind\n"
        "    cld\n"
        "    pushl 12(%esp)\n"
        "    pushl 8(%esp)\n"
        "    call UnwindTo\n"
        "    addl $8, %esp\n"
        "    movl $0xdead0001, %ebx\n"
        "    movl $0xdead0002, %esi\n"
        "    movl $0xdead0003, %edi\n"
        "    movl $0xdead0004, %ebp\n"
        "    std\n"
        "    ret $16\n");

static void OnSegmentationFault(int signal) {
    (void)signal;
    Dispatch(0xC0000005u);
}

extern void SignalReturn(void) __asm__("SignalReturn");
__asm__(".text\nSignalReturn:\n movl $173, %eax\n int $0x80\n");

/* --- the module's entries --- */

__attribute__((stdcall)) long SumOfFour(u32 a, u32 b, u32 c, u32 d) {
    return (long)(a * 1000 + b * 100 + c * 10 + d);
}

__attribute__((cdecl)) long CallerCleans(u32 a, u32 b) {
    return (long)(a + b);
}

/* Declares two parameters more than it is given and writes to them. */
__attribute__((stdcall, noinline)) long WritesPastItsArguments(u32 a, u32 b, volatile u32 c,
                                                               volatile u32 d) {
    c = 0xbadbad;
    d = 0xbadbad;
    (void)c;
    (void)d;
    return (long)(a + b);
}

/* Answers its stack pointer at entry (pointing at the return address). */
extern long StackPointerAtEntry(void) __asm__("StackPointerAtEntry");
__asm__(".text\nStackPointerAtEntry:\n movl %esp, %eax\n ret\n");

static volatile int g_moduleSearches, g_moduleUnwinds;

static u32 ModuleHandler(ExceptionRecord* record, Registration* frame, void* context, void* d) {
    (void)frame, (void)context, (void)d;
    if (record->flags & UNWINDING)
        ++g_moduleUnwinds;
    else
        ++g_moduleSearches;
    return CONTINUE_SEARCH;
}

/* Has a frame of its own on the chain, spoils every register and raises code + a + b. */
__attribute__((stdcall, noinline)) long RaisesBelowAFrameOfItsOwn(u32 a, u32 b) {
    Registration own = {ChainHead(), (const void*)ModuleHandler};
    SetChainHead(&own);
    __asm__ volatile("movl $0x11111111, %%ebx\n movl $0x22222222, %%esi\n"
                     "movl $0x33333333, %%edi\n std" ::
                         : "ebx", "esi", "edi", "memory", "cc");
    Dispatch(0xC0000005u + a + b);
    return 0;
}

__attribute__((stdcall, noinline)) long WritesToAnInvalidAddress(void) {
    volatile int* volatile invalid = (int*)8;
    *invalid = 1;
    return 5;
}

/* Calls the guard's handler (the head of the chain) in unwinding mode; answers its answer * 100
   plus the record's code slot, which must stay 0. */
__attribute__((stdcall, noinline)) long CallsTheGuardWhileUnwinding(void) {
    Registration* guard = ChainHead();
    ExceptionRecord record = {0xC0000005u, UNWINDING, 0, 0, 0};
    const u32 answer = CallHandler(guard->handler, &record, guard);
    return (long)(answer * 100 + ((u32*)guard)[3]);
}

/* --- the guard, called as compiled code calls it --- */

u32 g_after[5];

static GuardedCall Guarded(const void* entry, const u32* arguments, int count) {
    GuardedCall call = {entry, arguments, count, -1, 0, -1};
    GuardedCall* p = &call;
    Registration* head = ChainHead();
    __asm__ volatile("pushl %%ebp\n pushl %%ebx\n pushl %%esi\n pushl %%edi\n"
                     "movl %%esp, %%ecx\n pushl %%ecx\n pushl %%eax\n"
                     "movl $0xa1a1a1a1, %%ebx\n movl $0xb2b2b2b2, %%esi\n"
                     "movl $0xc3c3c3c3, %%edi\n movl $0xd4d4d4d4, %%ebp\n"
                     "call _TarvoGuardedCall\n"
                     "movl %%ebx, g_after\n movl %%esi, g_after+4\n movl %%edi, g_after+8\n"
                     "movl %%ebp, g_after+12\n"
                     "addl $4, %%esp\n popl %%ecx\n subl %%esp, %%ecx\n"
                     "pushfl\n popl %%eax\n andl $0x400, %%eax\n orl %%eax, %%ecx\n"
                     "movl %%ecx, g_after+16\n"
                     "popl %%edi\n popl %%esi\n popl %%ebx\n popl %%ebp\n"
                     : "+a"(p)
                     :
                     : "ecx", "edx", "memory", "cc");
    Check(g_after[0] == 0xa1a1a1a1 && g_after[1] == 0xb2b2b2b2 && g_after[2] == 0xc3c3c3c3,
          "ebx, esi and edi kept", g_after[0]);
    Check(g_after[3] == 0xd4d4d4d4, "ebp kept", g_after[3]);
    Check((g_after[4] & ~DIRECTION_FLAG) == 0, "stack pointer balanced", g_after[4]);
    Check((g_after[4] & DIRECTION_FLAG) == 0, "direction flag clear", g_after[4]);
    Check(ChainHead() == head, "the chain as before", (u32)ChainHead());
    return call;
}

static void Returns(const char* name, const void* entry, const u32* arguments, int count,
                    long expected) {
    g_case = name;
    const GuardedCall call = Guarded(entry, arguments, count);
    Check(call.crashed == 0, "returned", (u32)call.crashed);
    Check(call.result == expected, "result", (u32)call.result);
}

static void Crashes(const char* name, const void* entry, const u32* arguments, int count,
                    u32 code) {
    g_case = name;
    const GuardedCall call = Guarded(entry, arguments, count);
    Check(call.crashed == 1, "crashed", (u32)call.crashed);
    Check(call.code == code, "exception code", (u32)call.code);
}

void Main(void) __asm__("Main");
void Main(void) {
    struct {
        u32 entry, base, limit, flags;
    } descriptor = {0, (u32)g_threadBlock, sizeof g_threadBlock - 1, 1 /* 32-bit */ | 0x40};
    if (Syscall3(123 /* modify_ldt */, 1, (long)&descriptor, sizeof descriptor) != 0) {
        Say("modify_ldt failed\n");
        Quit(4);
    }
    __asm__ volatile("movw $7, %%ax\n movw %%ax, %%fs" : : : "eax");
    Registration outermost = {CHAIN_END, 0};
    SetChainHead(&outermost);

    struct {
        void (*handler)(int);
        u32 flags;
        void (*restorer)(void);
        u32 mask[2];
    } action = {OnSegmentationFault,
                0x40000000u /* no defer */ | 0x04000000u /* restorer */,
                SignalReturn,
                {0, 0}};
    long r;
    __asm__ volatile("int $0x80"
                     : "=a"(r)
                     : "a"(174 /* rt_sigaction */), "b"(11), "c"(&action), "d"(0), "S"(8)
                     : "memory");
    if (r != 0) {
        Say("rt_sigaction failed\n");
        Quit(5);
    }

    const u32 args[] = {1, 2, 3, 4};
    for (int round = 0; round < 3; ++round) {
        Returns("four arguments", (const void*)SumOfFour, args, 4, 1234);
        Returns("caller-cleans entry", (const void*)CallerCleans, args + 2, 2, 7);
        Returns("writes past its arguments", (const void*)WritesPastItsArguments, args, 2, 3);
        for (int count = 0; count <= 4; ++count) {
            g_case = "stack alignment";
            const GuardedCall call = Guarded((const void*)StackPointerAtEntry, args, count);
            Check(((u32)call.result & 15) == 12, "16 bytes at the call", (u32)call.result);
        }
        Returns("unwinding pass", (const void*)CallsTheGuardWhileUnwinding, 0, 0,
                CONTINUE_SEARCH * 100);

        g_moduleSearches = g_moduleUnwinds = 0;
        Crashes("raised below a frame of the module", (const void*)RaisesBelowAFrameOfItsOwn, args,
                2, 0xC0000008u);
        Check(g_moduleSearches == 1 && g_moduleUnwinds == 1,
              "the module's frame searched, then unwound",
              (u32)(g_moduleSearches * 16 + g_moduleUnwinds));
        Crashes("access violation", (const void*)WritesToAnInvalidAddress, 0, 0, 0xC0000005u);
    }
    g_case = "RtlUnwind";
    Check(g_directionFlagInUnwind == 0, "called with the direction flag clear",
          g_directionFlagInUnwind);
    Say(g_failures ? "FAILED\n" : "all passed\n");
    Quit(g_failures ? 1 : 0);
}

__asm__(".text\n.globl _start\n_start:\n andl $-16, %esp\n call Main\n");
