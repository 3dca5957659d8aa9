#include "plugin/custom_macro.h"

#include <cstring>

#include "setup/core/macros.h"
#include "setup/core/text.h"

void morvik::RetargetCustomMacro(SetupContext* macros, const std::string& key,
                                 const std::string& path) {
    if (!macros)
        return;
    FwPtrArray& entries = macros->CustomMacros;
    for (int i = 0; i < entries.GetSize(); ++i) {
        char* entry = static_cast<char*>(entries.GetAt(i));
        if (!entry)
            continue;
        const std::string entryKey = Trimmed(TextBefore(entry, ","));
        if (!EqualText(key, entryKey, false))
            continue;
        const std::string definition = entryKey + "," + path;
        if (definition.size() < CustomMacroLimit)
            std::memcpy(entry, definition.c_str(), definition.size() + 1);
        return;
    }
}
