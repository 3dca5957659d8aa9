#include "test_switches.h"

#include <windows.h>

#include <cstdlib>
#include <vector>

#include "output.h"
#include "setup/core/handles.h"
#include "setup/elements/copy_rules.h"
#include "transaction_log.h"

namespace {

int g_stopAfter = 0;
bool g_tear = false;
int g_records = 0;

// Writes the record, or, at the chosen one, all of it or its first half, and ends the process
// without any cleanup, as a crash there would.
bool WriteAndStop(OutputFile& file, const std::string& line, bool flush) {
    if (++g_records == g_stopAfter) {
        (void)file.Write(g_tear ? line.substr(0, line.size() / 2) : line);
        (void)file.Flush();
        TerminateProcess(GetCurrentProcess(), 9);
    }
    return file.Write(line) && (!flush || file.Flush());
}

// A file of 1 MB or more is copied half-way, and then the process ends (exit code 9); a smaller
// one is copied whole.
bool CopyAndStopHalfWay(const std::string& source, const std::string& destination) {
    KernelHandle in(CreateFileA(source.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    const DWORD size = in ? GetFileSize(in.Get(), nullptr) : 0;
    if (!in || size == INVALID_FILE_SIZE || size < (1u << 20)) {
        in.Reset();
        return CopyFileA(source.c_str(), destination.c_str(), FALSE) != 0;
    }
    KernelHandle out(CreateFileA(destination.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!out)
        return false;
    std::vector<char> block(1 << 16);
    for (DWORD written = 0; written < size / 2;) {
        DWORD got = 0;
        DWORD put = 0;
        if (!ReadFile(in.Get(), block.data(), static_cast<DWORD>(block.size()), &got, nullptr) ||
            got == 0 || !WriteFile(out.Get(), block.data(), got, &put, nullptr) || put != got)
            return false;
        written += put;
    }
    FlushFileBuffers(out.Get());
    Say("stopped half-way through the copy of " + source + " to " + destination);
    TerminateProcess(GetCurrentProcess(), 9);
    return false;
}

} // namespace

bool ReadTestSwitch(const std::string& key, const std::string& value, TestSwitches& switches) {
    if (key == "stop-after")
        switches.stopAfter = std::atoi(value.c_str());
    else if (key == "tear")
        switches.tear = value == "1";
    else if (key == "stop-in-copy")
        switches.stopInCopy = value == "1";
    else if (key == "cancel-after")
        switches.install.cancelAfter = std::atoi(value.c_str());
    else if (key == "bar")
        switches.paintedBar = value == "painted";
    else
        return false;
    return true;
}

void UseTestSwitches(const TestSwitches& switches) {
    g_stopAfter = switches.stopAfter;
    g_tear = switches.tear;
    // The stand-ins stay for the whole process: it ends with main.
    static OverrideForTesting<LogRecordWriter> records(
        LogRecordWriterForTesting(), switches.stopAfter > 0 ? &WriteAndStop : nullptr);
    static OverrideForTesting<PlatformCopyFunction> copy(
        CopyFunctionForTesting(), switches.stopInCopy ? &CopyAndStopHalfWay : nullptr);
}
