// System folder resolution. Every folder is found once, at construction, through the newest
// interface available: the optional shell-folder library's SHGetFolderPathA, then the shell's
// item identifier lists, then the registry's Shell Folders values and finally fixed names, so
// that Windows 95, Windows 98 and Windows NT all give usable answers.
#include "setup/core/sysfolders.h"

#include "setup/core/fileutil.h"
#include "setup/core/handles.h"
#include "setup/core/path.h"
#include "setup/core/registry.h"
#include "setup/core/text.h"

namespace {

// Shell folder identifiers.
enum : int {
    CsidlPrograms = 2,
    CsidlPersonal = 5,
    CsidlStartup = 7,
    CsidlSendTo = 9,
    CsidlStartMenu = 11,
    CsidlDesktop = 16,
    CsidlFonts = 20,
    CsidlTemplates = 21,
    CsidlCommonStartMenu = 22,
    CsidlCommonPrograms = 23,
    CsidlCommonStartup = 24,
    CsidlCommonDesktop = 25,
    CsidlMyPictures = 39,
    CsidlCreate = 0x8000,
};

const char* const FolderLibraryName = "\\setup\\shfolder.dll";
const char* const ShellFoldersKey =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
const char* const DefaultShellFoldersKey =
    ".Default\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
const char* const UserShellFoldersPersonal =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders\\Personal";
const char* const ProfileListKey = "Software\\Microsoft\\Windows\\CurrentVersion\\ProfileList";
const char* const ProgramFilesDirValue =
    "Software\\Microsoft\\Windows\\CurrentVersion\\ProgramFilesDir";
const char* const ProgramFilesPathValue =
    "Software\\Microsoft\\Windows\\CurrentVersion\\ProgramFilesPath";
const char* const CommonFilesDirValue =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\CommonFilesDir";
const char* const BdeDllPathValue = "Software\\Borland\\Database Engine\\DLLPATH";

constexpr DWORD PathBufferSize = 260;

// The folder current when the deliverable was loaded or started; empty when not recorded.
// Plain zeroed storage: it is written under the loader lock, where no constructor may run.
char g_startFolder[PathBufferSize];

std::string Join(const std::string& directory, const std::string& name) {
    return JoinPath(directory, name, true);
}

// Text of a buffer that a platform call filled (up to its terminating zero).
std::string BufferText(const char* buffer) {
    return std::string(buffer);
}

} // namespace

// ---- The real platform ----

bool FolderPlatform::QueryVersion(OSVERSIONINFOA& info) {
    info = OSVERSIONINFOA();
    info.dwOSVersionInfoSize = sizeof info;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    return GetVersionExA(&info) != FALSE;
#pragma GCC diagnostic pop
}

void RecordStartFolder() {
    const DWORD n = GetCurrentDirectoryA(PathBufferSize, g_startFolder);
    if (n == 0 || n >= PathBufferSize)
        g_startFolder[0] = '\0';
}

std::string FolderPlatform::CurrentDirectory() {
    if (g_startFolder[0])
        return g_startFolder;
    char buffer[PathBufferSize] = {};
    DWORD n = GetCurrentDirectoryA(PathBufferSize, buffer);
    return n > 0 && n < PathBufferSize ? BufferText(buffer) : std::string();
}

HRESULT FolderPlatform::FolderPath(ShGetFolderPathFn function, int csidl, std::string& path) {
    char buffer[MAX_PATH + 1] = {};
    HRESULT result = function(nullptr, csidl, nullptr, 0, buffer);
    path = result == S_OK ? BufferText(buffer) : std::string();
    return result;
}

HRESULT FolderPlatform::SpecialFolderLocation(int csidl, LPITEMIDLIST& list) {
    return SHGetSpecialFolderLocation(nullptr, csidl, &list);
}

bool FolderPlatform::PathFromIdList(LPCITEMIDLIST list, std::string& path) {
    char buffer[MAX_PATH + 1] = {};
    bool ok = SHGetPathFromIDListA(list, buffer) != FALSE;
    path = ok ? BufferText(buffer) : std::string();
    return ok;
}

HRESULT FolderPlatform::ShellAllocator(IMalloc*& allocator) {
    return SHGetMalloc(&allocator);
}

HKEY FolderPlatform::RegistryRoot(HKEY predefined) {
    return predefined;
}

std::string FolderPlatform::WindowsDirectory() {
    return SystemFolders::GetWindowsFolderNow();
}

std::string FolderPlatform::SystemDirectory() {
    char buffer[PathBufferSize] = {};
    UINT n = GetSystemDirectoryA(buffer, PathBufferSize);
    return n > 0 && n < PathBufferSize ? BufferText(buffer) : std::string();
}

std::string FolderPlatform::TempPath() {
    char buffer[PathBufferSize] = {};
    DWORD n = GetTempPathA(PathBufferSize, buffer);
    return n > 0 && n < PathBufferSize ? BufferText(buffer) : std::string();
}

std::string FolderPlatform::ProgramFileName() {
    char buffer[PathBufferSize] = {};
    DWORD n = GetModuleFileNameA(nullptr, buffer, PathBufferSize);
    return n > 0 && n < PathBufferSize ? BufferText(buffer) : std::string();
}

std::string FolderPlatform::UserName() {
    char buffer[80] = {};
    DWORD size = sizeof buffer;
    return GetUserNameA(buffer, &size) ? BufferText(buffer) : std::string();
}

bool FolderPlatform::CreateFolder(const std::string& path) {
    return CreateDirectoryTree(path);
}

FolderPlatform& RealFolderPlatform() {
    static FolderPlatform platform;
    return platform;
}

// ---- Construction ----

SystemFolders::SystemFolders() : m_platform(&RealFolderPlatform()) {
    Resolve();
}

SystemFolders::SystemFolders(FolderPlatform& platform) : m_platform(&platform) {
    Resolve();
}

SystemFolders::~SystemFolders() = default;

void SystemFolders::Resolve() {
    // The platform's own version query: this object is built beside the process-wide version
    // record and must not rely on it having been built first.
    OSVERSIONINFOA info;
    if (m_platform->QueryVersion(info)) {
        m_platformId = info.dwPlatformId;
        m_minor = info.dwMinorVersion;
    }
    LoadFolderLibrary();

    // Later folders build on earlier ones: Programs and Desktop on the start menu, start-up on
    // Programs, Pictures on Personal.
    FindBde();
    m_dao = CommonFilesFolder("\\Microsoft Shared\\DAO");
    m_odbc = CommonFilesFolder("\\ODBC");
    m_windows = m_platform->WindowsDirectory();
    GetProgramFilesFolder();
    m_system = m_platform->SystemDirectory();
    if (!PassesFolderTest(m_system))
        m_system = m_windows;
    m_sendTo = SingleShellFolder(CsidlSendTo, "SendTo");
    m_templates = SingleShellFolder(CsidlTemplates, "Templates");
    m_startMenu = ShellFolder(CsidlStartMenu, CsidlCommonStartMenu, "Start Menu", m_windows);
    m_programs = ShellFolder(CsidlPrograms, CsidlCommonPrograms, "Programs", m_startMenu);
    FindStartup();
    m_desktop = ShellFolder(CsidlDesktop, CsidlCommonDesktop, "Desktop", m_startMenu);
    m_fonts = SingleShellFolder(CsidlFonts, "Fonts");
    m_temp = m_platform->TempPath();
    // Cut at the last backslash of its own (not the trail byte of a double-byte character).
    m_module = ParentOf(m_platform->ProgramFileName());
    m_maker = Join(m_windows, "Tarvo");
    FindPersonal();
    FindPictures();
}

void SystemFolders::LoadFolderLibrary() {
    std::string current = m_platform->CurrentDirectory();
    if (current.empty())
        return;
    std::string path = current + FolderLibraryName;
    m_folderLibrary.Reset(LoadLibraryA(path.c_str()));
    if (!m_folderLibrary)
        return;
    // Through void*: the platform hands out every export as one generic function type.
    FARPROC address = GetProcAddress(m_folderLibrary.Get(), "SHGetFolderPathA");
    m_folderPath = reinterpret_cast<ShGetFolderPathFn>(reinterpret_cast<void*>(address));
}

bool SystemFolders::IsWin98() const {
    return m_platformId == 1 && m_minor > 0;
}

bool SystemFolders::PassesFolderTest(const std::string& folder) const {
    return !folder.empty() && CanWriteTo(folder, false);
}

std::string SystemFolders::WindowsDrive() const {
    return PathRoot(m_windows);
}

std::string SystemFolders::CurrentWindowsDrive() {
    return PathRoot(m_platform->WindowsDirectory());
}

// ---- Shell steps ----

bool SystemFolders::CallFolderPath(int csidl, std::string& folder) {
    if (!m_folderPath)
        return false;
    std::string path;
    if (m_platform->FolderPath(m_folderPath, csidl, path) != S_OK)
        return false;
    folder = path;
    return true;
}

SystemFolders::ShellResult SystemFolders::FromLocation(int csidl, std::string& folder) {
    LPITEMIDLIST list = nullptr;
    if (FAILED(m_platform->SpecialFolderLocation(csidl, list)) || !list)
        return ShellResult::NotFound;
    // The list belongs to the shell's allocator; without it the list cannot be freed and the
    // search ends with the folder empty.
    IMalloc* allocator = nullptr;
    if (FAILED(m_platform->ShellAllocator(allocator)) || !allocator) {
        folder.clear();
        return ShellResult::AllocatorFailed;
    }
    ShellMemory<ITEMIDLIST> owned(allocator, list);
    std::string path;
    m_platform->PathFromIdList(owned.Get(), path);
    folder = path;
    return ShellResult::Found;
}

bool SystemFolders::OpenShellFoldersKey(RegKey& key) {
    HKEY root = m_platformId == 1 ? m_platform->RegistryRoot(HKEY_CURRENT_USER)
                                  : m_platform->RegistryRoot(HKEY_USERS);
    const char* path = m_platformId == 1 ? ShellFoldersKey : DefaultShellFoldersKey;
    return OpenRegKey(root, path, KEY_ALL_ACCESS, key) == ERROR_SUCCESS;
}

// Start menu, Programs and Desktop: the current user's folder on the Windows 95/98 family, the
// all-users folder on Windows NT.
std::string SystemFolders::ShellFolder(int userCsidl, int commonCsidl, const char* valueName,
                                       const std::string& base) {
    std::string folder;
    if (m_platformId == 1 || m_platformId == 2) {
        if (CallFolderPath(m_platformId == 1 ? userCsidl : commonCsidl, folder))
            return folder;
    }
    switch (FromLocation(m_platformId == 1 ? userCsidl : commonCsidl, folder)) {
    case ShellResult::Found:
        return folder;
    case ShellResult::AllocatorFailed:
        return std::string();
    case ShellResult::NotFound:
        break;
    }
    RegKey key;
    if (!OpenShellFoldersKey(key))
        return Join(base, valueName);
    return ReadRegString(key.Get(), valueName);
}

// Send-to, Templates and Fonts: one identifier on every platform, then the default user's
// Shell Folders value.
std::string SystemFolders::SingleShellFolder(int csidl, const char* valueName) {
    std::string folder;
    if (CallFolderPath(csidl, folder))
        return folder;
    switch (FromLocation(csidl, folder)) {
    case ShellResult::Found:
        return folder;
    case ShellResult::AllocatorFailed:
        return std::string();
    case ShellResult::NotFound:
        break;
    }
    return ReadRegStringAt(m_platform->RegistryRoot(HKEY_USERS),
                           std::string(DefaultShellFoldersKey) + "\\" + valueName);
}

void SystemFolders::FindStartup() {
    std::string folder;
    if (CallFolderPath(CsidlStartup, folder)) {
        m_startup = folder;
        if (CallFolderPath(CsidlCommonStartup, folder)) {
            m_commonStartup = folder;
            return;
        }
    }
    switch (FromLocation(CsidlStartup, folder)) {
    case ShellResult::Found:
        m_startup = folder;
        if (FromLocation(CsidlCommonStartup, folder) == ShellResult::Found)
            m_commonStartup = folder;
        return;
    case ShellResult::AllocatorFailed:
        m_startup.clear();
        return;
    case ShellResult::NotFound:
        break;
    }
    RegKey key;
    if (!OpenShellFoldersKey(key))
        m_startup = Join(m_programs, "Startup");
    else
        m_startup = ReadRegString(key.Get(), "StartUp");
    m_commonStartup = m_startup;
}

void SystemFolders::FindPersonal() {
    std::string folder;
    if (m_folderPath) {
        if (CallFolderPath(CsidlPersonal, folder)) {
            m_personal = folder;
            return;
        }
        if (!IsWin98()) {
            m_personal = Join(WindowsDrive(), "My Documents");
            m_platform->CreateFolder(m_personal);
            return;
        }
        if (CallFolderPath(CsidlCreate | CsidlPersonal, folder)) {
            m_personal = folder;
            return;
        }
    }
    switch (FromLocation(CsidlPersonal, folder)) {
    case ShellResult::Found:
        m_personal = folder;
        return;
    case ShellResult::AllocatorFailed:
        m_personal.clear();
        return;
    case ShellResult::NotFound:
        break;
    }
    folder = ReadRegStringAt(m_platform->RegistryRoot(HKEY_CURRENT_USER), UserShellFoldersPersonal);
    if (!folder.empty()) {
        m_personal = folder;
        return;
    }
    HKEY machine = m_platform->RegistryRoot(HKEY_LOCAL_MACHINE);
    bool profiles =
        m_platformId == 2 ||
        (m_platformId == 1 && !ReadRegStringAt(machine, "Network\\Logon\\UserProfiles").empty());
    if (profiles) {
        std::string profile = ReadRegStringAt(
            machine, Join(ProfileListKey, m_platform->UserName()) + "\\ProfileImagePath");
        if (!profile.empty()) {
            m_personal = Join(profile, "Personal");
            return;
        }
    }
    m_personal = Join(WindowsDrive(), "My Documents");
}

void SystemFolders::FindPictures() {
    if (!m_folderPath) {
        std::string folder;
        if (FromLocation(CsidlMyPictures, folder) == ShellResult::Found)
            m_pictures = folder;
        return;
    }
    if (IsWin98()) {
        // An empty folder stands for "none" here, as it does for every folder the shell lacks.
        (void)CallFolderPath(CsidlCreate | CsidlMyPictures, m_pictures);
        return;
    }
    m_pictures = Join(m_personal, "My Pictures");
    m_platform->CreateFolder(m_pictures);
}

// ---- Registry-driven folders ----

std::string SystemFolders::GetProgramFilesFolder() {
    HKEY machine = m_platform->RegistryRoot(HKEY_LOCAL_MACHINE);
    std::string drive = CurrentWindowsDrive();
    std::string folder = ReadRegStringAt(machine, ProgramFilesDirValue);
    if (folder.empty() || !PassesFolderTest(folder)) {
        folder = ReplaceAll(ReadRegStringAt(machine, ProgramFilesPathValue), "%SystemDrive%", drive,
                            false);
        if (folder.empty())
            folder = drive + "\\Program Files";
    }
    if (!PassesFolderTest(folder) || PathRoot(folder).empty())
        folder = drive + "\\Program Files";
    m_programFiles = folder;
    return m_programFiles;
}

std::string SystemFolders::CommonFilesFolder(const char* tail) {
    std::string common =
        ReadRegStringAt(m_platform->RegistryRoot(HKEY_LOCAL_MACHINE), CommonFilesDirValue);
    if (common.empty())
        common = Join(GetProgramFilesFolder(), "Common Files");
    return Join(common, tail);
}

void SystemFolders::FindBde() {
    std::string paths =
        ReadRegStringAt(m_platform->RegistryRoot(HKEY_LOCAL_MACHINE), BdeDllPathValue);
    if (!paths.empty()) {
        TextList entries;
        if (paths.find(';') != std::string::npos)
            SplitText(paths, entries, ';');
        else
            entries.push_back(paths);
        for (const std::string& entry : entries) {
            if (CanOpenForReading(Join(entry, "IDAPI32.DLL")) && PassesFolderTest(entry)) {
                m_bde = entry;
                return;
            }
        }
    }
    std::string fallback = Join(GetProgramFilesFolder(), "\\Borland\\Common Files\\Bde\\");
    if (PassesFolderTest(fallback))
        m_bde = fallback;
}

// ---- Accessors ----

namespace {
std::string Form(const std::string& folder, bool shortForm) {
    return shortForm ? ShortPathOf(folder) : folder;
}
} // namespace

std::string SystemFolders::Bde(bool shortForm) const {
    return Form(m_bde, shortForm);
}
std::string SystemFolders::Dao(bool shortForm) const {
    return Form(m_dao, shortForm);
}
std::string SystemFolders::Odbc(bool shortForm) const {
    return Form(m_odbc, shortForm);
}
std::string SystemFolders::Personal(bool shortForm) const {
    return Form(m_personal, shortForm);
}
std::string SystemFolders::Desktop(bool shortForm) const {
    return Form(m_desktop, shortForm);
}
std::string SystemFolders::Programs(bool shortForm) const {
    return Form(m_programs, shortForm);
}
std::string SystemFolders::SendTo(bool shortForm) const {
    return Form(m_sendTo, shortForm);
}
std::string SystemFolders::Templates(bool shortForm) const {
    return Form(m_templates, shortForm);
}
std::string SystemFolders::StartMenu(bool shortForm) const {
    return Form(m_startMenu, shortForm);
}
std::string SystemFolders::Startup(bool shortForm) const {
    return Form(m_startup, shortForm);
}
std::string SystemFolders::Temp(bool shortForm) const {
    return Form(m_temp, shortForm);
}
std::string SystemFolders::Fonts(bool shortForm) const {
    return Form(m_fonts, shortForm);
}
std::string SystemFolders::Windows(bool shortForm) const {
    return Form(m_windows, shortForm);
}
std::string SystemFolders::ProgramFiles(bool shortForm) const {
    return Form(m_programFiles, shortForm);
}
std::string SystemFolders::System(bool shortForm) const {
    return Form(m_system, shortForm);
}
std::string SystemFolders::Module(bool shortForm) const {
    return Form(m_module, shortForm);
}
std::string SystemFolders::Maker(bool shortForm) const {
    return Form(m_maker, shortForm);
}
std::string SystemFolders::Pictures(bool shortForm) const {
    return Form(m_pictures, shortForm);
}
std::string SystemFolders::CommonStartup(bool shortForm) const {
    return Form(m_commonStartup, shortForm);
}

std::string SystemFolders::GetWindowsFolderNow() {
    char buffer[PathBufferSize] = {};
    UINT n = GetWindowsDirectoryA(buffer, PathBufferSize);
    return n > 0 && n < PathBufferSize ? BufferText(buffer) : std::string();
}
