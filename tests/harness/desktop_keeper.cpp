// Keeps Wine's desktop alive for a whole test run. Wine starts its desktop process with the
// standard error of the first program that needs a desktop and ends it a second after its last
// client; a desktop (and the windows it opens, such as the folder windows of Program Manager
// commands) started by a test would hold that test's output pipe open, and the test runner
// would wait for it until the time-out. scripts/run-tests.sh starts this program first, with its
// output on /dev/null, and the end of the run's Wine server ends it.
//   desktop_keeper.exe <ready file>   (the file is written once the desktop is attached)
#include <windows.h>

#include <cstdio>

#include "setup/core/handles.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int) {
    // A hidden window makes this thread a client of the desktop.
    HWND window = CreateWindowExA(0, "STATIC", "tarvo desktop keeper", WS_POPUP, 0, 0, 1, 1,
                                  nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    if (!window)
        return 1;
    if (commandLine && *commandLine) {
        StdioFile ready(std::fopen(commandLine, "w"));
    }
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0)
        DispatchMessageA(&msg);
    return 0;
}
