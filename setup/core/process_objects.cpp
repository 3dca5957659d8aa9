// The process-wide objects of the setup library (setup/core/process_objects.h). They are all
// defined in this one unit, which fixes the order in which BuildProcessObjects builds them. None
// of them relies on another's construction, and all of them are core types: the core holds them
// itself and needs nothing above it to reach them.
//
// None of them may be a static object with a constructor or destructor: those run while the
// loader lock is held when they belong to a DLL (see the header). Each lives in storage that
// is never released, and nothing of this unit runs when the module unloads.
#include "setup/core/process_objects.h"

#include <new>

#include "setup/core/macros.h"
#include "setup/core/platform_version.h"
#include "setup/core/sysfolders.h"

namespace {

// Built on the first call of Get, in storage of static duration, and never destroyed.
template <typename T> class ProcessObject {
public:
    T& Get() {
        if (!m_object)
            m_object = new (m_storage) T();
        return *m_object;
    }

private:
    alignas(T) unsigned char m_storage[sizeof(T)];
    T* m_object; // zero before the first use (static storage)
};

// Zero-initialised and without constructors: nothing here runs at load or unload.
ProcessObject<SystemFolders> g_systemFolders;
ProcessObject<PlatformVersion> g_platformVersion;
ProcessObject<SetupContext> g_setupContext;

} // namespace

// 1. System folders (asks the platform's version query itself, not the record below).
SystemFolders& TheSystemFolders() {
    return g_systemFolders.Get();
}

// 2. Platform version.
const PlatformVersion& ThePlatformVersion() {
    return g_platformVersion.Get();
}

// 3. Macro context: empty and disabled.
SetupContext& TheSetupContext() {
    return g_setupContext.Get();
}

// 4. Backup name prefix: a compile-time constant of the directory kinds, with no construction.

void BuildProcessObjects() {
    TheSystemFolders();
    ThePlatformVersion();
    TheSetupContext();
}
