// The sample product's custom DLL, called at installation and at removal: it records the
// argument text it received under the product's "Setup" key.
#include <windows.h>

#include "setup/core/handles.h"

extern "C" __declspec(dllexport) int __stdcall CCustDLLEntry(HWND, const char* arguments) {
    RegKey key;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Tarvo Sample\\Setup", 0, nullptr, 0,
                        KEY_ALL_ACCESS, nullptr, key.Receive(), nullptr) != ERROR_SUCCESS)
        return 2;
    const char* text = arguments ? arguments : "";
    return RegSetValueExA(key.Get(), "Custom DLL", 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                          static_cast<DWORD>(lstrlenA(text) + 1)) == ERROR_SUCCESS
               ? 0
               : 2;
}
