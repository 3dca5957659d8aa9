// File-system utilities and the process-wide platform version record.
#pragma once

#include <windows.h>

#include <cstdint>
#include <ctime>
#include <string>

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

// Short names. Lengths count characters (a double-byte character is one), and only a character
// of its own separates components or is forbidden, never the trail byte of a double-byte one.
bool IsShortName(const std::string& path);
// The 8.3 form a path will have, computed without the path having to exist. The short forms
// given to directory components are remembered for the life of the process (later calls reuse
// them and number new ones past them); file names are numbered against the files on disk.
std::string ComputeShortPath(const std::string& directory, const std::string& fileName);

// Tests on the file system.
bool CanWriteTo(const std::string& directory, bool probe);
bool FileSize(const std::string& path, std::uint32_t& size);
bool FileTime(const std::string& path, std::time_t& time);
bool FileChecksum(const std::string& path, std::uint32_t& checksum);

// Changes.
bool CreateDirectoryTree(const std::string& path);
bool RemoveEmptyDirectoryChain(const std::string& path);
std::string UniqueNameIn(const std::string& directory);
std::string TempFileName();
// Copies in 64 KiB blocks, handling at most one pending window message before each (window
// procedures of the caller may run inside). The copy is written to a new file in the
// destination's folder (creating the folder) and takes the destination's place only when it is
// complete: a failed copy leaves the old destination, or none, and no partial file. False when
// source and destination are one file under any spelling (nothing is touched), when the
// destination is a folder or read-only, or when any read, write or the final move fails.
bool CopyFileByStreams(const std::string& source, const std::string& destination);
