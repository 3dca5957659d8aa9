// What a committed log allows: checking that what the installation did is still there, and
// removing it again in reverse order. Both rebuild the product from the log alone; a log that did
// not commit is refused (ExitRefused) and left as it is. Each answers the run's exit code.
#pragma once

#include <string>

[[nodiscard]] int Check(const std::string& logPath);

// Undoes each element by the outcome its log records. The log goes; what could not be undone is
// written back to it, so that another removal can try again.
[[nodiscard]] int Remove(const std::string& logPath);
