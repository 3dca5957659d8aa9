// Path operations: text forms, the network-root probe (through a recording connector), and the
// tests that look at the real file system.
#include "setup/core/path.h"

#include "setup/core/handles.h"

#include "support/fixtures.h"

#include <gtest/gtest.h>

#include <set>
#include <utility>
#include <vector>

using testsupport::TempFolder;

TEST(PathText, NormalizePath) {
    EXPECT_EQ(NormalizePath("C:"), "C:\\");
    EXPECT_EQ(NormalizePath("C:\\dir\\"), "C:\\dir");
    EXPECT_EQ(NormalizePath("C:dir"), "C:\\dir");
    EXPECT_EQ(NormalizePath("  C:\\dir\\\\sub\\  "), "C:\\dir\\sub");
    EXPECT_EQ(NormalizePath("\\\\srv\\\\share\\\\dir\\"), "\\\\srv\\share\\dir");
    EXPECT_EQ(NormalizePath(" \\\\srv\\share"), "\\\\srv\\share");
    // An unexpanded macro keeps its colon as it is.
    EXPECT_EQ(NormalizePath("<DL:>setup"), "<DL:>setup");
}

TEST(PathText, JoinParentAndName) {
    EXPECT_EQ(JoinPath("", " name ", false), "name");
    EXPECT_EQ(JoinPath(" C:\\dir ", " a.txt ", false), "C:\\dir\\a.txt");
    EXPECT_EQ(JoinPath("C:\\dir\\", "a.txt", false), "C:\\dir\\\\a.txt");
    EXPECT_EQ(JoinPath("C:\\dir\\", "a.txt", true), "C:\\dir\\a.txt");
    EXPECT_EQ(ParentOf("C:\\a\\b.txt"), "C:\\a");
    EXPECT_EQ(ParentOf("b.txt"), "");
    EXPECT_EQ(FileNameOf("C:\\a\\b.txt"), "b.txt");
    EXPECT_EQ(FileNameOf("C:\\a\\"), "");
}

TEST(PathText, RootsWithoutProbing) {
    EXPECT_FALSE(IsUncPath("\\\\"));
    EXPECT_TRUE(IsUncPath("\\\\s"));
    EXPECT_FALSE(IsUncPath("C:\\\\s"));
    EXPECT_EQ(PathRootText("d:\\x\\y", false), "d");
    EXPECT_EQ(PathRootText("\\\\srv\\share\\x", true), "\\\\srv\\share");
    EXPECT_EQ(PathBelowRoot("C:\\dir\\x"), "dir\\x");
    EXPECT_EQ(PathBelowRoot("  c:dir"), "dir");
    EXPECT_EQ(PathBelowRoot("\\\\srv\\share\\dir\\x"), "dir\\x");
    EXPECT_EQ(PathBelowRoot("\\\\SRV\\share"), "");
    EXPECT_EQ(PathRoot("d:\\setup\\x.dll"), "d:");
    EXPECT_EQ(PathRoot(" C:\\ "), "C:");
    EXPECT_EQ(PathRoot("setup\\x.dll"), "");
    EXPECT_EQ(PathRoot("ab:\\x"), "");
}

namespace {

// Records the probe's calls and connects only the remote names it is told to.
class RecordingConnector : public NetworkConnector {
public:
    std::set<std::string> reachable;
    std::vector<std::pair<std::string, std::string>> connects;
    std::vector<std::string> cancels;

    unsigned long Connect(const std::string& drive, const std::string& remote) override {
        connects.emplace_back(drive, remote);
        return reachable.count(remote) ? 0 : 1222;
    }
    unsigned long Cancel(const std::string& drive) override {
        cancels.push_back(drive);
        return 0;
    }
};

unsigned long AllDrivesUsed() {
    return 0x03FFFFFF;
}
unsigned long OnlyDriveF() {
    return 1ul << ('F' - 'A');
}
unsigned long NoDrives() {
    return 0;
}

class NetworkRoot : public ::testing::Test {
protected:
    void SetUp() override { ClearUncRootCache(); }
    void TearDown() override { ClearUncRootCache(); }
    std::vector<std::string> Remotes() const {
        std::vector<std::string> out;
        for (const auto& c : connector.connects)
            out.push_back(c.second);
        return out;
    }

    RecordingConnector connector;

private:
    OverrideForTesting<NetworkConnector*> m_connector{NetworkConnectorForTesting(), &connector};
};

} // namespace

TEST_F(NetworkRoot, ShareThatConnectsIsTheRootAndConnectionIsCancelled) {
    connector.reachable = {"\\\\srv\\share"};
    EXPECT_EQ(PathRoot("\\\\srv\\share\\a\\b.txt"), "\\\\srv\\share");
    ASSERT_EQ(connector.connects.size(), 1u);
    std::string drive = FirstFreeDriveLetter() + ":";
    EXPECT_EQ(connector.connects[0].first, drive);
    EXPECT_EQ(connector.cancels, (std::vector<std::string>{drive}));
}

TEST_F(NetworkRoot, DeeperPrefixBecomesTheRoot) {
    connector.reachable = {"\\\\srv\\share\\a"};
    EXPECT_EQ(PathRoot("\\\\srv\\share\\a\\b\\"), "\\\\srv\\share\\a");
    EXPECT_EQ(Remotes(), (std::vector<std::string>{"\\\\srv\\share", "\\\\srv\\share\\a"}));
    EXPECT_EQ(connector.cancels.size(), 1u);
}

TEST_F(NetworkRoot, NothingConnectsGivesServerAndShareUncached) {
    EXPECT_EQ(PathRoot("\\\\srv\\share\\a\\b"), "\\\\srv\\share");
    EXPECT_EQ(Remotes(), (std::vector<std::string>{"\\\\srv\\share", "\\\\srv\\share\\a",
                                                   "\\\\srv\\share\\a\\b"}));
    EXPECT_TRUE(connector.cancels.empty());
    connector.connects.clear();
    EXPECT_EQ(PathRoot("\\\\srv\\share\\a\\b"), "\\\\srv\\share");
    EXPECT_EQ(connector.connects.size(), 3u);
}

TEST_F(NetworkRoot, CachedRootAnswersWithoutProbing) {
    connector.reachable = {"\\\\srv\\share\\deep"};
    ASSERT_EQ(PathRoot("\\\\srv\\share\\deep\\x"), "\\\\srv\\share\\deep");
    connector.connects.clear();
    EXPECT_EQ(PathRoot("\\\\SRV\\Share\\Deep\\other\\file"), "\\\\srv\\share\\deep");
    EXPECT_EQ(PathRoot("\\\\srv\\share\\deep"), "\\\\srv\\share\\deep");
    EXPECT_TRUE(connector.connects.empty());
    // A share whose name only begins like the cached one is probed on its own.
    EXPECT_EQ(PathRoot("\\\\srv\\share\\deeper\\x"), "\\\\srv\\share");
    EXPECT_FALSE(connector.connects.empty());
}

TEST_F(NetworkRoot, MalformedNetworkPathsHaveNoRoot) {
    EXPECT_EQ(PathRoot("\\\\\\share\\x"), "");
    EXPECT_EQ(PathRoot("\\\\srv"), "");
    EXPECT_EQ(PathRoot("\\\\srv\\"), "");
    EXPECT_EQ(PathRoot("dir\\\\srv\\share"), "");
    EXPECT_TRUE(connector.connects.empty());
}

TEST_F(NetworkRoot, NoFreeDriveLetterSkipsTheProbe) {
    connector.reachable = {"\\\\srv\\share"};
    {
        OverrideForTesting drives(DriveMaskSourceForTesting(), &AllDrivesUsed);
        EXPECT_EQ(FirstFreeDriveLetter(), "");
        EXPECT_EQ(PathRoot("\\\\srv\\share\\a"), "\\\\srv\\share");
        EXPECT_TRUE(connector.connects.empty());
    }
    // Nothing was cached: with a letter free again the share is probed.
    EXPECT_EQ(PathRoot("\\\\srv\\share\\a"), "\\\\srv\\share");
    EXPECT_EQ(connector.connects.size(), 1u);
}

TEST_F(NetworkRoot, PlatformConnectorUnderThisSystem) {
    OverrideForTesting platformConnector(NetworkConnectorForTesting(), nullptr);
    // Without a network every connection fails: the root is server and share.
    EXPECT_EQ(PathRoot("\\\\tarvo-nosuchhost\\share\\dir\\f.txt"), "\\\\tarvo-nosuchhost\\share");
}

// Each row: a drive mask, and what the drive-letter queries answer under it: the first free
// letter (from F:) and which of a few texts name a drive in use.
TEST_F(NetworkRoot, DriveLetters) {
    struct Row {
        const char* name;
        DriveMaskSource source;
        const char* expected;
    };
    const Row rows[] = {
        {"no drives", &NoDrives, "first free: F; in use:"},
        {"only F:", &OnlyDriveF, "first free: G; in use: f"},
        {"every letter", &AllDrivesUsed, "first free: ; in use: a c f G z"},
    };
    for (const Row& row : rows) {
        OverrideForTesting drives(DriveMaskSourceForTesting(), row.source);
        std::string saw = "first free: " + FirstFreeDriveLetter() + "; in use:";
        for (const char* text : {"a", "c", "f", "G", "z", "", "1"})
            if (DriveInUse(text))
                saw += std::string(" ") + text;
        EXPECT_EQ(saw, row.expected) << row.name;
    }
    EXPECT_TRUE(DriveInUse("c"));
    std::string free = FirstFreeDriveLetter();
    ASSERT_EQ(free.size(), 1u);
    EXPECT_GE(free[0], 'F');
    EXPECT_FALSE(DriveInUse(free));
}

class PathOnDisk : public ::testing::Test {
protected:
    TempFolder temp;
};

TEST_F(PathOnDisk, CanOpenForReadingOpensWithoutCreating) {
    std::string file = temp / "present.txt";
    ASSERT_TRUE(testsupport::WriteFileBytes(file, "x"));
    EXPECT_TRUE(CanOpenForReading(file));
    EXPECT_FALSE(CanOpenForReading(temp / "absent.txt"));
    EXPECT_EQ(GetFileAttributesA((temp / "absent.txt").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_FALSE(CanOpenForReading(temp.Path()));
    EXPECT_FALSE(CanOpenForReading(""));

    // A file someone holds counts only when it can still be read, as by the run-time library's
    // reading open: shared for reading (even while it is written), not held exclusively.
    {
        KernelHandle writer(CreateFileA(file.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(writer.IsOpen());
        EXPECT_TRUE(CanOpenForReading(file)) << "held for writing, shared for reading";
    }
    {
        KernelHandle exclusive(CreateFileA(file.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                           FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(exclusive.IsOpen());
        EXPECT_FALSE(CanOpenForReading(file)) << "held without sharing";
    }
    EXPECT_TRUE(CanOpenForReading(file)) << "let go again";
}

TEST_F(PathOnDisk, WhatIsAtFindsFolders) {
    EXPECT_TRUE(WhatIsAt(temp.Path()) == PathKind::Folder);
    EXPECT_TRUE(WhatIsAt(temp.Path() + "\\") == PathKind::Folder);
    EXPECT_TRUE(WhatIsAt("C:") == PathKind::Folder);
    ASSERT_TRUE(testsupport::WriteFileBytes(temp / "f.txt", ""));
    EXPECT_FALSE(WhatIsAt(temp / "f.txt") == PathKind::Folder);
    EXPECT_FALSE(WhatIsAt(temp / "missing") == PathKind::Folder);
    EXPECT_FALSE(WhatIsAt("") == PathKind::Folder);
}

// What is there and whether it can be read are two questions: a file held without sharing is
// there (its name is taken) but cannot be opened.
TEST_F(PathOnDisk, WhatIsAtAndCanOpenForReadingAnswerDifferentQuestions) {
    const std::string file = temp / "file.txt";
    const std::string folder = temp / "folder";
    const std::string held = temp / "held.txt";
    ASSERT_TRUE(testsupport::WriteFileBytes(file, "x"));
    ASSERT_TRUE(testsupport::WriteFileBytes(held, "y"));
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
    KernelHandle exclusive(CreateFileA(held.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(exclusive.IsOpen());
    const char* const names[] = {"nothing", "file", "folder"};
    const struct {
        std::string path;
        PathKind kind;
        bool readable;
    } rows[] = {
        {file, PathKind::File, true},
        {held, PathKind::File, false},
        {folder, PathKind::Folder, false},
        {folder + "\\", PathKind::Folder, false},
        {"C:", PathKind::Folder, false},
        {"C:\\", PathKind::Folder, false},
        {temp / "missing", PathKind::Nothing, false},
        {temp / "missing\\deeper.txt", PathKind::Nothing, false},
        {"", PathKind::Nothing, false},
    };
    for (const auto& row : rows) {
        const PathKind kind = WhatIsAt(row.path);
        EXPECT_EQ(kind, row.kind) << row.path << ": saw " << names[static_cast<int>(kind)];
        EXPECT_EQ(CanOpenForReading(row.path), row.readable) << row.path;
    }
}

TEST_F(PathOnDisk, ClassifyPath) {
    ASSERT_TRUE(testsupport::WriteFileBytes(temp / "f.txt", ""));
    EXPECT_EQ(ClassifyPath(""), PathTooShort);
    EXPECT_EQ(ClassifyPath("C"), PathTooShort);
    EXPECT_EQ(ClassifyPath("C:"), PathIsDirectory);
    EXPECT_EQ(ClassifyPath(temp.Path()), PathIsDirectory);
    EXPECT_EQ(ClassifyPath(temp.Path() + "\\"), PathIsDirectory);
    EXPECT_EQ(ClassifyPath(temp / "f.txt"), PathIsFileOrNothing);
    EXPECT_EQ(ClassifyPath(temp / "missing\\deeper"), PathIsFileOrNothing);
    EXPECT_EQ(ClassifyPath("relative\\path"), PathDriveRootMissing);
    std::string unused = FirstFreeDriveLetter();
    ASSERT_FALSE(unused.empty());
    EXPECT_EQ(ClassifyPath(unused + ":\\dir"), PathDriveRootMissing);
    ClearUncRootCache();
    EXPECT_EQ(ClassifyPath("\\\\tarvo-nosuchhost\\share\\x"), PathNetworkRootMissing);
}

TEST_F(PathOnDisk, ShortPathOf) {
    std::string folder = temp / "A Long Folder Name";
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
    std::string shortForm = ShortPathOf(folder);
    ASSERT_FALSE(shortForm.empty());
    EXPECT_EQ(shortForm.find(' '), std::string::npos);
    EXPECT_TRUE(WhatIsAt(shortForm) == PathKind::Folder);
    EXPECT_EQ(ShortPathOf(temp / "missing"), "");
}

namespace {

bool DoubleByteCodePage() {
    CPINFO info{};
    return GetCPInfo(CP_ACP, &info) && info.MaxCharSize > 1;
}

} // namespace

// 0x95 0x5C is one character of code page 932 whose trail byte is a backslash.
TEST(PathDoubleByte, TrailByteIsNoSeparator) {
    if (!DoubleByteCodePage())
        GTEST_SKIP() << "needs a double-byte ANSI code page (the cp932 run)";
    const std::string kanji = "\x95\x5C";
    EXPECT_EQ(ParentOf("C:\\" + kanji), "C:");
    EXPECT_EQ(FileNameOf("C:\\" + kanji), kanji);
    EXPECT_EQ(NormalizePath("C:\\" + kanji + "\\dir\\"), "C:\\" + kanji + "\\dir");
    EXPECT_EQ(NormalizePath("C:\\dir\\" + kanji), "C:\\dir\\" + kanji);
    EXPECT_EQ(PathRoot("C:\\" + kanji + "\\"), "C:");
}
