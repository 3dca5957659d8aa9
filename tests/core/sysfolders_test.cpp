// System folder resolution: every step and fallback, reached through a platform whose version,
// shell calls, registry roots and fixed folders a test chooses, and the real platform with and
// without the optional shell-folder library.
#include "setup/core/sysfolders.h"

#include <set>
#include <vector>

#include <gtest/gtest.h>

#include "setup/core/path.h"
#include "setup/core/handles.h"
#include "support/fixtures.h"

using testsupport::ScratchKey;
using testsupport::TempFolder;

namespace {

const char* const ShellFolders =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
const char* const DefaultShellFolders =
    ".Default\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
const char* const CurrentVersion = "Software\\Microsoft\\Windows\\CurrentVersion";

void SetString(HKEY root, const std::string& keyPath, const std::string& name,
               const std::string& value) {
    RegKey key;
    ASSERT_EQ(RegCreateKeyExA(root, keyPath.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              key.Receive(), nullptr),
              ERROR_SUCCESS);
    RegSetValueExA(key.Get(), name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>(value.size() + 1));
}

// The shell's answer through an item identifier list; empty when it has none.
std::string LocationPath(int csidl) {
    IMalloc* allocator = nullptr;
    if (FAILED(SHGetMalloc(&allocator)))
        return "";
    ShellMemory<ITEMIDLIST> list(allocator);
    char path[MAX_PATH] = {};
    if (FAILED(SHGetSpecialFolderLocation(nullptr, csidl, list.Receive())))
        return "";
    SHGetPathFromIDListA(list.Get(), path);
    return path;
}

// A drive letter with nothing behind it.
std::string UnusedDrive() {
    DWORD drives = GetLogicalDrives();
    for (char letter = 'Q'; letter <= 'Y'; ++letter)
        if (!(drives & (1u << (letter - 'A'))))
            return std::string(1, letter) + ":";
    return "";
}

// Three scratch keys that stand in for HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE and HKEY_USERS.
class ScratchRoots {
public:
    ScratchRoots() {
        user = Open(m_user, "HKCU");
        machine = Open(m_machine, "HKLM");
        users = Open(m_users, "HKU");
    }
    HKEY user = nullptr;
    HKEY machine = nullptr;
    HKEY users = nullptr;

private:
    HKEY Open(RegKey& key, const char* name) {
        RegCreateKeyExA(m_scratch.Root(), (m_scratch / name).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                        nullptr, key.Receive(), nullptr);
        return key.Get();
    }
    ScratchKey m_scratch;
    RegKey m_user;
    RegKey m_machine;
    RegKey m_users;
};

// The platform as a test sets it up. By default: the version chosen, no shell-folder library
// (the current directory is an empty temporary folder), every item-identifier-list lookup
// failing, and the registry redirected to empty scratch keys.
class TestPlatform : public FolderPlatform {
public:
    TestPlatform(DWORD platformId, DWORD minor, const ScratchRoots& roots)
        : platformId(platformId), minor(minor), m_roots(roots) {}

    bool QueryVersion(OSVERSIONINFOA& info) override {
        info = OSVERSIONINFOA();
        info.dwOSVersionInfoSize = sizeof info;
        info.dwPlatformId = platformId;
        info.dwMajorVersion = platformId == 2 ? 5 : 4;
        info.dwMinorVersion = minor;
        return versionOk;
    }
    std::string CurrentDirectory() override { return currentDirectory; }
    HRESULT FolderPath(ShGetFolderPathFn function, int csidl, std::string& path) override {
        folderPathAsked.push_back(csidl);
        return FolderPlatform::FolderPath(function, csidl, path);
    }
    HRESULT SpecialFolderLocation(int csidl, LPITEMIDLIST& list) override {
        locationAsked.push_back(csidl);
        if (!shellLocations)
            return E_FAIL;
        return FolderPlatform::SpecialFolderLocation(csidl, list);
    }
    HRESULT ShellAllocator(IMalloc*& allocator) override {
        if (allocatorFails)
            return E_OUTOFMEMORY;
        return FolderPlatform::ShellAllocator(allocator);
    }
    HKEY RegistryRoot(HKEY predefined) override {
        if (predefined == HKEY_CURRENT_USER)
            return m_roots.user;
        if (predefined == HKEY_LOCAL_MACHINE)
            return m_roots.machine;
        if (predefined == HKEY_USERS)
            return m_roots.users;
        return nullptr;
    }
    std::string WindowsDirectory() override { return windows; }
    std::string SystemDirectory() override { return system; }
    std::string TempPath() override { return temp; }
    std::string ProgramFileName() override { return program; }
    std::string UserName() override { return "tester"; }
    bool CreateFolder(const std::string& path) override {
        created.push_back(path);
        return true;
    }

    DWORD platformId;
    DWORD minor;
    bool versionOk = true;
    std::string currentDirectory;
    bool shellLocations = false;
    bool allocatorFails = false;
    std::string windows;
    std::string system;
    std::string temp = "C:\\TEMP\\";
    std::string program = "C:\\Media\\Disk1\\setup.exe";
    std::vector<int> folderPathAsked;
    std::vector<int> locationAsked;
    std::vector<std::string> created;

private:
    const ScratchRoots& m_roots;
};

// The folder of the running test program's shell-folder stand-in.
std::string StandInLibrary() {
    return testsupport::ProgramFolder() + "\\standins\\shfolder\\shfolder.dll";
}

// Puts the stand-in library below a folder as "setup\shfolder.dll" and sets the variables that
// drive it; takes both away again at destruction.
class StandInFolderLibrary {
public:
    explicit StandInFolderLibrary(const std::string& currentDirectory)
        : m_library(currentDirectory + "\\setup\\shfolder.dll") {
        CreateDirectoryA((currentDirectory + "\\setup").c_str(), nullptr);
        copied = CopyFileA(StandInLibrary().c_str(), m_library.c_str(), FALSE) != FALSE;
        root = currentDirectory + "\\answers";
        SetEnvironmentVariableA("TARVO_SHFOLDER_ROOT", root.c_str());
        SetEnvironmentVariableA("TARVO_SHFOLDER_FAIL", nullptr);
    }
    ~StandInFolderLibrary() {
        SetEnvironmentVariableA("TARVO_SHFOLDER_ROOT", nullptr);
        SetEnvironmentVariableA("TARVO_SHFOLDER_FAIL", nullptr);
    }
    void Fail(const std::string& csidls) {
        SetEnvironmentVariableA("TARVO_SHFOLDER_FAIL", csidls.c_str());
    }
    std::string Answer(int csidl) const { return root + "\\csidl" + std::to_string(csidl); }

    bool copied = false;
    std::string root;

private:
    std::string m_library;
};

class FolderFallbacks : public ::testing::TestWithParam<int> {
protected:
    FolderFallbacks() : platform(GetParam() == 1 ? 1 : 2, GetParam() == 1 ? 10 : 0, roots) {
        platform.currentDirectory = current.Path();
        platform.windows = windowsParent.Path() + "\\WINDOWS";
        CreateDirectoryA(platform.windows.c_str(), nullptr);
        platform.system = platform.windows + "\\SYSTEM";
        CreateDirectoryA(platform.system.c_str(), nullptr);
    }
    bool Nt() const { return GetParam() == 2; }
    HKEY ShellFoldersRoot() const { return Nt() ? roots.users : roots.user; }
    const char* ShellFoldersPath() const { return Nt() ? DefaultShellFolders : ShellFolders; }
    std::string Drive() const { return PathRoot(platform.windows); }

    TempFolder current;
    TempFolder windowsParent;
    ScratchRoots roots;
    TestPlatform platform;
};

INSTANTIATE_TEST_SUITE_P(Platforms, FolderFallbacks, ::testing::Values(1, 2),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return info.param == 1 ? std::string("Win98") : std::string("NT");
                         });

TEST_P(FolderFallbacks, WithoutShellFoldersKeyFixedNamesAreUsed) {
    SystemFolders folders(platform);
    EXPECT_FALSE(folders.HasFolderLibrary());
    const std::string startMenu = platform.windows + "\\Start Menu";
    EXPECT_EQ(folders.StartMenu(), startMenu);
    EXPECT_EQ(folders.Programs(), startMenu + "\\Programs");
    EXPECT_EQ(folders.Desktop(), startMenu + "\\Desktop");
    EXPECT_EQ(folders.Startup(), startMenu + "\\Programs\\Startup");
    EXPECT_EQ(folders.CommonStartup(), startMenu + "\\Programs\\Startup");
    // Send-to, Templates and Fonts have no fixed name.
    EXPECT_EQ(folders.SendTo(), "");
    EXPECT_EQ(folders.Templates(), "");
    EXPECT_EQ(folders.Fonts(), "");
    EXPECT_EQ(folders.Personal(), Drive() + "\\My Documents");
    EXPECT_EQ(folders.Pictures(), "");
    EXPECT_TRUE(platform.created.empty());
    // The shell was asked for the user's folders on 95/98, the common ones on NT.
    std::set<int> asked(platform.locationAsked.begin(), platform.locationAsked.end());
    EXPECT_EQ(asked.count(Nt() ? 22 : 11), 1u);
    EXPECT_EQ(asked.count(Nt() ? 11 : 22), 0u);
}

TEST_P(FolderFallbacks, ShellFoldersKeyValues) {
    HKEY root = ShellFoldersRoot();
    SetString(root, ShellFoldersPath(), "Start Menu", "C:\\Menu");
    SetString(root, ShellFoldersPath(), "Programs", "C:\\Menu\\Progs");
    SetString(root, ShellFoldersPath(), "StartUp", "C:\\Menu\\Progs\\Boot");
    // Send-to, Templates and Fonts come from the default user's key on every platform.
    SetString(roots.users, DefaultShellFolders, "SendTo", "C:\\Send");
    SetString(roots.users, DefaultShellFolders, "Templates", "C:\\Tpl");
    SetString(roots.users, DefaultShellFolders, "Fonts", "C:\\Fnt");
    SetString(roots.user, ShellFolders, "Fonts", "C:\\WrongFonts");
    SystemFolders folders(platform);
    EXPECT_EQ(folders.StartMenu(), "C:\\Menu");
    EXPECT_EQ(folders.Programs(), "C:\\Menu\\Progs");
    EXPECT_EQ(folders.Startup(), "C:\\Menu\\Progs\\Boot");
    EXPECT_EQ(folders.CommonStartup(), "C:\\Menu\\Progs\\Boot");
    // The key opens but has no Desktop value: the folder stays empty.
    EXPECT_EQ(folders.Desktop(), "");
    EXPECT_EQ(folders.SendTo(), "C:\\Send");
    EXPECT_EQ(folders.Templates(), "C:\\Tpl");
    EXPECT_EQ(folders.Fonts(), "C:\\Fnt");
}

TEST_P(FolderFallbacks, FixedFolders) {
    platform.system = UnusedDrive() + "\\SYSTEM32";
    SystemFolders folders(platform);
    EXPECT_EQ(folders.Windows(), platform.windows);
    EXPECT_EQ(folders.System(), platform.windows); // the system folder failed the folder test
    EXPECT_EQ(folders.Temp(), "C:\\TEMP\\");
    EXPECT_EQ(folders.Module(), "C:\\Media\\Disk1");
    EXPECT_EQ(folders.Maker(), platform.windows + "\\Tarvo");
    EXPECT_EQ(folders.Windows(true), ShortPathOf(platform.windows));
    EXPECT_FALSE(folders.Windows(true).empty());
}

// Code page 932: the program's own name ends in a character whose trail byte is a backslash.
TEST_P(FolderFallbacks, ModuleFolderOfADoubleByteProgramName) {
    if (!testsupport::DoubleByteCodePage())
        GTEST_SKIP() << "needs a double-byte ANSI code page (the cp932 run)";
    using namespace testsupport::cp932;
    platform.program = "C:\\" + So + Fu + To + "\\" + So + Fu + To + ".exe";
    EXPECT_EQ(SystemFolders(platform).Module(), "C:\\" + So + Fu + To);
    platform.program = "C:\\" + Hyo + "\\" + Fu + So;
    EXPECT_EQ(SystemFolders(platform).Module(), "C:\\" + Hyo);
    platform.program = "setup.exe";
    EXPECT_EQ(SystemFolders(platform).Module(), "");
}

TEST_P(FolderFallbacks, ShellLocationsAreUsedBeforeTheRegistry) {
    platform.shellLocations = true;
    SetString(ShellFoldersRoot(), ShellFoldersPath(), "Start Menu", "C:\\FromRegistry");
    SystemFolders folders(platform);
    EXPECT_EQ(folders.StartMenu(), LocationPath(Nt() ? 22 : 11));
    EXPECT_EQ(folders.Fonts(), LocationPath(20));
    EXPECT_FALSE(folders.Startup().empty());
    EXPECT_FALSE(folders.CommonStartup().empty());
    EXPECT_NE(folders.Startup(), folders.CommonStartup());
    EXPECT_FALSE(folders.Pictures().empty());
}

TEST_P(FolderFallbacks, AllocatorFailureLeavesShellFoldersEmpty) {
    platform.shellLocations = true;
    platform.allocatorFails = true;
    SetString(ShellFoldersRoot(), ShellFoldersPath(), "Start Menu", "C:\\FromRegistry");
    SystemFolders folders(platform);
    EXPECT_EQ(folders.StartMenu(), "");
    EXPECT_EQ(folders.Programs(), "");
    EXPECT_EQ(folders.Desktop(), "");
    EXPECT_EQ(folders.Startup(), "");
    EXPECT_EQ(folders.Fonts(), "");
    EXPECT_EQ(folders.Personal(), "");
    EXPECT_EQ(folders.Pictures(), "");
    // Folders that do not come from the shell are unaffected.
    EXPECT_EQ(folders.Windows(), platform.windows);
}

TEST_P(FolderFallbacks, ProgramFilesFromRegistry) {
    TempFolder programFiles;
    SetString(roots.machine, CurrentVersion, "ProgramFilesDir", programFiles.Path());
    SetString(roots.machine, CurrentVersion, "ProgramFilesPath", "C:\\Ignored");
    SystemFolders folders(platform);
    EXPECT_EQ(folders.ProgramFiles(), programFiles.Path());
    // Recomputed on request; a path that fails the folder test gives the fixed name.
    SetString(roots.machine, CurrentVersion, "ProgramFilesDir", "");
    SetString(roots.machine, CurrentVersion, "ProgramFilesPath", UnusedDrive() + "\\Apps");
    EXPECT_EQ(folders.GetProgramFilesFolder(), Drive() + "\\Program Files");
    EXPECT_EQ(folders.ProgramFiles(), Drive() + "\\Program Files");
}

TEST_P(FolderFallbacks, ProgramFilesPathOnTheWindowsDrive) {
    // The Windows folder on drive Z: (the root of the build machine's file system) and an
    // Apps folder in the build tree, named through "%systemdrive%".
    std::string build = testsupport::EnvText("TARVO_BUILD_DIR");
    ASSERT_FALSE(build.empty());
    std::string unixFolder = build + "/sysfolders-apps-" + std::to_string(GetCurrentProcessId()) +
                             "-" + std::to_string(GetTickCount());
    std::string zFolder = testsupport::WindowsPathOf(unixFolder);
    ASSERT_TRUE(CreateDirectoryA(zFolder.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryA((zFolder + "\\Apps").c_str(), nullptr));
    platform.windows = "Z:\\WINNT";
    std::string belowDrive = zFolder.substr(2) + "\\Apps";
    SetString(roots.machine, CurrentVersion, "ProgramFilesDir", UnusedDrive() + "\\Programs");
    SetString(roots.machine, CurrentVersion, "ProgramFilesPath", "%systemdrive%" + belowDrive);
    SystemFolders folders(platform);
    EXPECT_EQ(folders.ProgramFiles(), "Z:" + belowDrive);
    SetString(roots.machine, CurrentVersion, "ProgramFilesPath", "%SYSTEMDRIVE%" + belowDrive);
    EXPECT_EQ(folders.GetProgramFilesFolder(), "Z:" + belowDrive);
    testsupport::RemoveTree(zFolder);
}

TEST_P(FolderFallbacks, SharedDaoAndOdbcFolders) {
    TempFolder programFiles;
    SetString(roots.machine, CurrentVersion, "ProgramFilesDir", programFiles.Path());
    {
        SystemFolders folders(platform);
        EXPECT_EQ(folders.Dao(), programFiles.Path() + "\\Common Files\\Microsoft Shared\\DAO");
        EXPECT_EQ(folders.Odbc(), programFiles.Path() + "\\Common Files\\ODBC");
    }
    SetString(roots.machine, CurrentVersion, "CommonFilesDir", "D:\\Common");
    SystemFolders folders(platform);
    EXPECT_EQ(folders.Dao(), "D:\\Common\\Microsoft Shared\\DAO");
    EXPECT_EQ(folders.Odbc(), "D:\\Common\\ODBC");
}

TEST_P(FolderFallbacks, BdeFromTheFirstEntryHoldingTheEngine) {
    TempFolder first;
    TempFolder second;
    ASSERT_TRUE(testsupport::WriteFileBytes(second / "IDAPI32.DLL", "MZ"));
    SetString(roots.machine, "Software\\Borland\\Database Engine", "DLLPATH",
              first.Path() + " ; " + second.Path());
    {
        SystemFolders folders(platform);
        EXPECT_EQ(folders.Bde(), second.Path());
    }
    // A single entry is taken as it is.
    SetString(roots.machine, "Software\\Borland\\Database Engine", "DLLPATH", second.Path());
    SystemFolders folders(platform);
    EXPECT_EQ(folders.Bde(), second.Path());
}

TEST_P(FolderFallbacks, BdeFallsBackToProgramFiles) {
    TempFolder programFiles;
    TempFolder empty;
    SetString(roots.machine, CurrentVersion, "ProgramFilesDir", programFiles.Path());
    SetString(roots.machine, "Software\\Borland\\Database Engine", "DLLPATH", empty.Path());
    {
        SystemFolders folders(platform);
        EXPECT_EQ(folders.Bde(), programFiles.Path() + "\\Borland\\Common Files\\Bde");
    }
    // Program Files on a drive that cannot be written: no BDE folder at all.
    SetString(roots.machine, CurrentVersion, "ProgramFilesDir", "");
    platform.windows = UnusedDrive() + "\\WINDOWS";
    SystemFolders folders(platform);
    EXPECT_EQ(folders.Bde(), "");
}

TEST_P(FolderFallbacks, PersonalFromTheRegistry) {
    SetString(roots.machine, std::string(CurrentVersion) + "\\ProfileList\\tester",
              "ProfileImagePath", "C:\\Profiles\\tester");
    {
        SystemFolders folders(platform);
        // Windows 98 looks at profiles only when user profiles are enabled.
        EXPECT_EQ(folders.Personal(),
                  Nt() ? "C:\\Profiles\\tester\\Personal" : Drive() + "\\My Documents");
    }
    SetString(roots.machine, "Network\\Logon", "UserProfiles", "1");
    {
        SystemFolders folders(platform);
        EXPECT_EQ(folders.Personal(), "C:\\Profiles\\tester\\Personal");
    }
    SetString(roots.user, std::string(CurrentVersion) + "\\Explorer\\User Shell Folders",
              "Personal", "C:\\Docs");
    SystemFolders folders(platform);
    EXPECT_EQ(folders.Personal(), "C:\\Docs");
}

TEST_P(FolderFallbacks, FailedVersionQuery) {
    platform.versionOk = false;
    SetString(roots.users, DefaultShellFolders, "Start Menu", "C:\\DefaultMenu");
    SetString(roots.user, ShellFolders, "Start Menu", "C:\\UserMenu");
    SystemFolders folders(platform);
    // Not the 95/98 family: the common folder is asked for and the default user's key read.
    std::set<int> asked(platform.locationAsked.begin(), platform.locationAsked.end());
    EXPECT_EQ(asked.count(22), 1u);
    EXPECT_EQ(asked.count(11), 0u);
    EXPECT_EQ(folders.StartMenu(), "C:\\DefaultMenu");
    EXPECT_EQ(folders.Personal(), Drive() + "\\My Documents");
}

// The optional library, with the version chosen (95, 98 or NT).
class FolderLibrary : public ::testing::Test {
protected:
    FolderLibrary() : library(current.Path()), platform(2, 0, roots) {
        platform.currentDirectory = current.Path();
        platform.windows = current.Path() + "\\WINDOWS";
        platform.system = platform.windows;
        CreateDirectoryA(platform.windows.c_str(), nullptr);
    }
    void SetVersion(DWORD id, DWORD minor) {
        platform.platformId = id;
        platform.minor = minor;
    }
    std::string Drive() const { return PathRoot(platform.windows); }

    TempFolder current;
    StandInFolderLibrary library;
    ScratchRoots roots;
    TestPlatform platform;
};

TEST_F(FolderLibrary, AnswersEveryShellFolderOnNt) {
    ASSERT_TRUE(library.copied);
    SystemFolders folders(platform);
    ASSERT_TRUE(folders.HasFolderLibrary());
    EXPECT_EQ(folders.StartMenu(), library.Answer(22));
    EXPECT_EQ(folders.Programs(), library.Answer(23));
    EXPECT_EQ(folders.Desktop(), library.Answer(25));
    EXPECT_EQ(folders.Startup(), library.Answer(7));
    EXPECT_EQ(folders.CommonStartup(), library.Answer(24));
    EXPECT_EQ(folders.SendTo(), library.Answer(9));
    EXPECT_EQ(folders.Templates(), library.Answer(21));
    EXPECT_EQ(folders.Fonts(), library.Answer(20));
    EXPECT_EQ(folders.Personal(), library.Answer(5));
    // Pictures on NT: below Personal, created.
    EXPECT_EQ(folders.Pictures(), library.Answer(5) + "\\My Pictures");
    EXPECT_EQ(platform.created, std::vector<std::string>{library.Answer(5) + "\\My Pictures"});
    EXPECT_TRUE(platform.locationAsked.empty());
    // The library stays loaded as long as the object lives.
    EXPECT_NE(GetModuleHandleA((current.Path() + "\\setup\\shfolder.dll").c_str()), nullptr);
}

TEST_F(FolderLibrary, IsReleasedWithTheObject) {
    { SystemFolders folders(platform); }
    EXPECT_EQ(GetModuleHandleA((current.Path() + "\\setup\\shfolder.dll").c_str()), nullptr);
}

TEST_F(FolderLibrary, AnswersTheUsersFoldersOnWin98) {
    SetVersion(1, 10);
    SystemFolders folders(platform);
    EXPECT_EQ(folders.StartMenu(), library.Answer(11));
    EXPECT_EQ(folders.Programs(), library.Answer(2));
    EXPECT_EQ(folders.Desktop(), library.Answer(16));
    EXPECT_EQ(folders.Personal(), library.Answer(5));
    EXPECT_EQ(folders.Pictures(), library.Answer(0x8027));
    EXPECT_TRUE(platform.created.empty());
}

TEST_F(FolderLibrary, FailuresFallBackToTheShellAndRegistry) {
    library.Fail("22,24");
    {
        SystemFolders folders(platform);
        // The shell fails too (test default): the fixed names.
        EXPECT_EQ(folders.StartMenu(), platform.windows + "\\Start Menu");
        EXPECT_EQ(folders.Programs(), library.Answer(23));
        // Common start-up failed: both start-up folders come from the next step.
        EXPECT_EQ(folders.Startup(), library.Answer(23) + "\\Startup");
        EXPECT_EQ(folders.CommonStartup(), library.Answer(23) + "\\Startup");
    }
    platform.shellLocations = true;
    SystemFolders folders(platform);
    EXPECT_EQ(folders.StartMenu(), LocationPath(22));
    EXPECT_EQ(folders.Startup(), LocationPath(7));
    EXPECT_EQ(folders.CommonStartup(), LocationPath(24));
}

TEST_F(FolderLibrary, PersonalAndPicturesOnWin95) {
    SetVersion(1, 0);
    library.Fail("5");
    SystemFolders folders(platform);
    std::string documents = Drive() + "\\My Documents";
    EXPECT_EQ(folders.Personal(), documents);
    EXPECT_EQ(folders.Pictures(), documents + "\\My Pictures");
    EXPECT_EQ(platform.created, (std::vector<std::string>{documents, documents + "\\My Pictures"}));
    for (int csidl : platform.folderPathAsked)
        EXPECT_EQ(csidl & 0x8000, 0) << "Windows 95 never asks to create";
}

TEST_F(FolderLibrary, PersonalAndPicturesOnWin98) {
    SetVersion(1, 10);
    library.Fail("5");
    {
        SystemFolders folders(platform);
        EXPECT_EQ(folders.Personal(), library.Answer(0x8005));
        EXPECT_EQ(folders.Pictures(), library.Answer(0x8027));
    }
    // Creating fails as well: the shell (failing here), then the registry.
    library.Fail("5,32773,32807");
    SetString(roots.user,
              "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders",
              "Personal", "C:\\Docs");
    SystemFolders folders(platform);
    EXPECT_EQ(folders.Personal(), "C:\\Docs");
    EXPECT_EQ(folders.Pictures(), "");
    EXPECT_TRUE(platform.created.empty());
}

TEST_F(FolderLibrary, PersonalAndPicturesOnNt) {
    library.Fail("5");
    SetString(roots.user,
              "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders",
              "Personal", "C:\\NotAsked");
    SystemFolders folders(platform);
    std::string documents = Drive() + "\\My Documents";
    EXPECT_EQ(folders.Personal(), documents);
    EXPECT_EQ(folders.Pictures(), documents + "\\My Pictures");
    EXPECT_EQ(platform.created, (std::vector<std::string>{documents, documents + "\\My Pictures"}));
}

// The real platform, apart from the current directory where the library is looked for.
class RealPlatformIn : public FolderPlatform {
public:
    explicit RealPlatformIn(const std::string& directory) : m_directory(directory) {}
    std::string CurrentDirectory() override { return m_directory; }

private:
    std::string m_directory;
};

TEST(RealFolders, ResolveWithoutTheFolderLibrary) {
    TempFolder current;
    RealPlatformIn platform(current.Path());
    SystemFolders folders(platform);
    EXPECT_FALSE(folders.HasFolderLibrary());
    bool nt = testsupport::PlatformId() == 2;
    // NT: the all-users folders; 95/98: the current user's.
    EXPECT_EQ(folders.StartMenu(), LocationPath(nt ? 22 : 11));
    EXPECT_EQ(folders.Programs(), LocationPath(nt ? 23 : 2));
    EXPECT_EQ(folders.Desktop(), LocationPath(nt ? 25 : 16));
    EXPECT_NE(folders.StartMenu(), LocationPath(nt ? 11 : 22));
    EXPECT_EQ(folders.Startup(), LocationPath(7));
    EXPECT_EQ(folders.CommonStartup(), LocationPath(24));
    EXPECT_EQ(folders.Personal(), LocationPath(5));
    EXPECT_EQ(folders.Pictures(), LocationPath(39));
    EXPECT_EQ(folders.Windows(), SystemFolders::GetWindowsFolderNow());
    EXPECT_EQ(folders.Module(), testsupport::ProgramFolder());
    for (const std::string& folder :
         {folders.Bde(), folders.Dao(), folders.Odbc(), folders.SendTo(), folders.Templates(),
          folders.Temp(), folders.Fonts(), folders.ProgramFiles(), folders.System(),
          folders.Maker()})
        EXPECT_FALSE(folder.empty());
}

TEST(RealFolders, ResolveThroughTheFolderLibrary) {
    TempFolder current;
    StandInFolderLibrary library(current.Path());
    ASSERT_TRUE(library.copied);
    RealPlatformIn platform(current.Path());
    SystemFolders folders(platform);
    ASSERT_TRUE(folders.HasFolderLibrary());
    bool nt = testsupport::PlatformId() == 2;
    EXPECT_EQ(folders.StartMenu(), library.Answer(nt ? 22 : 11));
    EXPECT_EQ(folders.Programs(), library.Answer(nt ? 23 : 2));
    EXPECT_EQ(folders.Desktop(), library.Answer(nt ? 25 : 16));
    EXPECT_EQ(folders.Personal(), library.Answer(5));
    // Only Windows 98 asks the library for the pictures folder (with the create flag); Windows 95
    // and NT put it below the documents folder.
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof version;
    ASSERT_TRUE(GetVersionExA(&version));
    const bool win98 = version.dwPlatformId == 1 && version.dwMinorVersion > 0;
    EXPECT_EQ(folders.Pictures(),
              win98 ? library.Answer(0x8027) : library.Answer(5) + "\\My Pictures");
    EXPECT_EQ(folders.Fonts(), library.Answer(20));
}

} // namespace
