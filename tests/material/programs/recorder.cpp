// A program that records how it was started, in "<program>.log" beside itself:
//   commandline=<its full command line>
//   folder=<its working folder>
//   showflag=<1 when the start-up information carries a show state, else 0>
//   show=<the show state>
// The log is written under another name first and then renamed, so a test that polls for it
// never reads half of it.
#include <windows.h>

#include <cstdio>
#include <string>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    char module[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, module, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        return 2;
    char folder[MAX_PATH] = {};
    GetCurrentDirectoryA(MAX_PATH, folder);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    GetStartupInfoA(&startup);

    std::string log = std::string(module) + ".log";
    std::string partial = log + ".partial";
    FILE* file = std::fopen(partial.c_str(), "wb");
    if (!file)
        return 3;
    std::fprintf(file, "commandline=%s\nfolder=%s\nshowflag=%d\nshow=%u\n", GetCommandLineA(),
                 folder, (startup.dwFlags & STARTF_USESHOWWINDOW) ? 1 : 0,
                 static_cast<unsigned>(startup.wShowWindow));
    std::fclose(file);
    return MoveFileExA(partial.c_str(), log.c_str(), MOVEFILE_REPLACE_EXISTING) ? 0 : 4;
}
