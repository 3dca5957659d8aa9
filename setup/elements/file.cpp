#include "setup/elements/file.h"

#include <utility>

#include "setup/core/record.h"

FW_IMPLEMENT_DYNCREATE(WSetupFile, WSetupElement)
FW_IMPLEMENT_DYNCREATE(WSetupRuntimeFile, WSetupElement)

WSetupFile::WSetupFile() : WSetupElement(KindFile) {}
WSetupFile::WSetupFile(int kind) : WSetupElement(kind) {}

// Copying, deleting, binding and checking files are not written yet: these answer as the base
// element does.
int WSetupFile::Verify() {
    return WSetupElement::Verify();
}
int WSetupFile::InstallStep(FwStringArray&, FwPtrArray&, int, int, int) {
    return WSetupElement::Install();
}
int WSetupFile::UninstallStep(FwStringArray&) {
    return WSetupElement::Uninstall();
}
int WSetupFile::BindImage() {
    return WSetupElement::Install();
}

FwString WSetupFile::GetChecksumText() const {
    return ChecksumText;
}
void WSetupFile::SetChecksumText(FwString text) {
    ChecksumText = std::move(text);
}

FwString WSetupFile::GetFullRecord() {
    return RecordBuilder()
        .Text(Id)
        .Text(SourceDir)
        .Text(SourceName)
        .Text(DestDir)
        .Text(DestName)
        .Text(WholeNumberText(Size))
        .Text(Attributes)
        .Number(CopyMode)
        .Text(OptionFlags)
        .Number(FileFlags)
        .Text(ChecksumText)
        .Number(CarriedNumber)
        .Flag(RemoveOnUninstall)
        .Flag(RemoveEmptyFolders)
        .Text(ExtraText)
        .Flag(RecordFlag)
        .Flag(CollectAfterCopy)
        .Flag(CarriedFlag)
        .Result();
}

FwString WSetupFile::GetShortRecord() {
    return RecordBuilder()
        .Text(Id)
        .Empty(2) // SourceDir, SourceName
        .Text(DestDir)
        .Text(DestName)
        .Text(WholeNumberText(Size))
        .Text(Attributes)
        .Number(CopyMode)
        .Text(OptionFlags)
        .Number(FileFlags)
        .Text(ChecksumText)
        .Number(CarriedNumber)
        .Flag(RemoveOnUninstall)
        .Flag(RemoveEmptyFolders)
        .Empty(3) // ExtraText, RecordFlag, CollectAfterCopy
        .Flag(CarriedFlag)
        .Result();
}

WSetupRuntimeFile::WSetupRuntimeFile() : WSetupElement(KindRuntimeFile) {}

int WSetupRuntimeFile::Install() {
    return 0;
}
int WSetupRuntimeFile::Verify() {
    return 0;
}

// Not written yet: answers as the base element does.
int WSetupRuntimeFile::Remove(FwStringArray&) {
    return WSetupElement::Uninstall();
}

FwString WSetupRuntimeFile::GetFullRecord() {
    return RecordBuilder()
        .Text(Id)
        .Text(DestDir)
        .Text(DestName)
        .Text(OptionFlags)
        .Flag(RemoveEmptyFolders)
        .Text(ExtraText)
        .Flag(RecordFlag)
        .Result();
}

FwString WSetupRuntimeFile::GetShortRecord() {
    return RecordBuilder()
        .Text(Id)
        .Text(DestDir)
        .Text(DestName)
        .Text(OptionFlags)
        .Flag(RemoveEmptyFolders)
        .Empty(2)
        .Result();
}
