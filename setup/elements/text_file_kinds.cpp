#include "setup/elements/text_file_kinds.h"

#include "setup/core/record.h"

FW_IMPLEMENT_DYNCREATE(WSetupRegFile, WSetupElement)
FW_IMPLEMENT_DYNCREATE(WSetupCustFile, WSetupElement)
FW_IMPLEMENT_DYNCREATE(WSetupProfileString, WSetupElement)

// Merging, customising, writing profile strings and their checks are not written yet: those
// operations answer as the base element does.

// ---------------------------------------------------------------------------------------------
// WSetupRegFile

WSetupRegFile::WSetupRegFile() : WSetupElement(KindRegFile) {}

int WSetupRegFile::Uninstall() {
    return 0;
}
int WSetupRegFile::Verify() {
    return WSetupElement::Verify();
}
int WSetupRegFile::InstallStep(int) {
    return WSetupElement::Install();
}

FwString WSetupRegFile::GetFullRecord() {
    return RecordBuilder()
        .Text(Id)
        .Text(DestDir)
        .Text(DestName)
        .Text(OptionFlags)
        .Text(ExtraText)
        .Flag(RecordFlag)
        .Result();
}

FwString WSetupRegFile::GetShortRecord() {
    return FwString();
}

// ---------------------------------------------------------------------------------------------
// WSetupCustFile

WSetupCustFile::WSetupCustFile() : WSetupElement(KindCustFile) {}

int WSetupCustFile::Uninstall() {
    return 0;
}
int WSetupCustFile::Verify() {
    return WSetupElement::Verify();
}
int WSetupCustFile::InstallStep(int) {
    return WSetupElement::Install();
}

FwString WSetupCustFile::GetFullRecord() {
    return RecordBuilder()
        .Text(Id)
        .Text(DestDir)
        .Text(DestName)
        .Text(SearchText)
        .Text(ReplaceText)
        .Text(OptionFlags)
        .Flag(RemoveOnUninstall)
        .Text(ExtraText)
        .Flag(RecordFlag)
        .Result();
}

FwString WSetupCustFile::GetShortRecord() {
    return FwString();
}

// ---------------------------------------------------------------------------------------------
// WSetupProfileString

WSetupProfileString::WSetupProfileString() : WSetupElement(KindProfileString) {}

int WSetupProfileString::Uninstall() {
    return WSetupElement::Uninstall();
}
int WSetupProfileString::Verify() {
    return WSetupElement::Verify();
}
int WSetupProfileString::InstallStep(int) {
    return WSetupElement::Install();
}

FwString WSetupProfileString::GetFullRecord() {
    return RecordBuilder()
        .Text(Id)
        .Text(DestDir)
        .Text(DestName)
        .Text(Section)
        .Text(Key)
        .Text(Value)
        .Text(OptionFlags)
        .Text(PreviousValue)
        .Flag(RemoveOnUninstall)
        .Flag(RestoreOnUninstall)
        .Text(ExtraText)
        .Flag(RecordFlag)
        .Result();
}

// The short record ends with RestoreOnUninstall and no "," after it.
FwString WSetupProfileString::GetShortRecord() {
    return RecordBuilder()
        .Text(Id)
        .Text(DestDir)
        .Text(DestName)
        .Text(Section)
        .Text(Key)
        .Text(Value)
        .Text(OptionFlags)
        .Text(PreviousValue)
        .Flag(RemoveOnUninstall)
        .Raw(RestoreOnUninstall ? "1" : "0")
        .Result();
}
