// The byte-faithful line file: search and replace in text files of any line length, the
// rewrite that leaves a file as it was when it cannot be completed, and the message pump between
// lines.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "setup/core/ini_file.h"
#include "setup/core/line_file.h"
#include "setup/core/path.h"
#include "setup/core/text.h"
#include "support/file_holder.h"
#include "support/fixtures.h"
#include "text_file_fixture.h"

using testsupport::FileHolder;
using testsupport::ReadFileBytes;
using testsupport::WriteFileBytes;

namespace {

int g_pumps = 0;
void CountPump() {
    ++g_pumps;
}

using LineFileTest = TextFileTest;

// --- ReplaceInTextFile -------------------------------------------------------------------------

TEST_F(LineFileTest, ReplaceKeepsEveryByteAndLineEnding) {
    const std::string path = Work("text.txt");
    // CR LF, a lone LF, a lone CR inside a line, Ctrl-Z and NUL bytes, no break at the end.
    const char beforeBytes[] = "one x\r\ntwo x\nthree\rx\x1A x\r\n\0x\0\n\nlast x";
    const char afterBytes[] = "one YY\r\ntwo YY\nthree\rYY\x1A YY\r\n\0YY\0\n\nlast YY";
    const std::string before(beforeBytes, sizeof beforeBytes - 1);
    const std::string after(afterBytes, sizeof afterBytes - 1);
    ASSERT_TRUE(WriteFileBytes(path, before));
    EXPECT_TRUE(ReplaceInTextFile(path, "x", "YY", true));
    EXPECT_EQ(after, ReadFileBytes(path));
    EXPECT_TRUE(FilesIn(temp).empty());
    EXPECT_TRUE(ReplaceInTextFile(path, "", "x", true));
    EXPECT_EQ(after, ReadFileBytes(path));

    // Ignoring case: every spelling is found, the rest of the text keeps its case.
    ASSERT_TRUE(WriteFileBytes(path, "Abc aBC\r\nabc"));
    EXPECT_TRUE(ReplaceInTextFile(path, "ABC", "q", false));
    EXPECT_EQ("q q\r\nq", ReadFileBytes(path));
    EXPECT_TRUE(ReplaceInTextFile(path, "Q", "z", true));
    EXPECT_EQ("q q\r\nq", ReadFileBytes(path));
}

TEST_F(LineFileTest, ReplaceOnReadOnlyFileWithLongLine) {
    const std::string path = Work("long.txt");
    // A 3,000-character line with the match at column 1,020 (across the place where a
    // 1,022-character reader would cut it) and a Ctrl-Z byte after it.
    std::string line(3000, 'a');
    line.replace(1019, 6, "NEEDLE");
    line[2000] = '\x1A';
    ASSERT_TRUE(WriteFileBytes(path, "first\r\n" + line + "\r\nlast\r\n"));
    ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY));

    EXPECT_TRUE(ReplaceInTextFile(path, "needle", "pin", false));
    std::string expected = line;
    expected.replace(1019, 6, "pin");
    EXPECT_EQ("first\r\n" + expected + "\r\nlast\r\n", ReadFileBytes(path));
    EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_READONLY),
              GetFileAttributesA(path.c_str()) & FILE_ATTRIBUTE_READONLY);
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
}

// Lines of several MiB are searched in pieces: matches across the reader's 64 KiB blocks and
// across the pieces, and CR LF endings split by a block end, come out as a whole-line
// replacement gives them.
TEST_F(LineFileTest, ReplaceInLinesOfSeveralMegabytes) {
    const std::string path = Work("huge.txt");
    std::string line;
    line.reserve(3600000);
    unsigned seed = 7;
    while (line.size() < 3500000) {
        seed = seed * 1103515245u + 12345u;
        const unsigned pick = (seed >> 16) % 100;
        line += pick < 3 ? "needle" : pick < 5 ? "NeEdLe" : pick < 6 ? "needl" : "abcdefgh";
    }
    // Matches placed across every multiple of 64 KiB and of 1 MiB.
    for (std::size_t edge = 65536; edge + 8 < line.size(); edge += 65536)
        line.replace(edge - 3, 6, "needle");
    // The second line's CR LF ending is split by the end of a 64 KiB block.
    const std::size_t first = line.size() + 2;
    const std::size_t second = (65535 - first % 65536 + 65536) % 65536;
    std::string content = line + "\r\n" + line.substr(0, second) + "\r\n" + line + "needle";
    ASSERT_EQ(65535u, (first + second) % 65536);
    ASSERT_EQ('\r', content[first + second]);
    ASSERT_TRUE(WriteFileBytes(path, content));

    const TextList finds = {"needle", "n"};
    for (const std::string& find : finds) {
        for (bool caseSensitive : {true, false}) {
            SCOPED_TRACE(find + (caseSensitive ? " case-sensitive" : " ignoring case"));
            ASSERT_TRUE(WriteFileBytes(path, content));
            std::string expected = ReplaceAll(content, find, "<pin>", caseSensitive);
            EXPECT_TRUE(ReplaceInTextFile(path, find, "<pin>", caseSensitive));
            const std::string got = ReadFileBytes(path);
            ASSERT_EQ(expected.size(), got.size());
            EXPECT_TRUE(expected == got);
        }
    }
}

// Under a double-byte code page a trail byte equal to the searched character is no match, also
// where a piece of a long line ends between the two bytes of a character.
TEST_F(LineFileTest, ReplaceKeepsDoubleByteCharactersWhole) {
    CPINFO info{};
    if (!GetCPInfo(CP_ACP, &info) || info.MaxCharSize < 2 || !IsDBCSLeadByte(0x95))
        GTEST_SKIP() << "needs a double-byte code page (run with LC_ALL=ja_JP.UTF-8)";
    const std::string path = Work("dbcs.txt");
    const std::string table = "\x95\x5C"; // a character whose trail byte is a backslash
    std::string line;
    while (line.size() < 2300000)
        line += table + "a\\b" + table + table;
    // Odd prefixes move the characters across every piece boundary.
    const std::string content = line + "\r\nx" + line + "\r\n" + table + "\\";
    ASSERT_TRUE(WriteFileBytes(path, content));
    EXPECT_TRUE(ReplaceInTextFile(path, "\\", "/", true));
    const std::string got = ReadFileBytes(path);
    const std::string expected = ReplaceAll(content, "\\", "/", true);
    ASSERT_EQ(expected.size(), got.size());
    EXPECT_TRUE(expected == got);
    EXPECT_EQ(std::string::npos, got.find("\\b"));
    EXPECT_EQ(table + "/", got.substr(got.size() - 3));
}

TEST_F(LineFileTest, ReplaceFailureLeavesFileAsItWas) {
    const std::string path = Work("held.txt");
    const std::string before = "alpha\r\nbeta\x1A\r\n";
    ASSERT_TRUE(WriteFileBytes(path, before));
    {
        // Another process holds it with read sharing only: it can be read but not rewritten.
        FileHolder holder(path, "read");
        ASSERT_TRUE(holder.Held()) << holder.Report();
        EXPECT_FALSE(ReplaceInTextFile(path, "beta", "gamma", true));
        // Nothing to replace: nothing to write, so the edit is done.
        EXPECT_TRUE(ReplaceInTextFile(path, "delta", "gamma", true));
    }
    EXPECT_EQ(before, ReadFileBytes(path));
    EXPECT_TRUE(FilesIn(temp).empty());

    {
        // Held without any sharing: cannot even be read.
        FileHolder holder(path, "none");
        ASSERT_TRUE(holder.Held()) << holder.Report();
        EXPECT_FALSE(ReplaceInTextFile(path, "beta", "gamma", true));
    }
    EXPECT_EQ(before, ReadFileBytes(path));

    // No temporary file can be made (the temporary folder is a file).
    const std::string blocked = Work("blocked");
    ASSERT_TRUE(WriteFileBytes(blocked, "x"));
    SetEnvironmentVariableA("TMP", (blocked + "\\sub").c_str());
    EXPECT_FALSE(ReplaceInTextFile(path, "beta", "gamma", true));
    EXPECT_EQ(before, ReadFileBytes(path));

    EXPECT_FALSE(ReplaceInTextFile(Work("missing.txt"), "a", "b", true));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(Work("missing.txt").c_str()));
}

TEST_F(LineFileTest, ReplaceMakesTheTemporaryFolder) {
    const std::string path = Work("t.txt");
    ASSERT_TRUE(WriteFileBytes(path, "a"));
    const std::string nested = temp + "\\one\\two";
    SetEnvironmentVariableA("TMP", nested.c_str());
    EXPECT_TRUE(ReplaceInTextFile(path, "a", "b", true));
    EXPECT_EQ("b", ReadFileBytes(path));
    EXPECT_TRUE(FilesIn(nested).empty());
}

TEST_F(LineFileTest, OneMessageCheckPerLine) {
    const std::string ini = Work("a.ini");
    ASSERT_TRUE(WriteFileBytes(ini, "[a]\r\nx=1\r\n\r\n[b]\ny=2"));
    OverrideForTesting pump(LinePumpForTesting(), &CountPump);
    TextList lines;
    g_pumps = 0;
    ASSERT_TRUE(ReadIniSectionLines(ini, "b", lines, false));
    EXPECT_EQ(5, g_pumps);
    g_pumps = 0;
    EXPECT_EQ("1", GetIniValue(ini, "a", "x"));
    EXPECT_EQ(2, g_pumps);
    g_pumps = 0;
    EXPECT_TRUE(ReplaceInTextFile(ini, "zzz", "", true));
    EXPECT_EQ(5, g_pumps);
}

} // namespace
