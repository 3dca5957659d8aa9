// File-system utilities.
#pragma once

#include <windows.h>

#include <cstdint>
#include <ctime>
#include <string>

#include "setup/core/platform_version.h"

// Short names. Lengths count bytes of the system code page, as the file system keeps 8.3 names
// (at most eight bytes before the dot and three after it: a double-byte character takes two);
// a cut never splits a double-byte character, so a cut part may be one byte short of its
// limit. Only a character of its own separates components or is forbidden, never the trail
// byte of a double-byte one.
bool IsShortName(const std::string& path);
// The 8.3 form that the joined path will have, for folders and files that need not exist yet.
// Every long folder name it shortens is remembered, with the short name given to it, for the
// life of the process (the lists only grow): later calls give the same long name the same
// short name, and never give that short name to another. Folder names are not compared with
// the disk (the platform may have given an existing folder another short name); the file
// name's number is chosen against the files present in the folder at the time of the call.
std::string ComputeShortPath(const std::string& directory, const std::string& fileName);

// Tests on the file system.
// Not a read-only test: it creates and deletes a probe file in the folder ("1234567890.tmp"
// with `probe`, which overwrites and deletes an existing file of that name; a fresh unique name
// without). A folder that does not exist is created level by level to try, and the levels it
// created are removed again afterwards.
[[nodiscard]] bool CanWriteTo(const std::string& directory, bool probe);
[[nodiscard]] bool FileSize(const std::string& path, std::uint32_t& size);
[[nodiscard]] bool FileTime(const std::string& path, std::time_t& time);
[[nodiscard]] bool FileChecksum(const std::string& path, std::uint32_t& checksum);

// Changes.
[[nodiscard]] bool CreateDirectoryTree(const std::string& path);
[[nodiscard]] bool RemoveEmptyDirectoryChain(const std::string& path);
// UniqueNameIn's names follow the clock's second: two processes (or threads) that ask in the
// same second are given the same free name, and only the first to create it has it. A caller
// that creates the file tries again, up to UniqueNameAttempts times, while the creation fails
// because the name was taken (NameWasTaken of the error); the name it is given next skips it.
std::string UniqueNameIn(const std::string& directory);
std::string TempFileName();
constexpr int UniqueNameAttempts = 8;
bool NameWasTaken(DWORD error);
// Copies in 64 KiB blocks, handling at most one pending window message before each (window
// procedures of the caller may run inside). The copy is written to a new file in the
// destination's folder (creating the folder) and takes the destination's place only when it is
// complete: a failed copy leaves the old destination, or none, and no partial file. False when
// source and destination are one file under any spelling (nothing is touched), when the
// destination is a folder or read-only, or when any read, write or the final move fails.
[[nodiscard]] bool CopyFileByStreams(const std::string& source, const std::string& destination);
