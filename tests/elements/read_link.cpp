// Test helper: reads a shell link file through the shell's link object, in a process of its
// own, and writes what it holds into a text file, one "name=value" line each:
//   read_link.exe <link file> <output file>
// Lines: path, arguments, workdir, description, icon (location), iconindex.
// Exit code 0 when the link could be loaded.
#include <windows.h>
#include <objbase.h>
#include <objidl.h>
#include <shlguid.h>
#include <shobjidl.h>

#include <cstdio>
#include <string>

#include "setup/core/handles.h"

int main(int argc, char** argv) {
    if (argc < 3)
        return 2;
    ComScope com;
    if (!com.Succeeded())
        return 3;
    int rc = 4;
    ComPtr<IShellLinkA> link;
    ComPtr<IPersistFile> file;
    WCHAR wide[MAX_PATH];
    if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                   link.Receive())) &&
        SUCCEEDED(link->QueryInterface(IID_IPersistFile, file.Receive())) &&
        MultiByteToWideChar(CP_ACP, 0, argv[1], -1, wide, MAX_PATH) &&
        SUCCEEDED(file->Load(wide, STGM_READ))) {
        char path[MAX_PATH] = "", arguments[1024] = "", workDir[MAX_PATH] = "",
             description[1024] = "", icon[MAX_PATH] = "";
        int iconIndex = -1;
        link->GetPath(path, MAX_PATH, nullptr, SLGP_RAWPATH);
        link->GetArguments(arguments, sizeof arguments);
        link->GetWorkingDirectory(workDir, MAX_PATH);
        link->GetDescription(description, sizeof description);
        link->GetIconLocation(icon, MAX_PATH, &iconIndex);
        if (StdioFile out{std::fopen(argv[2], "wb")}) {
            std::fprintf(out.Get(),
                         "path=%s\narguments=%s\nworkdir=%s\ndescription=%s\nicon=%s\n"
                         "iconindex=%d\n",
                         path, arguments, workDir, description, icon, iconIndex);
            rc = out.Reset() ? 0 : rc;
        }
    }
    return rc;
}
