/* The code of the versioned test DLLs: an entry point and nothing else. They are built without
 * the C runtime, so they are a few kilobytes and differ only in their resources. */
#include <windows.h>

BOOL WINAPI VersionedDllEntry(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    (void)instance;
    (void)reason;
    (void)reserved;
    return TRUE;
}
