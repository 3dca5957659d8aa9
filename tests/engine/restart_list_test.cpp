// Rolling back a step takes out of the restart lists exactly what the step scheduled through the
// library (WININIT.INI's rename section on the Windows 95/98 family, the pending moves on the NT
// family), deletes the staging copies, keeps everyone else's entries in their order, and doing
// it twice changes nothing more.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>

#include "restart.h"
#include "setup/core/handles.h"
#include "setup/core/ini_file.h"
#include "setup/core/restart_schedule.h"
#include "support/fixtures.h"
#include "transaction_log.h"

using testsupport::ReadFileBytes;
using testsupport::ScratchKey;
using testsupport::TempFolder;
using testsupport::WriteFileBytes;

namespace {

// A restart platform of one family whose lists live in a scratch folder and a scratch key: the
// NT family's moves are written as the platform writes them ("\??\" paths, "!" before a target
// that may be replaced).
class ScratchRestartPlatform : public RestartPlatform {
public:
    ScratchRestartPlatform(DWORD platformId, const std::string& windows)
        : m_platformId(platformId), m_windows(windows) {}
    DWORD PlatformId() override { return m_platformId; }
    std::string WindowsFolder() override { return m_windows; }
    bool MoveAtRestart(const std::string& source, const std::string& target) override {
        std::string bytes;
        RegKey key;
        if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, m_moves.KeyPath().c_str(), 0, nullptr, 0,
                            KEY_ALL_ACCESS, nullptr, key.Receive(), nullptr) != ERROR_SUCCESS)
            return false;
        DWORD size = 0;
        if (RegQueryValueExA(key.Get(), "PendingFileRenameOperations", nullptr, nullptr, nullptr,
                             &size) == ERROR_SUCCESS &&
            size > 1) {
            bytes.assign(size, '\0');
            RegQueryValueExA(key.Get(), "PendingFileRenameOperations", nullptr, nullptr,
                             reinterpret_cast<BYTE*>(&bytes[0]), &size);
            bytes.resize(size - 1); // without the list's closing NUL
        }
        bytes +=
            "\\??\\" + source + '\0' + (target.empty() ? "" : "!\\??\\" + target) + '\0' + '\0';
        return RegSetValueExA(key.Get(), "PendingFileRenameOperations", 0, REG_MULTI_SZ,
                              reinterpret_cast<const BYTE*>(bytes.data()),
                              static_cast<DWORD>(bytes.size())) == ERROR_SUCCESS;
    }
    std::string MovesKey() const { return m_moves.KeyPath(); }

private:
    DWORD m_platformId;
    std::string m_windows;
    ScratchKey m_moves{HKEY_LOCAL_MACHINE};
};

std::string Describe(const std::vector<PendingRename>& entries) {
    std::string text;
    for (const PendingRename& e : entries)
        text += e.source + " -> " + (e.target.empty() ? "(deleted)" : e.target) + "\n";
    return text;
}

bool Exists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

class RestartListTest : public ::testing::TestWithParam<DWORD> {
protected:
    TempFolder windows;
    TempFolder files;
    ScratchRestartPlatform platform{GetParam(), windows.Path()};
    OverrideForTesting<RestartPlatform*> standIn{RestartPlatformForTesting(), &platform};

    void SetUp() override {
        m_key = platform.MovesKey();
        movesKeyOverride.reset(
            new OverrideForTesting<const char*>(PendingMovesKeyForTesting(), m_key.c_str()));
        ASSERT_TRUE(WriteFileBytes(files / "target.dll", "the old build"));
        ASSERT_TRUE(WriteFileBytes(files / "other.dll", "another product's file"));
        ASSERT_TRUE(WriteFileBytes(files / "new.dll", "the new build"));
        ASSERT_TRUE(WriteFileBytes(files / "new2.dll", "the newer build"));
    }
    void TearDown() override { movesKeyOverride.reset(); }

    // The files of the scratch folder, by name.
    std::string Staging() const {
        std::string names;
        WIN32_FIND_DATAA data;
        FindHandle find(FindFirstFileA((files / "*").c_str(), &data));
        if (find)
            do {
                const std::string name = data.cFileName;
                if (name != "." && name != ".." && name != "target.dll" && name != "other.dll" &&
                    name != "new.dll" && name != "new2.dll")
                    names += name + " ";
            } while (FindNextFileA(find.Get(), &data));
        return names;
    }

    std::string m_key;
    std::unique_ptr<OverrideForTesting<const char*>> movesKeyOverride;
};

TEST_P(RestartListTest, WhatTheStepScheduledGoesAndWhatWasThereStays) {
    // Someone else's entry was there before the step.
    ASSERT_TRUE(DeleteFileAtReboot(files / "other.dll"));
    const std::string before = Describe(PendingRenames());
    const Saved saved = SaveRestartList();
    const std::string stagingBefore = Staging();

    ASSERT_TRUE(ReplaceFileAtReboot(files / "new.dll", files / "target.dll"));
    ASSERT_TRUE(ReplaceFileAtReboot(files / "new2.dll", files / "target.dll"));
    const std::string scheduled = Describe(PendingRenames());
    std::printf("platform %lu\nbefore:\n%sscheduled:\n%s", static_cast<unsigned long>(GetParam()),
                before.c_str(), scheduled.c_str());
    ASSERT_NE(scheduled, before);
    EXPECT_NE(Staging(), stagingBefore) << "the library copies the new file beside the target";

    EXPECT_TRUE(CancelAddedRestartEntries(saved));
    EXPECT_EQ(Describe(PendingRenames()), before);
    EXPECT_EQ(Staging(), stagingBefore) << "the staging copies go with their entries";
    EXPECT_EQ(ReadFileBytes(files / "target.dll"), "the old build");
    EXPECT_EQ(ReadFileBytes(files / "other.dll"), "another product's file");

    // Twice changes nothing more.
    EXPECT_TRUE(CancelAddedRestartEntries(saved));
    EXPECT_EQ(Describe(PendingRenames()), before);
}

TEST_P(RestartListTest, AListTheStepStartedIsGoneAfterwards) {
    const Saved saved = SaveRestartList();
    EXPECT_FALSE(saved.existed);
    ASSERT_TRUE(ReplaceFileAtReboot(files / "new.dll", files / "target.dll"));
    ASSERT_FALSE(PendingRenames().empty());

    // Through the log's text form, as a rollback after a crash reads it.
    LoggedStep step;
    step.number = 1;
    step.className = "WSetupFile";
    step.component = "Main";
    step.record = "x,";
    step.saved.push_back(saved);
    const std::string logPath = windows / "install.log";
    ASSERT_TRUE(WriteFileBytes(logPath, IntentLine(step)));
    TransactionLog log;
    std::string error;
    ASSERT_TRUE(ReadTransactionLog(logPath, log, error)) << error;
    ASSERT_EQ(log.steps.size(), 1u);
    ASSERT_EQ(log.steps[0].saved.size(), 1u);

    EXPECT_TRUE(CancelAddedRestartEntries(log.steps[0].saved[0]));
    EXPECT_TRUE(PendingRenames().empty()) << Describe(PendingRenames());
    EXPECT_FALSE(Exists(windows / "WININIT.INI")) << "a WININIT.INI only the step made goes";
    EXPECT_TRUE(Exists(logPath));
    RegKey key;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, m_key.c_str(), 0, KEY_QUERY_VALUE, key.Receive()),
              ERROR_SUCCESS);
    EXPECT_NE(RegQueryValueExA(key.Get(), "PendingFileRenameOperations", nullptr, nullptr, nullptr,
                               nullptr),
              ERROR_SUCCESS)
        << "a list value only the step made goes";
    EXPECT_EQ(Staging(), "");
}

INSTANTIATE_TEST_SUITE_P(BothFamilies, RestartListTest,
                         ::testing::Values(static_cast<DWORD>(VER_PLATFORM_WIN32_WINDOWS),
                                           static_cast<DWORD>(VER_PLATFORM_WIN32_NT)));

} // namespace
