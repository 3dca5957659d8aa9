// A diskette set read across its diskettes: the list, which diskette is in the drive, the
// prompt that asks for the next one by its label, and files that continue on the next diskette
// (compressed and plain), damaged or cut short, or on a diskette the user never inserts. The
// drive is a folder whose content the prompt replaces by the next diskette's, as a person would.
#include <gtest/gtest.h>

#include <deque>
#include <map>

#include "setup/core/disk_set.h"
#include "setup/core/medium_file.h"
#include "tests/support/fixtures.h"
#include "tests/support/medium_form.h"

using testsupport::ReadFileBytes;
using testsupport::TempFolder;
using testsupport::WriteFileBytes;

namespace {

using Disk = std::map<std::string, std::string>; // path below the drive -> bytes

// What the person at the drive does at each prompt: insert diskette n (0: give up).
struct Person {
    std::string drive;
    std::vector<Disk> disks;
    std::deque<int> answers;
    std::vector<std::string> prompts;
};
Person* g_person = nullptr;

void Insert(const std::string& drive, const Disk& disk) {
    for (const std::string& name : testsupport::FilesIn(drive))
        DeleteFileA((drive + "\\" + name).c_str());
    for (const auto& [path, bytes] : disk)
        EXPECT_TRUE(WriteFileBytes(drive + "\\" + path, bytes)) << path;
}

bool Answer(const std::string& text, const std::string& caption) {
    g_person->prompts.push_back(caption + ": " + text);
    if (g_person->answers.empty())
        return false;
    const int n = g_person->answers.front();
    g_person->answers.pop_front();
    if (n == 0)
        return false;
    Insert(g_person->drive, g_person->disks[static_cast<std::size_t>(n - 1)]);
    return true;
}

std::string Pattern(std::size_t size) {
    std::string s(size, '\0');
    unsigned v = 12345;
    for (char& c : s) {
        v = v * 1103515245u + 12345u;
        c = static_cast<char>(v >> 16);
    }
    return s;
}

class DiskSetTest : public ::testing::Test {
protected:
    void SetUp() override { g_person = &m_person; }
    void TearDown() override {
        ForgetDiskSet();
        g_person = nullptr;
    }

    // Cuts `stored` (the bytes on the medium) into parts of the given sizes on diskettes 1, 2, ...
    // and writes the list; diskette 1 is in the drive.
    void MakeSet(const std::string& line, const std::string& stored,
                 const std::vector<std::size_t>& sizes, const std::string& name = "BIG.BIN") {
        m_person.drive = m_drive.Path();
        m_person.disks.assign(3, Disk());
        std::string parts;
        std::size_t at = 0;
        for (std::size_t i = 0; i < sizes.size(); ++i) {
            m_person.disks[i][name] = stored.substr(at, sizes[i]);
            parts += (i ? "," : "") + std::to_string(i + 1) + ":" + std::to_string(sizes[i]);
            at += sizes[i];
        }
        for (int n = 1; n <= 3; ++n)
            m_person.disks[static_cast<std::size_t>(n - 1)][DiskIdName] =
                "TEST_" + std::to_string(n) + " 0BADF00D\r\n";
        m_person.disks[0][DiskSetListName] = "set 0BADF00D\r\ndisk 1 TEST_1\r\ndisk 2 TEST_2\r\n"
                                             "disk 3 TEST_3\r\nfile " +
                                             line + " " + parts + " " + name + "\r\n";
        Insert(m_drive.Path(), m_person.disks[0]);
        std::string problem;
        ASSERT_EQ(LoadDiskSet(m_drive.Path() + "\\", "Test Product", problem), DiskSetLoad::Loaded)
            << problem;
    }

    std::string Expand(Expansion& result) {
        TempFolder out;
        const std::string target = out / "out.bin";
        EXPECT_TRUE(WriteFileBytes(target, ""));
        result = ExpandMediumFile(m_drive / "big.bin", target);
        return ReadFileBytes(target);
    }

    TempFolder m_drive;
    Person m_person;
    OverrideForTesting<DiskPrompt> m_prompt{DiskPromptForTesting(), &Answer};
};

// The header line of a compressed file as the list holds it.
std::string CompressedLine(const std::string& stored) {
    auto le = [&](std::size_t at) {
        unsigned v = 0;
        for (int i = 3; i >= 0; --i)
            v = v << 8 | static_cast<unsigned char>(stored[at + static_cast<std::size_t>(i)]);
        return std::to_string(v);
    };
    return "z " + le(8) + " " + le(12) + " " + le(16) + " " + le(20) + " " + le(24);
}

FILETIME SomeTime() {
    return FILETIME{0x12345678u, 0x01D00000u};
}

} // namespace

TEST_F(DiskSetTest, ListsThatAreRefused) {
    struct Row {
        const char* what;
        std::string text;
    } rows[] = {
        {"no set line", "disk 1 A_1\r\n"},
        {"no diskette", "set 0BADF00D\r\n"},
        {"a serial of seven digits", "set 0BADF00\r\ndisk 1 A_1\r\n"},
        {"diskettes out of order", "set 0BADF00D\r\ndisk 2 A_2\r\n"},
        {"a label longer than 11", "set 0BADF00D\r\ndisk 1 ABCDEFGHIJKL\r\n"},
        {"an unknown form", "set 0BADF00D\r\ndisk 1 A_1\r\nfile x 1 0 0 0 0 1:1 a.txt\r\n"},
        {"a part on a diskette not listed",
         "set 0BADF00D\r\ndisk 1 A_1\r\nfile p 1 0 0 0 0 2:1 a.txt\r\n"},
        {"parts out of order",
         "set 0BADF00D\r\ndisk 1 A_1\r\ndisk 2 A_2\r\nfile p 2 0 0 0 0 2:1,1:1 a.txt\r\n"},
        {"no path", "set 0BADF00D\r\ndisk 1 A_1\r\nfile p 1 0 0 0 0 1:1\r\n"},
        {"a number too large",
         "set 0BADF00D\r\ndisk 1 A_1\r\nfile p 4294967296 0 0 0 0 1:1 a.txt\r\n"},
        {"the same file twice", "set 0BADF00D\r\ndisk 1 A_1\r\nfile p 1 0 0 0 0 1:1 a.txt\r\n"
                                "file p 1 0 0 0 0 1:1 A.TXT\r\n"},
    };
    for (const Row& row : rows) {
        TempFolder drive;
        ASSERT_TRUE(WriteFileBytes(drive / DiskSetListName, row.text));
        std::string problem;
        const DiskSetLoad load = LoadDiskSet(drive.Path(), "x", problem);
        std::printf("  %-36s -> %s\n", row.what, problem.c_str());
        EXPECT_EQ(load, DiskSetLoad::Damaged) << row.what;
        EXPECT_EQ(DiskSetFileOf(drive / "a.txt"), nullptr) << row.what;
    }
    TempFolder none;
    std::string problem;
    EXPECT_EQ(LoadDiskSet(none.Path(), "x", problem), DiskSetLoad::None);
}

TEST_F(DiskSetTest, TheListAnswersForItsFilesWithoutTheirDiskettes) {
    const std::string original = Pattern(300000);
    const std::string stored = testsupport::CompressedForm(original, SomeTime());
    MakeSet(CompressedLine(stored), stored, {stored.size() / 3, stored.size() - stored.size() / 3});
    const DiskSetFile* file = DiskSetFileOf(m_drive / "big.bin");
    ASSERT_NE(file, nullptr) << "names compared without regard to case";
    EXPECT_EQ(file->parts.size(), 2u);
    EXPECT_EQ(DiskSetFileOf(m_drive / "other.bin"), nullptr);
    EXPECT_EQ(DiskSetFileOf("C:\\elsewhere\\BIG.BIN"), nullptr);
    // Diskette 2 in the drive: the size and the header still come from the list.
    Insert(m_drive.Path(), m_person.disks[1]);
    std::uint32_t size = 0;
    EXPECT_TRUE(InstalledSizeOf(m_drive / "BIG.BIN", size));
    EXPECT_EQ(size, original.size());
    MediumHeader header;
    EXPECT_EQ(ReadMediumHeader(m_drive / "BIG.BIN", header), MediumForm::Compressed);
    EXPECT_EQ(header.written.dwLowDateTime, SomeTime().dwLowDateTime);
    EXPECT_TRUE(m_person.prompts.empty());
}

TEST_F(DiskSetTest, AFileAcrossThreeDiskettesAsksForEachByItsLabel) {
    const std::string original = Pattern(400000);
    for (bool compressed : {true, false}) {
        const std::string stored =
            compressed ? testsupport::CompressedForm(original, SomeTime()) : original;
        const std::string line = compressed ? CompressedLine(stored)
                                            : "p " + std::to_string(original.size()) + " 0 0 0 0";
        const std::size_t third = stored.size() / 3;
        MakeSet(line, stored, {third, third, stored.size() - 2 * third});
        m_person.prompts.clear();
        // A wrong diskette first: it is asked for again.
        m_person.answers = {3, 2, 3};
        Expansion result = Expansion::Unreadable;
        EXPECT_EQ(Expand(result), original) << compressed;
        EXPECT_EQ(result, Expansion::Done) << compressed;
        for (const std::string& p : m_person.prompts)
            std::printf("  asked: %s\n", p.c_str());
        ASSERT_EQ(m_person.prompts.size(), 3u);
        EXPECT_EQ(m_person.prompts[0],
                  "Test Product: Please insert Diskette TEST_2 containing big.bin into drive (" +
                      m_drive.Path().substr(0, 2) + ") and press any key when ready.");
        EXPECT_EQ(m_person.prompts[1], m_person.prompts[0]);
        EXPECT_NE(m_person.prompts[2].find("Diskette TEST_3 containing"), std::string::npos);
        // The first diskette is asked for when another is in the drive, also for a file of the
        // medium that the list does not name (it lies on the first); none for one elsewhere.
        m_person.prompts.clear();
        m_person.answers = {1};
        EXPECT_EQ(ReachMediumFile(m_drive / "big.bin"), DiskAnswer::Inserted);
        EXPECT_EQ(m_person.prompts.size(), 1u);
        Insert(m_drive.Path(), m_person.disks[2]);
        m_person.answers = {1};
        EXPECT_EQ(ReachMediumFile(m_drive / "ravell32.dll"), DiskAnswer::Inserted);
        EXPECT_EQ(m_person.prompts.size(), 2u);
        EXPECT_NE(m_person.prompts.back().find("Diskette TEST_1 containing ravell32.dll"),
                  std::string::npos);
        Insert(m_drive.Path(), m_person.disks[2]);
        EXPECT_EQ(ReachMediumFile("C:\\elsewhere\\setup.exe"), DiskAnswer::Inserted);
        EXPECT_EQ(m_person.prompts.size(), 2u);
    }
}

TEST_F(DiskSetTest, GivingUpOrADamagedPartEndsTheExpansion) {
    const std::string original = Pattern(200000);
    const std::string stored = testsupport::CompressedForm(original, SomeTime());
    const std::size_t half = stored.size() / 2;
    struct Row {
        const char* what;
        std::deque<int> answers;
        int cut; // bytes taken off the second part on its diskette (negative: added)
        Expansion expected;
    } rows[] = {
        {"the second diskette never inserted", {0}, 0, Expansion::NotInserted},
        {"a wrong diskette, then given up", {3, 0}, 0, Expansion::NotInserted},
        {"the second part cut short", {2}, 100, Expansion::Damaged},
        {"the second part longer than listed", {2}, -1, Expansion::Damaged},
        {"the second part complete", {2}, 0, Expansion::Done},
    };
    for (const Row& row : rows) {
        MakeSet(CompressedLine(stored), stored, {half, stored.size() - half});
        std::string& second = m_person.disks[1]["BIG.BIN"];
        if (row.cut > 0)
            second.resize(second.size() - static_cast<std::size_t>(row.cut));
        else if (row.cut < 0)
            second += "x";
        m_person.answers = row.answers;
        m_person.prompts.clear();
        Expansion result = Expansion::Done;
        (void)Expand(result);
        std::printf("  %-38s -> %d after %zu prompts\n", row.what, static_cast<int>(result),
                    m_person.prompts.size());
        EXPECT_EQ(result, row.expected) << row.what;
    }
}

TEST_F(DiskSetTest, AListThatDisagreesWithTheFileIsDamaged) {
    const std::string original = Pattern(50000);
    const std::string stored = testsupport::CompressedForm(original, SomeTime());
    std::string line = CompressedLine(stored);
    line.replace(2, line.find(' ', 2) - 2, std::to_string(original.size() + 1));
    MakeSet(line, stored, {stored.size()});
    Expansion result = Expansion::Done;
    (void)Expand(result);
    EXPECT_EQ(result, Expansion::Damaged);
}
