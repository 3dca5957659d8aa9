// Test helpers for the plug-in: the HotSync registry of the current user and a HotSync folder.
//
// The plug-in reads fixed keys below HKEY_CURRENT_USER ("Software\Palm Computing\Pilot Desktop"
// and "Software\U.S. Robotics\Pilot Desktop"), so these tests cannot use a scratch key. Every
// test program that touches them runs under the ctest lock "hotsync_registry", and each test
// owns a HotSyncRegistry, which moves whatever the two keys held aside, leaves them empty for the
// test and puts the old contents back afterwards.
#pragma once

#include <windows.h>

#include <string>

#include "support/fixtures.h"

namespace plugintest {

constexpr const char* PalmDesktop = "Software\\Palm Computing\\Pilot Desktop";
constexpr const char* PalmManager = "Software\\Palm Computing\\Pilot Desktop\\HotSync Manager";
constexpr const char* PalmCore = "Software\\Palm Computing\\Pilot Desktop\\Core";
constexpr const char* RoboticsDesktop = "Software\\U.S. Robotics\\Pilot Desktop";
constexpr const char* RoboticsManager = "Software\\U.S. Robotics\\Pilot Desktop\\HotSync Manager";
constexpr const char* RoboticsCore = "Software\\U.S. Robotics\\Pilot Desktop\\Core";

class HotSyncRegistry {
public:
    HotSyncRegistry();
    ~HotSyncRegistry();
    HotSyncRegistry(const HotSyncRegistry&) = delete;
    HotSyncRegistry& operator=(const HotSyncRegistry&) = delete;

    // Values below HKEY_CURRENT_USER, written and read with the platform's own calls.
    static void SetText(const std::string& key, const std::string& value, const std::string& text);
    static void SetDword(const std::string& key, const std::string& value, DWORD number);
    static bool HasValue(const std::string& key, const std::string& value);
    static std::string Text(const std::string& key, const std::string& value);
    static bool KeyExists(const std::string& key);

    // HotSync 1.0 (withNotifier false) or 1.1 (true) with its folder.
    static void InstallFirstGeneration(bool withNotifier, const std::string& folder);
    // The second generation's registry entries, with its folder.
    static void InstallSecondGeneration(const std::string& folder);
    // Conduit table entry "Application<n>" below `desktopKey`; a creator of 0 is written as 0,
    // and an empty conduit name writes no "Conduit" value.
    static void AddConduit(const std::string& desktopKey, int n, DWORD creator,
                           const std::string& conduit);
    static std::string ApplicationKey(const std::string& desktopKey, int n);

private:
    struct Saved {
        const char* Parent; // "Software\Palm Computing" or "Software\U.S. Robotics"
        const char* Key;
        bool HadParent;
        bool HadKey;
    };
    Saved m_saved[2];
    testsupport::ScratchKey m_store;
};

// A HotSync folder: a fresh temporary folder, optionally with the stand-in interface module.
class HotSyncFolder : public testsupport::TempFolder {
public:
    // Copies the stand-in "Sync20" module in and makes it report `versionText` ("2 1"); an
    // empty text writes no version file (the module then leaves the numbers untouched).
    void InstallInterface(const std::string& versionText);
    // A "Sync20" module without the interface function.
    void InstallInterfaceWithoutApi();
};

// Folder of the stand-in programs and modules.
std::string StandinFolder();

} // namespace plugintest
