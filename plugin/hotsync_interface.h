// What the plug-in relies on from the HotSync desktop software (the synchronisation manager of
// the Palm organiser), which is installed per user and lies outside this system: its registry
// locations below HKEY_CURRENT_USER, its programming interface module "Sync20", its conduit
// table and its standard conduit file names.
#pragma once

#include <windows.h>

namespace hotsync {

// First generation (HotSync 1.0 and 1.1).
constexpr const char* PalmDesktopKey = "Software\\Palm Computing\\Pilot Desktop";
constexpr const char* PalmManagerKey = "Software\\Palm Computing\\Pilot Desktop\\HotSync Manager";
constexpr const char* PalmCoreKey = "Software\\Palm Computing\\Pilot Desktop\\Core";

// Second generation (HotSync 2.x).
constexpr const char* RoboticsDesktopKey = "Software\\U.S. Robotics\\Pilot Desktop";
constexpr const char* RoboticsManagerKey =
    "Software\\U.S. Robotics\\Pilot Desktop\\HotSync Manager";
constexpr const char* RoboticsCoreKey = "Software\\U.S. Robotics\\Pilot Desktop\\Core";

// Values of the "HotSync Manager" keys: "DirectComPort" present means the generation is
// installed; "Notifier0" present in the first generation's key means 1.1, absent means 1.0.
constexpr const char* DirectComPortValue = "DirectComPort";
constexpr const char* Notifier0Value = "Notifier0";
constexpr const char* BackupConduitValue = "BackupConduit";
constexpr const char* InstallConduitValue = "InstallConduit";
// Value of the "Core" keys: the HotSync folder.
constexpr const char* CorePathValue = "Path";

// The standard conduits that HotSync 1.1 registers itself and 1.0 lacks.
constexpr const char* StandardBackupConduit = "bakcn20.dll";
constexpr const char* StandardInstallConduit = "inscn20.dll";
constexpr const char* StandardNotifier = "pdn20.dll";

// Conduit table entries: subkeys "Application0", "Application1", ... of a desktop key, each with
// a DWORD "Creator" (nonzero: in use) and a text "Conduit" (the conduit module's file name).
constexpr const char* ApplicationKeyPrefix = "Application";
constexpr const char* CreatorValue = "Creator";
constexpr const char* ConduitValue = "Conduit";

// The programming interface of the second generation: module "Sync20" in the HotSync folder.
constexpr const char* InterfaceModuleName = "Sync20";
constexpr const char* GetApiVersionExport = "SyncGetAPIVersion";
// Fills *major and *minor with the interface's version numbers; the result code is HotSync's.
typedef long(WINAPI* SyncGetApiVersionFunction)(unsigned long* major, unsigned long* minor);

// The first generation's manager program, in its HotSync folder.
constexpr const char* ManagerProgramName = "Hsm11.exe";

} // namespace hotsync
