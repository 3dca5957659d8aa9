// What removal and rollback may take away: only what is still the installation's. A file is
// deleted only while it is the one the installation put there (its size and checksum in the
// outcome record), a file that was there before stays, every shared count the installation took
// goes back, a folder that holds the user's documents is not scheduled for the restart, and the
// registered removal command runs as written, also through the command interpreter.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "description.h"
#include "restart.h"
#include "setup/core/handles.h"
#include "setup/core/path.h"
#include "setup/core/restart_schedule.h"
#include "setup/elements/shared_count.h"
#include "support/file_holder.h"
#include "support/fixtures.h"

using testsupport::FileHolder;
using testsupport::ReadFileBytes;
using testsupport::RunAndWait;
using testsupport::ScratchKey;
using testsupport::TempFolder;
using testsupport::WriteFileBytes;

namespace {

constexpr long ExitOk = 0;
constexpr long ExitRolledBack = 5;
constexpr long ExitRestartNeeded = 8;
constexpr long ExitKilled = 9;

bool Exists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
    const std::string::size_type at = text.find(from);
    if (at != std::string::npos)
        text.replace(at, from.size(), to);
    return text;
}

// The count of a shared-DLL value; -1 when there is none.
long SharedCount(const std::string& name) {
    RegKey key;
    DWORD count = 0;
    DWORD size = sizeof count;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, SharedDllsKey, 0, KEY_QUERY_VALUE, key.Receive()) !=
            ERROR_SUCCESS ||
        RegQueryValueExA(key.Get(), name.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(&count),
                         &size) != ERROR_SUCCESS)
        return -1;
    return static_cast<long>(count);
}

void SetSharedCount(const std::string& name, DWORD count) {
    RegKey key;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, SharedDllsKey, 0, nullptr, 0, KEY_SET_VALUE,
                              nullptr, key.Receive(), nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(key.Get(), name.c_str(), 0, REG_DWORD,
                             reinterpret_cast<const BYTE*>(&count), sizeof count),
              ERROR_SUCCESS);
}

void DeleteSharedCount(const std::string& name) {
    RegKey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, SharedDllsKey, 0, KEY_SET_VALUE, key.Receive()) ==
        ERROR_SUCCESS)
        RegDeleteValueA(key.Get(), name.c_str());
}

std::string StringValue(HKEY root, const std::string& key, const char* name) {
    RegKey opened;
    if (RegOpenKeyExA(root, key.c_str(), 0, KEY_QUERY_VALUE, opened.Receive()) != ERROR_SUCCESS)
        return "(no key)";
    char data[1024] = {};
    DWORD size = sizeof data - 1;
    if (RegQueryValueExA(opened.Get(), name, nullptr, nullptr, reinterpret_cast<BYTE*>(data),
                         &size) != ERROR_SUCCESS)
        return "(no value)";
    return data;
}

// The engine's copy runs under a name without a Windows version of its own, so Wine gives it
// the NT family's: its restart scheduling is the platform's delayed moves.
class NtRestartPlatform : public RestartPlatform {
public:
    DWORD PlatformId() override { return VER_PLATFORM_WIN32_NT; }
};

class EngineRemoval : public ::testing::Test {
protected:
    std::string Machine() const { return folder / "machine"; }
    std::string Product() const { return Machine() + "\\Product Files"; }
    std::string Log() const { return Product() + "\\install.log"; }
    std::string ProductName() const {
        return "Removal test " + scratch.KeyPath().substr(scratch.KeyPath().rfind('\\') + 1);
    }
    std::string UninstallKey() const {
        return "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + ProductName();
    }

    // A product of the given element sections (each "[<class> <Id>]" and its fields, without
    // the component), and the description's extra sections.
    std::string Description(const std::vector<std::string>& elements, const std::string& extra = "",
                            bool named = true) const {
        std::string text = "[Product]\r\n" +
                           (named ? "Name = " + ProductName() + "\r\n" : std::string()) +
                           "Destination = " + Product() + "\r\nLog = <D>\\install.log\r\n" + extra +
                           "\r\n[Component Main]\r\nSelected = 1\r\n";
        for (const std::string& element : elements)
            text += "\r\n" + Replaced(element, "]\r\n", "]\r\nComponent = Main\r\n");
        return text;
    }

    static std::string FileElement(const std::string& id, const std::string& destDir,
                                   const std::string& destName, const std::string& more = "") {
        return "[WSetupFile " + id +
               "]\r\nSourceDir = <S>\r\nMediaName = app.txt\r\nDestDir = " + destDir +
               "\r\nDestName = " + destName + "\r\nCopyMode = 0\r\n" + more;
    }

    long Run(const std::string& words, std::string* output = nullptr) const {
        const std::string out = folder / "engine.out";
        DeleteFileA(out.c_str());
        const long code =
            RunAndWait("\"" + testsupport::ProgramFolder() + "\\standins\\productengine.exe\" " +
                       words + " \"output=" + out + "\"");
        const std::string text = ReadFileBytes(out);
        if (output)
            *output = text;
        return code;
    }

    long Install(const std::string& description, const std::string& extra = "",
                 std::string* output = nullptr) const {
        EXPECT_TRUE(WriteFileBytes(medium / "product.txt", description));
        return Run("mode=install \"description=" + (medium / "product.txt") + "\" " + extra,
                   output);
    }

    long Remove(std::string* output = nullptr) const {
        return Run("mode=remove \"log=" + Log() + "\"", output);
    }

    void SetUp() override {
        ASSERT_TRUE(WriteFileBytes(medium / "app.txt", "the product's file"));
        ASSERT_TRUE(CreateDirectoryA(Machine().c_str(), nullptr));
    }

    void TearDown() override {
        // The engine's copy in the Windows folder, when a test left it.
        char windows[MAX_PATH] = {};
        GetWindowsDirectoryA(windows, MAX_PATH);
        for (const std::string& copy : copies) {
            SetFileAttributesA(copy.c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileA(copy.c_str());
        }
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, UninstallKey().c_str());
    }

    TempFolder medium;
    TempFolder folder;
    ScratchKey scratch;
    std::vector<std::string> copies;
};

TEST_F(EngineRemoval, TheMacroContextIsFilledOnceAndARollbackUsesItsOwnLogsMacros) {
    const std::string first = Machine() + "\\First";
    const std::string second = Machine() + "\\Second";
    const std::string file = FileElement("Data", "<CUSTDATAD>", "data.txt");
    std::string output;
    ASSERT_EQ(Install(Description({file}, "\r\n[Macros]\r\n<CUSTDATA = " + first + "\r\n", false),
                      "", &output),
              ExitOk)
        << output;
    const std::string log = ReadFileBytes(Log());
    int macros = 0;
    int records = 0;
    for (std::string::size_type at = 0; (at = log.find("\n", at)) != std::string::npos; ++at) {
        macros += log.compare(at + 1, 6, "macro ") == 0;
        records +=
            log.compare(at + 1, 7, "intent ") == 0 || log.compare(at + 1, 8, "outcome ") == 0;
    }
    std::printf("macro lines in the log's header: %d\n", macros);
    EXPECT_EQ(macros, 1) << log;
    ASSERT_EQ(Remove(&output), ExitOk) << output;

    // Killed after its last record, the installation into the first folder is rolled back by the
    // next one, whose description points the macro elsewhere.
    ASSERT_EQ(Install(Description({file}, "\r\n[Macros]\r\n<CUSTDATA = " + first + "\r\n", false),
                      "stop-after=" + std::to_string(records)),
              ExitKilled);
    ASSERT_TRUE(Exists(first + "\\data.txt"));
    ASSERT_EQ(Install(Description({file}, "\r\n[Macros]\r\n<CUSTDATA = " + second + "\r\n", false),
                      "", &output),
              ExitOk)
        << output;
    EXPECT_FALSE(Exists(first + "\\data.txt")) << "the rollback expanded its own log's macro\n"
                                               << output;
    EXPECT_TRUE(Exists(second + "\\data.txt")) << output;
    EXPECT_EQ(Remove(&output), ExitOk) << output;
}

TEST_F(EngineRemoval, SharedCountsGoBackWhateverTheCopyRuleDid) {
    struct Row {
        const char* what;
        int copyMode;
        bool userFile; // the user's file is there before, counted once
        long afterInstall;
        long afterRemoval; // -1: no value
        bool fileAfter;
    };
    const Row rows[] = {
        {"new file, not counted before", 0, false, 1, -1, false},
        {"the user's file kept by the copy rule", 1, true, 2, 1, true},
        {"the user's file replaced", 0, true, 2, 1, true},
    };
    for (const Row& row : rows) {
        const std::string dll = Machine() + "\\shared.dll";
        DeleteFileA(dll.c_str());
        DeleteSharedCount(dll);
        if (row.userFile) {
            ASSERT_TRUE(WriteFileBytes(dll, "the user's newer library"));
            SetSharedCount(dll, 1);
        }
        std::string output;
        const long installed =
            Install(Description({"[WSetupFile Shared]\r\nSourceDir = <S>\r\nMediaName = app.txt\r\n"
                                 "DestDir = " +
                                 Machine() + "\r\nDestName = shared.dll\r\nCopyMode = " +
                                 std::to_string(row.copyMode) + "\r\nFileFlags = 32\r\n"}),
                    "", &output);
        const long counted = SharedCount(dll);
        std::string removal;
        const long removed = Remove(&removal);
        const long left = SharedCount(dll);
        std::printf("%-40s install %ld count %ld; removal %ld count %ld file %s\n", row.what,
                    installed, counted, removed, left, Exists(dll) ? "kept" : "gone");
        EXPECT_EQ(installed, ExitOk) << output;
        EXPECT_EQ(counted, row.afterInstall) << row.what;
        EXPECT_EQ(removed, ExitOk) << removal;
        EXPECT_EQ(left, row.afterRemoval) << row.what << "\n" << removal;
        EXPECT_EQ(Exists(dll), row.fileAfter) << row.what << "\n" << removal;
        DeleteSharedCount(dll);
    }
}

TEST_F(EngineRemoval, AFileCountedUnderItsShortNameByAnotherProductStays) {
    const std::string dll = Machine() + "\\Shared Library Module.dll";
    std::string output;
    ASSERT_EQ(Install(Description({"[WSetupFile Shared]\r\nSourceDir = <S>\r\nMediaName = "
                                   "app.txt\r\nDestDir = " +
                                   Machine() +
                                   "\r\nDestName = Shared Library Module.dll\r\nCopyMode = 0\r\n"
                                   "FileFlags = 32\r\n"}),
                      "", &output),
              ExitOk)
        << output;
    // The table now counts the file under its short name, twice: another product uses it.
    char shortPath[MAX_PATH] = {};
    ASSERT_NE(GetShortPathNameA(dll.c_str(), shortPath, MAX_PATH), 0u);
    ASSERT_NE(std::string(shortPath), dll);
    DeleteSharedCount(dll);
    SetSharedCount(shortPath, 2);
    std::string removal;
    EXPECT_EQ(Remove(&removal), ExitOk) << removal;
    std::printf("short name %s: count %ld, file %s\n", shortPath, SharedCount(shortPath),
                Exists(dll) ? "kept" : "gone");
    EXPECT_TRUE(Exists(dll)) << removal;
    EXPECT_EQ(SharedCount(shortPath), 1) << removal;
    DeleteSharedCount(shortPath);
}

TEST_F(EngineRemoval, RemovalDeletesOnlyFilesThatAreStillTheInstallations) {
    // The user's file outside the product's folder, overwritten by the product; a file of the
    // product the user edits afterwards; a file of the product left as it was.
    const std::string users = Machine() + "\\settings.cfg";
    const std::string edited = Product() + "\\notes.txt";
    const std::string plain = Product() + "\\app.txt";
    ASSERT_TRUE(WriteFileBytes(users, "the user's own settings"));
    std::string output;
    ASSERT_EQ(Install(Description({FileElement("Users", Machine(), "settings.cfg"),
                                   FileElement("Edited", "<D>", "notes.txt"),
                                   FileElement("Plain", "<D>", "app.txt")}),
                      "", &output),
              ExitOk)
        << output;
    ASSERT_TRUE(WriteFileBytes(edited, "the user's notes, written after the installation"));
    std::string removal;
    EXPECT_EQ(Remove(&removal), ExitOk) << removal;
    std::printf("%s", removal.c_str());
    EXPECT_TRUE(Exists(users)) << "a file that was there before is the user's\n" << removal;
    EXPECT_EQ(ReadFileBytes(edited), "the user's notes, written after the installation") << removal;
    EXPECT_NE(removal.find("left: " + edited + " (changed since the installation)"),
              std::string::npos)
        << removal;
    EXPECT_NE(removal.find("left: " + users + " (there before the installation)"),
              std::string::npos)
        << removal;
    EXPECT_FALSE(Exists(plain)) << removal;
}

TEST_F(EngineRemoval, AnAlteredLogDeletesNoFileTheInstallationDidNotPutThere) {
    // The log names a file the installation did put there; the test then gives that file other
    // bytes, as if it had never been the product's (a system file), and alters the log's record
    // of it as a damaged or forged log would.
    const std::string victim = Machine() + "\\win.ini";
    struct Row {
        const char* what;
        const char* mode;
        bool keepCommit;
    };
    const Row rows[] = {
        {"record without checksum", "remove", true},
        {"record with another checksum", "remove", true},
        {"claimed there before, nothing kept aside", "remove", true},
        {"record with another checksum, unfinished", "recover", false},
    };
    for (const Row& row : rows) {
        DeleteFileA(victim.c_str());
        std::string output;
        ASSERT_EQ(Install(Description({FileElement("Victim", Machine(), "win.ini"),
                                       FileElement("Plain", "<D>", "app.txt")}),
                          "", &output),
                  ExitOk)
            << output;
        std::string log = ReadFileBytes(Log());
        // The victim's step is the first file step: its outcome carries the stamp.
        const std::string::size_type stamp = log.find(" S:");
        ASSERT_NE(stamp, std::string::npos) << log;
        const std::string::size_type end = log.find(' ', stamp + 1);
        const std::string what = row.what;
        if (what == "record without checksum")
            log.erase(stamp, end - stamp);
        else if (what.find("another checksum") != std::string::npos)
            log.replace(stamp, end - stamp, " S:20:0badf00d");
        else {
            // The file's saved state: "F:0:<path>:" becomes "F:1:<path>:" (nothing kept aside).
            const std::string::size_type saved = log.find(" F:0:");
            ASSERT_NE(saved, std::string::npos);
            log.replace(saved, 5, " F:1:");
            log.erase(stamp, end - stamp);
        }
        if (!row.keepCommit)
            log = Replaced(log, "commit\r\n", "");
        ASSERT_TRUE(WriteFileBytes(Log(), log));
        ASSERT_TRUE(WriteFileBytes(victim, "[windows]\r\nload=\r\n"));
        std::string removal;
        const long code = Run(std::string("mode=") + row.mode + " \"log=" + Log() + "\"", &removal);
        std::printf("%-44s mode=%-7s exit %ld, %s\n", row.what, row.mode, code,
                    Exists(victim) ? "file kept" : "FILE DELETED");
        EXPECT_EQ(code, ExitOk) << removal;
        EXPECT_EQ(ReadFileBytes(victim), "[windows]\r\nload=\r\n") << row.what << "\n" << removal;
        EXPECT_NE(removal.find("left: " + victim), std::string::npos) << removal;
        EXPECT_FALSE(Exists(Product() + "\\app.txt")) << row.what << "\n" << removal;
        EXPECT_FALSE(Exists(Log())) << removal;
    }
}

TEST_F(EngineRemoval, ALogWrittenBeforeOutcomesCarriedChecksumsIsStillRemoved) {
    std::string output;
    ASSERT_EQ(Install(Description({FileElement("Plain", "<D>", "app.txt"),
                                   FileElement("Other", Machine(), "other.txt")}),
                      "", &output),
              ExitOk)
        << output;
    std::string log = ReadFileBytes(Log());
    for (std::string::size_type at; (at = log.find(" S:")) != std::string::npos;)
        log.erase(at, log.find(' ', at + 1) - at);
    ASSERT_TRUE(WriteFileBytes(Log(), log));
    std::string removal;
    EXPECT_EQ(Remove(&removal), ExitOk) << removal;
    EXPECT_FALSE(Exists(Machine() + "\\other.txt")) << removal;
    EXPECT_FALSE(Exists(Product())) << removal;
}

TEST_F(EngineRemoval, ARollbackLeavesAHeldFileWhoseReplacementOnlyWaitedForTheRestart) {
    NtRestartPlatform nt;
    OverrideForTesting<RestartPlatform*> asTheEngineSeesIt(RestartPlatformForTesting(), &nt);
    const std::string held = Machine() + "\\held.dll";
    ASSERT_TRUE(WriteFileBytes(held, "the library in use"));
    FileHolder holder(held, "read", "read");
    ASSERT_TRUE(holder.Held()) << holder.Report();
    std::string output;
    const long code =
        Install(Description({FileElement("Held", Machine(), "held.dll"),
                             "[WSetupProfileString Broken]\r\nDestDir = <D>\r\nDestName = "
                             "settings.ini\r\nSection = S\r\nKey = a=b\r\nValue = V\r\n"}),
                "", &output);
    std::printf("held file, last element fails: exit %ld\n", code);
    EXPECT_EQ(code, ExitRolledBack) << output;
    EXPECT_NE(output.find("rollback: machine put back as it was"), std::string::npos) << output;
    EXPECT_FALSE(Exists(Log())) << output;
    EXPECT_FALSE(Exists(Log() + ".kept")) << output;
    EXPECT_FALSE(Exists(Product())) << output;
    EXPECT_FALSE(WaitsForRestart(held, PendingRenames())) << output;
    holder.Release();
    EXPECT_EQ(ReadFileBytes(held), "the library in use");
}

TEST_F(EngineRemoval, AFolderWithTheUsersDocumentsIsNotScheduledForTheRestart) {
    NtRestartPlatform nt;
    OverrideForTesting<RestartPlatform*> asTheEngineSeesIt(RestartPlatformForTesting(), &nt);
    const Saved restartBefore = SaveRestartList();
    std::string output;
    ASSERT_EQ(
        Install(Description({FileElement("Program", "<D>", "app.txt")}, "", false), "", &output),
        ExitOk)
        << output;
    ASSERT_TRUE(WriteFileBytes(Product() + "\\letter.doc", "the user's letter"));
    std::string removal;
    long code = 0;
    {
        FileHolder holder(Product() + "\\app.txt", "none", "read");
        ASSERT_TRUE(holder.Held()) << holder.Report();
        code = Remove(&removal);
    }
    std::printf("%s", removal.c_str());
    EXPECT_EQ(code, ExitRestartNeeded) << removal;
    EXPECT_EQ(removal.find("restart " + Product() + "\r\n"), std::string::npos) << removal;
    EXPECT_NE(removal.find("restart needed: 1 "), std::string::npos) << removal;
    EXPECT_NE(removal.find("left: " + Product()), std::string::npos) << removal;
    EXPECT_EQ(ReadFileBytes(Product() + "\\letter.doc"), "the user's letter");
    EXPECT_TRUE(CancelAddedRestartEntries(restartBefore));
}

TEST_F(EngineRemoval, TheRemovalCommandRunsAsWrittenAndAReinstallGetsAnotherCopy) {
    NtRestartPlatform nt;
    OverrideForTesting<RestartPlatform*> asTheCopySeesIt(RestartPlatformForTesting(), &nt);
    const Saved restartBefore = SaveRestartList();
    // Through CreateProcess, and through the command interpreter, which takes a line that begins
    // with a quote apart; each time a reinstall before the restart follows the removal.
    struct Row {
        const char* what;
        const char* prefix;
    };
    const Row rows[] = {{"CreateProcess", ""}, {"cmd /c", "cmd /c "}};
    for (const Row& row : rows) {
        std::string output;
        ASSERT_EQ(Install(Description({FileElement("Program", "<D>", "app.txt")}), "", &output),
                  ExitOk)
            << output;
        const std::string command =
            StringValue(HKEY_LOCAL_MACHINE, UninstallKey(), "UninstallString");
        const std::string copy = command.substr(0, command.find(" mode=remove"));
        copies.push_back(copy);
        // The live copy is never one whose deletion waits for the restart.
        auto deletedAtRestart = [](const std::string& path) {
            for (const PendingRename& entry : PendingRenames())
                if (entry.target.empty() && WaitsForRestart(path, {entry}))
                    return true;
            return false;
        };
        EXPECT_FALSE(deletedAtRestart(copy)) << "the restart would delete the live copy " << copy;
        const std::string out = folder / "removal.out";
        DeleteFileA(out.c_str());
        const long code = RunAndWait(row.prefix + command + " /batch \"output=" + out + "\"");
        std::printf("%-14s %s: exit %ld\n", row.what, command.c_str(), code);
        // The running copy goes at once where the platform lets it, else at the restart.
        EXPECT_TRUE(code == ExitOk || code == ExitRestartNeeded) << command << "\n"
                                                                 << ReadFileBytes(out);
        EXPECT_TRUE(!Exists(copy) || deletedAtRestart(copy)) << ReadFileBytes(out);
        EXPECT_EQ(StringValue(HKEY_LOCAL_MACHINE, UninstallKey(), "DisplayName"), "(no key)")
            << ReadFileBytes(out);
        EXPECT_FALSE(Exists(Product())) << ReadFileBytes(out);
    }
    EXPECT_TRUE(CancelAddedRestartEntries(restartBefore));
}

// The description's check of its Ids is linear: eight times the elements take about eight times
// as long (an Id compared with every earlier one took about 64 times).
TEST(DescriptionReading, TheDuplicateIdCheckGrowsWithTheDescription) {
    TempFolder folder;
    auto seconds = [&](int elements) {
        std::string text = "[Product]\r\nDestination = C:\\x\r\n[Component Main]\r\n";
        for (int i = 0; i < elements; ++i)
            text += "[WSetupDir Folder" + std::to_string(i) + "]\r\nComponent = Main\r\n";
        const std::string path = folder / ("product" + std::to_string(elements) + ".txt");
        EXPECT_TRUE(WriteFileBytes(path, text));
        const auto start = std::chrono::steady_clock::now();
        ProductDescription description;
        std::string error;
        EXPECT_TRUE(ReadDescription(path, description, error)) << error;
        EXPECT_EQ(description.elements.size(), static_cast<std::size_t>(elements));
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    };
    seconds(2000); // warm
    const double small = seconds(5000);
    const double large = seconds(40000);
    std::printf("5,000 elements %.3f s, 40,000 elements %.3f s: ratio %.1f\n", small, large,
                large / small);
    EXPECT_LT(large / small, 24.0);
    // A duplicate is still found, with the line of the first.
    ASSERT_TRUE(WriteFileBytes(folder / "twice.txt",
                               "[Product]\r\nDestination = C:\\x\r\n[WSetupDir A]\r\n[WSetupDir "
                               "B]\r\n[WSetupFile A]\r\n"));
    ProductDescription description;
    std::string error;
    EXPECT_FALSE(ReadDescription(folder / "twice.txt", description, error));
    EXPECT_NE(error.find("(5): \"A\" is described twice (first at line 3)"), std::string::npos)
        << error;
}

} // namespace
