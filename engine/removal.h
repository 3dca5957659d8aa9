// What a committed log allows: checking that what the installation did is still there, and
// removing it again in reverse order. Both rebuild the product from the log alone; a log that did
// not commit is refused (ExitRefused) and left as it is. Each answers the run's exit code.
#pragma once

#include <string>

#include "kind_table.h"
#include "transaction_log.h"

[[nodiscard]] int Check(const std::string& logPath);

// The question before an interactive removal, "Remove <product> and all of its components?",
// asked before anything runs (the plug-in's calls included): ExitCancelled when the user answers
// No (nothing was changed), ExitOk to go on, also when no message box can be shown.
[[nodiscard]] int AskBeforeRemoval(const std::string& logPath);

// Undoes each element by the outcome its log records. Run interactively, it shows its progress
// without Cancel and ends with a report of what was left and why. The log goes; what could not be
// undone is written back to it, so that another removal can try again.
[[nodiscard]] int Remove(const std::string& logPath);

// Takes one element of a committed log back as removal does: the kind's removal (or the row's
// own, such as a replaced registry value put back), then the folders and keys the step created.
// What the step means; what could not be removed is said as a "left:" line.
StepMeaning UndoInstalled(WSetupElement* element, const LoggedStep& step, FwStringArray& rebootList,
                          StepResult& r);
