// Self-registering module element: registers an installed module through its
// "DllRegisterServer" entry at install and unregisters it at uninstall.
#pragma once

#include "setup/core/element.h"

class WSetupSelfRegFile : public WSetupElement {
    FW_DECLARE_DYNCREATE(WSetupSelfRegFile)
public:
    WSetupSelfRegFile();
    ~WSetupSelfRegFile() = default;

    int Verify() override;
    FwString GetFullRecord() override;
    FwString GetShortRecord() override;

    // Slots 26 and 27; `errorText` receives the load error of the module.
    virtual int InstallStep(FwString& errorText, int shortNames);
    virtual int UninstallStep(FwString& errorText);
};

#if defined(__i386__)
static_assert(sizeof(WSetupSelfRegFile) == 88, "self-registering module layout");
#endif
