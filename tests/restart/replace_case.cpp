// A file in use is replaced, and another deleted, at the restart; every trace of the scheduling
// is consumed by it: the staging copy, WININIT.INI (which becomes wininit.bak) in the Windows 98
// run, PendingFileRenameOperations in the Windows 2000 run.
#include <gtest/gtest.h>

#include <windows.h>

#include "restart/stage.h"
#include "setup/core/restart_schedule.h"
#include "support/file_holder.h"

namespace {

const char Case[] = "replace";
// 8.3 names: the Windows 95/98 rename list holds short paths, and a long name would be lost.
const char Target[] = "LOCKED.DLL";
const char Doomed[] = "DOOMED.TXT";
const char OldContent[] = "old content of the locked file";
const char NewContent[] = "new content, put in place at the restart";

std::string In(const std::string& folder, const char* name) {
    return folder + "\\" + name;
}

TEST(ReplaceLockedFile, Schedule) {
    const std::string folder = stage::FreshCaseFolder(Case);
    const std::string source = stage::FreshCaseFolder(std::string(Case) + "-source");
    const std::string target = In(folder, Target);
    const std::string doomed = In(folder, Doomed);
    const std::string newer = In(source, "NEWER.DLL");
    ASSERT_TRUE(stage::WriteAll(target, OldContent));
    ASSERT_TRUE(stage::WriteAll(doomed, "to be deleted"));
    ASSERT_TRUE(stage::WriteAll(newer, NewContent));

    // Held as a loaded module is: readable, but not to be written, replaced or deleted. The
    // holder stays until the restart ends it.
    testsupport::FileHolder holder(target, "read");
    ASSERT_TRUE(holder.Held()) << holder.Report();
    holder.Detach();
    ASSERT_FALSE(CopyFileA(newer.c_str(), target.c_str(), FALSE));
    ASSERT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), GetLastError());

    ASSERT_TRUE(ReplaceFileAtReboot(newer, target));
    ASSERT_TRUE(DeleteFileAtReboot(doomed));

    // The platform's records of the scheduling exist until the restart.
    if (stage::Win9xRun()) {
        EXPECT_TRUE(stage::Exists(stage::WindowsFolder() + "\\wininit.ini"));
    } else {
        EXPECT_GT(stage::PendingRenameBytes(), 2u);
    }

    // Nothing has changed yet but the staging copy beside the target.
    EXPECT_EQ(OldContent, stage::ReadAll(target));
    EXPECT_TRUE(stage::Exists(doomed));
    const std::vector<std::string> files = stage::FilesIn(folder);
    ASSERT_EQ(3u, files.size());
    for (const std::string& name : files) {
        if (name != Target && name != Doomed) {
            EXPECT_EQ(NewContent, stage::ReadAll(In(folder, name.c_str()))) << name;
        }
    }
}

TEST(ReplaceLockedFile, Check) {
    const std::string folder = stage::CaseFolder(Case);
    bool read = false;
    EXPECT_EQ(NewContent, stage::ReadAll(In(folder, Target), &read));
    EXPECT_TRUE(read);
    // The deleted file and the staging copy are gone.
    EXPECT_EQ(std::vector<std::string>{Target}, stage::FilesIn(folder));
}

// The platform's own records of the scheduling are consumed by the restart.
TEST(RestartRecords, Check) {
    if (stage::Win9xRun()) {
        EXPECT_FALSE(stage::Exists(stage::WindowsFolder() + "\\wininit.ini"));
        EXPECT_TRUE(stage::Exists(stage::WindowsFolder() + "\\wininit.bak"));
    }
    // Absent, or a list with no entry left.
    EXPECT_LE(stage::PendingRenameBytes(), 2u);
}

} // namespace
