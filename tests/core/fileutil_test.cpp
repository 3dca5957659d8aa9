// File-system utilities on the real file system, each test in a temporary folder of its own.
// The short-name memory lives for the whole process, so each short-name test uses its own names.
#include "setup/core/fileutil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "setup/core/ini_file.h"
#include "setup/core/path.h"
#include "setup/core/handles.h"
#include "support/fixtures.h"

namespace {

using testsupport::ReadFileBytes;
using testsupport::TempFolder;
using testsupport::WriteFileBytes;

bool IsDirectory(const std::string& path) {
    DWORD a = GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

using Lines = std::vector<std::string>;

// The names in a folder, sorted.
Lines Names(const std::string& folder) {
    Lines names;
    WIN32_FIND_DATAA fd;
    FindHandle h(FindFirstFileA((folder + "\\*").c_str(), &fd));
    if (!h)
        return names;
    do {
        std::string n = fd.cFileName;
        if (n != "." && n != "..")
            names.push_back(n);
    } while (FindNextFileA(h.Get(), &fd));
    std::sort(names.begin(), names.end());
    return names;
}

// Whether the folder holds nothing (apart from `except`).
bool HoldsNothing(const std::string& folder, const std::string& except = "") {
    WIN32_FIND_DATAA fd;
    FindHandle h(FindFirstFileA((folder + "\\*").c_str(), &fd));
    if (!h)
        return false; // a folder that cannot be listed is no proof of an empty one
    int entries = 0;
    do {
        std::string n = fd.cFileName;
        entries += n != "." && n != ".." && n != except;
    } while (FindNextFileA(h.Get(), &fd));
    return entries == 0;
}

} // namespace

TEST(ShortNames, IsShortName) {
    for (const char* yes : {"C:\\PROGRA~1\\ABCDEFGH.TXT", "C:", "C:\\", "C:\\A\\..\\B.C"})
        EXPECT_TRUE(IsShortName(yes)) << yes;
    // The last three are at most twelve characters long but still not 8.3 names.
    for (const char* no : {"C:\\ABCDEFGHI\\A.TXT", "C:\\DIR\\ABCDEFGH.HTML", "C:\\ABCDEFGHIJ.A",
                           "C:\\A.B.C", "C:\\AB.CDEF"})
        EXPECT_FALSE(IsShortName(no)) << no;
}

TEST(ShortNames, DirectoryComponentsAreNumberedAndRemembered) {
    EXPECT_EQ(ComputeShortPath("C:\\PROGRA~1\\APP", "SETUP.EXE"), "C:\\PROGRA~1\\APP\\SETUP.EXE");
    EXPECT_EQ(ComputeShortPath("C:\\APP\\", ""), "C:\\APP");
    EXPECT_EQ(ComputeShortPath("C:\\Remember Program Files\\App", "A.TXT"),
              "C:\\Rememb~1\\App\\A.TXT");
    // Same first six characters: the next number; remembered names are found ignoring case.
    EXPECT_EQ(ComputeShortPath("C:\\REMEMBERED Other", "A.TXT"), "C:\\REMEMB~2\\A.TXT");
    EXPECT_EQ(ComputeShortPath("d:\\remember program files\\x", "B"), "d:\\Rememb~1\\x\\B");
    // Blanks, "+" and "=" are dropped; dotted components still become 8.3 names.
    EXPECT_EQ(ComputeShortPath("C:\\Dropped Long Name\\A+B", "x"), "C:\\Droppe~1\\AB\\x");
    EXPECT_EQ(ComputeShortPath("C:\\Dotted.Folder.Name", "x"), "C:\\Dotted~1\\x");
    EXPECT_EQ(ComputeShortPath("C:\\Dot.In.Front", "x"), "C:\\Dot~1.InF\\x");
    EXPECT_EQ(ComputeShortPath("C:\\what?\\long folder", "A.TXT"), "");
}

TEST(ShortNames, NumbersPastNineShortenTheStem) {
    std::string last;
    for (int i = 1; i <= 11; ++i)
        last = ComputeShortPath("C:\\Tenfold directory " + std::to_string(i), "");
    EXPECT_EQ(last, "C:\\Tenfo~11");

    TempFolder temp;
    for (int i = 1; i <= 99; ++i)
        ASSERT_TRUE(WriteFileBytes(temp / ("Hundr~" + std::to_string(i) + ".txt"), ""));
    EXPECT_EQ(FileNameOf(ComputeShortPath(temp.Path(), "Hundred names.txt")), "Hund~100.txt");
}

TEST(ShortNames, FileNamesAreNumberedAgainstExistingFiles) {
    TempFolder temp;
    auto nameFor = [&](const char* n) { return FileNameOf(ComputeShortPath(temp.Path(), n)); };
    EXPECT_EQ(nameFor("Long file name.text"), "Longf~1.tex");
    ASSERT_TRUE(WriteFileBytes(temp / "Longf~1.tex", "x"));
    EXPECT_EQ(nameFor("Long file name.text"), "Longf~2.tex");
    EXPECT_EQ(nameFor("My=File+1.txt"), "MyFil~1.txt");
    EXPECT_EQ(nameFor("archive.tar.gz"), "archi~1.tar");
    EXPECT_EQ(nameFor("NoExtensionAtAll"), "NoExt~1");
    EXPECT_TRUE(IsShortName(ComputeShortPath(temp.Path(), "Long file name.text")));
    EXPECT_EQ(nameFor("a|b.txt"), "");
    EXPECT_EQ(nameFor("long*name.txt"), "");
}

TEST(FileTests, ChecksumSizeAndTime) {
    TempFolder temp;
    std::uint32_t sum = 1;
    ASSERT_TRUE(WriteFileBytes(temp / "five", "\x01\x02\x03\x04\x05"));
    EXPECT_TRUE(FileChecksum(temp / "five", sum));
    EXPECT_EQ(sum, 0x04030201u + 5);
    // Several blocks, a wrapping sum and a three-byte tail.
    std::string bytes;
    std::uint32_t expected = 0;
    for (int i = 0; i < 70003; ++i) {
        bytes += static_cast<char>(0xF0 + i % 13);
        expected += static_cast<std::uint32_t>(0xF0 + i % 13) << (8 * (i % 4));
    }
    ASSERT_TRUE(WriteFileBytes(temp / "big", bytes));
    EXPECT_TRUE(FileChecksum(temp / "big", sum));
    EXPECT_EQ(sum, expected);
    EXPECT_FALSE(FileChecksum(temp / "missing", sum));

    const auto openBig = [&] {
        return KernelHandle(CreateFileA((temp / "big").c_str(), GENERIC_WRITE, 0, nullptr,
                                        OPEN_EXISTING, 0, nullptr));
    };
    const unsigned long long ticks = 116444736000000000ULL + 10000000000000000ULL; // 10^9 s
    FILETIME ft = {static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
    ASSERT_TRUE(SetFileTime(openBig().Get(), nullptr, nullptr, &ft));
    std::uint32_t size = 0;
    std::time_t time = 0;
    EXPECT_TRUE(FileSize(temp / "big", size) && FileTime(temp / "big", time));
    EXPECT_EQ(size, 70003u);
    EXPECT_EQ(time, 1000000000);
    EXPECT_FALSE(FileSize(temp / "missing", size) || FileTime(temp / "missing", time));
    EXPECT_TRUE(size == 0 && time == 0);
    // A size past 32 bits is not reported as a smaller one (a sparse file).
    LARGE_INTEGER at;
    at.QuadPart = 0x100000001LL;
    {
        KernelHandle h = openBig();
        ASSERT_TRUE(SetFilePointerEx(h.Get(), at, nullptr, FILE_BEGIN) && SetEndOfFile(h.Get()));
    }
    EXPECT_FALSE(FileSize(temp / "big", size));
    // The largest size that fits has the low word of a failed size query.
    at.QuadPart = 0xFFFFFFFFLL;
    {
        KernelHandle h = openBig();
        ASSERT_TRUE(SetFilePointerEx(h.Get(), at, nullptr, FILE_BEGIN) && SetEndOfFile(h.Get()));
    }
    EXPECT_TRUE(FileSize(temp / "big", size));
    EXPECT_EQ(size, 0xFFFFFFFFu);
}

TEST(DirectoryChains, CreateAndRemove) {
    TempFolder temp;
    EXPECT_TRUE(CreateDirectoryTree(temp / "a\\b\\c") && IsDirectory(temp / "a\\b\\c"));
    EXPECT_TRUE(CreateDirectoryTree(temp / "a\\b\\c\\"));
    ASSERT_TRUE(WriteFileBytes(temp / "file", "x"));
    EXPECT_FALSE(CreateDirectoryTree(temp / "file\\sub"));
    // Removal stops at the first folder that is not empty.
    ASSERT_TRUE(CreateDirectoryTree(temp / "a\\side"));
    EXPECT_TRUE(RemoveEmptyDirectoryChain(temp / "a\\b\\c"));
    EXPECT_FALSE(IsDirectory(temp / "a\\b"));
    EXPECT_TRUE(IsDirectory(temp / "a\\side"));
    EXPECT_FALSE(RemoveEmptyDirectoryChain(temp / "a"));
    EXPECT_TRUE(RemoveEmptyDirectoryChain(temp / "a\\side\\"));
    EXPECT_FALSE(IsDirectory(temp / "a"));
    EXPECT_TRUE(IsDirectory(temp.Path()));
}

TEST(DirectoryChains, CanWriteToLeavesNothingBehind) {
    TempFolder temp;
    EXPECT_TRUE(CanWriteTo(temp.Path(), true) && CanWriteTo(temp.Path(), false));
    // A missing chain is created to find out, and removed again.
    EXPECT_TRUE(CanWriteTo(temp / "x\\y\\z", true) && CanWriteTo(temp / "x\\y\\z", false));
    EXPECT_TRUE(HoldsNothing(temp.Path()));
    ASSERT_TRUE(CreateDirectoryTree(temp / "x"));
    EXPECT_TRUE(CanWriteTo(temp / "x\\y\\z", true));
    EXPECT_TRUE(HoldsNothing(temp.Path(), "x") && HoldsNothing(temp / "x"));
    ASSERT_TRUE(WriteFileBytes(temp / "file", "x"));
    EXPECT_FALSE(CanWriteTo(temp / "file\\sub\\deeper", false));
}

TEST(UniqueNames, FiveDigitsWithoutExtension) {
    TempFolder temp;
    char tempPath[MAX_PATH];
    const std::string tempDir(tempPath, GetTempPathA(MAX_PATH, tempPath));
    const std::string unique = UniqueNameIn(temp.Path() + "\\"), tempName = TempFileName();
    EXPECT_EQ(ParentOf(unique), temp.Path());
    EXPECT_EQ(ParentOf(tempName) + "\\", tempDir);
    for (const std::string& name : {FileNameOf(unique), FileNameOf(tempName)})
        EXPECT_TRUE(name.size() == 5 && name.find_first_not_of("0123456789") == name.npos) << name;
    EXPECT_TRUE(HoldsNothing(temp.Path()));
}

// Threads that ask for a unique name in the same second are given the same one; whoever loses
// the race to create it must take the next, not fail (nor truncate the winner's file).
struct RaceWork {
    HANDLE start;
    std::string iniFile;
    std::string sharedFolder;
    bool iniAdded = false;
    bool canWrite = false;
};

DWORD WINAPI RaceThread(void* parameter) {
    auto* work = static_cast<RaceWork*>(parameter);
    WaitForSingleObject(work->start, INFINITE);
    work->iniAdded = AddToIniSectionAtEnd(work->iniFile, "rename", {"NUL=C:\\X"});
    work->canWrite = CanWriteTo(work->sharedFolder, false);
    return 0;
}

TEST(UniqueNames, CallersInTheSameSecondEachGetTheirOwn) {
    TempFolder temp;
    constexpr int Threads = 8;
    constexpr int Rounds = 6;
    int iniFailures = 0;
    int probeFailures = 0;
    for (int round = 0; round < Rounds; ++round) {
        KernelHandle start(CreateEventA(nullptr, TRUE, FALSE, nullptr));
        ASSERT_TRUE(start.IsOpen());
        RaceWork work[Threads];
        KernelHandle threads[Threads];
        for (int i = 0; i < Threads; ++i) {
            work[i].start = start.Get();
            work[i].iniFile =
                temp / ("r" + std::to_string(round) + "-" + std::to_string(i) + ".ini");
            work[i].sharedFolder = temp.Path();
            threads[i].Reset(CreateThread(nullptr, 0, RaceThread, &work[i], 0, nullptr));
            ASSERT_TRUE(threads[i].IsOpen());
        }
        SetEvent(start.Get());
        for (KernelHandle& thread : threads)
            WaitForSingleObject(thread.Get(), 60000);
        for (const RaceWork& w : work) {
            iniFailures += w.iniAdded ? 0 : 1;
            probeFailures += w.canWrite ? 0 : 1;
        }
    }
    std::printf("%d threads x %d rounds: INI edits failed %d, write probes failed %d\n", Threads,
                Rounds, iniFailures, probeFailures);
    EXPECT_EQ(iniFailures, 0);
    EXPECT_EQ(probeFailures, 0);
}

TEST(StreamCopies, CopiesContentAndCreatesTheParentTree) {
    TempFolder temp;
    std::string content;
    for (int i = 0; i < 200001; ++i) // several blocks and a tail
        content += static_cast<char>(i * 7);
    ASSERT_TRUE(WriteFileBytes(temp / "src", content));
    ASSERT_TRUE(WriteFileBytes(temp / "old", std::string(300000, 'o')));
    EXPECT_TRUE(CopyFileByStreams(temp / "src", temp / "old"));
    EXPECT_EQ(ReadFileBytes(temp / "old"), content);
    EXPECT_TRUE(CopyFileByStreams(temp / "src", temp / "new\\tree\\copy"));
    EXPECT_EQ(ReadFileBytes(temp / "new\\tree\\copy"), content);
}

TEST(StreamCopies, FailuresAreReported) {
    TempFolder temp;
    ASSERT_TRUE(WriteFileBytes(temp / "src", std::string(100000, 's')));
    ASSERT_TRUE(WriteFileBytes(temp / "dst", "keep"));
    // A missing source leaves the destination alone.
    EXPECT_FALSE(CopyFileByStreams(temp / "missing", temp / "dst"));
    EXPECT_EQ(ReadFileBytes(temp / "dst"), "keep");
    EXPECT_FALSE(CopyFileByStreams(temp / "src", temp / "dst\\sub\\dst"));
    EXPECT_FALSE(CopyFileByStreams(temp / "src", temp.Path()));
    EXPECT_EQ(Names(temp.Path()), (Lines{"dst", "src"}));
}

TEST(StreamCopies, AFailedCopyLeavesTheOldDestination) {
    TempFolder temp;
    ASSERT_TRUE(WriteFileBytes(temp / "src", std::string(200000, 's')));
    ASSERT_TRUE(WriteFileBytes(temp / "dst", "keep"));
    // A real failing read: a process memory file whose first page cannot be read.
    EXPECT_FALSE(CopyFileByStreams("Z:\\proc\\self\\mem", temp / "dst"));
    EXPECT_EQ(ReadFileBytes(temp / "dst"), "keep");
    // A destination in use (open without sharing) cannot be replaced; the copy made beside it
    // goes again.
    {
        KernelHandle inUse(CreateFileA((temp / "dst").c_str(), GENERIC_READ, 0, nullptr,
                                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(inUse);
        EXPECT_FALSE(CopyFileByStreams(temp / "src", temp / "dst"));
    }
    EXPECT_EQ(ReadFileBytes(temp / "dst"), "keep");
    EXPECT_EQ(Names(temp.Path()), (Lines{"dst", "src"}));
    // A read-only destination is not replaced.
    ASSERT_TRUE(SetFileAttributesA((temp / "dst").c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_FALSE(CopyFileByStreams(temp / "src", temp / "dst"));
    EXPECT_EQ(ReadFileBytes(temp / "dst"), "keep");
    EXPECT_EQ(Names(temp.Path()), (Lines{"dst", "src"}));
    ASSERT_TRUE(SetFileAttributesA((temp / "dst").c_str(), FILE_ATTRIBUTE_NORMAL));
    EXPECT_TRUE(CopyFileByStreams(temp / "src", temp / "dst"));
    EXPECT_TRUE(ReadFileBytes(temp / "dst") == std::string(200000, 's'));
    EXPECT_EQ(Names(temp.Path()), (Lines{"dst", "src"}));
}

TEST(StreamCopies, AFileCopiedOntoItselfUnderAnyNameStaysIntact) {
    TempFolder temp;
    const std::string file = temp / "Original Data File.bin";
    const std::string content(150000, 'c');
    ASSERT_TRUE(WriteFileBytes(file, content));
    const std::string shortName = ShortPathOf(file);
    ASSERT_FALSE(shortName.empty());
    ASSERT_NE(FileNameOf(shortName), FileNameOf(file));
    for (const std::string& other :
         {file, temp / "ORIGINAL data FILE.BIN", shortName, temp / ".\\Original Data File.bin"}) {
        EXPECT_FALSE(CopyFileByStreams(file, other)) << other;
        EXPECT_FALSE(CopyFileByStreams(other, file)) << other;
        EXPECT_TRUE(ReadFileBytes(file) == content) << other;
    }
    EXPECT_EQ(Names(temp.Path()), Lines{"Original Data File.bin"});
}

TEST(StreamCopies, OneMessageIsHandledPerBlock) {
    TempFolder temp;
    ASSERT_TRUE(WriteFileBytes(temp / "src", std::string(4 * 65536 + 1, 'p'))); // five blocks
    MSG msg;
    PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE); // the thread's queue
    for (int i = 0; i < 20; ++i)
        ASSERT_TRUE(PostThreadMessageA(GetCurrentThreadId(), WM_APP, 0, 0));
    ASSERT_TRUE(CopyFileByStreams(temp / "src", temp / "dst"));
    int left = 0;
    while (PeekMessageA(&msg, nullptr, WM_APP, WM_APP, PM_REMOVE))
        ++left;
    EXPECT_GE(20 - left, 5);
    EXPECT_LE(20 - left, 6) << "at most one message per step";
}

// The double-byte code page 932 (the cp932 run): names whose trail bytes are a backslash or a
// "|" stay whole, and lengths count characters.
class DoubleByteNames : public ::testing::Test {
protected:
    void SetUp() override {
        if (!testsupport::DoubleByteCodePage())
            GTEST_SKIP() << "needs a double-byte ANSI code page (the cp932 run)";
    }
};

using namespace testsupport::cp932;

TEST_F(DoubleByteNames, RealNamesAreKept) {
    TempFolder temp;
    ASSERT_TRUE(WriteFileBytes(temp / (So + Hyo + ".bin"), "x"));
    EXPECT_EQ(Names(temp.Path()), Lines{So + Hyo + ".bin"})
        << "the locale of the run cannot hold double-byte names";
}

// An 8.3 name holds eight bytes before the dot and three after it: a double-byte character
// takes two, and a cut stops before a character that would not fit whole.
TEST_F(DoubleByteNames, ShortNamesCountBytes) {
    const std::string four = So + Po + Hyo + Fu; // 8 bytes
    struct Row {
        std::string path;
        bool isShort;
    };
    const Row rows[] = {
        {"C:\\" + four, true},
        {"C:\\" + four + "A", false},                           // 9 bytes
        {"C:\\" + four + ".txt\\" + So + ".A" + Po, true},      // 3 bytes after the dot
        {"C:\\" + So + "." + So + Po, false},                   // 4 bytes after the dot
        {"C:\\" + four + "\\" + So + So + So + So + So, false}, // 10 bytes
        // The backslash byte of a character does not end the component: twelve bytes.
        {"C:\\ABCDEFG" + So + "XYZ\\A", false},
    };
    for (const Row& row : rows) {
        const bool seen = IsShortName(row.path);
        std::printf("IsShortName %-28s %d\n", row.path.c_str(), seen);
        EXPECT_EQ(seen, row.isShort) << row.path;
    }
}

TEST_F(DoubleByteNames, ShortFormsOfDoubleByteNamesAreCutInBytes) {
    TempFolder temp;
    const std::string five = So + So + So + So + So; // 10 bytes
    struct Row {
        std::string directory;
        std::string name;
        std::string expected; // in the temporary folder: the file name alone
    };
    const Row rows[] = {
        // Kept: eight bytes before the dot, three after it; "|" trail bytes are no forbidden
        // character.
        {temp.Path(), So + Po + Hyo + Fu + ".txt", So + Po + Hyo + Fu + ".txt"},
        {temp.Path(), Po + So + "." + Po + "x", Po + So + "." + Po + "x"},
        // Numbered: the first five bytes of whole characters, "~1", three bytes of extension.
        {temp.Path(), five + ".txt", So + So + "~1.txt"},
        {temp.Path(), "A" + five + ".txt", "A" + So + So + "~1.txt"},
        {temp.Path(), "AB" + five + "." + So + So, "AB" + So + "~1." + So},
        // Folders: the first six bytes of whole characters and "~1".
        {"C:\\" + Fu + To + Fu + To + Fu, "", "C:\\" + Fu + To + Fu + "~1"},
        {"C:\\A" + Hyo + Hyo + Hyo + Hyo, "x", "C:\\A" + Hyo + Hyo + "~1\\x"},
        {"C:\\Kana" + Bun + "Folder", Po + Po + Po + Po + Po + Po + ".text",
         "C:\\Kana" + Bun + "~1\\" + Po + Po + "~1.tex"},
        {"C:\\" + So + "dir", "a|b.txt", ""},
    };
    for (const Row& row : rows) {
        // In the temporary folder (whose own long name is shortened too) only the file name.
        const std::string path = ComputeShortPath(row.directory, row.name);
        const std::string seen = row.directory == temp.Path() ? FileNameOf(path) : path;
        std::printf("ComputeShortPath %s + %s -> %s\n", row.directory.c_str(), row.name.c_str(),
                    seen.c_str());
        EXPECT_EQ(seen, row.expected) << row.directory << " + " << row.name;
        if (!seen.empty()) {
            const std::string name = FileNameOf(seen);
            EXPECT_LE(name.substr(0, name.find('.')).size(), 8u) << seen;
            EXPECT_TRUE(IsShortName("C:\\" + name)) << seen;
        }
    }
    // The number is chosen against the double-byte names present in the folder.
    ASSERT_TRUE(WriteFileBytes(temp / (So + So + "~1.txt"), "x"));
    EXPECT_EQ(Names(temp.Path()), Lines{So + So + "~1.txt"});
    EXPECT_EQ(FileNameOf(ComputeShortPath(temp.Path(), five + ".txt")), So + So + "~2.txt");
}

TEST_F(DoubleByteNames, FolderChainsAndCopies) {
    TempFolder temp;
    ASSERT_TRUE(WriteFileBytes(temp / "keep", ""));     // the chain's removal stops here
    const std::string folder = temp / (Fu + "\\" + So); // the last name ends in the byte 0x5C
    ASSERT_TRUE(CreateDirectoryTree(folder));
    EXPECT_TRUE(RemoveEmptyDirectoryChain(folder));
    EXPECT_EQ(Names(temp.Path()), Lines{"keep"});

    EXPECT_TRUE(CanWriteTo(temp / (Hyo + "\\" + So), true));
    EXPECT_EQ(Names(temp.Path()), Lines{"keep"});

    const std::string source = temp / (Hyo + ".bin");
    const std::string copy = temp / (So + "\\" + Po + Hyo + ".bin");
    ASSERT_TRUE(WriteFileBytes(source, std::string(70000, 'k')));
    EXPECT_TRUE(CopyFileByStreams(source, copy));
    EXPECT_TRUE(ReadFileBytes(copy) == std::string(70000, 'k'));
    EXPECT_FALSE(CopyFileByStreams(copy, temp / (So + "\\" + Po + Hyo + ".BIN")));
    EXPECT_TRUE(ReadFileBytes(copy) == std::string(70000, 'k'));
    EXPECT_EQ(Names(temp / So), Lines{Po + Hyo + ".bin"});
}
