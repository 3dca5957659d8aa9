// Stand-in for the optional shell-folder library: exports SHGetFolderPathA and answers
// recognisable paths, so tests can tell its answers from the shell's.
//
// Driven by environment variables of the calling process:
//   TARVO_SHFOLDER_ROOT  folder under which the answers lie: "<root>\csidl<n>", where n is the
//                        identifier as asked, flags included (unset: every call fails);
//   TARVO_SHFOLDER_FAIL  comma-separated identifiers (decimal, as asked) that fail;
//   TARVO_SHFOLDER_LOG   file to which each asked identifier is appended, one a line.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

std::string Env(const char* name) {
    char buffer[1024];
    DWORD n = GetEnvironmentVariableA(name, buffer, sizeof buffer);
    return n && n < sizeof buffer ? std::string(buffer, n) : std::string();
}

bool Listed(const std::string& list, int csidl) {
    std::size_t start = 0;
    while (start <= list.size()) {
        std::size_t end = list.find(',', start);
        if (end == std::string::npos)
            end = list.size();
        std::string item = list.substr(start, end - start);
        if (!item.empty() && std::atoi(item.c_str()) == csidl)
            return true;
        start = end + 1;
    }
    return false;
}

} // namespace

extern "C" __declspec(dllexport) HRESULT WINAPI
    SHGetFolderPathA(HWND window, int csidl, HANDLE token, DWORD flags, LPSTR path) {
    std::string log = Env("TARVO_SHFOLDER_LOG");
    if (!log.empty()) {
        if (FILE* f = std::fopen(log.c_str(), "a")) {
            std::fprintf(f, "%d\n", csidl);
            std::fclose(f);
        }
    }
    if (!path)
        return E_INVALIDARG;
    path[0] = 0;
    // The library is always called without a window, without a token and with flags 0.
    if (window || token || flags)
        return E_INVALIDARG;
    std::string root = Env("TARVO_SHFOLDER_ROOT");
    if (root.empty() || Listed(Env("TARVO_SHFOLDER_FAIL"), csidl))
        return E_FAIL;
    std::string answer = root + "\\csidl" + std::to_string(csidl);
    if (answer.size() >= MAX_PATH)
        return E_FAIL;
    std::memcpy(path, answer.c_str(), answer.size() + 1);
    return S_OK;
}
