// The shared-DLL table: how many installed products use a file that several of them install
// (HKEY_LOCAL_MACHINE "Software\Microsoft\Windows\CurrentVersion\SharedDLLs", one DWORD per full
// path; an absent value counts 0).
#pragma once

#include <string>

// The table's key under HKEY_LOCAL_MACHINE.
constexpr const char* SharedDllsKey = "Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";

// FileFlags bits that count the file in the shared-DLL table.
constexpr int SharedFileFlags = 0x64;

// Whether a file element's FileFlags count it in the table.
bool CountsAsShared(int fileFlags);

// Adds `delta` to the reference count of `path`. The sum is written only when it lies within
// 0..0xFFFFFFFF, so a decrement from 0 writes nothing and the value is never deleted. True when
// the new count was written.
[[nodiscard]] bool AdjustSharedCount(const std::string& path, long delta);

// The count of the value `name` now; false when it is not there.
[[nodiscard]] bool ReadSharedCount(const std::string& name, unsigned long& count);

// Deletes the value `name` when it counts 0: no installed product uses the file any more, and an
// absent value counts the same. True when the value is gone (or was not there).
[[nodiscard]] bool RemoveUnusedSharedCount(const std::string& name);

// The value name under which an install counted the file at `path`: the path itself, or else
// its short form (the platform's, or the computed 8.3 form an install with short names uses)
// when only that one is counted. The path itself when none is counted.
std::string SharedCountNameOf(const std::string& path);
