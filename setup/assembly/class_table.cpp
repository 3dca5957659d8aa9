// The table of classes that can be created by name.
#include "setup/core/framework.h"

#include "setup/core/component.h"
#include "setup/core/element.h"
#include "setup/elements/custom_code.h"
#include "setup/elements/dir_kinds.h"
#include "setup/elements/file.h"
#include "setup/elements/registry_entry.h"
#include "setup/elements/self_reg_file.h"
#include "setup/elements/shortcut.h"
#include "setup/elements/text_file_kinds.h"
#include "setup/elements/ttf_file.h"

#include <cstring>

namespace {

const FwRuntimeClass* const g_classes[] = {
    FW_RUNTIME_CLASS(FwPtrArray),
    FW_RUNTIME_CLASS(FwStringArray),
    FW_RUNTIME_CLASS(FwMapStringToPtr),
    FW_RUNTIME_CLASS(FwMapStringToString),
    FW_RUNTIME_CLASS(WSetupElement),
    FW_RUNTIME_CLASS(WSetupComponent),
    FW_RUNTIME_CLASS(WSetupBackupFile),      // kind 0
    FW_RUNTIME_CLASS(WSetupDir),             // kind 1
    FW_RUNTIME_CLASS(WSetupTTFFile),         // kind 2
    FW_RUNTIME_CLASS(WSetupProfileString),   // kind 3
    FW_RUNTIME_CLASS(WSetupCustFile),        // kind 4
    FW_RUNTIME_CLASS(WSetupRegFile),         // kind 5
    FW_RUNTIME_CLASS(WSetupShortcut),        // kind 6
    FW_RUNTIME_CLASS(WSetupExecutable),      // kind 7
    FW_RUNTIME_CLASS(WSetupCustomDLL),       // kind 8
    FW_RUNTIME_CLASS(WSetupRuntimeFile),     // kind 9
    FW_RUNTIME_CLASS(WSetupRuntimeRegEntry), // kind 10
    FW_RUNTIME_CLASS(WSetupDeleteFile),      // kind 11
    FW_RUNTIME_CLASS(WSetupSelfRegFile),     // kind 12
    FW_RUNTIME_CLASS(WSetupFile),            // kind 13
    FW_RUNTIME_CLASS(WUnistallExecutable),   // kind 14
    FW_RUNTIME_CLASS(WUninstallCustomDLL),   // kind 15
    FW_RUNTIME_CLASS(WSetupRegEntry),        // kind 16
};

} // namespace

const FwRuntimeClass* FwRuntimeClass::FromName(const char* name) {
    if (!name)
        return nullptr;
    for (const FwRuntimeClass* cls : g_classes)
        if (std::strcmp(cls->ClassName, name) == 0)
            return cls;
    return nullptr;
}

// Kept beside the table: a program that never creates objects by name then links none of the
// element kinds it does not use.
FwObject* FwRuntimeClass::CreateObject(const char* name) {
    const FwRuntimeClass* cls = FromName(name);
    return cls ? cls->CreateObject() : nullptr;
}
