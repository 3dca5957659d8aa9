// Shared test helpers: a fresh temporary folder and a scratch registry key per test, and facts
// about the Wine environment the tests run in.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace testsupport {

// The names of the files (not folders) in `folder`, sorted, in the case the system gives them.
std::vector<std::string> FilesIn(const std::string& folder);

// A new, empty folder under the temporary folder, removed with everything in it at destruction.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::string& Path() const { return m_path; }
    // Path of `name` inside the folder.
    std::string operator/(const std::string& name) const { return m_path + "\\" + name; }

private:
    std::string m_path;
};

// A new registry key HKEY_CURRENT_USER\Software\TarvoTests\<unique>, removed with its subkeys at
// destruction. KeyPath() is relative to HKEY_CURRENT_USER.
class ScratchKey {
public:
    explicit ScratchKey(HKEY root = HKEY_CURRENT_USER);
    ~ScratchKey();
    ScratchKey(const ScratchKey&) = delete;
    ScratchKey& operator=(const ScratchKey&) = delete;

    HKEY Root() const { return m_root; }
    const std::string& KeyPath() const { return m_path; }
    std::string operator/(const std::string& name) const { return m_path + "\\" + name; }

private:
    HKEY m_root;
    std::string m_path;
};

// Writes a file with the given bytes (creating missing folders is the caller's business).
bool WriteFileBytes(const std::string& path, const std::string& bytes);
// Reads a whole file; empty when it cannot be read.
std::string ReadFileBytes(const std::string& path);
// Removes a folder tree (files and subfolders); missing folders are fine.
void RemoveTree(const std::string& path);
// The platform id reported by the version query (1 = Windows 95/98, 2 = NT).
DWORD PlatformId();
// Whether the ANSI code page is a double-byte one (the cp932 runs).
bool DoubleByteCodePage();
// Code page 932 characters chosen for their bytes: trail bytes that are a backslash (So, Hyo)
// or a "|" (Po), and the lead byte 0x95 (Hyo, Bun) that also separates a shell link's target
// from its arguments. Fu and To have plain trail bytes.
namespace cp932 {
inline const std::string So = "\x83\x5C";
inline const std::string Po = "\x83\x7C";
inline const std::string Hyo = "\x95\x5C";
inline const std::string Bun = "\x95\xB6";
inline const std::string Fu = "\x83\x74";
inline const std::string To = "\x83\x67";
} // namespace cp932
// Whether the processor's direction flag is set on the calling thread (the calling convention
// says it is clear at every call and return).
bool DirectionFlagSet();
// The folder of the running test program.
std::string ProgramFolder();
// The Windows version the harness gives the running program by its file name ("win95",
// "win98", "nt351", "nt40", "win2k" for <name>-<version>.exe), or empty when it names none.
// Children started under a name with the same suffix get the same version.
std::string HarnessVersion();
// An environment variable, or empty.
std::string EnvText(const char* name);
// The Windows (Z:) path of a Linux path.
std::string WindowsPathOf(const std::string& unixPath);
// Runs a program and waits for it (at most `timeoutMs`); returns its exit code, or -1 when it
// could not be started or did not end in time.
long RunAndWait(const std::string& commandLine, DWORD timeoutMs = 60000,
                const std::string& workDir = "");

// Whether the test program runs on an emulated CPU (TARVO_EMULATED_CPU, set by the i686 tree's
// run under qemu's user-mode emulator), where hardware faults reach Wine with wrong trap
// information. On such a CPU the running test case is recorded as not runnable, with `reason`,
// in <build tree>/Testing/not-runnable.txt, and the caller skips it
// (TARVO_SKIP_ON_EMULATED_CPU): it is never counted as passed.
bool NotRunnableOnEmulatedCpu(const char* reason);

} // namespace testsupport

#define TARVO_SKIP_ON_EMULATED_CPU(reason)                                                         \
    if (testsupport::NotRunnableOnEmulatedCpu(reason))                                             \
    GTEST_SKIP() << "not runnable on an emulated CPU: " << (reason)
