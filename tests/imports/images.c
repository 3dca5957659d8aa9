/* Small 32-bit images for the tests of the import check, one per IMAGE_* choice, each built
 * without the C run-time so that its import table holds only what the choice names. */
#include <windows.h>

#if defined(IMAGE_NEW_IMPORT)
/* A function Windows 95 and NT 4.0 lack. */
void __stdcall start(void) {
    ExitProcess((UINT)GetTickCount64());
}
#elif defined(IMAGE_BY_ORDINAL)
/* A function of a listed DLL, imported by its ordinal (comctl32.def declares it NONAME). */
void WINAPI InitCommonControls(void);
void __stdcall start(void) {
    InitCommonControls();
    ExitProcess(0);
}
#elif defined(IMAGE_UNLISTED_DLL)
/* A function of a DLL that has no list (declared by <windows.h> through <winsock.h>). */
void __stdcall start(void) {
    ExitProcess((UINT)WSACleanup());
}
#elif defined(IMAGE_TLS_DLL)
/* A DLL with thread-local data, so with a TLS directory. */
__thread int perThread;
BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID reserved) {
    (void)module;
    (void)reserved;
    perThread = (int)reason;
    return TRUE;
}
#else
/* Only listed functions; one of them is a stub that fails on Windows 95. */
void __stdcall start(void) {
    DWORD flags = 0;
    GetHandleInformation(GetCurrentProcess(), &flags);
    ExitProcess(0);
}
#endif
