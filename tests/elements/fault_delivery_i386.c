/* How a hardware fault of 32-bit code reaches its signal handler: a freestanding Linux i386
   program (no C library), run natively and under qemu's user-mode emulator by
   fault_delivery_i386.sh. Wine turns the signal into a Windows exception code from the trap
   number in the signal frame (14, a page fault: access violation; 0, a divide error: integer
   division by zero), and runs its handlers trusting that the direction flag is clear, as the
   kernel leaves it when it delivers a signal. The program faults the way its argument says and
   its handler prints what it was given:
     av    a write to address 8
     div   an integer division by zero
     df    a write to address 8 with the direction flag set (as in a backward string copy)
   one line "signal=<n> trap=<trap number> df-in-handler=<0|1>", then exit 0. */

typedef unsigned int u32;

static long sys3(long number, long a, long b, long c) {
    long result;
    __asm__ volatile("int $0x80" : "=a"(result) : "a"(number), "b"(a), "c"(b), "d"(c) : "memory");
    return result;
}

static long sys4(long number, long a, long b, long c, long d) {
    long result;
    __asm__ volatile("int $0x80"
                     : "=a"(result)
                     : "a"(number), "b"(a), "c"(b), "d"(c), "S"(d)
                     : "memory");
    return result;
}

static void put(const char* text) {
    long n = 0;
    while (text[n])
        ++n;
    sys3(4, 1, (long)text, n);
}

static void put_number(long value) {
    char buf[16];
    int i = 15;
    int negative = value < 0;
    unsigned long v = negative ? (unsigned long)-value : (unsigned long)value;
    buf[i] = 0;
    do {
        buf[--i] = (char)('0' + v % 10);
        v /= 10;
    } while (v);
    if (negative)
        buf[--i] = '-';
    put(buf + i);
}

/* The i386 signal frame's machine context: gregs[12] is the trap number. */
#define UC_MCONTEXT 20
#define REG_TRAPNO 12

static void handler(int signal, void* info, void* context) {
    u32 flags;
    (void)info;
    __asm__ volatile("pushfl\n\tpopl %0" : "=r"(flags));
    const int* gregs = (const int*)((const char*)context + UC_MCONTEXT);
    put("signal=");
    put_number(signal);
    put(" trap=");
    put_number(gregs[REG_TRAPNO]);
    put(" df-in-handler=");
    put_number((flags >> 10) & 1);
    put("\n");
    sys3(1, 0, 0, 0);
}

/* The kernel's struct for rt_sigaction on i386. */
struct kernel_sigaction {
    void (*handler)(int, void*, void*);
    u32 flags;
    void (*restorer)(void);
    u32 mask[2];
};

#define SA_SIGINFO 4u
#define SA_NODEFER 0x40000000u

static int same(const char* a, const char* b) {
    while (*a && *a == *b)
        ++a, ++b;
    return *a == *b;
}

int run(int argc, char** argv) {
    struct kernel_sigaction action = {handler, SA_SIGINFO | SA_NODEFER, 0, {0, 0}};
    /* rt_sigaction(signal, action, no old action, the size of the signal mask) */
    if (sys4(174, 11, (long)&action, 0, 8) != 0 || sys4(174, 8, (long)&action, 0, 8) != 0) {
        put("rt_sigaction failed\n");
        return 4;
    }
    if (argc < 2) {
        put("usage: fault_delivery_i386 av|div|df\n");
        return 2;
    }
    volatile int* volatile invalid = (int*)8;
    if (same(argv[1], "av")) {
        *invalid = 1;
    } else if (same(argv[1], "div")) {
        volatile int zero = 0;
        volatile int ten = 10;
        return ten / zero;
    } else if (same(argv[1], "df")) {
        __asm__ volatile("std" ::: "memory");
        *invalid = 1;
    }
    put("no fault\n");
    return 3;
}

__asm__(".globl _start\n"
        "_start:\n"
        "    movl (%esp), %eax\n"
        "    leal 4(%esp), %ecx\n"
        "    andl $-16, %esp\n"
        "    subl $8, %esp\n"
        "    pushl %ecx\n"
        "    pushl %eax\n"
        "    call run\n"
        "    movl %eax, %ebx\n"
        "    movl $1, %eax\n"
        "    int $0x80\n");
