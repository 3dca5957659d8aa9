// Restart scheduling through a recording platform, never the machine's real rename lists. The
// real restart is proved by the restart stage (tests/restart).
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "setup/core/ini_file.h"
#include "setup/core/restart_schedule.h"
#include "setup/core/path.h"
#include "setup/core/text.h"
#include "support/file_holder.h"
#include "support/fixtures.h"
#include "text_file_fixture.h"

using testsupport::FileHolder;
using testsupport::ReadFileBytes;
using testsupport::WriteFileBytes;

namespace {

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

// A recording restart platform whose Windows folder lies in the test's folder.
class RestartScheduleTest : public TextFileTest {
protected:
    void SetUp() override {
        TextFileTest::SetUp();
        platform.windows = MakeFolder("windows");
        wininit = platform.windows + "\\WININIT.INI";
    }

    RecordingPlatform platform;
    std::string wininit;

private:
    OverrideForTesting<RestartPlatform*> m_platform{RestartPlatformForTesting(), &platform};
};

// --- Restart scheduling ------------------------------------------------------------------------

TEST_F(RestartScheduleTest, Win9xRenameSectionKeepsEarlierLinesAndMovesToTheEnd) {
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

TEST_F(RestartScheduleTest, Win9xCreatesWininit) {
    platform.id = 1;
    const std::string target = Work("in use.dat");
    ASSERT_TRUE(WriteFileBytes(target, "old"));
    ASSERT_TRUE(DeleteFileAtReboot(target));
    EXPECT_EQ("[rename]\r\nNUL=" + ShortPathOf(target) + "\r\n", ReadFileBytes(wininit));
}

TEST_F(RestartScheduleTest, Win9xNothingScheduledWhenWininitCannotBeRewritten) {
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

TEST_F(RestartScheduleTest, Win9xNeverWritesAnEmptyShortPath) {
    platform.id = 1;
    const std::string newer = Work("newer.bin");
    ASSERT_TRUE(WriteFileBytes(newer, "new"));
    EXPECT_FALSE(ReplaceFileAtReboot(newer, Work("absent.dll")));
    EXPECT_FALSE(DeleteFileAtReboot(Work("absent.dll")));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(wininit.c_str()));
    EXPECT_EQ(std::vector<std::string>{"newer.bin"}, FilesIn(work));
}

TEST_F(RestartScheduleTest, NtSchedulesOneReplacingMove) {
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

TEST_F(RestartScheduleTest, NtRefusedMoveRemovesTheStagingCopy) {
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
