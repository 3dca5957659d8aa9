#include "setup/elements/element_kinds.h"

#include "setup/elements/custom_code.h"
#include "setup/elements/dir_kinds.h"
#include "setup/elements/file.h"
#include "setup/elements/registry_entry.h"
#include "setup/elements/self_reg_file.h"
#include "setup/elements/shortcut.h"
#include "setup/elements/text_file_kinds.h"
#include "setup/elements/ttf_file.h"

namespace {

// In kind-code order.
const ElementKindInfo Kinds[WSetupKindCount] = {
    {"WSetupBackupFile", KindBackupFile, &WSetupBackupFileFields, BackupFileStepMeaning},
    {"WSetupDir", KindDir, &WSetupDirFields, DirStepMeaning},
    {"WSetupTTFFile", KindTTFFile, &WSetupTTFFileFields, TTFFileStepMeaning},
    {"WSetupProfileString", KindProfileString, &WSetupProfileStringFields,
     ProfileStringStepMeaning},
    {"WSetupCustFile", KindCustFile, &WSetupCustFileFields, CustFileStepMeaning},
    {"WSetupRegFile", KindRegFile, &WSetupRegFileFields, RegFileStepMeaning},
    {"WSetupShortcut", KindShortcut, &WSetupShortcutFields, ShortcutStepMeaning},
    {"WSetupExecutable", KindExecutable, &WSetupExecutableFields, ExecutableStepMeaning},
    {"WSetupCustomDLL", KindCustomDLL, &WSetupCustomDLLFields, CustomDLLStepMeaning},
    {"WSetupRuntimeFile", KindRuntimeFile, &WSetupRuntimeFileFields, RuntimeFileStepMeaning},
    {"WSetupRuntimeRegEntry", KindRuntimeRegEntry, &WSetupRuntimeRegEntryFields,
     RuntimeRegEntryStepMeaning},
    {"WSetupDeleteFile", KindDeleteFile, &WSetupDeleteFileFields, DeleteFileStepMeaning},
    {"WSetupSelfRegFile", KindSelfRegFile, &WSetupSelfRegFileFields, SelfRegFileStepMeaning},
    {"WSetupFile", KindFile, &WSetupFileFields, FileStepMeaning},
    {"WUnistallExecutable", KindUninstallExecutable, &WUnistallExecutableFields,
     UninstallExecutableStepMeaning},
    {"WUninstallCustomDLL", KindUninstallCustomDLL, &WUninstallCustomDLLFields,
     UninstallCustomDLLStepMeaning},
    {"WSetupRegEntry", KindRegEntry, &WSetupRegEntryFields, RegEntryStepMeaning},
};

} // namespace

const ElementKindInfo* FindElementKind(const std::string& className) {
    for (const ElementKindInfo& k : Kinds)
        if (className == k.className)
            return &k;
    return nullptr;
}

const ElementKindInfo* FindElementKind(int kind) {
    if (kind < 0 || kind >= WSetupKindCount)
        return nullptr;
    return &Kinds[kind];
}

StepMeaning MeaningOfStatus(int kind, ElementStep step, int status) {
    const ElementKindInfo* info = FindElementKind(kind);
    return info ? info->meaning(step, status) : StepMeaning::Failed;
}
