// The shortcut element: shell links on the new shell (Windows 98, Windows 2000 runs), the
// Program Manager on Windows NT 3.51 (the stand-in server, and once Wine's own service).
#include "setup/core/handles.h"
#include "setup/elements/shortcut.h"

#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "support/link_reader.h"
#include "setup/core/fileutil.h"
#include "setup/core/macros.h"
#include "setup/core/sysfolders.h"
#include "standins/progman/progman_standin_control.h"
#include "support/fixtures.h"

using testsupport::LinkInfo;
using testsupport::ProgmanStandin;
using Lines = std::vector<std::string>;

namespace {

std::vector<std::string> Entries(const FwStringArray& list) {
    std::vector<std::string> out;
    for (int i = 0; i < list.GetSize(); ++i)
        out.push_back(list[i].str());
    return out;
}

bool IsFile(const std::string& path) {
    DWORD a = GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool IsFolder(const std::string& path) {
    DWORD a = GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

std::string UniqueName(const char* stem) {
    return std::string(stem) + std::to_string(GetCurrentProcessId()) + "-" +
           std::to_string(GetTickCount() % 100000);
}

// Enables the process-wide macro context with "<D>" (the program folder, holding App.EXE),
// "<K>" and "<G>" for one test, and puts everything back afterwards.
class ShortcutTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetupContext& context = TheSetupContext();
        m_saved = {context.MacroD.str(), context.MacroK.str(), context.MacroG.str()};
        m_savedEnabled = context.Enabled;
        m_appFolder = AppFolder();
        m_target = m_appFolder + "\\App.EXE";
        ASSERT_TRUE(CreateDirectoryA(m_appFolder.c_str(), nullptr));
        ASSERT_TRUE(testsupport::WriteFileBytes(m_target, "MZ"));
        context.Enabled = 1;
        context.MacroD = m_appFolder;
        context.MacroK = m_temp / "K";
        context.MacroG = "";
    }
    void TearDown() override {
        if (m_saved.empty())
            return; // skipped before SetUp
        SetupContext& context = TheSetupContext();
        context.MacroD = m_saved[0];
        context.MacroK = m_saved[1];
        context.MacroG = m_saved[2];
        context.Enabled = m_savedEnabled;
        context.Variables.RemoveKey("TARVO_TITLE");
        for (const std::string& folder : m_cleanup)
            testsupport::RemoveTree(folder);
    }

    static bool NewShell() { return ThePlatformVersion().NewShell(); }
    // The folder that "<D>" names and that holds App.EXE; made by SetUp.
    virtual std::string AppFolder() { return m_temp / "App"; }

    // A shortcut to App.EXE in "<D>".
    static void Prepare(WSetupShortcut& shortcut, const std::string& title,
                        const std::string& group) {
        shortcut.DestDir = "<D>";
        shortcut.DestName = "App.EXE";
        shortcut.LinkName = title;
        shortcut.Group = group;
    }

    LinkInfo Read(const std::string& linkFile) {
        return testsupport::ReadLink(linkFile, m_temp.Path());
    }

    testsupport::TempFolder m_temp;
    std::string m_appFolder, m_target;
    std::vector<std::string> m_cleanup;

private:
    std::vector<std::string> m_saved;
    int m_savedEnabled = 0;
};

class ShellLinkShortcutTest : public ShortcutTest {
protected:
    void SetUp() override {
        if (!NewShell())
            GTEST_SKIP() << "shell links are written on the new shell only";
        ShortcutTest::SetUp();
    }
};

TEST_F(ShellLinkShortcutTest, StartMenuGroupIsMadeAndRemovedWithItsEmptyParents) {
    std::string top = UniqueName("TarvoShortcut");
    std::string programs = TheSystemFolders().Programs();
    ASSERT_FALSE(programs.empty());
    m_cleanup.push_back(programs + "\\" + top);
    TheSetupContext().MacroG = top + "\\Suite";
    std::string group = programs + "\\" + top + "\\Suite";
    std::string linkFile = group + "\\Viewer.LNK";

    WSetupShortcut shortcut;
    Prepare(shortcut, "Viewer", "");
    shortcut.Arguments = "/open <D>\\doc.txt";
    shortcut.IconIndex = 2;
    FwStringArray folders;
    ASSERT_EQ(shortcut.InstallStep(folders), ShortcutMade);
    EXPECT_EQ(Entries(folders), Lines{group});
    EXPECT_EQ(shortcut.Arguments.str(), "/open " + m_appFolder + "\\doc.txt");
    EXPECT_EQ(shortcut.WorkDir.str(), m_appFolder) << "no working folder: the target's";

    LinkInfo link = Read(linkFile);
    ASSERT_TRUE(link.Loaded);
    EXPECT_EQ(link.Path, m_target);
    EXPECT_EQ(link.Arguments, " /open " + m_appFolder + "\\doc.txt");
    EXPECT_EQ(link.WorkDir, m_appFolder);
    EXPECT_EQ(link.Description, "Viewer");
    // An upper-case .EXE target without an icon file gives its own icon with IconIndex.
    EXPECT_EQ(link.Icon, m_target);
    EXPECT_EQ(link.IconIndex, 2);
    EXPECT_EQ(shortcut.Verify(), ShortcutPresent);

    FwStringArray removed;
    EXPECT_EQ(shortcut.UninstallStep(removed), ShortcutRemoved);
    EXPECT_EQ(Entries(removed), Lines{linkFile});
    EXPECT_FALSE(IsFile(linkFile));
    EXPECT_FALSE(IsFolder(programs + "\\" + top)) << "the empty group and its empty parent go";
    EXPECT_TRUE(IsFolder(programs));
    EXPECT_EQ(shortcut.Verify(), ShortcutMissing);
    EXPECT_EQ(shortcut.Status, ShortcutMissing);
    EXPECT_EQ(shortcut.UninstallStep(removed), ShortcutNotRemoved)
        << "the link file is gone already";
}

TEST_F(ShellLinkShortcutTest, GroupFolderKeptWhileItHoldsOtherFiles) {
    std::string group = m_temp / "Group";
    WSetupShortcut one, two;
    Prepare(one, "One", group);
    Prepare(two, "Two", group);
    FwStringArray list;
    ASSERT_EQ(one.InstallStep(list), ShortcutMade);
    ASSERT_EQ(two.InstallStep(list), ShortcutMade);
    ASSERT_EQ(one.UninstallStep(list), ShortcutRemoved);
    EXPECT_TRUE(IsFile(group + "\\Two.LNK"));
    ASSERT_EQ(two.UninstallStep(list), ShortcutRemoved);
    EXPECT_FALSE(IsFolder(group));
    EXPECT_TRUE(IsFolder(m_temp.Path()));
}

TEST_F(ShellLinkShortcutTest, KGroupInAnyCaseWritesIntoTheKFolder) {
    std::string kFolder = m_temp / "K";
    ASSERT_TRUE(CreateDirectoryA(kFolder.c_str(), nullptr));
    for (const char* group : {"<K>", "<k>"}) {
        SCOPED_TRACE(group);
        WSetupShortcut shortcut;
        Prepare(shortcut, "Keyed", group);
        FwStringArray folders;
        ASSERT_EQ(shortcut.InstallStep(folders), ShortcutMade);
        EXPECT_EQ(Entries(folders), Lines{kFolder});
        EXPECT_TRUE(IsFile(kFolder + "\\Keyed.LNK"));
        EXPECT_EQ(shortcut.Verify(), ShortcutPresent);
        FwStringArray removed;
        EXPECT_EQ(shortcut.UninstallStep(removed), ShortcutRemoved);
        EXPECT_FALSE(IsFile(kFolder + "\\Keyed.LNK"));
        ASSERT_TRUE(CreateDirectoryA(kFolder.c_str(), nullptr)) << "the emptied folder went";
    }
}

TEST_F(ShellLinkShortcutTest, RemovingADesktopShortcutLeavesTheDesktop) {
    std::string desktop = TheSystemFolders().Desktop();
    ASSERT_TRUE(IsFolder(desktop));
    std::string title = UniqueName("TarvoDesk");
    std::string linkFile = desktop + "\\" + title + ".LNK";
    WSetupShortcut shortcut;
    Prepare(shortcut, title, desktop);
    FwStringArray list;
    ASSERT_EQ(shortcut.InstallStep(list), ShortcutMade);
    ASSERT_TRUE(IsFile(linkFile));
    bool wasOnlyEntry = true;
    WIN32_FIND_DATAA found;
    FindHandle h(FindFirstFileA((desktop + "\\*").c_str(), &found));
    if (h) {
        do {
            std::string name = found.cFileName;
            if (name != "." && name != ".." && name != title + ".LNK")
                wasOnlyEntry = false;
        } while (FindNextFileA(h.Get(), &found));
    }

    FwStringArray removed;
    EXPECT_EQ(shortcut.UninstallStep(removed), ShortcutRemoved);
    EXPECT_FALSE(IsFile(linkFile));
    EXPECT_TRUE(IsFolder(desktop)) << (wasOnlyEntry ? "the emptied desktop was removed" : "");
    EXPECT_EQ(removed.GetSize(), 0) << "a desktop link is not listed";
}

TEST_F(ShellLinkShortcutTest, IconFileAndWorkingFolderAndVariables) {
    std::string group = m_temp / "Icons";
    TheSetupContext().Variables.SetAt("TARVO_TITLE", "Painter");
    WSetupShortcut shortcut;
    Prepare(shortcut, "%TARVO_TITLE%", group);
    shortcut.IconDir = "<D>";
    shortcut.IconName = "paint.ico";
    shortcut.IconIndex = 5;
    shortcut.WorkDir = "<D>\\Work";
    FwStringArray list;
    ASSERT_EQ(shortcut.InstallStep(list), ShortcutMade);
    EXPECT_EQ(shortcut.LinkName.str(), "Painter");
    LinkInfo link = Read(group + "\\Painter.LNK");
    ASSERT_TRUE(link.Loaded);
    EXPECT_EQ(link.Icon, m_appFolder + "\\paint.ico");
    EXPECT_EQ(link.IconIndex, 0) << "an .ico file always gets index 0";
    EXPECT_EQ(link.WorkDir, m_appFolder + "\\Work");
    EXPECT_EQ(link.Arguments, " ");

    // An icon folder without an icon name gives no icon file: the target's own icon.
    WSetupShortcut own;
    Prepare(own, "Own", group);
    own.IconDir = "<D>";
    own.IconIndex = 4;
    ASSERT_EQ(own.InstallStep(list), ShortcutMade);
    link = Read(group + "\\Own.LNK");
    EXPECT_EQ(link.Icon, m_target);
    EXPECT_EQ(link.IconIndex, 4);
}

TEST_F(ShellLinkShortcutTest, FailuresAndSkips) {
    // A missing target: nothing is made or listed.
    WSetupShortcut missing;
    Prepare(missing, "Missing", m_temp / "Never");
    missing.DestName = "Absent.exe";
    FwStringArray list;
    EXPECT_EQ(missing.InstallStep(list), ShortcutTargetAbsent);
    EXPECT_EQ(missing.Status, ShortcutTargetAbsent);
    EXPECT_EQ(list.GetSize(), 0);
    EXPECT_FALSE(IsFolder(m_temp / "Never"));

    // A group folder that cannot be made: the link cannot be written.
    std::string blocker = m_temp / "blocker.txt";
    ASSERT_TRUE(testsupport::WriteFileBytes(blocker, "x"));
    WSetupShortcut blocked;
    Prepare(blocked, "Blocked", blocker + "\\Group");
    EXPECT_EQ(blocked.InstallStep(list), ShortcutLinkFailed);

    // Not to be removed: the link stays and the mark is cleared.
    WSetupShortcut kept;
    Prepare(kept, "Kept", m_temp / "Kept");
    ASSERT_EQ(kept.InstallStep(list), ShortcutMade);
    kept.RemoveOnUninstall = 0;
    kept.ChangeMark = 1;
    FwStringArray removed;
    EXPECT_EQ(kept.UninstallStep(removed), ShortcutNotToBeRemoved);
    EXPECT_EQ(kept.ChangeMark, 0);
    EXPECT_EQ(removed.GetSize(), 0);
    EXPECT_TRUE(IsFile(m_temp / "Kept\\Kept.LNK"));
}

// Code page 932: folder and file names whose trail bytes are backslashes, and the mark byte
// between target and arguments that is a lead byte there.
TEST_F(ShellLinkShortcutTest, DoubleByteFoldersAndNames) {
    if (!testsupport::DoubleByteCodePage())
        GTEST_SKIP() << "needs a double-byte ANSI code page (the cp932 run)";
    using namespace testsupport::cp932;
    const std::string app = m_temp / (Bun + So);
    ASSERT_TRUE(CreateDirectoryA(app.c_str(), nullptr));
    ASSERT_TRUE(testsupport::WriteFileBytes(app + "\\" + Hyo + ".exe", "MZ"));
    TheSetupContext().MacroD = app;
    const std::string group = m_temp / (Hyo + "\\" + Po + So);
    const std::string linkFile = group + "\\" + Bun + So + ".LNK";

    WSetupShortcut shortcut;
    Prepare(shortcut, Bun + So, group);
    shortcut.DestName = Hyo + ".exe";
    shortcut.Arguments = "<D>\\" + So;
    FwStringArray list;
    ASSERT_EQ(shortcut.InstallStep(list), ShortcutMade);
    LinkInfo link = Read(linkFile);
    ASSERT_TRUE(link.Loaded);
    EXPECT_EQ(link.Path, app + "\\" + Hyo + ".exe");
    EXPECT_EQ(link.Arguments, " " + app + "\\" + So);
    EXPECT_EQ(link.WorkDir, app);
    EXPECT_EQ(shortcut.Verify(), ShortcutPresent);

    FwStringArray removed;
    EXPECT_EQ(shortcut.UninstallStep(removed), ShortcutRemoved);
    EXPECT_EQ(Entries(removed), Lines{linkFile});
    EXPECT_FALSE(IsFolder(m_temp / Hyo)) << "the emptied group and its empty parent go";
    EXPECT_TRUE(IsFolder(app));
}

// Windows NT 3.51: the Program Manager path.
class ProgmanShortcutTest : public ShortcutTest {
protected:
    void SetUp() override {
        if (NewShell())
            GTEST_SKIP() << "the Program Manager is used without the new shell only";
        if (!testsupport::HasDisplay())
            GTEST_SKIP() << "DDE needs an X display: run under scripts/run-tests.sh";
        ShortcutTest::SetUp();
        TheSetupContext().MacroG = "Tarvo Apps";
    }
    // Program Manager commands hold the command line twice in 255 bytes: a short folder.
    std::string AppFolder() override {
        std::string folder = "C:\\" + UniqueName("tpm");
        m_cleanup.push_back(folder);
        return folder;
    }
};

class StandinShortcutTest : public ProgmanShortcutTest {
protected:
    void SetUp() override {
        ProgmanShortcutTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        m_standin.reset(new ProgmanStandin(m_temp.Path()));
        ASSERT_TRUE(m_standin->Running()) << "the stand-in Program Manager did not start";
    }
    void TearDown() override {
        m_standin.reset();
        ProgmanShortcutTest::TearDown();
    }
    std::unique_ptr<ProgmanStandin> m_standin;
};

TEST_F(StandinShortcutTest, InstallAddsAQuotedItemAndUninstallDeletesTheEmptyGroup) {
    WSetupShortcut shortcut;
    Prepare(shortcut, "Viewer", "");
    shortcut.Arguments = "/open <D>\\a.txt";
    shortcut.WorkDir = "<D>\\w";
    FwStringArray folders;
    ASSERT_EQ(shortcut.InstallStep(folders), ShortcutMade);
    EXPECT_EQ(Entries(folders), Lines{TheSystemFolders().Programs() + "\\Tarvo Apps"});
    // The arguments follow the closing quote directly.
    std::string commandLine = "\"" + m_target + "\"/open " + m_appFolder + "\\a.txt";
    EXPECT_EQ(m_standin->Commands(), (Lines{"[CreateGroup(Tarvo Apps)]",
                                            "[ShowGroup(Tarvo Apps,1)]", "[ReplaceItem(Viewer)]",
                                            "[AddItem(" + commandLine + ",Viewer," + commandLine +
                                                ",,,," + m_appFolder + "\\w)]"}));
    EXPECT_EQ(shortcut.Verify(), ShortcutPresent);

    FwStringArray removed;
    EXPECT_EQ(shortcut.UninstallStep(removed), ShortcutRemoved);
    EXPECT_EQ(removed.GetSize(), 0);
    Lines sent = m_standin->Commands();
    ASSERT_EQ(sent.size(), 7u);
    EXPECT_EQ(
        Lines(sent.begin() + 4, sent.end()),
        (Lines{"[ShowGroup(Tarvo Apps,1)]", "[DeleteItem(Viewer)]", "[DeleteGroup(Tarvo Apps)]"}));
}

TEST_F(StandinShortcutTest, GroupWithOtherItemsStaysAndARefusedDeleteFails) {
    WSetupShortcut one, two;
    Prepare(one, "One", "");
    Prepare(two, "Two", "");
    FwStringArray list;
    ASSERT_EQ(one.InstallStep(list), ShortcutMade);
    ASSERT_EQ(two.InstallStep(list), ShortcutMade);
    ASSERT_EQ(one.UninstallStep(list), ShortcutRemoved);
    Lines sent = m_standin->Commands();
    EXPECT_EQ(sent.back(), "[DeleteItem(One)]") << "the group still holds Two";
    EXPECT_EQ(one.UninstallStep(list), ShortcutNotRemoved)
        << "the Program Manager refuses a missing item";
    EXPECT_EQ(one.Status, ShortcutNotRemoved);
}

TEST_F(StandinShortcutTest, NoProgramGroupOrNoTarget) {
    WSetupShortcut missing;
    Prepare(missing, "Missing", "");
    missing.DestName = "Absent.exe";
    FwStringArray list;
    EXPECT_EQ(missing.InstallStep(list), ShortcutTargetAbsent);
    EXPECT_EQ(list.GetSize(), 0);

    TheSetupContext().MacroG = "";
    WSetupShortcut shortcut;
    Prepare(shortcut, "NoGroup", m_temp / "Folder");
    EXPECT_EQ(shortcut.InstallStep(list), ShortcutNoProgramGroup);
    EXPECT_EQ(Entries(list), Lines{m_temp / "Folder"}) << "the folder is listed before the check";
    EXPECT_TRUE(m_standin->Commands().empty());
}

TEST_F(StandinShortcutTest, ItemTooLongForACommandIsNotSent) {
    WSetupShortcut shortcut;
    Prepare(shortcut, "Long", "");
    shortcut.Arguments = " " + std::string(120, 'a');
    FwStringArray list;
    EXPECT_EQ(shortcut.InstallStep(list), ShortcutMade)
        << "the Program Manager's answer does not count";
    Lines sent = m_standin->Commands();
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(sent[2], "[ReplaceItem(Long)]");
}

// Wine's explorer answers execute commands with start-menu folders and links, and no group
// request, so the group is left behind for the test to remove.
TEST_F(ProgmanShortcutTest, WineProgramManagerMakesAndRemovesTheLink) {
    std::string groupName = UniqueName("TarvoPm");
    TheSetupContext().MacroG = groupName;
    char programs[MAX_PATH];
    ASSERT_TRUE(SHGetSpecialFolderPathA(nullptr, programs, CSIDL_PROGRAMS, FALSE));
    std::string folder = std::string(programs) + "\\" + groupName;
    m_cleanup.push_back(folder);

    WSetupShortcut shortcut;
    Prepare(shortcut, "Viewer", "");
    FwStringArray list;
    ASSERT_EQ(shortcut.InstallStep(list), ShortcutMade);
    EXPECT_TRUE(IsFile(folder + "\\Viewer.lnk"));
    LinkInfo link = Read(folder + "\\Viewer.lnk");
    EXPECT_EQ(link.Path, m_target);
    // Wine opens a window on the group it made and showed; close it while the folder is there.
    testsupport::CloseFolderWindows(groupName);

    FwStringArray removed;
    EXPECT_EQ(shortcut.UninstallStep(removed), ShortcutRemoved);
    EXPECT_FALSE(IsFile(folder + "\\Viewer.lnk"));
    EXPECT_TRUE(IsFolder(folder)) << "Wine reports no item count, so the group stays";
    testsupport::CloseFolderWindows(groupName, 5000);
    (void)PmDeleteGroup(groupName.c_str()); // clean-up: the checks are done
}

} // namespace
