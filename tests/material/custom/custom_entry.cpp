// A custom DLL for the custom-code elements. Its "CCustDLLEntry" writes what it received to
// "<module>.log" beside itself (overwritten on each call):
//   calls=<number of calls so far>
//   window=<the window handle, decimal>
//   arguments=<the argument text>
// and then does what the calling test asked through its environment:
//   TARVO_CUSTOM_RESULT=<n>   return n (default 0)
//   TARVO_CUSTOM_CRASH=1      write to an invalid address instead of returning
//   TARVO_CUSTOM_CRASH=divide divide by zero instead of returning
//   TARVO_CUSTOM_CRASH=foreign raise the exception code of a Visual C++ throw (0xE06D7363)
//   TARVO_CUSTOM_CRASH=std    set the direction flag, then write to an invalid address
//   TARVO_CUSTOM_SCRIBBLE=1   overwrite the argument text it received with 'X' before returning
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

HMODULE g_module = nullptr;
int g_calls = 0;

bool EnvFlag(const char* name) {
    char value[16] = {};
    DWORD n = GetEnvironmentVariableA(name, value, sizeof value);
    return n > 0 && n < sizeof value && value[0] == '1';
}

bool EnvIs(const char* name, const char* expected) {
    char value[16] = {};
    DWORD n = GetEnvironmentVariableA(name, value, sizeof value);
    return n > 0 && n < sizeof value && std::strcmp(value, expected) == 0;
}

void WriteToAnInvalidAddress() {
    // Kept in a volatile pointer so that the compiler cannot see the address.
    volatile int* volatile invalid = reinterpret_cast<int*>(std::uintptr_t(32));
    *invalid = 1;
}

} // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH)
        g_module = instance;
    return TRUE;
}

extern "C" __declspec(dllexport) int WINAPI CCustDLLEntry(HWND window, char* arguments) {
    char path[MAX_PATH + 8];
    DWORD n = GetModuleFileNameA(g_module, path, MAX_PATH);
    if (n > 0 && n < MAX_PATH) {
        std::strcpy(path + n, ".log");
        if (FILE* file = std::fopen(path, "wb")) {
            std::fprintf(file, "calls=%d\nwindow=%llu\narguments=%s\n", ++g_calls,
                         static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(window)),
                         arguments ? arguments : "(null)");
            std::fclose(file);
        }
    }
    if (EnvIs("TARVO_CUSTOM_CRASH", "1"))
        WriteToAnInvalidAddress();
    if (EnvIs("TARVO_CUSTOM_CRASH", "divide")) {
        volatile int zero = 0;
        return 10 / zero;
    }
    if (EnvIs("TARVO_CUSTOM_CRASH", "foreign"))
        RaiseException(0xE06D7363, EXCEPTION_NONCONTINUABLE, 0, nullptr);
    if (EnvIs("TARVO_CUSTOM_CRASH", "std")) {
        // The fault leaves the flag set: the guard must clear it for its caller.
        asm volatile("std" ::: "memory");
        WriteToAnInvalidAddress();
    }
    if (EnvFlag("TARVO_CUSTOM_SCRIBBLE") && arguments)
        std::memset(arguments, 'X', std::strlen(arguments));
    char result[32] = {};
    DWORD length = GetEnvironmentVariableA("TARVO_CUSTOM_RESULT", result, sizeof result);
    return length > 0 && length < sizeof result ? std::atoi(result) : 0;
}
