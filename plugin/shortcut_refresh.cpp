#include "plugin/shortcut_refresh.h"

#include <windows.h>

#include <cstring>

#include "plugin/hotsync_interface.h"
#include "plugin/shortcut_finder.h"
#include "setup/core/path.h"
#include "setup/core/sysfolders.h"
#include "setup/elements/shortcut.h"

namespace {

constexpr const char* ManagerLinkTitle = "HotSync Manager";
constexpr const char* ManagerLinkFile = "HotSync Manager.lnk";

// The HotSync folder that the "Core" key names; empty when it cannot be read. The key is read
// whatever HotSync generation is installed.
std::string HotSyncFolder() {
    std::string folder;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, hotsync::PalmCoreKey, 0, KEY_ALL_ACCESS, &key) !=
        ERROR_SUCCESS)
        return folder;
    char buffer[260] = {};
    DWORD size = sizeof buffer;
    if (RegQueryValueExA(key, hotsync::CorePathValue, nullptr, nullptr,
                         reinterpret_cast<BYTE*>(buffer), &size) == ERROR_SUCCESS) {
        // A value stored without its terminating zero may fill the whole buffer.
        folder.assign(buffer, strnlen(buffer, size < sizeof buffer ? size : sizeof buffer));
    }
    RegCloseKey(key);
    return folder;
}

} // namespace

void RefreshHotSyncShortcuts() {
    WSetupShortcut shortcut;
    ShortcutFinder finder;
    FinderResult found;

    std::string hotSyncFolder = HotSyncFolder();
    shortcut.SetLinkName(ManagerLinkTitle);
    finder.AddRoot(TheSystemFolders().StartMenu(false), 1);
    finder.BuildFolderList();
    finder.FindFile(ManagerLinkFile, found);

    // The first step always runs, with an empty group when no link was found; every step does
    // nothing when the program is missing from the HotSync folder.
    shortcut.SetGroup(ParentOf(found.FirstMatch));
    shortcut.SetDestDir(hotSyncFolder);
    shortcut.SetDestName(hotsync::ManagerProgramName);
    FwStringArray groupFolders;
    shortcut.InstallStep(groupFolders);
    for (const std::string& match : found.FurtherMatches) {
        shortcut.SetGroup(ParentOf(match));
        shortcut.InstallStep(groupFolders);
    }
}
