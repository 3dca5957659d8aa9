// The transaction log reads back what it wrote, drops a line cut short and refuses a damaged
// one; what the engine saves before a step is put back exactly, and putting back twice changes
// nothing more.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "setup/core/handles.h"
#include "setup/core/macros.h"
#include "setup/elements/dir_kinds.h"
#include "setup/elements/file.h"
#include "setup/elements/registry_entry.h"
#include "setup/elements/text_file_kinds.h"
#include "support/fixtures.h"
#include "transaction_log.h"
#include "kind_table.h"
#include "undo.h"

using testsupport::ReadFileBytes;
using testsupport::ScratchKey;
using testsupport::TempFolder;
using testsupport::WriteFileBytes;

namespace {

LoggedStep SampleStep(int number) {
    LoggedStep step;
    step.number = number;
    step.className = "WSetupFile";
    step.component = "Main";
    step.record = "Program,<S>\\files,app.exe,<D>,app.exe,1,,";
    Saved file;
    file.kind = Saved::Kind::File;
    file.existed = true;
    file.path = "C:\\a b\\with:colon . and space.txt";
    file.aside = "C:\\log.kept\\1-1";
    Saved value;
    value.kind = Saved::Kind::RegValue;
    value.root = "HKEY_CURRENT_USER";
    value.path = "Software\\X";
    value.name = "";
    value.existed = true;
    value.type = REG_EXPAND_SZ;
    value.bytes = std::string("%TEMP%\\x\0\r\n", 12);
    step.saved = {file, value};
    return step;
}

TEST(TransactionLog, ReadsBackIntentsOutcomesAndTheCommit) {
    TempFolder folder;
    const std::string path = folder / "install.log";
    {
        TransactionWriter writer;
        ASSERT_TRUE(writer.Begin(path, {"context D=C:\\Product", "component Main,"}));
        ASSERT_TRUE(writer.Announce(SampleStep(1)));
        ASSERT_TRUE(writer.Record(1, 4, StepMeaning::NothingToDo, "after,record,"));
        ASSERT_TRUE(writer.Announce(SampleStep(2)));
        ASSERT_TRUE(writer.Commit());
    }
    TransactionLog log;
    std::string error;
    ASSERT_TRUE(ReadTransactionLog(path, log, error)) << error;
    EXPECT_TRUE(log.committed);
    EXPECT_FALSE(log.torn);
    ASSERT_EQ(log.header.size(), 2u);
    ASSERT_EQ(log.steps.size(), 2u);
    const LoggedStep& first = log.steps[0];
    EXPECT_EQ(first.record, SampleStep(1).record);
    EXPECT_TRUE(first.hasOutcome);
    EXPECT_EQ(first.status, 4);
    EXPECT_EQ(first.meaning, StepMeaning::NothingToDo);
    EXPECT_EQ(first.recordAfter, "after,record,");
    ASSERT_EQ(first.saved.size(), 2u);
    EXPECT_EQ(first.saved[0].path, SampleStep(1).saved[0].path);
    EXPECT_EQ(first.saved[0].aside, "C:\\log.kept\\1-1");
    EXPECT_EQ(first.saved[1].type, static_cast<DWORD>(REG_EXPAND_SZ));
    EXPECT_EQ(first.saved[1].bytes, SampleStep(1).saved[1].bytes);
    EXPECT_FALSE(log.steps[1].hasOutcome);
}

TEST(TransactionLog, AnUpgradesLogKeepsTheRolesOfItsSteps) {
    TempFolder folder;
    const std::string path = folder / "install.log";
    {
        TransactionWriter writer;
        ASSERT_TRUE(writer.Begin(
            path, {"context D=C:\\Product", "version 1.1", "replaces 1.0", "component Main,"}));
        LoggedStep inherited = SampleStep(-1);
        inherited.role = StepRole::Inherited;
        ASSERT_TRUE(writer.Note(IntentLine(inherited) +
                                OutcomeLine(-1, 0, StepMeaning::Done, "old,record,")));
        ASSERT_TRUE(writer.Announce(SampleStep(1)));
        ASSERT_TRUE(writer.Record(1, 0, StepMeaning::Done, "new,record,"));
        LoggedStep removal = SampleStep(2);
        removal.role = StepRole::Removal;
        ASSERT_TRUE(writer.Announce(removal));
        ASSERT_TRUE(writer.Record(2, 0, StepMeaning::Done, "gone,record,"));
        ASSERT_TRUE(writer.Commit());
    }
    const std::string text = ReadFileBytes(path);
    EXPECT_NE(text.find("\r\ninherited -1 WSetupFile Main "), std::string::npos) << text;
    EXPECT_NE(text.find("\r\nremoval 2 WSetupFile Main "), std::string::npos) << text;
    TransactionLog log;
    std::string error;
    ASSERT_TRUE(ReadTransactionLog(path, log, error)) << error;
    ASSERT_EQ(log.header.size(), 4u);
    EXPECT_EQ(log.header[1], "version 1.1");
    EXPECT_EQ(log.header[2], "replaces 1.0");
    ASSERT_EQ(log.steps.size(), 3u);
    const StepRole roles[] = {StepRole::Inherited, StepRole::Install, StepRole::Removal};
    const char* const after[] = {"old,record,", "new,record,", "gone,record,"};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(log.steps[i].role, roles[i]) << i;
        EXPECT_TRUE(log.steps[i].hasOutcome) << i;
        EXPECT_EQ(log.steps[i].recordAfter, after[i]) << i;
        EXPECT_EQ(log.steps[i].saved.size(), 2u) << i;
    }
    EXPECT_EQ(log.steps[0].number, -1);
}

TEST(TransactionLog, ALineCutShortIsDroppedAndADamagedOneRefused) {
    TempFolder folder;
    const std::string path = folder / "install.log";
    const std::string whole = "component Main,\r\n" + IntentLine(SampleStep(1)) +
                              OutcomeLine(1, 0, StepMeaning::Done, "r,");
    const std::string next = IntentLine(SampleStep(2));
    struct Case {
        const char* what;
        std::string text;
        bool readable;
        std::size_t steps;
        bool torn;
    };
    const Case cases[] = {
        {"whole", whole, true, 1, false},
        {"intent cut in its record", whole + next.substr(0, next.size() - 5), true, 1, true},
        {"intent cut before its record", whole + next.substr(0, 12), true, 1, true},
        {"intent without its line end", whole + next.substr(0, next.size() - 2), true, 1, true},
        {"outcome cut short", whole + next + "outcome 2 0 ", true, 2, true},
        {"damaged line in the middle", whole + "intent 2 WSet\r\n" + next, false, 0, false},
        {"outcome without intent", whole + OutcomeLine(7, 0, StepMeaning::Done, "r,"), false, 0,
         false},
        {"saved state not hexadecimal", whole + "intent 2 WSetupFile Main F:1:zz:00 . r,\r\n",
         false, 0, false},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(WriteFileBytes(path, c.text));
        TransactionLog log;
        std::string error;
        const bool read = ReadTransactionLog(path, log, error);
        std::printf("%-32s read %d steps %zu torn %d %s\n", c.what, read, log.steps.size(),
                    log.torn, error.c_str());
        EXPECT_EQ(read, c.readable) << c.what;
        if (read) {
            EXPECT_EQ(log.steps.size(), c.steps) << c.what;
            EXPECT_EQ(log.torn, c.torn) << c.what;
            EXPECT_FALSE(log.committed) << c.what;
        } else {
            EXPECT_NE(error.find("install.log("), std::string::npos) << error;
        }
    }
}

TEST(TransactionLog, StagedIntentsShareOneSyncAndReadBackInOrder) {
    TempFolder folder;
    const std::string path = folder / "install.log";
    {
        TransactionWriter writer;
        ASSERT_TRUE(writer.Begin(path, {"context D=C:\\Bench"}));
        for (int n = 1; n <= 3; ++n)
            ASSERT_TRUE(writer.Stage(SampleStep(n)));
        ASSERT_TRUE(writer.Sync());
        for (int n = 1; n <= 3; ++n)
            ASSERT_TRUE(writer.Record(n, 0, StepMeaning::Done, "after,"));
        ASSERT_TRUE(writer.Stage(SampleStep(4)));
        ASSERT_TRUE(writer.Sync());
    }
    TransactionLog log;
    std::string error;
    ASSERT_TRUE(ReadTransactionLog(path, log, error)) << error;
    ASSERT_EQ(log.steps.size(), 4u);
    for (int n = 1; n <= 4; ++n) {
        EXPECT_EQ(log.steps[n - 1].number, n);
        EXPECT_EQ(log.steps[n - 1].hasOutcome, n <= 3) << n;
    }
    EXPECT_FALSE(log.committed);

    TransactionWriter closed;
    EXPECT_FALSE(closed.Stage(SampleStep(1)));
    EXPECT_FALSE(closed.Sync()) << "a writer without a file has put nothing on the disk";
}

// Which steps may share a flushed batch: those whose saved files and values differ. Names are
// compared ignoring case; folders and keys a step created never keep steps apart.
TEST(TransactionLog, StepsThatSaveTheSameFileOrValueCannotShareABatch) {
    auto file = [](const char* path) {
        Saved s;
        s.kind = Saved::Kind::File;
        s.path = path;
        return s;
    };
    auto folder = [](const char* path) {
        Saved s;
        s.kind = Saved::Kind::Folder;
        s.path = path;
        s.created = path;
        return s;
    };
    auto value = [](const char* root, const char* key, const char* name) {
        Saved s;
        s.kind = Saved::Kind::RegValue;
        s.root = root;
        s.path = key;
        s.name = name;
        return s;
    };
    auto key = [](const char* root, const char* path) {
        Saved s;
        s.kind = Saved::Kind::RegKey;
        s.root = root;
        s.path = path;
        s.created = path;
        return s;
    };
    struct Row {
        const char* what;
        std::vector<Saved> a, b;
        bool shares;
    };
    const Row rows[] = {
        {"same file", {file("C:\\P\\a.dll")}, {file("C:\\P\\a.dll")}, true},
        {"same file, other case", {file("C:\\P\\A.DLL")}, {file("c:\\p\\a.dll")}, true},
        {"other files", {file("C:\\P\\a.dll")}, {file("C:\\P\\b.dll")}, false},
        {"file name that starts another", {file("C:\\P\\a")}, {file("C:\\P\\ab")}, false},
        {"same created folder",
         {folder("C:\\P"), file("C:\\P\\a")},
         {folder("C:\\P"), file("C:\\P\\b")},
         false},
        {"same value",
         {value("HKEY_CURRENT_USER", "Software\\X", "v")},
         {value("HKEY_CURRENT_USER", "software\\x", "V")},
         true},
        {"same value name, other key",
         {value("HKEY_CURRENT_USER", "Software\\X", "v")},
         {value("HKEY_CURRENT_USER", "Software\\Y", "v")},
         false},
        {"same key and name, other root",
         {value("HKEY_CURRENT_USER", "Software\\X", "v")},
         {value("HKEY_LOCAL_MACHINE", "Software\\X", "v")},
         false},
        {"same created key",
         {key("HKEY_CURRENT_USER", "Software\\X")},
         {key("HKEY_CURRENT_USER", "Software\\X")},
         false},
        {"a value in the second of two states",
         {file("C:\\a"), value("HKEY_CLASSES_ROOT", "", "")},
         {value("HKEY_CLASSES_ROOT", "", ""), file("C:\\b")},
         true},
    };
    for (const Row& row : rows) {
        const bool shares = SharesState(row.a, row.b);
        std::printf("  %-36s shares %d\n", row.what, shares);
        EXPECT_EQ(shares, row.shares) << row.what;
        EXPECT_EQ(SharesState(row.b, row.a), row.shares) << row.what << " (the other way)";
    }
}

TEST(TransactionLog, AStopAfterARecordLeavesTheLogUpToIt) {
    // The kill-point hook ends the process, so it is tried in the engine's tests; here only the
    // text a torn record leaves is checked to be dropped with the right count of whole records.
    const std::string line = IntentLine(SampleStep(3));
    bool torn = false;
    EXPECT_EQ(SplitLines("a\r\nb\r\n" + line.substr(0, line.size() / 2), torn).size(), 3u);
    EXPECT_TRUE(torn);
    EXPECT_EQ(SplitLines("a\r\nb\n", torn).size(), 2u);
    EXPECT_FALSE(torn);
}

// Puts back every saved state of a step in reverse, as the rollback does.
bool PutBackAll(const std::vector<Saved>& saved) {
    bool all = true;
    for (auto it = saved.rbegin(); it != saved.rend(); ++it)
        all = PutBack(*it) && all;
    return all;
}

class PutBackTest : public ::testing::Test {
protected:
    void SetUp() override { TheSetupContext().Enabled = 1; }
    TempFolder folder;
};

TEST_F(PutBackTest, AReplacedFileComesBackFromItsKeptAsideCopyAndANewOneGoes) {
    ASSERT_TRUE(WriteFileBytes(folder / "old.txt", "the user's text"));
    FwPtr<WSetupFile> replaced(new WSetupFile);
    replaced->DestDir = folder.Path().c_str();
    replaced->DestName = "old.txt";
    FwPtr<WSetupFile> fresh(new WSetupFile);
    fresh->DestDir = (folder / "new\\deeper").c_str();
    fresh->DestName = "new.txt";
    std::vector<Saved> savedOld, savedNew;
    ASSERT_TRUE(SaveStateBefore(*replaced, 1, folder / "kept", savedOld));
    ASSERT_TRUE(SaveStateBefore(*fresh, 2, folder / "kept", savedNew));

    ASSERT_TRUE(WriteFileBytes(folder / "old.txt", "the product's text"));
    SetFileAttributesA((folder / "old.txt").c_str(), FILE_ATTRIBUTE_READONLY);
    ASSERT_TRUE(CreateDirectoryA((folder / "new").c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryA((folder / "new\\deeper").c_str(), nullptr));
    ASSERT_TRUE(WriteFileBytes(folder / "new\\deeper\\new.txt", "installed"));

    for (int round = 1; round <= 2; ++round) {
        EXPECT_TRUE(PutBackAll(savedNew)) << round;
        EXPECT_TRUE(PutBackAll(savedOld)) << round;
        EXPECT_EQ(ReadFileBytes(folder / "old.txt"), "the user's text") << round;
        EXPECT_EQ(GetFileAttributesA((folder / "new").c_str()), INVALID_FILE_ATTRIBUTES) << round;
    }
}

TEST_F(PutBackTest, ACreatedFolderStaysWhenSomeoneElsePutAFileInIt) {
    FwPtr<WSetupDir> dir(new WSetupDir);
    dir->DestDir = (folder / "a").c_str();
    dir->DestName = "b";
    std::vector<Saved> saved;
    ASSERT_TRUE(SaveStateBefore(*dir, 1, folder / "kept", saved));
    ASSERT_EQ(saved.size(), 1u);
    ASSERT_TRUE(CreateDirectoryA((folder / "a").c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryA((folder / "a\\b").c_str(), nullptr));
    ASSERT_TRUE(WriteFileBytes(folder / "a\\someone.txt", "not ours"));
    EXPECT_TRUE(PutBackAll(saved));
    EXPECT_EQ(GetFileAttributesA((folder / "a\\b").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(ReadFileBytes(folder / "a\\someone.txt"), "not ours");
}

std::string ValueState(HKEY root, const std::string& key, const std::string& name) {
    RegKey opened;
    if (RegOpenKeyExA(root, key.c_str(), 0, KEY_QUERY_VALUE, opened.Receive()) != ERROR_SUCCESS)
        return "no key";
    char data[256] = {};
    DWORD size = sizeof data;
    DWORD type = 0;
    if (RegQueryValueExA(opened.Get(), name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data),
                         &size) != ERROR_SUCCESS)
        return "no value";
    return "type " + std::to_string(type) + " " + std::string(data, size);
}

// A registry entry of the current user's that writes `data` as `type` at `key`\`name`.
FwPtr<WSetupRegEntry> UserValueEntry(const std::string& key, const std::string& name,
                                     const char* data, const char* type) {
    FwPtr<WSetupRegEntry> entry(new WSetupRegEntry);
    entry->RootName = "HKEY_CURRENT_USER";
    entry->KeyPath = key.c_str();
    entry->ValueName = name.c_str();
    entry->ValueData = data;
    entry->ValueType = type;
    return entry;
}

TEST_F(PutBackTest, ARegistryValueComesBackWithItsTypeAndACreatedKeyGoes) {
    ScratchKey scratch;
    {
        RegKey key;
        ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, (scratch / "Old").c_str(), 0, nullptr, 0,
                                  KEY_SET_VALUE, nullptr, key.Receive(), nullptr),
                  ERROR_SUCCESS);
        const char text[] = "%SystemRoot%\\old";
        ASSERT_EQ(RegSetValueExA(key.Get(), "Path", 0, REG_EXPAND_SZ,
                                 reinterpret_cast<const BYTE*>(text), sizeof text),
                  ERROR_SUCCESS);
    }
    const std::string before = ValueState(HKEY_CURRENT_USER, scratch / "Old", "Path");

    FwPtr<WSetupRegEntry> over = UserValueEntry(scratch / "Old", "Path", "new", "STRING");
    FwPtr<WSetupRegEntry> fresh = UserValueEntry(scratch / "New\\Deeper", "Count", "5", "DWORD");
    std::vector<Saved> savedOver, savedFresh;
    ASSERT_TRUE(SaveStateBefore(*over, 1, folder / "kept", savedOver));
    ASSERT_TRUE(SaveStateBefore(*fresh, 2, folder / "kept", savedFresh));
    over->Install();
    fresh->Install();
    ASSERT_EQ(ValueState(HKEY_CURRENT_USER, scratch / "Old", "Path"),
              "type 1 new" + std::string(1, '\0'));
    ASSERT_NE(ValueState(HKEY_CURRENT_USER, scratch / "New\\Deeper", "Count"), "no key");

    for (int round = 1; round <= 2; ++round) {
        EXPECT_TRUE(PutBackAll(savedFresh)) << round;
        EXPECT_TRUE(PutBackAll(savedOver)) << round;
        EXPECT_EQ(ValueState(HKEY_CURRENT_USER, scratch / "Old", "Path"), before) << round;
        EXPECT_EQ(ValueState(HKEY_CURRENT_USER, scratch / "New", ""), "no key") << round;
    }
}

TEST_F(PutBackTest, ACreatedKeyStaysWhenItHoldsWhatTheStepDidNotWrite) {
    ScratchKey scratch;
    FwPtr<WSetupRegEntry> fresh = UserValueEntry(scratch / "New", "Count", "5", "DWORD");
    std::vector<Saved> saved;
    ASSERT_TRUE(SaveStateBefore(*fresh, 1, folder / "kept", saved));
    fresh->Install();
    {
        RegKey other;
        ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, (scratch / "New\\Other").c_str(), 0, nullptr,
                                  0, KEY_SET_VALUE, nullptr, other.Receive(), nullptr),
                  ERROR_SUCCESS);
    }
    EXPECT_TRUE(PutBackAll(saved));
    EXPECT_EQ(ValueState(HKEY_CURRENT_USER, scratch / "New", "Count"), "no value");
    EXPECT_EQ(ValueState(HKEY_CURRENT_USER, scratch / "New\\Other", ""), "no value");
}

// The value's type and all its bytes, read with the size the platform reports.
std::string WholeValue(const std::string& key, const char* name) {
    RegKey opened;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, KEY_QUERY_VALUE, opened.Receive()) !=
        ERROR_SUCCESS)
        return "no key";
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExA(opened.Get(), name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
        return "no value";
    std::string bytes(size + 1, '\0');
    if (RegQueryValueExA(opened.Get(), name, nullptr, &type, reinterpret_cast<BYTE*>(&bytes[0]),
                         &size) != ERROR_SUCCESS)
        return "unreadable";
    return "type " + std::to_string(type) + " " + bytes.substr(0, size);
}

// Values of every length are saved whole: empty, one that fits the first read, one that needs a
// second read with the size the first reported; what was saved puts each back after the step
// overwrote it.
TEST_F(PutBackTest, ValuesOfEveryLengthAreSavedWholeAndComeBack) {
    ScratchKey scratch;
    struct Row {
        const char* name;
        std::string bytes;
    };
    std::string longBytes;
    for (int i = 0; i < 5000; ++i)
        longBytes += static_cast<char>(i * 7 % 256);
    const Row rows[] = {{"Empty", std::string()},
                        {"Short", std::string("ab\0c", 4)},
                        {"Edge", std::string(256, 'e')},
                        {"Long", longBytes}};
    {
        RegKey key;
        ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, scratch.KeyPath().c_str(), 0, nullptr, 0,
                                  KEY_SET_VALUE, nullptr, key.Receive(), nullptr),
                  ERROR_SUCCESS);
        for (const Row& row : rows)
            ASSERT_EQ(RegSetValueExA(key.Get(), row.name, 0, REG_BINARY,
                                     reinterpret_cast<const BYTE*>(row.bytes.data()),
                                     static_cast<DWORD>(row.bytes.size())),
                      ERROR_SUCCESS);
    }
    for (const Row& row : rows) {
        FwPtr<WSetupRegEntry> entry = UserValueEntry(scratch.KeyPath(), row.name, "over", "STRING");
        std::vector<Saved> saved;
        ASSERT_TRUE(SaveStateBefore(*entry, 1, folder / "kept", saved));
        std::printf("  %-6s %5u bytes saved as %s\n", row.name,
                    static_cast<unsigned>(saved.empty() ? 0 : saved.back().bytes.size()),
                    saved.empty() ? "nothing" : DescribeSaved(saved.back()).c_str());
        ASSERT_EQ(saved.size(), 1u) << row.name << ": the key exists, only the value is saved";
        EXPECT_TRUE(saved[0].existed) << row.name;
        EXPECT_EQ(saved[0].type, static_cast<DWORD>(REG_BINARY)) << row.name;
        EXPECT_EQ(saved[0].bytes, row.bytes) << row.name;
        entry->Install();
        EXPECT_TRUE(PutBackAll(saved)) << row.name;
        EXPECT_EQ(WholeValue(scratch.KeyPath(), row.name), "type 3 " + row.bytes) << row.name;
    }
}

// A value under a key that is not there: the missing levels are saved from the shallowest one,
// the value as absent, and putting back removes exactly those levels.
TEST_F(PutBackTest, AValueUnderMissingKeysSavesTheShallowestMissingLevel) {
    ScratchKey scratch;
    FwPtr<WSetupRegEntry> entry = UserValueEntry(scratch / "A\\B\\C", "V", "x", "STRING");
    std::vector<Saved> saved;
    ASSERT_TRUE(SaveStateBefore(*entry, 1, folder / "kept", saved));
    ASSERT_EQ(saved.size(), 2u);
    EXPECT_EQ(saved[0].kind, Saved::Kind::RegKey);
    EXPECT_EQ(saved[0].created, scratch / "A");
    EXPECT_EQ(saved[0].path, scratch / "A\\B\\C");
    EXPECT_EQ(saved[1].kind, Saved::Kind::RegValue);
    EXPECT_FALSE(saved[1].existed);
    entry->Install();
    ASSERT_NE(ValueState(HKEY_CURRENT_USER, scratch / "A\\B\\C", "V"), "no key");
    EXPECT_TRUE(PutBackAll(saved));
    EXPECT_EQ(ValueState(HKEY_CURRENT_USER, scratch / "A", ""), "no key");
    EXPECT_EQ(ValueState(HKEY_CURRENT_USER, scratch.KeyPath(), ""), "no value");
}

void SetString(const std::string& key, const char* name, const std::string& text, DWORD type) {
    RegKey opened;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                              opened.Receive(), nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(opened.Get(), name, 0, type,
                             reinterpret_cast<const BYTE*>(text.c_str()),
                             static_cast<DWORD>(text.size() + 1)),
              ERROR_SUCCESS);
}

TEST_F(PutBackTest, WhatARegistryFileMergedIsTakenBack) {
    // The merge's own kind undoes nothing: what the file names is saved before it and put back.
    ScratchKey scratch;
    SetString(scratch / "Kept", "Theme", "classic", REG_EXPAND_SZ);
    const std::string root = "HKEY_CURRENT_USER\\" + scratch.KeyPath();
    ASSERT_TRUE(WriteFileBytes(folder / "merge.reg",
                               "REGEDIT4\r\n\r\n[" + root +
                                   "\\Kept]\r\n\"Theme\"=\"modern\"\r\n"
                                   "\"Say \\\"hi\\\"\"=\"x\"\r\n\r\n[" +
                                   root +
                                   "\\New\\Deeper]\r\n@=\"default\"\r\n\"Count\"=dword:00000005\r\n"
                                   "\r\n[-" +
                                   root + "\\Gone]\r\n"));
    FwPtr<WSetupRegFile> merge(new WSetupRegFile);
    merge->DestDir = folder.Path().c_str();
    merge->DestName = "merge.reg";
    std::vector<Saved> saved;
    ASSERT_TRUE(SaveStateBefore(*merge, 1, folder / "kept", saved));
    for (const Saved& s : saved)
        std::printf("saved: %s\n", DescribeSaved(s).c_str());
    EXPECT_EQ(RowOf(*merge).undo, UndoPath::SavedStates);

    // The merge, as the registry editor makes it.
    SetString(scratch / "Kept", "Theme", "modern", REG_SZ);
    SetString(scratch / "Kept", "Say \"hi\"", "x", REG_SZ);
    SetString(scratch / "New\\Deeper", "", "default", REG_SZ);
    SetString(scratch / "New\\Deeper", "Count", "5", REG_SZ);

    for (int round = 1; round <= 2; ++round) {
        EXPECT_TRUE(PutBackAll(saved)) << round;
        EXPECT_EQ(ValueState(HKEY_CURRENT_USER, scratch / "Kept", "Theme"),
                  "type 2 classic" + std::string(1, '\0'))
            << round;
        EXPECT_EQ(ValueState(HKEY_CURRENT_USER, scratch / "Kept", "Say \"hi\""), "no value")
            << round;
        EXPECT_EQ(ValueState(HKEY_CURRENT_USER, scratch / "New", ""), "no key") << round;
    }
}

} // namespace
