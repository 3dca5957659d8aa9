// A custom DLL that imports from custom_companion_dep.dll in its own folder; its entry returns
// the companion's value (5), so a call that reached it is seen in the element's status.
#include <windows.h>

extern "C" __declspec(dllimport) int WINAPI CompanionValue();

extern "C" __declspec(dllexport) int WINAPI CCustDLLEntry(HWND, char*) {
    return CompanionValue();
}
