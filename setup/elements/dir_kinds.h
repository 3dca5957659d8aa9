// Elements that act on the file system without copying from the medium: WSetupDir creates a
// folder and removes it at uninstall, WSetupDeleteFile deletes a file an older installation left
// behind, WSetupBackupFile copies an existing file to a "Backup Of " copy beside it.
#pragma once

#include "setup/core/element.h"

// Prefix of the backup copy's file name (with its trailing blank).
constexpr const char* BackupFilePrefix = "Backup Of ";

class WSetupDir : public WSetupElement {
    FW_DECLARE_DYNCREATE(WSetupDir)
public:
    WSetupDir();
    ~WSetupDir() = default;

    int Uninstall() override;
    int Verify() override;
    FwString GetFullRecord() override;
    FwString GetShortRecord() override;

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
