// Line-oriented INI files: section and key lines, removed, gathered and appended sections, and
// value look-ups, every other byte of the file kept.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "setup/core/ini_file.h"
#include "setup/core/path.h"
#include "setup/core/text.h"
#include "support/file_holder.h"
#include "support/fixtures.h"
#include "text_file_fixture.h"

using testsupport::FileHolder;
using testsupport::ReadFileBytes;
using testsupport::WriteFileBytes;

namespace {

using IniFileTest = TextFileTest;

// --- Line-oriented INI files -------------------------------------------------------------------

const char SampleIni[] = "before=1\r\n"
                         "[rename]\r\n"
                         "NUL=C:\\OLD\r\n"
                         "\r\n"
                         "no equals sign\r\n"
                         "=no key\r\n"
                         "  = blank key\r\n"
                         "Path=C:\\A[1]\\x\r\n"
                         " [ Other ] ; comment\n"
                         "z=1\r\n"
                         "Dir=[rename]\r\n"
                         "[]\r\n"
                         "zz=2\r\n"
                         "[RENAME]\n"
                         "k=v";

TEST_F(IniFileTest, ReadSectionLines) {
    const std::string ini = Work("a.ini");
    ASSERT_TRUE(WriteFileBytes(ini, SampleIni));
    TextList lines = {"stale"};
    ASSERT_TRUE(ReadIniSectionLines(ini, "Rename", lines, false));
    EXPECT_EQ((TextList{"NUL=C:\\OLD", "Path=C:\\A[1]\\x", "k=v"}), lines);

    ASSERT_TRUE(ReadIniSectionLines(ini, " rename ", lines, true));
    EXPECT_EQ((TextList{"NUL=C:\\OLD", "", "no equals sign", "=no key", "  = blank key",
                        "Path=C:\\A[1]\\x", "k=v"}),
              lines);

    // "[]" names no section: its lines stay in [Other].
    ASSERT_TRUE(ReadIniSectionLines(ini, "other", lines, false));
    EXPECT_EQ((TextList{"z=1", "Dir=[rename]", "zz=2"}), lines);

    EXPECT_FALSE(ReadIniSectionLines(Work("none.ini"), "rename", lines, true));
    EXPECT_TRUE(lines.empty());

    // A CR LF split by the end of the reader's 64 KiB block is still one line ending.
    const std::string head = "[s]\r\nk=";
    const std::string value(65535 - head.size(), 'v');
    ASSERT_TRUE(WriteFileBytes(ini, head + value + "\r\nnext=1\r"));
    ASSERT_TRUE(ReadIniSectionLines(ini, "s", lines, false));
    EXPECT_EQ((TextList{"k=" + value, "next=1\r"}), lines);
}

TEST_F(IniFileTest, RemoveSectionsKeepsEverythingElse) {
    const std::string ini = Work("a.ini");
    ASSERT_TRUE(WriteFileBytes(ini, SampleIni));
    ASSERT_TRUE(RemoveIniSections(ini, {"RENAME"}));
    // A value holding brackets neither ends a section nor starts one.
    EXPECT_EQ("before=1\r\n"
              " [ Other ] ; comment\n"
              "z=1\r\n"
              "Dir=[rename]\r\n"
              "[]\r\n"
              "zz=2\r\n",
              ReadFileBytes(ini));

    ASSERT_TRUE(WriteFileBytes(ini, SampleIni));
    ASSERT_TRUE(RemoveIniSections(ini, {"x", "other"}));
    TextList lines;
    ASSERT_TRUE(ReadIniSectionLines(ini, "rename", lines, false));
    EXPECT_EQ(3u, lines.size());
    EXPECT_EQ(std::string::npos, ReadFileBytes(ini).find("zz=2"));
    EXPECT_TRUE(FilesIn(temp).empty());
}

TEST_F(IniFileTest, RemoveSectionsFailureLeavesFileAsItWas) {
    const std::string ini = Work("a.ini");
    ASSERT_TRUE(WriteFileBytes(ini, SampleIni));
    {
        FileHolder holder(ini, "read");
        ASSERT_TRUE(holder.Held()) << holder.Report();
        EXPECT_FALSE(RemoveIniSections(ini, {"rename"}));
        // No such section: nothing to rewrite.
        EXPECT_TRUE(RemoveIniSections(ini, {"absent"}));
    }
    EXPECT_EQ(SampleIni, ReadFileBytes(ini));
    EXPECT_TRUE(FilesIn(temp).empty());
    EXPECT_FALSE(RemoveIniSections(Work("none.ini"), {"rename"}));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(Work("none.ini").c_str()));
}

// The sections of one name gather at the end: their key lines in order, then the new lines;
// every other line stays where it was, byte for byte.
TEST_F(IniFileTest, AddToSectionAtEndGathersTheSectionsOfThatName) {
    const std::string ini = Work("a.ini");
    ASSERT_TRUE(WriteFileBytes(ini, SampleIni));
    ASSERT_TRUE(AddToIniSectionAtEnd(ini, "rename", {"NEW=1"}));
    EXPECT_EQ("before=1\r\n"
              " [ Other ] ; comment\n"
              "z=1\r\n"
              "Dir=[rename]\r\n"
              "[]\r\n"
              "zz=2\r\n"
              "\r\n"
              "[rename]\r\n"
              "NUL=C:\\OLD\r\n"
              "Path=C:\\A[1]\\x\r\n"
              "k=v\r\n"
              "NEW=1\r\n",
              ReadFileBytes(ini));
    EXPECT_TRUE(FilesIn(temp).empty());

    const std::string fresh = Work("fresh.ini");
    ASSERT_TRUE(AddToIniSectionAtEnd(fresh, "rename", {"a=b"}));
    EXPECT_EQ("[rename]\r\na=b\r\n", ReadFileBytes(fresh));

    ASSERT_TRUE(WriteFileBytes(ini, SampleIni));
    {
        FileHolder holder(ini, "read");
        ASSERT_TRUE(holder.Held()) << holder.Report();
        EXPECT_FALSE(AddToIniSectionAtEnd(ini, "rename", {"NEW=1"}));
    }
    EXPECT_EQ(SampleIni, ReadFileBytes(ini));
    EXPECT_TRUE(FilesIn(temp).empty());
}

TEST_F(IniFileTest, AppendSectionStartsOnALineOfItsOwn) {
    const std::string ini = Work("a.ini");
    EXPECT_TRUE(AppendIniSection("s", ini, {"a=1", "b"}));
    EXPECT_EQ("[s]\r\na=1\r\nb\r\n", ReadFileBytes(ini));
    EXPECT_TRUE(AppendIniSection("t", ini, {}));
    EXPECT_EQ("[s]\r\na=1\r\nb\r\n\r\n[t]\r\n", ReadFileBytes(ini));

    ASSERT_TRUE(WriteFileBytes(ini, "x=1"));
    EXPECT_TRUE(AppendIniSection("s", ini, {"y"}));
    EXPECT_EQ("x=1\r\n[s]\r\ny\r\n", ReadFileBytes(ini));

    ASSERT_TRUE(WriteFileBytes(ini, "x=1\n  \n"));
    EXPECT_TRUE(AppendIniSection("s", ini, {}));
    EXPECT_EQ("x=1\n  \n[s]\r\n", ReadFileBytes(ini));

    ASSERT_TRUE(WriteFileBytes(ini, "x=1\r\n"));
    {
        FileHolder holder(ini, "read");
        ASSERT_TRUE(holder.Held()) << holder.Report();
        EXPECT_FALSE(AppendIniSection("s", ini, {"y"}));
    }
    EXPECT_EQ("x=1\r\n", ReadFileBytes(ini));
    EXPECT_FALSE(AppendIniSection("s", Work("no\\such\\folder.ini"), {"y"}));
}

TEST_F(IniFileTest, GetValue) {
    const std::string ini = Work("a.ini");
    ASSERT_TRUE(WriteFileBytes(ini, "top=0\r\n"
                                    "[One]\r\n"
                                    "Key = value one \r\n"
                                    "key=second\r\n"
                                    "Empty=\r\n"
                                    "[ two ]\n"
                                    "Key=two\n"
                                    "Only=here\n"
                                    "[one]\n"
                                    "Later=x\n"));
    EXPECT_EQ("value one", GetIniValue(ini, "one", "key"));
    EXPECT_EQ("value one", GetIniValue(ini, " ONE ", "  KEY\t"));
    EXPECT_EQ("two", GetIniValue(ini, "Two", "Key"));
    EXPECT_EQ("", GetIniValue(ini, "One", "Only"));      // stops at the next section line
    EXPECT_EQ("", GetIniValue(ini, "One", "Later"));     // only the first section of a name
    EXPECT_EQ("value one", GetIniValue(ini, "", "key")); // first occurrence in the file
    EXPECT_EQ("0", GetIniValue(ini, "", "top"));
    EXPECT_EQ("here", GetIniValue(ini, "", "only"));
    EXPECT_EQ("", GetIniValue(ini, "One", "Empty"));
    EXPECT_EQ("", GetIniValue(ini, "One", " "));
    EXPECT_EQ("", GetIniValue(ini, "Three", "Key"));
    EXPECT_EQ("", GetIniValue(Work("none.ini"), "One", "Key"));
}

} // namespace
