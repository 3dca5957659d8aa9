// Removal's folder sweep leaves the file system as a removal that tried the folders after every
// file would: the folders the files leave empty go, the deepest first, with the empty ones above
// them; a folder that still holds something stays, and so does everything above it.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "folder_sweep.h"
#include "setup/core/fileutil.h"
#include "setup/core/handles.h"
#include "setup/core/path.h"
#include "setup/elements/file.h"
#include "setup/elements/protected_folders.h"
#include "setup/elements/registry_entry.h"
#include "support/fixtures.h"

using testsupport::TempFolder;
using testsupport::WriteFileBytes;

namespace {

bool Exists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

struct SweepRow {
    const char* name;
    std::vector<const char*> files;     // the product's files, under the product's folder
    std::vector<const char*> userFiles; // what someone else put there, kept
    int removeEmptyFolders;
    std::vector<const char*> gone; // folders the removal takes away
    std::vector<const char*> kept; // folders it leaves
};

TEST(FolderSweep, LeavesTheFoldersAsAFileByFileRemovalWould) {
    const SweepRow rows[] = {
        {"every file of nested folders",
         {"P\\a\\b\\1.dat", "P\\a\\2.dat", "P\\c\\3.dat", "P\\4.dat"},
         {},
         1,
         {"P\\a\\b", "P\\a", "P\\c", "P"},
         {}},
        {"a user's file keeps its folder and those above it",
         {"P\\a\\b\\1.dat", "P\\a\\2.dat", "P\\c\\3.dat"},
         {"P\\c\\mine.txt"},
         1,
         {"P\\a\\b", "P\\a"},
         {"P\\c", "P"}},
        {"a name that sorts between a folder and its subfolder",
         {"P\\x\\y\\1.dat", "P\\x-2\\2.dat", "P\\x.3\\3.dat"},
         {},
         1,
         {"P\\x\\y", "P\\x", "P\\x-2", "P\\x.3", "P"},
         {}},
        {"files that keep their folders", {"P\\a\\1.dat", "P\\2.dat"}, {}, 0, {}, {"P\\a", "P"}},
    };
    int failures = 0;
    for (const SweepRow& row : rows) {
        TempFolder folder;
        // Keeps the walk upwards inside the test's folder.
        ASSERT_TRUE(WriteFileBytes(folder / "stays.txt", "the test's own"));
        std::vector<FwPtr<WSetupFile>> files;
        for (const char* relative : row.files) {
            const std::string path = folder / relative;
            ASSERT_TRUE(CreateDirectoryTree(ParentOf(path))) << path;
            ASSERT_TRUE(WriteFileBytes(path, "installed"));
            FwPtr<WSetupFile> file(new WSetupFile);
            file->DestDir = ParentOf(path).c_str();
            file->DestName = FileNameOf(path).c_str();
            file->RemoveEmptyFolders = row.removeEmptyFolders;
            files.push_back(std::move(file));
        }
        for (const char* relative : row.userFiles)
            ASSERT_TRUE(WriteFileBytes(folder / relative, "the user's"));

        FolderSweep sweep;
        std::string statuses;
        for (auto file = files.rbegin(); file != files.rend(); ++file) {
            ASSERT_TRUE(sweep.Take(file->get()));
            FwStringArray rebootList;
            const int status = (*file)->UninstallStep(rebootList);
            statuses += std::to_string(status) + " ";
            sweep.After();
            // Until the sweep runs, the folders stay, however empty.
            EXPECT_TRUE(Exists(ParentOf(folder / row.files[0]))) << row.name;
        }
        sweep.Run();

        std::string seen;
        bool ok = Exists(folder / "stays.txt");
        for (const char* relative : row.gone) {
            const bool there = Exists(folder / relative);
            seen += std::string(relative) + (there ? " still there; " : " gone; ");
            ok = ok && !there;
        }
        for (const char* relative : row.kept) {
            const bool there = Exists(folder / relative);
            seen += std::string(relative) + (there ? " kept; " : " removed; ");
            ok = ok && there;
        }
        std::printf("%-52s undo %s| %s%s\n", row.name, statuses.c_str(), seen.c_str(),
                    ok ? "" : "  <-- WRONG");
        failures += ok ? 0 : 1;
    }
    EXPECT_EQ(failures, 0);
}

TEST(FolderSweep, HoldsBackOnlyWhileItHasAnElementAndLeavesOtherKindsAlone) {
    TempFolder folder;
    ASSERT_TRUE(WriteFileBytes(folder / "stays.txt", "the test's own"));
    ASSERT_TRUE(CreateDirectoryTree(folder / "run\\time"));
    ASSERT_TRUE(WriteFileBytes(folder / "run\\time\\made.dat", "made by the product"));
    FwPtr<WSetupRuntimeFile> runtime(new WSetupRuntimeFile);
    runtime->DestDir = (folder / "run\\time").c_str();
    runtime->DestName = "made.dat";
    FwPtr<WSetupRegEntry> value(new WSetupRegEntry);
    {
        FolderSweep sweep;
        EXPECT_FALSE(sweep.Take(value.get()));
        ASSERT_TRUE(sweep.Take(runtime.get()));
        FwStringArray rebootList;
        EXPECT_EQ(runtime->Remove(rebootList), RuntimeFileDeleted);
        sweep.After();
        EXPECT_TRUE(Exists(folder / "run\\time")) << "held back";
        // Another removal outside the sweep's elements is not held back.
        ASSERT_TRUE(CreateDirectoryTree(folder / "other"));
        EXPECT_TRUE(RemoveEmptyFoldersUpFrom(folder / "other"));
    }
    // A sweep that goes without running leaves nothing held back, and its folders in place.
    EXPECT_TRUE(Exists(folder / "run\\time"));
    EXPECT_TRUE(RemoveEmptyFoldersUpFrom(folder / "run\\time"));
    EXPECT_FALSE(Exists(folder / "run"));
    EXPECT_TRUE(Exists(folder / "stays.txt"));
}

} // namespace
