// HotSync detection against the real registry of the current user and the stand-in interface
// module. The common versions are covered end to end by the scenario tests; these are the
// corners of the detection itself.
#include <gtest/gtest.h>

#include "hotsync_fixture.h"
#include "plugin/hotsync_probe.h"

using namespace plugintest;

namespace {

class ProbeTest : public ::testing::Test {
protected:
    HotSyncRegistry registry;
    HotSyncFolder folder;
    HotSyncProbe probe;
};

} // namespace

TEST_F(ProbeTest, RegistryOnlyVersionsAreNotStored) {
    HotSyncRegistry::SetText(RoboticsCore, "Path", folder.Path());
    folder.InstallInterface("2 1");
    EXPECT_EQ(probe.GetHotSyncVersion(), 0.0) << "no DirectComPort: the Core keys do not count";
    HotSyncRegistry::SetText(PalmManager, "DirectComPort", "   ");
    EXPECT_EQ(probe.GetHotSyncVersion(), 0.0) << "blank values count as absent";
    HotSyncRegistry::SetText(PalmManager, "DirectComPort", " 2 ");
    HotSyncRegistry::SetText(PalmManager, "Notifier0", "\t ");
    EXPECT_EQ(probe.GetHotSyncVersion(), 1.0);
    // The first generation wins over the second, whose module is not asked.
    HotSyncRegistry::InstallSecondGeneration(folder.Path());
    HotSyncRegistry::SetText(PalmManager, "Notifier0", "pdn20.dll");
    EXPECT_EQ(probe.GetHotSyncVersion(), 1.1);
    EXPECT_EQ(probe.Version, -1.0);
}

TEST_F(ProbeTest, SecondGenerationIsStoredAndModuleUnloaded) {
    HotSyncRegistry::InstallSecondGeneration(folder.Path());
    folder.InstallInterface("4294967295 5 -7"); // unsigned numbers; the result code is ignored
    EXPECT_DOUBLE_EQ(probe.GetHotSyncVersion(), 4294967295.5);
    EXPECT_DOUBLE_EQ(probe.Version, 4294967295.5);
    EXPECT_TRUE(DeleteFileA((folder / "Sync20.dll").c_str())) << "the module is unloaded again";
    // A probe that has an answer keeps it when the module is gone; a fresh one has none.
    EXPECT_DOUBLE_EQ(probe.GetHotSyncVersion(), 4294967295.5);
    EXPECT_EQ(HotSyncProbe().GetHotSyncVersion(), -1.0);
}

TEST_F(ProbeTest, InterfaceThatCannotBeAsked) {
    HotSyncRegistry::SetText(RoboticsManager, "DirectComPort", "1");
    // Without a "Path" the module name would point at the root of the current drive.
    EXPECT_EQ(probe.GetHotSyncVersion(), -1.0);
    HotSyncRegistry::SetText(RoboticsCore, "Path", folder.Path());
    folder.InstallInterfaceWithoutApi();
    EXPECT_EQ(probe.GetHotSyncVersion(), -1.0);
}

TEST_F(ProbeTest, UntouchedNumbersCountAsZero) {
    // The stand-in fails without its version file and leaves both numbers at 0.
    HotSyncRegistry::InstallSecondGeneration(folder.Path());
    folder.InstallInterface("");
    EXPECT_EQ(probe.GetHotSyncVersion(), 0.0);
    EXPECT_EQ(probe.Version, 0.0);
}
