#include "setup/elements/shortcut.h"

#include <utility>

#include "setup/core/record.h"

FW_IMPLEMENT_DYNCREATE(WSetupShortcut, WSetupElement)

WSetupShortcut::WSetupShortcut() : WSetupElement(KindShortcut) {}

// Creating, removing and checking the shortcut are not written yet: these answer as the base
// element does.
int WSetupShortcut::Verify() {
    return WSetupElement::Verify();
}
int WSetupShortcut::InstallStep(FwStringArray&) {
    return WSetupElement::Install();
}
int WSetupShortcut::UninstallStep(FwStringArray&) {
    return WSetupElement::Uninstall();
}

FwString WSetupShortcut::GetFullRecord() {
    return RecordBuilder()
        .Text(Id)
        .Text(Group)
        .Text(LinkName)
        .Text(DestDir)
        .Text(DestName)
        .Text(OptionFlags)
        .Flag(LinkFlag)
        .Text(Arguments)
        .Text(WorkDir)
        .Text(IconDir)
        .Text(IconName)
        .Number(IconIndex)
        .Flag(RemoveOnUninstall)
        .Text(ExtraText)
        .Flag(RecordFlag)
        .Result();
}

FwString WSetupShortcut::GetShortRecord() {
    return RecordBuilder()
        .Text(Id)
        .Text(Group)
        .Text(LinkName)
        .Text(DestDir)
        .Text(DestName)
        .Text(OptionFlags)
        .Flag(LinkFlag)
        .Flag(RemoveOnUninstall)
        .Empty(2)
        .Result();
}

FwString WSetupShortcut::GetGroup() const {
    return Group;
}
void WSetupShortcut::SetGroup(FwString group) {
    Group = std::move(group);
}
FwString WSetupShortcut::GetLinkName() const {
    return LinkName;
}
void WSetupShortcut::SetLinkName(FwString name) {
    LinkName = std::move(name);
}
FwString WSetupShortcut::GetArguments() const {
    return Arguments;
}
void WSetupShortcut::SetArguments(FwString arguments) {
    Arguments = std::move(arguments);
}
FwString WSetupShortcut::GetWorkDir() const {
    return WorkDir;
}
void WSetupShortcut::SetWorkDir(FwString dir) {
    WorkDir = std::move(dir);
}
FwString WSetupShortcut::GetIconDir() const {
    return IconDir;
}
void WSetupShortcut::SetIconDir(FwString dir) {
    IconDir = std::move(dir);
}
FwString WSetupShortcut::GetIconName() const {
    return IconName;
}
void WSetupShortcut::SetIconName(FwString name) {
    IconName = std::move(name);
}
