// What the product's run-time libraries lack or do differently, supplied here: the product is
// built without C++ exceptions and links the C run-time DLL crtdll.dll (the build says which
// by its flags and TARVO_CRTDLL). A build with exceptions and the compiler's usual C run-time
// (the test build) compiles none of this.
//
// Without exceptions, the C++ run-time library's own helpers for the failures it reports by
// throwing (an allocation that fails, a text position out of range) would still build and throw
// an exception object that no frame of ours can catch, so the program would end anyway, only
// through the unwinder and the message-printing terminate handler, which with their
// dependencies take more than a third of the loader. The replacements below end the program at
// once, the way an uncaught exception does.
#include <cstdlib>
#include <new>
#include <string>

#if !defined(__cpp_exceptions)

namespace {

[[noreturn]] void EndProgram() {
    std::abort();
}

} // namespace

// The library's throw helpers (<bits/functexcept.h>): all of those that one library unit
// defines, so that unit is never linked in beside these.
namespace std {
void __throw_bad_exception() {
    EndProgram();
}
void __throw_bad_alloc() {
    EndProgram();
}
void __throw_bad_array_new_length() {
    EndProgram();
}
void __throw_bad_cast() {
    EndProgram();
}
void __throw_bad_typeid() {
    EndProgram();
}
void __throw_logic_error(const char*) {
    EndProgram();
}
void __throw_domain_error(const char*) {
    EndProgram();
}
void __throw_invalid_argument(const char*) {
    EndProgram();
}
void __throw_length_error(const char*) {
    EndProgram();
}
void __throw_out_of_range(const char*) {
    EndProgram();
}
void __throw_out_of_range_fmt(const char*, ...) {
    EndProgram();
}
void __throw_runtime_error(const char*) {
    EndProgram();
}
void __throw_range_error(const char*) {
    EndProgram();
}
void __throw_overflow_error(const char*) {
    EndProgram();
}
void __throw_underflow_error(const char*) {
    EndProgram();
}
} // namespace std

// Allocation: the replaceable global functions, without the exception object the library's
// own operator new builds when no new-handler frees memory.
void* operator new(std::size_t size) {
    if (size == 0)
        size = 1;
    for (;;) {
        if (void* block = std::malloc(size))
            return block;
        std::new_handler handler = std::get_new_handler();
        if (!handler)
            std::__throw_bad_alloc();
        handler();
    }
}
void* operator new[](std::size_t size) {
    return ::operator new(size);
}
void operator delete(void* block) noexcept {
    std::free(block);
}
void operator delete[](void* block) noexcept {
    std::free(block);
}
void operator delete(void* block, std::size_t) noexcept {
    std::free(block);
}
void operator delete[](void* block, std::size_t) noexcept {
    std::free(block);
}

// The text class's members, made here without exceptions instead of taken from the library's
// copy, which carries exception cleanups and with them the unwinder.
template class std::__cxx11::basic_string<char>;

// The library's default terminate handler prints the exception's type, which needs its name
// demangler (about 75 KB); the product has no console to print to.
namespace __gnu_cxx {
void __verbose_terminate_handler() {
    EndProgram();
}
} // namespace __gnu_cxx

#endif

#if defined(TARVO_CRTDLL)

// crtdll.dll exports the time query under its first name, "time"; the headers of a 32-bit
// build call it "_time32", a name only later run-times export. Calls through the import table
// reach this forwarder.
extern "C" {
typedef long(__cdecl* TimeQuery)(long*);
extern TimeQuery _imp__time; // crtdll.dll!time, as the loader resolves it
static long __cdecl ForwardTime(long* time) {
    return _imp__time(time);
}
TimeQuery _imp___time32 = ForwardTime;
}

#endif
