// Stand-in for the HotSync desktop software's interface module "Sync20" (built as Sync20.dll).
//
// SyncGetAPIVersion reports the version written in a file "sync20.version" beside the module:
// two decimal numbers, major and minor ("2 1"), optionally followed by the result code to
// return (default 0). Without a readable file it returns -1 and leaves both numbers as they
// were, so a test can also check what its caller makes of untouched out-parameters.
//
// Built a second time as Sync20NoApi.dll, without the export, for the "module lacks the
// interface" case.
#include <windows.h>

#include <cstdio>
#include <cstring>

namespace {

HMODULE ThisModule() {
    HMODULE module = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                           GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCSTR>(&ThisModule), &module);
    return module;
}

} // namespace

#if !defined(SYNC20_WITHOUT_API)
extern "C" long WINAPI SyncGetAPIVersion(unsigned long* major, unsigned long* minor) {
    char path[MAX_PATH + 32];
    DWORD n = GetModuleFileNameA(ThisModule(), path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        return -1;
    char* slash = std::strrchr(path, '\\');
    std::strcpy(slash ? slash + 1 : path, "sync20.version");
    FILE* file = std::fopen(path, "r");
    if (!file)
        return -1;
    unsigned long readMajor = 0, readMinor = 0;
    long result = 0;
    int fields = std::fscanf(file, "%lu %lu %ld", &readMajor, &readMinor, &result);
    std::fclose(file);
    if (fields < 2)
        return -1;
    if (major)
        *major = readMajor;
    if (minor)
        *minor = readMinor;
    return result;
}
#else
// Something to export, so that the module is a well-formed DLL without the interface.
extern "C" long WINAPI SyncGetVersionUnavailable() {
    return 0;
}
#endif
