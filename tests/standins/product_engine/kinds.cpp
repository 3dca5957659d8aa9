#include "kinds.h"

#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "setup/core/record.h"
#include "setup/core/text.h"
#include "setup/elements/custom_code.h"
#include "setup/elements/dir_kinds.h"
#include "setup/elements/file.h"
#include "setup/elements/registry_entry.h"
#include "setup/elements/self_reg_file.h"
#include "setup/elements/shortcut.h"
#include "setup/elements/text_file_kinds.h"
#include "setup/elements/ttf_file.h"

namespace {

#define FIELD(Class, Name, Form)                                                                   \
    FieldInfo {                                                                                    \
#Name, FieldForm::Form,                                                                    \
            [](WSetupElement * e) -> void* { return &static_cast<Class*>(e)->Name; }               \
    }

// The fields every kind has.
std::vector<FieldInfo> Common(std::vector<FieldInfo> own) {
    std::vector<FieldInfo> fields = {
        FIELD(WSetupElement, Id, Text),
        FIELD(WSetupElement, SourceDir, Text),
        FIELD(WSetupElement, SourceName, Text),
        FIELD(WSetupElement, DestDir, Text),
        FIELD(WSetupElement, DestName, Text),
        FIELD(WSetupElement, OptionFlags, Text),
        FIELD(WSetupElement, ExtraText, Text),
        FIELD(WSetupElement, Size, Number),
        FIELD(WSetupElement, RemoveOnUninstall, Flag),
        FIELD(WSetupElement, RecordFlag, Flag),
        FIELD(WSetupElement, UserText, Text),
    };
    fields.insert(fields.end(), own.begin(), own.end());
    return fields;
}

std::vector<FieldInfo> FileFields() {
    return Common({
        FIELD(WSetupFile, Attributes, Text),
        FIELD(WSetupFile, SpareAttributes, Text),
        FIELD(WSetupFile, MediaName, Text),
        FIELD(WSetupFile, RemoveEmptyFolders, Flag),
        FIELD(WSetupFile, CopyMode, Integer),
        FIELD(WSetupFile, FileFlags, Integer),
        FIELD(WSetupFile, ChecksumText, Text),
        FIELD(WSetupFile, CarriedNumber, Integer),
        FIELD(WSetupFile, SkipWhenAsked, Flag),
        FIELD(WSetupFile, CollectAfterCopy, Flag),
        FIELD(WSetupFile, CarriedFlag, Flag),
    });
}

const std::vector<const char*> FileColumns = {"Id",
                                              "SourceDir",
                                              "SourceName",
                                              "DestDir",
                                              "DestName",
                                              "Size#",
                                              "Attributes",
                                              "CopyMode",
                                              "OptionFlags",
                                              "FileFlags",
                                              "ChecksumText",
                                              "CarriedNumber",
                                              "RemoveOnUninstall",
                                              "RemoveEmptyFolders",
                                              "ExtraText",
                                              "RecordFlag",
                                              "CollectAfterCopy",
                                              "CarriedFlag"};

std::vector<const char*> Plus(std::vector<const char*> a, std::vector<const char*> b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

const std::vector<KindInfo>& Table() {
    static const std::vector<KindInfo> table = {
        {"WSetupBackupFile",
         KindBackupFile,
         Common({}),
         {"Id", "DestDir", "DestName", "OptionFlags", "ExtraText", "RecordFlag"},
         -1},
        {"WSetupDir",
         KindDir,
         Common({FIELD(WSetupDir, Attributes, Text), FIELD(WSetupDir, SecondAttributes, Text),
                 FIELD(WSetupDir, PruneParents, Flag)}),
         {"Id", "DestDir", "DestName", "OptionFlags", "Attributes", "RemoveOnUninstall",
          "PruneParents", "ExtraText", "RecordFlag"},
         -1},
        {"WSetupTTFFile", KindTTFFile,
         [] {
             std::vector<FieldInfo> f = FileFields();
             f.push_back(FIELD(WSetupTTFFile, FontName, Text));
             return f;
         }(),
         Plus(FileColumns, {"FontName"}), -1},
        {"WSetupProfileString",
         KindProfileString,
         Common({FIELD(WSetupProfileString, Section, Text), FIELD(WSetupProfileString, Key, Text),
                 FIELD(WSetupProfileString, Value, Text),
                 FIELD(WSetupProfileString, PreviousValue, Text),
                 FIELD(WSetupProfileString, RestoreOnUninstall, Flag)}),
         {"Id", "DestDir", "DestName", "Section", "Key", "Value", "OptionFlags", "PreviousValue",
          "RemoveOnUninstall", "RestoreOnUninstall", "ExtraText", "RecordFlag"},
         5},
        {"WSetupCustFile",
         KindCustFile,
         Common(
             {FIELD(WSetupCustFile, SearchText, Text), FIELD(WSetupCustFile, ReplaceText, Text)}),
         {"Id", "DestDir", "DestName", "SearchText", "ReplaceText", "OptionFlags",
          "RemoveOnUninstall", "ExtraText", "RecordFlag"},
         4},
        {"WSetupRegFile",
         KindRegFile,
         Common({}),
         {"Id", "DestDir", "DestName", "OptionFlags", "ExtraText", "RecordFlag"},
         -1},
        {"WSetupShortcut",
         KindShortcut,
         Common({FIELD(WSetupShortcut, Group, Text), FIELD(WSetupShortcut, LinkName, Text),
                 FIELD(WSetupShortcut, LinkFlag, Flag), FIELD(WSetupShortcut, Arguments, Text),
                 FIELD(WSetupShortcut, WorkDir, Text), FIELD(WSetupShortcut, IconDir, Text),
                 FIELD(WSetupShortcut, IconName, Text), FIELD(WSetupShortcut, IconIndex, Integer)}),
         {"Id", "Group", "LinkName", "DestDir", "DestName", "OptionFlags", "LinkFlag", "Arguments",
          "WorkDir", "IconDir", "IconName", "IconIndex", "RemoveOnUninstall", "ExtraText",
          "RecordFlag"},
         7},
        {"WSetupExecutable",
         KindExecutable,
         Common(
             {FIELD(WSetupExecutable, Arguments, Text), FIELD(WSetupExecutable, RunMode, Integer)}),
         {"Id", "DestDir", "DestName", "Arguments", "OptionFlags", "RunMode", "RemoveOnUninstall",
          "ExtraText", "RecordFlag"},
         3},
        {"WSetupCustomDLL",
         KindCustomDLL,
         Common({FIELD(WSetupCustomDLL, Arguments, Text), FIELD(WSetupCustomDLL, Disabled, Flag)}),
         {"Id", "DestDir", "DestName", "Arguments", "OptionFlags", "RemoveOnUninstall", "ExtraText",
          "RecordFlag", "Disabled"},
         3},
        {"WSetupRuntimeFile",
         KindRuntimeFile,
         Common({FIELD(WSetupRuntimeFile, RemoveEmptyFolders, Flag)}),
         {"Id", "DestDir", "DestName", "OptionFlags", "RemoveEmptyFolders", "ExtraText",
          "RecordFlag"},
         -1},
        {"WSetupRuntimeRegEntry",
         KindRuntimeRegEntry,
         Common({FIELD(WSetupRuntimeRegEntry, RootName, Text),
                 FIELD(WSetupRuntimeRegEntry, KeyPath, Text),
                 FIELD(WSetupRuntimeRegEntry, EntryKind, Text),
                 FIELD(WSetupRuntimeRegEntry, DeleteSubkeys, Flag)}),
         {"Id", "RootName", "KeyPath", "OptionFlags", "DeleteSubkeys", "EntryKind", "ExtraText",
          "RecordFlag"},
         -1},
        {"WSetupDeleteFile",
         KindDeleteFile,
         Common({}),
         {"Id", "DestDir", "DestName", "OptionFlags", "RemoveOnUninstall", "ExtraText",
          "RecordFlag"},
         -1},
        {"WSetupSelfRegFile",
         KindSelfRegFile,
         Common({}),
         {"Id", "DestDir", "DestName", "OptionFlags", "RemoveOnUninstall", "ExtraText",
          "RecordFlag"},
         -1},
        {"WSetupFile", KindFile, FileFields(), FileColumns, -1},
        {"WUnistallExecutable",
         KindUninstallExecutable,
         Common({FIELD(WUnistallExecutable, Arguments, Text),
                 FIELD(WUnistallExecutable, RunMode, Integer)}),
         {"Id", "DestDir", "DestName", "Arguments", "OptionFlags", "RunMode", "ExtraText",
          "RecordFlag"},
         3},
        {"WUninstallCustomDLL",
         KindUninstallCustomDLL,
         Common({FIELD(WUninstallCustomDLL, Arguments, Text)}),
         {"Id", "DestDir", "DestName", "Arguments", "OptionFlags", "ExtraText", "RecordFlag"},
         3},
        {"WSetupRegEntry",
         KindRegEntry,
         Common({FIELD(WSetupRegEntry, RootName, Text), FIELD(WSetupRegEntry, KeyPath, Text),
                 FIELD(WSetupRegEntry, ValueName, Text), FIELD(WSetupRegEntry, ValueData, Text),
                 FIELD(WSetupRegEntry, ValueType, Text), FIELD(WSetupRegEntry, DeleteSubkeys, Flag),
                 FIELD(WSetupRegEntry, PreviousValue, Text),
                 FIELD(WSetupRegEntry, RestoreOnUninstall, Flag)}),
         {"Id", "RootName", "KeyPath", "ValueName", "ValueData", "ValueType", "OptionFlags",
          "RemoveOnUninstall", "DeleteSubkeys", "ExtraText", "RecordFlag", "PreviousValue",
          "RestoreOnUninstall"},
         4},
    };
    return table;
}

bool ParseInteger(const std::string& text, long& value) {
    std::string t = Trimmed(text);
    if (t.empty())
        return false;
    char* end = nullptr;
    value = std::strtol(t.c_str(), &end, 10);
    return *end == '\0';
}

} // namespace

const KindInfo* FindKind(const std::string& className) {
    for (const KindInfo& k : Table())
        if (className == k.className)
            return &k;
    return nullptr;
}

const KindInfo* FindKind(int kind) {
    for (const KindInfo& k : Table())
        if (k.kind == kind)
            return &k;
    return nullptr;
}

const FieldInfo* FindField(const KindInfo& kind, const std::string& fieldName) {
    for (const FieldInfo& f : kind.fields)
        if (fieldName == f.name)
            return &f;
    return nullptr;
}

bool SetField(WSetupElement* element, const FieldInfo& field, const std::string& text,
              std::string& reason) {
    void* where = field.locate(element);
    switch (field.form) {
    case FieldForm::Text:
        *static_cast<FwString*>(where) = FwString(text.c_str());
        return true;
    case FieldForm::Flag:
        if (text != "0" && text != "1") {
            reason = std::string("field ") + field.name + " takes 0 or 1, not \"" + text + "\"";
            return false;
        }
        *static_cast<int*>(where) = text == "1" ? 1 : 0;
        return true;
    case FieldForm::Integer: {
        long value = 0;
        if (!ParseInteger(text, value)) {
            reason =
                std::string("field ") + field.name + " takes a whole number, not \"" + text + "\"";
            return false;
        }
        *static_cast<int*>(where) = static_cast<int>(value);
        return true;
    }
    case FieldForm::Number: {
        std::string t = Trimmed(text);
        char* end = nullptr;
        double value = std::strtod(t.c_str(), &end);
        if (t.empty() || *end != '\0') {
            reason = std::string("field ") + field.name + " takes a number, not \"" + text + "\"";
            return false;
        }
        *static_cast<double*>(where) = value;
        return true;
    }
    }
    return false;
}

bool SetFromRecord(WSetupElement* element, const KindInfo& kind, const std::string& record,
                   std::string& reason) {
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
    const std::size_t expected = kind.recordColumns.size();
    if (columns.size() < expected) {
        reason = "the record has " + std::to_string(columns.size()) + " columns, " +
                 std::to_string(expected) + " expected";
        return false;
    }
    if (columns.size() > expected) {
        if (kind.wideColumn < 0) {
            reason = "the record has more columns than the kind writes";
            return false;
        }
        // The surplus belongs to the one column that may hold ",".
        std::size_t extra = columns.size() - expected;
        std::size_t w = static_cast<std::size_t>(kind.wideColumn);
        for (std::size_t i = 0; i < extra; ++i)
            columns[w] += "," + columns[w + 1 + i];
        columns.erase(columns.begin() + w + 1, columns.begin() + w + 1 + extra);
    }
    for (std::size_t i = 0; i < expected; ++i) {
        std::string name = kind.recordColumns[i];
        if (name == "Size#")
            name = "Size";
        const FieldInfo* field = FindField(kind, name);
        if (!field) {
            reason = "the engine's table names an unknown field " + name;
            return false;
        }
        if (!SetField(element, *field, columns[i], reason))
            return false;
    }
    if (std::strcmp(element->GetFullRecord().c_str(), record.c_str()) != 0) {
        reason = "the rebuilt element writes another record";
        return false;
    }
    return true;
}

const std::vector<int>& InstallOrder() {
    // Folders first, then what makes room (backups, deletions), files before what uses them
    // (fonts, self-registration), the registry, the edits of installed files and shortcuts, and
    // the product's own code last, when everything it may need is in place. The kinds that act
    // only at removal or at run time come at the end; removal runs the list backwards, so they
    // act first there, while the product's files are still in place.
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
                                           KindCustomDLL,
                                           KindExecutable,
                                           KindRuntimeFile,
                                           KindRuntimeRegEntry,
                                           KindUninstallExecutable,
                                           KindUninstallCustomDLL};
    return order;
}

StepResult InstallElement(WSetupElement* element, FwStringArray& rebootList,
                          FwPtrArray& collected) {
    StepResult result{1, ""};
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
        int registered = font->RegisterFont(0);
        result.status = copied;
        result.note = "font registration " + std::to_string(registered);
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
    StepResult result{1, ""};
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

namespace {

bool In(int status, std::initializer_list<int> codes) {
    for (int c : codes)
        if (status == c)
            return true;
    return false;
}

} // namespace

bool IsFailure(int kind, Phase phase, int status) {
    switch (phase) {
    case Phase::Install:
        switch (kind) {
        case KindBackupFile: // 1: nothing to back up
            return !In(status, {0, 1});
        case KindDeleteFile: // 1: nothing to delete
            return !In(status, {0, 1});
        case KindFile:
        case KindTTFFile: // copied, not needed, skipped, or waiting for the restart
            return status < 0 || status >= 13;
        case KindRegEntry: // 1-5: what was written
            return !In(status, {1, 2, 3, 4, 5});
        case KindExecutable: // 0-3: started (and ended) by its run mode
            return !In(status, {0, 1, 2, 3});
        default:
            return status != 0;
        }
    case Phase::Undo:
        switch (kind) {
        case KindFile:
        case KindTTFFile: // deleted, at the restart, kept on purpose, or already gone
            return !In(status, {0, 2, 3, 4});
        case KindSelfRegFile: // unregistered, or kept on purpose
        case KindShortcut:
            return !In(status, {0, 1});
        case KindProfileString: // deleted, kept on purpose, or the previous value back
            return !In(status, {0, 1, 2});
        case KindDir: // removed, kept on purpose, or at the restart
            return !In(status, {0, 1, 2});
        case KindRegEntry: // skipped, gone, deleted, restored
            return !In(status, {1, 4, 5, 6, 7});
        case KindRuntimeRegEntry:
            return !In(status, {0, 1, 2});
        case KindRuntimeFile: // deleted, absent, at the restart
            return !In(status, {0, 2, 3});
        case KindUninstallExecutable:
            return !In(status, {0, 1, 2, 3});
        default:
            return status != 0;
        }
    case Phase::Check:
        if (kind == KindRegEntry)
            return status != 15;
        return status != 0;
    }
    return true;
}
