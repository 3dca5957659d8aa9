// The installation: the description is built and checked whole, then every element of the
// selected components is installed as one transaction whose log becomes the uninstall log. An
// element that fails, a log that cannot be written or the user's cancel rolls back what was done.
// The macro context must be filled from the description first (FillContext).
#pragma once

#include <string>

#include "description.h"

// What the test build of the engine asks of an installation (test_switches.h); the shipped
// engine leaves it as it is.
struct InstallSwitches {
    int cancelAfter = 0; // the user's cancel is requested right after element n's outcome
};

// Installs the product with its log at `logPath`; a log already there (a committed installation)
// is refused. Answers the run's exit code.
[[nodiscard]] int Install(const ProductDescription& description, const std::string& logPath,
                          const InstallSwitches& switches);
