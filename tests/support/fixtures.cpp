#include "support/fixtures.h"

#include "setup/core/handles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace testsupport {

std::vector<std::string> FilesIn(const std::string& folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA data;
    FindHandle find(FindFirstFileA((folder + "\\*").c_str(), &data));
    if (!find.IsOpen())
        return names;
    do {
        if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            names.push_back(data.cFileName);
    } while (FindNextFileA(find.Get(), &data));
    std::sort(names.begin(), names.end());
    return names;
}

namespace {

std::string UniqueSuffix() {
    static LONG counter = 0;
    char buf[64];
    std::snprintf(buf, sizeof buf, "%lu-%lu-%ld", GetCurrentProcessId(), GetTickCount(),
                  InterlockedIncrement(&counter));
    return buf;
}

} // namespace

TempFolder::TempFolder() {
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    std::string base = temp;
    if (!base.empty() && base.back() == '\\')
        base.pop_back();
    m_path = base + "\\tarvo-test-" + UniqueSuffix();
    CreateDirectoryA(m_path.c_str(), nullptr);
}

TempFolder::~TempFolder() {
    RemoveTree(m_path);
}

void RemoveTree(const std::string& path) {
    WIN32_FIND_DATAA fd;
    FindHandle h(FindFirstFileA((path + "\\*").c_str(), &fd));
    if (h) {
        do {
            std::string name = fd.cFileName;
            if (name == "." || name == "..")
                continue;
            std::string child = path + "\\" + name;
            SetFileAttributesA(child.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(child);
            else
                DeleteFileA(child.c_str());
        } while (FindNextFileA(h.Get(), &fd));
    }
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    RemoveDirectoryA(path.c_str());
}

ScratchKey::ScratchKey(HKEY root) : m_root(root) {
    m_path = "Software\\TarvoTests\\" + UniqueSuffix();
    RegKey key;
    RegCreateKeyExA(m_root, m_path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.Receive(),
                    nullptr);
}

ScratchKey::~ScratchKey() {
    RegDeleteTreeA(m_root, m_path.c_str());
}

bool WriteFileBytes(const std::string& path, const std::string& bytes) {
    StdioFile f(std::fopen(path.c_str(), "wb"));
    if (!f)
        return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f.Get()) == bytes.size();
    return f.Reset() && ok;
}

std::string ReadFileBytes(const std::string& path) {
    StdioFile f(std::fopen(path.c_str(), "rb"));
    if (!f)
        return {};
    std::string out;
    char buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f.Get())) > 0)
        out.append(buf, n);
    return out;
}

DWORD PlatformId() {
    OSVERSIONINFOA vi = {};
    vi.dwOSVersionInfoSize = sizeof vi;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    GetVersionExA(&vi);
#pragma GCC diagnostic pop
    return vi.dwPlatformId;
}

bool DoubleByteCodePage() {
    CPINFO info{};
    return GetCPInfo(CP_ACP, &info) && info.MaxCharSize > 1;
}

std::string ProgramFolder() {
    char buf[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, buf, MAX_PATH);
    std::string path(buf, n);
    return path.substr(0, path.find_last_of('\\'));
}

bool DirectionFlagSet() {
#if defined(__x86_64__)
    unsigned long long flags = 0;
    asm volatile("pushfq\n\tpopq %0" : "=r"(flags));
#else
    unsigned long flags = 0;
    asm volatile("pushfl\n\tpopl %0" : "=r"(flags));
#endif
    return (flags & 0x400) != 0;
}

std::string HarnessVersion() {
    char buf[MAX_PATH];
    const std::string path(buf, GetModuleFileNameA(nullptr, buf, MAX_PATH));
    const std::string::size_type dash = path.find_last_of('-');
    const std::string::size_type dot = path.find_last_of('.');
    if (dash == std::string::npos || dot == std::string::npos || dot < dash)
        return std::string();
    const std::string version = path.substr(dash + 1, dot - dash - 1);
    for (const char* known : {"win95", "win98", "nt351", "nt40", "win2k"})
        if (lstrcmpiA(version.c_str(), known) == 0)
            return known;
    return std::string();
}

std::string EnvText(const char* name) {
    char buf[4096];
    DWORD n = GetEnvironmentVariableA(name, buf, sizeof buf);
    return n && n < sizeof buf ? std::string(buf, n) : std::string();
}

bool NotRunnableOnEmulatedCpu(const char* reason) {
    if (EnvText("TARVO_EMULATED_CPU") != "1")
        return false;
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    char buf[MAX_PATH];
    std::string program(buf, GetModuleFileNameA(nullptr, buf, MAX_PATH));
    program = program.substr(program.find_last_of('\\') + 1);
    const std::string build = EnvText("TARVO_BUILD_DIR");
    if (!build.empty()) {
        StdioFile list(
            std::fopen((WindowsPathOf(build) + "\\Testing\\not-runnable.txt").c_str(), "a"));
        if (list)
            std::fprintf(list.Get(), "%s: %s.%s: %s\n", program.c_str(),
                         test ? test->test_suite_name() : "?", test ? test->name() : "?", reason);
    }
    return true;
}

std::string WindowsPathOf(const std::string& unixPath) {
    std::string out = "Z:";
    for (char c : unixPath)
        out += c == '/' ? '\\' : c;
    return out;
}

long RunAndWait(const std::string& commandLine, DWORD timeoutMs, const std::string& workDir) {
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    std::vector<char> cmd(commandLine.begin(), commandLine.end());
    cmd.push_back(0);
    if (!CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        workDir.empty() ? nullptr : workDir.c_str(), &si, &pi)) {
        std::fprintf(stderr, "RunAndWait: the process could not be started (error %lu): %s\n",
                     GetLastError(), commandLine.c_str());
        return -1;
    }
    KernelHandle process(pi.hProcess);
    KernelHandle thread(pi.hThread);
    DWORD code = static_cast<DWORD>(-1);
    if (WaitForSingleObject(process.Get(), timeoutMs) == WAIT_OBJECT_0) {
        GetExitCodeProcess(process.Get(), &code);
    } else {
        std::fprintf(stderr, "RunAndWait: ended after %lu ms without an answer: %s\n",
                     static_cast<unsigned long>(timeoutMs), commandLine.c_str());
        TerminateProcess(process.Get(), 1);
    }
    return static_cast<long>(code);
}

} // namespace testsupport
