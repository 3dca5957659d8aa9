// Runs one command line as it is written, the way the list of installed programs runs an
// UninstallString (the program is the line's first word, quoted or not), waits for it and ends
// with its exit code (255 when it could not be started). The line is the first line of a file,
// so that no quoting of this program's own command line can change it.
//
// Usage: runline <file>
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "setup/core/handles.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: runline <file>\n");
        return 255;
    }
    char buffer[4096] = {};
    {
        StdioFile file(std::fopen(argv[1], "rb"));
        if (!file || !std::fgets(buffer, sizeof buffer, file.Get())) {
            std::fprintf(stderr, "runline: %s could not be read\n", argv[1]);
            return 255;
        }
    }
    for (char* end = buffer + std::strlen(buffer);
         end > buffer && (end[-1] == '\n' || end[-1] == '\r'); --end)
        end[-1] = '\0';
    // The program's output goes where this one's goes.
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION info = {};
    if (!CreateProcessA(nullptr, buffer, nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                        &info)) {
        std::fprintf(stderr, "runline: %s could not be started (error %lu)\n", buffer,
                     GetLastError());
        return 255;
    }
    KernelHandle process(info.hProcess);
    KernelHandle thread(info.hThread);
    WaitForSingleObject(process.Get(), INFINITE);
    DWORD code = 255;
    GetExitCodeProcess(process.Get(), &code);
    return static_cast<int>(code);
}
