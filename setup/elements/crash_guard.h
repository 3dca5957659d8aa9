// The crash guard around calls into product modules (self-registration entries, custom DLL
// entries): a processor or platform exception that leaves the called entry (an access violation,
// a C++ exception the module throws and does not catch, a division by zero) ends the call
// instead of the process. The guard's result reports it, with a CSetupCException carrying its
// code; nothing is thrown, so the guard works the same in code built without C++ exceptions.
//
// The guard is frame-based: it is one exception-handling frame on the calling thread, around the
// call only. Exceptions that the module raises and handles itself (a C++ exception it catches,
// the debug-output exception of OutputDebugStringA) are dispatched to the module's own frames
// first and never reach the guard; only what would otherwise end the process does. Vectored
// handlers are not used: they see every exception first, handled or not, and do not exist on
// Windows 95/98 and NT before 5.1.
//
// How the frame is made:
// - x86_64: a scope entry of the platform's language handler (__C_specific_handler) covering the
//   call, with a filter that records the exception code and answers "execute handler". The
//   platform then unwinds the module's frames (running their cleanups) and resumes right after
//   the call with the caller's non-volatile registers restored.
// - i686: an exception-registration record pushed on the thread's handler chain (FS:[0]) for the
//   duration of the call. It holds, after the chain link and the handler address, the guard's
//   frame pointer and a slot for the exception code. On an exception (not an unwind) the handler
//   stores the code, calls RtlUnwind with the record as target frame, which runs the handlers of
//   the frames above it in unwinding mode and leaves FS:[0] pointing at the record, then reloads
//   the saved frame pointer from the record and jumps to the guard's resume point. The resume
//   point resets the stack pointer from the frame pointer (abandoning the dispatcher's frames
//   below), restores the caller's ebx, esi and edi from the guard's own frame (RtlUnwind does not
//   preserve them on every system), clears the direction flag, unlinks the record and returns.
//   The stack pointer is also reset from the frame pointer after a normal return, so an entry
//   declared with the wrong calling convention (caller-cleans instead of callee-cleans) does not
//   unbalance the stack. The arguments are placed 16 bytes below the record, with the stack
//   aligned to 16 bytes at the call (what code built by GCC expects; 4 is all the platform
//   promises): an entry that declares a few more parameters than it is given and writes to them
//   does not overwrite the record.
//
// Handler validation of later systems (i686): Windows 95/98/Me and NT 3.51 to 2000 call any
// handler on the chain. From XP SP2 and Server 2003 the dispatcher checks a handler against the
// SafeSEH table of the image that holds it: an image with such a table (in its load
// configuration) must list the handler, an image marked "no SEH" has all its handlers refused,
// and an image without a table is trusted. The product images are linked by GNU ld, which builds
// no SafeSEH table and no load configuration, and without --no-seh: the handler is accepted. The
// i686 build checks both properties of Quenda.exe and Morvik.dll after linking (a toolchain that
// starts emitting a table would otherwise make every crash fatal on those systems only). Chain
// validation (SEHOP, Vista SP1 and later) only requires the record to be linked properly, on the
// stack and 4-byte aligned, which it is.
//
// What the guard cannot repair: a module that corrupts the stack or the heap before it faults,
// or leaves locks held, may still bring the process down later; after a stack overflow the
// thread's guard page is not restored. A crash inside a module's DllMain is not seen here: the
// platform's loader contains it and LoadLibrary fails. On i686, a module whose C++ exceptions
// are table-driven without the platform's exception dispatch (GCC's DWARF unwinder) and that
// lets one escape ends the process through its own runtime (terminate) before any platform
// exception is raised; modules whose exceptions are platform exceptions (Visual C++) are caught.
#pragma once

#include <windows.h>

#include <cstdint>

// What the guard caught: the code of the processor or platform exception that left the
// called entry (0xC0000005 for an access violation, 0x20474343 for an uncaught C++ exception of
// a module built with GCC, 0xE06D7363 for one of a module built with Visual C++).
class CSetupCException {
public:
    explicit CSetupCException(std::uint32_t code) : m_code(code) {}
    std::uint32_t GetCode() const { return m_code; }

private:
    std::uint32_t m_code;
};

// Calls `entry` with the first `count` (0 to 4) of `arguments` as pointer-sized arguments in the
// platform's standard calling convention (callee-cleans on i686); an entry that takes more
// arguments than `count` reads zeros for the rest. Returns true when the entry
// returned: `result` receives its 32-bit result. Returns false when an exception left the entry:
// `caught` receives its code and `result` is 0. Either way the process goes on, and the guard can
// be used again at once. The entry runs on the calling thread.
[[nodiscard]] bool CallGuardedEntry(FARPROC entry, const std::uintptr_t* arguments, int count,
                                    long& result, CSetupCException& caught);
