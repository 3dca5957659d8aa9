#include "setup/elements/registry_entry.h"

#include "setup/core/record.h"

FW_IMPLEMENT_DYNCREATE(WSetupRegEntry, WSetupElement)
FW_IMPLEMENT_DYNCREATE(WSetupRuntimeRegEntry, WSetupElement)

WSetupRegEntry::WSetupRegEntry() : WSetupElement(KindRegEntry) {}

// Writing, removing and checking registry entries are not written yet: these answer as the
// base element does.
int WSetupRegEntry::Install() {
    return WSetupElement::Install();
}
int WSetupRegEntry::Uninstall() {
    return WSetupElement::Uninstall();
}
int WSetupRegEntry::Verify() {
    return WSetupElement::Verify();
}

FwString WSetupRegEntry::GetFullRecord() {
    return RecordBuilder()
        .Text(Id)
        .Text(RootName)
        .Text(KeyPath)
        .Text(ValueName)
        .Text(ValueData)
        .Text(ValueType)
        .Text(OptionFlags)
        .Flag(RemoveOnUninstall)
        .Flag(DeleteSubkeys)
        .Text(ExtraText)
        .Flag(RecordFlag)
        .Text(PreviousValue)
        .Flag(RestoreOnUninstall)
        .Result();
}

FwString WSetupRegEntry::GetShortRecord() {
    return RecordBuilder()
        .Text(Id)
        .Text(RootName)
        .Text(KeyPath)
        .Text(ValueName)
        .Text(ValueData)
        .Text(ValueType)
        .Text(OptionFlags)
        .Flag(RemoveOnUninstall)
        .Flag(DeleteSubkeys)
        .Empty(2) // ExtraText, RecordFlag
        .Text(PreviousValue)
        .Flag(RestoreOnUninstall)
        .Result();
}

WSetupRuntimeRegEntry::WSetupRuntimeRegEntry() : WSetupElement(KindRuntimeRegEntry) {}

int WSetupRuntimeRegEntry::Install() {
    return 0;
}
int WSetupRuntimeRegEntry::Verify() {
    return 0;
}

// Not written yet: answers as the base element does.
int WSetupRuntimeRegEntry::Remove(FwStringArray&) {
    return WSetupElement::Uninstall();
}

FwString WSetupRuntimeRegEntry::GetFullRecord() {
    return RecordBuilder()
        .Text(Id)
        .Text(RootName)
        .Text(KeyPath)
        .Text(OptionFlags)
        .Flag(DeleteSubkeys)
        .Text(EntryKind)
        .Text(ExtraText)
        .Flag(RecordFlag)
        .Result();
}

FwString WSetupRuntimeRegEntry::GetShortRecord() {
    return RecordBuilder()
        .Text(Id)
        .Text(RootName)
        .Text(KeyPath)
        .Text(OptionFlags)
        .Flag(DeleteSubkeys)
        .Text(EntryKind)
        .Empty(3)
        .Result();
}
