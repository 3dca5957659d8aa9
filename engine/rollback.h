// Rolling back an installation that did not finish: the steps its log recorded are undone in
// reverse, each by the states saved before it and, where those do not cover it, by its kind.
#pragma once

#include <string>

#include "transaction_log.h"

// Undoes every step of the log in reverse, puts back what was kept aside, and removes the log.
// The log stays when something could not be put back, so that another run can try again; false
// then, and when the log's header cannot be read.
[[nodiscard]] bool RollBack(const std::string& logPath, const TransactionLog& log);

// Ends a repair or upgrade of the installation at `logPath` whose log (NextLogOf) is committed:
// an upgrade's log takes the place of the installation's (it is copied over it), and the repair's
// or upgrade's own log and folder kept aside go. False when the copy could not be made (the
// committed log stays: the next start finishes it) or that log cannot be read.
[[nodiscard]] bool FinishReinstallation(const std::string& logPath);

// Rolls back an installation that did not finish at `logPath`, and first a repair or upgrade of
// it that did not finish (one that committed is finished). Answers ExitOk when there was
// none (no log, or a committed one) or it was rolled back; ExitRefused when the log cannot be
// read, ExitRollbackIncomplete when the rollback could not put everything back.
[[nodiscard]] int RecoverIfUnfinished(const std::string& logPath);
