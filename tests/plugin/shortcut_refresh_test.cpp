// The HotSync Manager shortcut refresh against the test prefix's real start menu and the current
// user's HotSync "Core" key, both put back as they were after every test. Links are read back by
// a second process.
#include "plugin/shortcut_refresh.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/link_reader.h"
#include "hotsync_fixture.h"
#include "setup/core/handles.h"
#include "setup/core/sysfolders.h"
#include "support/fixtures.h"

using testsupport::TempFolder;

namespace {

const std::string OldLink = "not a link written by the refresh";

// Every file below `folder` whose name is "HotSync Manager.lnk" in any letter case.
void CollectManagerLinks(const std::string& folder, std::vector<std::string>& links) {
    WIN32_FIND_DATAA entry;
    FindHandle search(FindFirstFileA((folder + "\\*").c_str(), &entry));
    if (!search)
        return;
    do {
        std::string name = entry.cFileName;
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (name != "." && name != "..")
                CollectManagerLinks(folder + "\\" + name, links);
        } else if (lstrcmpiA(name.c_str(), "HotSync Manager.lnk") == 0) {
            links.push_back(folder + "\\" + name);
        }
    } while (FindNextFileA(search.Get(), &entry));
}

// Owns the HotSync keys (moved aside and put back by HotSyncRegistry) and a group of folders in
// the start menu for one test.
class HotSyncShortcutRefresh : public ::testing::Test {
protected:
    void SetUp() override {
        startMenu = TheSystemFolders().StartMenu(false);
        ASSERT_FALSE(startMenu.empty());
        char unique[64];
        wsprintfA(unique, "\\Tarvo Refresh %lu-%lu", GetCurrentProcessId(), GetTickCount());
        group = startMenu + unique;
        ASSERT_TRUE(CreateDirectoryA(group.c_str(), nullptr)) << group;
        // Earlier runs that were killed may have left links: they would count as matches here.
        std::vector<std::string> stale;
        CollectManagerLinks(startMenu, stale);
        ASSERT_TRUE(stale.empty()) << stale.front();
    }

    void TearDown() override { testsupport::RemoveTree(group); }

    void SetCorePath(const std::string& folder) {
        plugintest::HotSyncRegistry::SetText(plugintest::PalmCore, "Path", folder);
    }

    std::string MakeGroupFolder(const std::string& relative) {
        std::string path = group;
        std::string rest = relative;
        while (!rest.empty()) {
            std::size_t cut = rest.find('\\');
            path += "\\" + rest.substr(0, cut);
            CreateDirectoryA(path.c_str(), nullptr);
            rest = cut == std::string::npos ? "" : rest.substr(cut + 1);
        }
        return path;
    }

    std::vector<std::string> ManagerLinks() {
        std::vector<std::string> links;
        CollectManagerLinks(startMenu, links);
        return links;
    }

    std::string startMenu;
    std::string group;
    TempFolder hotSync;
    TempFolder scratch;
    plugintest::HotSyncRegistry registry;
};

TEST_F(HotSyncShortcutRefresh, EveryLinkIsRewrittenInItsOwnFolder) {
    ASSERT_TRUE(testsupport::WriteFileBytes(hotSync / "Hsm11.exe", "MZ"));
    SetCorePath(hotSync.Path());
    // What the old files hold does not matter: each is written again in its folder.
    std::string first = MakeGroupFolder("Palm") + "\\HotSync Manager.lnk";
    std::string second = MakeGroupFolder("Tools\\Deeper") + "\\hotsync MANAGER.LNK";
    ASSERT_TRUE(testsupport::WriteFileBytes(first, OldLink));
    ASSERT_TRUE(testsupport::WriteFileBytes(second, OldLink));

    RefreshHotSyncShortcuts();

    EXPECT_EQ(ManagerLinks().size(), 2u);
    for (const std::string& link : {first, second}) {
        testsupport::LinkInfo info = testsupport::ReadLink(link, scratch.Path());
        ASSERT_TRUE(info.Loaded) << link;
        EXPECT_EQ(lstrcmpiA(info.Path.c_str(), (hotSync / "Hsm11.exe").c_str()), 0) << info.Path;
        EXPECT_EQ(lstrcmpiA(info.WorkDir.c_str(), hotSync.Path().c_str()), 0) << info.WorkDir;
        EXPECT_EQ(info.Description, "HotSync Manager");
    }
}

// Code page 932: HotSync and the start-menu groups in folders whose names end in trail bytes
// 0x5C; the links must still point at the program.
TEST_F(HotSyncShortcutRefresh, DoubleByteFolders) {
    if (!testsupport::DoubleByteCodePage())
        GTEST_SKIP() << "needs a double-byte ANSI code page (the cp932 run)";
    using namespace testsupport::cp932;
    const std::string core = hotSync / (Hyo + So);
    ASSERT_TRUE(CreateDirectoryA(core.c_str(), nullptr));
    ASSERT_TRUE(testsupport::WriteFileBytes(core + "\\Hsm11.exe", "MZ"));
    SetCorePath(core);
    const std::string folder = group + "\\" + Bun + So;
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
    const std::string link = folder + "\\HotSync Manager.lnk";
    ASSERT_TRUE(testsupport::WriteFileBytes(link, OldLink));

    RefreshHotSyncShortcuts();

    EXPECT_EQ(ManagerLinks(), std::vector<std::string>{link});
    testsupport::LinkInfo info = testsupport::ReadLink(link, scratch.Path());
    ASSERT_TRUE(info.Loaded);
    EXPECT_EQ(info.Path, core + "\\Hsm11.exe");
    EXPECT_EQ(info.WorkDir, core);
}

TEST_F(HotSyncShortcutRefresh, WithoutTheProgramNothingIsWritten) {
    // No link anywhere and no "Hsm11.exe": the one step, with an empty group, writes nothing.
    SetCorePath(hotSync.Path());
    RefreshHotSyncShortcuts();
    EXPECT_TRUE(ManagerLinks().empty());

    // An existing link stays as it is.
    std::string link = MakeGroupFolder("Palm") + "\\HotSync Manager.lnk";
    ASSERT_TRUE(testsupport::WriteFileBytes(link, OldLink));
    RefreshHotSyncShortcuts();
    EXPECT_EQ(testsupport::ReadFileBytes(link), OldLink);
}

TEST_F(HotSyncShortcutRefresh, WithoutTheCoreKeyNothingIsWritten) {
    // The HotSync keys start out empty: no "Core" key, so no target, although the program is
    // where a key would point.
    ASSERT_TRUE(testsupport::WriteFileBytes(hotSync / "Hsm11.exe", "MZ"));
    std::string link = MakeGroupFolder("Palm") + "\\HotSync Manager.lnk";
    ASSERT_TRUE(testsupport::WriteFileBytes(link, OldLink));

    RefreshHotSyncShortcuts();

    EXPECT_EQ(testsupport::ReadFileBytes(link), OldLink);
    EXPECT_EQ(ManagerLinks().size(), 1u);
}

} // namespace
