#include "setup/core/process.h"

#include "setup/core/path.h"

#include <windows.h>

#include <vector>

namespace {

// CreateProcessA may write into the command line, so it gets a private, writable copy of
// exactly the needed size: " " followed by the arguments.
std::vector<char> CommandLineBuffer(const std::string& arguments) {
    std::vector<char> buffer;
    buffer.reserve(arguments.size() + 2);
    buffer.push_back(' ');
    buffer.insert(buffer.end(), arguments.begin(), arguments.end());
    buffer.push_back('\0');
    return buffer;
}

} // namespace

bool StartProgram(const std::string& program, const std::string& arguments) {
    std::vector<char> commandLine = CommandLineBuffer(arguments);
    STARTUPINFOA startup;
    GetStartupInfoA(&startup);
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE,
                        CREATE_NEW_CONSOLE, nullptr, nullptr, &startup, &process))
        return false;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
}

bool StartProgramAndWait(const std::string& program, const std::string& arguments) {
    std::vector<char> commandLine = CommandLineBuffer(arguments);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &startup, &process))
        return false;
    CloseHandle(process.hThread);
    // Poll the process every millisecond and keep the caller's windows alive in between. A
    // failed wait (which would never turn into "ended") also ends the loop.
    while (WaitForSingleObject(process.hProcess, 1) == WAIT_TIMEOUT)
        PumpOneMessage();
    CloseHandle(process.hProcess);
    return true;
}

void PumpOneMessage() {
    MSG msg;
    if (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

bool MergeRegistryFile(const std::string& path) {
    std::string target = ShortPathOf(path);
    if (target.empty())
        target = path;
    std::string command = "regedit.exe /S \"" + target + "\"";
    return WinExec(command.c_str(), SW_HIDE) >= 32;
}
