// The single-file setup: a small program with a whole installation medium appended to its image
// (scripts/make-medium.sh --single writes it as SETUP.EXE). Started, it
//   1. checks the CRC-32 of its whole file (a damaged or cut download is refused with a message
//      before anything is written);
//   2. checks that the temporary folder's drive has room for the medium's files;
//   3. extracts them into a fresh folder there (TVS<n>.TMP), each file checked against its size
//      and CRC-32;
//   4. starts the medium's loader (Quenda.exe) in that folder with its own command line handed
//      on, and waits for it, handling its own messages meanwhile;
//   5. removes the folder; when replacements wait for the restart (the installation asked for
//      one), the folder's files and the folder go at the restart instead.
// Its exit code is the loader's, or 3 the file is damaged, 4 no room in the temporary folder,
// 5 the medium could not be extracted (what was extracted is removed), 6 the loader could not be
// started. "/batch" or "/silent" (any case) on the command line: no message box, only the code.
//
// The appended medium, after the program's own bytes:
//   per file:  u16 name length, the name (below the folder, "\" between the parts, in the system
//              code page), u32 size, u32 CRC-32 of the file, u32 stored length, the stored bytes
//              (a raw deflate stream of the file)
//   trailer:   "TVSINGL1", u32 offset of the first file, u32 number of files, u32 sum of the
//              files' sizes, u32 CRC-32 of every byte of the image before this field
// All numbers little-endian. The program is built without the C++ library: only the system's
// calls, crtdll and an inflater of its own (inflate.h), which keep it small.
#include <windows.h>

#include "inflate.h"
#include "setup/core/handles.h"

namespace {

enum StubExit : int {
    ExitDamaged = 3,
    ExitNoRoom = 4,
    ExitNotExtracted = 5,
    ExitLoaderNotStarted = 6,
};

const char Signature[8] = {'T', 'V', 'S', 'I', 'N', 'G', 'L', '1'};
constexpr DWORD TrailerSize = 8 + 4 * 4;
constexpr DWORD BlockSize = 64 * 1024;
constexpr DWORD RoomToSpare = 1024 * 1024; // beyond the files: the loader's and Windows' own

// Allocated once at the start (a zero-filled array would take room in the image).
unsigned char* g_in;     // BlockSize bytes
unsigned char* g_window; // the inflater's 32 KB window
char* g_text;            // BlockSize bytes
bool g_quiet = false;
char g_folder[MAX_PATH];

DWORD Le32(const unsigned char* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<DWORD>(p[3]) << 24);
}

void Tell(const char* text, const char* detail = nullptr) {
    if (g_quiet)
        return;
    char message[MAX_PATH * 2 + 200];
    lstrcpynA(message, text, sizeof message);
    if (detail) {
        const int used = lstrlenA(message);
        lstrcpynA(message + used, detail, static_cast<int>(sizeof message) - used);
    }
    MessageBoxA(nullptr, message, "Setup", MB_OK | MB_ICONSTOP | MB_SETFOREGROUND);
}

bool ReadExactly(HANDLE file, void* buffer, DWORD count) {
    DWORD got = 0;
    return ReadFile(file, buffer, count, &got, nullptr) && got == count;
}

bool SeekTo(HANDLE file, DWORD offset) {
    return SetFilePointer(file, static_cast<LONG>(offset), nullptr, FILE_BEGIN) == offset;
}

// The CRC-32 of the image's first `count` bytes.
bool ImageCrc(HANDLE file, DWORD count, DWORD& crc) {
    crc = 0;
    if (!SeekTo(file, 0))
        return false;
    while (count > 0) {
        const DWORD part = count < BlockSize ? count : BlockSize;
        if (!ReadExactly(file, g_in, part))
            return false;
        crc = Crc32(crc, g_in, part);
        count -= part;
    }
    return true;
}

// Free bytes on the drive of `folder`, at most 4 GB - 1 (enough to compare with a medium).
DWORD FreeBytes(const char* folder) {
    typedef BOOL(WINAPI * FreeSpaceEx)(LPCSTR, PULARGE_INTEGER, PULARGE_INTEGER, PULARGE_INTEGER);
    // The extended call is missing from the first Windows 95; drives over 2 GB need it.
    const auto extended = reinterpret_cast<FreeSpaceEx>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetDiskFreeSpaceExA")));
    if (extended) {
        ULARGE_INTEGER available, total, free;
        if (extended(folder, &available, &total, &free))
            return available.HighPart ? 0xFFFFFFFFu : available.LowPart;
    }
    char root[4] = {folder[0], ':', '\\', 0};
    DWORD sectors = 0, bytes = 0, clusters = 0, all = 0;
    if (!GetDiskFreeSpaceA(root, &sectors, &bytes, &clusters, &all))
        return 0;
    const ULONGLONG room = static_cast<ULONGLONG>(sectors) * bytes * clusters;
    return room > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<DWORD>(room);
}

// A name below the folder: no drive, no leading "\", no ".." part, no empty part. The bytes
// ":", "\" and "." are tested as characters, so a double-byte name stays whole.
bool SafeName(const char* name) {
    if (!name[0] || name[0] == '\\')
        return false;
    const char* part = name;
    for (const char* p = name;; p = CharNextA(p)) {
        if (*p == ':')
            return false;
        if (*p == '\\' || *p == 0) {
            const int length = static_cast<int>(p - part);
            if (length == 0 || (length == 2 && part[0] == '.' && part[1] == '.') ||
                (length == 1 && part[0] == '.'))
                return false;
            if (*p == 0)
                return true;
            part = p + 1;
        }
    }
}

bool JoinInFolder(const char* name, char* path) {
    const int folder = lstrlenA(g_folder);
    if (folder + 1 + lstrlenA(name) >= MAX_PATH)
        return false;
    lstrcpyA(path, g_folder);
    path[folder] = '\\';
    lstrcpyA(path + folder + 1, name);
    return true;
}

// Makes the folders of `path` below the extraction folder.
bool MakeFoldersOf(char* path) {
    const int folder = lstrlenA(g_folder);
    for (char* p = path + folder + 1; *p; p = CharNextA(p)) {
        if (*p != '\\')
            continue;
        *p = 0;
        const bool made = CreateDirectoryA(path, nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
        *p = '\\';
        if (!made)
            return false;
    }
    return true;
}

// One file being extracted: its stored bytes still to read from the image, and what was written.
struct Extraction {
    HANDLE image;
    DWORD storedLeft;
    HANDLE out;
    DWORD written;
    DWORD crc;
};

DWORD ReadStored(void* context, unsigned char* buffer, DWORD size) {
    Extraction& x = *static_cast<Extraction*>(context);
    const DWORD part = x.storedLeft < size ? x.storedLeft : size;
    if (part == 0 || !ReadExactly(x.image, buffer, part))
        return 0;
    x.storedLeft -= part;
    return part;
}

bool WriteResult(void* context, const unsigned char* bytes, DWORD size) {
    Extraction& x = *static_cast<Extraction*>(context);
    DWORD put = 0;
    if (!WriteFile(x.out, bytes, size, &put, nullptr) || put != size)
        return false;
    x.crc = Crc32(x.crc, bytes, size);
    x.written += size;
    return true;
}

// Inflates `stored` bytes at the image's current position into `path`, checking the result's
// size and CRC-32.
bool ExtractOne(HANDLE image, DWORD stored, DWORD size, DWORD crc, const char* path) {
    KernelHandle out(
        CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!out.IsOpen())
        return false;
    Extraction x = {image, stored, out.Get(), 0, 0};
    return InflateStream(ReadStored, WriteResult, &x, g_in, BlockSize, g_window) &&
           x.storedLeft == 0 && x.written == size && x.crc == crc;
}

// Deletes the folder's tree now (false: something is still there), or, `atRestart`, leaves what
// is there to the restart (false: something could not be left to it).
bool RemoveTree(const char* folder, bool atRestart);

bool RemoveAtRestart(const char* path) {
    if (!(GetVersion() & 0x80000000u))
        return MoveFileExA(path, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT) != FALSE;
    // The Windows 95 family: "NUL=<short path>" in WININIT.INI's [rename] section deletes the
    // file before Windows starts (a folder stays, empty). The section takes any number of
    // equal keys, which the profile calls would merge: the line is written into the file itself.
    char shortPath[MAX_PATH];
    if (!GetShortPathNameA(path, shortPath, MAX_PATH))
        return false;
    if (GetFileAttributesA(path) & FILE_ATTRIBUTE_DIRECTORY)
        return false;
    char ini[MAX_PATH];
    const UINT length = GetWindowsDirectoryA(ini, MAX_PATH - 13);
    if (length == 0 || length >= MAX_PATH - 13)
        return false;
    lstrcpyA(ini + length, ini[length - 1] == '\\' ? "WININIT.INI" : "\\WININIT.INI");
    KernelHandle file(CreateFileA(ini, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsOpen())
        return false;
    const DWORD size = GetFileSize(file.Get(), nullptr);
    if (size == 0xFFFFFFFFu || size > BlockSize / 2 - 1)
        return false;
    char* text = g_text;
    if (size && (!SeekTo(file.Get(), 0) || !ReadExactly(file.Get(), text, size)))
        return false;
    text[size] = 0;
    char line[MAX_PATH + 8];
    wsprintfA(line, "NUL=%s\r\n", shortPath);
    // After the section's header line, or a new section at the end.
    DWORD at = size;
    bool header = false;
    for (DWORD i = 0; i + 8 <= size; ++i)
        if ((i == 0 || text[i - 1] == '\n') &&
            CompareStringA(LOCALE_SYSTEM_DEFAULT, NORM_IGNORECASE, text + i, 8, "[rename]", 8) ==
                CSTR_EQUAL) {
            at = i + 8;
            while (at < size && text[at] != '\n')
                ++at;
            if (at < size)
                ++at;
            header = true;
            break;
        }
    char* rest = g_text + size + 1;
    const DWORD restSize = size - at;
    CopyMemory(rest, text + at, restSize);
    DWORD put = 0;
    if (!SeekTo(file.Get(), at))
        return false;
    if (!header) {
        const char* section =
            (size && text[size - 1] != '\n') ? "\r\n[rename]\r\n" : "[rename]\r\n";
        if (!WriteFile(file.Get(), section, lstrlenA(section), &put, nullptr))
            return false;
    }
    return WriteFile(file.Get(), line, lstrlenA(line), &put, nullptr) &&
           WriteFile(file.Get(), rest, restSize, &put, nullptr) && put == restSize;
}

bool RemoveTree(const char* folder, bool atRestart) {
    char pattern[MAX_PATH];
    if (lstrlenA(folder) + 4 >= MAX_PATH)
        return false;
    wsprintfA(pattern, "%s\\*.*", folder);
    bool ok = true;
    WIN32_FIND_DATAA found;
    {
        FindHandle find(FindFirstFileA(pattern, &found));
        if (find.IsOpen()) {
            do {
                if (!lstrcmpA(found.cFileName, ".") || !lstrcmpA(found.cFileName, ".."))
                    continue;
                char path[MAX_PATH];
                if (lstrlenA(folder) + 1 + lstrlenA(found.cFileName) >= MAX_PATH) {
                    ok = false;
                    continue;
                }
                wsprintfA(path, "%s\\%s", folder, found.cFileName);
                if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                    ok = RemoveTree(path, atRestart) && ok;
                else if (atRestart)
                    ok = RemoveAtRestart(path) && ok;
                else
                    ok = DeleteFileA(path) && ok;
            } while (FindNextFileA(find.Get(), &found));
        }
    }
    if (!atRestart)
        return RemoveDirectoryA(folder) && ok;
    // A folder is removed at the restart only on the NT family; on the other it stays, empty.
    return RemoveAtRestart(folder) && ok;
}

// Whether replacements wait for the restart: the NT family's pending renames, the other
// family's WININIT.INI with a [rename] section that holds a line.
bool RestartPending() {
    if (!(GetVersion() & 0x80000000u)) {
        HKEY opened = nullptr;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Control\\Session Manager",
                          0, KEY_QUERY_VALUE, &opened) != ERROR_SUCCESS)
            return false;
        RegKey key(opened);
        DWORD size = 0;
        return RegQueryValueExA(key.Get(), "PendingFileRenameOperations", nullptr, nullptr, nullptr,
                                &size) == ERROR_SUCCESS &&
               size > 2;
    }
    char section[64];
    return GetPrivateProfileSectionA("rename", section, sizeof section, "wininit.ini") > 0;
}

// The command line after the program's own name.
const char* HandedOn() {
    const char* p = GetCommandLineA();
    if (*p == '"') {
        ++p;
        while (*p && *p != '"')
            p = CharNextA(p);
        if (*p)
            ++p;
    } else {
        while (*p && *p != ' ' && *p != '\t')
            p = CharNextA(p);
    }
    while (*p == ' ' || *p == '\t')
        ++p;
    return p;
}

bool HasSwitch(const char* line, const char* word) {
    const int length = lstrlenA(word);
    for (const char* p = line; *p; p = CharNextA(p))
        if (CompareStringA(LOCALE_SYSTEM_DEFAULT, NORM_IGNORECASE, p, length, word, length) ==
            CSTR_EQUAL)
            return true;
    return false;
}

// A fresh folder in the temporary folder.
bool MakeFolder() {
    char temp[MAX_PATH];
    const DWORD length = GetTempPathA(MAX_PATH - 16, temp);
    if (length == 0 || length >= MAX_PATH - 16)
        return false;
    if (temp[length - 1] != '\\')
        lstrcatA(temp, "\\");
    const DWORD start = GetTickCount() & 0xFFFF;
    for (DWORD n = 0; n < 0x10000; ++n) {
        wsprintfA(g_folder, "%sTVS%04lX.TMP", temp, (start + n) & 0xFFFF);
        if (CreateDirectoryA(g_folder, nullptr))
            return true;
        if (GetLastError() != ERROR_ALREADY_EXISTS)
            return false;
    }
    return false;
}

int Extract(HANDLE image, DWORD first, DWORD count) {
    if (!SeekTo(image, first))
        return ExitNotExtracted;
    for (DWORD i = 0; i < count; ++i) {
        unsigned char head[2];
        char name[MAX_PATH];
        unsigned char numbers[12];
        if (!ReadExactly(image, head, 2))
            return ExitNotExtracted;
        const DWORD length = head[0] | (head[1] << 8);
        if (length == 0 || length >= MAX_PATH || !ReadExactly(image, name, length) ||
            !ReadExactly(image, numbers, 12))
            return ExitNotExtracted;
        name[length] = 0;
        char path[MAX_PATH];
        if (!SafeName(name) || !JoinInFolder(name, path) || !MakeFoldersOf(path) ||
            !ExtractOne(image, Le32(numbers + 8), Le32(numbers), Le32(numbers + 4), path)) {
            Tell("The setup files could not be extracted: ", name);
            return ExitNotExtracted;
        }
    }
    return 0;
}

// Starts the loader in the folder and waits for it, handling this thread's messages meanwhile.
int RunLoader(DWORD& code) {
    char program[MAX_PATH];
    if (!JoinInFolder("Quenda.exe", program))
        return ExitLoaderNotStarted;
    const char* rest = HandedOn();
    // The longest command line the system takes, and the program's name.
    char* line = g_text;
    static_assert(MAX_PATH + 4 + 32768 < BlockSize, "the command line's buffer");
    if (lstrlenA(program) + lstrlenA(rest) + 4 >= static_cast<int>(BlockSize))
        return ExitLoaderNotStarted;
    wsprintfA(line, "\"%s\"%s%s", program, *rest ? " " : "", rest);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started = {};
    if (!CreateProcessA(program, line, nullptr, nullptr, FALSE, 0, nullptr, g_folder, &startup,
                        &started))
        return ExitLoaderNotStarted;
    KernelHandle process(started.hProcess);
    KernelHandle thread(started.hThread);
    for (;;) {
        const DWORD woke =
            MsgWaitForMultipleObjects(1, &started.hProcess, FALSE, INFINITE, QS_ALLINPUT);
        if (woke != WAIT_OBJECT_0 + 1)
            break;
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }
    if (!GetExitCodeProcess(process.Get(), &code))
        code = ExitLoaderNotStarted;
    return 0;
}

int Run() {
    g_in = static_cast<unsigned char*>(
        VirtualAlloc(nullptr, 2 * BlockSize + 32768, MEM_COMMIT, PAGE_READWRITE));
    if (!g_in)
        return ExitNotExtracted;
    g_text = reinterpret_cast<char*>(g_in + BlockSize);
    g_window = g_in + 2 * BlockSize;
    g_quiet = HasSwitch(HandedOn(), "/batch") || HasSwitch(HandedOn(), "/silent");
    char self[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, self, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return ExitDamaged;
    KernelHandle image(CreateFileA(self, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!image.IsOpen()) {
        Tell("The setup program cannot read itself: ", self);
        return ExitDamaged;
    }
    const DWORD size = GetFileSize(image.Get(), nullptr);
    unsigned char trailer[TrailerSize];
    DWORD crc = 0;
    if (size == 0xFFFFFFFFu || size < TrailerSize || !SeekTo(image.Get(), size - TrailerSize) ||
        !ReadExactly(image.Get(), trailer, TrailerSize) ||
        CompareStringA(LOCALE_SYSTEM_DEFAULT, 0, reinterpret_cast<const char*>(trailer), 8,
                       Signature, 8) != CSTR_EQUAL ||
        Le32(trailer + 8) >= size - TrailerSize || !ImageCrc(image.Get(), size - 4, crc) ||
        crc != Le32(trailer + 20)) {
        Tell("The setup files are damaged: download them again.\n\n", self);
        return ExitDamaged;
    }
    const DWORD needed = Le32(trailer + 16);
    char temp[MAX_PATH];
    if (!GetTempPathA(MAX_PATH, temp) || FreeBytes(temp) < needed + RoomToSpare) {
        char text[160];
        wsprintfA(text,
                  "There is not enough room for the setup files in the temporary folder "
                  "(%lu KB are needed): ",
                  (needed + RoomToSpare + 1023) / 1024);
        Tell(text, temp);
        return ExitNoRoom;
    }
    if (!MakeFolder()) {
        Tell("No folder for the setup files could be made in ", temp);
        return ExitNotExtracted;
    }
    int result = Extract(image.Get(), Le32(trailer + 8), Le32(trailer + 12));
    (void)image.Reset();
    DWORD code = 0;
    if (result == 0) {
        result = RunLoader(code);
        if (result != 0)
            Tell("The setup program could not be started: ", g_folder);
    }
    // The loader's images may stay mapped for a moment after it has ended: the folder is tried
    // for a few seconds before what is left of it goes to the restart.
    bool removed = false;
    if (!(result == 0 && RestartPending()))
        for (int tries = 0; tries < 50 && !(removed = RemoveTree(g_folder, false)); ++tries)
            Sleep(200);
    if (!removed)
        (void)RemoveTree(g_folder, true);
    return result == 0 ? static_cast<int>(code) : result;
}

} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    return Run();
}
