/* An image helper library that is not the system's: its BindImageEx always fails. It lies in a
   folder of its own; the file tests put that folder on the search path to show that binding
   never loads a library of that name from there. */
#include <windows.h>

__declspec(dllexport) BOOL WINAPI
    BindImageEx(DWORD flags, PCSTR image, PCSTR dllPath, PCSTR symbolPath, void* callback) {
    (void)flags;
    (void)image;
    (void)dllPath;
    (void)symbolPath;
    (void)callback;
    SetLastError(ERROR_INVALID_FUNCTION);
    return FALSE;
}
