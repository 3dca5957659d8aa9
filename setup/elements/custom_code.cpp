#include "setup/elements/custom_code.h"

#include <utility>

#include "setup/core/macros.h"
#include "setup/core/record.h"

FW_IMPLEMENT_DYNCREATE(WUninstallCustomDLL, WSetupElement)
FW_IMPLEMENT_DYNCREATE(WSetupCustomDLL, WSetupElement)
FW_IMPLEMENT_DYNCREATE(WUnistallExecutable, WSetupElement)
FW_IMPLEMENT_DYNCREATE(WSetupExecutable, WSetupElement)

// Calling the DLL entries, starting the programs and checking the DLL file are not written yet:
// those operations answer as the base element does.

// ---------------------------------------------------------------------------------------------
// WUninstallCustomDLL

WUninstallCustomDLL::WUninstallCustomDLL() : WSetupElement(KindUninstallCustomDLL) {}

int WUninstallCustomDLL::Install() {
    return 0;
}
int WUninstallCustomDLL::Uninstall() {
    return WSetupElement::Uninstall();
}
int WUninstallCustomDLL::Verify() {
    return 0;
}

FwString WUninstallCustomDLL::GetFullRecord() {
    return RecordBuilder()
        .Text(Id)
        .Text(DestDir)
        .Text(DestName)
        .Text(Arguments)
        .Text(OptionFlags)
        .Text(ExtraText)
        .Flag(RecordFlag)
        .Result();
}

FwString WUninstallCustomDLL::GetShortRecord() {
    return RecordBuilder()
        .Text(Id)
        .Text(ExpandText(DestDir.str()))
        .Text(DestName)
        .Text(Arguments)
        .Text(OptionFlags)
        .Empty(3)
        .Result();
}

FwString WUninstallCustomDLL::GetArguments() const {
    return Arguments;
}
void WUninstallCustomDLL::SetArguments(FwString arguments) {
    Arguments = std::move(arguments);
}

// ---------------------------------------------------------------------------------------------
// WSetupCustomDLL

WSetupCustomDLL::WSetupCustomDLL() : WSetupElement(KindCustomDLL) {}

int WSetupCustomDLL::Uninstall() {
    return 0;
}
int WSetupCustomDLL::Verify() {
    return WSetupElement::Verify();
}
int WSetupCustomDLL::InstallStep(int) {
    return WSetupElement::Install();
}

FwString WSetupCustomDLL::GetFullRecord() {
    return RecordBuilder()
        .Text(Id)
        .Text(DestDir)
        .Text(DestName)
        .Text(Arguments)
        .Text(OptionFlags)
        .Flag(RemoveOnUninstall)
        .Text(ExtraText)
        .Flag(RecordFlag)
        .Flag(Disabled)
        .Result();
}

FwString WSetupCustomDLL::GetShortRecord() {
    return FwString();
}

FwString WSetupCustomDLL::GetArguments() const {
    return Arguments;
}
void WSetupCustomDLL::SetArguments(FwString arguments) {
    Arguments = std::move(arguments);
}

// ---------------------------------------------------------------------------------------------
// WUnistallExecutable

WUnistallExecutable::WUnistallExecutable() : WSetupElement(KindUninstallExecutable) {}

int WUnistallExecutable::Install() {
    return 0;
}
int WUnistallExecutable::Uninstall() {
    return WSetupElement::Uninstall();
}
int WUnistallExecutable::Verify() {
    return 0;
}

FwString WUnistallExecutable::GetFullRecord() {
    return RecordBuilder()
        .Text(Id)
        .Text(DestDir)
        .Text(DestName)
        .Text(Arguments)
        .Text(OptionFlags)
        .Number(RunMode)
        .Text(ExtraText)
        .Flag(RecordFlag)
        .Result();
}

FwString WUnistallExecutable::GetShortRecord() {
    return RecordBuilder()
        .Text(Id)
        .Text(DestDir)
        .Text(DestName)
        .Text(Arguments)
        .Text(OptionFlags)
        .Number(RunMode)
        .Empty(2)
        .Result();
}

FwString WUnistallExecutable::GetArguments() const {
    return Arguments;
}
void WUnistallExecutable::SetArguments(FwString arguments) {
    Arguments = std::move(arguments);
}
int WUnistallExecutable::GetRunMode() const {
    return RunMode;
}
void WUnistallExecutable::SetRunMode(int mode) {
    RunMode = mode;
}

// ---------------------------------------------------------------------------------------------
// WSetupExecutable

WSetupExecutable::WSetupExecutable() : WSetupElement(KindExecutable) {}

int WSetupExecutable::Uninstall() {
    return 0;
}
int WSetupExecutable::Verify() {
    return 0;
}
int WSetupExecutable::InstallStep(int) {
    return WSetupElement::Install();
}

FwString WSetupExecutable::GetFullRecord() {
    return RecordBuilder()
        .Text(Id)
        .Text(DestDir)
        .Text(DestName)
        .Text(Arguments)
        .Text(OptionFlags)
        .Number(RunMode)
        .Flag(RemoveOnUninstall)
        .Text(ExtraText)
        .Flag(RecordFlag)
        .Result();
}

FwString WSetupExecutable::GetShortRecord() {
    return FwString();
}

FwString WSetupExecutable::GetArguments() const {
    return Arguments;
}
void WSetupExecutable::SetArguments(FwString arguments) {
    Arguments = std::move(arguments);
}
int WSetupExecutable::GetRunMode() const {
    return RunMode;
}
void WSetupExecutable::SetRunMode(int mode) {
    RunMode = mode;
}
