// Elements that run code the product supplies: a DLL's "CCustDLLEntry" at install
// (WSetupCustomDLL) or at uninstall (WUninstallCustomDLL), and a program at install
// (WSetupExecutable) or at uninstall (WUnistallExecutable).
#pragma once

#include "setup/core/element.h"

// How the executable kinds start their program (RunMode).
enum WSetupRunMode : int {
    RunAndWait = 1, // also every value not listed
    RunNoWait = 2,
    RunShellOpen = 3,
    RunWinExec = 4,
};

class WUninstallCustomDLL : public WSetupElement {
    FW_DECLARE_DYNCREATE(WUninstallCustomDLL)
public:
    WUninstallCustomDLL();
    ~WUninstallCustomDLL() = default;

    int Install() override; // runs only at uninstall: 0
    int Uninstall() override;
    int Verify() override; // 0
    FwString GetFullRecord() override;
    FwString GetShortRecord() override;

    virtual FwString GetArguments() const; // 26
    virtual void SetArguments(FwString arguments);

    FwString Arguments; // expanded just before the call
};

class WSetupCustomDLL : public WSetupElement {
    FW_DECLARE_DYNCREATE(WSetupCustomDLL)
public:
    WSetupCustomDLL();
    ~WSetupCustomDLL() = default;

    int Uninstall() override; // runs only at install: 0
    int Verify() override;
    FwString GetFullRecord() override;
    FwString GetShortRecord() override;

    virtual int InstallStep(int shortNames); // 26
    virtual FwString GetArguments() const;
    virtual void SetArguments(FwString arguments);

    FwString Arguments;
    int Disabled = 0; // nonzero: the install step does nothing
};

class WUnistallExecutable : public WSetupElement {
    FW_DECLARE_DYNCREATE(WUnistallExecutable)
public:
    WUnistallExecutable();
    ~WUnistallExecutable() = default;

    int Install() override; // runs only at uninstall: 0
    int Uninstall() override;
    int Verify() override; // 0
    FwString GetFullRecord() override;
    FwString GetShortRecord() override;

    virtual FwString GetArguments() const; // 26
    virtual void SetArguments(FwString arguments);
    virtual int GetRunMode() const;
    virtual void SetRunMode(int mode); // 29

    FwString Arguments;
    int RunMode = RunAndWait;
};

class WSetupExecutable : public WSetupElement {
    FW_DECLARE_DYNCREATE(WSetupExecutable)
public:
    WSetupExecutable();
    ~WSetupExecutable() = default;

    int Uninstall() override; // runs only at install: 0
    int Verify() override;    // 0
    FwString GetFullRecord() override;
    FwString GetShortRecord() override;

    virtual int InstallStep(int shortNames); // 26
    virtual FwString GetArguments() const;
    virtual void SetArguments(FwString arguments);
    virtual int GetRunMode() const;
    virtual void SetRunMode(int mode); // 30

    FwString Arguments;
    int RunMode = RunAndWait;
};

#if defined(__i386__)
FW_LAYOUT_CHECKS_BEGIN
static_assert(offsetof(WUninstallCustomDLL, Arguments) == 88, "custom code layout");
static_assert(sizeof(WUninstallCustomDLL) == 96, "custom code layout");
static_assert(offsetof(WSetupCustomDLL, Disabled) == 92, "custom code layout");
static_assert(sizeof(WSetupCustomDLL) == 96, "custom code layout");
static_assert(offsetof(WUnistallExecutable, RunMode) == 92, "custom code layout");
static_assert(sizeof(WUnistallExecutable) == 96, "custom code layout");
static_assert(offsetof(WSetupExecutable, RunMode) == 92, "custom code layout");
static_assert(sizeof(WSetupExecutable) == 96, "custom code layout");
FW_LAYOUT_CHECKS_END
#endif
