// The engine installs from a medium whose files are compressed: the installed files are the
// originals with their sizes and dates, and a compressed file that is damaged or cut short
// fails its element with a line naming the file, rolls the whole installation back and ends
// the run with exit code 16.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "setup/core/handles.h"
#include "setup/core/medium_file.h"
#include "support/fixtures.h"
#include "support/medium_form.h"

using testsupport::ReadFileBytes;
using testsupport::RemoveTree;
using testsupport::RunAndWait;
using testsupport::ScratchKey;
using testsupport::TempFolder;
using testsupport::WriteFileBytes;

namespace {

constexpr long ExitOk = 0;
constexpr long ExitDamagedMedium = 16;

std::string Engine() {
    return testsupport::ProgramFolder() + "\\standins\\productengine.exe";
}

// Every file below `folder` with its bytes, one line each.
void DescribeFolder(const std::string& folder, const std::string& relative, std::string& out) {
    WIN32_FIND_DATAA data;
    FindHandle find(FindFirstFileA((folder + "\\*").c_str(), &data));
    if (!find)
        return;
    std::vector<std::string> names;
    do {
        const std::string name = data.cFileName;
        if (name != "." && name != "..")
            names.push_back(name);
    } while (FindNextFileA(find.Get(), &data));
    find.Reset();
    for (const std::string& name : names) {
        const std::string path = folder + "\\" + name;
        if (GetFileAttributesA(path.c_str()) & FILE_ATTRIBUTE_DIRECTORY) {
            out += "dir " + relative + name + "\n";
            DescribeFolder(path, relative + name + "\\", out);
        } else {
            out += "file " + relative + name + " " + ReadFileBytes(path) + "\n";
        }
    }
}

FILETIME TimeOf(const std::string& path) {
    FILETIME written{};
    KernelHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, 0, nullptr));
    if (file)
        GetFileTime(file.Get(), nullptr, nullptr, &written);
    return written;
}

// Bytes that deflate to something, yet not to almost nothing.
std::string ProgramBytes() {
    std::string bytes;
    for (unsigned i = 0; bytes.size() < 200000; ++i)
        bytes += static_cast<char>((i * 2654435761u) >> 24 & 0x3F) + std::string("MZ code ");
    return bytes;
}

class EngineMedium : public ::testing::Test {
protected:
    std::string Machine() const { return folder / "machine"; }
    std::string Log() const { return Machine() + "\\Product\\install.log"; }
    std::string ProductName() const {
        return "Medium test " + scratch.KeyPath().substr(scratch.KeyPath().rfind('\\') + 1);
    }

    void SetUp() override {
        RemoveTree(Machine());
        ASSERT_TRUE(CreateDirectoryA(Machine().c_str(), nullptr));
        ASSERT_TRUE(WriteFileBytes(Machine() + "\\conf.txt", "the user's configuration"));
        const std::string m = Machine();
        const std::string text =
            "[Product]\r\nName = " + ProductName() + "\r\nDestination = " + m +
            "\\Product\r\n\r\n[Component Main]\r\nSelected = 1\r\n"
            "\r\n[WSetupFile Program]\r\nComponent = Main\r\nSourceDir = <S>\r\n"
            "MediaName = app.exe\r\nDestDir = <D>\r\nDestName = app.exe\r\nCopyMode = 0\r\n"
            "\r\n[WSetupFile Config]\r\nComponent = Main\r\nSourceDir = <S>\r\n"
            "MediaName = conf.txt\r\nDestDir = " +
            m +
            "\r\nDestName = conf.txt\r\nCopyMode = 0\r\n"
            "\r\n[WSetupFile Readme]\r\nComponent = Main\r\nSourceDir = <S>\r\n"
            "MediaName = readme.txt\r\nDestDir = <D>\r\nDestName = readme.txt\r\nCopyMode = 0\r\n";
        ASSERT_TRUE(WriteFileBytes(medium / "product.txt", text));
        ASSERT_TRUE(testsupport::WriteCompressed(medium / "app.exe", ProgramBytes(), written));
        ASSERT_TRUE(testsupport::WriteCompressed(medium / "conf.txt", conf, written));
        ASSERT_TRUE(WriteFileBytes(medium / "readme.txt", "a plain file on the medium"));
    }

    long Run(const std::string& words, std::string& output) const {
        const std::string out = folder / "engine.out";
        DeleteFileA(out.c_str());
        const long code = RunAndWait("\"" + Engine() + "\" " + words + " \"output=" + out + "\"");
        output = ReadFileBytes(out);
        return code;
    }
    long Install(std::string& output) const {
        return Run("mode=install \"description=" + (medium / "product.txt") + "\"", output);
    }
    std::string MachineState() const {
        std::string out;
        DescribeFolder(Machine(), "", out);
        return out;
    }

    const std::string conf = "the product's configuration";
    const FILETIME written{0x12345600, 0x01C1A000}; // some day in 2001
    TempFolder medium;
    TempFolder folder;
    ScratchKey scratch;
};

TEST_F(EngineMedium, InstallsTheOriginalsWithTheirDates) {
    std::string output;
    ASSERT_EQ(Install(output), ExitOk) << output;
    const std::string app = Machine() + "\\Product\\app.exe";
    EXPECT_EQ(ReadFileBytes(app), ProgramBytes());
    EXPECT_EQ(ReadFileBytes(Machine() + "\\conf.txt"), conf);
    EXPECT_EQ(ReadFileBytes(Machine() + "\\Product\\readme.txt"), "a plain file on the medium");
    const FILETIME installed = TimeOf(app);
    EXPECT_EQ(installed.dwLowDateTime, written.dwLowDateTime);
    EXPECT_EQ(installed.dwHighDateTime, written.dwHighDateTime);
    // The space needed is the originals', not the compressed files'.
    const std::string::size_type at = output.find(" needed ");
    ASSERT_NE(at, std::string::npos) << output;
    EXPECT_GE(std::stoull(output.substr(at + 8)), ProgramBytes().size()) << output;
    EXPECT_LT(ReadFileBytes(medium / "app.exe").size(), ProgramBytes().size() / 2);

    ASSERT_EQ(Run("mode=remove \"log=" + Log() + "\"", output), ExitOk) << output;
    EXPECT_EQ(GetFileAttributesA(app.c_str()), INVALID_FILE_ATTRIBUTES) << output;
}

TEST_F(EngineMedium, ADamagedFileRollsTheInstallationBack) {
    const std::string intact = ReadFileBytes(medium / "conf.txt");
    std::string flipped = intact;
    flipped[MediumHeaderSize + 3] = static_cast<char>(flipped[MediumHeaderSize + 3] ^ 0x10);
    struct Case {
        const char* what;
        std::string bytes;
    } cases[] = {
        {"a byte flipped", flipped},
        {"cut short", intact.substr(0, intact.size() - 5)},
        {"only its header", intact.substr(0, MediumHeaderSize)},
    };
    const std::string before = MachineState();
    for (const Case& c : cases) {
        // The second file copied is the damaged one: the first must go again.
        ASSERT_TRUE(WriteFileBytes(medium / "conf.txt", c.bytes));
        std::string output;
        const long code = Install(output);
        const std::string after = MachineState();
        const bool named = output.find("the setup file " + (medium / "conf.txt") + " is damaged") !=
                           std::string::npos;
        std::printf("conf.txt %-16s: exit %ld, file named %s, machine %s\n", c.what, code,
                    named ? "yes" : "NO", after == before ? "as it was" : "CHANGED");
        EXPECT_EQ(code, ExitDamagedMedium) << c.what << "\n" << output;
        EXPECT_TRUE(named) << output;
        EXPECT_NE(output.find("status 28 MediumDamaged"), std::string::npos) << output;
        EXPECT_NE(output.find("rollback: machine put back as it was"), std::string::npos) << output;
        EXPECT_EQ(after, before) << c.what << "\n" << output;
        EXPECT_EQ(GetFileAttributesA(Log().c_str()), INVALID_FILE_ATTRIBUTES);
    }
}

} // namespace
