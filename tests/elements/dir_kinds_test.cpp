// Folders, deletions and backups, acting in a fresh temporary folder that "<D>" names.
#include "setup/core/restart_schedule.h"
#include "setup/core/sysfolders.h"
#include "setup/elements/dir_kinds.h"
#include "elements/destination_fixture.h"

#include <string>
#include <vector>

using testsupport::ReadFileBytes;
using testsupport::WriteFileBytes;

namespace {

class DirKinds : public testsupport::DestinationTest {
protected:
    static bool IsFolder(const std::string& path) {
        const DWORD a = Attributes(path);
        return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
    }
};

// Records what would be scheduled for the restart instead of scheduling it.
class RecordingRestart : public RestartPlatform {
public:
    bool MoveAtRestart(const std::string& source, const std::string& target) override {
        moves.push_back(source + " -> " + target);
        return accept;
    }
    std::vector<std::string> moves;
    bool accept = true;

private:
    OverrideForTesting<RestartPlatform*> m_override{RestartPlatformForTesting(), this};
};

bool IsEmptyFolder(const std::string& folder) {
    WIN32_FIND_DATAA found;
    FindHandle search(FindFirstFileA((folder + "\\*").c_str(), &found));
    if (!search.IsOpen())
        return false;
    do {
        const std::string name = found.cFileName;
        if (name != "." && name != "..")
            return false;
    } while (FindNextFileA(search.Get(), &found));
    return true;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Folders

TEST_F(DirKinds, FolderIsCreatedWithItsAttributesAndChecked) {
    WSetupDir plain;
    Target(plain, "<D>\\App", "Data\\Cache");
    EXPECT_EQ(plain.Verify(), DirMissing);
    EXPECT_EQ(plain.InstallStep(0), DirCreated);
    EXPECT_EQ(plain.Status, DirCreated);
    EXPECT_EQ(Attributes(Path("App\\Data\\Cache")), DWORD(FILE_ATTRIBUTE_DIRECTORY));
    EXPECT_EQ(plain.Verify(), DirAsInstalled);

    WSetupDir hidden;
    Target(hidden, "<D>", "Hidden");
    hidden.Attributes = "001000";
    EXPECT_EQ(hidden.InstallStep(0), DirCreated);
    EXPECT_EQ(Attributes(Path("Hidden")), DWORD(FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN));
    EXPECT_EQ(hidden.Verify(), DirAsInstalled);
    ASSERT_TRUE(SetFileAttributesA(Path("Hidden").c_str(), FILE_ATTRIBUTE_NORMAL));
    EXPECT_EQ(hidden.Verify(), DirAttributesDiffer);
    EXPECT_EQ(hidden.Status, DirAttributesDiffer);

    // An existing folder counts as created, and gets its attributes again.
    EXPECT_EQ(hidden.InstallStep(0), DirCreated);
    EXPECT_EQ(hidden.Verify(), DirAsInstalled);
    Target(plain, "<D>", "Hidden");
    EXPECT_EQ(plain.Verify(), DirAttributesDiffer);
    EXPECT_EQ(plain.InstallStep(0), DirCreated);
    EXPECT_EQ(Attributes(Path("Hidden")), DWORD(FILE_ATTRIBUTE_DIRECTORY));
}

// Checking a folder does not enter it: the uninstall that follows can still remove it.
TEST_F(DirKinds, VerifyLeavesTheCurrentFolderAlone) {
    char before[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, before);
    WSetupDir dir;
    Target(dir, "<D>", "Checked");
    ASSERT_EQ(dir.InstallStep(0), DirCreated);
    ASSERT_EQ(dir.Verify(), DirAsInstalled);
    char after[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, after);
    EXPECT_STREQ(after, before);
    dir.PruneParents = 0;
    EXPECT_EQ(dir.Uninstall(), DirRemoved);
    EXPECT_FALSE(IsFolder(Path("Checked")));
}

TEST_F(DirKinds, UninstallRemovesEmptyParentsUpToOneInUse) {
    ASSERT_TRUE(WriteFileBytes(Path("keep.txt"), "x"));
    WSetupDir dir;
    Target(dir, "<D>\\Vendor\\Product", "Logs");
    dir.Attributes = "001000";
    ASSERT_EQ(dir.InstallStep(0), DirCreated);
    EXPECT_EQ(dir.Uninstall(), DirRemoved);
    EXPECT_FALSE(IsFolder(Path("Vendor")));
    EXPECT_TRUE(IsFolder(m_temp.Path()));

    ASSERT_EQ(dir.InstallStep(0), DirCreated);
    ASSERT_TRUE(WriteFileBytes(Path("Vendor\\Product\\Logs\\today.log"), "x"));
    RecordingRestart restart;
    EXPECT_EQ(dir.Uninstall(), DirNotRemoved);
    EXPECT_EQ(Attributes(Path("Vendor\\Product\\Logs")),
              DWORD(FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN))
        << "a folder that stays keeps its attributes";
    EXPECT_TRUE(restart.moves.empty()) << "pruning never defers to the restart";
}

TEST_F(DirKinds, FolderWithFilesIsRemovedAtRestartWithoutPruning) {
    RecordingRestart restart;
    WSetupDir dir;
    Target(dir, "<D>", "Full");
    dir.PruneParents = 0;
    ASSERT_EQ(dir.InstallStep(0), DirCreated);
    ASSERT_TRUE(WriteFileBytes(Path("Full\\data.bin"), "x"));
    EXPECT_EQ(dir.Uninstall(), DirRemovalScheduled);
    EXPECT_EQ(dir.Status, DirRemovalScheduled);
    EXPECT_TRUE(IsFolder(Path("Full")));
    EXPECT_EQ(restart.moves, std::vector<std::string>{Path("Full") + " -> "});

    // Where the platform cannot remove it at the restart, the removal failed.
    restart.accept = false;
    EXPECT_EQ(dir.Uninstall(), DirNotRemoved);

    // A folder that is not there has nothing to remove, now or at the restart.
    restart.moves.clear();
    Target(dir, "<D>", "Gone");
    EXPECT_EQ(dir.Uninstall(), DirNotToBeRemoved);
    EXPECT_TRUE(restart.moves.empty());
}

TEST_F(DirKinds, RootsAreNeitherMadeNorRemoved) {
    for (const char* root : {"C:\\", "C:", "\\\\server\\share\\"}) {
        SCOPED_TRACE(root);
        WSetupDir dir;
        Target(dir, root, "");
        EXPECT_EQ(dir.InstallStep(0), DirNotCreated);
        dir.PruneParents = 0;
        EXPECT_EQ(dir.Uninstall(), DirNotToBeRemoved);
    }
}

// Under a double-byte code page a folder name may end in a trail byte that is a backslash
// ("\x83\x5c"); it is not taken for a separator.
TEST_F(DirKinds, DoubleByteNamesStayWhole) {
    if (GetACP() != 932)
        GTEST_SKIP() << "needs the double-byte code page 932";
    const std::string name = "\x83\x5c";
    ASSERT_TRUE(WriteFileBytes(Path("keep.txt"), "x"));
    WSetupDir dir;
    Target(dir, "<D>\\" + name, name);
    ASSERT_EQ(dir.InstallStep(0), DirCreated);
    EXPECT_TRUE(IsFolder(Path(name + "\\" + name)));
    EXPECT_EQ(dir.Verify(), DirAsInstalled);
    EXPECT_EQ(dir.Uninstall(), DirRemoved);
    EXPECT_FALSE(IsFolder(Path(name)));
    EXPECT_TRUE(IsFolder(m_temp.Path()));
}

// A well-known folder that happens to be empty (the send-to or templates folder of a fresh
// profile) is neither pruned as a parent nor removed as a target.
TEST_F(DirKinds, WellKnownFoldersAreNeverRemoved) {
    std::string known;
    for (const std::string& folder : {TheSystemFolders().SendTo(), TheSystemFolders().Templates()})
        if (known.empty() && IsEmptyFolder(folder))
            known = folder;
    if (known.empty())
        GTEST_SKIP() << "no empty well-known folder here";

    const std::string mine = "tarvo-" + std::to_string(GetCurrentProcessId());
    WSetupDir inside;
    Target(inside, known, mine + "\\Sub");
    ASSERT_EQ(inside.InstallStep(0), DirCreated);
    EXPECT_EQ(inside.Uninstall(), DirRemoved);
    EXPECT_FALSE(IsFolder(known + "\\" + mine));

    WSetupDir itself;
    Target(itself, known, "");
    itself.PruneParents = 0;
    EXPECT_EQ(itself.Uninstall(), DirNotToBeRemoved);
    const bool kept = IsFolder(known);
    if (!kept)
        CreateDirectoryA(known.c_str(), nullptr);
    EXPECT_TRUE(kept);
}

// ---------------------------------------------------------------------------------------------
// Deletions and backups

TEST_F(DirKinds, ReadOnlyFileIsDeletedUnlessMarked) {
    const std::string file = Path("old.dll");
    ASSERT_TRUE(WriteFileBytes(file, "x"));
    ASSERT_TRUE(SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_READONLY));
    WSetupDeleteFile deletion;
    Target(deletion, "<D>", "old.dll");
    deletion.ChangeMark = 1;
    EXPECT_EQ(deletion.InstallStep(0), OldFileLeft);
    EXPECT_NE(Attributes(file), INVALID_FILE_ATTRIBUTES);
    deletion.ChangeMark = 0;
    EXPECT_EQ(deletion.InstallStep(0), OldFileDeleted);
    EXPECT_EQ(Attributes(file), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(deletion.InstallStep(0), OldFileLeft);
    EXPECT_EQ(deletion.Status, OldFileLeft);
}

TEST_F(DirKinds, FileInUseIsNotAbsent) {
    const std::string file = Path("app.ini");
    ASSERT_TRUE(WriteFileBytes(file, "original"));
    ASSERT_TRUE(SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_READONLY));
    const DWORD readOnly = Attributes(file);
    KernelHandle lock = Lock(file);
    ASSERT_TRUE(lock.IsOpen());

    WSetupDeleteFile deletion;
    Target(deletion, "<D>", "app.ini");
    EXPECT_EQ(deletion.InstallStep(0), OldFileNotDeleted);
    EXPECT_EQ(Attributes(file), readOnly) << "a file that stays keeps its attributes";

    WSetupBackupFile backup;
    Target(backup, "<D>", "app.ini");
    EXPECT_EQ(backup.InstallStep(0), BackupNotMade);
    EXPECT_EQ(Attributes(Path("Backup Of app.ini")), INVALID_FILE_ATTRIBUTES);
    lock.Reset();
    EXPECT_EQ(ReadFileBytes(file), "original");
}

TEST_F(DirKinds, BackupIsMadeOnceAndNeverOverwritten) {
    const std::string file = Path("App\\app.ini");
    const std::string copy = Path("App\\Backup Of app.ini");
    ASSERT_TRUE(CreateDirectoryA(Path("App").c_str(), nullptr));
    ASSERT_TRUE(WriteFileBytes(file, "first"));
    WSetupBackupFile backup;
    Target(backup, "<D>\\App", "app.ini");
    EXPECT_EQ(backup.InstallStep(0), BackupMade);
    EXPECT_EQ(ReadFileBytes(copy), "first");

    ASSERT_TRUE(WriteFileBytes(file, "second"));
    EXPECT_EQ(backup.InstallStep(0), BackupNotMade);
    EXPECT_EQ(backup.Status, BackupNotMade);
    EXPECT_EQ(ReadFileBytes(copy), "first");

    Target(backup, "<D>", "App");
    EXPECT_EQ(backup.InstallStep(0), BackupSourceAbsent) << "a folder is not a file to back up";
}
