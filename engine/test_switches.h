// The switches of the engine's test build (the productengine program the tests start; the
// shipped engine is built without this unit and knows none of them):
//   stop-after=<n> [tear=1]   the process ends right after the n-th intent or outcome reached the
//                             log (with tear=1 half-way through it), for the tests of recovery
//   stop-in-copy=1            the process ends (exit code 9) half-way through the first copy of a
//                             file of 1 MB or more, with the part it wrote on the disk
//   cancel-after=<n>          the user's cancel is requested right after element n's outcome
//                             reached the log, as a click on Cancel would
//   bar=painted               the progress window paints its own bar, as where the system has no
//                             common progress bar (NT 3.51)
#pragma once

#include <string>

#include "install_run.h"

struct TestSwitches {
    int stopAfter = 0;
    bool tear = false;
    bool stopInCopy = false;
    bool paintedBar = false;
    InstallSwitches install;
};

// Takes one "key=value" word of the command line; false when it is not a test switch.
bool ReadTestSwitch(const std::string& key, const std::string& value, TestSwitches& switches);

// Puts the stand-ins the switches ask for in place (the log's record writer, the platform's
// copy) for the rest of the process.
void UseTestSwitches(const TestSwitches& switches);
