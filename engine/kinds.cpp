#include "kinds.h"

#include "setup/core/text.h"
#include "setup/elements/element_kinds.h"
#include "setup/elements/custom_code.h"
#include "setup/elements/dir_kinds.h"
#include "setup/elements/file.h"
#include "setup/elements/registry_entry.h"
#include "setup/elements/self_reg_file.h"
#include "setup/elements/shortcut.h"
#include "setup/elements/text_file_kinds.h"
#include "setup/elements/ttf_file.h"

#include <cstddef>

bool SetField(WSetupElement* element, const ElementField& field, const std::string& text,
              std::string& reason) {
    switch (SetFieldFromText(*element, field, text)) {
    case FieldTextResult::Set:
        return true;
    case FieldTextResult::NotAFlag:
        reason = std::string("field ") + field.name + " takes 0 or 1, not \"" + text + "\"";
        return false;
    case FieldTextResult::NotAWholeNumber:
        reason = std::string("field ") + field.name + " takes a whole number, not \"" + text + "\"";
        return false;
    case FieldTextResult::NotANumber:
        reason = std::string("field ") + field.name + " takes a number, not \"" + text + "\"";
        return false;
    }
    return false;
}

const ElementField* FieldBreakingRecord(WSetupElement* element, const ElementFieldTable& fields) {
    for (const ElementField* field : FullRecordFields(fields))
        if (field->column != fields.wideColumn &&
            FieldText(*element, *field).find(',') != std::string::npos)
            return field;
    return nullptr;
}

bool SetFromRecord(WSetupElement* element, const ElementFieldTable& fields,
                   const std::string& record, std::string& reason) {
    // Every column is followed by ",": split, dropping the empty text after the last one.
    TextList columns;
    std::string::size_type start = 0;
    for (;;) {
        std::string::size_type comma = record.find(',', start);
        if (comma == std::string::npos)
            break;
        columns.push_back(record.substr(start, comma - start));
        start = comma + 1;
    }
    if (start != record.size()) {
        reason = "the record does not end with \",\"";
        return false;
    }
    const std::vector<const ElementField*> recordFields = FullRecordFields(fields);
    const std::size_t expected = recordFields.size();
    if (columns.size() < expected) {
        reason = "the record has " + std::to_string(columns.size()) + " columns, " +
                 std::to_string(expected) + " expected";
        return false;
    }
    if (columns.size() > expected) {
        if (fields.wideColumn <= 0) {
            reason = "the record has more columns than the kind writes";
            return false;
        }
        // The surplus belongs to the one column that may hold ",".
        std::size_t extra = columns.size() - expected;
        std::size_t w = static_cast<std::size_t>(fields.wideColumn - 1);
        for (std::size_t i = 0; i < extra; ++i)
            columns[w] += "," + columns[w + 1 + i];
        const auto first = columns.begin() + static_cast<std::ptrdiff_t>(w + 1);
        columns.erase(first, first + static_cast<std::ptrdiff_t>(extra));
    }
    for (std::size_t i = 0; i < expected; ++i)
        if (!SetField(element, *recordFields[i], columns[i], reason))
            return false;
    return true;
}

const std::vector<int>& InstallOrder() {
    // Folders first, then what makes room (backups, deletions), files before what uses them
    // (fonts, self-registration), the registry, the edits of installed files and shortcuts. The
    // kinds that act only at removal or at run time come next (their install step does nothing):
    // removal runs the list backwards, so they act there while the product's files are still in
    // place, and a rollback that follows the product's own code (last, when everything it may
    // need is in place) finds them in the log and takes back what that code wrote, as removal
    // does.
    static const std::vector<int> order = {KindDir,
                                           KindBackupFile,
                                           KindDeleteFile,
                                           KindFile,
                                           KindTTFFile,
                                           KindSelfRegFile,
                                           KindRegEntry,
                                           KindRegFile,
                                           KindProfileString,
                                           KindCustFile,
                                           KindShortcut,
                                           KindRuntimeFile,
                                           KindRuntimeRegEntry,
                                           KindUninstallExecutable,
                                           KindUninstallCustomDLL,
                                           KindCustomDLL,
                                           KindExecutable};
    return order;
}

StepResult InstallElement(WSetupElement* element, FwStringArray& rebootList,
                          FwPtrArray& collected) {
    StepResult result{1, "", FontRegistered};
    const int shortNames = 0;
    switch (element->Kind) {
    case KindDir:
        result.status = static_cast<WSetupDir*>(element)->InstallStep(shortNames);
        break;
    case KindBackupFile:
        result.status = static_cast<WSetupBackupFile*>(element)->InstallStep(shortNames);
        break;
    case KindDeleteFile:
        result.status = static_cast<WSetupDeleteFile*>(element)->InstallStep(shortNames);
        break;
    case KindFile:
        result.status =
            static_cast<WSetupFile*>(element)->InstallStep(rebootList, collected, 0, 0, shortNames);
        break;
    case KindTTFFile: {
        auto* font = static_cast<WSetupTTFFile*>(element);
        int copied = font->InstallStep(rebootList, collected, 0, 0, shortNames);
        result.status = copied;
        if (MeaningOfStatus(KindTTFFile, ElementStep::Install, copied) != StepMeaning::Failed) {
            result.fontRegistration = font->RegisterFont(0);
            result.note = "font registration " + std::to_string(result.fontRegistration);
        }
        break;
    }
    case KindSelfRegFile: {
        FwString error;
        result.status = static_cast<WSetupSelfRegFile*>(element)->InstallStep(error, shortNames);
        result.note = error.c_str();
        break;
    }
    case KindRegEntry:
        result.status = element->Install();
        break;
    case KindRegFile:
        result.status = static_cast<WSetupRegFile*>(element)->InstallStep(shortNames);
        break;
    case KindProfileString:
        result.status = static_cast<WSetupProfileString*>(element)->InstallStep(shortNames);
        break;
    case KindCustFile:
        result.status = static_cast<WSetupCustFile*>(element)->InstallStep(shortNames);
        break;
    case KindShortcut: {
        FwStringArray groups;
        result.status = static_cast<WSetupShortcut*>(element)->InstallStep(groups);
        break;
    }
    case KindCustomDLL:
        result.status = static_cast<WSetupCustomDLL*>(element)->InstallStep(shortNames);
        break;
    case KindExecutable:
        result.status = static_cast<WSetupExecutable*>(element)->InstallStep(shortNames);
        break;
    default: // run-time and removal-time kinds: nothing to install
        result.status = element->Install();
        break;
    }
    return result;
}

StepResult UndoElement(WSetupElement* element, FwStringArray& rebootList) {
    StepResult result{1, "", FontRegistered};
    switch (element->Kind) {
    case KindFile:
        result.status = static_cast<WSetupFile*>(element)->UninstallStep(rebootList);
        break;
    case KindTTFFile: {
        auto* font = static_cast<WSetupTTFFile*>(element);
        int unregistered = font->Uninstall();
        result.status = font->UninstallStep(rebootList);
        result.note = "font removal " + std::to_string(unregistered);
        break;
    }
    case KindSelfRegFile: {
        FwString error;
        result.status = static_cast<WSetupSelfRegFile*>(element)->UninstallStep(error);
        result.note = error.c_str();
        break;
    }
    case KindShortcut: {
        FwStringArray removed;
        result.status = static_cast<WSetupShortcut*>(element)->UninstallStep(removed);
        break;
    }
    case KindRuntimeFile:
        result.status = static_cast<WSetupRuntimeFile*>(element)->Remove(rebootList);
        break;
    case KindRuntimeRegEntry: {
        FwStringArray failedKeys;
        result.status = static_cast<WSetupRuntimeRegEntry*>(element)->Remove(failedKeys);
        break;
    }
    default:
        result.status = element->Uninstall();
        break;
    }
    return result;
}

int VerifyElement(WSetupElement* element) {
    return element->Verify();
}

bool ActsAtRemoval(int kind) {
    return kind == KindRuntimeFile || kind == KindRuntimeRegEntry ||
           kind == KindUninstallExecutable || kind == KindUninstallCustomDLL;
}
