// Self-registering module element: registers an installed module through its
// "DllRegisterServer" entry at install and unregisters it at uninstall.
#pragma once

#include <string>

#include "setup/core/element.h"
#include "setup/elements/crash_guard.h"

// Results of CallRegistrationEntry.
enum RegistrationResult : int {
    RegistrationDone = 1,         // the entry ran and returned 0
    RegistrationLoadFailed = -1,  // the module could not be loaded; the error text is set
    RegistrationNoEntry = -2,     // the module has no such entry
    RegistrationEntryFailed = -3, // the entry returned another value (S_FALSE included)
    RegistrationOleFailed = -5,   // the component library could not be initialised
    RegistrationCrashed = -6,     // an exception left the entry (see crash_guard.h)
};

// Loads the module (its own folder searched first for the DLLs it needs), calls the named entry
// without arguments inside the crash guard and unloads it again. `errorText` is emptied, and on a
// load failure receives the platform's error code written "0x%08lx".
//
// Around the call the process error mode includes SEM_FAILCRITICALERRORS (no critical-error
// boxes while a module or its dependencies are looked for) and the thread has the component
// library (OLE) initialised. Both are put back as they were: the error mode is restored, a
// successful OleInitialize (S_OK or S_FALSE) is balanced, and a thread that is already
// initialised in another apartment mode is used as it is.
int CallRegistrationEntry(const std::string& modulePath, const std::string& entryName,
                          std::string& errorText);
// CallRegistrationEntry with "DllRegisterServer".
int RegisterModule(const std::string& modulePath, std::string& errorText);
// CallRegistrationEntry with "DllUnregisterServer".
int UnregisterModule(const std::string& modulePath, std::string& errorText);

class WSetupSelfRegFile : public WSetupElement {
    FW_DECLARE_DYNCREATE(WSetupSelfRegFile)
public:
    WSetupSelfRegFile();
    ~WSetupSelfRegFile() = default;

    // 0 when the module file exists, 1 when not.
    int Verify() override;
    FwString GetFullRecord() override;
    FwString GetShortRecord() override;

    // Slots 26 and 27; `errorText` receives the load error of the module (see
    // CallRegistrationEntry).
    //
    // InstallStep: 0 registered, 1 module file absent, 2 loading failed, 3 the entry returned
    // failure, 4 no entry, 5 OLE initialisation failed, 7 the module crashed in the entry.
    virtual int InstallStep(FwString& errorText, int shortNames);
    // UninstallStep: 0 unregistered, 1 skipped (RemoveOnUninstall 0), 2 module file absent,
    // 3 loading failed, 4 the entry returned failure, 5 no entry, 6 OLE initialisation failed,
    // 7 the module crashed in the entry.
    virtual int UninstallStep(FwString& errorText);
};

#if defined(__i386__)
static_assert(sizeof(WSetupSelfRegFile) == 88, "self-registering module layout");
#endif
