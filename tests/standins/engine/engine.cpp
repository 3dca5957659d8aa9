// Stand-in for the setup engine (outside the system), built as "ravell32.dll": a program whose
// name ends in .dll, as the real engine's does; it starts as a program all the same.
//
// Contract, for the tests that start it (copy it into a folder the test owns first, since the
// files below are written beside the program):
//   - ravell32.cmdline.txt: the command line it received (GetCommandLineA, byte for byte, no
//     line end), overwritten at every start.
//   - ravell32.log: one line "start <process id>" appended per start.
//   - /standin-stay=<ms> anywhere in the command line: it stays alive that long (no windows,
//     no message loop) before it ends.
//   - ravell32.ended.log: one line "end <process id>" appended when it ends.
//   - Its exit code is 0.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

std::string ProgramFolder() {
    char path[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path, n);
    std::size_t slash = folder.find_last_of('\\');
    return slash == std::string::npos ? std::string() : folder.substr(0, slash);
}

void WriteFile(const std::string& path, const char* mode, const std::string& bytes) {
    if (FILE* f = std::fopen(path.c_str(), mode)) {
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    }
}

} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    const std::string folder = ProgramFolder();
    const std::string commandLine = GetCommandLineA();
    const std::string pid = std::to_string(GetCurrentProcessId());
    WriteFile(folder + "\\ravell32.cmdline.txt", "wb", commandLine);
    WriteFile(folder + "\\ravell32.log", "ab", "start " + pid + "\n");

    const char* stay = std::strstr(commandLine.c_str(), "/standin-stay=");
    if (stay)
        Sleep(static_cast<DWORD>(std::strtoul(stay + std::strlen("/standin-stay="), nullptr, 10)));

    WriteFile(folder + "\\ravell32.ended.log", "ab", "end " + pid + "\n");
    return 0;
}
