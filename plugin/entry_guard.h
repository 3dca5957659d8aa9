// How each of the plug-in's entry points runs its work (RunEntry).
//
// The engine calls the entry points as plain functions of the platform's calling convention: a
// C++ exception that left one would unwind through the engine's own frames, which cannot handle
// it, and end the engine's process. So nothing but the result leaves an entry point:
//
// - In a build with C++ exceptions (the test build) every exception the work lets through (an
//   allocation that fails, a text position out of range) is caught at the entry point, which
//   then answers EntryFailed. The objects of the frames in between are destroyed on the way, so
//   every handle the work held is closed, as on any other path.
// - The product is built without exceptions (for size: the loader travels on diskettes). There,
//   the run-time library's failures end the process at the point of failure
//   (setup/core/product_runtime.cpp), and that is the only defined choice left: the code between
//   the failure and the entry point has no way to be unwound, and jumping past it (longjmp, a
//   structured exception) would skip the destructors of those frames, which the language leaves
//   undefined and which would leave registry keys, files, loaded modules and the thread's COM
//   initialisation open in the engine's process. Keeping exceptions for the plug-in alone would
//   about double its size. The plug-in's allocations are a few kilobytes per call, so only a
//   machine that is already out of memory gets there.
//
// Before the work, RunEntry builds the setup library's process-wide objects (on the first call):
// they are built in an entry point, never while the DLL loads (setup/core/process_objects.h).
#pragma once

#include <windows.h>

#include "setup/core/process_objects.h"

namespace morvik {

// What an entry point answers when its work fails: the plug-in reports no failure to the
// engine, so this is the answer of every path.
constexpr LONG EntryFailed = 1;

template <typename Work> LONG RunEntry(Work work) noexcept {
#if defined(__cpp_exceptions)
    try {
        BuildProcessObjects();
        return work();
    } catch (...) {
        return EntryFailed;
    }
#else
    BuildProcessObjects();
    return work();
#endif
}

} // namespace morvik
