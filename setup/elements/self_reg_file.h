// Self-registering module element: registers an installed module through its
// "DllRegisterServer" entry at install and unregisters it at uninstall.
#pragma once

#include <string>

#include "setup/core/element.h"
#include "setup/core/element_fields.h"
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
[[nodiscard]] int CallRegistrationEntry(const std::string& modulePath, const std::string& entryName,
                                        std::string& errorText);
// CallRegistrationEntry with "DllRegisterServer".
[[nodiscard]] int RegisterModule(const std::string& modulePath, std::string& errorText);
// CallRegistrationEntry with "DllUnregisterServer".
[[nodiscard]] int UnregisterModule(const std::string& modulePath, std::string& errorText);

// Codes of WSetupSelfRegFile::InstallStep.
enum WSetupSelfRegistration : int {
    ModuleRegistered = 0,
    RegisterModuleAbsent = 1,
    RegisterLoadFailed = 2,
    RegisterEntryFailed = 3, // the entry returned failure
    RegisterNoEntry = 4,
    RegisterOleFailed = 5,
    RegisterCrashed = 7, // the module crashed in the entry
    RegisterOtherResult = 8,
};

// Codes of WSetupSelfRegFile::UninstallStep.
enum WSetupSelfUnregistration : int {
    ModuleUnregistered = 0,
    UnregisterSkipped = 1, // RemoveOnUninstall 0
    UnregisterModuleAbsent = 2,
    UnregisterLoadFailed = 3,
    UnregisterEntryFailed = 4,
    UnregisterNoEntry = 5,
    UnregisterOleFailed = 6,
    UnregisterCrashed = 7,
    UnregisterOtherResult = 8,
};

// Codes of WSetupSelfRegFile::Verify.
enum WSetupSelfRegCheck : int {
    ModulePresent = 0,
    ModuleMissing = 1,
};

// What a status of InstallStep (Install), UninstallStep (Undo) and Verify (Check) means.
extern const StepMeaningTable WSetupSelfRegFileMeanings;

extern const ElementFieldTable WSetupSelfRegFileFields;

class WSetupSelfRegFile : public WSetupElement {
    FW_DECLARE_DYNCREATE(WSetupSelfRegFile)
public:
    WSetupSelfRegFile();
    ~WSetupSelfRegFile() = default;

    int Verify() override; // a WSetupSelfRegCheck
    FwString GetFullRecord() override;
    FwString GetShortRecord() override;

    // Slots 26 and 27; `errorText` receives the load error of the module (see
    // CallRegistrationEntry).
    virtual int InstallStep(FwString& errorText, int shortNames); // a WSetupSelfRegistration
    virtual int UninstallStep(FwString& errorText);               // a WSetupSelfUnregistration
};

#if defined(__i386__)
static_assert(sizeof(WSetupSelfRegFile) == 88, "self-registering module layout");
#endif
