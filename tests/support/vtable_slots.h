// Reading virtual tables in tests: the slot index a member function pointer designates, and the
// table of an object, so tests can check the slot order that the binary interface fixes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace testsupport {

// The vtable index that a pointer to a virtual member function designates (the compiler encodes
// it as one plus the byte offset into the table); -1 for a non-virtual function.
template <class F> int SlotOf(F pmf) {
    struct Raw {
        std::uintptr_t ptr;
        std::ptrdiff_t adj;
    } raw;
    static_assert(sizeof(pmf) == sizeof(raw), "member pointer representation");
    std::memcpy(&raw, &pmf, sizeof raw);
    if ((raw.ptr & 1) == 0)
        return -1;
    return static_cast<int>((raw.ptr - 1) / sizeof(void*));
}

// A function pointer type that calls a virtual slot as the compiler calls a member function: on
// i686 member functions are __thiscall (the object in ECX, not on the stack), so a plain
// function pointer would hand the callee a wrong object. On x86_64 the conventions coincide.
#if defined(__i386__)
template <class R, class... Args> using MemberCall = R(__attribute__((thiscall)) *)(Args...);
#else
template <class R, class... Args> using MemberCall = R (*)(Args...);
#endif

// The virtual table of a polymorphic object.
inline void* const* VtableOf(const void* object) {
    return *static_cast<void* const* const*>(object);
}

} // namespace testsupport
