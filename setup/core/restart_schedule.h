// Files replaced or deleted at the next restart: on the Windows 95/98 family through the
// "rename" section of WININIT.INI in the Windows folder ("NUL=<short path>" deletes,
// "<short target>=<short staging>" moves), rewritten as text by the INI unit (ini_file.h), so
// that its earlier lines stay; on the NT family through the platform's delay-until-reboot moves.
#pragma once

#include <windows.h>

#include <string>

#include "setup/core/seam.h"

// Schedules `newFile` to replace `target` at the next restart: `newFile` is copied now to a
// staging name beside `target` (its folder is created when missing), which is moved onto it at
// the restart. On the NT family this is one delayed move with replacement, so the target is
// never left deleted with nothing in its place. On the Windows 95/98 family `target` must exist
// (its short path is written) and WININIT.INI must be rewritten completely; the rename list holds
// short paths only, so a target with a long name comes back under its short name. False when
// nothing was scheduled; the staging copy is then removed again.
[[nodiscard]] bool ReplaceFileAtReboot(const std::string& newFile, const std::string& target);

// Schedules the deletion of `path` at the next restart. On the Windows 95/98 family the path
// must exist (its short path is written). False when nothing was scheduled.
[[nodiscard]] bool DeleteFileAtReboot(const std::string& path);

// What restart scheduling asks of the platform. This class makes the real calls; tests derive
// from it so that scheduling never reaches the machine's real rename lists.
class RestartPlatform {
public:
    virtual ~RestartPlatform() = default;
    // 1 = Windows 95/98 family (WININIT.INI), anything else the NT family's delayed moves.
    virtual DWORD PlatformId();
    // The folder that holds WININIT.INI.
    virtual std::string WindowsFolder();
    // Schedules `source` to move onto `target` at the next restart, replacing it
    // (MOVEFILE_DELAY_UNTIL_REBOOT | MOVEFILE_REPLACE_EXISTING); an empty target deletes
    // `source` at the restart. True when the platform accepted it.
    virtual bool MoveAtRestart(const std::string& source, const std::string& target);
};

// The platform that scheduling asks: the real one unless a test put a stand-in in its place.
RestartPlatform& CurrentRestartPlatform();
Seam<RestartPlatform*>& RestartPlatformForTesting();
