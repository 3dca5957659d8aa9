// Restart scheduling (through a recording platform, never the machine's real rename lists) and
// the byte-faithful editing of text and INI files. The real restart is proved by the restart
// stage (tests/restart).
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "setup/core/handles.h"
#include "setup/core/path.h"
#include "setup/core/restart_ini.h"
#include "setup/core/text.h"
#include "support/file_holder.h"
#include "support/fixtures.h"

using testsupport::FileHolder;
using testsupport::ReadFileBytes;
using testsupport::TempFolder;
using testsupport::WriteFileBytes;

namespace {

int g_pumps = 0;
void CountPump() {
    ++g_pumps;
}

// Platform id and Windows folder chosen by the test; delayed moves are recorded, not made.
class RecordingPlatform : public RestartPlatform {
public:
    DWORD id = 1;
    std::string windows;
    bool accept = true;
    std::vector<std::pair<std::string, std::string>> moves;

    DWORD PlatformId() override { return id; }
    std::string WindowsFolder() override { return windows; }
    bool MoveAtRestart(const std::string& source, const std::string& target) override {
        moves.emplace_back(source, target);
        return accept;
    }
};

std::vector<std::string> FilesIn(const std::string& folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA data;
    FindHandle find(FindFirstFileA((folder + "\\*").c_str(), &data));
    if (!find.IsOpen())
        return names;
    do {
        if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            names.push_back(data.cFileName);
    } while (FindNextFileA(find.Get(), &data));
    std::sort(names.begin(), names.end());
    return names;
}

// Every test gets a fresh folder with a private temporary folder (TMP) inside it, so that left
// temporary files show, and a recording restart platform whose Windows folder is also inside.
class RestartIniTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_oldTmp = testsupport::EnvText("TMP");
        temp = m_folder / "tmp";
        CreateDirectoryA(temp.c_str(), nullptr);
        SetEnvironmentVariableA("TMP", temp.c_str());
        platform.windows = m_folder / "windows";
        CreateDirectoryA(platform.windows.c_str(), nullptr);
        wininit = platform.windows + "\\WININIT.INI";
        work = m_folder / "work";
        CreateDirectoryA(work.c_str(), nullptr);
    }
    void TearDown() override {
        SetEnvironmentVariableA("TMP", m_oldTmp.empty() ? nullptr : m_oldTmp.c_str());
    }
    std::string Work(const std::string& name) const { return work + "\\" + name; }

    RecordingPlatform platform;
    std::string temp;
    std::string wininit;
    std::string work;

private:
    TempFolder m_folder;
    std::string m_oldTmp;
    OverrideForTesting<RestartPlatform*> m_platform{RestartPlatformForTesting(), &platform};
};

// --- ReplaceInTextFile -------------------------------------------------------------------------

TEST_F(RestartIniTest, ReplaceKeepsEveryByteAndLineEnding) {
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

TEST_F(RestartIniTest, ReplaceOnReadOnlyFileWithLongLine) {
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
TEST_F(RestartIniTest, ReplaceInLinesOfSeveralMegabytes) {
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
TEST_F(RestartIniTest, ReplaceKeepsDoubleByteCharactersWhole) {
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

TEST_F(RestartIniTest, ReplaceFailureLeavesFileAsItWas) {
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

TEST_F(RestartIniTest, ReplaceMakesTheTemporaryFolder) {
    const std::string path = Work("t.txt");
    ASSERT_TRUE(WriteFileBytes(path, "a"));
    const std::string nested = temp + "\\one\\two";
    SetEnvironmentVariableA("TMP", nested.c_str());
    EXPECT_TRUE(ReplaceInTextFile(path, "a", "b", true));
    EXPECT_EQ("b", ReadFileBytes(path));
    EXPECT_TRUE(FilesIn(nested).empty());
}

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

TEST_F(RestartIniTest, ReadSectionLines) {
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

TEST_F(RestartIniTest, RemoveSectionsKeepsEverythingElse) {
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

TEST_F(RestartIniTest, RemoveSectionsFailureLeavesFileAsItWas) {
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

TEST_F(RestartIniTest, AppendSectionStartsOnALineOfItsOwn) {
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

TEST_F(RestartIniTest, GetValue) {
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

TEST_F(RestartIniTest, OneMessageCheckPerLine) {
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

// --- Restart scheduling ------------------------------------------------------------------------

TEST_F(RestartIniTest, Win9xRenameSectionKeepsEarlierLinesAndMovesToTheEnd) {
    platform.id = 1;
    ASSERT_TRUE(WriteFileBytes(wininit, "[rename]\r\n"
                                        "NUL=C:\\OLD1.TXT\r\n"
                                        "C:\\DEST.TXT=C:\\SRC.TXT\r\n"
                                        "\r\n"
                                        "[other]\r\n"
                                        "x=1\r\n"
                                        "[Rename]\r\n"
                                        "NUL=C:\\OLD2.TXT\r\n"));
    const std::string first = Work("first.dll");
    const std::string second = Work("second.dll");
    const std::string newer = Work("newer.bin");
    ASSERT_TRUE(WriteFileBytes(first, "old 1"));
    ASSERT_TRUE(WriteFileBytes(second, "old 2"));
    ASSERT_TRUE(WriteFileBytes(newer, "new"));

    ASSERT_TRUE(ReplaceFileAtReboot(newer, first));
    ASSERT_TRUE(ReplaceFileAtReboot(newer, second));
    ASSERT_TRUE(DeleteFileAtReboot(newer));

    // One staging copy per scheduled file, with the new content; nothing replaced yet.
    const std::vector<std::string> files = FilesIn(work);
    ASSERT_EQ(5u, files.size());
    std::vector<std::string> staging;
    for (const std::string& name : files) {
        if (name != "first.dll" && name != "second.dll" && name != "newer.bin")
            staging.push_back(work + "\\" + name);
    }
    ASSERT_EQ(2u, staging.size());
    EXPECT_EQ("new", ReadFileBytes(staging[0]));
    EXPECT_EQ("old 1", ReadFileBytes(first));

    const std::string text = ReadFileBytes(wininit);
    EXPECT_EQ(0u, text.find("[other]\r\nx=1\r\n\r\n[rename]\r\n")) << text;
    TextList lines;
    ASSERT_TRUE(ReadIniSectionLines(wininit, "rename", lines, true));
    const std::string shortFirst = ShortPathOf(first);
    const std::string shortSecond = ShortPathOf(second);
    ASSERT_FALSE(shortFirst.empty());
    ASSERT_EQ(8u, lines.size());
    EXPECT_EQ("NUL=C:\\OLD1.TXT", lines[0]);
    EXPECT_EQ("C:\\DEST.TXT=C:\\SRC.TXT", lines[1]);
    EXPECT_EQ("NUL=C:\\OLD2.TXT", lines[2]);
    EXPECT_EQ("NUL=" + shortFirst, lines[3]);
    EXPECT_EQ("NUL=" + shortSecond, lines[5]);
    EXPECT_EQ("NUL=" + ShortPathOf(newer), lines[7]);
    for (int pair : {4, 6}) {
        const std::string target = TextBefore(lines[pair], "=");
        const std::string source = TextAfter(lines[pair], "=");
        EXPECT_EQ(pair == 4 ? shortFirst : shortSecond, target);
        EXPECT_TRUE(std::any_of(staging.begin(), staging.end(), [&](const std::string& s) {
            return EqualText(ShortPathOf(s), source, false);
        })) << source;
    }
    // Scheduling again does not pile up blank lines before the section.
    ASSERT_TRUE(DeleteFileAtReboot(newer));
    EXPECT_EQ(0u, ReadFileBytes(wininit).find("[other]\r\nx=1\r\n\r\n[rename]\r\n"));
    EXPECT_TRUE(platform.moves.empty());
    EXPECT_TRUE(FilesIn(temp).empty());
}

TEST_F(RestartIniTest, Win9xCreatesWininit) {
    platform.id = 1;
    const std::string target = Work("in use.dat");
    ASSERT_TRUE(WriteFileBytes(target, "old"));
    ASSERT_TRUE(DeleteFileAtReboot(target));
    EXPECT_EQ("[rename]\r\nNUL=" + ShortPathOf(target) + "\r\n", ReadFileBytes(wininit));
}

TEST_F(RestartIniTest, Win9xNothingScheduledWhenWininitCannotBeRewritten) {
    platform.id = 1;
    const std::string before = "[rename]\r\nNUL=C:\\OLD1.TXT\r\n";
    ASSERT_TRUE(WriteFileBytes(wininit, before));
    const std::string target = Work("target.dll");
    const std::string newer = Work("newer.bin");
    ASSERT_TRUE(WriteFileBytes(target, "old"));
    ASSERT_TRUE(WriteFileBytes(newer, "new"));
    {
        FileHolder holder(wininit, "read");
        ASSERT_TRUE(holder.Held()) << holder.Report();
        EXPECT_FALSE(ReplaceFileAtReboot(newer, target));
        EXPECT_FALSE(DeleteFileAtReboot(target));
    }
    EXPECT_EQ(before, ReadFileBytes(wininit));
    EXPECT_EQ((std::vector<std::string>{"newer.bin", "target.dll"}), FilesIn(work));
    EXPECT_TRUE(FilesIn(temp).empty());
}

TEST_F(RestartIniTest, Win9xNeverWritesAnEmptyShortPath) {
    platform.id = 1;
    const std::string newer = Work("newer.bin");
    ASSERT_TRUE(WriteFileBytes(newer, "new"));
    EXPECT_FALSE(ReplaceFileAtReboot(newer, Work("absent.dll")));
    EXPECT_FALSE(DeleteFileAtReboot(Work("absent.dll")));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(wininit.c_str()));
    EXPECT_EQ(std::vector<std::string>{"newer.bin"}, FilesIn(work));
}

TEST_F(RestartIniTest, NtSchedulesOneReplacingMove) {
    platform.id = 2;
    const std::string target = Work("sub\\dir\\target.dll");
    const std::string newer = Work("newer.bin");
    ASSERT_TRUE(WriteFileBytes(newer, "new"));

    // The target's folder is made for the staging copy.
    ASSERT_TRUE(ReplaceFileAtReboot(newer, target));
    ASSERT_EQ(1u, platform.moves.size());
    const std::string staging = platform.moves[0].first;
    EXPECT_EQ(target, platform.moves[0].second);
    EXPECT_TRUE(EqualText(ParentOf(staging), ParentOf(target), false));
    EXPECT_EQ("new", ReadFileBytes(staging));

    ASSERT_TRUE(DeleteFileAtReboot(newer));
    ASSERT_EQ(2u, platform.moves.size());
    EXPECT_EQ(newer, platform.moves[1].first);
    EXPECT_EQ("", platform.moves[1].second);
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(wininit.c_str()));
}

TEST_F(RestartIniTest, NtRefusedMoveRemovesTheStagingCopy) {
    platform.id = 2;
    platform.accept = false;
    const std::string target = Work("target.dll");
    const std::string newer = Work("newer.bin");
    ASSERT_TRUE(WriteFileBytes(target, "old"));
    ASSERT_TRUE(WriteFileBytes(newer, "new"));
    ASSERT_TRUE(SetFileAttributesA(newer.c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_FALSE(ReplaceFileAtReboot(newer, target));
    EXPECT_FALSE(DeleteFileAtReboot(target));
    EXPECT_EQ(2u, platform.moves.size());
    EXPECT_EQ((std::vector<std::string>{"newer.bin", "target.dll"}), FilesIn(work));
    EXPECT_EQ("old", ReadFileBytes(target));
    SetFileAttributesA(newer.c_str(), FILE_ATTRIBUTE_NORMAL);

    // A new file that cannot be read schedules nothing.
    platform.accept = true;
    EXPECT_FALSE(ReplaceFileAtReboot(Work("absent.bin"), target));
    EXPECT_EQ(2u, platform.moves.size());
    EXPECT_EQ((std::vector<std::string>{"newer.bin", "target.dll"}), FilesIn(work));
}

} // namespace
