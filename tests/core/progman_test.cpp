// Program Manager commands over DDE, checked against the stand-in server (which records every
// command and tracks item counts) and once against Wine's own "PROGMAN" service.
#include "setup/core/progman.h"

#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "standins/progman/progman_standin_control.h"
#include "support/fixtures.h"

using testsupport::ProgmanStandin;
using Lines = std::vector<std::string>;

namespace {

class ProgmanTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!testsupport::HasDisplay())
            GTEST_SKIP() << "DDE needs an X display: run under scripts/run-tests.sh";
        m_standin.reset(new ProgmanStandin(m_folder.Path()));
        ASSERT_TRUE(m_standin->Running()) << "the stand-in Program Manager did not start";
    }
    void TearDown() override { m_standin.reset(); }

    Lines Commands() const { return m_standin->Commands(); }

    testsupport::TempFolder m_folder;
    std::unique_ptr<ProgmanStandin> m_standin;
};

TEST_F(ProgmanTest, CommandsAreFormattedAndSent) {
    EXPECT_TRUE(PmCreateGroup("Tools", nullptr));
    EXPECT_TRUE(PmCreateGroup("Tools", ""));
    EXPECT_TRUE(PmCreateGroup("Games", "C:\\grp\\games.grp"));
    EXPECT_TRUE(PmShowGroup("Tools", 65535));
    EXPECT_TRUE(PmAddItem("C:\\a.exe", "A", "C:\\a.ico", 70000 & 0xFFFF, "ignored"));
    EXPECT_TRUE(PmAddItem("\"C:\\b.exe\"-x", "B", "", 3, "C:\\work"));
    EXPECT_TRUE(PmAddItem("C:\\c.exe", "C", nullptr, 0, nullptr));
    EXPECT_TRUE(PmReplaceItem("A"));
    EXPECT_TRUE(PmDeleteItem("B"));
    EXPECT_TRUE(PmDeleteGroup("Games"));
    EXPECT_EQ(Commands(),
              (Lines{"[CreateGroup(Tools)]", "[CreateGroup(Tools)]",
                     "[CreateGroup(Games,C:\\grp\\games.grp)]", "[ShowGroup(Tools,65535)]",
                     "[AddItem(C:\\a.exe,A,C:\\a.ico,4464)]",
                     "[AddItem(\"C:\\b.exe\"-x,B,\"C:\\b.exe\"-x,,,,C:\\work)]",
                     "[AddItem(C:\\c.exe,C,C:\\c.exe,,,,)]", "[ReplaceItem(A)]", "[DeleteItem(B)]",
                     "[DeleteGroup(Games)]"}));
}

TEST_F(ProgmanTest, NullTextsSendNothingAndEmptyNamesSendTheEmptyCommand) {
    EXPECT_FALSE(PmCreateGroup(nullptr, "x"));
    EXPECT_FALSE(PmDeleteGroup(nullptr));
    EXPECT_FALSE(PmShowGroup(nullptr, 1));
    EXPECT_FALSE(PmAddItem(nullptr, "t", nullptr, 0, nullptr));
    EXPECT_FALSE(PmAddItem("c", nullptr, nullptr, 0, nullptr));
    EXPECT_FALSE(PmDeleteItem(nullptr));
    EXPECT_FALSE(PmReplaceItem(nullptr));
    EXPECT_FALSE(PmAddProgramItem(nullptr, "t", "c", "w"));
    EXPECT_FALSE(PmDeleteGroupIfEmpty(nullptr));
    EXPECT_TRUE(Commands().empty());

    // The stand-in, like the Program Manager, refuses an empty command.
    EXPECT_FALSE(PmDeleteGroup(""));
    EXPECT_FALSE(PmShowGroup("", 1));
    EXPECT_FALSE(PmDeleteItem(""));
    EXPECT_FALSE(PmReplaceItem(""));
    EXPECT_EQ(Commands(), (Lines{"", "", "", ""}));
}

TEST_F(ProgmanTest, CommandThatDoesNotFitIsNotSent) {
    // "[CreateGroup(" + name + ")]" and its terminating zero fill exactly 256 bytes.
    std::string longest(PmCommandBufferSize - 16, 'N');
    std::string tooLong = longest + "N";
    EXPECT_TRUE(PmCreateGroup(longest.c_str(), nullptr));
    EXPECT_FALSE(PmCreateGroup(tooLong.c_str(), nullptr));
    EXPECT_FALSE(PmDeleteGroup(tooLong.c_str()));
    EXPECT_TRUE(PmDeleteGroup(longest.c_str()));
    ASSERT_TRUE(PmCreateGroup("G", nullptr));
    EXPECT_FALSE(PmAddItem(std::string(200, 'c').c_str(), "t", nullptr, 0, ""));
    EXPECT_FALSE(PmAddItem("c", "t", std::string(250, 'i').c_str(), 0, ""));
    EXPECT_FALSE(PmCreateGroup("G", std::string(250, 'p').c_str()));
    EXPECT_FALSE(PmShowGroup(std::string(250, 'g').c_str(), 1));
    EXPECT_FALSE(PmAddProgramItem("G", "t", std::string(120, 'c').c_str(), "w"));
    EXPECT_EQ(Commands(), (Lines{"[CreateGroup(" + longest + ")]", "[DeleteGroup(" + longest + ")]",
                                 "[CreateGroup(G)]", "[ShowGroup(G,1)]", "[ReplaceItem(t)]"}))
        << "only the commands that fit reach the server";
}

TEST_F(ProgmanTest, AddProgramItemShowsReplacesAndAdds) {
    ASSERT_TRUE(PmCreateGroup("Suite", nullptr));
    // A new item: nothing to replace, the item is added all the same.
    EXPECT_TRUE(PmAddProgramItem("Suite", "Editor", "\"C:\\app\\ed.exe\"/n", "C:\\app"));
    // The same item again replaces the first one.
    EXPECT_TRUE(PmAddProgramItem("Suite", "Editor", "C:\\ed.exe", ""));
    char info[PmGroupInfoBufferSize];
    ASSERT_TRUE(PmRequest("Suite", info, sizeof info));
    EXPECT_EQ(std::string(info), "\"Suite\",Suite.grp,1,1\r\n\"Editor\"\r\n");
    // A group that cannot be shown stops the call.
    EXPECT_FALSE(PmAddProgramItem("Missing", "Editor", "C:\\ed.exe", ""));
    EXPECT_EQ(Commands(),
              (Lines{"[CreateGroup(Suite)]", "[ShowGroup(Suite,1)]", "[ReplaceItem(Editor)]",
                     "[AddItem(\"C:\\app\\ed.exe\"/n,Editor,\"C:\\app\\ed.exe\"/n,,,,C:\\app)]",
                     "[ShowGroup(Suite,1)]", "[ReplaceItem(Editor)]",
                     "[AddItem(C:\\ed.exe,Editor,C:\\ed.exe,,,,)]", "[ShowGroup(Missing,1)]"}));
}

TEST_F(ProgmanTest, RequestCopiesAtMostTheGivenSize) {
    ASSERT_TRUE(PmCreateGroup("Group", nullptr));
    ASSERT_TRUE(PmAddItem("C:\\x.exe", "X", nullptr, 0, ""));
    char buffer[PmGroupInfoBufferSize];
    ASSERT_TRUE(PmRequest("Group", buffer, sizeof buffer));
    EXPECT_EQ(std::string(buffer), "\"Group\",Group.grp,1,1\r\n\"X\"\r\n");

    char small[6];
    std::memset(small, 'z', sizeof small);
    ASSERT_TRUE(PmRequest("Group", small, sizeof small));
    EXPECT_EQ(std::string(small), "\"Grou");

    std::strcpy(buffer, "stale");
    EXPECT_FALSE(PmRequest("Nowhere", buffer, sizeof buffer));
    EXPECT_EQ(std::string(buffer), "");
    // A request leaves nothing behind that confuses the next execute.
    EXPECT_TRUE(PmDeleteItem("X"));
    EXPECT_FALSE(PmDeleteItem("X"));
}

TEST_F(ProgmanTest, DeleteGroupIfEmptyDeletesOnlyAnEmptyGroup) {
    ASSERT_TRUE(PmCreateGroup("Full", nullptr));
    ASSERT_TRUE(PmAddItem("C:\\x.exe", "X", nullptr, 0, ""));
    EXPECT_FALSE(PmDeleteGroupIfEmpty("Full"));
    ASSERT_TRUE(PmDeleteItem("X"));
    EXPECT_TRUE(PmDeleteGroupIfEmpty("Full"));
    EXPECT_FALSE(PmDeleteGroupIfEmpty("Full")) << "the group is gone: its request fails";
    EXPECT_EQ(Commands(), (Lines{"[CreateGroup(Full)]", "[AddItem(C:\\x.exe,X,C:\\x.exe,,,,)]",
                                 "[DeleteItem(X)]", "[DeleteGroup(Full)]"}));
}

// Wine's explorer serves "PROGMAN" itself: it makes start-menu folders and links for the
// commands, and answers no group request.
TEST(WineProgman, CommandsMakeAndRemoveStartMenuEntries) {
    if (!testsupport::HasDisplay())
        GTEST_SKIP() << "DDE needs an X display: run under scripts/run-tests.sh";
    char programs[MAX_PATH];
    ASSERT_TRUE(SHGetSpecialFolderPathA(nullptr, programs, CSIDL_PROGRAMS, FALSE));
    std::string group = "TarvoPm" + std::to_string(GetCurrentProcessId());
    std::string folder = std::string(programs) + "\\" + group;
    char windows[MAX_PATH];
    GetWindowsDirectoryA(windows, MAX_PATH);
    std::string target = "\"" + std::string(windows) + "\\notepad.exe\"";

    EXPECT_TRUE(PmCreateGroup(group.c_str(), nullptr));
    EXPECT_TRUE(PmAddProgramItem(group.c_str(), "Pad", target.c_str(), windows));
    EXPECT_EQ(GetFileAttributesA((folder + "\\Pad.lnk").c_str()) & FILE_ATTRIBUTE_DIRECTORY, 0u);
    // Wine opens a window on the group it made and showed; close it while the folder is there.
    testsupport::CloseFolderWindows(group);
    EXPECT_FALSE(PmDeleteGroupIfEmpty(group.c_str())) << "Wine answers no group request";
    EXPECT_TRUE(PmDeleteItem("Pad"));
    EXPECT_EQ(GetFileAttributesA((folder + "\\Pad.lnk").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(PmDeleteGroup(group.c_str()));
    EXPECT_EQ(GetFileAttributesA(folder.c_str()), INVALID_FILE_ATTRIBUTES);
    testsupport::RemoveTree(folder);
}

} // namespace
