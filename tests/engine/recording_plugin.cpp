// A plug-in that records what the engine hands it, for the tests of the engine's plug-in host.
//
// Each entry point appends to the file named by the environment variable TARVO_PLUGIN_RECORD
// (the engine inherits the test's environment) one "call <name>" line, then what it saw:
//   runmode <n>                                       (install calls: the record's RunMode)
//   component <name> action=<a> modeindex=<m> selected=<0|1>   for each test component found
//   macro <i> <definition>                            the record's custom definitions
//   group1 <Id> ...                                   the components of map 1
//   removal <Id> ...                                  (PreUNInstall) the removal list
// and changes what a plug-in changes: Initialize sets Action 8 on "Skipped" and 3 on "Offered"
// and points the custom macro of "Synced" (its QualifiedName) at TARVO_PLUGIN_FOLDER;
// PreInstall sets Action 4 on "Offered". The entry point named by TARVO_PLUGIN_CRASH raises an
// access violation (as a stray write would) after its record.
//
// Built twice: recording_plugin.dll with the six entry points, and recording_plugin_partial.dll
// without UNInitialize (RECORDING_PLUGIN_PARTIAL).
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "plugin/engine_interface.h"
#include "setup/core/component.h"
#include "setup/core/handles.h"
#include "setup/core/macros.h"

namespace {

const char* const Watched[] = {"Main", "Skipped", "Offered", "Synced"};

std::string Env(const char* name) {
    char value[1024];
    DWORD n = GetEnvironmentVariableA(name, value, sizeof value);
    return n && n < sizeof value ? std::string(value, n) : std::string();
}

void CrashIf(const char* entry) {
    if (Env("TARVO_PLUGIN_CRASH") == entry)
        RaiseException(EXCEPTION_ACCESS_VIOLATION, EXCEPTION_NONCONTINUABLE, 0, nullptr);
}

void Append(const std::string& text) {
    const std::string path = Env("TARVO_PLUGIN_RECORD");
    if (path.empty())
        return;
    StdioFile file(std::fopen(path.c_str(), "ab"));
    if (file)
        std::fwrite(text.data(), 1, text.size(), file.Get());
}

std::string ComponentsOf(const FwPtrArray& list) {
    std::string text;
    for (int i = 0; i < list.GetSize(); ++i)
        if (list.GetAt(i))
            text += std::string(" ") + static_cast<WSetupComponent*>(list.GetAt(i))->Id.c_str();
    return text;
}

std::string Seen(const ComponentRegistry* registry, const SetupContext* macros) {
    std::string text;
    for (const char* name : Watched)
        if (WSetupComponent* c = registry->FindComponent(name))
            text += std::string("component ") + name + " action=" + std::to_string(c->Action) +
                    " modeindex=" + std::to_string(c->ModeIndex) +
                    " selected=" + (c->IsSelected() ? "1" : "0") + "\r\n";
    if (macros)
        for (int i = 0; i < macros->CustomMacros.GetSize(); ++i)
            text += "macro " + std::to_string(i) + " " +
                    static_cast<const char*>(macros->CustomMacros.GetAt(i)) + "\r\n";
    FwPtrArray group;
    registry->ListGroupComponents(1, group);
    text += "group1" + ComponentsOf(group) + "\r\n";
    return text;
}

// The definition whose key is the component's QualifiedName, given the new folder.
void Retarget(SetupContext* macros, const WSetupComponent& component, const std::string& folder) {
    const std::string key = component.QualifiedName.c_str();
    for (int i = 0; i < macros->CustomMacros.GetSize(); ++i) {
        char* buffer = static_cast<char*>(macros->CustomMacros.GetAt(i));
        const char* comma = std::strchr(buffer, ',');
        if (comma && std::string(static_cast<const char*>(buffer), comma) == key) {
            const std::string text = key + "," + folder;
            if (text.size() < 300)
                std::memcpy(buffer, text.c_str(), text.size() + 1);
            return;
        }
    }
}

LONG InstallCall(const char* entry, InstallRecord* record) {
    Append(std::string("call ") + entry + "\r\nrunmode " + std::to_string(record->RunMode) +
           "\r\n" + Seen(record->Registry, record->Macros));
    CrashIf(entry);
    return 1;
}

} // namespace

extern "C" {

__declspec(dllexport) LONG WINAPI Initialize(LONG, InstallRecord* record, void*, const char*) {
    const LONG result = InstallCall("Initialize", record);
    if (WSetupComponent* skipped = record->Registry->FindComponent("Skipped"))
        skipped->Action = 8;
    if (WSetupComponent* offered = record->Registry->FindComponent("Offered"))
        offered->Action = 3;
    if (WSetupComponent* synced = record->Registry->FindComponent("Synced"))
        Retarget(record->Macros, *synced, Env("TARVO_PLUGIN_FOLDER"));
    return result;
}

__declspec(dllexport) LONG WINAPI PreInstall(LONG, InstallRecord* record, void*, const char*) {
    const LONG result = InstallCall("PreInstall", record);
    if (WSetupComponent* offered = record->Registry->FindComponent("Offered"))
        offered->Action = 4;
    return result;
}

__declspec(dllexport) LONG WINAPI PostInstall(LONG, InstallRecord* record, void*, const char*) {
    return InstallCall("PostInstall", record);
}

__declspec(dllexport) LONG WINAPI
    PreUNInstall(LONG, ComponentRegistry* registry, void*, const char*) {
    Append("call PreUNInstall\r\n" + Seen(registry, nullptr) + "removal" +
           ComponentsOf(registry->RemovalList) + "\r\n");
    CrashIf("PreUNInstall");
    return 1;
}

__declspec(dllexport) LONG WINAPI PostUNInstall(LONG, void*, void*, const char*) {
    Append("call PostUNInstall\r\n");
    CrashIf("PostUNInstall");
    return 1;
}

#ifndef RECORDING_PLUGIN_PARTIAL
__declspec(dllexport) LONG WINAPI UNInitialize(LONG, void*, void*, const char*) {
    Append("call UNInitialize\r\n");
    CrashIf("UNInitialize");
    return 1;
}
#endif

} // extern "C"
