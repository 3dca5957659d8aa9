#include "plugin/shortcut_refresh.h"

#include <windows.h>

#include "plugin/hotsync_interface.h"
#include "plugin/hotsync_probe.h"
#include "plugin/shortcut_finder.h"
#include "setup/core/path.h"
#include "setup/core/sysfolders.h"
#include "setup/elements/shortcut.h"

namespace {

constexpr const char* ManagerLinkTitle = "HotSync Manager";
constexpr const char* ManagerLinkFile = "HotSync Manager.lnk";

} // namespace

void RefreshHotSyncShortcuts() {
    WSetupShortcut shortcut;
    ShortcutFinder finder;
    FinderResult found;

    // The first generation's "Core" key, whatever HotSync generation is installed.
    std::string hotSyncFolder = ReadHotSyncFolder(hotsync::PalmCoreKey);
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
