// Runs the reference setup engine on a scenario, as a child process with the Windows version
// of the running test program, and reads back what it printed.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace plugintest {

struct EngineRun {
    long ExitCode = -1;
    std::string Output;                 // everything the engine printed
    std::map<std::string, long> Calls;  // entry point -> result
    std::map<std::string, int> Actions; // component handle -> Action
    std::map<std::string, int> Flags;   // component handle -> Flags16
    std::vector<std::string> Macros;    // custom definitions, in list order
    bool Overrun = false;               // a definition was written past its buffer
    std::vector<std::string> Clobbered; // "<entry point> <what>" for engine state a call changed
};

// Writes `scenario` into a file of a fresh folder, runs the engine on it with Morvik.dll and
// parses the result lines. The engine checks its own state after every call: any call that
// changed what the plug-in must leave alone fails the running test here. The engine starts in
// `workDir` (empty: the test program's current folder).
EngineRun RunEngine(const std::string& scenario, const std::string& workDir = "");
// The same with another plug-in (`plugin` is the DLL's Linux path), the result lines parsed
// but not judged.
EngineRun RunEngineWith(const std::string& scenario, const std::string& plugin,
                        const std::string& workDir = "");

// Scenario lines for a component: handle `name`, Id "Product:" + name, the given qualified
// name and Flags16, selected ({0, 0, 4, 0} at mode index 2) or not ({0, 0, 1, 0}), entered in
// map `map` under its name.
std::string ComponentLines(const std::string& name, const std::string& qualified, int flags,
                           bool selected, int map = 0);

} // namespace plugintest
