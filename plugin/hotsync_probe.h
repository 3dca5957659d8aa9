// Which generation of the HotSync desktop software the current user has, as one number:
//   0.0          none;
//   1.0 or 1.1   first generation (from the registry alone);
//   major + minor / 10.0, asked through the "Sync20" interface module: second generation;
//   -1.0         second generation registered, but its interface module cannot be asked.
// Callers compare the number exactly with 0.0, 1.0 and 1.1 and by ranges (2.0 up to below 3.0,
// or 2.0 and above). A probe is a small value object, made fresh for each use.
#pragma once

#include <string>

// The two ways the conduit table is synchronised (see conduits.h).
enum class ConduitSyncMode { Install, Remove };

class HotSyncProbe {
public:
    // The version last stored by a probe: only the second-generation case stores it, and
    // SyncConduitTable stores what it finds.
    double Version = -1.0;
    // Number of the first free entry of the conduit table (its length); -1 before a scan.
    int FirstFreeSlot = -1;

    // Detection, all under HKEY_CURRENT_USER:
    // 1. the Palm Computing "DirectComPort" value present: 1.1 with "Notifier0", else 1.0;
    // 2. else the U.S. Robotics "DirectComPort" value absent: 0.0;
    // 3. else the interface module "Sync20" in the folder named by the U.S. Robotics "Core"
    //    key is loaded and asked for its version, which is stored in Version;
    // 4. Version is returned (-1.0 on a fresh probe whose module did not answer).
    // Blank values count as absent.
    double GetHotSyncVersion();

    // Conduit table operations (conduits.cpp).
    // Stores the version, writes HotSync's standard conduit values on HotSync 1.0, scans the
    // table for its length and, in remove mode, deletes the entries of the product's conduit
    // modules. Returns 1.
    int SyncConduitTable(ConduitSyncMode mode);
    // Key path, below HKEY_CURRENT_USER, of conduit table entry n; probes first when Version is
    // still -1.0.
    std::string ApplicationKeyPath(int n);
    // The first entry below FirstFreeSlot whose "Conduit" is `module` (case-sensitive), or -1.
    int FindConduitSlot(const std::string& module);
};

// The HotSync folder that the "Path" value of a "Core" key (below HKEY_CURRENT_USER) names, read
// through a 260-byte buffer as it is stored; empty when the key cannot be opened with full
// access or the value does not fit.
std::string ReadHotSyncFolder(const char* coreKey);

// True when the version is one of the first generation's two, compared exactly.
inline bool IsFirstGeneration(double version) {
    return version == 1.0 || version == 1.1;
}
