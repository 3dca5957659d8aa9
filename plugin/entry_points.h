// The plug-in's six entry points, which the setup engine calls by name around an installation
// (Initialize, PreInstall, PostInstall) and a removal (PreUNInstall, PostUNInstall, UNInitialize).
// Each takes four 32-bit arguments: a value that is not used, a pointer to an engine record
// (InstallRecord for the installation calls, ComponentRegistry for PreUNInstall), a pointer to a
// further engine record that is not used, and a text that is copied and not used otherwise.
// Every entry point returns 1: the plug-in reports no failure to the engine. Nothing else leaves
// an entry point, no exception either (plugin/entry_guard.h). The setup library's process-wide
// objects are built by the first entry point called, not when the DLL loads.
//
// The exports carry these undecorated names (Morvik.def).
#pragma once

#include <windows.h>

#include <string>

#include "plugin/engine_interface.h"

// Names of the components the plug-in works on.
namespace morvik {
constexpr const char* FeatureComponent = "QX9_PalmPilot";    // the handheld-sync feature
constexpr const char* Conduit1Component = "PilotConduit1_1"; // conduits for HotSync 1.0, 1.1
constexpr const char* Conduit2Component = "PilotConduit2_0"; // conduits for HotSync 2.x
constexpr const char* FeatureIdMarker = ":QX9_PalmPilot";    // sought in Ids at removal

// Action codes the plug-in writes into components; the engine gives them their meaning.
constexpr int ActionFits = 3;        // the conduit component that fits the HotSync found
constexpr int ActionInstall = 4;     // the conduit component to install
constexpr int ActionAvailable = 7;   // the feature, when a usable HotSync is found
constexpr int ActionUnavailable = 8; // components that cannot be used with this HotSync

} // namespace morvik

extern "C" {
LONG WINAPI Initialize(LONG unused, InstallRecord* record, void* otherRecord, const char* text);
LONG WINAPI PreInstall(LONG unused, InstallRecord* record, void* otherRecord, const char* text);
LONG WINAPI PostInstall(LONG unused, InstallRecord* record, void* otherRecord, const char* text);
LONG WINAPI PreUNInstall(LONG unused, ComponentRegistry* registry, void* otherRecord,
                         const char* text);
LONG WINAPI PostUNInstall(LONG unused, void* record, void* otherRecord, const char* text);
LONG WINAPI UNInitialize(LONG unused, void* record, void* otherRecord, const char* text);
}
