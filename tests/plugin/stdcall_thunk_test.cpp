// The six exports of Morvik.dll as a foreign engine calls them at 32 bits: through a hand-written
// call sequence, not the compiler's, at each stack alignment the platform allows (the stack
// pointer at the call is 16-byte aligned, or 12, 8 or 4 bytes past that). After every call the
// stack pointer must be where it was before the four arguments were pushed (the entry removes
// its 16 bytes itself), EBX, ESI, EDI and EBP must hold what the caller put there, and the
// direction flag must be clear. In the i686 tree the DLL is the product's own build/i686 file.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>

#include "hotsync_fixture.h"
#include "plugin/engine_interface.h"
#include "setup/core/component.h"
#include "setup/core/handles.h"
#include "support/fixtures.h"

using namespace plugintest;

#if defined(__i386__)

// What the call sequence is given and what it saw. Offsets are used by the assembly below.
struct ThunkCall {
    void* entry;             // 0
    std::uint32_t args[4];   // 4: first argument first
    std::uint32_t drop;      // 20: bytes below a 16-byte boundary before the arguments are pushed
    std::uint32_t result;    // 24
    std::uint32_t espBefore; // 28: before the arguments are pushed
    std::uint32_t espAtCall; // 32: after they are pushed (the alignment the entry meets)
    std::uint32_t espAfter;  // 36: after the entry returned
    std::uint32_t ebx, esi, edi, ebp; // 40, 44, 48, 52: after the entry returned
    std::uint32_t eflags;             // 56: after the entry returned
};
static_assert(sizeof(ThunkCall) == 60, "the assembly's offsets");

extern "C" {
ThunkCall* g_thunkCall;
std::uint32_t g_thunkSavedEsp;
}

// Sentinels the callee-saved registers hold across the call.
constexpr std::uint32_t SentinelEbx = 0x1BADB0B1;
constexpr std::uint32_t SentinelEsi = 0x2BADB0B2;
constexpr std::uint32_t SentinelEdi = 0x3BADB0B3;
constexpr std::uint32_t SentinelEbp = 0x4BADB0B4;

// No prologue or epilogue of the compiler's: the body is the whole call sequence.
extern "C" __attribute__((naked)) void __cdecl CallThroughThunk(ThunkCall*) {
    asm volatile(R"(
    pushl %ebp
    pushl %ebx
    pushl %esi
    pushl %edi
    movl 20(%esp), %eax
    movl %eax, _g_thunkCall
    movl %esp, _g_thunkSavedEsp
    andl $-16, %esp
    subl 20(%eax), %esp
    movl %esp, 28(%eax)
    pushl 16(%eax)
    pushl 12(%eax)
    pushl 8(%eax)
    pushl 4(%eax)
    movl %esp, 32(%eax)
    movl 0(%eax), %ecx
    movl $0x1BADB0B1, %ebx
    movl $0x2BADB0B2, %esi
    movl $0x3BADB0B3, %edi
    movl $0x4BADB0B4, %ebp
    cld
    call *%ecx
    movl _g_thunkCall, %ecx
    movl %eax, 24(%ecx)
    movl %esp, 36(%ecx)
    movl %ebx, 40(%ecx)
    movl %esi, 44(%ecx)
    movl %edi, 48(%ecx)
    movl %ebp, 52(%ecx)
    pushfl
    popl %eax
    movl %eax, 56(%ecx)
    movl _g_thunkSavedEsp, %esp
    popl %edi
    popl %esi
    popl %ebx
    popl %ebp
    ret
)");
}

namespace {

const char* const EntryPoints[] = {"Initialize",   "PreInstall",    "PostInstall",
                                   "PreUNInstall", "PostUNInstall", "UNInitialize"};

class StdcallThunk : public ::testing::Test {
protected:
    void SetUp() override {
        module.Reset(LoadLibraryA(testsupport::WindowsPathOf(TARVO_MORVIK_DLL).c_str()));
        ASSERT_TRUE(module.IsOpen()) << TARVO_MORVIK_DLL;
        HotSyncRegistry::InstallFirstGeneration(true, folder.Path());
    }

    HotSyncRegistry hotsync;
    HotSyncFolder folder;
    LoadedModule module;
};

} // namespace

TEST_F(StdcallThunk, EveryEntryRemovesItsArgumentsAndKeepsTheCallersRegisters) {
    const char text[] = "x";
    std::printf("entry          align  result  popped  ebx/esi/edi/ebp  DF\n");
    for (std::uint32_t alignment : {16u, 12u, 8u, 4u}) {
        for (int i = 0; i < 6; ++i) {
            // Fresh records per call: the entry points change what they are given.
            ComponentRegistry registry;
            InstallRecord record = {};
            record.Registry = &registry;
            void* argument = i < 3 ? static_cast<void*>(&record) : static_cast<void*>(&registry);

            ThunkCall call = {};
            call.entry = reinterpret_cast<void*>(GetProcAddress(module.Get(), EntryPoints[i]));
            ASSERT_NE(call.entry, nullptr) << EntryPoints[i];
            call.args[0] = 0;
            call.args[1] = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(argument));
            call.args[2] = 0;
            call.args[3] = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(text));
            call.drop = (16 - alignment) % 16;
            CallThroughThunk(&call);

            const bool registersKept = call.ebx == SentinelEbx && call.esi == SentinelEsi &&
                                       call.edi == SentinelEdi && call.ebp == SentinelEbp;
            const bool directionClear = (call.eflags & 0x400) == 0;
            std::printf("%-14s %5u  %6u  %6d  %-15s  %s\n", EntryPoints[i],
                        static_cast<unsigned>(alignment), static_cast<unsigned>(call.result),
                        static_cast<int>(call.espAfter - call.espAtCall),
                        registersKept ? "kept" : "CHANGED", directionClear ? "clear" : "SET");
            SCOPED_TRACE(testing::Message() << EntryPoints[i] << " at alignment " << alignment);
            EXPECT_EQ(call.espAtCall % 16, alignment % 16) << "the call sequence itself";
            EXPECT_EQ(call.espAfter, call.espBefore) << "the entry must remove its 16 bytes";
            EXPECT_EQ(call.ebx, SentinelEbx);
            EXPECT_EQ(call.esi, SentinelEsi);
            EXPECT_EQ(call.edi, SentinelEdi);
            EXPECT_EQ(call.ebp, SentinelEbp);
            EXPECT_TRUE(directionClear);
            EXPECT_EQ(call.result, 1u) << "the plug-in reports no failure to the engine";
        }
    }
}

#endif
