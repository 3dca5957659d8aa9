// Process launching and message pumping: a thin, fixed layer over the platform's process
// interface. What matters is the exact command line built, the flags passed and when a call
// returns.
#pragma once

#include <string>

// Starts `program` (application name, unchanged) with the command line " " + arguments, a console
// of its own (CREATE_NEW_CONSOLE) and the caller's start-up information. Does not wait.
bool StartProgram(const std::string& program, const std::string& arguments);
// As StartProgram but with zeroed start-up information and no creation flags; waits for the
// process to end, polling every millisecond and dispatching one window message per poll.
bool StartProgramAndWait(const std::string& program, const std::string& arguments);
// Handles at most one pending message of the calling thread (translated and dispatched).
void PumpOneMessage();
// Starts "regedit.exe /S \"<short path>\"" hidden; true when the platform accepted the start.
// Does not wait for the merge.
bool MergeRegistryFile(const std::string& path);
