#include "plugin/conduits.h"

#include <windows.h>

#include "plugin/hotsync_interface.h"
#include "setup/core/registry.h"
#include "setup/core/text.h"

const char* const ProductConduitModules[ProductConduitCount] = {
    "qxabcn90.dll", // address book
    "qxtdcn90.dll", // to-do list
    "qxqncn90.dll", // memo pad
    "qxdbcn90.dll", // date book
};

std::string ConduitBaseKey(double version) {
    return IsFirstGeneration(version) ? hotsync::PalmDesktopKey : hotsync::RoboticsDesktopKey;
}

void RegisterPalmConduits() {
    // Not reported (conduits.h): HotSync's table keeps whatever it held for a value that cannot
    // be written, and the plug-in's answer does not depend on it.
    const std::string key = std::string(hotsync::PalmManagerKey) + "\\";
    (void)WriteRegStringAt(HKEY_CURRENT_USER, key + hotsync::BackupConduitValue,
                           hotsync::StandardBackupConduit);
    (void)WriteRegStringAt(HKEY_CURRENT_USER, key + hotsync::InstallConduitValue,
                           hotsync::StandardInstallConduit);
    (void)WriteRegStringAt(HKEY_CURRENT_USER, key + hotsync::Notifier0Value,
                           hotsync::StandardNotifier);
}

std::string HotSyncProbe::ApplicationKeyPath(int n) {
    if (Version == -1.0)
        Version = GetHotSyncVersion();
    return ConduitBaseKey(Version) + "\\" + hotsync::ApplicationKeyPrefix + NumberToText(n);
}

int HotSyncProbe::FindConduitSlot(const std::string& module) {
    for (int n = 0; n < FirstFreeSlot; ++n) {
        std::string conduit = ReadRegStringAt(HKEY_CURRENT_USER,
                                              ApplicationKeyPath(n) + "\\" + hotsync::ConduitValue);
        if (conduit == module)
            return n;
    }
    return -1;
}

int HotSyncProbe::SyncConduitTable(ConduitSyncMode mode) {
    Version = GetHotSyncVersion();
    if (Version == 1.0)
        RegisterPalmConduits();

    // The table is contiguous: it ends at the first entry without a nonzero "Creator".
    const std::string base = ConduitBaseKey(Version);
    for (int n = 0;; ++n) {
        std::string creator = base + "\\" + hotsync::ApplicationKeyPrefix + NumberToText(n) + "\\" +
                              hotsync::CreatorValue;
        if (ReadRegDwordAt(HKEY_CURRENT_USER, creator) == 0) {
            FirstFreeSlot = n;
            break;
        }
    }
    if (mode == ConduitSyncMode::Install)
        return 1;

    for (const char* module : ProductConduitModules) {
        int slot = FindConduitSlot(module);
        if (slot != -1)
            // The sync answers 1 whatever happens (hotsync_probe.h); an entry that cannot be
            // deleted stays in the table.
            (void)DeleteRegKey(HKEY_CURRENT_USER, ApplicationKeyPath(slot), true);
    }
    return 1;
}
