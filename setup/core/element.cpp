#include "setup/core/element.h"

#include "setup/core/record.h"

FW_IMPLEMENT_DYNCREATE(WSetupElement, FwObject)

WSetupElement::WSetupElement() : WSetupElement(KindNone) {}

WSetupElement::WSetupElement(int kind)
    : SourceDir("<S>"), DestDir("<D>"), OptionFlags("1111"), Kind(kind) {}

FwString WSetupElement::GetId() const {
    return Id;
}
void WSetupElement::SetId(FwString id) {
    Id = std::move(id);
}

// Nothing to do for a plain element: 1, stored like every operation's result.
int WSetupElement::Install() {
    return Status = 1;
}
int WSetupElement::Uninstall() {
    return Status = 1;
}
int WSetupElement::Verify() {
    return Status = 1;
}

FwString WSetupElement::GetRecord() {
    return GetFullRecord();
}

FwString WSetupElement::GetFullRecord() {
    return RecordBuilder()
        .Text(Id)
        .Text(SourceDir)
        .Text(SourceName)
        .Text(DestDir)
        .Text(DestName)
        .Double(Size)
        .Text(OptionFlags)
        .Flag(RemoveOnUninstall)
        .Text(ExtraText)
        .Flag(RecordFlag)
        .Result();
}

FwString WSetupElement::GetShortRecord() {
    return FwString();
}

FwString WSetupElement::GetSourceDir() const {
    return SourceDir;
}
void WSetupElement::SetSourceDir(FwString dir) {
    SourceDir = std::move(dir);
}
FwString WSetupElement::GetSourceName() const {
    return SourceName;
}
void WSetupElement::SetSourceName(FwString name) {
    SourceName = std::move(name);
}
FwString WSetupElement::GetDestDir() const {
    return DestDir;
}
void WSetupElement::SetDestDir(FwString dir) {
    DestDir = std::move(dir);
}
FwString WSetupElement::GetDestName() const {
    return DestName;
}
void WSetupElement::SetDestName(FwString name) {
    DestName = std::move(name);
}
FwString WSetupElement::GetOptionFlags() const {
    return OptionFlags;
}
void WSetupElement::SetOptionFlags(FwString flags) {
    OptionFlags = std::move(flags);
}
FwString WSetupElement::GetExtraText() const {
    return ExtraText;
}
void WSetupElement::SetExtraText(FwString text) {
    ExtraText = std::move(text);
}
void WSetupElement::SetSize(double size) {
    Size = size;
}
FwString WSetupElement::GetUserText() const {
    return UserText;
}
void WSetupElement::SetUserText(FwString text) {
    UserText = std::move(text);
}
