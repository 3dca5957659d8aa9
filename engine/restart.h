// What waits for the restart, as the library's restart scheduling (setup/core/restart_schedule.h)
// writes it: on the Windows 95/98 family the key lines of the "rename" section of WININIT.INI
// ("NUL=<short path>" deletes, "<short target>=<short staging>" moves a staging copy into
// place), on the NT family the platform's pending moves (the REG_MULTI_SZ value
// PendingFileRenameOperations: pairs of source and target, "\??\" before each path, "!" before a
// target that may be replaced, an empty target for a deletion). Which of the two is read follows
// the library's restart platform (CurrentRestartPlatform), as the scheduling itself does.
//
// A step that may schedule something saves the list before it runs; putting that back takes out
// exactly the entries that appeared since, and deletes the staging copies their moves would
// have put in place. Entries that were there before stay, in their order; putting back twice
// changes nothing more.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "setup/core/seam.h"
#include "transaction_log.h"

// One entry of the list: `source` moves onto `target` at the restart (an empty target deletes
// `source`). Paths as written there, without "\??\" or "!".
struct PendingRename {
    std::string source;
    std::string target;
};

// The entries waiting for the restart now.
std::vector<PendingRename> PendingRenames();

// The list as it is now, to be saved before a step (a Saved of kind RestartList).
Saved SaveRestartList();

// The list read once for the states of steps that are all saved before any of them runs (a
// batch of them): nothing can change it in between.
class RestartListReading {
public:
    // The list as SaveRestartList reads it, read at the first call.
    const Saved& Now();

private:
    bool m_read = false;
    Saved m_saved;
};

// Takes out what was added to the list since `saved` was taken and deletes the staging copies
// of the moves among it. False when the list could not be read or rewritten, or a staging copy
// could not be deleted.
[[nodiscard]] bool CancelAddedRestartEntries(const Saved& saved);

// The key under HKEY_LOCAL_MACHINE that holds the NT family's pending moves; tests point it at
// a scratch key so that nothing reaches the machine's real list.
Seam<const char*>& PendingMovesKeyForTesting();

// Schedules the folder levels from `deepest` up to `created` for removal at the restart, deepest
// first; each level scheduled goes into `scheduled`. For folders that could not go yet because a
// file in them waits for the restart. A level is scheduled only when everything in it goes at the
// restart too: one that holds anything else (a user's documents) stays, with the levels above it,
// and the answer is false.
[[nodiscard]] bool RemoveFoldersAtRestart(const std::string& deepest, const std::string& created,
                                          std::vector<std::string>& scheduled);

// Whether something in `pending` replaces or deletes `path` at the restart (paths compare by
// their short forms, which is all WININIT.INI holds, ignoring case).
bool WaitsForRestart(const std::string& path, const std::vector<PendingRename>& pending);

// Asks the platform to restart now (on the NT family with the shutdown privilege the process
// turns on first); false when it refused.
[[nodiscard]] bool RestartWindowsNow();
