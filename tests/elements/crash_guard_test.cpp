// The crash guard on its own, around entries of the test program itself: what reaches the
// entry, what comes back, and faults contained one after another.
#include "setup/elements/crash_guard.h"

#include <gtest/gtest.h>

#include <stdexcept>

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

TEST(CrashGuard, FaultsOneAfterAnotherAreContained) {
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
