// Uninstalls remove the folders they emptied, but never a root or one of the machine's
// well-known folders, nor a folder above one, even when it is left empty.
#include <gtest/gtest.h>

#include <windows.h>

#include <cctype>
#include <string>

#include "setup/core/macros.h"
#include "setup/core/path.h"
#include "setup/core/sysfolders.h"
#include "setup/elements/file.h"
#include "setup/elements/protected_folders.h"
#include "support/fixtures.h"

namespace {

bool IsFolder(const std::string& path) {
    DWORD a = GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

TEST(ProtectedFolders, RootsWellKnownFoldersAndTheirParents) {
    const SystemFolders& folders = TheSystemFolders();
    for (const std::string& path :
         {std::string("C:\\"), std::string("C:"), std::string(""), std::string("\\\\srv\\share"),
          folders.Windows(), folders.Windows() + "\\", folders.Fonts(), folders.ProgramFiles(),
          folders.Programs(), folders.StartMenu(), folders.Desktop(), folders.System()}) {
        EXPECT_TRUE(IsProtectedFolder(path)) << path;
    }
    // Above a well-known folder, and in other letter case.
    EXPECT_TRUE(IsProtectedFolder(ParentOf(folders.Programs())));
    std::string lower = folders.ProgramFiles();
    for (char& c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    EXPECT_TRUE(IsProtectedFolder(lower));

    testsupport::TempFolder temp;
    EXPECT_FALSE(IsProtectedFolder(temp / "Product"));
    EXPECT_FALSE(IsProtectedFolder(folders.ProgramFiles() + "\\Tarvo Product"));
}

TEST(ProtectedFolders, EmptiedFoldersGoUpToTheFirstProtectedOne) {
    testsupport::TempFolder temp;
    const std::string deep = temp / "a\\b\\c";
    ASSERT_TRUE(CreateDirectoryA((temp / "a").c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryA((temp / "a\\b").c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryA(deep.c_str(), nullptr));
    ASSERT_TRUE(testsupport::WriteFileBytes(temp / "a\\keep.txt", "x"));
    EXPECT_TRUE(RemoveEmptyFoldersUpFrom(deep));
    EXPECT_FALSE(IsFolder(deep));
    EXPECT_FALSE(IsFolder(temp / "a\\b"));
    EXPECT_TRUE(IsFolder(temp / "a")); // holds a file
}

// A file installed straight into an empty well-known folder (Wine's Fonts folder is empty) is
// deleted at uninstall, and the folder stays.
TEST(ProtectedFolders, AFileElementLeavesAnEmptiedWellKnownFolder) {
    const std::string fonts = TheSystemFolders().Fonts();
    ASSERT_TRUE(IsFolder(fonts));
    testsupport::TempFolder medium;
    ASSERT_TRUE(testsupport::WriteFileBytes(medium / "probe.txt", "probe"));
    SetupContext& context = TheSetupContext();
    context.Enabled = 1;

    WSetupFile file;
    file.SourceDir = medium.Path().c_str();
    file.MediaName = "probe.txt";
    file.DestDir = fonts.c_str();
    file.DestName = "tarvo-protected-probe.txt";
    file.CopyMode = CopyAlways;
    FwStringArray reboot;
    FwPtrArray collected;
    ASSERT_EQ(file.InstallStep(reboot, collected, 0, 0, 0), CopiedPlain);
    EXPECT_EQ(file.UninstallStep(reboot), FileDeleted);
    EXPECT_EQ(GetFileAttributesA((fonts + "\\tarvo-protected-probe.txt").c_str()),
              INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(IsFolder(fonts));
    context.Enabled = 0;
}

} // namespace
