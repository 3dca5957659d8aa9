#include "engine_run.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <sstream>

#include "hotsync_fixture.h"
#include "support/fixtures.h"
#include "setup/core/handles.h"

namespace plugintest {

namespace {

// The running test program's version ("win95", "nt40", ...), for the engine copy of that name.
std::string VersionSuffix() {
    const std::string version = testsupport::HarnessVersion();
    return version.empty() ? "win2k" : version;
}

// Gives the engine copy named for `version` that Windows version under Wine.
void SetWineVersion(const std::string& program, const std::string& version) {
    std::string key = "Software\\Wine\\AppDefaults\\" + program;
    RegKey handle;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        handle.Receive(), nullptr) != ERROR_SUCCESS)
        return;
    RegSetValueExA(handle.Get(), "Version", 0, REG_SZ,
                   reinterpret_cast<const BYTE*>(version.c_str()),
                   static_cast<DWORD>(version.size() + 1));
}

} // namespace

EngineRun RunEngine(const std::string& scenario, const std::string& workDir) {
    EngineRun run = RunEngineWith(scenario, TARVO_MORVIK_DLL, workDir);
    for (const std::string& what : run.Clobbered)
        ADD_FAILURE() << "the plug-in changed engine state: " << what;
    return run;
}

EngineRun RunEngineWith(const std::string& scenario, const std::string& pluginUnixPath,
                        const std::string& workDir) {
    EngineRun run;
    testsupport::TempFolder work;
    const std::string scenarioPath = work / "scenario.scn";
    const std::string outputPath = work / "result.txt";
    EXPECT_TRUE(testsupport::WriteFileBytes(scenarioPath, scenario));

    const std::string version = VersionSuffix();
    const std::string program = "refengine-" + version + ".exe";
    SetWineVersion(program, version);
    const std::string plugin = testsupport::WindowsPathOf(pluginUnixPath);
    const std::string commandLine = "\"" + StandinFolder() + "\\" + program + "\" scenario=\"" +
                                    scenarioPath + "\" plugin=\"" + plugin + "\" output=\"" +
                                    outputPath + "\"";
    run.ExitCode = testsupport::RunAndWait(commandLine, 60000, workDir);
    run.Output = testsupport::ReadFileBytes(outputPath);

    std::istringstream lines(run.Output);
    std::string line;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        std::istringstream words(line);
        std::string kind;
        words >> kind;
        if (kind == "call") {
            std::string name;
            long result = 0;
            words >> name >> result;
            run.Calls[name] = result;
        } else if (kind == "component") {
            std::string handle, action, flags;
            words >> handle >> action >> flags;
            run.Actions[handle] = std::stoi(action.substr(action.find('=') + 1));
            run.Flags[handle] = std::stoi(flags.substr(flags.find('=') + 1));
        } else if (kind == "macro") {
            // "macro <index> <definition>": the definition is the rest of the line, verbatim.
            std::size_t first = line.find(' ');
            std::size_t second = line.find(' ', first + 1);
            run.Macros.push_back(second == std::string::npos ? std::string()
                                                             : line.substr(second + 1));
        } else if (kind == "overrun") {
            run.Overrun = true;
        } else if (kind == "clobbered") {
            run.Clobbered.push_back(line.substr(line.find(' ') + 1));
        }
    }
    return run;
}

std::string ComponentLines(const std::string& name, const std::string& qualified, int flags,
                           bool selected, int map) {
    std::ostringstream text;
    text << "component " << name << "\n"
         << "id Product:" << name << "\n"
         << "qualified " << qualified << "\n"
         << "flags " << flags << "\n"
         << "states 0 0 " << (selected ? 4 : 1) << " 0\n"
         << "map " << map << " " << name << "\n";
    return text.str();
}

} // namespace plugintest
