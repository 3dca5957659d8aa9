// The built loader run end to end in batch mode, from a temporary "medium" folder that holds
// the loader and the stand-in engine.
#include "loader_support.h"
#include "support/fixtures.h"

#include <gtest/gtest.h>

using loadertest::EngineCommandLine;
using loadertest::EngineLog;
using loadertest::PlaceEngine;
using loadertest::RunQuenda;
using testsupport::TempFolder;

class QuendaRun : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(loadertest::PlaceQuenda(medium.Path())); }
    TempFolder medium;
};

TEST_F(QuendaRun, DefaultEngineBesideTheLoader) {
    ASSERT_TRUE(PlaceEngine(medium / "ravell32.dll"));
    EXPECT_EQ(RunQuenda(medium.Path(), "/batch"), 0);
    EXPECT_EQ(EngineCommandLine(medium.Path()), " /batch");
}

TEST_F(QuendaRun, QuotedEnginePathWithBlanksThenSilentWaitsForTheEngine) {
    const std::string kit = medium / "my kit";
    ASSERT_TRUE(CreateDirectoryA(kit.c_str(), nullptr));
    ASSERT_TRUE(PlaceEngine(kit + "\\ravell32.dll"));
    const std::string text =
        "-lang=en setup=\"" + kit + "\\ravell32.dll\" /silent /standin-stay=1500";
    const DWORD start = GetTickCount();
    EXPECT_EQ(RunQuenda(medium.Path(), text), 0);
    // The engine stayed for 1.5 s, and the loader did not end before it.
    EXPECT_GE(GetTickCount() - start, 1500u);
    EXPECT_NE(loadertest::EngineEndLog(kit), "");
    EXPECT_EQ(EngineCommandLine(kit), " " + text);
    EXPECT_EQ(EngineCommandLine(medium.Path()), ""); // not the default engine
}

TEST_F(QuendaRun, UpperCaseKeyWordReachesTheEngineInLowerCase) {
    const std::string engine = medium / "Ravell32.DLL";
    ASSERT_TRUE(PlaceEngine(engine));
    EXPECT_EQ(RunQuenda(medium.Path(), "/BATCH SETUP=" + engine + " Tail=KEEP"), 0);
    EXPECT_EQ(EngineCommandLine(medium.Path()), " /BATCH setup=" + engine + " Tail=KEEP");
}

TEST_F(QuendaRun, KeyWordFollowedByABlankUsesTheDefaultEngine) {
    ASSERT_TRUE(PlaceEngine(medium / "ravell32.dll"));
    EXPECT_EQ(RunQuenda(medium.Path(), "setup= /batch"), 0);
    EXPECT_EQ(EngineCommandLine(medium.Path()), " setup= /batch");
}

TEST_F(QuendaRun, MissingEngineOnAFixedDiskEndsWithExitCodeOne) {
    EXPECT_EQ(RunQuenda(medium.Path(), "/batch setup=" + (medium / "missing.dll")), 1);
    EXPECT_EQ(RunQuenda(medium.Path(), "/batch"), 1); // no default engine either
}

TEST_F(QuendaRun, LongCommandLineReachesTheEngineWhole) {
    ASSERT_TRUE(PlaceEngine(medium / "ravell32.dll"));
    std::string text = "/batch";
    while (text.size() < 30000)
        text += " /item" + std::to_string(text.size()) + "=\"some value\"";
    EXPECT_EQ(RunQuenda(medium.Path(), text), 0);
    EXPECT_EQ(EngineCommandLine(medium.Path()), " " + text);
}
