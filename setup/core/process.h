// Process launching and message pumping: a thin, fixed layer over the platform's process
// interface. What matters is the exact command line built, the flags passed and when a call
// returns.
#pragma once

#include <string>

// Starts `program` (application name, unchanged) with the command line " " + arguments, a console
// of its own (CREATE_NEW_CONSOLE) and the caller's start-up information. Does not wait.
[[nodiscard]] bool StartProgram(const std::string& program, const std::string& arguments);
// As StartProgram but with zeroed start-up information and no creation flags; waits for the
// process to end, polling every millisecond and dispatching one window message per poll.
[[nodiscard]] bool StartProgramAndWait(const std::string& program, const std::string& arguments);
// Handles at most one pending message of the calling thread (translated and dispatched).
void PumpOneMessage();
// Merges a registry file silently with the system's own registry editor: "regedit.exe" of the
// Windows folder, started by its full path (never one from the current folder or the search
// path) with "/S" and the file's short path (the path as given when it has none) in double
// quotes, its window hidden. Waits for the editor to end, dispatching messages as
// StartProgramAndWait does, so the values are in place on return. True when the editor was
// started; the editor reports no failure (it ends with 0 even for a missing or malformed file),
// so whether the values arrived is only seen in the registry.
[[nodiscard]] bool MergeRegistryFile(const std::string& path);
