// Rolling back an installation that did not finish: the steps its log recorded are undone in
// reverse, each by the states saved before it and, where those do not cover it, by its kind.
#pragma once

#include <string>

#include "transaction_log.h"

// Undoes every step of the log in reverse, puts back what was kept aside, and removes the log.
// The log stays when something could not be put back, so that another run can try again; false
// then, and when the log's header cannot be read.
[[nodiscard]] bool RollBack(const std::string& logPath, const TransactionLog& log);

// Rolls back an installation that did not finish at `logPath`. Answers ExitOk when there was
// none (no log, or a committed one) or it was rolled back; ExitRefused when the log cannot be
// read, ExitRollbackIncomplete when the rollback could not put everything back.
[[nodiscard]] int RecoverIfUnfinished(const std::string& logPath);
