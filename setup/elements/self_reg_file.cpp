#include "setup/elements/self_reg_file.h"

#include "setup/core/record.h"

FW_IMPLEMENT_DYNCREATE(WSetupSelfRegFile, WSetupElement)

WSetupSelfRegFile::WSetupSelfRegFile() : WSetupElement(KindSelfRegFile) {}

// Registering, unregistering and checking are not written yet: these answer as the base element
// does.
int WSetupSelfRegFile::Verify() {
    return WSetupElement::Verify();
}
int WSetupSelfRegFile::InstallStep(FwString&, int) {
    return WSetupElement::Install();
}
int WSetupSelfRegFile::UninstallStep(FwString&) {
    return WSetupElement::Uninstall();
}

FwString WSetupSelfRegFile::GetFullRecord() {
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

FwString WSetupSelfRegFile::GetShortRecord() {
    return RecordBuilder()
        .Text(Id)
        .Text(DestDir)
        .Text(DestName)
        .Text(OptionFlags)
        .Flag(RemoveOnUninstall)
        .Empty(2)
        .Result();
}
