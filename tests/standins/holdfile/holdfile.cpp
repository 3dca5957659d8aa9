// holdfile: holds one file open, with the sharing a test chooses, for as long as the test needs.
//
//   holdfile.exe <path> [--share=none|read|write|readwrite] [--access=read|write|readwrite]
//                [--create] [--ready=<file>] [--release=<file>] [--seconds=<n>]
//
//   <path>        the file to hold (quote it when it holds blanks)
//   --share       what other openers may do while it is held (default none: every other open,
//                 copy onto it or deletion fails with the sharing violation, error 32)
//   --access      how the holder opens it (default read, which also works on read-only files)
//   --create      create the file when it is missing (default: it must exist)
//   --ready       written once the file is held ("held"), or when it could not be opened
//                 ("failed <error>"); wait for this file before going on
//   --release     the holder lets go and ends as soon as this file exists (polled every 10 ms)
//   --seconds     the longest hold (default 600); the holder then lets go and ends
//
// Exit codes: 0 released (by --release, by the time limit), 2 bad command line, 3 the file could
// not be opened. Ending the process (TerminateProcess, or a Wine server shutdown) also releases
// the file. In tests, testsupport::FileHolder (tests/support/file_holder.h) starts and ends it.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "setup/core/handles.h"

namespace {

bool WriteText(const std::string& path, const std::string& text) {
    // Written under another name first and then moved, so a waiter never reads half a file.
    const std::string partial = path + ".part";
    KernelHandle file(CreateFileA(partial.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    const bool ok =
        file.IsOpen() &&
        WriteFile(file.Get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
        written == text.size() && file.Reset();
    return ok && MoveFileExA(partial.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING);
}

bool Exists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool TakeOption(const std::string& arg, const char* name, std::string& value) {
    const std::size_t n = std::strlen(name);
    if (arg.compare(0, n, name) != 0)
        return false;
    value = arg.substr(n);
    return true;
}

} // namespace

int main(int argc, char** argv) {
    std::string path, share = "none", access = "read", ready, release, seconds = "600";
    bool create = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        std::string value;
        if (TakeOption(arg, "--share=", share) || TakeOption(arg, "--access=", access) ||
            TakeOption(arg, "--ready=", ready) || TakeOption(arg, "--release=", release) ||
            TakeOption(arg, "--seconds=", seconds))
            continue;
        if (arg == "--create")
            create = true;
        else if (path.empty() && arg.compare(0, 2, "--") != 0)
            path = arg;
        else {
            std::fprintf(stderr, "holdfile: unknown argument %s\n", arg.c_str());
            return 2;
        }
    }
    DWORD shareMode = 0;
    if (share == "read")
        shareMode = FILE_SHARE_READ;
    else if (share == "write")
        shareMode = FILE_SHARE_WRITE;
    else if (share == "readwrite")
        shareMode = FILE_SHARE_READ | FILE_SHARE_WRITE;
    else if (share != "none")
        return 2;
    DWORD accessMode = 0;
    if (access == "read")
        accessMode = GENERIC_READ;
    else if (access == "write")
        accessMode = GENERIC_WRITE;
    else if (access == "readwrite")
        accessMode = GENERIC_READ | GENERIC_WRITE;
    else
        return 2;
    if (path.empty())
        return 2;

    KernelHandle file(CreateFileA(path.c_str(), accessMode, shareMode, nullptr,
                                  create ? OPEN_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                  nullptr));
    if (!file.IsOpen()) {
        const DWORD error = GetLastError();
        if (!ready.empty())
            WriteText(ready, "failed " + std::to_string(error));
        return 3;
    }
    if (!ready.empty())
        WriteText(ready, "held");
    const DWORD limit = static_cast<DWORD>(std::strtoul(seconds.c_str(), nullptr, 10)) * 1000;
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < limit) {
        if (!release.empty() && Exists(release))
            break;
        Sleep(10);
    }
    return 0;
}
