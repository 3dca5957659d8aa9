#include "setup/core/shelllink.h"

#include <windows.h>
#include <objbase.h>
#include <objidl.h>
#include <shlguid.h>
#include <shobjidl.h>

#include "setup/core/fileutil.h"
#include "setup/core/path.h"
#include "setup/core/text.h"

bool CreateShellLink(std::string folder, std::string title, std::string targetAndArguments,
                     std::string workDir, std::string iconPath, int iconIndex) {
    HRESULT init = CoInitialize(nullptr);
    CreateDirectoryTree(folder);
    std::string linkFile = JoinPath(folder, title + ".LNK", true);

    bool ok = false;
    IShellLinkA* link = nullptr;
    IPersistFile* file = nullptr;
    if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                   reinterpret_cast<void**>(&link))) &&
        SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
        const std::string mark(1, ShellLinkArgumentMark);
        std::string path = TextBefore(targetAndArguments, mark);
        std::string arguments = TextAfter(targetAndArguments, mark);

        // Every property is set even after one has failed; any failure fails the whole.
        ok = SUCCEEDED(link->SetDescription(title.c_str()));
        ok = SUCCEEDED(link->SetWorkingDirectory(workDir.c_str())) && ok;
        ok = SUCCEEDED(link->SetArguments(arguments.c_str())) && ok;
        ok = SUCCEEDED(link->SetPath(path.c_str())) && ok;

        if (iconPath.empty()) {
            if (ContainsText(path, ".exe", false))
                ok = SUCCEEDED(link->SetIconLocation(path.c_str(), iconIndex)) && ok;
        } else if (ContainsText(iconPath, ".ico", false)) {
            ok = SUCCEEDED(link->SetIconLocation(iconPath.c_str(), 0)) && ok;
        } else if (ContainsText(iconPath, ".exe", false) || ContainsText(iconPath, ".dll", false)) {
            ok = SUCCEEDED(link->SetIconLocation(iconPath.c_str(), iconIndex)) && ok;
        }

        // A name that does not fit the buffer is not saved under a cut-off name.
        WCHAR wideName[MAX_PATH];
        bool converted =
            MultiByteToWideChar(CP_ACP, 0, linkFile.c_str(), -1, wideName, MAX_PATH) != 0;
        ok = converted && SUCCEEDED(file->Save(wideName, TRUE)) && ok;
    }
    if (file)
        file->Release();
    if (link)
        link->Release();
    if (SUCCEEDED(init))
        CoUninitialize();
    return ok;
}
