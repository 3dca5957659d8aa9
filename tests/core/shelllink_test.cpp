// Shell link files written by CreateShellLink, read back in a second process.
#include "setup/core/handles.h"
#include "setup/core/shelllink.h"

#include <gtest/gtest.h>

#include <string>

#include "support/link_reader.h"
#include "support/fixtures.h"

using testsupport::LinkInfo;
using testsupport::ReadLink;

namespace {

class ShellLinkTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_target = m_temp / "App.EXE";
        ASSERT_TRUE(testsupport::WriteFileBytes(m_target, "MZ"));
    }

    // Target text as the shortcut element builds it: path, mark, blank, arguments.
    static std::string Target(const std::string& path, const std::string& arguments) {
        return path + ShellLinkArgumentMark + " " + arguments;
    }

    LinkInfo Read(const std::string& folder, const std::string& title) {
        return ReadLink(folder + "\\" + title + ".LNK", m_temp.Path());
    }

    testsupport::TempFolder m_temp;
    std::string m_target;
};

TEST_F(ShellLinkTest, WritesEveryPropertyIntoANewFolder) {
    std::string folder = m_temp / "Start\\Group";
    ASSERT_TRUE(
        CreateShellLink(folder, "My App", Target(m_target, "-x \"y z\""), m_temp.Path(), "", 0));
    LinkInfo link = Read(folder, "My App");
    ASSERT_TRUE(link.Loaded);
    EXPECT_EQ(link.Path, m_target);
    EXPECT_EQ(link.Arguments, " -x \"y z\"") << "the arguments keep the blank after the mark";
    EXPECT_EQ(link.WorkDir, m_temp.Path());
    EXPECT_EQ(link.Description, "My App");
}

TEST_F(ShellLinkTest, TextWithoutMarkIsAllPath) {
    ASSERT_TRUE(CreateShellLink(m_temp.Path(), "Plain", m_target, "", "", 0));
    LinkInfo link = Read(m_temp.Path(), "Plain");
    ASSERT_TRUE(link.Loaded);
    EXPECT_EQ(link.Path, m_target);
    EXPECT_EQ(link.Arguments, "");
}

TEST_F(ShellLinkTest, IconRules) {
    struct Case {
        const char* title;
        std::string target;
        std::string iconPath;
        int index;
        std::string expectedIcon;
        int expectedIndex;
    };
    std::string doc = m_temp / "readme.txt";
    const Case cases[] = {
        // An .ico file always gets index 0.
        {"Ico", m_target, m_temp / "app.ICO", 7, m_temp / "app.ICO", 0},
        // No icon file: an .exe target (in any case) gives its own icon with the index.
        {"OwnIcon", m_target, "", 3, m_target, 3},
        {"Dll", m_target, m_temp / "res.dll", 2, m_temp / "res.dll", 2},
        {"Exe", m_target, m_temp / "other.exe", 4, m_temp / "other.exe", 4},
        // An icon path of any other type sets no icon, and neither does a non-.exe target.
        {"Bitmap", m_target, m_temp / "pic.bmp", 1, "", 0},
        {"Document", doc, "", 5, "", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        ASSERT_TRUE(
            CreateShellLink(m_temp.Path(), c.title, Target(c.target, ""), "", c.iconPath, c.index));
        LinkInfo link = Read(m_temp.Path(), c.title);
        ASSERT_TRUE(link.Loaded);
        EXPECT_EQ(link.Icon, c.expectedIcon);
        EXPECT_EQ(link.IconIndex, c.expectedIndex);
    }
}

TEST_F(ShellLinkTest, SavingAgainReplacesTheLink) {
    ASSERT_TRUE(CreateShellLink(m_temp.Path(), "Again", Target(m_target, "one"), "", "", 0));
    ASSERT_TRUE(CreateShellLink(m_temp.Path(), "Again", Target(m_target, "two"), "", "", 0));
    EXPECT_EQ(Read(m_temp.Path(), "Again").Arguments, " two");
}

TEST_F(ShellLinkTest, UnsavableLinkReportsFailure) {
    // The folder cannot be made: a file stands in its way.
    std::string blocked = m_temp / "file.txt";
    ASSERT_TRUE(testsupport::WriteFileBytes(blocked, "x"));
    EXPECT_FALSE(CreateShellLink(blocked + "\\Sub", "Link", Target(m_target, ""), "", "", 0));

    // A link path longer than the save buffer holds is refused, not saved under a cut name.
    std::string deep = m_temp / std::string(150, 'f');
    ASSERT_TRUE(CreateDirectoryA(deep.c_str(), nullptr));
    std::string title(120, 'L');
    EXPECT_FALSE(CreateShellLink(deep, title, Target(m_target, ""), "", "", 0));
    WIN32_FIND_DATAA found;
    FindHandle h(FindFirstFileA((deep + "\\L*").c_str(), &found));
    EXPECT_FALSE(h) << "unexpected file " << found.cFileName;
}

// Under a double-byte code page the mark byte 0x95 is also a lead byte, and paths hold
// characters whose trail bytes are backslashes.
TEST_F(ShellLinkTest, DoubleByteNamesAroundTheMark) {
    if (!testsupport::DoubleByteCodePage())
        GTEST_SKIP() << "needs a double-byte ANSI code page (the cp932 run)";
    using namespace testsupport::cp932;
    const std::string folder = m_temp / (So + Hyo + "\\" + Bun + Po);
    ASSERT_TRUE(CreateDirectoryA((m_temp / (So + Hyo)).c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
    const std::string target = folder + "\\" + Bun + Hyo + ".EXE";
    ASSERT_TRUE(testsupport::WriteFileBytes(target, "MZ"));
    const std::string group = m_temp / (Po + So);
    const std::string title = Bun + "Link" + Hyo;

    ASSERT_TRUE(CreateShellLink(group, title, Target(target, "/x " + So + Bun), folder, "", 3));
    LinkInfo link = Read(group, title);
    ASSERT_TRUE(link.Loaded);
    EXPECT_EQ(link.Path, target);
    EXPECT_EQ(link.Arguments, " /x " + So + Bun);
    EXPECT_EQ(link.WorkDir, folder);
    EXPECT_EQ(link.Description, title);
    EXPECT_EQ(link.Icon, target);
    EXPECT_EQ(link.IconIndex, 3);

    // A target that ends in a double-byte character led by 0x95, and no arguments.
    const std::string bare = folder + "\\" + Hyo;
    ASSERT_TRUE(testsupport::WriteFileBytes(bare, "x"));
    ASSERT_TRUE(CreateShellLink(group, "Bare", Target(bare, ""), "", "", 0));
    link = Read(group, "Bare");
    EXPECT_EQ(link.Path, bare);
    EXPECT_EQ(link.Arguments, " ");
}

} // namespace
