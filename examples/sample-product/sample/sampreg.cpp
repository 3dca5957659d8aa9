// The sample product's self-registering module: registers its document class under
// HKEY_CLASSES_ROOT and removes it again.
#include <windows.h>

#include "setup/core/handles.h"

namespace {

const char* const ClassKey = "TarvoSample.Document";
const char* const CurVerKey = "TarvoSample.Document\\CurVer";

bool SetDefault(const char* path, const char* text) {
    RegKey key;
    if (RegCreateKeyExA(HKEY_CLASSES_ROOT, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        key.Receive(), nullptr) != ERROR_SUCCESS)
        return false;
    return RegSetValueExA(key.Get(), nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                          static_cast<DWORD>(lstrlenA(text) + 1)) == ERROR_SUCCESS;
}

} // namespace

extern "C" __declspec(dllexport) HRESULT __stdcall DllRegisterServer() {
    if (!SetDefault(ClassKey, "Tarvo Sample Document") ||
        !SetDefault(CurVerKey, "TarvoSample.Document.1"))
        return E_FAIL;
    return S_OK;
}

extern "C" __declspec(dllexport) HRESULT __stdcall DllUnregisterServer() {
    LONG a = RegDeleteKeyA(HKEY_CLASSES_ROOT, CurVerKey);
    LONG b = RegDeleteKeyA(HKEY_CLASSES_ROOT, ClassKey);
    return (a == ERROR_SUCCESS || a == ERROR_FILE_NOT_FOUND) &&
                   (b == ERROR_SUCCESS || b == ERROR_FILE_NOT_FOUND)
               ? S_OK
               : E_FAIL;
}
