// The process-wide objects of the setup library. They are all defined in this one unit so that
// their construction order is fixed (the order of definition below) and all of them exist before
// the program's (or the plug-in's) main code runs. None of them relies on another's construction.
#include "setup/core/macros.h"
#include "setup/core/platform_version.h"
#include "setup/core/sysfolders.h"

// 1. System folders (asks the platform's version query itself, not the record below).
static SystemFolders g_systemFolders;
SystemFolders& TheSystemFolders() {
    return g_systemFolders;
}

// 2. Platform version.
static PlatformVersion g_platformVersion;
const PlatformVersion& ThePlatformVersion() {
    return g_platformVersion;
}

// 3. Macro context: empty and disabled.
static SetupContext g_setupContext;
SetupContext& TheSetupContext() {
    return g_setupContext;
}

// 4. Backup name prefix: BackupFilePrefix (of the directory kinds) is a compile-time constant
// and needs no construction.
