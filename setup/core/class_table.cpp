// The table of classes that can be created by name.
#include "setup/core/framework.h"

#include "setup/core/component.h"
#include "setup/core/element.h"
#include "setup/elements/shortcut.h"

#include <cstring>

namespace {

const FwRuntimeClass* const g_classes[] = {
    FW_RUNTIME_CLASS(FwPtrArray),       FW_RUNTIME_CLASS(FwStringArray),
    FW_RUNTIME_CLASS(FwMapStringToPtr), FW_RUNTIME_CLASS(FwMapStringToString),
    FW_RUNTIME_CLASS(WSetupElement),    FW_RUNTIME_CLASS(WSetupComponent),
    FW_RUNTIME_CLASS(WSetupShortcut),
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
