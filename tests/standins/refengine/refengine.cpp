// Reference setup engine: a stand-in for the setup engine that loads the Morvik plug-in.
//
// It builds the records a real engine hands to the plug-in (components, its own macro context,
// the install record and the component index) from a scenario file, loads the plug-in by path,
// calls its entry points by their undecorated names in the order of the scenario's phase, and
// prints what the calls left behind, one line per item:
//   engine <its command line>
//   call <EntryPoint> <result>
//   component <handle> action=<Action> flags16=<Flags16>
//   macro <index> <definition>
//   overrun <index>                (a custom definition was written past its buffer)
//   clobbered <EntryPoint> <what>  (that call changed engine state the plug-in must leave
//                                  alone: an engine field of the records (all filled with
//                                  sentinel bytes), the record's run mode or pointers, the third
//                                  argument's record, the text argument, the removal list or
//                                  the size of a name map)
//
// Command line (the loader hands on its own command line after a blank, so unknown words such
// as "setup=..." or "/batch" are ignored):
//   scenario=<path>   the scenario file (default: refengine.scn beside the program)
//   plugin=<path>     the plug-in (default: Morvik.dll beside the program)
//   output=<path>     where the result lines go (default: standard output)
// A value may be quoted ("scenario=C:\a b\x.scn" or scenario="C:\a b\x.scn").
//
// Exit codes: 0 every call returned 1; 2 the scenario could not be read or is malformed;
// 3 the plug-in did not load; 4 an entry point is missing; 5 a call returned something else;
// 6 a call clobbered engine state (and none of 2 to 5 applies).
//
// Scenario format: one directive per line; blank lines and lines starting with "#" are skipped;
// leading blanks are ignored; the value is the rest of the line after the keyword and one blank,
// taken verbatim.
//   phase <step>[,<step>...]        each step an entry point's name, or
//        install = Initialize, PreInstall, PostInstall;
//        removal = PreUNInstall, PostUNInstall, UNInitialize
//   autoselect                     after Initialize, select what it offered, as a user taking
//                                  the engine's defaults would: components with action 3 or 7
//                                  become selected, those with action 8 unselected
//   runmode <n>                    RunMode of the install record (default 0)
//   text <text>                    the fourth argument of every call (default empty)
//   chdir <folder>                 once the plug-in has loaded, the engine makes <folder> its
//                                  current folder, as an engine started from its medium that
//                                  then works elsewhere does
//   output <path>                  where the result lines go when the command line names no
//                                  output (a relative path is taken from the scenario's folder)
//   macro <definition>             appends a custom macro definition ("key,value")
//   component <handle> [<class>]   a new component (class WSetupComponent, the default, or
//                                  EngineComponent, the engine's own class derived from it);
//                                  the lines below it, up to the next "component", describe it:
//     id <text>                    Id
//     qualified <text>             QualifiedName
//     flags <n>                    Flags16 (default 0)
//     states <a> <b> <c> <d>       ModeStates (default 0 0 0 0)
//     modeindex <n>                ModeIndex (default 2)
//     action <n>                   Action (default 0)
//     map <n> [<key>]              enters it in name map n (0-6) under key (default: handle)
//     removal                      appends it to the removal list
//   object <n> <key> <class>       an object of another class (created by class name) in map n
//   nullentry <n> <key>            a null value in map n
//   nullremoval                    a null entry in the removal list
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "engine/command_words.h"
#include "plugin/engine_interface.h"
#include "setup/assembly/class_table.h"
#include "setup/core/component.h"
#include "setup/core/handles.h"
#include "setup/core/macros.h"

// The engine's own component class: the plug-in must accept classes derived from
// WSetupComponent through the run-time class records of another module.
class EngineComponent : public WSetupComponent {
    FW_DECLARE_DYNCREATE(EngineComponent)
public:
    EngineComponent() = default;
};
FW_IMPLEMENT_DYNCREATE(EngineComponent, WSetupComponent)

namespace {

typedef LONG(WINAPI* EntryPoint)(LONG, void*, void*, const char*);

constexpr int ExitOk = 0;
constexpr int ExitBadScenario = 2;
constexpr int ExitNoPlugin = 3;
constexpr int ExitNoEntryPoint = 4;
constexpr int ExitCallFailed = 5;
constexpr int ExitClobbered = 6;

// The engine's own fields are filled with this value, so that a stray write into them shows.
constexpr unsigned char EngineSentinel = 0xEE;

// Custom definitions live in buffers of this size, followed by guard bytes that must survive.
constexpr std::size_t MacroBufferSize = 300;
constexpr std::size_t GuardSize = 16;
constexpr unsigned char GuardByte = 0xA5;

struct ComponentSpec {
    std::string Handle;
    WSetupComponent* Object = nullptr;
};

struct Scenario {
    std::vector<std::string> Calls = {"Initialize", "PreInstall", "PostInstall"};
    int RunMode = 0;
    bool AutoSelect = false;
    std::string Text;
    std::string Output;
    std::string FolderAfterLoad;
    std::vector<std::string> Macros;
    std::vector<ComponentSpec> Components;
    std::vector<FwObject*> OtherObjects;
    std::string Error;
};

std::string FolderOf(const std::string& path) {
    std::size_t slash = path.find_last_of('\\');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

std::string ProgramFolder() {
    char path[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    return FolderOf(std::string(path, n));
}

bool StartsWith(const std::string& text, const char* prefix) {
    return text.compare(0, std::strlen(prefix), prefix) == 0;
}

bool ParseInt(const std::string& text, int& value) {
    char* end = nullptr;
    long number = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || (end && *end))
        return false;
    value = static_cast<int>(number);
    return true;
}

ComponentRegistry* NewRegistry() {
    auto* registry = new ComponentRegistry;
    std::memset(registry->EngineFieldsBeforeIndex, EngineSentinel,
                sizeof registry->EngineFieldsBeforeIndex);
    std::memset(registry->EngineFieldsBeforeRemovalList, EngineSentinel,
                sizeof registry->EngineFieldsBeforeRemovalList);
    return registry;
}

template <std::size_t N> std::vector<unsigned char> BytesOf(const unsigned char (&field)[N]) {
    return std::vector<unsigned char>(field, field + N);
}

// What the engine expects to find unchanged after a call: its own fields (filled with
// sentinels at the start), the record's run mode and pointers, the third argument's record,
// the text argument, the removal list and the size of every name map.
struct EngineState {
    std::vector<unsigned char> BeforeRunMode, BeforeRegistry, BeforeIndex, BeforeRemovalList;
    std::vector<unsigned char> OtherRecord;
    int RunMode = 0;
    const ComponentRegistry* Registry = nullptr;
    const SetupContext* Macros = nullptr;
    std::string Text;
    std::vector<void*> RemovalList;
    std::vector<int> MapCounts;
};

EngineState CaptureState(const InstallRecord& record, const ComponentRegistry& registry,
                         const unsigned char (&otherRecord)[256], const std::string& text) {
    EngineState state;
    state.BeforeRunMode = BytesOf(record.EngineFieldsBeforeRunMode);
    state.BeforeRegistry = BytesOf(record.EngineFieldsBeforeRegistry);
    state.BeforeIndex = BytesOf(registry.EngineFieldsBeforeIndex);
    state.BeforeRemovalList = BytesOf(registry.EngineFieldsBeforeRemovalList);
    state.OtherRecord = BytesOf(otherRecord);
    state.RunMode = record.RunMode;
    state.Registry = record.Registry;
    state.Macros = record.Macros;
    state.Text = text;
    for (int i = 0; i < registry.RemovalList.GetSize(); ++i)
        state.RemovalList.push_back(registry.RemovalList.GetAt(i));
    for (int map = 0; map < ComponentNameIndex::MapCount; ++map)
        state.MapCounts.push_back(registry.Index.Maps[map].GetCount());
    return state;
}

// The names of what a call changed, comparing the states before and after it.
std::vector<std::string> ChangedState(const EngineState& before, const EngineState& after) {
    std::vector<std::string> changed;
    auto check = [&changed](bool same, const std::string& what) {
        if (!same)
            changed.push_back(what);
    };
    check(before.BeforeRunMode == after.BeforeRunMode, "InstallRecord.EngineFieldsBeforeRunMode");
    check(before.RunMode == after.RunMode, "InstallRecord.RunMode");
    check(before.BeforeRegistry == after.BeforeRegistry,
          "InstallRecord.EngineFieldsBeforeRegistry");
    check(before.Registry == after.Registry, "InstallRecord.Registry");
    check(before.Macros == after.Macros, "InstallRecord.Macros");
    check(before.BeforeIndex == after.BeforeIndex, "ComponentRegistry.EngineFieldsBeforeIndex");
    check(before.BeforeRemovalList == after.BeforeRemovalList,
          "ComponentRegistry.EngineFieldsBeforeRemovalList");
    check(before.RemovalList == after.RemovalList, "ComponentRegistry.RemovalList");
    for (int map = 0; map < ComponentNameIndex::MapCount; ++map)
        check(before.MapCounts[map] == after.MapCounts[map],
              "ComponentRegistry.Index.Maps[" + std::to_string(map) + "]");
    check(before.OtherRecord == after.OtherRecord, "third argument");
    check(before.Text == after.Text, "text argument");
    return changed;
}

bool Fail(Scenario& scenario, int lineNumber, const std::string& message) {
    scenario.Error = "line " + std::to_string(lineNumber) + ": " + message;
    return false;
}

// Reads the scenario into `scenario` and `registry`.
bool ReadScenario(const std::string& path, Scenario& scenario, ComponentRegistry& registry) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        scenario.Error = "cannot read " + path;
        return false;
    }
    std::string line;
    int lineNumber = 0;
    WSetupComponent* current = nullptr;
    while (std::getline(file, line)) {
        ++lineNumber;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        std::size_t start = line.find_first_not_of(" \t");
        if (start == std::string::npos || line[start] == '#')
            continue;
        std::size_t blank = line.find(' ', start);
        std::string keyword =
            line.substr(start, blank == std::string::npos ? blank : blank - start);
        std::string value = blank == std::string::npos ? std::string() : line.substr(blank + 1);
        std::istringstream words(value);

        if (keyword == "phase") {
            scenario.Calls.clear();
            std::istringstream names(value);
            std::string name;
            while (std::getline(names, name, ',')) {
                if (name == "install")
                    scenario.Calls.insert(scenario.Calls.end(),
                                          {"Initialize", "PreInstall", "PostInstall"});
                else if (name == "removal")
                    scenario.Calls.insert(scenario.Calls.end(),
                                          {"PreUNInstall", "PostUNInstall", "UNInitialize"});
                else
                    scenario.Calls.push_back(name);
            }
        } else if (keyword == "autoselect") {
            scenario.AutoSelect = true;
        } else if (keyword == "runmode") {
            if (!ParseInt(value, scenario.RunMode))
                return Fail(scenario, lineNumber, "bad run mode");
        } else if (keyword == "output") {
            scenario.Output = value;
        } else if (keyword == "text") {
            scenario.Text = value;
        } else if (keyword == "chdir") {
            scenario.FolderAfterLoad = value;
        } else if (keyword == "macro") {
            if (value.size() >= MacroBufferSize)
                return Fail(scenario, lineNumber, "custom definition too long");
            scenario.Macros.push_back(value);
        } else if (keyword == "component") {
            std::string handle, className;
            words >> handle >> className;
            if (handle.empty())
                return Fail(scenario, lineNumber, "component without handle");
            if (className.empty() || className == "WSetupComponent")
                current = new WSetupComponent;
            else if (className == "EngineComponent")
                current = new EngineComponent;
            else
                return Fail(scenario, lineNumber, "unknown component class " + className);
            current->Flags16 = 0;
            for (int& state : current->ModeStates)
                state = 0;
            current->ModeIndex = 2;
            current->Action = 0;
            scenario.Components.push_back({handle, current});
        } else if (keyword == "object" || keyword == "nullentry") {
            int map = -1;
            std::string key, className;
            words >> map >> key >> className;
            if (map < 0 || map >= ComponentNameIndex::MapCount || key.empty())
                return Fail(scenario, lineNumber, "bad map entry");
            FwObject* object = nullptr;
            if (keyword == "object") {
                object = FwRuntimeClass::CreateObject(className.c_str());
                if (!object)
                    return Fail(scenario, lineNumber, "no class named " + className);
                scenario.OtherObjects.push_back(object);
            }
            registry.Index.Maps[map].SetAt(key.c_str(), object);
        } else if (keyword == "nullremoval") {
            registry.RemovalList.Add(nullptr);
        } else if (!current) {
            return Fail(scenario, lineNumber, "unknown directive " + keyword);
        } else if (keyword == "id") {
            current->Id = value;
        } else if (keyword == "qualified") {
            current->QualifiedName = value;
        } else if (keyword == "flags") {
            if (!ParseInt(value, current->Flags16))
                return Fail(scenario, lineNumber, "bad flags");
        } else if (keyword == "states") {
            for (int& state : current->ModeStates)
                if (!(words >> state))
                    return Fail(scenario, lineNumber, "four mode states expected");
        } else if (keyword == "modeindex") {
            if (!ParseInt(value, current->ModeIndex) || current->ModeIndex < 0 ||
                current->ModeIndex > 3)
                return Fail(scenario, lineNumber, "bad mode index");
        } else if (keyword == "action") {
            if (!ParseInt(value, current->Action))
                return Fail(scenario, lineNumber, "bad action");
        } else if (keyword == "map") {
            int map = -1;
            std::string key;
            words >> map >> key;
            if (map < 0 || map >= ComponentNameIndex::MapCount)
                return Fail(scenario, lineNumber, "bad map number");
            if (key.empty())
                key = scenario.Components.back().Handle;
            registry.Index.Maps[map].SetAt(key.c_str(), current);
        } else if (keyword == "removal") {
            registry.RemovalList.Add(current);
        } else {
            return Fail(scenario, lineNumber, "unknown directive " + keyword);
        }
    }
    return true;
}

// The engine's default choice after Initialize: what the plug-in offered is selected, what it
// ruled out is not, and everything else stays as it was.
void SelectOffered(Scenario& scenario) {
    for (ComponentSpec& spec : scenario.Components) {
        WSetupComponent* component = spec.Object;
        int& state = component->ModeStates[component->ModeIndex];
        if (component->Action == 3 || component->Action == 7)
            state = 4;
        else if (component->Action == 8)
            state = 1;
    }
}

} // namespace

int main() {
    UseSetupClassTable();
    std::string scenarioPath = ProgramFolder() + "\\refengine.scn";
    std::string pluginPath = ProgramFolder() + "\\Morvik.dll";
    std::string outputPath;
    for (const std::string& word : CommandWords(GetCommandLineA())) {
        if (StartsWith(word, "scenario="))
            scenarioPath = word.substr(9);
        else if (StartsWith(word, "plugin="))
            pluginPath = word.substr(7);
        else if (StartsWith(word, "output="))
            outputPath = word.substr(7);
    }

    Scenario scenario;
    std::unique_ptr<ComponentRegistry> registry(NewRegistry());
    const bool scenarioRead = ReadScenario(scenarioPath, scenario, *registry);
    if (outputPath.empty() && !scenario.Output.empty()) {
        outputPath = scenario.Output;
        if (outputPath.size() < 2 || (outputPath[1] != ':' && outputPath[0] != '\\'))
            outputPath = FolderOf(scenarioPath) + "\\" + outputPath;
    }
    FILE* out = stdout;
    StdioFile outputFile;
    if (!outputPath.empty() &&
        !(out = (outputFile.Reset(std::fopen(outputPath.c_str(), "w")), outputFile.Get()))) {
        std::fprintf(stderr, "refengine: cannot write %s\n", outputPath.c_str());
        return ExitBadScenario;
    }
    std::fprintf(out, "engine %s\n", GetCommandLineA());
    if (!scenarioRead) {
        std::fprintf(out, "error %s\n", scenario.Error.c_str());
        return ExitBadScenario;
    }

    // The engine's own macro context, with custom definitions in buffers of its own that carry
    // guard bytes behind them.
    SetupContext context;
    std::vector<std::unique_ptr<unsigned char[]>> buffers;
    for (const std::string& definition : scenario.Macros) {
        buffers.emplace_back(new unsigned char[MacroBufferSize + GuardSize]);
        unsigned char* buffer = buffers.back().get();
        std::memset(buffer, 0, MacroBufferSize);
        std::memset(buffer + MacroBufferSize, GuardByte, GuardSize);
        std::memcpy(buffer, definition.c_str(), definition.size() + 1);
        context.CustomMacros.Add(buffer);
    }

    auto record = std::make_unique<InstallRecord>();
    std::memset(record.get(), EngineSentinel, sizeof(InstallRecord));
    record->RunMode = scenario.RunMode;
    record->Registry = registry.get();
    record->Macros = &context;
    // The third argument: a record of the engine's that the plug-in never looks into.
    unsigned char otherRecord[256];
    std::memset(otherRecord, EngineSentinel, sizeof otherRecord);

    int exitCode = ExitOk;
    bool clobbered = false;
    LoadedModule plugin(LoadLibraryA(pluginPath.c_str()));
    if (!plugin) {
        std::fprintf(out, "error cannot load %s (%lu)\n", pluginPath.c_str(), GetLastError());
        exitCode = ExitNoPlugin;
    }
    if (plugin && !scenario.FolderAfterLoad.empty() &&
        !SetCurrentDirectoryA(scenario.FolderAfterLoad.c_str())) {
        std::fprintf(out, "error cannot change to %s (%lu)\n", scenario.FolderAfterLoad.c_str(),
                     GetLastError());
        exitCode = ExitBadScenario;
        plugin.Reset(); // no call is made
    }
    for (std::size_t i = 0; plugin && i < scenario.Calls.size(); ++i) {
        const std::string& name = scenario.Calls[i];
        auto entry = reinterpret_cast<EntryPoint>(
            reinterpret_cast<void*>(GetProcAddress(plugin.Get(), name.c_str())));
        if (!entry) {
            std::fprintf(out, "error no entry point %s\n", name.c_str());
            exitCode = ExitNoEntryPoint;
            break;
        }
        // The install calls get the install record; the removal calls get the component index.
        bool installCall = name == "Initialize" || name == "PreInstall" || name == "PostInstall";
        void* argument =
            installCall ? static_cast<void*>(record.get()) : static_cast<void*>(registry.get());
        std::string text = scenario.Text;
        const EngineState before = CaptureState(*record, *registry, otherRecord, text);
        LONG result = entry(0, argument, otherRecord, text.c_str());
        std::fprintf(out, "call %s %ld\n", name.c_str(), static_cast<long>(result));
        const EngineState after = CaptureState(*record, *registry, otherRecord, text);
        for (const std::string& what : ChangedState(before, after)) {
            std::fprintf(out, "clobbered %s %s\n", name.c_str(), what.c_str());
            clobbered = true;
        }
        if (result != 1)
            exitCode = ExitCallFailed;
        if (scenario.AutoSelect && name == "Initialize")
            SelectOffered(scenario);
    }
    plugin.Reset();
    if (clobbered && exitCode == ExitOk)
        exitCode = ExitClobbered;

    for (const ComponentSpec& spec : scenario.Components)
        std::fprintf(out, "component %s action=%d flags16=%d\n", spec.Handle.c_str(),
                     spec.Object->Action, spec.Object->Flags16);
    for (int i = 0; i < context.CustomMacros.GetSize(); ++i) {
        const auto* buffer = static_cast<const unsigned char*>(context.CustomMacros.GetAt(i));
        std::fprintf(out, "macro %d %s\n", i, reinterpret_cast<const char*>(buffer));
        for (std::size_t g = 0; g < GuardSize; ++g)
            if (buffer[MacroBufferSize + g] != GuardByte) {
                std::fprintf(out, "overrun %d\n", i);
                break;
            }
    }

    // The buffers are the engine's, not the context's.
    context.CustomMacros.RemoveAll();
    for (ComponentSpec& spec : scenario.Components)
        FwDelete(spec.Object);
    for (FwObject* object : scenario.OtherObjects)
        FwDelete(object);
    return exitCode;
}
