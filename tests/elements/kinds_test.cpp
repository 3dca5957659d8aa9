// The seventeen element kinds as the engine meets them: created by class name, with their kind
// codes and run-time class records, the defaults of their fields, and the slots of their own
// operations.
#include "setup/assembly/class_table.h"
#include "setup/core/component.h"
#include "setup/elements/custom_code.h"
#include "setup/elements/dir_kinds.h"
#include "setup/elements/file.h"
#include "setup/elements/registry_entry.h"
#include "setup/elements/self_reg_file.h"
#include "setup/elements/shortcut.h"
#include "setup/elements/text_file_kinds.h"
#include "setup/elements/ttf_file.h"
#include "elements/destination_fixture.h"
#include "support/vtable_slots.h"

#include <gtest/gtest.h>

#include <cstdio>

using testsupport::SlotOf;

namespace {

// The program's start, as a program that creates setup objects by name has it.
const bool g_classTableInstalled = (UseSetupClassTable(), true);

struct KindRow {
    int kind;
    const char* name;
};

const KindRow g_kinds[] = {
    {KindBackupFile, "WSetupBackupFile"},
    {KindDir, "WSetupDir"},
    {KindTTFFile, "WSetupTTFFile"},
    {KindProfileString, "WSetupProfileString"},
    {KindCustFile, "WSetupCustFile"},
    {KindRegFile, "WSetupRegFile"},
    {KindShortcut, "WSetupShortcut"},
    {KindExecutable, "WSetupExecutable"},
    {KindCustomDLL, "WSetupCustomDLL"},
    {KindRuntimeFile, "WSetupRuntimeFile"},
    {KindRuntimeRegEntry, "WSetupRuntimeRegEntry"},
    {KindDeleteFile, "WSetupDeleteFile"},
    {KindSelfRegFile, "WSetupSelfRegFile"},
    {KindFile, "WSetupFile"},
    {KindUninstallExecutable, "WUnistallExecutable"},
    {KindUninstallCustomDLL, "WUninstallCustomDLL"},
    {KindRegEntry, "WSetupRegEntry"},
};

FwPtr<WSetupElement> Create(const char* name) {
    return FwPtr<WSetupElement>(static_cast<WSetupElement*>(FwRuntimeClass::CreateObject(name)));
}

} // namespace

TEST(ElementKinds, EveryKindIsCreatedByNameWithItsCode) {
    ASSERT_EQ(sizeof g_kinds / sizeof g_kinds[0], static_cast<std::size_t>(WSetupKindCount));
    for (const KindRow& row : g_kinds) {
        SCOPED_TRACE(row.name);
        const FwRuntimeClass* cls = FwRuntimeClass::FromName(row.name);
        ASSERT_NE(cls, nullptr);
        EXPECT_STREQ(cls->ClassName, row.name);
        EXPECT_EQ(cls->Schema, FwNoSchema);
        EXPECT_EQ(cls->BaseClass, FW_RUNTIME_CLASS(WSetupElement));
        FwPtr<WSetupElement> element = Create(row.name);
        ASSERT_NE(element, nullptr);
        EXPECT_EQ(element->GetRuntimeClass(), cls);
        EXPECT_EQ(element->Kind, row.kind);
        EXPECT_EQ(element->Status, ElementNotProcessed);
        EXPECT_EQ(element->RefCount, 0);
        EXPECT_TRUE(element->IsKindOf(FW_RUNTIME_CLASS(WSetupElement)));
        EXPECT_FALSE(element->IsKindOf(FW_RUNTIME_CLASS(WSetupComponent)));
        EXPECT_EQ(element->GetRecord(), element->GetFullRecord());
    }
    for (const char* name : {"WSetupElement", "WSetupComponent"})
        EXPECT_NE(FwPtr<FwObject>(FwRuntimeClass::CreateObject(name)), nullptr) << name;
}

// Every operation of the three protocol slots stores what it answers, whatever it finds: the
// engine reads Status after the call. Each element targets a file that is not there, in a fresh
// folder, and starts from a Status that no operation answers.
class EveryOperation : public testsupport::DestinationTest {};

TEST_F(EveryOperation, StoresWhatItAnswersInStatus) {
    const int sentinel = -7777;
    struct Slot {
        const char* name;
        int (WSetupElement::*operation)();
    };
    const Slot slots[] = {{"Install", &WSetupElement::Install},
                          {"Uninstall", &WSetupElement::Uninstall},
                          {"Verify", &WSetupElement::Verify}};
    int unstored = 0;
    std::printf("%-22s %-10s %8s %8s\n", "kind", "slot", "answer", "Status");
    for (const KindRow& row : g_kinds) {
        for (const Slot& slot : slots) {
            FwPtr<WSetupElement> element = Create(row.name);
            ASSERT_NE(element, nullptr) << row.name;
            Target(*element, m_temp.Path(), "absent.dat");
            element->Status = sentinel;
            const int answer = ((*element).*slot.operation)();
            const bool stored = element->Status == answer;
            std::printf("%-22s %-10s %8d %8d%s\n", row.name, slot.name, answer, element->Status,
                        stored ? "" : "  <- not stored");
            EXPECT_EQ(element->Status, answer) << row.name << "::" << slot.name;
            unstored += stored ? 0 : 1;
        }
    }
    EXPECT_EQ(unstored, 0);
}

TEST(ElementKinds, TheFontElementIsNoFileElementToTheEngine) {
    // It extends the file element's layout, but the engine must not take it for one.
    WSetupTTFFile font;
    EXPECT_FALSE(font.IsKindOf(FW_RUNTIME_CLASS(WSetupFile)));
    EXPECT_GT(sizeof(WSetupTTFFile), sizeof(WSetupFile));
}

TEST(ElementKinds, DefaultsOfTheKindFields) {
    WSetupFile file;
    EXPECT_EQ(file.Attributes, "100000");
    EXPECT_EQ(file.SpareAttributes, "100000");
    EXPECT_EQ(file.CopyMode, 1);
    EXPECT_EQ(file.RemoveEmptyFolders, 1);
    EXPECT_EQ(file.ChecksumText, "|||0");
    EXPECT_EQ(file.CarriedNumber, 1);
    EXPECT_EQ(file.FileFlags | file.SkipWhenAsked | file.CollectAfterCopy | file.CarriedFlag, 0);
    file.SetChecksumText("4711");
    EXPECT_EQ(file.GetChecksumText(), "4711");

    WSetupTTFFile font;
    EXPECT_EQ(font.CopyMode, 1);
    EXPECT_EQ(font.Attributes, "100000");
    EXPECT_TRUE(font.FontName.empty());
    EXPECT_EQ(font.RestartPending, 0);

    WSetupRegEntry entry;
    EXPECT_EQ(entry.DeleteSubkeys, 0);
    EXPECT_EQ(entry.RestoreOnUninstall, 0);
    WSetupCustomDLL dll;
    EXPECT_EQ(dll.Disabled, 0);
    WSetupExecutable program;
    EXPECT_EQ(program.GetRunMode(), 1);
    program.SetRunMode(4);
    EXPECT_EQ(program.RunMode, 4);
    WUnistallExecutable uninstallProgram;
    EXPECT_EQ(uninstallProgram.RunMode, 1);
    WSetupCustFile custom;
    EXPECT_EQ(custom.SearchText, "Search");
    EXPECT_EQ(custom.ReplaceText, "Replace");
    WSetupProfileString profile;
    EXPECT_EQ(profile.Section, "Section");
    EXPECT_EQ(profile.Key, "Key");
    EXPECT_EQ(profile.RestoreOnUninstall, 1);
    WSetupDir dir;
    EXPECT_EQ(dir.Attributes, "100000");
    EXPECT_EQ(dir.SecondAttributes, "100000");
    EXPECT_EQ(dir.PruneParents, 1);
    WSetupRuntimeFile runtimeFile;
    EXPECT_EQ(runtimeFile.RemoveEmptyFolders, 1);
    EXPECT_STREQ(BackupFilePrefix, "Backup Of ");
}

TEST(ElementKinds, OwnOperationsFollowSlot25InTheirOrder) {
    EXPECT_EQ(SlotOf(&WSetupRegEntry::Install), 5);
    EXPECT_EQ(SlotOf(&WSetupRegEntry::Uninstall), 6);
    EXPECT_EQ(SlotOf(&WSetupRegEntry::GetShortRecord), 10);
    EXPECT_EQ(SlotOf(&WSetupRuntimeRegEntry::Remove), 26);
    EXPECT_EQ(SlotOf(&WSetupRuntimeFile::Remove), 26);

    EXPECT_EQ(SlotOf(&WSetupFile::InstallStep), 26);
    EXPECT_EQ(SlotOf(&WSetupFile::UninstallStep), 27);
    EXPECT_EQ(SlotOf(&WSetupFile::BindImage), 28);
    EXPECT_EQ(SlotOf(&WSetupFile::GetChecksumText), 29);
    EXPECT_EQ(SlotOf(&WSetupFile::SetChecksumText), 30);
    EXPECT_EQ(SlotOf(&WSetupTTFFile::InstallStep), 26);
    EXPECT_EQ(SlotOf(&WSetupTTFFile::Uninstall), 6);
    EXPECT_EQ(SlotOf(&WSetupTTFFile::RegisterFont), 31);
    EXPECT_EQ(SlotOf(&WSetupTTFFile::GetFontName), 32);
    EXPECT_EQ(SlotOf(&WSetupTTFFile::SetFontName), 33);

    EXPECT_EQ(SlotOf(&WSetupSelfRegFile::InstallStep), 26);
    EXPECT_EQ(SlotOf(&WSetupSelfRegFile::UninstallStep), 27);

    EXPECT_EQ(SlotOf(&WUninstallCustomDLL::GetArguments), 26);
    EXPECT_EQ(SlotOf(&WUninstallCustomDLL::SetArguments), 27);
    EXPECT_EQ(SlotOf(&WSetupCustomDLL::InstallStep), 26);
    EXPECT_EQ(SlotOf(&WSetupCustomDLL::GetArguments), 27);
    EXPECT_EQ(SlotOf(&WSetupCustomDLL::SetArguments), 28);
    EXPECT_EQ(SlotOf(&WUnistallExecutable::GetArguments), 26);
    EXPECT_EQ(SlotOf(&WUnistallExecutable::SetRunMode), 29);
    EXPECT_EQ(SlotOf(&WSetupExecutable::InstallStep), 26);
    EXPECT_EQ(SlotOf(&WSetupExecutable::GetArguments), 27);
    EXPECT_EQ(SlotOf(&WSetupExecutable::SetArguments), 28);
    EXPECT_EQ(SlotOf(&WSetupExecutable::GetRunMode), 29);
    EXPECT_EQ(SlotOf(&WSetupExecutable::SetRunMode), 30);

    EXPECT_EQ(SlotOf(&WSetupRegFile::InstallStep), 26);
    EXPECT_EQ(SlotOf(&WSetupCustFile::InstallStep), 26);
    EXPECT_EQ(SlotOf(&WSetupProfileString::InstallStep), 26);
    EXPECT_EQ(SlotOf(&WSetupDir::InstallStep), 26);
    EXPECT_EQ(SlotOf(&WSetupDeleteFile::InstallStep), 26);
    EXPECT_EQ(SlotOf(&WSetupBackupFile::InstallStep), 26);
}
