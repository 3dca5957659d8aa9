// A file held open by another process (tests/standins/holdfile), for tests of files in use.
#pragma once

#include <string>

#include "setup/core/handles.h"

namespace testsupport {

// Starts holdfile.exe from the test programs' folder on `path` and waits (at most 20 s) until it
// holds the file. `share` and `access` take holdfile's values: share none, read, write,
// readwrite; access read, write, readwrite. The file is let go at destruction or by Release().
// Tests that use it name the target holdfile in their DEPENDS.
class FileHolder {
public:
    explicit FileHolder(const std::string& path, const std::string& share = "none",
                        const std::string& access = "read");
    ~FileHolder();
    FileHolder(const FileHolder&) = delete;
    FileHolder& operator=(const FileHolder&) = delete;

    // True when the holder reported the file held.
    bool Held() const { return m_held; }
    // What the holder reported ("held", "failed <error>"), or why it did not answer.
    const std::string& Report() const { return m_report.empty() ? m_failure : m_report; }
    // Lets go of the file and waits for the holder to end.
    void Release();
    // Leaves the holder running after this object goes: it holds the file until its time limit
    // (600 s) or until the Wine server ends (the restart stage's restart).
    void Detach();

private:
    void Start(const std::string& command);
    void EndHolder();

    KernelHandle m_process;
    std::string m_ready;
    std::string m_release;
    std::string m_report;
    std::string m_failure;
    bool m_held = false;
};

} // namespace testsupport
