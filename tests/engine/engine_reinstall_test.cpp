// Installing over an installed product: the same version repairs it, a newer one upgrades it as
// one transaction (rolled back, cancelled or killed, the older installation stays whole), an
// older one is refused; removal after either leaves the machine as before the first installation.
//
// The "machine" is a scratch folder (which holds the product's folder and its log) and a scratch
// registry key, compared whole: every file with its bytes, every key and value with its type.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "reinstall.h"
#include "setup/core/handles.h"
#include "support/fixtures.h"

using testsupport::ReadFileBytes;
using testsupport::RemoveTree;
using testsupport::RunAndWait;
using testsupport::ScratchKey;
using testsupport::TempFolder;
using testsupport::WriteFileBytes;

namespace {

constexpr long ExitOk = 0;
constexpr long ExitRefused = 2;
constexpr long ExitRolledBack = 5;
constexpr long ExitCancelled = 7;
constexpr long ExitKilled = 9;
constexpr long ExitOlderVersion = 15;

TEST(VersionComparison, DottedNumbersCompareNumerically) {
    struct Row {
        const char* a;
        const char* b;
        int expected; // -1 a older, 0 the same, 1 a newer
    };
    const Row rows[] = {
        {"1.0", "1.0", 0},   {"1.10", "1.9", 1},
        {"1.9", "1.10", -1}, {"1.0", "1.1", -1},
        {"2", "1.99", 1},    {"1", "1.0", 0},
        {"1.0.0", "1", 0},   {"1.02", "1.2", 0},
        {"1.0.1", "1.0", 1}, {"10.0", "9.9", 1},
        {"1.0b", "1.0a", 1}, {"1.0B", "1.0b", 0},
        {"", "", 0},         {"", "0", -1},
        {"1.0", "", 1},      {"123456789012345678901", "123456789012345678900", 1},
    };
    int wrong = 0;
    for (const Row& row : rows) {
        const int got = CompareVersions(row.a, row.b);
        const int sign = got < 0 ? -1 : got > 0 ? 1 : 0;
        std::printf("%-24s vs %-24s: %2d (expected %2d)%s\n", row.a, row.b, sign, row.expected,
                    sign == row.expected ? "" : "  WRONG");
        wrong += sign != row.expected;
        // The order is the same read either way.
        const int back = CompareVersions(row.b, row.a);
        EXPECT_EQ(back < 0 ? -1 : back > 0 ? 1 : 0, -row.expected) << row.b << " vs " << row.a;
    }
    EXPECT_EQ(wrong, 0);
}

TEST(ExistingChoice, TheCommandLineWords) {
    ExistingChoice choice = ExistingChoice::ByVersion;
    EXPECT_TRUE(ReadExistingChoice("repair", choice));
    EXPECT_EQ(choice, ExistingChoice::Repair);
    EXPECT_TRUE(ReadExistingChoice("UPGRADE", choice));
    EXPECT_EQ(choice, ExistingChoice::Upgrade);
    EXPECT_TRUE(ReadExistingChoice("Refuse", choice));
    EXPECT_EQ(choice, ExistingChoice::Refuse);
    EXPECT_FALSE(ReadExistingChoice("replace", choice));
    EXPECT_FALSE(ReadExistingChoice("", choice));
}

std::string Engine() {
    return testsupport::ProgramFolder() + "\\standins\\productengine.exe";
}

std::string Hex(const std::string& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    for (unsigned char c : bytes) {
        hex += digits[c >> 4];
        hex += digits[c & 15];
    }
    return hex;
}

void DescribeFolder(const std::string& folder, const std::string& relative, std::string& out) {
    WIN32_FIND_DATAA data;
    FindHandle find(FindFirstFileA((folder + "\\*").c_str(), &data));
    if (!find)
        return;
    std::vector<std::string> names;
    do {
        std::string name = data.cFileName;
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

void DescribeKey(HKEY root, const std::string& key, const std::string& relative, std::string& out) {
    RegKey opened;
    if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, opened.Receive()) != ERROR_SUCCESS)
        return;
    for (DWORD i = 0;; ++i) {
        char name[256];
        DWORD nameSize = sizeof name;
        BYTE data[1024];
        DWORD dataSize = sizeof data;
        DWORD type = 0;
        if (RegEnumValueA(opened.Get(), i, name, &nameSize, nullptr, &type, data, &dataSize) !=
            ERROR_SUCCESS)
            break;
        out += "value " + relative + "|" + name + " type " + std::to_string(type) + " " +
               Hex(std::string(reinterpret_cast<char*>(data), dataSize)) + "\n";
    }
    std::vector<std::string> subkeys;
    for (DWORD i = 0;; ++i) {
        char name[256];
        DWORD nameSize = sizeof name;
        if (RegEnumKeyExA(opened.Get(), i, name, &nameSize, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        subkeys.push_back(name);
    }
    opened.Reset();
    for (const std::string& sub : subkeys) {
        out += "key " + relative + "\\" + sub + "\n";
        DescribeKey(root, key + "\\" + sub, relative + "\\" + sub, out);
    }
}

void SetString(const std::string& key, const std::string& name, const std::string& text) {
    RegKey opened;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                              opened.Receive(), nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(opened.Get(), name.c_str(), 0, REG_SZ,
                             reinterpret_cast<const BYTE*>(text.c_str()),
                             static_cast<DWORD>(text.size() + 1)),
              ERROR_SUCCESS);
}

std::string ReadString(HKEY root, const std::string& key, const std::string& name) {
    RegKey opened;
    char data[512] = {};
    DWORD size = sizeof data - 1;
    if (RegOpenKeyExA(root, key.c_str(), 0, KEY_QUERY_VALUE, opened.Receive()) != ERROR_SUCCESS ||
        RegQueryValueExA(opened.Get(), name.c_str(), nullptr, nullptr,
                         reinterpret_cast<BYTE*>(data), &size) != ERROR_SUCCESS)
        return "(none)";
    return data;
}

// The records an engine's run writes through the log's record writer (the kill points): the
// intents and outcomes of its own steps; the replaced installation's steps are copied whole.
int RecordsOf(const std::string& log) {
    int records = 0;
    for (std::string::size_type at = 0; (at = log.find("\n", at)) != std::string::npos; ++at)
        if (log.compare(at + 1, 7, "intent ") == 0 || log.compare(at + 1, 8, "removal ") == 0 ||
            (log.compare(at + 1, 8, "outcome ") == 0 && log.compare(at + 9, 1, "-") != 0))
            ++records;
    return records;
}

class EngineReinstall : public ::testing::Test {
protected:
    std::string Machine() const { return folder / "machine"; }
    std::string Product() const { return Machine() + "\\Product"; }
    std::string Log() const { return Product() + "\\install.log"; }
    std::string Settings() const { return scratch / "Settings"; }
    std::string ProductName() const {
        return "Reinstall test " + scratch.KeyPath().substr(scratch.KeyPath().rfind('\\') + 1);
    }
    std::string UninstallKey() const {
        return "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + ProductName();
    }

    // Before the first installation: a value of the user's that the product replaces.
    void ResetMachine() {
        RemoveTree(Machine());
        RegDeleteTreeA(HKEY_CURRENT_USER, Settings().c_str());
        RegDeleteTreeA(HKEY_CURRENT_USER, (scratch / "Fresh").c_str());
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, UninstallKey().c_str());
        ASSERT_TRUE(CreateDirectoryA(Machine().c_str(), nullptr));
        SetString(Settings(), "Path", "the user's path");
    }

    // The folder (with the product's log) and the key; the entry in the installed programs' list.
    std::string MachineState() const {
        std::string out;
        DescribeFolder(Machine(), "", out);
        DescribeKey(HKEY_CURRENT_USER, scratch.KeyPath(), "", out);
        out += "list entry " + ReadString(HKEY_LOCAL_MACHINE, UninstallKey(), "DisplayName") +
               " version " + ReadString(HKEY_LOCAL_MACHINE, UninstallKey(), "DisplayVersion") +
               "\n";
        return out;
    }

    // Version 1.0: the program, a readme, a file outside the product's folder, the user's value
    // replaced and a value in keys of its own. 1.1 changes the program, the outside file and the
    // value, drops the readme and adds notes. `failing` adds an element that fails, last.
    // Files carry the archive attribute that a copy leaves under Wine, so that checking them
    // compares what the copy made.
    std::string Description(const std::string& version, const std::string& failing = "") const {
        const bool newer = version != "1.0";
        const std::string m = Machine();
        std::string text = "[Product]\r\nName = " + ProductName() + "\r\nVersion = " + version +
                           "\r\nDestination = " + Product() + "\r\nLog = " + Log() +
                           "\r\n\r\n[Component Main]\r\nSelected = 1\r\n";
        auto element = [&](const std::string& header, const std::string& fields) {
            text += "\r\n[" + header + "]\r\nComponent = Main\r\n" + fields;
            if (header.compare(0, 11, "WSetupFile ") == 0)
                text += "Attributes = 010000\r\n";
        };
        element("WSetupFile Program", "SourceDir = <S>\r\nMediaName = app.txt\r\nDestDir = <D>\r\n"
                                      "DestName = app.txt\r\nCopyMode = 0\r\n");
        if (!newer)
            element("WSetupFile Readme",
                    "SourceDir = <S>\r\nMediaName = readme.txt\r\n"
                    "DestDir = <D>\r\nDestName = readme.txt\r\nCopyMode = 0\r\n");
        element("WSetupFile Outside", "SourceDir = <S>\r\nMediaName = outside.txt\r\nDestDir = " +
                                          m + "\r\nDestName = outside.txt\r\nCopyMode = 0\r\n");
        if (newer)
            element("WSetupFile Notes",
                    "SourceDir = <S>\r\nMediaName = notes.txt\r\n"
                    "DestDir = <D>\r\nDestName = notes.txt\r\nCopyMode = 0\r\n");
        element("WSetupRegEntry Path",
                "RootName = HKEY_CURRENT_USER\r\nKeyPath = " + Settings() +
                    "\r\nValueName = Path\r\nValueData = " + (newer ? "two" : "one") +
                    "\r\nValueType = STRING\r\nRestoreOnUninstall = 1\r\n");
        element("WSetupRegEntry Count",
                "RootName = HKEY_CURRENT_USER\r\nKeyPath = " + (scratch / "Fresh\\Deeper") +
                    "\r\nValueName = Count\r\nValueData = 5\r\nValueType = DWORD\r\n");
        if (!failing.empty())
            element("WSetupRegEntry Broken", "RootName = HKEY_NOWHERE\r\nKeyPath = x\r\n"
                                             "ValueName = y\r\nValueData = z\r\n");
        return text;
    }

    long Run(const std::string& words, std::string* output = nullptr) const {
        const std::string out = folder / "engine.out";
        DeleteFileA(out.c_str());
        const long code = RunAndWait("\"" + Engine() + "\" " + words + " \"output=" + out + "\"");
        if (output)
            *output = ReadFileBytes(out);
        return code;
    }

    long Install(const std::string& version, const std::string& extra = "",
                 std::string* output = nullptr, const std::string& failing = "") const {
        const TempFolder& medium = version == "1.0" ? medium10 : medium11;
        EXPECT_TRUE(WriteFileBytes(medium / "product.txt", Description(version, failing)));
        return Run("mode=install \"description=" + (medium / "product.txt") + "\" " + extra,
                   output);
    }

    long OnLog(const std::string& mode, std::string* output = nullptr) const {
        return Run("mode=" + mode + " \"log=" + Log() + "\"", output);
    }

    void SetUp() override {
        ASSERT_TRUE(WriteFileBytes(medium10 / "app.txt", "the program, version 1.0"));
        ASSERT_TRUE(WriteFileBytes(medium10 / "readme.txt", "read me, version 1.0"));
        ASSERT_TRUE(WriteFileBytes(medium10 / "outside.txt", "outside, version 1.0"));
        ASSERT_TRUE(WriteFileBytes(medium11 / "app.txt", "the program, version 1.1"));
        ASSERT_TRUE(WriteFileBytes(medium11 / "outside.txt", "outside, version 1.1"));
        ASSERT_TRUE(WriteFileBytes(medium11 / "notes.txt", "notes, new in 1.1"));
        ResetMachine();
    }

    // An installation a test leaves goes, with the engine's copy in the Windows folder.
    void TearDown() override {
        if (GetFileAttributesA(Log().c_str()) != INVALID_FILE_ATTRIBUTES)
            (void)OnLog("remove");
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, UninstallKey().c_str());
    }

    TempFolder medium10;
    TempFolder medium11;
    TempFolder folder;
    ScratchKey scratch;
};

TEST_F(EngineReinstall, TheSameVersionAgainRepairsWhatIsMissingOrChanged) {
    const std::string before = MachineState();
    std::string output;
    ASSERT_EQ(Install("1.0", "", &output), ExitOk) << output;
    const std::string installed = MachineState();
    const std::string log = ReadFileBytes(Log());
    EXPECT_NE(log.find("\r\nversion 1.0\r\n"), std::string::npos) << log;

    ASSERT_TRUE(DeleteFileA((Product() + "\\app.txt").c_str()));
    SetString(Settings(), "Path", "changed by the user");
    ASSERT_EQ(Install("1.0", "", &output), ExitOk) << output;
    std::printf("%s", output.c_str());
    EXPECT_NE(output.find("repair: 2 elements put back"), std::string::npos) << output;
    EXPECT_EQ(MachineState(), installed) << output;
    EXPECT_EQ(ReadFileBytes(Log()), log) << "the log stays the installation's uninstall log";
    EXPECT_EQ(GetFileAttributesA((Log() + ".next").c_str()), INVALID_FILE_ATTRIBUTES);

    ASSERT_EQ(Install("1.0", "", &output), ExitOk) << output;
    EXPECT_NE(output.find("repair: 0 elements put back"), std::string::npos) << output;

    ASSERT_EQ(OnLog("remove", &output), ExitOk) << output;
    EXPECT_EQ(MachineState(), before) << output;
}

TEST_F(EngineReinstall, ARepairThatFailsPutsBackWhatItDid) {
    std::string output;
    ASSERT_EQ(Install("1.0", "", &output), ExitOk) << output;
    ASSERT_TRUE(DeleteFileA((Product() + "\\app.txt").c_str()));
    SetString(Settings(), "Path", "changed by the user");
    // The medium lost the readme: the program's file is put back first, then the readme fails.
    ASSERT_TRUE(DeleteFileA((medium10 / "readme.txt").c_str()));
    ASSERT_TRUE(DeleteFileA((Product() + "\\readme.txt").c_str()));
    const std::string brokenMore = MachineState();
    const long code = Install("1.0", "", &output);
    std::printf("%s", output.c_str());
    EXPECT_EQ(code, ExitRolledBack) << output;
    EXPECT_NE(output.find("rollback: machine put back as it was"), std::string::npos) << output;
    EXPECT_EQ(MachineState(), brokenMore) << output;
    EXPECT_EQ(OnLog("check"), 3) << "the installation is as broken as before";
}

TEST_F(EngineReinstall, ANewerVersionUpgradesAndRemovalLeavesTheMachineAsBeforeTheFirst) {
    const std::string before = MachineState();
    std::string output;
    ASSERT_EQ(Install("1.0", "", &output), ExitOk) << output;
    ASSERT_EQ(Install("1.1", "", &output), ExitOk) << output;
    std::printf("%s", output.c_str());
    EXPECT_NE(output.find("upgrade from 1.0 to 1.1"), std::string::npos) << output;
    EXPECT_EQ(ReadFileBytes(Product() + "\\app.txt"), "the program, version 1.1");
    EXPECT_EQ(ReadFileBytes(Machine() + "\\outside.txt"), "outside, version 1.1");
    EXPECT_EQ(ReadFileBytes(Product() + "\\notes.txt"), "notes, new in 1.1");
    EXPECT_EQ(GetFileAttributesA((Product() + "\\readme.txt").c_str()), INVALID_FILE_ATTRIBUTES)
        << "the element 1.1 no longer has goes in the upgrade";
    EXPECT_EQ(ReadString(HKEY_CURRENT_USER, Settings(), "Path"), "two");
    EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, UninstallKey(), "DisplayVersion"), "1.1");
    EXPECT_EQ(GetFileAttributesA((Log() + ".next").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(OnLog("check", &output), ExitOk) << output;

    ASSERT_EQ(OnLog("remove", &output), ExitOk) << output;
    std::printf("%s", output.c_str());
    EXPECT_EQ(MachineState(), before) << output;
}

TEST_F(EngineReinstall, AnOlderVersionIsRefusedAndNothingChanges) {
    std::string output;
    ASSERT_EQ(Install("1.1", "", &output), ExitOk) << output;
    const std::string installed = MachineState();
    EXPECT_EQ(Install("1.0", "", &output), ExitOlderVersion) << output;
    EXPECT_NE(output.find(ProductName() + " 1.1 is installed; this setup holds the older "
                                          "version 1.0"),
              std::string::npos)
        << output;
    EXPECT_EQ(MachineState(), installed);
    // The word keeps the refusal of any second installation.
    EXPECT_EQ(Install("1.1", "existing=refuse", &output), ExitRefused) << output;
    EXPECT_EQ(MachineState(), installed);
    EXPECT_EQ(Install("1.1", "existing=sometimes", &output), ExitRefused) << output;
    EXPECT_EQ(MachineState(), installed);
}

TEST_F(EngineReinstall, AnUpgradeThatFailsOrIsCancelledLeavesTheOlderInstallationWhole) {
    std::string output;
    ASSERT_EQ(Install("1.0", "", &output), ExitOk) << output;
    const std::string installed = MachineState();
    const long failed = Install("1.1", "", &output, "failing");
    std::printf("an element fails: exit %ld, older installation %s\n", failed,
                MachineState() == installed ? "whole" : "CHANGED");
    EXPECT_EQ(failed, ExitRolledBack) << output;
    EXPECT_EQ(MachineState(), installed) << output;
    for (int n : {1, 3, 5}) {
        const long cancelled = Install("1.1", "cancel-after=" + std::to_string(n), &output);
        std::printf("cancel after %d: exit %ld, older installation %s\n", n, cancelled,
                    MachineState() == installed ? "whole" : "CHANGED");
        EXPECT_EQ(cancelled, ExitCancelled) << output;
        EXPECT_EQ(MachineState(), installed) << output;
    }
    EXPECT_EQ(OnLog("check", &output), ExitOk) << output;
}

TEST_F(EngineReinstall, AnUpgradeKilledAtAnyRecordRecoversTheOlderInstallation) {
    // How many records a whole upgrade writes.
    std::string output;
    ASSERT_EQ(Install("1.0", "", &output), ExitOk) << output;
    ASSERT_EQ(Install("1.1", "", &output), ExitOk) << output;
    const int records = RecordsOf(ReadFileBytes(Log()));
    ASSERT_GT(records, 4);
    int whole = 0;
    int tries = 0;
    for (int tear = 0; tear <= 1; ++tear) {
        for (int k = 1; k <= records; k += tear ? 3 : 1) {
            ResetMachine();
            ASSERT_EQ(Install("1.0", "", &output), ExitOk) << output;
            const std::string installed = MachineState();
            const long killed =
                Install("1.1", "stop-after=" + std::to_string(k) + (tear ? " tear=1" : ""));
            std::string recovery;
            const long recovered = OnLog("recover", &recovery);
            const std::string after = MachineState();
            std::string check;
            const long checked = OnLog("check", &check);
            ++tries;
            const bool ok = killed == ExitKilled && recovered == ExitOk && after == installed &&
                            checked == ExitOk;
            std::printf("kill after record %2d of %d%s: killed %ld, recovered %ld, check %ld, "
                        "older installation %s\n",
                        k, records, tear ? " (cut short)" : "", killed, recovered, checked,
                        after == installed ? "whole" : "CHANGED");
            if (ok)
                ++whole;
            else
                ADD_FAILURE() << "record " << k << " tear " << tear << "\n"
                              << recovery << "\n"
                              << check << "\ninstalled:\n"
                              << installed << "after:\n"
                              << after;
        }
    }
    std::printf("kill points: %d of %d left the older installation whole\n", whole, tries);
    // After a recovery, the upgrade goes through and removal leaves nothing.
    ASSERT_EQ(Install("1.1", "", &output), ExitOk) << output;
    ASSERT_EQ(OnLog("remove", &output), ExitOk) << output;
    ResetMachine();
    const std::string before = MachineState();
    ASSERT_EQ(Install("1.0", "", &output), ExitOk) << output;
    ASSERT_EQ(Install("1.1", "", &output), ExitOk) << output;
    ASSERT_EQ(OnLog("remove", &output), ExitOk) << output;
    EXPECT_EQ(MachineState(), before) << output;
}

TEST_F(EngineReinstall, AnUpgradeKilledAfterItsCommitIsFinishedByTheNextStart) {
    std::string output;
    ASSERT_EQ(Install("1.0", "", &output), ExitOk) << output;
    ASSERT_EQ(Install("1.1", "", &output), ExitOk) << output;
    const std::string upgraded = MachineState();
    const int records = RecordsOf(ReadFileBytes(Log()));
    ASSERT_EQ(OnLog("remove", &output), ExitOk) << output; // the engine's copy goes too
    // Killed after its last record, the upgrade's own log lacks only its commit; with it, the
    // upgrade is done but its log has not yet taken the installation's place.
    ResetMachine();
    ASSERT_EQ(Install("1.0", "", &output), ExitOk) << output;
    ASSERT_EQ(Install("1.1", "stop-after=" + std::to_string(records)), ExitKilled);
    const std::string next = Log() + ".next";
    ASSERT_TRUE(WriteFileBytes(next, ReadFileBytes(next) + "commit\r\n"));
    ASSERT_EQ(OnLog("recover", &output), ExitOk) << output;
    EXPECT_NE(output.find("a committed repair or upgrade, finished now"), std::string::npos)
        << output;
    EXPECT_EQ(MachineState(), upgraded) << output;
    EXPECT_EQ(OnLog("check", &output), ExitOk) << output;
}

} // namespace
