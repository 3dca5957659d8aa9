// System folder resolution: the machine's well-known folders, found once at start-up through
// the newest interface available, falling back to registry values and fixed names.
#pragma once

#include <windows.h>

#include <string>

class SystemFolders {
public:
    SystemFolders();  // resolves every folder (construction order fixed; see the .cpp)
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
};

// The process-wide record (built before the program's main code).
SystemFolders& TheSystemFolders();
