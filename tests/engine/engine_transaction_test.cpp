// The engine installs as one transaction: killed after any record of its log, or with the last
// record cut short, the next run puts the machine back as it was; an element that fails rolls
// the whole installation back; removal takes back only what the installation did.
//
// The "machine" is a scratch folder and a scratch registry key, set to the same state before
// every run and compared whole (every file with its bytes, every key and value with its type).
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "registration.h"
#include "restart.h"
#include "setup/core/handles.h"
#include "setup/core/path.h"
#include "setup/core/ini_file.h"
#include "setup/core/restart_schedule.h"
#include "support/fixtures.h"

using testsupport::ReadFileBytes;
using testsupport::RemoveTree;
using testsupport::RunAndWait;
using testsupport::ScratchKey;
using testsupport::TempFolder;
using testsupport::WriteFileBytes;

namespace {

constexpr long ExitOk = 0;
constexpr long ExitRolledBack = 5;
constexpr long ExitCancelled = 7;
constexpr long ExitRestartNeeded = 8;
constexpr long ExitKilled = 9;

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
        const DWORD attributes = GetFileAttributesA(path.c_str());
        if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
            out += "dir " + relative + name + "\n";
            DescribeFolder(path, relative + name + "\\", out);
        } else {
            out += "file " + relative + name + " attributes " +
                   std::to_string(attributes & ~FILE_ATTRIBUTE_ARCHIVE) + " " +
                   ReadFileBytes(path) + "\n";
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

void SetValue(const std::string& key, const std::string& name, DWORD type,
              const std::string& bytes) {
    RegKey opened;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                              opened.Receive(), nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(opened.Get(), name.c_str(), 0, type,
                             reinterpret_cast<const BYTE*>(bytes.data()),
                             static_cast<DWORD>(bytes.size())),
              ERROR_SUCCESS);
}

class EngineTransaction : public ::testing::Test {
protected:
    std::string Machine() const { return folder / "machine"; }
    std::string Log() const { return Machine() + "\\Product\\install.log"; }
    std::string Settings() const { return scratch / "Settings"; }
    // Each test's own name: the list of installed programs is the machine's, shared by the
    // tests that run at the same time.
    std::string ProductName() const {
        return "Transaction test " + scratch.KeyPath().substr(scratch.KeyPath().rfind('\\') + 1);
    }
    std::string UninstallKey() const {
        return "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + ProductName();
    }

    // The machine before the installation: a user's file the product replaces, one it must
    // keep, an old file it deletes, a file that stands where a folder cannot be made, and a
    // REG_EXPAND_SZ value the product overwrites.
    void ResetMachine() {
        RemoveTree(Machine());
        RegDeleteTreeA(HKEY_CURRENT_USER, Settings().c_str());
        RegDeleteTreeA(HKEY_CURRENT_USER, (scratch / "Fresh").c_str());
        ASSERT_TRUE(CreateDirectoryA(Machine().c_str(), nullptr));
        ASSERT_TRUE(WriteFileBytes(Machine() + "\\conf.txt", "the user's configuration"));
        ASSERT_TRUE(WriteFileBytes(Machine() + "\\user.txt", "the user's newer file"));
        ASSERT_TRUE(WriteFileBytes(Machine() + "\\old.txt", "an old help file"));
        ASSERT_TRUE(WriteFileBytes(Machine() + "\\blocker", "a file, not a folder"));
        SetValue(Settings(), "Path", REG_EXPAND_SZ, std::string("%SystemRoot%\\old\0", 17));
    }

    std::string MachineState() const {
        std::string out;
        DescribeFolder(Machine(), "", out);
        DescribeKey(HKEY_CURRENT_USER, scratch.KeyPath(), "", out);
        return out;
    }

    // The product; `failing` adds an element that fails: "first", "middle" or "last" in the
    // order the engine installs.
    std::string Description(const std::string& failing = "") const {
        const std::string m = Machine();
        std::string text = "[Product]\r\nName = " + ProductName() + "\r\nDestination = " + m +
                           "\\Product\r\n\r\n[Component Main]\r\nSelected = 1\r\n";
        auto element = [&](const std::string& header, const std::string& fields) {
            text += "\r\n[" + header + "]\r\nComponent = Main\r\n" + fields;
        };
        if (failing == "first")
            element("WSetupDir Blocked", "DestDir = " + m + "\\blocker\r\nDestName = sub\r\n");
        element("WSetupDir Data", "DestDir = <D>\r\nDestName = Data\r\n");
        element("WSetupDeleteFile OldHelp", "DestDir = " + m + "\r\nDestName = old.txt\r\n");
        element("WSetupFile Program", "SourceDir = <S>\r\nMediaName = app.txt\r\nDestDir = <D>\r\n"
                                      "DestName = app.txt\r\nCopyMode = 0\r\n");
        element("WSetupFile Config", "SourceDir = <S>\r\nMediaName = conf.txt\r\nDestDir = " + m +
                                         "\r\nDestName = conf.txt\r\nCopyMode = 0\r\n");
        element("WSetupFile UserFile", "SourceDir = <S>\r\nMediaName = app.txt\r\nDestDir = " + m +
                                           "\r\nDestName = user.txt\r\nCopyMode = 1\r\n");
        element("WSetupRegEntry Path", "RootName = HKEY_CURRENT_USER\r\nKeyPath = " + Settings() +
                                           "\r\nValueName = Path\r\nValueData = new\r\n"
                                           "ValueType = STRING\r\nRestoreOnUninstall = 1\r\n");
        if (failing == "middle")
            element("WSetupRegEntry Broken", "RootName = HKEY_NOWHERE\r\nKeyPath = x\r\n"
                                             "ValueName = y\r\nValueData = z\r\n");
        element("WSetupRegEntry Count",
                "RootName = HKEY_CURRENT_USER\r\nKeyPath = " + (scratch / "Fresh\\Deeper") +
                    "\r\nValueName = Count\r\nValueData = 5\r\n"
                    "ValueType = DWORD\r\n");
        element("WSetupProfileString Ini", "DestDir = <D>\r\nDestName = settings.ini\r\n"
                                           "Section = S\r\nKey = K\r\nValue = V\r\n");
        if (failing == "custom DLL not loadable")
            element("WSetupCustomDLL Welcome", "DestDir = " + m + "\r\nDestName = conf.txt\r\n");
        if (failing == "font not a font")
            element("WSetupTTFFile Font", "SourceDir = <S>\r\nMediaName = app.txt\r\n"
                                          "DestDir = <D>\r\nDestName = notafont.ttf\r\n"
                                          "CopyMode = 0\r\nFontName = Not A Font\r\n");
        if (failing == "last")
            element("WSetupProfileString Broken", "DestDir = <D>\r\nDestName = settings.ini\r\n"
                                                  "Section = S\r\nKey = a=b\r\nValue = V\r\n");
        return text;
    }

    long Run(const std::string& words, std::string* output = nullptr) const {
        const std::string out = folder / "engine.out";
        DeleteFileA(out.c_str());
        long code = RunAndWait("\"" + Engine() + "\" " + words + " \"output=" + out + "\"");
        if (output)
            *output = ReadFileBytes(out);
        return code;
    }

    long Install(const std::string& extra = "", std::string* output = nullptr,
                 const std::string& failing = "") const {
        EXPECT_TRUE(WriteFileBytes(medium / "product.txt", Description(failing)));
        return Run("mode=install \"description=" + (medium / "product.txt") + "\" " + extra,
                   output);
    }

    void SetUp() override {
        ASSERT_TRUE(WriteFileBytes(medium / "app.txt", "the product's file"));
        ASSERT_TRUE(WriteFileBytes(medium / "conf.txt", "the product's configuration"));
        ResetMachine();
    }

    TempFolder medium;
    TempFolder folder;
    ScratchKey scratch;
};

TEST_F(EngineTransaction, ANewInstallationFirstRollsBackOneThatDidNotFinish) {
    ASSERT_EQ(Install("stop-after=5"), ExitKilled);
    std::string output;
    ASSERT_EQ(Install("", &output), ExitOk) << output;
    const std::string::size_type recovered = output.find("recover ");
    EXPECT_NE(recovered, std::string::npos) << output;
    EXPECT_LT(recovered, output.find("install 1 of")) << output;
    EXPECT_NE(ReadFileBytes(Log()).find("\r\ncommit\r\n"), std::string::npos);
    EXPECT_EQ(ReadFileBytes(Machine() + "\\conf.txt"), "the product's configuration");
}

TEST_F(EngineTransaction, RecoveryLeavesTheMachineAsItWas) {
    const std::string before = MachineState();
    std::string output;
    ASSERT_EQ(Install("", &output), ExitOk) << output;
    const std::string log = ReadFileBytes(Log());
    int records = 0;
    for (std::string::size_type at = 0; (at = log.find("\n", at)) != std::string::npos; ++at)
        if (log.compare(at + 1, 7, "intent ") == 0 || log.compare(at + 1, 8, "outcome ") == 0)
            ++records;
    int same = 0;
    int tries = 0;
    for (int tear = 0; tear <= 1; ++tear) {
        for (int k = 1; k <= records; ++k) {
            ResetMachine();
            const long killed =
                Install("stop-after=" + std::to_string(k) + (tear ? " tear=1" : ""));
            std::string recovery;
            const long recovered = Run("mode=recover \"log=" + Log() + "\"", &recovery);
            const std::string after = MachineState();
            ++tries;
            const bool ok = killed == ExitKilled && recovered == ExitOk && after == before;
            std::printf("kill after record %2d%s: killed %ld, recovered %ld, machine %s\n", k,
                        tear ? " (cut short)" : "", killed, recovered,
                        after == before ? "as it was" : "CHANGED");
            if (ok)
                ++same;
            else
                ADD_FAILURE() << "record " << k << " tear " << tear << "\n"
                              << recovery << "\nbefore:\n"
                              << before << "after:\n"
                              << after;
        }
    }
    std::printf("kill points: %d of %d left the machine as it was\n", same, tries);
}

TEST_F(EngineTransaction, AFailingElementRollsTheWholeInstallationBack) {
    const std::string before = MachineState();
    for (const char* failing : {"first", "middle", "last"}) {
        ResetMachine();
        std::string output;
        const long code = Install("", &output, failing);
        const std::string after = MachineState();
        std::printf("%-6s element fails: exit %ld, machine %s\n", failing, code,
                    after == before ? "as it was" : "CHANGED");
        EXPECT_EQ(code, ExitRolledBack) << failing << "\n" << output;
        EXPECT_NE(output.find("rollback: machine put back as it was"), std::string::npos) << output;
        EXPECT_EQ(after, before) << failing << "\n" << output;
    }
}

TEST_F(EngineTransaction, ACancelRollsBackWhatWasDoneSoFar) {
    const std::string before = MachineState();
    for (int n : {1, 4, 8}) {
        ResetMachine();
        std::string output;
        const long code = Install("cancel-after=" + std::to_string(n), &output);
        const std::string after = MachineState();
        std::printf("cancel after element %d: exit %ld, machine %s\n", n, code,
                    after == before ? "as it was" : "CHANGED");
        EXPECT_EQ(code, ExitCancelled) << output;
        EXPECT_NE(output.find("cancelled after " + std::to_string(n) + " of "), std::string::npos)
            << output;
        EXPECT_EQ(output.find("install " + std::to_string(n + 1) + " of"), std::string::npos)
            << "no element runs after the cancel\n"
            << output;
        EXPECT_NE(output.find("rollback: machine put back as it was"), std::string::npos) << output;
        EXPECT_EQ(after, before) << output;
        EXPECT_EQ(GetFileAttributesA(Log().c_str()), INVALID_FILE_ATTRIBUTES);
    }
}

TEST_F(EngineTransaction, AStepThatCouldNotDoItsWorkIsAFailure) {
    // The library's status alone would call both done: a custom DLL that does not load answers
    // like one whose entry ran, and a font's copy succeeds before its registration fails.
    const std::string before = MachineState();
    for (const char* failing : {"custom DLL not loadable", "font not a font"}) {
        ResetMachine();
        std::string output;
        const long code = Install("", &output, failing);
        const std::string after = MachineState();
        std::printf("%-24s: exit %ld, machine %s\n", failing, code,
                    after == before ? "as it was" : "CHANGED");
        EXPECT_EQ(code, ExitRolledBack) << failing << "\n" << output;
        EXPECT_NE(output.find("failed 1"), std::string::npos) << output;
        EXPECT_EQ(after, before) << failing << "\n" << output;
    }
}

TEST_F(EngineTransaction, AFileNamedOnlyByItsSourceNameIsCopiedFromTheMedium) {
    const std::string text = "[Product]\r\nName = " + ProductName() +
                             "\r\nDestination = " + Machine() +
                             "\\Product\r\n[Component Main]\r\nSelected = 1\r\n"
                             "[WSetupFile MainProgram]\r\nComponent = Main\r\nSourceDir = <S>\r\n"
                             "SourceName = app.txt\r\nDestDir = <D>\r\nDestName = app.txt\r\n"
                             "CopyMode = 0\r\n";
    ASSERT_TRUE(WriteFileBytes(medium / "example.txt", text));
    std::string output;
    EXPECT_EQ(Run("mode=install \"description=" + (medium / "example.txt") + "\"", &output), ExitOk)
        << output;
    EXPECT_EQ(ReadFileBytes(Machine() + "\\Product\\app.txt"), "the product's file") << output;
    EXPECT_EQ(Run("mode=remove \"log=" + Log() + "\"", &output), ExitOk) << output;
}

TEST_F(EngineTransaction, RemovalTakesBackOnlyWhatTheInstallationDid) {
    std::string output;
    ASSERT_EQ(Install("", &output), ExitOk) << output;
    EXPECT_EQ(ReadFileBytes(Machine() + "\\user.txt"), "the user's newer file");
    EXPECT_EQ(ReadFileBytes(Machine() + "\\conf.txt"), "the product's configuration");
    EXPECT_EQ(GetFileAttributesA((Machine() + "\\Product.kept").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetFileAttributesA((Log() + ".kept").c_str()), INVALID_FILE_ATTRIBUTES)
        << "the kept-aside copies go at the commit";

    std::string removal;
    EXPECT_EQ(Run("mode=remove \"log=" + Log() + "\"", &removal), ExitOk) << removal;
    // The copy rule kept the user's file: removal leaves it.
    EXPECT_EQ(ReadFileBytes(Machine() + "\\user.txt"), "the user's newer file") << removal;
    // The value the product overwrote is back, with its type.
    RegKey key;
    ASSERT_EQ(
        RegOpenKeyExA(HKEY_CURRENT_USER, Settings().c_str(), 0, KEY_QUERY_VALUE, key.Receive()),
        ERROR_SUCCESS);
    char data[64] = {};
    DWORD size = sizeof data;
    DWORD type = 0;
    ASSERT_EQ(
        RegQueryValueExA(key.Get(), "Path", nullptr, &type, reinterpret_cast<BYTE*>(data), &size),
        ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_EXPAND_SZ)) << removal;
    EXPECT_STREQ(data, "%SystemRoot%\\old");
    // What the product made is gone.
    EXPECT_EQ(GetFileAttributesA((Machine() + "\\Product").c_str()), INVALID_FILE_ATTRIBUTES)
        << removal << MachineState();
    RegKey fresh;
    EXPECT_NE(RegOpenKeyExA(HKEY_CURRENT_USER, (scratch / "Fresh\\Deeper").c_str(), 0, KEY_READ,
                            fresh.Receive()),
              ERROR_SUCCESS);
}

std::string StringValue(HKEY root, const std::string& key, const char* name) {
    RegKey opened;
    if (RegOpenKeyExA(root, key.c_str(), 0, KEY_QUERY_VALUE, opened.Receive()) != ERROR_SUCCESS)
        return "(no key)";
    char data[1024] = {};
    DWORD size = sizeof data - 1;
    DWORD type = 0;
    if (RegQueryValueExA(opened.Get(), name, nullptr, &type, reinterpret_cast<BYTE*>(data),
                         &size) != ERROR_SUCCESS)
        return "(no value)";
    return type == REG_SZ ? std::string(data) : "(type " + std::to_string(type) + ")";
}

// The engine's copy runs under a name without a Windows version of its own, so Wine gives it
// the NT family's: its restart scheduling is the platform's delayed moves.
class NtRestartPlatform : public RestartPlatform {
public:
    DWORD PlatformId() override { return VER_PLATFORM_WIN32_NT; }
};

TEST_F(EngineTransaction, TheListOfInstalledProgramsRemovesTheProductAsWritten) {
    NtRestartPlatform nt;
    OverrideForTesting<RestartPlatform*> asTheCopySeesIt(RestartPlatformForTesting(), &nt);
    const Saved restartBefore = SaveRestartList();
    std::string output;
    ASSERT_EQ(Install("", &output), ExitOk) << output;
    EXPECT_EQ(StringValue(HKEY_LOCAL_MACHINE, UninstallKey(), "DisplayName"), ProductName());
    const std::string command = StringValue(HKEY_LOCAL_MACHINE, UninstallKey(), "UninstallString");
    std::printf("UninstallString: %s\n", command.c_str());
    char windows[MAX_PATH] = {};
    ASSERT_NE(GetWindowsDirectoryA(windows, MAX_PATH), 0u);
    const std::string copy =
        std::string(windows) + "\\" + EngineCopyName(ProductName(), Log(), "productengine.exe");
    EXPECT_EQ(command.find(RemovalCommand(copy, Log())), 0u) << command;
    EXPECT_NE(GetFileAttributesA(copy.c_str()), INVALID_FILE_ATTRIBUTES);

    // The command as written: the copy removes the product, and itself at the restart.
    const std::string out = folder / "removal.out";
    EXPECT_EQ(RunAndWait(command + " /batch \"output=" + out + "\""), ExitRestartNeeded)
        << ReadFileBytes(out);
    const std::string removal = ReadFileBytes(out);
    std::printf("%s", removal.c_str());
    EXPECT_EQ(StringValue(HKEY_LOCAL_MACHINE, UninstallKey(), "DisplayName"), "(no key)")
        << removal;
    std::vector<PendingRename> pending = PendingRenames();
    bool copyWaits = GetFileAttributesA(copy.c_str()) == INVALID_FILE_ATTRIBUTES;
    for (const PendingRename& p : pending)
        if (p.target.empty() && ShortPathOf(p.source) == ShortPathOf(copy))
            copyWaits = true;
    EXPECT_TRUE(copyWaits) << "the running copy is deleted at the restart\n" << removal;
    EXPECT_NE(removal.find("restart needed: "), std::string::npos) << removal;
    // The product's folder went with the removal: only the copy waits for the restart.
    EXPECT_EQ(GetFileAttributesA((Machine() + "\\Product").c_str()), INVALID_FILE_ATTRIBUTES)
        << removal << MachineState();
    // What waits for the restart is this test's only: it goes again, and so does the copy.
    EXPECT_TRUE(CancelAddedRestartEntries(restartBefore));
    SetFileAttributesA(copy.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(copy.c_str());
    EXPECT_EQ(ReadFileBytes(Machine() + "\\user.txt"), "the user's newer file");
}

TEST(EngineCopyName, IsShortAndTheInstallationsOwn) {
    const std::string log = "C:\\Program Files\\Tarvo Sample\\install.log";
    const std::string a = EngineCopyName("Tarvo Sample", log, "ravell32.dll");
    std::printf("Tarvo Sample in %s: %s\n", log.c_str(), a.c_str());
    EXPECT_EQ(a.size(), 12u) << "eight characters, a dot and the extension";
    EXPECT_EQ(a.substr(0, 2), "rv");
    EXPECT_EQ(a.substr(8), ".dll");
    EXPECT_EQ(EngineCopyName("TARVO SAMPLE", "c:\\program files\\tarvo sample\\INSTALL.LOG",
                             "ravell32.dll"),
              a)
        << "names ignore case";
    EXPECT_NE(EngineCopyName("Tarvo Sample 2", log, "ravell32.dll"), a);
    EXPECT_NE(EngineCopyName("Tarvo Sample", "D:\\Tarvo\\install.log", "ravell32.dll"), a)
        << "installed in another place";
    EXPECT_EQ(EngineCopyName("Tarvo Sample", log, "C:\\x\\productengine.exe").substr(8), ".exe");
}

TEST_F(EngineTransaction, OnNt351TheEntryIsWrittenAllTheSameAndGoesWithTheProduct) {
    // NT 3.51 has no list of installed programs: the entry is an ordinary key there, written
    // and removed like on the later versions.
    const std::string nt351 = testsupport::ProgramFolder() + "\\standins\\productengine-nt351.exe";
    ASSERT_TRUE(WriteFileBytes(medium / "product.txt", Description()));
    const std::string out = folder / "nt351.out";
    ASSERT_EQ(RunAndWait("\"" + nt351 + "\" /batch \"description=" + (medium / "product.txt") +
                         "\" \"output=" + out + "\""),
              ExitOk)
        << ReadFileBytes(out);
    EXPECT_EQ(StringValue(HKEY_LOCAL_MACHINE, UninstallKey(), "DisplayName"), ProductName());
    std::string removal;
    EXPECT_EQ(Run("/batch mode=remove \"log=" + Log() + "\"", &removal), ExitOk) << removal;
    EXPECT_EQ(StringValue(HKEY_LOCAL_MACHINE, UninstallKey(), "DisplayName"), "(no key)")
        << removal;
}

TEST_F(EngineTransaction, AnUnfinishedLogIsRolledBackBeforeCheckOrRemoval) {
    const std::string before = MachineState();
    ASSERT_EQ(Install("stop-after=7"), ExitKilled);
    std::string output;
    // Nothing is installed once the recovery is done: checking finds no log.
    EXPECT_NE(Run("mode=check \"log=" + Log() + "\"", &output), ExitOk);
    EXPECT_NE(output.find("recover "), std::string::npos) << output;
    EXPECT_EQ(MachineState(), before) << output;
}

} // namespace
