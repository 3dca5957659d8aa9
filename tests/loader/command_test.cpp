// The loader's command line: the command text, the key word, the engine path and batch mode.
#include "loader/loader_app.h"
#include "loader/medium.h"

#include <gtest/gtest.h>

TEST(CommandText, DropsTheProgramNameAndTheBlanksAfterIt) {
    EXPECT_EQ(CommandTextOf("\"C:\\My Kit\\Quenda.exe\"  \t setup=a /batch"), "setup=a /batch");
    EXPECT_EQ(CommandTextOf("Quenda.exe /silent"), "/silent");
    EXPECT_EQ(CommandTextOf("Quenda.exe"), "");
    EXPECT_EQ(CommandTextOf("\"Quenda.exe\""), "");
    // Blanks inside and at the end of the arguments stay.
    EXPECT_EQ(CommandTextOf("q.exe a  b "), "a  b ");
}

TEST(CommandText, QuotedValueWithBlanksThenSilent) {
    const LoaderCommand c = ParseCommandText("-lang=en setup=\"D:\\My Kit\\ravell32.dll\" /silent");
    EXPECT_EQ(c.enginePath, "D:\\My Kit\\ravell32.dll");
    EXPECT_TRUE(c.batch);
    EXPECT_EQ(c.commandText, "-lang=en setup=\"D:\\My Kit\\ravell32.dll\" /silent");
}

TEST(CommandText, KeyWordInAnyCaseBecomesLowerCaseAndNothingElseChanges) {
    LoaderCommand c = ParseCommandText("SETUP=d:\\KIT\\Ravell32.DLL");
    EXPECT_EQ(c.commandText, "setup=d:\\KIT\\Ravell32.DLL");
    EXPECT_EQ(c.enginePath, "d:\\KIT\\Ravell32.DLL");
    EXPECT_FALSE(c.batch);

    // Every occurrence is rewritten; the first one names the engine.
    c = ParseCommandText("Setup=a.dll X sEtUp=b.dll");
    EXPECT_EQ(c.commandText, "setup=a.dll X setup=b.dll");
    EXPECT_EQ(c.enginePath, "a.dll");
}

TEST(CommandText, UnquotedValueEndsAtTheFirstBlank) {
    const LoaderCommand c = ParseCommandText("setup=E:\\kit\\engine.exe /batch");
    EXPECT_EQ(c.enginePath, "E:\\kit\\engine.exe");
    EXPECT_TRUE(c.batch);
}

TEST(CommandText, QuotedValueWithoutClosingQuoteRunsToTheEndTrimmed) {
    const LoaderCommand c = ParseCommandText("/batch setup=\"  F:\\a b\\ravell32.dll   ");
    EXPECT_EQ(c.enginePath, "F:\\a b\\ravell32.dll");
    EXPECT_TRUE(c.batch);
}

TEST(CommandText, EmptyValuesLeaveTheEnginePathEmpty) {
    EXPECT_EQ(ParseCommandText("setup= D:\\other.dll").enginePath, "");
    EXPECT_EQ(ParseCommandText("x setup=").enginePath, "");
    EXPECT_EQ(ParseCommandText("setup=\"\" /batch").enginePath, "");
    EXPECT_EQ(ParseCommandText("/batch").enginePath, "");
    EXPECT_EQ(ParseCommandText("").enginePath, "");
    // "setup" without the equals sign is no key word.
    EXPECT_EQ(ParseCommandText("setup D:\\x.dll").enginePath, "");
}

TEST(CommandText, KeyWordAtTheVeryStartOrInsideAWord) {
    EXPECT_EQ(ParseCommandText("setup=C:\\x.dll").enginePath, "C:\\x.dll");
    // A plain substring search: the key word may end a longer word.
    EXPECT_EQ(ParseCommandText("mysetup=C:\\y.dll").enginePath, "C:\\y.dll");
}

TEST(CommandText, SwitchesInAnyCaseAndInsideLongerWords) {
    for (const char* text : {"/silent", "/SILENT", "/Batch", "a /batchmode b", "x/silently",
                             "setup=\"C:\\a\\/batch\\e.dll\""})
        EXPECT_TRUE(ParseCommandText(text).batch) << text;
    for (const char* text : {"", "/batc", "silent", "batch", "-silent", "/ silent"})
        EXPECT_FALSE(ParseCommandText(text).batch) << text;
}

TEST(ExitCode, OneCodePerOutcome) {
    EXPECT_EQ(ExitCodeFor(LaunchOutcome::Started), 0);
    EXPECT_EQ(ExitCodeFor(LaunchOutcome::StartFailed), 1);
    EXPECT_EQ(ExitCodeFor(LaunchOutcome::GaveUp), 2);
}
