// Morvik.dll loaded into the test program: its six exports by their plain names, and their
// answers to records that an engine might leave incomplete.
#include <gtest/gtest.h>

#include "hotsync_fixture.h"
#include "plugin/engine_interface.h"
#include "setup/core/component.h"
#include "setup/core/handles.h"
#include "setup/core/macros.h"
#include "support/fixtures.h"

using namespace plugintest;

namespace {

typedef LONG(WINAPI* EntryPoint)(LONG, void*, void*, const char*);
const char* const EntryPoints[] = {"Initialize",   "PreInstall",    "PostInstall",
                                   "PreUNInstall", "PostUNInstall", "UNInitialize"};

class ExportsTest : public ::testing::Test {
protected:
    void SetUp() override {
        module.Reset(LoadLibraryA(testsupport::WindowsPathOf(TARVO_MORVIK_DLL).c_str()));
        ASSERT_TRUE(module);
    }
    EntryPoint Entry(const char* name) const {
        return reinterpret_cast<EntryPoint>(
            reinterpret_cast<void*>(GetProcAddress(module.Get(), name)));
    }

    HotSyncRegistry hotsync;
    HotSyncFolder folder;
    LoadedModule module;
};

} // namespace

TEST_F(ExportsTest, SixPlainNames) {
    for (const char* name : EntryPoints)
        EXPECT_NE(Entry(name), nullptr) << name;
    EXPECT_EQ(Entry("Initialize@16"), nullptr);
    EXPECT_EQ(Entry("_Initialize@16"), nullptr);
}

TEST_F(ExportsTest, NullArgumentsAnswerOne) {
    HotSyncRegistry::InstallFirstGeneration(false, folder.Path());
    for (const char* name : EntryPoints)
        EXPECT_EQ(Entry(name)(0, nullptr, nullptr, nullptr), 1) << name;
    // An empty index: the installation calls get it through their record.
    ComponentRegistry registry;
    InstallRecord record = {};
    record.Registry = &registry;
    for (int i = 0; i < 6; ++i) {
        void* argument = i < 3 ? static_cast<void*>(&record) : static_cast<void*>(&registry);
        EXPECT_EQ(Entry(EntryPoints[i])(-1, argument, &registry, ""), 1) << EntryPoints[i];
    }
    EXPECT_FALSE(HotSyncRegistry::HasValue(PalmManager, "BackupConduit"));
}

TEST_F(ExportsTest, RecordWithoutRegistryOrMacros) {
    HotSyncRegistry::InstallFirstGeneration(true, folder.Path());
    InstallRecord record = {};
    EXPECT_EQ(Entry("Initialize")(0, &record, nullptr, "x"), 1);
    EXPECT_EQ(Entry("PreInstall")(0, &record, nullptr, "x"), 1);
    EXPECT_EQ(Entry("PostInstall")(0, &record, nullptr, "x"), 1);

    // Components found, but no macro context: the actions are still set.
    ComponentRegistry registry;
    WSetupComponent feature;
    feature.ModeStates[2] = 4;
    registry.Index.Maps[0].SetAt("QX9_PalmPilot", &feature);
    record.Registry = &registry;
    EXPECT_EQ(Entry("Initialize")(0, &record, nullptr, nullptr), 1);
    EXPECT_EQ(feature.Action, 7);
}
