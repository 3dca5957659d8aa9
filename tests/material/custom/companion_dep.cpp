// The DLL that custom_companion.dll needs; it lies beside it and nowhere on the search path.
#include <windows.h>

extern "C" __declspec(dllexport) int WINAPI CompanionValue() {
    return 5;
}
