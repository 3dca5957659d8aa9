// The catalogue of the kinds: every kind's field table reaches its own members and rebuilds its
// record, the names a product description uses are there, and what each operation's codes mean.
#include "setup/elements/element_kinds.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "setup/assembly/class_table.h"
#include "setup/core/field_text.h"
#include "setup/core/framework.h"
#include "setup/elements/custom_code.h"
#include "setup/elements/dir_kinds.h"
#include "setup/elements/file.h"
#include "setup/elements/registry_entry.h"
#include "setup/elements/self_reg_file.h"
#include "setup/elements/shortcut.h"
#include "setup/elements/text_file_kinds.h"
#include "setup/elements/ttf_file.h"

namespace {

const bool g_classTableInstalled = (UseSetupClassTable(), true);

FwPtr<WSetupElement> Create(const char* name) {
    return FwPtr<WSetupElement>(static_cast<WSetupElement*>(FwRuntimeClass::CreateObject(name)));
}

// Every field the table can set, its own and the element's, each once.
std::vector<const ElementField*> SettableFields(const ElementFieldTable& table) {
    std::vector<const ElementField*> fields;
    std::set<std::string> names;
    for (const ElementFieldTable* t = &table; t; t = t->extends)
        for (std::size_t i = 0; i < t->count; ++i)
            if (names.insert(t->fields[i].name).second)
                fields.push_back(&t->fields[i]);
    for (std::size_t i = 0; i < ElementBaseFields.count; ++i)
        if (names.insert(ElementBaseFields.fields[i].name).second)
            fields.push_back(&ElementBaseFields.fields[i]);
    return fields;
}

// A value of the field's form that no other field of the element gets.
std::string DistinctValue(const ElementField& field, int n) {
    switch (field.form) {
    case FieldForm::Text:
        return "t" + std::to_string(n);
    case FieldForm::Flag:
        return n % 2 ? "1" : "0";
    case FieldForm::Integer:
    case FieldForm::WholeDouble:
        return std::to_string(100 + n);
    case FieldForm::Double:
        return std::to_string(100 + n) + ".000000";
    }
    return std::string();
}

std::vector<std::string> Columns(const std::string& record) {
    std::vector<std::string> columns;
    std::string::size_type start = 0, comma;
    while ((comma = record.find(',', start)) != std::string::npos) {
        columns.push_back(record.substr(start, comma - start));
        start = comma + 1;
    }
    return columns;
}

} // namespace

TEST(ElementKindCatalogue, EveryKindOnceByNameAndByCode) {
    std::set<std::string> names;
    for (int kind = 0; kind < WSetupKindCount; ++kind) {
        const ElementKindInfo* info = FindElementKind(kind);
        ASSERT_NE(info, nullptr) << kind;
        SCOPED_TRACE(info->className);
        EXPECT_EQ(info->kind, kind);
        EXPECT_TRUE(names.insert(info->className).second);
        EXPECT_EQ(FindElementKind(std::string(info->className)), info);
        FwPtr<WSetupElement> element = Create(info->className);
        ASSERT_NE(element, nullptr);
        EXPECT_EQ(element->Kind, kind);
    }
    EXPECT_EQ(FindElementKind(-1), nullptr);
    EXPECT_EQ(FindElementKind(WSetupKindCount), nullptr);
    EXPECT_EQ(FindElementKind(std::string("WSetupElement")), nullptr);
    EXPECT_EQ(FindElementKind(std::string("wsetupfile")), nullptr);
    EXPECT_EQ(MeaningOfStatus(WSetupKindCount, ElementStep::Install, 0), StepMeaning::Failed);
}

TEST(ElementKindCatalogue, EachFieldReachesItsOwnMemberAndTheRecordReadsBack) {
    for (int kind = 0; kind < WSetupKindCount; ++kind) {
        const ElementKindInfo& info = *FindElementKind(kind);
        SCOPED_TRACE(info.className);
        const ElementFieldTable& table = *info.fields;

        // Columns 1..n, each once; the wide column is one of them and holds text.
        const std::vector<const ElementField*> record = FullRecordFields(table);
        for (std::size_t i = 0; i < record.size(); ++i)
            EXPECT_EQ(record[i]->column, static_cast<int>(i) + 1) << record[i]->name;
        if (table.wideColumn != 0) {
            ASSERT_LE(table.wideColumn, static_cast<int>(record.size()));
            EXPECT_EQ(record[table.wideColumn - 1]->form, FieldForm::Text);
        }

        // Distinct values in every field: a field that shares another's member loses its value.
        FwPtr<WSetupElement> element = Create(info.className);
        const std::vector<const ElementField*> settable = SettableFields(table);
        for (std::size_t i = 0; i < settable.size(); ++i)
            ASSERT_EQ(SetFieldFromText(*element, *settable[i],
                                       DistinctValue(*settable[i], static_cast<int>(i))),
                      FieldTextResult::Set);
        for (std::size_t i = 0; i < settable.size(); ++i)
            EXPECT_EQ(FieldText(*element, *settable[i]),
                      DistinctValue(*settable[i], static_cast<int>(i)))
                << settable[i]->name;

        // The record's columns rebuild an element that writes the same record.
        const std::string full = element->GetFullRecord().str();
        const std::vector<std::string> columns = Columns(full);
        ASSERT_EQ(columns.size(), record.size()) << full;
        FwPtr<WSetupElement> rebuilt = Create(info.className);
        for (std::size_t i = 0; i < record.size(); ++i)
            EXPECT_EQ(SetFieldFromText(*rebuilt, *record[i], columns[i]), FieldTextResult::Set);
        EXPECT_EQ(rebuilt->GetFullRecord().str(), full);
        EXPECT_EQ(element->GetShortRecord().str(), WriteShortRecord(*element, table).str());
        EXPECT_EQ(element->GetShortRecord().empty(), !table.hasShortRecord);
    }
}

TEST(ElementKindCatalogue, ADescriptionNamesTheFieldsItHasAlwaysNamed) {
    const char* everyKind[] = {"Id",       "SourceDir",         "SourceName", "DestDir",
                               "DestName", "OptionFlags",       "ExtraText",  "Size",
                               "UserText", "RemoveOnUninstall", "RecordFlag"};
    struct Own {
        const char* className;
        const char* field;
        FieldForm form;
    } own[] = {
        {"WSetupFile", "MediaName", FieldForm::Text},
        {"WSetupFile", "CopyMode", FieldForm::Integer},
        {"WSetupFile", "SkipWhenAsked", FieldForm::Flag},
        {"WSetupFile", "SpareAttributes", FieldForm::Text},
        {"WSetupFile", "Size", FieldForm::WholeDouble},
        {"WSetupTTFFile", "FontName", FieldForm::Text},
        {"WSetupTTFFile", "MediaName", FieldForm::Text},
        {"WSetupTTFFile", "CollectAfterCopy", FieldForm::Flag},
        {"WSetupDir", "SecondAttributes", FieldForm::Text},
        {"WSetupDir", "PruneParents", FieldForm::Flag},
        {"WSetupShortcut", "IconIndex", FieldForm::Integer},
        {"WSetupExecutable", "RunMode", FieldForm::Integer},
        {"WUnistallExecutable", "RunMode", FieldForm::Integer},
        {"WSetupCustomDLL", "Disabled", FieldForm::Flag},
        {"WUninstallCustomDLL", "Arguments", FieldForm::Text},
        {"WSetupRuntimeRegEntry", "EntryKind", FieldForm::Text},
        {"WSetupRegEntry", "RestoreOnUninstall", FieldForm::Flag},
        {"WSetupProfileString", "PreviousValue", FieldForm::Text},
        {"WSetupCustFile", "ReplaceText", FieldForm::Text},
        {"WSetupRuntimeFile", "RemoveEmptyFolders", FieldForm::Flag},
        {"WSetupRegFile", "Size", FieldForm::Double},
    };
    for (int kind = 0; kind < WSetupKindCount; ++kind) {
        const ElementKindInfo& info = *FindElementKind(kind);
        for (const char* name : everyKind)
            EXPECT_NE(FindElementField(*info.fields, name), nullptr)
                << info.className << " has no " << name;
    }
    for (const Own& o : own) {
        const ElementField* field =
            FindElementField(*FindElementKind(std::string(o.className))->fields, o.field);
        EXPECT_TRUE(field && field->form == o.form)
            << o.className << "." << o.field << ": "
            << (field ? "form " + std::to_string(static_cast<int>(field->form)) : "absent");
    }
    EXPECT_EQ(FindElementField(WSetupDirFields, "FontName"), nullptr);
}

TEST(ElementKindCatalogue, WhatTheCodesMean) {
    const StepMeaning done = StepMeaning::Done, none = StepMeaning::NothingToDo,
                      failed = StepMeaning::Failed;
    const ElementStep install = ElementStep::Install, undo = ElementStep::Undo,
                      check = ElementStep::Check;
    struct Row {
        int kind;
        ElementStep step;
        int status;
        StepMeaning expected;
    } rows[] = {
        {KindFile, install, CopiedWasAbsent, done},
        {KindFile, install, ScheduledVersion, done},
        {KindFile, install, KeptExisting, none},
        {KindFile, install, SkippedOnRequest, none},
        {KindFile, install, CopyFailedPlain, failed},
        {KindFile, install, AttributesFailed, failed},
        {KindFile, install, 17, failed}, // no code of the copy rules
        {KindFile, undo, FileDeletionScheduled, done},
        {KindFile, undo, FileNotToBeRemoved, none},
        {KindFile, undo, FileGoneAnyway, none},
        {KindFile, undo, FileNotResettable, failed},
        {KindFile, check, FileAttributesDiffer, failed},
        {KindTTFFile, install, KeptDate, none},
        {KindTTFFile, check, FontNotListed, failed},
        {KindRuntimeFile, install, ElementDone, none},
        {KindRuntimeFile, undo, RuntimeFileAbsent, none},
        {KindRuntimeFile, undo, RuntimeFileDeletionScheduled, done},
        {KindRuntimeFile, undo, RuntimeFileNotResettable, failed},
        {KindRegEntry, install, EntryDwordWritten, done},
        {KindRegEntry, install, ElementDone, failed}, // 0 is no code of Install
        {KindRegEntry, install, EntryRootRefused, failed},
        {KindRegEntry, undo, EntryRemovalSkipped, none},
        {KindRegEntry, undo, EntryPreviousRestored, done},
        {KindRegEntry, undo, EntryRestoreFailed, failed},
        {KindRegEntry, check, EntryCheckReadable, done},
        {KindRegEntry, check, ElementDone, failed},
        {KindRuntimeRegEntry, undo, RuntimeRegKeyDeleted, done},
        {KindRuntimeRegEntry, undo, RuntimeRegProtected, failed},
        {KindDir, install, DirNotCreated, failed},
        {KindDir, undo, DirNotToBeRemoved, none},
        {KindDir, undo, DirRemovalScheduled, done},
        {KindDir, undo, DirNotRemoved, failed},
        {KindDeleteFile, install, OldFileLeft, none},
        {KindDeleteFile, install, OldFileNotDeleted, failed},
        {KindDeleteFile, undo, ElementDone, none},
        {KindBackupFile, install, BackupSourceAbsent, none},
        {KindBackupFile, install, BackupNotMade, failed},
        {KindRegFile, install, RegFileAbsent, failed},
        {KindRegFile, undo, ElementDone, none},
        {KindCustFile, install, CustFileNotReplaced, failed},
        {KindProfileString, undo, ProfileRestored, done},
        {KindProfileString, undo, ProfileRestoreFailed, failed},
        {KindProfileString, check, ProfileKeyEmpty, failed},
        {KindSelfRegFile, install, RegisterCrashed, failed},
        {KindSelfRegFile, undo, UnregisterSkipped, none},
        {KindSelfRegFile, undo, UnregisterModuleAbsent, failed},
        {KindShortcut, install, ShortcutNoProgramGroup, failed},
        {KindShortcut, undo, ShortcutNotToBeRemoved, none},
        {KindCustomDLL, install, CustomDllCalled, done},
        {KindCustomDLL, install, CustomDllFirstAnswer, failed},
        {KindCustomDLL, install, CustomDllAbsent, failed},
        {KindCustomDLL, undo, ElementDone, none},
        {KindUninstallCustomDLL, install, ElementDone, none},
        {KindUninstallCustomDLL, undo, CustomDllFailed, failed},
        {KindExecutable, install, ProgramExecuted, done},
        {KindExecutable, install, ProgramAbsent, failed},
        {KindUninstallExecutable, undo, ProgramShellOpened, done},
        {KindUninstallExecutable, undo, StartFailed, failed},
        {KindUninstallExecutable, check, ElementDone, done},
    };
    const char* names[] = {"done", "nothing to do", "failed"};
    for (const Row& row : rows) {
        const StepMeaning seen = MeaningOfStatus(row.kind, row.step, row.status);
        EXPECT_EQ(seen, row.expected)
            << FindElementKind(row.kind)->className << " step " << static_cast<int>(row.step)
            << " status " << row.status << ": " << names[static_cast<int>(seen)];
    }
    // An element that was never processed has done nothing in any step.
    for (int kind = 0; kind < WSetupKindCount; ++kind)
        for (ElementStep step : {install, undo, check})
            EXPECT_EQ(MeaningOfStatus(kind, step, ElementNotProcessed), failed)
                << FindElementKind(kind)->className << " step " << static_cast<int>(step);
    EXPECT_EQ(FontRegistrationMeaning(FontAwaitsRestart), none);
    EXPECT_EQ(FontRegistrationMeaning(FontNotRegistered), failed);
}

namespace {

// Every code from -2 to 40 of every kind's three operations, as the catalogue answers it: one
// line per kind and operation listing the codes that are not Failed ("D" done, "N" nothing to
// do); every other code is Failed. Printed in full, so a changed answer shows where it lies.
std::string MeaningsOfEveryCode() {
    const char* const steps[] = {"install", "undo", "check"};
    const char letters[] = {'D', 'N'};
    std::string text;
    for (int kind = 0; kind < WSetupKindCount; ++kind) {
        for (int step = 0; step < 3; ++step) {
            text += std::string(FindElementKind(kind)->className) + " " + steps[step] + ":";
            for (int status = -2; status <= 40; ++status) {
                const StepMeaning meaning =
                    MeaningOfStatus(kind, static_cast<ElementStep>(step), status);
                if (meaning != StepMeaning::Failed)
                    text += " " + std::to_string(status) + letters[static_cast<int>(meaning)];
            }
            text += "\n";
        }
    }
    return text;
}

} // namespace

TEST(ElementKindCatalogue, EveryKindOperationAndCode) {
    const std::string seen = MeaningsOfEveryCode();
    std::printf("%s", seen.c_str());
    const char expected[] = "WSetupBackupFile install: 0D 1N\n"
                            "WSetupBackupFile undo: 0N\n"
                            "WSetupBackupFile check: 0D\n"
                            "WSetupDir install: 0D\n"
                            "WSetupDir undo: 0D 1N 2D\n"
                            "WSetupDir check: 0D\n"
                            "WSetupTTFFile install: 0D 1D 2N 3D 4N 5D 6N 7D 8N 9D 10D 11D 12D\n"
                            "WSetupTTFFile undo: 0D 2D 3N 4N\n"
                            "WSetupTTFFile check: 0D\n"
                            "WSetupProfileString install: 0D\n"
                            "WSetupProfileString undo: 0D 1N 2D\n"
                            "WSetupProfileString check: 0D\n"
                            "WSetupCustFile install: 0D\n"
                            "WSetupCustFile undo: 0N\n"
                            "WSetupCustFile check: 0D\n"
                            "WSetupRegFile install: 0D\n"
                            "WSetupRegFile undo: 0N\n"
                            "WSetupRegFile check: 0D\n"
                            "WSetupShortcut install: 0D\n"
                            "WSetupShortcut undo: 0D 1N\n"
                            "WSetupShortcut check: 0D\n"
                            "WSetupExecutable install: 0D 1D 2D 3D\n"
                            "WSetupExecutable undo: 0N\n"
                            "WSetupExecutable check: 0D\n"
                            "WSetupCustomDLL install: 0D\n"
                            "WSetupCustomDLL undo: 0N\n"
                            "WSetupCustomDLL check: 0D\n"
                            "WSetupRuntimeFile install: 0N\n"
                            "WSetupRuntimeFile undo: 0D 2N 3D\n"
                            "WSetupRuntimeFile check: 0D\n"
                            "WSetupRuntimeRegEntry install: 0N\n"
                            "WSetupRuntimeRegEntry undo: 0D 1D 2D\n"
                            "WSetupRuntimeRegEntry check: 0D\n"
                            "WSetupDeleteFile install: 0D 1N\n"
                            "WSetupDeleteFile undo: 0N\n"
                            "WSetupDeleteFile check: 0D\n"
                            "WSetupSelfRegFile install: 0D\n"
                            "WSetupSelfRegFile undo: 0D 1N\n"
                            "WSetupSelfRegFile check: 0D\n"
                            "WSetupFile install: 0D 1D 2N 3D 4N 5D 6N 7D 8N 9D 10D 11D 12D\n"
                            "WSetupFile undo: 0D 2D 3N 4N\n"
                            "WSetupFile check: 0D\n"
                            "WUnistallExecutable install: 0N\n"
                            "WUnistallExecutable undo: 0D 1D 2D 3D\n"
                            "WUnistallExecutable check: 0D\n"
                            "WUninstallCustomDLL install: 0N\n"
                            "WUninstallCustomDLL undo: 0D\n"
                            "WUninstallCustomDLL check: 0D\n"
                            "WSetupRegEntry install: 1D 2D 3D 4D 5D\n"
                            "WSetupRegEntry undo: 1N 4D 5D 6D 7D\n"
                            "WSetupRegEntry check: 15D\n";
    EXPECT_EQ(seen, expected);
}

// Every code a kind's meaning table lists has its name, and so do the failures the progress
// lines report most: the name is the one the kind declares, for the operation that answered.
TEST(ElementKindCatalogue, EveryListedCodeHasItsNameAndFailuresAreNamedToo) {
    int unnamed = 0;
    for (int kind = 0; kind < WSetupKindCount; ++kind) {
        const StepMeaningTable& table = *FindElementKind(kind)->meanings;
        for (std::size_t i = 0; i < table.count; ++i) {
            const StatusMeaning& row = table.rows[i];
            if (!StatusNameOf(kind, row.step, row.status)) {
                ++unnamed;
                ADD_FAILURE() << FindElementKind(kind)->className << " step "
                              << static_cast<int>(row.step) << " status " << row.status
                              << " has no name";
            }
        }
    }
    EXPECT_EQ(unnamed, 0);
    struct Row {
        int kind;
        ElementStep step;
        int status;
        const char* name;
    };
    const Row rows[] = {
        {KindFile, ElementStep::Install, SourceAbsent, "SourceAbsent"},
        {KindTTFFile, ElementStep::Install, FolderUnusable, "FolderUnusable"},
        {KindFile, ElementStep::Undo, FileDeletionFailed, "FileDeletionFailed"},
        {KindRegEntry, ElementStep::Install, EntryDwordFailed, "EntryDwordFailed"},
        {KindRegEntry, ElementStep::Undo, EntryRestoreFailed, "EntryRestoreFailed"},
        {KindDir, ElementStep::Install, DirNotCreated, "DirNotCreated"},
        {KindShortcut, ElementStep::Install, ShortcutNoProgramGroup, "ShortcutNoProgramGroup"},
        {KindCustomDLL, ElementStep::Install, CustomDllAbsent, "CustomDllAbsent"},
        {KindSelfRegFile, ElementStep::Install, RegisterCrashed, "RegisterCrashed"},
        {KindExecutable, ElementStep::Install, ProgramAbsent, "ProgramAbsent"},
        {KindRuntimeFile, ElementStep::Install, ElementNotProcessed, "ElementNotProcessed"},
    };
    for (const Row& row : rows) {
        const char* seen = StatusNameOf(row.kind, row.step, row.status);
        std::printf("%-20s step %d status %3d: %s\n", FindElementKind(row.kind)->className,
                    static_cast<int>(row.step), row.status, seen ? seen : "(none)");
        EXPECT_STREQ(seen ? seen : "", row.name);
    }
    EXPECT_EQ(StatusNameOf(KindNone, ElementStep::Install, 0), nullptr);
    EXPECT_EQ(StatusNameOf(KindFile, ElementStep::Install, 999), nullptr);
}
