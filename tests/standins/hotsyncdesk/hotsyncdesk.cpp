// Stand-in for the HotSync desktop software's own installation, for demonstrations: it prepares
// the current user's machine as a HotSync installation would leave it, reports what the plug-in
// reads and changes, and removes it again.
//
//   hotsyncdesk install 1.0|1.1 <folder>
//       the first generation's registry values, the folder with "Hsm11.exe" and "HotSync.exe",
//       start-menu shortcuts "Palm Desktop\HotSync Manager.lnk" and, in the start-up group,
//       "HotSync Manager.lnk", both to the folder's HotSync.exe,
//       and a conduit table holding HotSync's own date book conduit and the product's
//       address-book and date-book conduits from an earlier installation
//   hotsyncdesk report
//       the HotSync registry values, the conduit table and every HotSync Manager shortcut of the
//       start menu with its target
//   hotsyncdesk uninstall
//       removes the registry keys, the folder and both shortcuts again
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include <cstdio>
#include <string>

#include "setup/core/handles.h"

namespace {

const char* const PalmRoot = "Software\\Palm Computing";
const char* const Manager = "Software\\Palm Computing\\Pilot Desktop\\HotSync Manager";
const char* const Core = "Software\\Palm Computing\\Pilot Desktop\\Core";
const char* const Desktop = "Software\\Palm Computing\\Pilot Desktop";

void SetText(const std::string& key, const char* name, const std::string& text) {
    RegKey handle;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        handle.Receive(), nullptr) != ERROR_SUCCESS)
        return;
    RegSetValueExA(handle.Get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                   static_cast<DWORD>(text.size() + 1));
}

void SetDword(const std::string& key, const char* name, DWORD number) {
    RegKey handle;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        handle.Receive(), nullptr) != ERROR_SUCCESS)
        return;
    RegSetValueExA(handle.Get(), name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number),
                   sizeof number);
}

std::string Text(const std::string& key, const char* name) {
    char buffer[512] = {};
    DWORD size = sizeof buffer - 1;
    if (RegGetValueA(HKEY_CURRENT_USER, key.c_str(), name, RRF_RT_REG_SZ, nullptr, buffer, &size) !=
        ERROR_SUCCESS)
        return "(none)";
    return buffer;
}

bool IsNtFamily() {
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof version;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    GetVersionExA(&version);
#pragma GCC diagnostic pop
    return version.dwPlatformId == VER_PLATFORM_WIN32_NT;
}

std::string ShellFolder(int csidl) {
    char folder[MAX_PATH] = {};
    SHGetFolderPathA(nullptr, csidl, nullptr, 0, folder);
    return folder;
}

// HotSync's own shortcut folder: in the all-users start menu on NT, the user's elsewhere.
std::string ShortcutFolder() {
    return ShellFolder(IsNtFamily() ? CSIDL_COMMON_PROGRAMS : CSIDL_PROGRAMS) + "\\Palm Desktop";
}

// HotSync's start-up shortcut, in the same start menu.
std::string StartupLink() {
    return ShellFolder(IsNtFamily() ? CSIDL_COMMON_STARTUP : CSIDL_STARTUP) +
           "\\HotSync Manager.lnk";
}

std::wstring Wide(const std::string& text) {
    wchar_t buffer[MAX_PATH] = {};
    MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, buffer, MAX_PATH);
    return buffer;
}

// Writes a link to `target` (not empty), or answers the target of an existing link.
std::string Link(const std::string& linkFile, const std::string& target = "") {
    ComPtr<IShellLinkA> link;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                link.Receive())))
        return "(no link object)";
    ComPtr<IPersistFile> file;
    char path[MAX_PATH] = "(unreadable)";
    if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, file.Receive()))) {
        if (!target.empty() && SUCCEEDED(link->SetPath(target.c_str())))
            file->Save(Wide(linkFile).c_str(), TRUE);
        else if (SUCCEEDED(file->Load(Wide(linkFile).c_str(), STGM_READ)))
            link->GetPath(path, MAX_PATH, nullptr, 0);
    }
    return path;
}

void ReportLinks(const std::string& folder) {
    WIN32_FIND_DATAA entry;
    FindHandle search(FindFirstFileA((folder + "\\*").c_str(), &entry));
    if (!search)
        return;
    do {
        std::string name = entry.cFileName;
        std::string path = folder + "\\" + name;
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (name != "." && name != "..")
                ReportLinks(path);
        } else if (lstrcmpiA(name.c_str(), "HotSync Manager.lnk") == 0) {
            std::printf("    shortcut %s -> %s\n", path.c_str(), Link(path).c_str());
        }
    } while (FindNextFileA(search.Get(), &entry));
}

void RemoveTree(const std::string& path) {
    WIN32_FIND_DATAA entry;
    FindHandle search(FindFirstFileA((path + "\\*").c_str(), &entry));
    if (search) {
        do {
            std::string name = entry.cFileName;
            if (name == "." || name == "..")
                continue;
            std::string child = path + "\\" + name;
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(child);
            else
                DeleteFileA(child.c_str());
        } while (FindNextFileA(search.Get(), &entry));
    }
    RemoveDirectoryA(path.c_str());
}

int Install(const std::string& version, const std::string& folder) {
    SetText(Manager, "DirectComPort", "COM1");
    if (version == "1.1") {
        SetText(Manager, "Notifier0", "pdn20.dll");
        SetText(Manager, "BackupConduit", "bakcn20.dll");
        SetText(Manager, "InstallConduit", "inscn20.dll");
    }
    SetText(Core, "Path", folder);
    const char* conduits[] = {"datebook.dll", "qxabcn90.dll", "qxdbcn90.dll"};
    for (int n = 0; n < 3; ++n) {
        std::string entry = std::string(Desktop) + "\\Application" + std::to_string(n);
        SetDword(entry, "Creator", 0x44415400 + n);
        SetText(entry, "Conduit", conduits[n]);
    }
    CreateDirectoryA(folder.c_str(), nullptr);
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    CopyFileA(self, (folder + "\\Hsm11.exe").c_str(), FALSE);
    CopyFileA(self, (folder + "\\HotSync.exe").c_str(), FALSE);
    CreateDirectoryA(ShortcutFolder().c_str(), nullptr);
    Link(ShortcutFolder() + "\\HotSync Manager.lnk", folder + "\\HotSync.exe");
    Link(StartupLink(), folder + "\\HotSync.exe");
    std::printf("HotSync %s installed in %s\n", version.c_str(), folder.c_str());
    return 0;
}

int Report() {
    std::printf("    HotSync Manager: DirectComPort=%s Notifier0=%s BackupConduit=%s "
                "InstallConduit=%s\n",
                Text(Manager, "DirectComPort").c_str(), Text(Manager, "Notifier0").c_str(),
                Text(Manager, "BackupConduit").c_str(), Text(Manager, "InstallConduit").c_str());
    std::printf("    Core: Path=%s\n", Text(Core, "Path").c_str());
    for (int n = 0; n < 8; ++n) {
        std::string entry = std::string(Desktop) + "\\Application" + std::to_string(n);
        RegKey handle;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, entry.c_str(), 0, KEY_READ, handle.Receive()) !=
            ERROR_SUCCESS)
            continue;
        std::printf("    conduit table: Application%d Conduit=%s\n", n,
                    Text(entry, "Conduit").c_str());
    }
    ReportLinks(ShellFolder(CSIDL_STARTMENU));
    ReportLinks(ShellFolder(CSIDL_COMMON_STARTMENU));
    return 0;
}

int Uninstall() {
    std::string folder = Text(Core, "Path");
    if (folder != "(none)" && !folder.empty())
        RemoveTree(folder);
    RemoveTree(ShortcutFolder());
    DeleteFileA(StartupLink().c_str());
    RegDeleteTreeA(HKEY_CURRENT_USER, PalmRoot);
    std::printf("HotSync removed\n");
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    const std::string command = argc > 1 ? argv[1] : "";
    ComScope com;
    int result = 2;
    if (command == "install" && argc > 3)
        result = Install(argv[2], argv[3]);
    else if (command == "report")
        result = Report();
    else if (command == "uninstall")
        result = Uninstall();
    else
        std::fprintf(stderr, "usage: hotsyncdesk install 1.0|1.1 <folder> | report | uninstall\n");
    return result;
}
