// A DLL that self-registering test modules import from, built into a folder that no DLL search
// reaches: the module that needs it cannot be loaded.
#include <windows.h>

extern "C" __declspec(dllexport) int WINAPI AbsentDependencyValue() {
    return 0;
}
