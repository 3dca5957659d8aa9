#include "setup/core/process.h"

#include "setup/core/handles.h"
#include "setup/core/path.h"

#include <windows.h>

#include <vector>

namespace {

// CreateProcessA may write into the command line, so it gets a private, writable copy.
std::vector<char> WritableCopy(const std::string& text) {
    std::vector<char> buffer(text.begin(), text.end());
    buffer.push_back('\0');
    return buffer;
}

// Polls the process every millisecond and keeps the caller's windows alive in between. A failed
// wait (which would never turn into "ended") also ends the loop.
void WaitPumping(const KernelHandle& process) {
    while (WaitForSingleObject(process.Get(), 1) == WAIT_TIMEOUT)
        PumpOneMessage();
}

// Starts the program with the command line and waits for it to end, dispatching messages.
bool RunAndWaitPumping(const std::string& program, const std::string& commandLineText,
                       STARTUPINFOA& startup) {
    std::vector<char> commandLine = WritableCopy(commandLineText);
    PROCESS_INFORMATION info{};
    if (!CreateProcessA(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &startup, &info))
        return false;
    KernelHandle thread(info.hThread);
    KernelHandle process(info.hProcess);
    thread.Reset();
    WaitPumping(process);
    return true;
}

// The registry editor of the running system: "regedit.exe" in the Windows folder.
std::string SystemRegistryEditor() {
    char folder[MAX_PATH + 1];
    const UINT n = GetWindowsDirectoryA(folder, sizeof folder);
    if (n == 0 || n >= sizeof folder)
        return {};
    return JoinPath(std::string(folder, n), "regedit.exe", true);
}

} // namespace

bool StartProgram(const std::string& program, const std::string& arguments) {
    std::vector<char> commandLine = WritableCopy(" " + arguments);
    STARTUPINFOA startup;
    GetStartupInfoA(&startup);
    PROCESS_INFORMATION info{};
    if (!CreateProcessA(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE,
                        CREATE_NEW_CONSOLE, nullptr, nullptr, &startup, &info))
        return false;
    KernelHandle thread(info.hThread);
    KernelHandle process(info.hProcess);
    return true;
}

bool StartProgramAndWait(const std::string& program, const std::string& arguments) {
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    return RunAndWaitPumping(program, " " + arguments, startup);
}

void PumpOneMessage() {
    MSG msg;
    if (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

bool MergeRegistryFile(const std::string& path) {
    const std::string editor = SystemRegistryEditor();
    if (editor.empty())
        return false;
    std::string target = ShortPathOf(path);
    if (target.empty())
        target = path;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    return RunAndWaitPumping(editor, "\"" + editor + "\" /S \"" + target + "\"", startup);
}
