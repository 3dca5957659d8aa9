// Elements that act on the file system without copying from the medium: WSetupDir creates a
// folder and removes it at uninstall, WSetupDeleteFile deletes a file an older installation left
// behind, WSetupBackupFile copies an existing file to a "Backup Of " copy beside it.
//
// Each names its target as DestDir (replaced by its variable expansion) resolved with DestName,
// in short form when the install step's short-names flag is set. A file is there when it has
// attributes: a file that another program holds open is not taken for absent, so deleting or
// backing it up fails (2) instead of being skipped.
#pragma once

#include "setup/core/element.h"

// Prefix of the backup copy's file name (with its trailing blank).
constexpr const char* BackupFilePrefix = "Backup Of ";

class WSetupDir : public WSetupElement {
    FW_DECLARE_DYNCREATE(WSetupDir)
public:
    WSetupDir();
    ~WSetupDir() = default;

    // 0 removed (with PruneParents, also the empty folders above it), 1 not to be removed
    // (RemoveOnUninstall 0, a folder that is not there, a root, or one of the machine's
    // well-known folders or a folder above one: these are never removed, not even as empty
    // parents), 2 left for the restart (PruneParents 0 only; the platform's delayed deletion
    // removes it once it is empty), 3 not removed, 4 attributes not reset.
    int Uninstall() override;
    // Looks at the folder without entering it: 0 there with the hidden and system attributes
    // that Attributes gives it (the only ones every platform keeps on folders), 1 missing, 2
    // other attributes.
    int Verify() override;
    FwString GetFullRecord() override;
    FwString GetShortRecord() override;

    // 0 created (or already there) with Attributes applied, 1 not created (a root or an empty
    // target included), 2 attributes not applied.
    virtual int InstallStep(int shortNames); // 26

    FwString Attributes = "100000";
    FwString SecondAttributes = "100000"; // carried only, not in the records
    int PruneParents = 1;                 // at uninstall also remove empty parent folders
};

class WSetupDeleteFile : public WSetupElement {
    FW_DECLARE_DYNCREATE(WSetupDeleteFile)
public:
    WSetupDeleteFile();
    ~WSetupDeleteFile() = default;

    int Uninstall() override; // 0
    int Verify() override;    // 0
    FwString GetFullRecord() override;
    FwString GetShortRecord() override;

    // 0 deleted (read-only included), 1 absent or ChangeMark set (the file is left), 2 not
    // deleted (the file stays with its attributes), 3 attributes not reset.
    virtual int InstallStep(int shortNames); // 26
};

class WSetupBackupFile : public WSetupElement {
    FW_DECLARE_DYNCREATE(WSetupBackupFile)
public:
    WSetupBackupFile();
    ~WSetupBackupFile() = default;

    int Uninstall() override; // 0
    int Verify() override;    // 0
    FwString GetFullRecord() override;
    FwString GetShortRecord() override;

    // Copies the file to "Backup Of <name>" beside it: 0 copied, 1 absent, 2 not copied (an
    // existing backup is never overwritten).
    virtual int InstallStep(int shortNames); // 26
};

#if defined(__i386__)
FW_LAYOUT_CHECKS_BEGIN
static_assert(offsetof(WSetupDir, PruneParents) == 96, "folder layout");
static_assert(sizeof(WSetupDir) == 104, "folder layout");
static_assert(sizeof(WSetupDeleteFile) == 88, "deletion layout");
static_assert(sizeof(WSetupBackupFile) == 88, "backup layout");
FW_LAYOUT_CHECKS_END
#endif
