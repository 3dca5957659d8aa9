// The seventeen element kinds as the engine meets them: created by class name, with their kind
// codes, run-time class records, the protocol overrides that answer without working, and the
// slots of their own operations.
#include "setup/core/component.h"
#include "setup/elements/custom_code.h"
#include "setup/elements/dir_kinds.h"
#include "setup/elements/file.h"
#include "setup/elements/registry_entry.h"
#include "setup/elements/self_reg_file.h"
#include "setup/elements/shortcut.h"
#include "setup/elements/text_file_kinds.h"
#include "setup/elements/ttf_file.h"
#include "support/vtable_slots.h"

#include <gtest/gtest.h>

using testsupport::SlotOf;

namespace {

// Kind code, class name and the answers of Install, Uninstall and Verify where the kind keeps
// the base behaviour (1) or answers without working (0); -1 where the kind does its own work.
struct KindRow {
    int kind;
    const char* name;
    int install;
    int uninstall;
    int verify;
};

const KindRow g_kinds[] = {
    {KindBackupFile, "WSetupBackupFile", 1, 0, 0},
    {KindDir, "WSetupDir", 1, -1, -1},
    {KindTTFFile, "WSetupTTFFile", 1, 0, -1},
    {KindProfileString, "WSetupProfileString", 1, -1, -1},
    {KindCustFile, "WSetupCustFile", 1, 0, -1},
    {KindRegFile, "WSetupRegFile", 1, 0, -1},
    {KindShortcut, "WSetupShortcut", 1, 1, -1},
    {KindExecutable, "WSetupExecutable", 1, 0, 0},
    {KindCustomDLL, "WSetupCustomDLL", 1, 0, -1},
    {KindRuntimeFile, "WSetupRuntimeFile", 0, 1, 0},
    {KindRuntimeRegEntry, "WSetupRuntimeRegEntry", 0, 1, 0},
    {KindDeleteFile, "WSetupDeleteFile", 1, 0, 0},
    {KindSelfRegFile, "WSetupSelfRegFile", 1, 1, -1},
    {KindFile, "WSetupFile", 1, 1, -1},
    {KindUninstallExecutable, "WUnistallExecutable", 0, -1, 0},
    {KindUninstallCustomDLL, "WUninstallCustomDLL", 0, -1, 0},
    {KindRegEntry, "WSetupRegEntry", -1, -1, -1},
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
        EXPECT_EQ(element->Status, -1);
        EXPECT_EQ(element->RefCount, 0);
        EXPECT_TRUE(element->IsKindOf(FW_RUNTIME_CLASS(WSetupElement)));
        EXPECT_FALSE(element->IsKindOf(FW_RUNTIME_CLASS(WSetupComponent)));
    }
    for (const char* name : {"WSetupElement", "WSetupComponent"})
        EXPECT_NE(FwPtr<FwObject>(FwRuntimeClass::CreateObject(name)), nullptr) << name;
}

TEST(ElementKinds, RecordedObjectSizesAreTheClassSizes) {
    EXPECT_EQ(FW_RUNTIME_CLASS(WSetupBackupFile)->ObjectSize, int(sizeof(WSetupBackupFile)));
    EXPECT_EQ(FW_RUNTIME_CLASS(WSetupDir)->ObjectSize, int(sizeof(WSetupDir)));
    EXPECT_EQ(FW_RUNTIME_CLASS(WSetupTTFFile)->ObjectSize, int(sizeof(WSetupTTFFile)));
    EXPECT_EQ(FW_RUNTIME_CLASS(WSetupProfileString)->ObjectSize, int(sizeof(WSetupProfileString)));
    EXPECT_EQ(FW_RUNTIME_CLASS(WSetupCustFile)->ObjectSize, int(sizeof(WSetupCustFile)));
    EXPECT_EQ(FW_RUNTIME_CLASS(WSetupRegFile)->ObjectSize, int(sizeof(WSetupRegFile)));
    EXPECT_EQ(FW_RUNTIME_CLASS(WSetupShortcut)->ObjectSize, int(sizeof(WSetupShortcut)));
    EXPECT_EQ(FW_RUNTIME_CLASS(WSetupExecutable)->ObjectSize, int(sizeof(WSetupExecutable)));
    EXPECT_EQ(FW_RUNTIME_CLASS(WSetupCustomDLL)->ObjectSize, int(sizeof(WSetupCustomDLL)));
    EXPECT_EQ(FW_RUNTIME_CLASS(WSetupRuntimeFile)->ObjectSize, int(sizeof(WSetupRuntimeFile)));
    EXPECT_EQ(FW_RUNTIME_CLASS(WSetupRuntimeRegEntry)->ObjectSize,
              int(sizeof(WSetupRuntimeRegEntry)));
    EXPECT_EQ(FW_RUNTIME_CLASS(WSetupDeleteFile)->ObjectSize, int(sizeof(WSetupDeleteFile)));
    EXPECT_EQ(FW_RUNTIME_CLASS(WSetupSelfRegFile)->ObjectSize, int(sizeof(WSetupSelfRegFile)));
    EXPECT_EQ(FW_RUNTIME_CLASS(WSetupFile)->ObjectSize, int(sizeof(WSetupFile)));
    EXPECT_EQ(FW_RUNTIME_CLASS(WUnistallExecutable)->ObjectSize, int(sizeof(WUnistallExecutable)));
    EXPECT_EQ(FW_RUNTIME_CLASS(WUninstallCustomDLL)->ObjectSize, int(sizeof(WUninstallCustomDLL)));
    EXPECT_EQ(FW_RUNTIME_CLASS(WSetupRegEntry)->ObjectSize, int(sizeof(WSetupRegEntry)));
    // The font element is a file element in layout, not in its run-time class.
    WSetupTTFFile font;
    EXPECT_FALSE(font.IsKindOf(FW_RUNTIME_CLASS(WSetupFile)));
    EXPECT_GT(sizeof(WSetupTTFFile), sizeof(WSetupFile));
}

TEST(ElementKinds, ProtocolOverridesThatAnswerWithoutWorking) {
    for (const KindRow& row : g_kinds) {
        SCOPED_TRACE(row.name);
        FwPtr<WSetupElement> element = Create(row.name);
        ASSERT_NE(element, nullptr);
        // Nothing to find: the kinds that do their own work are not asked here.
        element->DestDir = "Z:\\tarvo-nowhere";
        element->DestName = "absent.bin";
        if (row.install >= 0) {
            EXPECT_EQ(element->Install(), row.install);
        }
        if (row.uninstall >= 0) {
            EXPECT_EQ(element->Uninstall(), row.uninstall);
        }
        if (row.verify >= 0) {
            EXPECT_EQ(element->Verify(), row.verify);
        }
        EXPECT_EQ(element->GetRecord(), element->GetFullRecord());
    }
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
