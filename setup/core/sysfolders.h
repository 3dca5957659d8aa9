// System folder resolution: the machine's well-known folders, found once at start-up through
// the newest interface available, falling back to registry values and fixed names.
#pragma once

#include <windows.h>
#include <shlobj.h>

#include <string>

#include "setup/core/handles.h"

// The address of SHGetFolderPathA in the optional shell-folder library.
typedef HRESULT(WINAPI* ShGetFolderPathFn)(HWND, int, HANDLE, DWORD, LPSTR);

// The platform calls that folder resolution makes. This class makes the real calls; tests
// derive from it to choose the version, make shell calls fail, redirect the registry's root
// keys to scratch keys and stand in for the fixed folders.
class FolderPlatform {
public:
    virtual ~FolderPlatform() = default;

    // GetVersionExA; false when the query fails.
    virtual bool QueryVersion(OSVERSIONINFOA& info);
    // The folder the optional library is looked for below: the one recorded by
    // RecordStartFolder, else GetCurrentDirectoryA at the time of the call.
    virtual std::string CurrentDirectory();
    // Calls the optional library's SHGetFolderPathA with no window, no token and flags 0.
    virtual HRESULT FolderPath(ShGetFolderPathFn function, int csidl, std::string& path);
    virtual HRESULT SpecialFolderLocation(int csidl, LPITEMIDLIST& list);
    virtual bool PathFromIdList(LPCITEMIDLIST list, std::string& path);
    virtual HRESULT ShellAllocator(IMalloc*& allocator);
    // The key to use for a predefined root key (HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE,
    // HKEY_USERS); the real platform answers the key itself.
    virtual HKEY RegistryRoot(HKEY predefined);
    virtual std::string WindowsDirectory();
    virtual std::string SystemDirectory();
    virtual std::string TempPath();
    // Full file name of the running program.
    virtual std::string ProgramFileName();
    virtual std::string UserName();
    // CreateDirectoryTree.
    virtual bool CreateFolder(const std::string& path);
};

// The platform itself.
FolderPlatform& RealFolderPlatform();

// Records the current folder as the one the optional folder library is loaded from. The
// folders are found on first use, which may come after the setup engine has changed its
// current folder; the library belongs to the medium that was current when the deliverable
// was loaded or started, so that is when this is called: from the plug-in's attach
// notification (it calls only kernel32, as code under the loader lock must) and at the start
// of the loader. A folder that cannot be recorded leaves the look-up to the current folder.
void RecordStartFolder();

class SystemFolders {
public:
    SystemFolders(); // resolves every folder (construction order fixed; see the .cpp)
    // Resolves every folder through the given platform, which must outlive the object.
    explicit SystemFolders(FolderPlatform& platform);
    ~SystemFolders(); // frees the optional shell-folder library
    SystemFolders(const SystemFolders&) = delete;
    SystemFolders& operator=(const SystemFolders&) = delete;

    // Each accessor returns the stored folder, or its short (8.3) form when `shortForm` is set.
    std::string Bde(bool shortForm = false) const;
    std::string Dao(bool shortForm = false) const;
    std::string Odbc(bool shortForm = false) const;
    std::string Personal(bool shortForm = false) const;
    std::string Desktop(bool shortForm = false) const;
    std::string Programs(bool shortForm = false) const;
    std::string SendTo(bool shortForm = false) const;
    std::string Templates(bool shortForm = false) const;
    std::string StartMenu(bool shortForm = false) const;
    std::string Startup(bool shortForm = false) const;
    std::string Temp(bool shortForm = false) const;
    std::string Fonts(bool shortForm = false) const;
    std::string Windows(bool shortForm = false) const;
    std::string ProgramFiles(bool shortForm = false) const;
    std::string System(bool shortForm = false) const;
    std::string Module(bool shortForm = false) const;
    std::string Maker(bool shortForm = false) const;
    std::string Pictures(bool shortForm = false) const;
    std::string CommonStartup(bool shortForm = false) const;

    // Recomputes Program Files, stores and returns it.
    std::string GetProgramFilesFolder();
    // GetWindowsDirectoryA at the time of the call.
    static std::string GetWindowsFolderNow();

    // True when the optional shell-folder library and its SHGetFolderPathA were found.
    bool HasFolderLibrary() const { return m_folderPath != nullptr; }

private:
    // How a search through the shell's item identifier lists ended.
    enum class ShellResult { Found, NotFound, AllocatorFailed };

    void Resolve();
    void LoadFolderLibrary();
    bool IsWin98() const;
    [[nodiscard]] bool CallFolderPath(int csidl, std::string& folder);
    [[nodiscard]] ShellResult FromLocation(int csidl, std::string& folder);
    [[nodiscard]] bool OpenShellFoldersKey(RegKey& key);
    std::string ShellFolder(int userCsidl, int commonCsidl, const char* valueName,
                            const std::string& base);
    std::string SingleShellFolder(int csidl, const char* valueName);
    std::string WindowsDrive() const;
    std::string CurrentWindowsDrive();
    bool PassesFolderTest(const std::string& folder) const;

    void FindBde();
    std::string CommonFilesFolder(const char* tail);
    void FindStartup();
    void FindPersonal();
    void FindPictures();

    FolderPlatform* m_platform;
    DWORD m_platformId = 0; // 0 when the version query failed
    DWORD m_minor = 0;
    LoadedModule m_folderLibrary;
    ShGetFolderPathFn m_folderPath = nullptr;

    std::string m_bde;
    std::string m_dao;
    std::string m_odbc;
    std::string m_personal;
    std::string m_desktop;
    std::string m_programs;
    std::string m_sendTo;
    std::string m_templates;
    std::string m_startMenu;
    std::string m_startup;
    std::string m_temp;
    std::string m_fonts;
    std::string m_windows;
    std::string m_programFiles;
    std::string m_system;
    std::string m_module;
    std::string m_maker;
    std::string m_pictures;
    std::string m_commonStartup;
};

// The process-wide record (built before the program's main code).
SystemFolders& TheSystemFolders();
