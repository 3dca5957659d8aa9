// The table of classes that can be created by name.
#include "setup/assembly/class_table.h"

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

void UseSetupClassTable() {
    FwRuntimeClass::UseClassTable(g_classes, sizeof g_classes / sizeof g_classes[0]);
}
