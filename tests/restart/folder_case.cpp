// A folder whose removal has to wait (it still holds a file that is in use, itself scheduled for
// deletion) is removed at the restart; a folder that goes at once is not scheduled at all.
#include <gtest/gtest.h>

#include <windows.h>

#include "restart/stage.h"
#include "setup/core/restart_schedule.h"
#include "setup/elements/dir_kinds.h"
#include "support/file_holder.h"

namespace {

const char Case[] = "folder";

bool IsFolder(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

TEST(RemoveFolderAtRestart, Schedule) {
    const std::string folder = stage::FreshCaseFolder(Case);
    WSetupDir full;
    full.DestDir = folder;
    full.DestName = "FULL";
    full.PruneParents = 0;
    ASSERT_EQ(full.InstallStep(0), DirCreated);
    const std::string file = folder + "\\FULL\\INUSE.DAT";
    ASSERT_TRUE(stage::WriteAll(file, "in use until the restart"));
    testsupport::FileHolder holder(file, "read");
    ASSERT_TRUE(holder.Held()) << holder.Report();
    holder.Detach();
    ASSERT_TRUE(DeleteFileAtReboot(file));

    EXPECT_EQ(full.Uninstall(), DirRemovalScheduled);
    EXPECT_TRUE(stage::Exists(file));

    WSetupDir empty;
    empty.DestDir = folder;
    empty.DestName = "EMPTY";
    empty.PruneParents = 0;
    ASSERT_EQ(empty.InstallStep(0), DirCreated);
    EXPECT_EQ(empty.Uninstall(), DirRemoved);
    EXPECT_FALSE(IsFolder(folder + "\\EMPTY"));
    // Made again after its removal: a later restart must leave it alone.
    ASSERT_TRUE(CreateDirectoryA((folder + "\\EMPTY").c_str(), nullptr));
}

TEST(RemoveFolderAtRestart, Check) {
    const std::string folder = stage::CaseFolder(Case);
    EXPECT_FALSE(stage::Exists(folder + "\\FULL\\INUSE.DAT"));
    EXPECT_FALSE(IsFolder(folder + "\\FULL"));
    EXPECT_TRUE(IsFolder(folder + "\\EMPTY"));
}

} // namespace
