// HotSync's conduit table: the per-user list of conduit modules that synchronise one kind of
// organiser data each. The plug-in never registers the product's conduits; it reads the table,
// registers HotSync's own standard conduits when it finds HotSync 1.0, and deletes the product's
// entries when the handheld-sync feature is removed. The table operations themselves are
// members of HotSyncProbe (hotsync_probe.h), whose FirstFreeSlot holds the table's length.
#pragma once

#include <string>

#include "plugin/hotsync_probe.h"

// The product's conduit modules, in the order in which they are searched and removed: address
// book, to-do list, memo pad, date book.
constexpr int ProductConduitCount = 4;
extern const char* const ProductConduitModules[ProductConduitCount];

// The key below HKEY_CURRENT_USER that holds the conduit table for a HotSync version: the
// Palm Computing desktop key for 1.0 and 1.1, the U.S. Robotics one for every other value.
std::string ConduitBaseKey(double version);

// Writes HotSync's three standard conduit values ("BackupConduit", "InstallConduit",
// "Notifier0") into the Palm Computing "HotSync Manager" key, in that order. Failures are not
// reported.
void RegisterPalmConduits();
