#include "setup/elements/dir_kinds.h"

#include "setup/core/record.h"

FW_IMPLEMENT_DYNCREATE(WSetupDir, WSetupElement)
FW_IMPLEMENT_DYNCREATE(WSetupDeleteFile, WSetupElement)
FW_IMPLEMENT_DYNCREATE(WSetupBackupFile, WSetupElement)

// Creating, removing and checking folders, deleting and backing up files are not written yet:
// those operations answer as the base element does.

// ---------------------------------------------------------------------------------------------
// WSetupDir

WSetupDir::WSetupDir() : WSetupElement(KindDir) {}

int WSetupDir::Uninstall() {
    return WSetupElement::Uninstall();
}
int WSetupDir::Verify() {
    return WSetupElement::Verify();
}
int WSetupDir::InstallStep(int) {
    return WSetupElement::Install();
}

FwString WSetupDir::GetFullRecord() {
    return RecordBuilder()
        .Text(Id)
        .Text(DestDir)
        .Text(DestName)
        .Text(OptionFlags)
        .Text(Attributes)
        .Flag(RemoveOnUninstall)
        .Flag(PruneParents)
        .Text(ExtraText)
        .Flag(RecordFlag)
        .Result();
}

// The short record ends with PruneParents and no "," after it.
FwString WSetupDir::GetShortRecord() {
    return RecordBuilder()
        .Text(Id)
        .Text(DestDir)
        .Text(DestName)
        .Text(OptionFlags)
        .Text(Attributes)
        .Flag(RemoveOnUninstall)
        .Raw(PruneParents ? "1" : "0")
        .Result();
}

// ---------------------------------------------------------------------------------------------
// WSetupDeleteFile

WSetupDeleteFile::WSetupDeleteFile() : WSetupElement(KindDeleteFile) {}

int WSetupDeleteFile::Uninstall() {
    return 0;
}
int WSetupDeleteFile::Verify() {
    return 0;
}
int WSetupDeleteFile::InstallStep(int) {
    return WSetupElement::Install();
}

FwString WSetupDeleteFile::GetFullRecord() {
    return RecordBuilder()
        .Text(Id)
        .Text(DestDir)
        .Text(DestName)
        .Text(OptionFlags)
        .Flag(RemoveOnUninstall)
        .Text(ExtraText)
        .Flag(RecordFlag)
        .Result();
}

FwString WSetupDeleteFile::GetShortRecord() {
    return FwString();
}

// ---------------------------------------------------------------------------------------------
// WSetupBackupFile

WSetupBackupFile::WSetupBackupFile() : WSetupElement(KindBackupFile) {}

int WSetupBackupFile::Uninstall() {
    return 0;
}
int WSetupBackupFile::Verify() {
    return 0;
}
int WSetupBackupFile::InstallStep(int) {
    return WSetupElement::Install();
}

FwString WSetupBackupFile::GetFullRecord() {
    return RecordBuilder()
        .Text(Id)
        .Text(DestDir)
        .Text(DestName)
        .Text(OptionFlags)
        .Text(ExtraText)
        .Flag(RecordFlag)
        .Result();
}

FwString WSetupBackupFile::GetShortRecord() {
    return FwString();
}
