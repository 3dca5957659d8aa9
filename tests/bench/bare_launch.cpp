// Baselines of the loader benchmark: programs that do nothing but start ravell32.dll beside
// themselves with their own command text, the way the loader's batch mode does (application
// name, one blank and the arguments, zeroed start-up information, no flags), and wait for it.
// bare_launch waits with the kernel alone; bare_launch_pump (PUMP_MESSAGES) waits as batch mode
// does, polling every millisecond and handling one window message per poll, and so loads the
// window manager's library (user32) as every GUI program does.
#include <windows.h>

#include <string>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR arguments, int) {
    char self[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string engine(self, length);
    engine = engine.substr(0, engine.rfind('\\') + 1) + "ravell32.dll";
    std::string commandLine = std::string(" ") + arguments;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(engine.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &startup, &process))
        return 1;
#if defined(PUMP_MESSAGES)
    while (WaitForSingleObject(process.hProcess, 1) == WAIT_TIMEOUT) {
        MSG message;
        if (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }
#else
    WaitForSingleObject(process.hProcess, INFINITE);
#endif
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return 0;
}
