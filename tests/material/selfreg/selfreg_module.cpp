// A self-registering test module, built once per behaviour (SELFREG_<BEHAVIOUR>):
//   OK                  both entries return 0 (S_OK)
//   S_FALSE             both entries return S_FALSE
//   CRASH               both entries write to an invalid address
//   THROW               both entries throw a C++ exception that nothing in the module catches
//   CATCH               both entries throw a C++ exception, catch it themselves and return 0
//   FOREIGN             both entries raise the platform exception that a C++ throw of a module
//                       built with Visual C++ is (code 0xE06D7363), which nothing catches
//   MISSING_DEPENDENCY  imports a function of a DLL that cannot be found, so it never loads
// Before it acts, each entry writes a marker file beside the module: "<module>.registered" or
// "<module>.unregistered", holding the number of calls so far, and whether the thread had
// COM initialised during the call ("com=1").
#include <windows.h>

#include <objbase.h>

#include <cstdint>
#include <cstdio>
#include <stdexcept>

#if defined(SELFREG_MISSING_DEPENDENCY)
extern "C" __declspec(dllimport) int WINAPI AbsentDependencyValue();
#endif

namespace {

HMODULE g_module = nullptr;
int g_calls = 0;

// COM is initialised on this thread when a fresh CoInitialize only adds a reference (S_FALSE)
// or meets another apartment mode.
bool ComInitialised() {
    HRESULT hr = CoInitialize(nullptr);
    if (SUCCEEDED(hr))
        CoUninitialize();
    return hr == S_FALSE || hr == RPC_E_CHANGED_MODE;
}

void Mark(const char* suffix) {
    char path[MAX_PATH + 32];
    DWORD n = GetModuleFileNameA(g_module, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        return;
    std::snprintf(path + n, sizeof path - n, "%s", suffix);
    if (FILE* file = std::fopen(path, "wb")) {
        std::fprintf(file, "calls=%d\ncom=%d\n", ++g_calls, ComInitialised() ? 1 : 0);
        std::fclose(file);
    }
}

HRESULT Act() {
#if defined(SELFREG_OK)
    return S_OK;
#elif defined(SELFREG_S_FALSE)
    return S_FALSE;
#elif defined(SELFREG_CRASH)
    {
        // Kept in a volatile pointer so that the compiler cannot see the address.
        volatile int* volatile invalid = reinterpret_cast<int*>(std::uintptr_t(16));
        *invalid = 1;
    }
    return S_OK;
#elif defined(SELFREG_THROW)
    throw std::runtime_error("not caught by the module");
#elif defined(SELFREG_FOREIGN)
    RaiseException(0xE06D7363, EXCEPTION_NONCONTINUABLE, 0, nullptr);
    return S_OK;
#elif defined(SELFREG_CATCH)
    try {
        throw std::runtime_error("caught by the module");
    } catch (const std::exception&) {
        OutputDebugStringA("selfreg_catch: caught its own exception\n");
    }
    return S_OK;
#elif defined(SELFREG_MISSING_DEPENDENCY)
    return AbsentDependencyValue() == 0 ? S_OK : E_FAIL;
#else
#error "choose a behaviour"
#endif
}

} // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH)
        g_module = instance;
    return TRUE;
}

extern "C" __declspec(dllexport) HRESULT WINAPI DllRegisterServer() {
    Mark(".registered");
    return Act();
}

extern "C" __declspec(dllexport) HRESULT WINAPI DllUnregisterServer() {
    Mark(".unregistered");
    return Act();
}
