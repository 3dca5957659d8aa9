// The font element on each platform family: registration under the family's font list (and the
// ".FOT" resource on NT before the new shell), the font as the running system lists it, its
// removal at uninstall, the check, and the font-change broadcast. HKEY_LOCAL_MACHINE is
// redirected to a scratch key for every test, so a wrong key can only hit scratch data.
#include "setup/core/fileutil.h"
#include "setup/core/handles.h"
#include "setup/core/macros.h"
#include "setup/core/path.h"
#include "setup/core/registry.h"
#include "setup/core/restart_schedule.h"
#include "setup/core/sysfolders.h"
#include "setup/elements/ttf_file.h"
#include "elements/font_material.h"
#include "support/file_holder.h"
#include "support/fixtures.h"
#include "support/test_thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>

using testsupport::TempFolder;

namespace {

const char Win9xList[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Fonts\\";
const char NtList[] = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Fonts\\";

bool IsNt() {
    return ThePlatformVersion().PlatformId() == VER_PLATFORM_WIN32_NT;
}
bool BuildsFot() {
    return IsNt() && !ThePlatformVersion().NewShell();
}

std::string FotPathFor(const std::string& fontFileName) {
    return TheSystemFolders().Windows() + "\\system\\" +
           fontFileName.substr(0, fontFileName.find('.')) + ".FOT";
}

// Counts the fonts enumerated (a callback of the platform's calling convention: a lambda would
// convert only to a cdecl pointer, which differs from CALLBACK at 32 bits).
int CALLBACK CountFont(const LOGFONTA*, const TEXTMETRICA*, DWORD, LPARAM counter) {
    ++*reinterpret_cast<int*>(counter);
    return 1;
}

bool IsListed(const std::string& family) {
    HDC dc = CreateCompatibleDC(nullptr);
    LOGFONTA wanted = {};
    wanted.lfCharSet = DEFAULT_CHARSET;
    lstrcpynA(wanted.lfFaceName, family.c_str(), LF_FACESIZE);
    int found = 0;
    EnumFontFamiliesExA(dc, &wanted, &CountFont, reinterpret_cast<LPARAM>(&found), 0);
    DeleteDC(dc);
    return found > 0;
}

std::string ListValue(const char* list, const std::string& name) {
    return ReadRegStringAt(HKEY_LOCAL_MACHINE, list + name + " (TrueType)");
}
bool ListHasValue(const char* list, const std::string& name) {
    RegKey key;
    std::string keyPath(list);
    keyPath.pop_back();
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, KEY_READ, key.Receive()) !=
        ERROR_SUCCESS)
        return false;
    const std::string valueName = name + " (TrueType)";
    const bool present = RegQueryValueExA(key.Get(), valueName.c_str(), nullptr, nullptr, nullptr,
                                          nullptr) == ERROR_SUCCESS;
    return present;
}

// Counts the WM_FONTCHANGE messages that reach a hidden top-level window of this thread.
class FontChangeListener {
public:
    FontChangeListener() {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = Procedure;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "TarvoFontChangeListener";
        RegisterClassA(&wc);
        m_window = CreateWindowA(wc.lpszClassName, "", WS_OVERLAPPED, 0, 0, 10, 10, nullptr,
                                 nullptr, wc.hInstance, nullptr);
        s_count = 0;
    }
    ~FontChangeListener() { DestroyWindow(m_window); }
    bool Ready() const { return m_window != nullptr; }
    int Count() const { return s_count; }

private:
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM w, LPARAM l) {
        if (message == WM_FONTCHANGE)
            ++s_count;
        return DefWindowProcA(window, message, w, l);
    }
    static int s_count;
    HWND m_window;
};
int FontChangeListener::s_count = 0;

class FontElementTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, m_machine.KeyPath().c_str(), 0, nullptr, 0,
                                  KEY_ALL_ACCESS, nullptr, m_machineKey.Receive(), nullptr),
                  ERROR_SUCCESS);
        ASSERT_EQ(RegOverridePredefKey(HKEY_LOCAL_MACHINE, m_machineKey.Get()), ERROR_SUCCESS);
        m_family = testsupport::UniqueFamilyName("Tarvo Probe");
        m_fileName = "tp" + std::to_string(GetTickCount() % 100000) + "_" +
                     std::to_string(GetCurrentProcessId()) + ".ttf";
        ASSERT_TRUE(testsupport::MakeRenamedFont(testsupport::BaseFontPath(), m_medium / m_fileName,
                                                 m_family))
            << "the font package (fonts-dejavu-core) is missing: " << testsupport::BaseFontPath();
        TheSetupContext().Enabled = 1;
    }
    void TearDown() override {
        // Whatever a failed test left behind: the font in the running system and its resource.
        for (const std::string& path : m_cleanup) {
            while (RemoveFontResourceA(path.c_str())) {
            }
            SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileA(path.c_str());
        }
        const std::string fot = FotPathFor(m_fileName);
        while (RemoveFontResourceA(fot.c_str())) {
        }
        DeleteFileA(fot.c_str());
        RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
        m_machineKey.Reset();
    }

    // A font element that copies the test font from the medium into `folder`.
    void Prepare(WSetupTTFFile& font, const std::string& folder) {
        font.SourceDir = m_medium.Path();
        font.MediaName = m_fileName;
        font.DestDir = folder;
        font.DestName = m_fileName;
        font.FontName = m_family;
        font.Id = "font-id";
        font.Attributes = "010000"; // archive: what the platform reports for a plain file
        m_cleanup.push_back(folder + "\\" + m_fileName);
    }

    int Install(WSetupTTFFile& font) {
        FwStringArray reboot;
        FwPtrArray collected;
        return font.InstallStep(reboot, collected, 0, 0, 0);
    }
    int Uninstall(WSetupTTFFile& font) {
        FwStringArray reboot;
        return font.UninstallStep(reboot);
    }

    // What the font list of this platform should hold for the file at `path`.
    std::string ExpectedListText(const std::string& path) {
        if (BuildsFot())
            return FotPathFor(FileNameOf(path));
        if (ThePlatformVersion().NewShell() &&
            EqualText(ParentOf(path), TheSystemFolders().Fonts(), false))
            return FileNameOf(path);
        return path;
    }

    testsupport::ScratchKey m_machine;
    RegKey m_machineKey;
    TempFolder m_medium;
    TempFolder m_target;
    std::string m_family;
    std::string m_fileName;
    std::vector<std::string> m_cleanup;
};

TEST_F(FontElementTest, RegisteredUnderItsFamilyListedAndGoneAfterUninstall) {
    WSetupTTFFile font;
    Prepare(font, m_target.Path());
    const std::string installed = m_target / m_fileName;
    ASSERT_FALSE(IsListed(m_family));

    EXPECT_EQ(Install(font), CopiedWasAbsent); // copied, the destination was absent
    EXPECT_EQ(font.RestartPending, 0);
    EXPECT_EQ(font.Verify(), FontNotListed); // copied, not registered yet
    ASSERT_EQ(font.RegisterFont(0), FontRegistered);
    EXPECT_EQ(font.Status, FontRegistered);
    EXPECT_TRUE(IsListed(m_family));

    const char* own = IsNt() ? NtList : Win9xList;
    const char* other = IsNt() ? Win9xList : NtList;
    EXPECT_TRUE(EqualText(ListValue(own, m_family), ExpectedListText(installed), false))
        << ListValue(own, m_family);
    EXPECT_FALSE(ListHasValue(other, m_family));
    if (BuildsFot()) {
        // The resource names the font file and is what the system loaded.
        const std::string fot = FotPathFor(m_fileName);
        const std::string bytes = testsupport::ReadFileBytes(fot);
        EXPECT_GT(bytes.size(), 0u);
        EXPECT_NE(bytes.find(m_fileName), std::string::npos);
    }
    EXPECT_EQ(font.Verify(), FileAsInstalled); // the registration RegisterFont wrote is accepted

    EXPECT_EQ(Uninstall(font), FileDeleted);
    EXPECT_FALSE(IsListed(m_family));
    EXPECT_FALSE(ListHasValue(own, m_family));
    EXPECT_EQ(GetFileAttributesA(installed.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetFileAttributesA(FotPathFor(m_fileName).c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(FontElementTest, FontsFolderRegistrationIsAcceptedByTheCheck) {
    WSetupTTFFile font;
    Prepare(font, TheSystemFolders().Fonts());
    font.FontName = "";
    font.Id = m_family;
    ASSERT_EQ(Install(font), CopiedWasAbsent);
    ASSERT_EQ(font.RegisterFont(0), FontRegistered);
    EXPECT_EQ(font.FontName, m_family); // the empty name became Id
    const std::string installed = TheSystemFolders().Fonts() + "\\" + m_fileName;
    const std::string listed = ListValue(IsNt() ? NtList : Win9xList, m_family);
    EXPECT_TRUE(EqualText(listed, ExpectedListText(installed), false)) << listed;
    if (ThePlatformVersion().NewShell()) {
        EXPECT_EQ(listed, m_fileName);
    }
    EXPECT_TRUE(IsListed(m_family));
    EXPECT_EQ(font.Verify(), FileAsInstalled);
    EXPECT_EQ(Uninstall(font), FileDeleted);
    EXPECT_FALSE(IsListed(m_family));
}

TEST_F(FontElementTest, UninstallKeepsAnotherFilesRegistrationAndTheCheckRejectsIt) {
    WSetupTTFFile font;
    Prepare(font, m_target.Path());
    ASSERT_EQ(Install(font), CopiedWasAbsent);
    const char* own = IsNt() ? NtList : Win9xList;
    const std::string valuePath = std::string(own) + m_family + " (TrueType)";
    ASSERT_TRUE(WriteRegStringAt(HKEY_LOCAL_MACHINE, valuePath, "C:\\Elsewhere\\other.ttf"));
    EXPECT_EQ(font.Verify(), FontNotListed);
    EXPECT_EQ(Uninstall(font), FileDeleted);
    EXPECT_EQ(ListValue(own, m_family), "C:\\Elsewhere\\other.ttf");
}

TEST_F(FontElementTest, RegistrationFailuresAnswerTheirCodes) {
    WSetupTTFFile font;
    Prepare(font, m_target.Path());
    EXPECT_EQ(font.RegisterFont(0), FontFileAbsent); // not installed yet

    // Not a font: nothing added, nothing written.
    ASSERT_TRUE(testsupport::WriteFileBytes(m_target / m_fileName, "not a font"));
    EXPECT_EQ(font.RegisterFont(0), FontNotRegistered);
    EXPECT_FALSE(ListHasValue(IsNt() ? NtList : Win9xList, m_family));
    EXPECT_EQ(GetFileAttributesA(FotPathFor(m_fileName).c_str()), INVALID_FILE_ATTRIBUTES);

    // A platform of neither family has no font list: nothing is written anywhere, also not at
    // the top of HKEY_LOCAL_MACHINE.
    const std::string good = m_medium / m_fileName;
    const PlatformVersion unknown(true, 3, 4, 0);
    EXPECT_FALSE(RegisterFontFileAs(unknown, good, m_family));
    EXPECT_FALSE(IsListed(m_family));
    EXPECT_EQ(ReadRegStringAt(HKEY_LOCAL_MACHINE, m_family + " (TrueType)"), "");
    EXPECT_FALSE(ListHasValue(Win9xList, m_family));
    EXPECT_FALSE(ListHasValue(NtList, m_family));
}

TEST_F(FontElementTest, RegisterFromSourceUsesTheMediumFileWhenSkipped) {
    WSetupTTFFile font;
    Prepare(font, m_target.Path());
    font.SkipWhenAsked = 1;
    FwStringArray reboot;
    FwPtrArray collected;
    EXPECT_EQ(font.InstallStep(reboot, collected, 1, 0, 0), SkippedOnRequest);
    ASSERT_EQ(font.RegisterFont(1), FontRegistered);
    const std::string listed = ListValue(IsNt() ? NtList : Win9xList, m_family);
    const std::string medium = m_medium / m_fileName;
    EXPECT_TRUE(EqualText(listed, BuildsFot() ? FotPathFor(m_fileName) : medium, false)) << listed;
    EXPECT_TRUE(UnregisterFontFile(medium, m_family));
    EXPECT_FALSE(IsListed(m_family));
}

TEST_F(FontElementTest, LeftoverResourceFileIsRebuilt) {
    if (!BuildsFot())
        GTEST_SKIP() << "only NT before the new shell builds .FOT resources";
    const std::string fot = FotPathFor(m_fileName);
    ASSERT_TRUE(testsupport::WriteFileBytes(fot, "left by an earlier installation"));
    SetFileAttributesA(fot.c_str(), FILE_ATTRIBUTE_READONLY);
    WSetupTTFFile font;
    Prepare(font, m_target.Path());
    ASSERT_EQ(Install(font), CopiedWasAbsent);
    ASSERT_EQ(font.RegisterFont(0), FontRegistered);
    EXPECT_TRUE(EqualText(ListValue(NtList, m_family), fot, false));
    EXPECT_NE(testsupport::ReadFileBytes(fot).find(m_fileName), std::string::npos);
    EXPECT_TRUE(IsListed(m_family));
    EXPECT_EQ(Uninstall(font), FileDeleted);
    EXPECT_FALSE(IsListed(m_family));
}

TEST_F(FontElementTest, AddingAndRemovingBroadcastFontChange) {
    FontChangeListener listener;
    ASSERT_TRUE(listener.Ready());
    // A top-level window of another thread that never answers: the broadcast must not wait for
    // it forever.
    std::atomic<bool> release{false};
    std::atomic<HWND> hung{nullptr};
    testsupport::TestThread hangs([&] {
        hung = CreateWindowA("STATIC", "hung", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr,
                             nullptr, nullptr);
        while (!release)
            Sleep(10);
        DestroyWindow(hung);
    });
    // Released before the thread is joined on every way out of the test, failed asserts too.
    struct ReleaseOnExit {
        std::atomic<bool>& flag;
        ~ReleaseOnExit() { flag = true; }
    } releaseOnExit{release};
    ASSERT_TRUE(hangs.Started());
    while (!hung)
        Sleep(10);

    WSetupTTFFile font;
    Prepare(font, m_target.Path());
    ASSERT_EQ(Install(font), CopiedWasAbsent);
    const DWORD start = GetTickCount();
    ASSERT_EQ(font.RegisterFont(0), FontRegistered);
    const int afterAdd = listener.Count();
    EXPECT_GE(afterAdd, 1);
    EXPECT_EQ(Uninstall(font), FileDeleted);
    EXPECT_GT(listener.Count(), afterAdd);
    EXPECT_LT(GetTickCount() - start, 20000u);
    release = true;
    hangs.Join();
}

TEST_F(FontElementTest, RestartPendingOnlyAfterScheduledPlainReplacement) {
    // The installed font is in use (open for reading, as a loaded font is); its replacement
    // waits for the restart. Scheduling goes to a stand-in platform, never the machine's lists.
    struct Recorder : RestartPlatform {
        DWORD PlatformId() override { return 2; }
        bool MoveAtRestart(const std::string& source, const std::string&) override {
            DeleteFileA(source.c_str()); // the staging copy: nothing will move it
            return true;
        }
    } recorder;
    OverrideForTesting standIn(RestartPlatformForTesting(), &recorder);

    const std::string installed = m_target / m_fileName;
    for (int mode : {CopyAlways, CopyIfNewerVersion, CopyIfNewerDate}) {
        SCOPED_TRACE(mode);
        ASSERT_TRUE(testsupport::WriteFileBytes(
            installed, testsupport::ReadFileBytes(testsupport::BaseFontPath())));
        FILETIME old = {0x10000000, 0x01000000}; // the medium's copy is newer
        {
            KernelHandle file(CreateFileA(installed.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr,
                                          OPEN_EXISTING, 0, nullptr));
            ASSERT_TRUE(file);
            SetFileTime(file.Get(), nullptr, nullptr, &old);
        }
        testsupport::FileHolder lock(installed, "read");
        ASSERT_TRUE(lock.Held()) << lock.Report();

        WSetupTTFFile font;
        Prepare(font, m_target.Path());
        font.CopyMode = mode;
        const int outcome = Install(font);
        EXPECT_EQ(outcome, mode == CopyAlways           ? ScheduledPlain
                           : mode == CopyIfNewerVersion ? ScheduledVersion
                                                        : ScheduledDate);
        EXPECT_EQ(font.RestartPending, mode == CopyAlways ? 1 : 0);
        const int registered = font.RegisterFont(0);
        lock.Release();
        if (mode == CopyAlways) {
            EXPECT_EQ(registered, FontAwaitsRestart);
            EXPECT_FALSE(IsListed(m_family));
        } else {
            // The file in place (the base font) is registered under this element's name.
            EXPECT_EQ(registered, FontRegistered);
            EXPECT_TRUE(UnregisterFontFile(installed, m_family));
        }
        DeleteFileA(installed.c_str());
    }
}

} // namespace
