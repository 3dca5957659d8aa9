// The platform's version record: the version query's answer, classified into a version code
// and the new-shell flag that decides between shell links and the program manager.
#pragma once

#include <windows.h>

// The platform's version, read once at start-up.
class PlatformVersion {
public:
    // Version codes.
    enum : int {
        QueryFailed = 0,
        Win32s = 0x200,
        Windows95 = 8,
        Windows98 = 2,
        OtherWin9x = 0x2000,
        WindowsNT351 = 0x100,
        WindowsNT4 = 4,
        Windows2000 = 1,
        OtherNT = 0x4000,
        OtherPlatform = 0x1000,
    };

    PlatformVersion(); // queries the platform
    // Builds the record from given values (tests): platform id, major, minor; `ok` false
    // stands for a failed query.
    PlatformVersion(bool ok, DWORD platformId, DWORD major, DWORD minor);

    int VersionCode() const { return m_code; }
    // 1 = Windows 95/98 family, 2 = NT family, 0 = the query failed.
    DWORD PlatformId() const;
    bool NewShell() const { return m_newShell; }
    const OSVERSIONINFOA& Info() const { return m_info; }

private:
    void Classify(bool ok);
    OSVERSIONINFOA m_info;
    int m_code;
    bool m_newShell;
    bool m_ok;
};

// The process-wide record (built before the program's main code).
const PlatformVersion& ThePlatformVersion();
