#include "setup/core/element.h"

#include "setup/core/element_fields.h"

FW_IMPLEMENT_DYNCREATE(WSetupElement, FwObject)

StepMeaning MeaningIn(const StepMeaningTable& table, ElementStep step, int status) {
    for (std::size_t i = 0; i < table.count; ++i) {
        const StatusMeaning& row = table.rows[i];
        if (row.step == step && row.status == status)
            return row.meaning;
    }
    return StepMeaning::Failed;
}

const char* StatusNameIn(const StepMeaningTable& table, ElementStep step, int status) {
    for (std::size_t i = 0; i < table.nameCount; ++i) {
        const StatusName& row = table.names[i];
        if (row.step == step && row.status == status)
            return row.name;
    }
    return nullptr;
}

WSetupElement::WSetupElement() : WSetupElement(KindNone) {}

WSetupElement::WSetupElement(int kind)
    : SourceDir("<S>"), DestDir("<D>"), OptionFlags("1111"), Kind(kind) {}

FwString WSetupElement::GetId() const {
    return Id;
}
void WSetupElement::SetId(FwString id) {
    Id = std::move(id);
}

// Nothing to do for a plain element, stored like every operation's result.
int WSetupElement::Install() {
    return Status = ElementNothingDone;
}
int WSetupElement::Uninstall() {
    return Status = ElementNothingDone;
}
int WSetupElement::Verify() {
    return Status = ElementNothingDone;
}

FwString WSetupElement::GetRecord() {
    return GetFullRecord();
}

FwString WSetupElement::GetFullRecord() {
    return WriteFullRecord(*this, ElementBaseFields);
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
