#include "setup/elements/self_reg_file.h"

#include <windows.h>

#include <cstdio>

#include "setup/core/fileutil.h"
#include "setup/core/handles.h"
#include "setup/core/macros.h"
#include "setup/core/path.h"

FW_IMPLEMENT_DYNCREATE(WSetupSelfRegFile, WSetupElement)

namespace {

// The process error mode with SEM_FAILCRITICALERRORS added, for one scope.
class CriticalErrorBoxesOff {
public:
    CriticalErrorBoxesOff() : m_previous(SetErrorMode(SEM_FAILCRITICALERRORS)) {
        SetErrorMode(m_previous | SEM_FAILCRITICALERRORS);
    }
    ~CriticalErrorBoxesOff() { SetErrorMode(m_previous); }
    CriticalErrorBoxesOff(const CriticalErrorBoxesOff&) = delete;
    CriticalErrorBoxesOff& operator=(const CriticalErrorBoxesOff&) = delete;

private:
    UINT m_previous;
};

std::string ErrorCodeText(DWORD code) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lx", static_cast<unsigned long>(code));
    return text;
}

// The module path of the element: DestDir (expanded in place) resolved with DestName.
std::string ModulePathOf(WSetupElement& element) {
    SetupContext& context = TheSetupContext();
    element.DestDir = context.ExpandVariables(element.DestDir);
    return context.ResolvePath(element.DestDir, element.DestName);
}

} // namespace

int CallRegistrationEntry(const std::string& modulePath, const std::string& entryName,
                          std::string& errorText) {
    errorText.clear();
    CriticalErrorBoxesOff noBoxes;
    // Declared before the module, so the module is unloaded before OLE is uninitialised.
    ComScope ole(ComScope::Kind::Ole);
    if (!ole.Usable())
        return RegistrationOleFailed;
    LoadedModule module(LoadLibraryExA(modulePath.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
    if (!module) {
        errorText = ErrorCodeText(GetLastError());
        return RegistrationLoadFailed;
    }
    FARPROC entry = GetProcAddress(module.Get(), entryName.c_str());
    if (!entry)
        return RegistrationNoEntry;
    long result = 0;
    CSetupCException crash(0);
    if (!CallGuardedEntry(entry, nullptr, 0, result, crash))
        return RegistrationCrashed;
    return result == 0 ? RegistrationDone : RegistrationEntryFailed;
}

int RegisterModule(const std::string& modulePath, std::string& errorText) {
    return CallRegistrationEntry(modulePath, "DllRegisterServer", errorText);
}

int UnregisterModule(const std::string& modulePath, std::string& errorText) {
    return CallRegistrationEntry(modulePath, "DllUnregisterServer", errorText);
}

namespace {

constexpr ElementField SelfRegFileFields[] = {
    TextField("Id", &WSetupElement::Id, 1, ShortForm::Kept),
    TextField("DestDir", &WSetupElement::DestDir, 2, ShortForm::Kept),
    TextField("DestName", &WSetupElement::DestName, 3, ShortForm::Kept),
    TextField("OptionFlags", &WSetupElement::OptionFlags, 4, ShortForm::Kept),
    FlagField("RemoveOnUninstall", &WSetupElement::RemoveOnUninstall, 5, ShortForm::Kept),
    TextField("ExtraText", &WSetupElement::ExtraText, 6, ShortForm::Blank),
    FlagField("RecordFlag", &WSetupElement::RecordFlag, 7, ShortForm::Blank),
};

} // namespace

const ElementFieldTable WSetupSelfRegFileFields = MakeFieldTable(SelfRegFileFields, nullptr, true);

namespace {

constexpr StatusMeaning SelfRegFileMeaningRows[] = {
    {ElementStep::Install, ModuleRegistered, StepMeaning::Done},
    {ElementStep::Undo, ModuleUnregistered, StepMeaning::Done},
    {ElementStep::Undo, UnregisterSkipped, StepMeaning::NothingToDo},
    {ElementStep::Check, ModulePresent, StepMeaning::Done},
};

// The name of every code of each operation, for the lines that report it.
constexpr StatusName SelfRegFileStatusNames[] = {
    {ElementStep::Install, ModuleRegistered, "ModuleRegistered"},
    {ElementStep::Install, RegisterModuleAbsent, "RegisterModuleAbsent"},
    {ElementStep::Install, RegisterLoadFailed, "RegisterLoadFailed"},
    {ElementStep::Install, RegisterEntryFailed, "RegisterEntryFailed"},
    {ElementStep::Install, RegisterNoEntry, "RegisterNoEntry"},
    {ElementStep::Install, RegisterOleFailed, "RegisterOleFailed"},
    {ElementStep::Install, RegisterCrashed, "RegisterCrashed"},
    {ElementStep::Install, RegisterOtherResult, "RegisterOtherResult"},
    {ElementStep::Install, ElementNotProcessed, "ElementNotProcessed"},
    {ElementStep::Install, ElementDone, "ElementDone"},
    {ElementStep::Install, ElementNothingDone, "ElementNothingDone"},
    {ElementStep::Undo, ModuleUnregistered, "ModuleUnregistered"},
    {ElementStep::Undo, UnregisterSkipped, "UnregisterSkipped"},
    {ElementStep::Undo, UnregisterModuleAbsent, "UnregisterModuleAbsent"},
    {ElementStep::Undo, UnregisterLoadFailed, "UnregisterLoadFailed"},
    {ElementStep::Undo, UnregisterEntryFailed, "UnregisterEntryFailed"},
    {ElementStep::Undo, UnregisterNoEntry, "UnregisterNoEntry"},
    {ElementStep::Undo, UnregisterOleFailed, "UnregisterOleFailed"},
    {ElementStep::Undo, UnregisterCrashed, "UnregisterCrashed"},
    {ElementStep::Undo, UnregisterOtherResult, "UnregisterOtherResult"},
    {ElementStep::Undo, ElementNotProcessed, "ElementNotProcessed"},
    {ElementStep::Undo, ElementDone, "ElementDone"},
    {ElementStep::Undo, ElementNothingDone, "ElementNothingDone"},
    {ElementStep::Check, ModulePresent, "ModulePresent"},
    {ElementStep::Check, ModuleMissing, "ModuleMissing"},
    {ElementStep::Check, ElementNotProcessed, "ElementNotProcessed"},
    {ElementStep::Check, ElementDone, "ElementDone"},
    {ElementStep::Check, ElementNothingDone, "ElementNothingDone"},
};

} // namespace

const StepMeaningTable WSetupSelfRegFileMeanings =
    MakeMeaningTable(SelfRegFileMeaningRows, SelfRegFileStatusNames);

WSetupSelfRegFile::WSetupSelfRegFile() : WSetupElement(KindSelfRegFile) {}

int WSetupSelfRegFile::Verify() {
    return Status = CanOpenForReading(ModulePathOf(*this)) ? ModulePresent : ModuleMissing;
}

int WSetupSelfRegFile::InstallStep(FwString& errorText, int shortNames) {
    std::string path = ModulePathOf(*this);
    if (shortNames)
        path = ComputeShortPath(ParentOf(path), FileNameOf(path));
    if (!CanOpenForReading(path))
        return Status = RegisterModuleAbsent;
    std::string error;
    const int result = RegisterModule(path, error);
    errorText = error;
    switch (result) {
    case RegistrationDone:
        return Status = ModuleRegistered;
    case RegistrationLoadFailed:
        return Status = RegisterLoadFailed;
    case RegistrationEntryFailed:
        return Status = RegisterEntryFailed;
    case RegistrationNoEntry:
        return Status = RegisterNoEntry;
    case RegistrationOleFailed:
        return Status = RegisterOleFailed;
    case RegistrationCrashed:
        return Status = RegisterCrashed;
    default:
        return Status = RegisterOtherResult;
    }
}

int WSetupSelfRegFile::UninstallStep(FwString& errorText) {
    ChangeMark = 0;
    if (!RemoveOnUninstall)
        return Status = UnregisterSkipped;
    const std::string path = ModulePathOf(*this);
    if (!CanOpenForReading(path))
        return Status = UnregisterModuleAbsent;
    std::string error;
    const int result = UnregisterModule(path, error);
    errorText = error;
    switch (result) {
    case RegistrationDone:
        return Status = ModuleUnregistered;
    case RegistrationLoadFailed:
        return Status = UnregisterLoadFailed;
    case RegistrationEntryFailed:
        return Status = UnregisterEntryFailed;
    case RegistrationNoEntry:
        return Status = UnregisterNoEntry;
    case RegistrationOleFailed:
        return Status = UnregisterOleFailed;
    case RegistrationCrashed:
        return Status = UnregisterCrashed;
    default:
        return Status = UnregisterOtherResult;
    }
}

FwString WSetupSelfRegFile::GetFullRecord() {
    return WriteFullRecord(*this, WSetupSelfRegFileFields);
}

FwString WSetupSelfRegFile::GetShortRecord() {
    return WriteShortRecord(*this, WSetupSelfRegFileFields);
}
