/* Test programs of the i686 build only. They are linked as the product is, against crtdll.dll,
 * but GoogleTest and the parts of the standard C++ library it uses (file streams, captured
 * output) call functions that only later run-time DLLs export: the POSIX-style names without an
 * underscore, the 32/64-bit variants of stat, localtime and lseek, wide-character opens and
 * rand_s. Each is provided here in terms of what crtdll.dll (or the system) has. None of this is
 * linked into the product, whose own code calls none of them (its import check proves it). */
#include <windows.h>

/* crtdll.dll's own functions, declared by hand: the C headers of this toolchain describe the
 * later run-time DLLs. FILE* is passed through as void*. */
extern int __cdecl _close(int);
extern int __cdecl _dup(int);
extern int __cdecl _dup2(int, int);
extern int __cdecl _read(int, void*, unsigned);
extern int __cdecl _write(int, const void*, unsigned);
extern int __cdecl _creat(const char*, int);
extern int __cdecl _fileno(void*);
extern void* __cdecl _fdopen(int, const char*);
extern long __cdecl _get_osfhandle(int);
extern int __cdecl _stat(const char*, void*);
extern int __cdecl _fstat(int, void*);
extern int __cdecl fgetwc(void*);
extern int __cdecl fputwc(int, void*);
extern void* __cdecl fopen(const char*, const char*);
extern int __cdecl rand(void);
extern int* __cdecl _errno(void);
__declspec(dllimport) void* __cdecl localtime(const long*);

int __cdecl close(int fd) {
    return _close(fd);
}
int __cdecl dup(int fd) {
    return _dup(fd);
}
int __cdecl dup2(int from, int to) {
    return _dup2(from, to);
}
int __cdecl read(int fd, void* buffer, unsigned count) {
    return _read(fd, buffer, count);
}
int __cdecl write(int fd, const void* buffer, unsigned count) {
    return _write(fd, buffer, count);
}
int __cdecl creat(const char* path, int mode) {
    return _creat(path, mode);
}
int __cdecl fileno(void* file) {
    return _fileno(file);
}
void* __cdecl fdopen(int fd, const char* mode) {
    return _fdopen(fd, mode);
}
int __cdecl getwc(void* file) {
    return fgetwc(file);
}
int __cdecl putwc(int c, void* file) {
    return fputwc(c, file);
}

/* crtdll.dll's stat record has 32-bit sizes and times: it is the later _stat32. */
struct stat32 {
    unsigned int st_dev;
    unsigned short st_ino;
    unsigned short st_mode;
    short st_nlink;
    short st_uid;
    short st_gid;
    unsigned int st_rdev;
    long st_size;
    long st_atime_, st_mtime_, st_ctime_;
};
struct stat64 {
    unsigned int st_dev;
    unsigned short st_ino;
    unsigned short st_mode;
    short st_nlink;
    short st_uid;
    short st_gid;
    unsigned int st_rdev;
    long long st_size;
    long long st_atime_, st_mtime_, st_ctime_;
};

static int __cdecl ShimStat32(const char* path, struct stat32* out) {
    return _stat(path, out);
}

static int __cdecl ShimFstat64(int fd, struct stat64* out) {
    struct stat32 small;
    if (_fstat(fd, &small) != 0)
        return -1;
    out->st_dev = small.st_dev;
    out->st_ino = small.st_ino;
    out->st_mode = small.st_mode;
    out->st_nlink = small.st_nlink;
    out->st_uid = small.st_uid;
    out->st_gid = small.st_gid;
    out->st_rdev = small.st_rdev;
    out->st_size = (unsigned long)small.st_size;
    out->st_atime_ = small.st_atime_;
    out->st_mtime_ = small.st_mtime_;
    out->st_ctime_ = small.st_ctime_;
    return 0;
}

static void* __cdecl ShimLocaltime32(const long* time) {
    return localtime(time);
}

/* No error-mode switch in crtdll.dll: its abort shows no dialog to suppress. */
static int __cdecl ShimSetErrorMode(int mode) {
    (void)mode;
    return 0;
}

static int __cdecl ShimRandS(unsigned int* value) {
    *value = ((unsigned)rand() << 17) ^ ((unsigned)rand() << 7) ^ GetTickCount();
    return 0;
}

/* Wide names are converted to the ANSI code page (crtdll.dll opens by ANSI name only). */
static void* __cdecl ShimWfopen(const wchar_t* path, const wchar_t* mode) {
    char narrowPath[MAX_PATH];
    char narrowMode[16];
    if (!WideCharToMultiByte(CP_ACP, 0, path, -1, narrowPath, sizeof narrowPath, NULL, NULL) ||
        !WideCharToMultiByte(CP_ACP, 0, mode, -1, narrowMode, sizeof narrowMode, NULL, NULL))
        return NULL;
    return fopen(narrowPath, narrowMode);
}

long long __cdecl _lseeki64(int fd, long long offset, int origin) {
    HANDLE file = (HANDLE)_get_osfhandle(fd);
    LONG high = (LONG)(offset >> 32);
    DWORD low = SetFilePointer(file, (LONG)(offset & 0xFFFFFFFF), &high, (DWORD)origin);
    if (low == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR) {
        *_errno() = 22; /* EINVAL */
        return -1;
    }
    return ((long long)high << 32) | low;
}

long long __cdecl _filelengthi64(int fd) {
    DWORD high = 0;
    DWORD low = GetFileSize((HANDLE)_get_osfhandle(fd), &high);
    if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR)
        return -1;
    return ((long long)high << 32) | low;
}

/* The names the headers declare with dllimport are reached through import-table slots. */
void* _imp___stat32 = (void*)ShimStat32;
void* _imp___fstat64 = (void*)ShimFstat64;
void* _imp___localtime32 = (void*)ShimLocaltime32;
void* _imp___set_error_mode = (void*)ShimSetErrorMode;
void* _imp__rand_s = (void*)ShimRandS;
void* _imp___wfopen = (void*)ShimWfopen;
