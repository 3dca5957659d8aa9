// The conduit table of the current user. Removal through the entry points (duplicates, capital
// letters, a gap behind the entries) is covered by the scenario tests; these are the table
// operations themselves.
#include <gtest/gtest.h>

#include "hotsync_fixture.h"
#include "plugin/conduits.h"

using namespace plugintest;

namespace {

class ConduitsTest : public ::testing::Test {
protected:
    static bool Entry(const std::string& desktop, int n) {
        return HotSyncRegistry::KeyExists(HotSyncRegistry::ApplicationKey(desktop, n));
    }
    static bool StandardValuesWritten() {
        return HotSyncRegistry::HasValue(PalmManager, "BackupConduit") ||
               HotSyncRegistry::HasValue(PalmManager, "InstallConduit");
    }

    HotSyncRegistry registry;
    HotSyncFolder folder;
    HotSyncProbe probe;
};

} // namespace

TEST_F(ConduitsTest, ApplicationKeyPathProbesOnce) {
    probe.Version = 1.1;
    EXPECT_EQ(probe.ApplicationKeyPath(0), std::string(PalmDesktop) + "\\Application0");
    probe.Version = 2.1;
    EXPECT_EQ(probe.ApplicationKeyPath(12), std::string(RoboticsDesktop) + "\\Application12");
    HotSyncRegistry::InstallFirstGeneration(false, folder.Path());
    HotSyncProbe fresh;
    EXPECT_EQ(fresh.ApplicationKeyPath(3), std::string(PalmDesktop) + "\\Application3");
    EXPECT_EQ(fresh.Version, 1.0);
}

TEST_F(ConduitsTest, StandardValuesOnlyForHotSync10) {
    HotSyncRegistry::InstallFirstGeneration(false, folder.Path());
    EXPECT_EQ(probe.SyncConduitTable(ConduitSyncMode::Remove), 1);
    EXPECT_EQ(probe.Version, 1.0);
    EXPECT_EQ(HotSyncRegistry::Text(PalmManager, "BackupConduit"), "bakcn20.dll");

    RegDeleteTreeA(HKEY_CURRENT_USER, PalmDesktop);
    HotSyncRegistry::InstallSecondGeneration(folder.Path());
    folder.InstallInterface("2 1");
    HotSyncProbe second;
    second.SyncConduitTable(ConduitSyncMode::Install);
    EXPECT_DOUBLE_EQ(second.Version, 2.1);
    EXPECT_FALSE(StandardValuesWritten());
}

TEST_F(ConduitsTest, InstallModeOnlyReads) {
    HotSyncRegistry::InstallFirstGeneration(true, folder.Path());
    HotSyncRegistry::AddConduit(PalmDesktop, 0, 0x41424344, "qxabcn90.dll");
    HotSyncRegistry::AddConduit(PalmDesktop, 1, 7, " other.dll ");  // the read trims
    HotSyncRegistry::AddConduit(PalmDesktop, 2, 0, "qxtdcn90.dll"); // a zero Creator ends it
    EXPECT_EQ(probe.FindConduitSlot("qxabcn90.dll"), -1) << "nothing scanned yet";
    probe.SyncConduitTable(ConduitSyncMode::Install);
    EXPECT_EQ(probe.FirstFreeSlot, 2);
    EXPECT_EQ(probe.FindConduitSlot("other.dll"), 1);
    EXPECT_EQ(probe.FindConduitSlot("qxtdcn90.dll"), -1);
    for (int n = 0; n < 3; ++n)
        EXPECT_TRUE(Entry(PalmDesktop, n));
    EXPECT_FALSE(StandardValuesWritten());
}

TEST_F(ConduitsTest, RemoveDeletesProductEntryWithSubkeys) {
    HotSyncRegistry::InstallFirstGeneration(true, folder.Path());
    HotSyncRegistry::AddConduit(PalmDesktop, 0, 7, "expense.dll");
    HotSyncRegistry::AddConduit(PalmDesktop, 1, 8, "qxabcn90.dll");
    HotSyncRegistry::SetText(HotSyncRegistry::ApplicationKey(PalmDesktop, 1) + "\\Settings\\Deeper",
                             "Name", "x");
    probe.SyncConduitTable(ConduitSyncMode::Remove);
    EXPECT_TRUE(Entry(PalmDesktop, 0));
    EXPECT_FALSE(Entry(PalmDesktop, 1));
}

TEST_F(ConduitsTest, GapAtZeroRemovesNothing) {
    HotSyncRegistry::InstallFirstGeneration(true, folder.Path());
    HotSyncRegistry::AddConduit(PalmDesktop, 0, 0, "");
    HotSyncRegistry::AddConduit(PalmDesktop, 1, 9, "qxabcn90.dll");
    probe.SyncConduitTable(ConduitSyncMode::Remove);
    EXPECT_EQ(probe.FirstFreeSlot, 0);
    EXPECT_TRUE(Entry(PalmDesktop, 1));
}

TEST_F(ConduitsTest, SecondGenerationTable) {
    // Without its interface module the version is -1.0, which also uses this table.
    for (bool withInterface : {true, false}) {
        HotSyncRegistry::InstallSecondGeneration(folder.Path());
        if (withInterface)
            folder.InstallInterface("2 1");
        else
            DeleteFileA((folder / "Sync20.dll").c_str());
        const char* modules[] = {"qxdbcn90.dll", "keep.dll", "qxqncn90.dll", "qxtdcn90.dll",
                                 "qxabcn90.dll"};
        for (int n = 0; n < 5; ++n)
            HotSyncRegistry::AddConduit(RoboticsDesktop, n, 100 + n, modules[n]);
        HotSyncRegistry::AddConduit(PalmDesktop, 0, 1, "qxabcn90.dll");
        HotSyncProbe fresh;
        fresh.SyncConduitTable(ConduitSyncMode::Remove);
        EXPECT_EQ(fresh.Version == -1.0, !withInterface);
        for (int n = 0; n < 5; ++n)
            EXPECT_EQ(Entry(RoboticsDesktop, n), n == 1) << "Application" << n;
        EXPECT_TRUE(Entry(PalmDesktop, 0)) << "the other generation's table stays";
        RegDeleteTreeA(HKEY_CURRENT_USER, RoboticsDesktop);
    }
}
