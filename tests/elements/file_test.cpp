// The file elements: every outcome of the copy rules (files in use included), the install and
// uninstall steps with their attributes, shared counts and reboot lists, binding and checking,
// and the run-time file's removal. The copy rules' cases run twice: from plain medium files and
// from compressed ones (setup/core/medium_file.h), which must answer alike.
//
// Scheduling for the restart goes to a stand-in platform (a WININIT.INI in a temporary folder
// on the Windows 95/98 family, recorded delayed moves on the NT family), never to the machine's
// own lists; HKEY_LOCAL_MACHINE is redirected to a scratch key for the shared-DLL table. A file
// in use is one held open by another process without write sharing.
#include "setup/core/fileutil.h"
#include "setup/core/handles.h"
#include "setup/core/macros.h"
#include "setup/core/medium_file.h"
#include "setup/core/path.h"
#include "setup/core/registry.h"
#include "setup/core/restart_schedule.h"
#include "setup/core/text.h"
#include "setup/elements/file.h"
#include "material/material.h"
#include "support/file_holder.h"
#include "support/fixtures.h"
#include "support/medium_form.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

using testsupport::FileHolder;
using testsupport::ReadFileBytes;
using testsupport::TempFolder;
using testsupport::WriteFileBytes;

namespace {

const char SharedDlls[] = "Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";

// Restart scheduling without the machine's lists: WININIT.INI lies in a temporary folder, and
// delayed moves are recorded. With `accept` false nothing can be scheduled (the WININIT.INI
// folder does not exist, every move is refused).
class RestartStandIn : public RestartPlatform {
public:
    explicit RestartStandIn(std::string windows) : m_windows(std::move(windows)) {}

    DWORD PlatformId() override { return testsupport::PlatformId(); }
    std::string WindowsFolder() override { return accept ? m_windows : m_windows + "\\absent"; }
    bool MoveAtRestart(const std::string& source, const std::string& target) override {
        moves.push_back({source, target});
        return accept;
    }

    // True when a replacement of `target` (or, with an empty `staging`, a deletion of it) is
    // scheduled.
    bool Scheduled(const std::string& target, bool deletion) const {
        if (testsupport::PlatformId() == 1) {
            const std::string shortTarget = Uppercased(ShortPathOf(target));
            const std::string ini = Uppercased(ReadFileBytes(m_windows + "\\WININIT.INI"));
            const std::string wanted = deletion ? "NUL=" + shortTarget : shortTarget + "=";
            return !shortTarget.empty() && ini.find(wanted) != std::string::npos;
        }
        for (const auto& move : moves) {
            if (deletion ? EqualText(move.source, target, false) && move.target.empty()
                         : EqualText(move.target, target, false))
                return true;
        }
        return false;
    }
    bool NothingScheduled() const {
        return moves.empty() &&
               GetFileAttributesA((m_windows + "\\WININIT.INI").c_str()) == INVALID_FILE_ATTRIBUTES;
    }

    struct Move {
        std::string source;
        std::string target;
    };
    std::vector<Move> moves;
    bool accept = true;

private:
    std::string m_windows;
    OverrideForTesting<RestartPlatform*> m_override{RestartPlatformForTesting(), this};
};

// The copy function of the race the existence test cannot see: another process creates the
// destination and holds it open between the test and the copy.
KernelHandle g_racer;
bool CopyAfterARacer(const std::string& source, const std::string& destination) {
    WriteFileBytes(destination, "the racer's");
    g_racer.Reset(
        CreateFileA(destination.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    return CopyFileA(source.c_str(), destination.c_str(), FALSE) != FALSE;
}

DWORD AttributesOf(const std::string& path) {
    return GetFileAttributesA(path.c_str());
}

FILETIME FileTimeOf(unsigned long long secondsAfter1601) {
    const unsigned long long ticks = secondsAfter1601 * 10000000ULL;
    return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

bool SetTime(const std::string& path, unsigned long long secondsAfter1601) {
    KernelHandle h(CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                               OPEN_EXISTING, 0, nullptr));
    if (!h)
        return false;
    const FILETIME t = FileTimeOf(secondsAfter1601);
    return SetFileTime(h.Get(), nullptr, nullptr, &t) != FALSE;
}

// The temporary files that expansions leave in `folder` (none may stay).
int ExpansionsLeftIn(const std::string& folder) {
    WIN32_FIND_DATAA data;
    FindHandle find(FindFirstFileA((folder + "\\tvx*.tmp").c_str(), &data));
    int n = 0;
    if (find)
        do
            ++n;
        while (FindNextFileA(find.Get(), &data));
    return n;
}

class FileElementTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, m_machine.KeyPath().c_str(), 0, nullptr, 0,
                                  KEY_ALL_ACCESS, nullptr, m_machineKey.Receive(), nullptr),
                  ERROR_SUCCESS);
        ASSERT_EQ(RegOverridePredefKey(HKEY_LOCAL_MACHINE, m_machineKey.Get()), ERROR_SUCCESS);
        TheSetupContext().Enabled = 1;
        TheSetupContext().MacroD = m_target.Path();
        // Folder removal stops at a folder that is not empty: the test folders stay.
        ASSERT_TRUE(WriteFileBytes(m_target / "keep.txt", "keep"));
        ASSERT_TRUE(WriteFileBytes(m_medium / "keep.txt", "keep"));
    }
    void TearDown() override {
        g_racer.Reset();
        RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
        m_machineKey.Reset();
        TheSetupContext().MacroD = "";
    }

    // A file on the medium, compressed when the test runs from compressed sources.
    std::string Medium(const std::string& name, const std::string& bytes) {
        const std::string path = m_medium / name;
        EXPECT_TRUE(WriteMedium(path, bytes));
        return path;
    }
    std::string Versioned(const std::string& dll, const std::string& path) {
        EXPECT_TRUE(material::CopyTo("versioned", dll, path)) << dll;
        if (m_compressed && path.compare(0, m_medium.Path().size(), m_medium.Path()) == 0) {
            EXPECT_TRUE(WriteMedium(path, ReadFileBytes(path)));
        }
        return path;
    }
    bool WriteMedium(const std::string& path, const std::string& bytes) {
        m_originals[path] = bytes;
        if (!m_compressed)
            return WriteFileBytes(path, bytes);
        return testsupport::WriteCompressed(path, bytes);
    }
    // The bytes a medium file stands for.
    std::string Original(const std::string& path) {
        return m_compressed ? m_originals[path] : ReadFileBytes(path);
    }
    // The last-write time of a medium file's original.
    bool SetSourceTime(const std::string& path, unsigned long long secondsAfter1601) {
        if (!m_compressed)
            return SetTime(path, secondsAfter1601);
        return testsupport::WriteCompressed(path, m_originals[path], FileTimeOf(secondsAfter1601));
    }
    std::string Target(const std::string& name, const std::string& bytes) {
        const std::string path = m_target / name;
        EXPECT_TRUE(WriteFileBytes(path, bytes));
        return path;
    }

    // A file element that installs `name` from the medium into the target folder.
    void Prepare(WSetupFile& file, const std::string& name, int mode) {
        file.SourceDir = m_medium.Path();
        file.MediaName = name;
        file.DestDir = m_target.Path();
        file.DestName = name;
        file.CopyMode = mode;
    }

    bool CountExists(const std::string& path) {
        RegKey key;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, SharedDlls, 0, KEY_READ, key.Receive()) !=
            ERROR_SUCCESS)
            return false;
        return RegQueryValueExA(key.Get(), path.c_str(), nullptr, nullptr, nullptr, nullptr) ==
               ERROR_SUCCESS;
    }
    // Value names are whole paths, backslashes included: read and written on the open key.
    DWORD Count(const std::string& path) {
        RegKey key;
        DWORD count = 0xDEAD, size = sizeof count;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, SharedDlls, 0, KEY_READ, key.Receive()) !=
            ERROR_SUCCESS)
            return count;
        RegQueryValueExA(key.Get(), path.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(&count),
                         &size);
        return count;
    }
    void SetCount(const std::string& path, DWORD count) {
        RegKey key;
        ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, SharedDlls, 0, nullptr, 0, KEY_ALL_ACCESS,
                                  nullptr, key.Receive(), nullptr),
                  ERROR_SUCCESS);
        RegSetValueExA(key.Get(), path.c_str(), 0, REG_DWORD, reinterpret_cast<BYTE*>(&count),
                       sizeof count);
    }

    bool m_compressed = false;
    std::map<std::string, std::string> m_originals;
    testsupport::ScratchKey m_machine;
    RegKey m_machineKey;
    TempFolder m_medium;
    TempFolder m_target;
    TempFolder m_windows;
    RestartStandIn m_restart{m_windows.Path()};
};

// The copy rules' cases, from plain and from compressed medium files.
class CopyRuleTest : public FileElementTest, public ::testing::WithParamInterface<bool> {
protected:
    CopyRuleTest() { m_compressed = GetParam(); }
    void TearDown() override {
        EXPECT_EQ(ExpansionsLeftIn(m_target.Path()), 0);
        EXPECT_EQ(ExpansionsLeftIn(m_target / "sub\\dir"), 0);
        FileElementTest::TearDown();
    }
};

INSTANTIATE_TEST_SUITE_P(Sources, CopyRuleTest, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return std::string(info.param ? "Compressed" : "Plain");
                         });

// --- CopyWithRule ----------------------------------------------------------------------------

TEST_P(CopyRuleTest, PlainCopyAndItsFailures) {
    const std::string source = Medium("a.dll", "new");
    const std::string dest = m_target / "sub\\dir\\a.dll";
    EXPECT_EQ(CopyWithRule(source, dest, CopyAlways, true), CopiedPlain); // folder tree made
    EXPECT_EQ(ReadFileBytes(dest), "new");

    // A read-only destination is overwritten.
    WriteFileBytes(dest, "old");
    SetFileAttributesA(dest.c_str(), FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ(CopyWithRule(source, dest, 99, true), CopiedPlain); // unknown modes copy plainly
    EXPECT_EQ(ReadFileBytes(dest), "new");

    EXPECT_EQ(CopyWithRule(m_medium / "missing.dll", dest, CopyAlways, true), CopyFailedPlain);
    EXPECT_EQ(CopyWithRule(source, dest, CopyNever, true), KeptExisting);

    // A folder that can be neither made nor found: a file lies where it should be.
    Target("blocker", "a file");
    EXPECT_EQ(CopyWithRule(source, m_target / "blocker\\a.dll", CopyAlways, true), FolderUnusable);
    EXPECT_TRUE(m_restart.NothingScheduled());
}

TEST_P(CopyRuleTest, PlainCopyOntoAFileInUse) {
    const std::string source = Medium("a.dll", "new");
    const std::string dest = Target("a.dll", "old");
    SetFileAttributesA(dest.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
    const DWORD before = AttributesOf(dest);
    FileHolder lock(dest);
    ASSERT_TRUE(lock.Held());

    EXPECT_EQ(CopyWithRule(source, dest, CopyAlways, false), InUsePlain);
    EXPECT_TRUE(m_restart.NothingScheduled());
    EXPECT_EQ(AttributesOf(dest), before);

    m_restart.accept = false;
    EXPECT_EQ(CopyWithRule(source, dest, CopyAlways, true), CopyFailedPlain);
    EXPECT_EQ(AttributesOf(dest), before);

    m_restart.accept = true;
    EXPECT_EQ(CopyWithRule(source, dest, CopyAlways, true), ScheduledPlain);
    EXPECT_TRUE(m_restart.Scheduled(dest, false));
    lock.Release();
    EXPECT_EQ(ReadFileBytes(dest), "old") << "replaced only at the restart";
}

TEST_P(CopyRuleTest, CopyOnlyWhenAbsent) {
    const std::string source = Medium("a.dll", "new");
    const std::string dest = m_target / "a.dll";
    EXPECT_EQ(CopyWithRule(source, dest, CopyIfAbsent, true), CopiedWasAbsent);
    EXPECT_EQ(ReadFileBytes(dest), "new");

    WriteFileBytes(dest, "kept");
    SetFileAttributesA(dest.c_str(), FILE_ATTRIBUTE_READONLY);
    const DWORD before = AttributesOf(dest);
    EXPECT_EQ(CopyWithRule(source, dest, CopyIfAbsent, true), KeptExisting);
    EXPECT_EQ(AttributesOf(dest), before) << "not copied: attributes kept";
    {
        // A file in use exists too: it is neither copied over nor replaced at the restart.
        FileHolder lock(dest);
        EXPECT_EQ(CopyWithRule(source, dest, CopyIfAbsent, true), KeptExisting);
        EXPECT_TRUE(m_restart.NothingScheduled());
    }
    EXPECT_EQ(ReadFileBytes(dest), "kept");

    EXPECT_EQ(CopyWithRule(m_medium / "missing.dll", m_target / "b.dll", CopyIfAbsent, true),
              CopyFailedIfAbsent);
}

TEST_P(CopyRuleTest, CopyOnlyWhenAbsentLosesARace) {
    const std::string source = Medium("a.dll", "new");
    OverrideForTesting racer(CopyFunctionForTesting(), &CopyAfterARacer);
    EXPECT_EQ(CopyWithRule(source, m_target / "a.dll", CopyIfAbsent, true), ScheduledIfAbsent);
    EXPECT_TRUE(m_restart.Scheduled(m_target / "a.dll", false));
    g_racer.Reset();

    m_restart.accept = false;
    EXPECT_EQ(CopyWithRule(source, m_target / "b.dll", CopyIfAbsent, true), CopyFailedIfAbsent);
    g_racer.Reset();
    EXPECT_EQ(CopyWithRule(source, m_target / "c.dll", CopyIfAbsent, false), CopyFailedIfAbsent);
}

TEST_P(CopyRuleTest, VersionRuleComparesExactly) {
    struct Case {
        const char* source;
        const char* installed; // nullptr: absent
        int outcome;
    } cases[] = {
        {"ver_5_0_0_1.dll", "ver_5_0_0_2.dll", KeptVersion},               // lower version
        {"ver_5_0_0_2.dll", "ver_5_0_0_2.dll", KeptVersion},               // equal, same size
        {"ver_5_0_0_2_large.dll", "ver_5_0_0_2.dll", CopiedHigherVersion}, // equal, another size
        {"ver_5_0_0_2.dll", "ver_5_0_0_1.dll", CopiedHigherVersion},       // higher
        // Higher fixed version, same "FileVersion" text: not copied.
        {"ver_5_0_0_2_text_5_0_0_1.dll", "ver_5_0_0_1.dll", KeptVersion},
        {"ver_none.dll", "ver_none.dll", CopiedHigherVersion},    // neither has version information
        {"ver_none.dll", "ver_5_0_0_1.dll", KeptVersion},         // only the installed file has
        {"ver_5_0_0_1.dll", "ver_none.dll", CopiedHigherVersion}, // only the source has
        {"ver_40_0_0_1.dll", "ver_40_0_0_0.dll",
         CopiedHigherVersion}, // one apart in the lowest field
        {"ver_40_0_0_0.dll", "ver_40_0_0_1.dll", KeptVersion},
        {"ver_40_0_0_2.dll", "ver_40_0_0_1.dll", CopiedHigherVersion},
        {"ver_5_0_0_1.dll", nullptr, CopiedHigherVersion},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.source) + " over " + (c.installed ? c.installed : "nothing"));
        const std::string source = Versioned(c.source, m_medium / "v.dll");
        const std::string dest = m_target / "v.dll";
        DeleteFileA(dest.c_str());
        if (c.installed)
            Versioned(c.installed, dest);
        const std::string before = ReadFileBytes(dest);
        EXPECT_EQ(CopyWithRule(source, dest, CopyIfNewerVersion, true), c.outcome);
        EXPECT_EQ(ReadFileBytes(dest),
                  c.outcome == CopiedHigherVersion ? Original(source) : before);
    }
}

TEST_P(CopyRuleTest, VersionRuleOntoAFileInUse) {
    const std::string source = Versioned("ver_5_0_0_2.dll", m_medium / "v.dll");
    const std::string dest = Versioned("ver_5_0_0_1.dll", m_target / "v.dll");
    FileHolder lock(dest, "read"); // in use as a loaded module is: readable, not writable
    EXPECT_EQ(CopyWithRule(source, dest, CopyIfNewerVersion, false), InUseVersion);
    m_restart.accept = false;
    EXPECT_EQ(CopyWithRule(source, dest, CopyIfNewerVersion, true), CopyFailedVersion);
    m_restart.accept = true;
    EXPECT_EQ(CopyWithRule(source, dest, CopyIfNewerVersion, true), ScheduledVersion);
    EXPECT_TRUE(m_restart.Scheduled(dest, false));
    EXPECT_EQ(CopyWithRule(m_medium / "missing.dll", m_target / "w.dll", CopyIfNewerVersion, true),
              CopyFailedVersion);
}

TEST_P(CopyRuleTest, DateRule) {
    const unsigned long long day = 86400, base = 400ULL * 365 * day; // some time in 2001
    const std::string source = Medium("d.txt", "1234");
    const std::string dest = m_target / "d.txt";
    struct Case {
        unsigned long long sourceTime;
        unsigned long long installedTime;
        const char* installed;
        int outcome;
    } cases[] = {
        {base, base + day, "abcd", KeptDate},    // source older
        {base, base, "abcd", KeptDate},          // same time, same size
        {base, base, "abcdef", CopiedNewer},     // same time, another size
        {base + day, base, "abcd", CopiedNewer}, // source newer
        {base, 0, nullptr, CopiedNewer},         // nothing installed
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.outcome);
        DeleteFileA(dest.c_str());
        ASSERT_TRUE(SetSourceTime(source, c.sourceTime));
        if (c.installed) {
            WriteFileBytes(dest, c.installed);
            ASSERT_TRUE(SetTime(dest, c.installedTime));
        }
        EXPECT_EQ(CopyWithRule(source, dest, CopyIfNewerDate, true), c.outcome);
        EXPECT_EQ(ReadFileBytes(dest), c.outcome == CopiedNewer ? "1234" : c.installed);
    }

    WriteFileBytes(dest, "old");
    SetTime(dest, base - day);
    FileHolder lock(dest);
    EXPECT_EQ(CopyWithRule(source, dest, CopyIfNewerDate, false), InUseDate);
    m_restart.accept = false;
    EXPECT_EQ(CopyWithRule(source, dest, CopyIfNewerDate, true), CopyFailedDate);
    m_restart.accept = true;
    EXPECT_EQ(CopyWithRule(source, dest, CopyIfNewerDate, true), ScheduledDate);
    EXPECT_TRUE(m_restart.Scheduled(dest, false));
    EXPECT_EQ(CopyWithRule(m_medium / "missing.txt", m_target / "e.txt", CopyIfNewerDate, true),
              CopyFailedDate);
}

TEST_P(CopyRuleTest, StreamCopyAndReplacementAtRestart) {
    const std::string source = Medium("s.bin", std::string(200000, 'x'));
    EXPECT_EQ(CopyWithRule(source, m_target / "s.bin", CopyByStreams, true), CopiedByStreams);
    EXPECT_EQ(ReadFileBytes(m_target / "s.bin"), std::string(200000, 'x'));
    EXPECT_EQ(CopyWithRule(m_medium / "missing", m_target / "t.bin", CopyByStreams, true),
              StreamCopyFailed);

    // Mode 5: an existing file is always replaced at the restart, also when it is not in use.
    EXPECT_EQ(CopyWithRule(source, m_target / "r.bin", CopyAtRestart, true),
              CopiedPlain); // absent: copied
    const std::string existing = Target("q.bin", "old");
    EXPECT_EQ(CopyWithRule(source, existing, CopyAtRestart, true), ScheduledPlain);
    EXPECT_TRUE(m_restart.Scheduled(existing, false));
    EXPECT_EQ(ReadFileBytes(existing), "old");
    m_restart.accept = false;
    EXPECT_EQ(CopyWithRule(source, existing, CopyAtRestart, true), CopyFailedPlain);
    // Without restart replacement the rule copies at once.
    EXPECT_EQ(CopyWithRule(source, existing, CopyAtRestart, false), CopiedPlain);
    EXPECT_EQ(ReadFileBytes(existing), std::string(200000, 'x'));
}

// --- InstallStep -----------------------------------------------------------------------------

TEST_P(CopyRuleTest, InstallAppliesTheAttributeString) {
    Medium("app.exe", "program");
    const std::string dest = Target("app.exe", "old");
    SetFileAttributesA(dest.c_str(), FILE_ATTRIBUTE_READONLY);
    WSetupFile file;
    Prepare(file, "app.exe", 0);
    file.Attributes = "011100"; // archive, hidden, read-only
    FwStringArray reboot;
    FwPtrArray collected;
    EXPECT_EQ(file.InstallStep(reboot, collected, 0, 0, 0), CopiedPlain);
    EXPECT_EQ(file.Status, CopiedPlain);
    EXPECT_EQ(ReadFileBytes(dest), "program");
    EXPECT_EQ(AttributesOf(dest),
              DWORD(FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(file.SourceName, "app.exe");
    EXPECT_EQ(reboot.GetSize(), 0);
    EXPECT_EQ(collected.GetSize(), 0);
    EXPECT_EQ(file.Verify(), FileAsInstalled);
    file.Attributes = "010000";
    EXPECT_EQ(file.Verify(), FileAttributesDiffer);
}

TEST_P(CopyRuleTest, InstallOntoAFileInUseWaitsForTheRestart) {
    Medium("app.exe", "program");
    const std::string dest = Target("app.exe", "old");
    SetFileAttributesA(dest.c_str(), FILE_ATTRIBUTE_READONLY);
    FileHolder lock(dest);
    WSetupFile file;
    Prepare(file, "app.exe", 0);
    file.Attributes = "010000";
    FwStringArray reboot;
    FwPtrArray collected;
    EXPECT_EQ(file.InstallStep(reboot, collected, 0, 0, 0), ScheduledPlain);
    ASSERT_EQ(reboot.GetSize(), 1);
    EXPECT_EQ(reboot[0], Uppercased(dest));
    EXPECT_EQ(AttributesOf(dest) & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN), 0u)
        << "plain for the restart; the attribute string is not applied";

    // Scheduling refused: a failure, and the attributes are put back.
    SetFileAttributesA(dest.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
    const DWORD before = AttributesOf(dest);
    m_restart.accept = false;
    EXPECT_EQ(file.InstallStep(reboot, collected, 0, 0, 0), CopyFailedPlain);
    EXPECT_EQ(reboot.GetSize(), 1);
    EXPECT_EQ(AttributesOf(dest), before);

    // The default destination allows no restart replacement.
    file.DestDir = "<D>";
    EXPECT_EQ(file.InstallStep(reboot, collected, 0, 1, 0), InUsePlain);
    EXPECT_EQ(AttributesOf(dest), before);
}

TEST_P(CopyRuleTest, InstallStepsThatCopyNothing) {
    Medium("app.exe", "program");
    WSetupFile file;
    Prepare(file, "app.exe", 0);
    FwStringArray reboot;
    FwPtrArray collected;

    file.SkipWhenAsked = 1;
    EXPECT_EQ(file.InstallStep(reboot, collected, 1, 0, 0), SkippedOnRequest);
    file.SkipWhenAsked = 0;
    file.MediaName = "missing.exe";
    EXPECT_EQ(file.InstallStep(reboot, collected, 0, 0, 0), SourceAbsent);
    EXPECT_EQ(file.Status, SourceAbsent);
    file.MediaName = "app.exe";

    // Mode 6 copies nothing and leaves the file as it was, attributes included.
    const std::string dest = Target("app.exe", "old");
    SetFileAttributesA(dest.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
    const DWORD before = AttributesOf(dest);
    file.CopyMode = 6;
    file.FileFlags = 0x04;
    file.CollectAfterCopy = 1;
    EXPECT_EQ(file.InstallStep(reboot, collected, 0, 0, 0), KeptExisting);
    EXPECT_EQ(ReadFileBytes(dest), "old");
    EXPECT_EQ(AttributesOf(dest), before);
    EXPECT_EQ(collected.GetSize(), 0);
    EXPECT_FALSE(CountExists(dest));

    // A change mark turns the plain rule into copy-if-absent.
    file.CopyMode = 0;
    file.ChangeMark = 1;
    EXPECT_EQ(file.InstallStep(reboot, collected, 0, 0, 0), KeptExisting);
    EXPECT_EQ(ReadFileBytes(dest), "old");
    EXPECT_EQ(collected.GetSize(), 0) << "a changed element is not collected";
    EXPECT_EQ(reboot.GetSize(), 0);
}

TEST_P(CopyRuleTest, DefaultDestinationCopiesEvenModeNever) {
    Medium("app.exe", "program");
    WSetupFile file;
    Prepare(file, "app.exe", 6);
    file.DestDir = "";
    file.DestName = "renamed.exe";
    file.FileFlags = 0x20;
    file.CollectAfterCopy = 1;
    FwStringArray reboot;
    FwPtrArray collected;
    // Without "<D" in DestDir the medium's name is used.
    EXPECT_EQ(file.InstallStep(reboot, collected, 0, 1, 0), CopiedPlain);
    EXPECT_EQ(ReadFileBytes(m_target / "app.exe"), "program");
    EXPECT_EQ(collected.GetSize(), 0);
    EXPECT_FALSE(CountExists(m_target / "app.exe")) << "not counted at the default destination";

    file.DestDir = "<D>";
    EXPECT_EQ(file.InstallStep(reboot, collected, 0, 1, 0), CopiedPlain);
    EXPECT_EQ(ReadFileBytes(m_target / "renamed.exe"), "program");
    EXPECT_EQ(file.SourceName, "renamed.exe");
}

TEST_F(FileElementTest, CollectedAfterACopy) {
    Medium("app.exe", "program");
    WSetupFile file;
    Prepare(file, "app.exe", 1);
    file.CollectAfterCopy = 1;
    FwStringArray reboot;
    FwPtrArray collected;
    EXPECT_EQ(file.InstallStep(reboot, collected, 0, 0, 0), CopiedWasAbsent);
    ASSERT_EQ(collected.GetSize(), 1);
    EXPECT_EQ(collected[0], &file);
    EXPECT_EQ(file.InstallStep(reboot, collected, 0, 0, 0), KeptExisting);
    EXPECT_EQ(collected.GetSize(), 2) << "also when the existing file was kept";
}

// --- Compressed medium files ----------------------------------------------------------------

TEST_F(FileElementTest, ADamagedCompressedSourceFailsTheStepAndLeavesTheDestination) {
    // Enough bytes that the stream spans several 64 KiB blocks in and out.
    std::string original;
    for (int i = 0; original.size() < 300000; ++i)
        original += "line " + std::to_string(i * 7919 % 100003) + "\r\n";
    const std::string whole =
        testsupport::CompressedForm(original, FileTimeOf(400ULL * 365 * 86400));
    ASSERT_GT(whole.size(), MediumHeaderSize + 100);
    auto flipped = [&](std::size_t at) {
        std::string bytes = whole;
        bytes[at] = static_cast<char>(bytes[at] ^ 0x55);
        return bytes;
    };
    struct Case {
        const char* what;
        std::string bytes;
        int outcome;
    } cases[] = {
        {"intact", whole, CopiedPlain},
        {"a byte flipped in the middle of the stream",
         flipped(MediumHeaderSize + (whole.size() - MediumHeaderSize) / 2), MediumDamaged},
        {"the last byte flipped (Adler-32)", flipped(whole.size() - 1), MediumDamaged},
        {"the size in the header wrong", flipped(8), MediumDamaged},
        {"the CRC-32 in the header wrong", flipped(12), MediumDamaged},
        {"cut in the middle of the stream", whole.substr(0, whole.size() / 2), MediumDamaged},
        {"cut one byte short", whole.substr(0, whole.size() - 1), MediumDamaged},
        {"only the header", whole.substr(0, MediumHeaderSize), MediumDamaged},
        {"cut inside the header", whole.substr(0, MediumHeaderSize - 3), MediumDamaged},
        {"a byte after the stream", whole + "x", MediumDamaged},
    };
    const std::string dest = Target("big.txt", "the installed file");
    SetFileAttributesA(dest.c_str(), FILE_ATTRIBUTE_READONLY);
    for (const Case& c : cases) {
        ASSERT_TRUE(WriteFileBytes(m_medium / "big.txt", c.bytes));
        for (int mode : {CopyAlways, CopyIfNewerVersion, CopyIfNewerDate, CopyByStreams}) {
            WSetupFile file;
            Prepare(file, "big.txt", mode);
            FwStringArray reboot;
            FwPtrArray collected;
            const DWORD before = AttributesOf(dest);
            const int outcome = file.InstallStep(reboot, collected, 0, 0, 0);
            const bool copied = ReadFileBytes(dest) == original;
            std::printf("%-44s mode %d: outcome %2d, destination %s, expansions left %d\n", c.what,
                        mode, outcome, copied ? "replaced" : "kept",
                        ExpansionsLeftIn(m_target.Path()));
            const int expected = c.outcome == CopiedPlain && mode != CopyAlways
                                     ? (mode == CopyByStreams     ? CopiedByStreams
                                        : mode == CopyIfNewerDate ? CopiedNewer
                                                                  : CopiedHigherVersion)
                                     : c.outcome;
            EXPECT_EQ(outcome, expected) << c.what << " mode " << mode;
            EXPECT_EQ(ExpansionsLeftIn(m_target.Path()), 0) << c.what;
            if (c.outcome == MediumDamaged) {
                EXPECT_EQ(ReadFileBytes(dest), "the installed file") << c.what;
                EXPECT_EQ(AttributesOf(dest), before) << c.what;
                EXPECT_EQ(reboot.GetSize(), 0);
            } else {
                EXPECT_TRUE(copied) << c.what;
                WriteFileBytes(dest, "the installed file");
                SetTime(dest, 300ULL * 365 * 86400); // older, so that the date rule copies
                SetFileAttributesA(dest.c_str(), FILE_ATTRIBUTE_READONLY);
            }
        }
    }
    EXPECT_TRUE(m_restart.NothingScheduled());
}

TEST_F(FileElementTest, CompressedSourcesAreNotExpandedWhenNothingIsCopied) {
    // A damaged file that no rule takes: the step answers as for a plain file.
    ASSERT_TRUE(WriteFileBytes(m_medium / "d.txt", std::string(MediumSignature, 8) + "cut"));
    const std::string dest = Target("d.txt", "kept");
    for (int mode : {CopyIfAbsent, CopyNever}) {
        WSetupFile file;
        Prepare(file, "d.txt", mode);
        FwStringArray reboot;
        FwPtrArray collected;
        EXPECT_EQ(file.InstallStep(reboot, collected, 0, 0, 0), KeptExisting) << mode;
    }
    EXPECT_EQ(ReadFileBytes(dest), "kept");
}

TEST_F(FileElementTest, TheInstalledSizeOfAMediumFile) {
    ASSERT_TRUE(WriteFileBytes(m_medium / "plain.txt", "12345"));
    ASSERT_TRUE(testsupport::WriteCompressed(m_medium / "packed.txt", std::string(70000, 'z')));
    ASSERT_TRUE(WriteFileBytes(m_medium / "cut.txt", std::string(MediumSignature, 8) + "cut"));
    std::uint32_t size = 0;
    EXPECT_TRUE(InstalledSizeOf(m_medium / "plain.txt", size));
    EXPECT_EQ(size, 5u);
    EXPECT_TRUE(InstalledSizeOf(m_medium / "packed.txt", size));
    EXPECT_EQ(size, 70000u);
    EXPECT_FALSE(InstalledSizeOf(m_medium / "cut.txt", size));
    EXPECT_FALSE(InstalledSizeOf(m_medium / "missing.txt", size));
}

// --- Shared counts ---------------------------------------------------------------------------

TEST_P(CopyRuleTest, SharedCountsNeverWrap) {
    Medium("shared.dll", "dll");
    WSetupFile file;
    Prepare(file, "shared.dll", 1);
    file.FileFlags = 0x40;
    const std::string dest = m_target / "shared.dll";
    FwStringArray reboot;
    FwPtrArray collected;

    EXPECT_FALSE(CountExists(dest));
    EXPECT_EQ(file.InstallStep(reboot, collected, 0, 0, 0), CopiedWasAbsent);
    EXPECT_EQ(Count(dest), 1u);
    EXPECT_EQ(file.InstallStep(reboot, collected, 0, 0, 0), KeptExisting);
    EXPECT_EQ(Count(dest), 2u) << "counted also when the installed file was kept";

    EXPECT_EQ(file.UninstallStep(reboot), FileDeleted);
    EXPECT_EQ(Count(dest), 1u);
    EXPECT_EQ(GetFileAttributesA(dest.c_str()), INVALID_FILE_ATTRIBUTES)
        << "deleted whatever the count";
    EXPECT_EQ(file.UninstallStep(reboot), FileNotResettable);
    EXPECT_EQ(Count(dest), 0u);
    EXPECT_EQ(file.UninstallStep(reboot), FileNotResettable);
    EXPECT_TRUE(CountExists(dest));
    EXPECT_EQ(Count(dest), 0u) << "a decrement from 0 writes nothing";

    EXPECT_FALSE(AdjustSharedCount(m_target / "never.dll", -1));
    EXPECT_FALSE(CountExists(m_target / "never.dll"));
    SetCount(dest, 0xFFFFFFFFu);
    EXPECT_FALSE(AdjustSharedCount(dest, 1));
    EXPECT_EQ(Count(dest), 0xFFFFFFFFu);
}

TEST_F(FileElementTest, ShortNameInstallCountsAndUncountsTheShortPath) {
    // A folder whose own path is all short names, so that only the long folder below it is
    // shortened (and nothing is made outside it).
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    char name[16];
    std::snprintf(name, sizeof name, "TG%06lX",
                  (GetCurrentProcessId() * 7919 + GetTickCount()) & 0xFFFFFF);
    const std::string base = temp + std::string(name);
    ASSERT_TRUE(IsShortName(base)) << base;
    ASSERT_TRUE(CreateDirectoryA(base.c_str(), nullptr));

    Medium("shared.dll", "dll");
    WSetupFile file;
    Prepare(file, "shared.dll", 0);
    file.DestDir = base + "\\Long Folder Name";
    file.FileFlags = 0x04;
    const std::string longPath = base + "\\Long Folder Name\\shared.dll";
    const std::string shortPath = ComputeShortPath(base + "\\Long Folder Name", "shared.dll");
    ASSERT_FALSE(EqualText(shortPath, longPath, false));
    FwStringArray reboot;
    FwPtrArray collected;
    EXPECT_EQ(file.InstallStep(reboot, collected, 0, 0, 1), CopiedPlain);
    EXPECT_EQ(ReadFileBytes(shortPath), "dll");
    EXPECT_EQ(Count(shortPath), 1u);
    EXPECT_FALSE(CountExists(longPath));

    file.UninstallStep(reboot);
    EXPECT_EQ(Count(shortPath), 0u);
    EXPECT_FALSE(CountExists(longPath));
    testsupport::RemoveTree(base);
}

// --- UninstallStep ---------------------------------------------------------------------------

TEST_F(FileElementTest, UninstallDeletesTheFileAndEmptiedFolders) {
    ASSERT_TRUE(CreateDirectoryTree(m_target / "a\\b"));
    ASSERT_TRUE(WriteFileBytes(m_target / "a\\b\\app.exe", "x"));
    SetFileAttributesA((m_target / "a\\b\\app.exe").c_str(), FILE_ATTRIBUTE_READONLY);
    WSetupFile file;
    file.DestDir = m_target / "a\\b";
    file.DestName = "app.exe";
    file.ChangeMark = 1;
    FwStringArray reboot;

    file.RemoveOnUninstall = 0;
    EXPECT_EQ(file.UninstallStep(reboot), FileNotToBeRemoved);
    EXPECT_EQ(file.ChangeMark, 0);
    file.RemoveOnUninstall = 1;

    file.RemoveEmptyFolders = 0;
    WriteFileBytes(m_target / "a\\b\\other.txt", "");
    EXPECT_EQ(file.UninstallStep(reboot), FileDeleted);
    EXPECT_TRUE(WhatIsAt(m_target / "a\\b") == PathKind::Folder);
    EXPECT_EQ(file.UninstallStep(reboot), FileNotResettable);

    file.RemoveEmptyFolders = 1;
    file.DestName = "other.txt";
    EXPECT_EQ(file.UninstallStep(reboot), FileDeleted);
    EXPECT_FALSE(WhatIsAt(m_target / "a") == PathKind::Folder);
    EXPECT_TRUE(WhatIsAt(m_target.Path()) == PathKind::Folder);
    EXPECT_EQ(reboot.GetSize(), 0);
    EXPECT_TRUE(m_restart.NothingScheduled());
}

TEST_F(FileElementTest, UninstallOfAFileInUse) {
    ASSERT_TRUE(CreateDirectoryTree(m_target / "a\\b"));
    const std::string dest = Target("a\\b\\app.exe", "x");
    FileHolder lock(dest);
    WSetupFile file;
    file.DestDir = m_target / "a\\b";
    file.DestName = "app.exe";
    FwStringArray reboot;

    m_restart.accept = false;
    EXPECT_EQ(file.UninstallStep(reboot), FileDeletionFailed) << "nothing scheduled: a failure";
    EXPECT_EQ(reboot.GetSize(), 0);

    m_restart.accept = true;
    EXPECT_EQ(file.UninstallStep(reboot), FileDeletionScheduled);
    ASSERT_EQ(reboot.GetSize(), 1);
    EXPECT_EQ(reboot[0], Uppercased(dest));
    EXPECT_TRUE(m_restart.Scheduled(dest, true));
    // The folders above it, up to the drive, are scheduled too (only empty ones go).
    EXPECT_TRUE(m_restart.Scheduled(m_target / "a\\b", true));
    EXPECT_TRUE(m_restart.Scheduled(m_target / "a", true));
    EXPECT_TRUE(m_restart.Scheduled(m_target.Path(), true));
    if (testsupport::PlatformId() == 2) {
        for (const auto& move : m_restart.moves)
            EXPECT_NE(StripTrailingDelimiter(move.source, "\\").size(), 2u) << move.source;
    }
}

TEST_F(FileElementTest, UninstallOfAReadOnlyFileInUse) {
    // The first deletion fails for the attribute, the second for the sharing: the second
    // failure decides.
    const std::string dest = Target("app.exe", "x");
    SetFileAttributesA(dest.c_str(), FILE_ATTRIBUTE_READONLY);
    FileHolder lock(dest);
    WSetupFile file;
    file.DestDir = m_target.Path();
    file.DestName = "app.exe";
    file.RemoveEmptyFolders = 0;
    FwStringArray reboot;
    m_restart.accept = true;
    EXPECT_EQ(file.UninstallStep(reboot), FileDeletionScheduled);
    ASSERT_EQ(reboot.GetSize(), 1);
    EXPECT_EQ(reboot[0], Uppercased(dest));
    EXPECT_EQ(GetFileAttributesA(dest.c_str()) & FILE_ATTRIBUTE_READONLY, 0u)
        << "left with plain attributes, as the step always did";
}

// --- Run-time files --------------------------------------------------------------------------

TEST_F(FileElementTest, RuntimeFileRemoval) {
    ASSERT_TRUE(CreateDirectoryTree(m_target / "data"));
    const std::string path = Target("data\\cache.bin", "x");
    WSetupRuntimeFile file;
    file.DestDir = m_target / "data";
    file.DestName = "cache.bin";
    FwStringArray reboot;
    EXPECT_EQ(file.Install(), ElementDone);
    EXPECT_EQ(file.Verify(), ElementDone);
    {
        FileHolder lock(path);
        m_restart.accept = false;
        EXPECT_EQ(file.Remove(reboot), RuntimeFileDeletionFailed);
        EXPECT_EQ(reboot.GetSize(), 0);
        m_restart.accept = true;
        EXPECT_EQ(file.Remove(reboot), RuntimeFileDeletionScheduled);
        ASSERT_EQ(reboot.GetSize(), 1);
        EXPECT_EQ(reboot[0], path) << "as it is, not upper-cased";
        EXPECT_TRUE(m_restart.Scheduled(path, true));
    }
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ(file.Remove(reboot), RuntimeFileDeleted);
    EXPECT_FALSE(WhatIsAt(m_target / "data") == PathKind::Folder);
    EXPECT_EQ(file.Remove(reboot), RuntimeFileAbsent);
    EXPECT_EQ(file.Status, RuntimeFileAbsent);
}

// --- BindImage and Verify --------------------------------------------------------------------

TEST_F(FileElementTest, BindImageKeepsAttributesAndRecordsTheChecksum) {
    WSetupFile file;
    file.DestDir = m_target.Path();
    file.DestName = "bound.dll";
    EXPECT_EQ(file.BindImage(), ImageAbsent);

    const std::string image = Versioned("ver_5_0_0_1.dll", m_target / "bound.dll");
    SetFileAttributesA(image.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
    const DWORD before = AttributesOf(image);
    EXPECT_EQ(file.BindImage(), ImageBound);
    EXPECT_EQ(AttributesOf(image), before);
    std::uint32_t checksum = 0;
    ASSERT_TRUE(FileChecksum(image, checksum));
    EXPECT_EQ(file.GetChecksumText(), std::to_string(checksum));

    Target("text.dll", "not an image");
    file.DestName = "text.dll";
    file.SetChecksumText("|||0");
    EXPECT_EQ(file.BindImage(), ImageBindFailed);
    EXPECT_EQ(file.GetChecksumText(), "|||0");
}

TEST_F(FileElementTest, BindImageNeverTakesTheHelperFromTheSearchPath) {
    // A library named as the image helper lies on the search path of a copy of bind_probe.exe
    // (named for this run alone), and Wine is told to prefer such a library to its own for that
    // program: loaded by name, it is the one found there (and its binding fails).
    const std::string probeName = "bind_probe_" + std::to_string(GetCurrentProcessId()) + ".exe";
    const std::string probeCopy = m_medium / probeName;
    ASSERT_TRUE(CopyFileA((testsupport::ProgramFolder() + "\\bind_probe.exe").c_str(),
                          probeCopy.c_str(), FALSE));
    const std::string overrides = "Software\\Wine\\AppDefaults\\" + probeName;
    {
        RegKey key;
        ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, (overrides + "\\DllOverrides").c_str(), 0,
                                  nullptr, 0, KEY_ALL_ACCESS, nullptr, key.Receive(), nullptr),
                  ERROR_SUCCESS);
        const char order[] = "native,builtin";
        RegSetValueExA(key.Get(), "imagehlp", 0, REG_SZ, reinterpret_cast<const BYTE*>(order),
                       sizeof order);
    }

    Versioned("ver_5_0_0_1.dll", m_target / "bound.dll");
    const std::string probe = "\"" + probeCopy + "\" \"" + testsupport::ProgramFolder() +
                              "\\fake-imagehlp\" \"" + m_target.Path() + "\" bound.dll";
    EXPECT_EQ(testsupport::RunAndWait(probe + " byname"), 2) << "the stand-in library is reachable";
    EXPECT_EQ(testsupport::RunAndWait(probe), 0);
    RegDeleteTreeA(HKEY_CURRENT_USER, overrides.c_str());
}

TEST_F(FileElementTest, VerifyChecksPresenceAndAttributes) {
    WSetupFile file;
    file.DestDir = m_target.Path();
    file.DestName = "v.txt";
    file.Attributes = "011000"; // archive, hidden
    EXPECT_EQ(file.Verify(), FileMissing);
    const std::string path = Target("v.txt", "x");
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_HIDDEN);
    EXPECT_EQ(file.Verify(), FileAsInstalled);
    FileHolder lock(path);
    EXPECT_EQ(file.Verify(), FileAsInstalled) << "a file in use is present";
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_ARCHIVE);
    EXPECT_EQ(file.Verify(), FileAttributesDiffer);
    EXPECT_EQ(file.Status, FileAttributesDiffer);
}

} // namespace
