// Elements that run code the product supplies: a DLL's "CCustDLLEntry" at install
// (WSetupCustomDLL) or at uninstall (WUninstallCustomDLL), and a program at install
// (WSetupExecutable) or at uninstall (WUnistallExecutable).
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

#include "setup/core/element.h"
#include "setup/core/element_fields.h"
#include "setup/core/seam.h"

// The window that custom DLL entries receive as their caller's main window, asked of a source at
// each call (the main window may change). Neither deliverable has a main window to give: without
// a source, or when the source answers null, entries receive null. Tests put a source in place.
using MainWindowSource = HWND (*)();
Seam<MainWindowSource>& MainWindowSourceForTesting();
HWND ApplicationMainWindow();

// Loads the DLL by path (its own folder searched first for the DLLs it needs), calls its
// "CCustDLLEntry" (callee-cleans, taking the window and a zero-terminated ANSI text, returning a
// 32-bit integer) inside the crash guard (crash_guard.h) and unloads it. The entry receives a
// private copy of `arguments`, which it may change. Returns the entry's result; 0 without a call
// when the DLL cannot be loaded or has no such entry. `crashed` tells whether an exception left
// the entry (the result is then 0).
[[nodiscard]] int CallCustomEntry(HWND window, const std::string& dllPath,
                                  const std::string& arguments, bool& crashed);

// Statuses of the executable kinds: how the program was started, by run mode, or why not.
enum WSetupRunOutcome : int {
    ProgramRanAndEnded = 0,
    ProgramStarted = 1,
    ProgramShellOpened = 2,
    ProgramExecuted = 3,
    ProgramAbsent = 4, // the elements only
    RunAndWaitFailed = 5,
    StartFailed = 6,
    ShellOpenFailed = 7,
    ExecuteFailed = 8,
};

// Starting a program as the executable kinds do (see WSetupExecutable). Returns the kind's
// status for the mode (a WSetupRunOutcome). `arguments` is the expanded argument text.
[[nodiscard]] int RunProgram(const std::string& program, const std::string& arguments, int runMode);

// The longest command line (in characters, without the terminating zero) that the platform
// starts a program with. Longer shell-open parameters are refused instead of being cut.
constexpr std::size_t LongestCommandLine = 32767;

// How the executable kinds start their program (RunMode).
enum WSetupRunMode : int {
    RunAndWait = 1, // also every value not listed
    RunNoWait = 2,
    RunShellOpen = 3,
    RunWinExec = 4,
};

// Statuses of the custom DLL kinds.
enum WSetupCustomDllOutcome : int {
    // The entry was called (WSetupCustomDLL: and answered 0), or the DLL could not be loaded or
    // has no entry, or WSetupCustomDLL is Disabled. Verify: the DLL file is there.
    CustomDllCalled = 0,
    CustomDllAbsent = 1,
    CustomDllFirstAnswer = 3, // WSetupCustomDLL: 3-6 are the entry's own answer, passed on
    CustomDllLastAnswer = 6,
    CustomDllFailed = 7, // the entry crashed (WSetupCustomDLL: or gave any other answer)
};

// What a status of each kind's operations means: Install is InstallStep, Undo is Uninstall,
// Check is Verify. The operations of the other time (install for the uninstall kinds, uninstall
// for the install kinds) do nothing.
extern const StepMeaningTable WSetupCustomDLLMeanings;
extern const StepMeaningTable WUninstallCustomDLLMeanings;
extern const StepMeaningTable WSetupExecutableMeanings;
extern const StepMeaningTable WUnistallExecutableMeanings;

extern const ElementFieldTable WUninstallCustomDLLFields;
extern const ElementFieldTable WSetupCustomDLLFields;
extern const ElementFieldTable WUnistallExecutableFields;
extern const ElementFieldTable WSetupExecutableFields;

// The DLL and program of the four kinds is DestName in DestDir (DestDir is expanded and stored
// first); their Arguments are expanded with the path macros just before use, and the element
// keeps them unexpanded.

// Calls the DLL's entry at uninstall, whatever it answers (a WSetupCustomDllOutcome).
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

// Calls the DLL's entry at install (a WSetupCustomDllOutcome).
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

// Starts the program at uninstall, by RunMode (a WSetupRunOutcome). A batch file (".bat", ".cmd")
// run by modes 1 and 2 is started through the command interpreter; mode 4 quotes a program path
// that holds blanks.
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

// Starts the program at install, as WUnistallExecutable does at uninstall.
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
