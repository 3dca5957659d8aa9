#include "setup/elements/ttf_file.h"

#include <string>
#include <utility>

FW_IMPLEMENT_DYNCREATE(WSetupTTFFile, WSetupElement)

WSetupTTFFile::WSetupTTFFile() : WSetupFile(KindTTFFile) {
    CopyMode = CopyIfAbsent;
}

int WSetupTTFFile::Uninstall() {
    return 0;
}

// Copying, registering and checking fonts are not written yet: these answer as the base element
// does.
int WSetupTTFFile::Verify() {
    return WSetupElement::Verify();
}
int WSetupTTFFile::InstallStep(FwStringArray&, FwPtrArray&, int, int, int) {
    return WSetupElement::Install();
}
int WSetupTTFFile::RegisterFont(int) {
    return WSetupElement::Install();
}

FwString WSetupTTFFile::GetFullRecord() {
    std::string record = WSetupFile::GetFullRecord().str();
    record += FontName.str();
    record += ',';
    return FwString(record);
}

FwString WSetupTTFFile::GetShortRecord() {
    return FwString();
}

FwString WSetupTTFFile::GetFontName() const {
    return FontName;
}
void WSetupTTFFile::SetFontName(FwString name) {
    FontName = std::move(name);
}
