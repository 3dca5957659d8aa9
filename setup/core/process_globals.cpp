// The process-wide objects of the setup library. They are all defined in this one unit so that
// their construction order is fixed (the order of definition below) and all of them exist before
// the program's (or the plug-in's) main code runs. None of them relies on another's construction.
#include "setup/core/fileutil.h"

// 1. System folders.

// 2. Platform version.
static PlatformVersion g_platformVersion;
const PlatformVersion& ThePlatformVersion() {
    return g_platformVersion;
}

// 3. Macro context.

// 4. Backup name prefix.
