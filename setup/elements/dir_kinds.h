// Elements that act on the file system without copying from the medium: WSetupDir creates a
// folder and removes it at uninstall, WSetupDeleteFile deletes a file an older installation left
// behind, WSetupBackupFile copies an existing file to a "Backup Of " copy beside it.
//
// Each names its target as DestDir (replaced by its variable expansion) resolved with DestName,
// in short form when the install step's short-names flag is set. A file is there when it has
// attributes: a file that another program holds open is not taken for absent, so deleting or
// backing it up fails instead of being skipped.
#pragma once

#include <string>

#include "setup/core/element.h"
#include "setup/core/element_fields.h"

// Prefix of the backup copy's file name (with its trailing blank).
constexpr const char* BackupFilePrefix = "Backup Of ";

// The backup copy a WSetupBackupFile makes of the file at `target`: beside it, its name prefixed.
// The kind and the engine's saved state both name it through this.
std::string BackupPathOf(const std::string& target);

// Codes of WSetupDir::InstallStep.
enum WSetupDirCreation : int {
    DirCreated = 0,    // created (or already there) with Attributes applied
    DirNotCreated = 1, // a root or an empty target included
    DirAttributesNotApplied = 2,
};

// Codes of WSetupDir::Uninstall.
enum WSetupDirRemoval : int {
    DirRemoved = 0, // with PruneParents, also the empty folders above it
    // RemoveOnUninstall 0, a folder that is not there, a root, or one of the machine's
    // well-known folders or a folder above one: these are never removed, not even as empty
    // parents.
    DirNotToBeRemoved = 1,
    // PruneParents 0 only; the platform's delayed deletion removes it once it is empty.
    DirRemovalScheduled = 2,
    DirNotRemoved = 3,
    DirAttributesNotReset = 4,
};

// Codes of WSetupDir::Verify.
enum WSetupDirCheck : int {
    DirAsInstalled = 0, // with the hidden and system attributes that Attributes gives it
    DirMissing = 1,
    DirAttributesDiffer = 2,
};

// Codes of WSetupDeleteFile::InstallStep.
enum WSetupDeleteFileOutcome : int {
    OldFileDeleted = 0,       // read-only included
    OldFileLeft = 1,          // absent, or ChangeMark set
    OldFileNotDeleted = 2,    // the file stays with its attributes
    OldFileNotResettable = 3, // its attributes cannot be reset
};

// Codes of WSetupBackupFile::InstallStep.
enum WSetupBackupOutcome : int {
    BackupMade = 0,
    BackupSourceAbsent = 1,
    BackupNotMade = 2, // an existing backup is never overwritten
};

// What a status of InstallStep (Install), Uninstall (Undo) and Verify (Check) means.
extern const StepMeaningTable WSetupDirMeanings;
// Only InstallStep does anything; the other operations answer 0.
extern const StepMeaningTable WSetupDeleteFileMeanings;
extern const StepMeaningTable WSetupBackupFileMeanings;

extern const ElementFieldTable WSetupDirFields;
extern const ElementFieldTable WSetupDeleteFileFields;
extern const ElementFieldTable WSetupBackupFileFields;

class WSetupDir : public WSetupElement {
    FW_DECLARE_DYNCREATE(WSetupDir)
public:
    WSetupDir();
    ~WSetupDir() = default;

    int Uninstall() override; // a WSetupDirRemoval
    // Looks at the folder without entering it (a WSetupDirCheck); hidden and system are the only
    // attributes every platform keeps on folders.
    int Verify() override;
    FwString GetFullRecord() override;
    FwString GetShortRecord() override;

    virtual int InstallStep(int shortNames); // 26: a WSetupDirCreation

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

    virtual int InstallStep(int shortNames); // 26: a WSetupDeleteFileOutcome
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

    // Copies the file to "Backup Of <name>" beside it (a WSetupBackupOutcome).
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
