// Shortcut element: a start-menu or desktop shortcut to an installed program, written as a shell
// link file on the new shell and through the program manager otherwise.
#pragma once

#include "setup/core/element.h"
#include "setup/core/element_fields.h"

// Codes of WSetupShortcut::InstallStep.
enum WSetupShortcutCreation : int {
    ShortcutMade = 0,
    ShortcutTargetAbsent = 1,
    ShortcutLinkFailed = 2,     // the shell link could not be written
    ShortcutNoProgramGroup = 3, // before the new shell, "<G>" names no program group
};

// Codes of WSetupShortcut::UninstallStep.
enum WSetupShortcutRemoval : int {
    ShortcutRemoved = 0,
    ShortcutNotToBeRemoved = 1, // RemoveOnUninstall 0
    ShortcutNotRemoved = 2,
};

// Codes of WSetupShortcut::Verify (before the new shell there is no link file to look for).
enum WSetupShortcutCheck : int {
    ShortcutPresent = 0,
    ShortcutMissing = 1,
};

// What a status of InstallStep (Install), UninstallStep (Undo) and Verify (Check) means.
extern const StepMeaningTable WSetupShortcutMeanings;

extern const ElementFieldTable WSetupShortcutFields;

class WSetupShortcut : public WSetupElement {
    FW_DECLARE_DYNCREATE(WSetupShortcut)
public:
    WSetupShortcut();
    ~WSetupShortcut() = default;

    int Verify() override;
    FwString GetFullRecord() override;
    FwString GetShortRecord() override;

    // Own operations (slots 26-39). The list belongs to the caller.
    virtual int InstallStep(FwStringArray& groupFolders);   // appends the group folder it used
    virtual int UninstallStep(FwStringArray& removedLinks); // appends the link file it removed
    virtual FwString GetGroup() const;
    virtual void SetGroup(FwString group);
    virtual FwString GetLinkName() const; // 30
    virtual void SetLinkName(FwString name);
    virtual FwString GetArguments() const;
    virtual void SetArguments(FwString arguments);
    virtual FwString GetWorkDir() const;
    virtual void SetWorkDir(FwString dir); // 35
    virtual FwString GetIconDir() const;
    virtual void SetIconDir(FwString dir);
    virtual FwString GetIconName() const;
    virtual void SetIconName(FwString name); // 39

    FwString Group;
    FwString LinkName; // the link file is this title with ".LNK"
    int LinkFlag = 0;
    FwString Arguments;
    FwString WorkDir; // empty: the target's folder
    FwString IconDir;
    FwString IconName;
    int IconIndex = 0;
};

#if defined(__i386__)
FW_LAYOUT_CHECKS_BEGIN
static_assert(offsetof(WSetupShortcut, Group) == 88, "shortcut layout");
static_assert(offsetof(WSetupShortcut, IconIndex) == 116, "shortcut layout");
static_assert(sizeof(WSetupShortcut) == 120, "shortcut layout");
FW_LAYOUT_CHECKS_END
#endif
