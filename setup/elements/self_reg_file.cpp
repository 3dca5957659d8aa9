#include "setup/elements/self_reg_file.h"

#include <windows.h>

#include <cstdio>

#include "setup/core/fileutil.h"
#include "setup/core/handles.h"
#include "setup/core/macros.h"
#include "setup/core/path.h"
#include "setup/core/record.h"

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

WSetupSelfRegFile::WSetupSelfRegFile() : WSetupElement(KindSelfRegFile) {}

int WSetupSelfRegFile::Verify() {
    return Status = FileExists(ModulePathOf(*this)) ? 0 : 1;
}

int WSetupSelfRegFile::InstallStep(FwString& errorText, int shortNames) {
    std::string path = ModulePathOf(*this);
    if (shortNames)
        path = ComputeShortPath(ParentOf(path), FileNameOf(path));
    if (!FileExists(path))
        return Status = 1;
    std::string error;
    const int result = RegisterModule(path, error);
    errorText = error;
    switch (result) {
    case RegistrationDone:
        return Status = 0;
    case RegistrationLoadFailed:
        return Status = 2;
    case RegistrationEntryFailed:
        return Status = 3;
    case RegistrationNoEntry:
        return Status = 4;
    case RegistrationOleFailed:
        return Status = 5;
    case RegistrationCrashed:
        return Status = 7;
    default:
        return Status = 8;
    }
}

int WSetupSelfRegFile::UninstallStep(FwString& errorText) {
    ChangeMark = 0;
    if (!RemoveOnUninstall)
        return Status = 1;
    const std::string path = ModulePathOf(*this);
    if (!FileExists(path))
        return Status = 2;
    std::string error;
    const int result = UnregisterModule(path, error);
    errorText = error;
    switch (result) {
    case RegistrationDone:
        return Status = 0;
    case RegistrationLoadFailed:
        return Status = 3;
    case RegistrationEntryFailed:
        return Status = 4;
    case RegistrationNoEntry:
        return Status = 5;
    case RegistrationOleFailed:
        return Status = 6;
    case RegistrationCrashed:
        return Status = 7;
    default:
        return Status = 8;
    }
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
