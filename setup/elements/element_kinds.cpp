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
    {"WSetupBackupFile", KindBackupFile, &WSetupBackupFileFields, &WSetupBackupFileMeanings},
    {"WSetupDir", KindDir, &WSetupDirFields, &WSetupDirMeanings},
    {"WSetupTTFFile", KindTTFFile, &WSetupTTFFileFields, &WSetupFileMeanings},
    {"WSetupProfileString", KindProfileString, &WSetupProfileStringFields,
     &WSetupProfileStringMeanings},
    {"WSetupCustFile", KindCustFile, &WSetupCustFileFields, &WSetupCustFileMeanings},
    {"WSetupRegFile", KindRegFile, &WSetupRegFileFields, &WSetupRegFileMeanings},
    {"WSetupShortcut", KindShortcut, &WSetupShortcutFields, &WSetupShortcutMeanings},
    {"WSetupExecutable", KindExecutable, &WSetupExecutableFields, &WSetupExecutableMeanings},
    {"WSetupCustomDLL", KindCustomDLL, &WSetupCustomDLLFields, &WSetupCustomDLLMeanings},
    {"WSetupRuntimeFile", KindRuntimeFile, &WSetupRuntimeFileFields, &WSetupRuntimeFileMeanings},
    {"WSetupRuntimeRegEntry", KindRuntimeRegEntry, &WSetupRuntimeRegEntryFields,
     &WSetupRuntimeRegEntryMeanings},
    {"WSetupDeleteFile", KindDeleteFile, &WSetupDeleteFileFields, &WSetupDeleteFileMeanings},
    {"WSetupSelfRegFile", KindSelfRegFile, &WSetupSelfRegFileFields, &WSetupSelfRegFileMeanings},
    {"WSetupFile", KindFile, &WSetupFileFields, &WSetupFileMeanings},
    {"WUnistallExecutable", KindUninstallExecutable, &WUnistallExecutableFields,
     &WUnistallExecutableMeanings},
    {"WUninstallCustomDLL", KindUninstallCustomDLL, &WUninstallCustomDLLFields,
     &WUninstallCustomDLLMeanings},
    {"WSetupRegEntry", KindRegEntry, &WSetupRegEntryFields, &WSetupRegEntryMeanings},
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
    return info ? MeaningIn(*info->meanings, step, status) : StepMeaning::Failed;
}

const char* StatusNameOf(int kind, ElementStep step, int status) {
    const ElementKindInfo* info = FindElementKind(kind);
    return info ? StatusNameIn(*info->meanings, step, status) : nullptr;
}
