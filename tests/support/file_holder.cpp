#include "support/file_holder.h"

#include <windows.h>

#include <vector>

#include "support/fixtures.h"

namespace testsupport {

namespace {

std::string SignalName(const char* kind) {
    static LONG counter = 0;
    char temp[MAX_PATH];
    DWORD n = GetTempPathA(MAX_PATH, temp);
    std::string base(temp, n < MAX_PATH ? n : 0);
    if (!base.empty() && base.back() != '\\')
        base += '\\';
    return base + "holdfile-" + std::to_string(GetCurrentProcessId()) + "-" +
           std::to_string(InterlockedIncrement(&counter)) + "." + kind;
}

} // namespace

FileHolder::FileHolder(const std::string& path, const std::string& share, const std::string& access)
    : m_ready(SignalName("ready")), m_release(SignalName("release")) {
    const std::string command = "\"" + ProgramFolder() + "\\holdfile.exe\" \"" + path +
                                "\" --share=" + share + " --access=" + access +
                                " \"--ready=" + m_ready + "\" \"--release=" + m_release + "\"";
    // Under a loaded machine Wine occasionally fails a new process before it runs: a holder that
    // ends without a word is started again.
    for (int attempt = 0; attempt < 3 && m_report.empty(); ++attempt)
        Start(command);
    m_held = m_report == "held";
}

void FileHolder::Start(const std::string& command) {
    EndHolder();
    DeleteFileA(m_ready.c_str());
    DeleteFileA(m_release.c_str());
    std::vector<char> line(command.begin(), command.end());
    line.push_back('\0');
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &info)) {
        m_failure = "holdfile.exe could not be started: error " + std::to_string(GetLastError());
        return;
    }
    KernelHandle thread(info.hThread);
    m_process.Reset(info.hProcess);
    for (int waited = 0; waited < 2000; ++waited) {
        // The holder creates the file before it writes its word: an empty file is no answer yet.
        if (GetFileAttributesA(m_ready.c_str()) != INVALID_FILE_ATTRIBUTES) {
            m_report = ReadFileBytes(m_ready);
            if (!m_report.empty())
                return;
        }
        if (WaitForSingleObject(m_process.Get(), 10) == WAIT_OBJECT_0) {
            m_report = ReadFileBytes(m_ready);
            DWORD code = 0;
            GetExitCodeProcess(m_process.Get(), &code);
            m_failure = "holdfile.exe ended with exit code " + std::to_string(code);
            m_process.Reset();
            return;
        }
    }
    m_failure = "holdfile.exe did not answer in 20 s";
}

// A holder that answers late would hold the file, and the output of whoever started this test,
// until its own time limit: it is ended before another is started.
void FileHolder::EndHolder() {
    if (!m_process.IsOpen())
        return;
    TerminateProcess(m_process.Get(), 1);
    WaitForSingleObject(m_process.Get(), 5000);
    m_process.Reset();
}

FileHolder::~FileHolder() {
    Release();
    DeleteFileA(m_ready.c_str());
}

void FileHolder::Release() {
    if (!m_process.IsOpen())
        return;
    WriteFileBytes(m_release, "");
    if (WaitForSingleObject(m_process.Get(), 5000) != WAIT_OBJECT_0) {
        TerminateProcess(m_process.Get(), 1);
        WaitForSingleObject(m_process.Get(), 5000);
    }
    m_process.Reset();
    DeleteFileA(m_release.c_str());
    m_held = false;
}

void FileHolder::Detach() {
    m_process.Reset();
}

} // namespace testsupport
