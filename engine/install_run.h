// The installation: the description is built and checked whole, then every element of the
// selected components is installed as one transaction whose log becomes the uninstall log. An
// element that fails, a log that cannot be written or the user's cancel rolls back what was done.
// The macro context must be filled from the description first (FillContext).
#pragma once

#include <string>

#include "description.h"

// The test switches of an installation (see the engine's command line).
struct InstallSwitches {
    int stopAfter = 0;
    bool tear = false;
    int cancelAfter = 0;
};

// Installs the product with its log at `logPath`; a log already there (a committed installation)
// is refused. Answers the run's exit code.
int Install(const ProductDescription& description, const std::string& logPath,
            const InstallSwitches& switches);

// The copy of the stop-in-copy switch: a file of 1 MB or more is copied half-way, and then the
// process ends (exit code 9); a smaller one is copied whole.
bool CopyAndStopHalfWay(const std::string& source, const std::string& destination);
