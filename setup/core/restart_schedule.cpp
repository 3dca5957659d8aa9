// Restart replacement and deletion: the WININIT.INI rename list on the Windows 95/98 family,
// delayed moves on the NT family.
#include "setup/core/restart_schedule.h"

#include "setup/core/fileutil.h"
#include "setup/core/ini_file.h"
#include "setup/core/path.h"
#include "setup/core/platform_version.h"
#include "setup/core/sysfolders.h"
#include "setup/core/text.h"

namespace {

const char RenameSection[] = "rename";

RestartPlatform g_realPlatform;
Seam<RestartPlatform*> g_platform{&g_realPlatform};

// Adds lines to the "rename" section of WININIT.INI, which moves to the end of the file.
bool ScheduleInWininit(const TextList& lines) {
    const std::string windows = g_platform.Get()->WindowsFolder();
    if (windows.empty())
        return false;
    return AddToIniSectionAtEnd(JoinPath(windows, "WININIT.INI", true), RenameSection, lines);
}

} // namespace

DWORD RestartPlatform::PlatformId() {
    return ThePlatformVersion().PlatformId();
}

std::string RestartPlatform::WindowsFolder() {
    return TheSystemFolders().Windows();
}

bool RestartPlatform::MoveAtRestart(const std::string& source, const std::string& target) {
    if (target.empty())
        return MoveFileExA(source.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT) != FALSE;
    return MoveFileExA(source.c_str(), target.c_str(),
                       MOVEFILE_DELAY_UNTIL_REBOOT | MOVEFILE_REPLACE_EXISTING) != FALSE;
}

Seam<RestartPlatform*>& RestartPlatformForTesting() {
    return g_platform;
}

RestartPlatform& CurrentRestartPlatform() {
    return *g_platform.Get();
}

bool ReplaceFileAtReboot(const std::string& newFile, const std::string& target) {
    const std::string folder = ParentOf(target);
    if (!folder.empty())
        (void)CreateDirectoryTree(folder); // a missing folder fails the staging copy below
    std::string staging;
    for (int attempt = 0; attempt < UniqueNameAttempts && staging.empty(); ++attempt) {
        staging = UniqueNameIn(folder);
        if (staging.empty())
            return false;
        if (!CopyFileA(newFile.c_str(), staging.c_str(), TRUE)) {
            if (!NameWasTaken(GetLastError()))
                return false;
            staging.clear();
        }
    }
    if (staging.empty())
        return false;
    bool scheduled = false;
    if (g_platform.Get()->PlatformId() == 1) {
        const std::string shortTarget = ShortPathOf(target);
        const std::string shortStaging = ShortPathOf(staging);
        scheduled = !shortTarget.empty() && !shortStaging.empty() &&
                    ScheduleInWininit({"NUL=" + shortTarget, shortTarget + "=" + shortStaging});
    } else {
        scheduled = g_platform.Get()->MoveAtRestart(staging, target);
    }
    if (!scheduled) {
        SetFileAttributesA(staging.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(staging.c_str());
    }
    return scheduled;
}

bool DeleteFileAtReboot(const std::string& path) {
    if (g_platform.Get()->PlatformId() == 1) {
        const std::string shortPath = ShortPathOf(path);
        return !shortPath.empty() && ScheduleInWininit({"NUL=" + shortPath});
    }
    return g_platform.Get()->MoveAtRestart(path, std::string());
}
