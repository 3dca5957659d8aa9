// Helpers for the cases of the restart stage (see README.md in this folder).
//
// A case is a pair of GoogleTest tests named <Case>.Schedule and <Case>.Check. The stage runs
// every Schedule test, restarts Wine (a fresh server start in the stage's own prefix), then runs
// every Check test. Nothing survives between the phases but the files and registry of the
// prefix, so a case keeps what it needs in its own folder.
#pragma once

#include <string>
#include <vector>

#include "support/fixtures.h"

namespace stage {

// C:\restart-stage\<name>: a case's own folder (no long names above it).
std::string CaseFolder(const std::string& name);
// The case's folder, emptied and created anew (Schedule phases).
std::string FreshCaseFolder(const std::string& name);
using testsupport::FilesIn;
// The whole content of a file; `ok` false when it cannot be read.
std::string ReadAll(const std::string& path, bool* ok = nullptr);
bool WriteAll(const std::string& path, const std::string& bytes);
bool Exists(const std::string& path);
// The Windows folder (which holds WININIT.INI and, after a restart, wininit.bak).
std::string WindowsFolder();
// The size in bytes of the NT family's list of delayed moves (PendingFileRenameOperations);
// 0 when there is none. An empty list takes at most 2 bytes.
unsigned long PendingRenameBytes();
// True in the Windows 98 run (WININIT.INI), false in the Windows 2000 run (delayed moves).
bool Win9xRun();

} // namespace stage
