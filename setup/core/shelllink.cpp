#include "setup/core/shelllink.h"

#include <windows.h>
#include <objbase.h>
#include <objidl.h>
#include <shlguid.h>
#include <shobjidl.h>

#include "setup/core/fileutil.h"
#include "setup/core/handles.h"
#include "setup/core/path.h"
#include "setup/core/text.h"

namespace {

// Where the target path ends: the first mark byte that starts a character of its own. Under a
// double-byte code page the mark byte is also a lead byte and pairs with the byte after it; it is
// the mark when that byte cannot be a trail byte (below 0x40 in every double-byte code page, such
// as the blank written after the mark) or when the text ends there. A mark byte that leads a real
// double-byte character of the path is part of the path.
std::size_t ArgumentMarkIn(const std::string& text) {
    for (std::size_t pos = 0; pos < text.size();) {
        const std::size_t length = CharLengthAt(text, pos);
        if (text[pos] == ShellLinkArgumentMark &&
            (length == 1 || static_cast<unsigned char>(text[pos + 1]) < 0x40))
            return pos;
        pos += length;
    }
    return TextNotFound;
}

} // namespace

bool CreateShellLink(std::string folder, std::string title, std::string targetAndArguments,
                     std::string workDir, std::string iconPath, int iconIndex) {
    // Declared first: COM stays initialised until both interfaces are released.
    const ComScope com;
    (void)CreateDirectoryTree(folder); // a missing folder fails the save below
    std::string linkFile = JoinPath(folder, title + ".LNK", true);

    ComPtr<IShellLinkA> link;
    ComPtr<IPersistFile> file;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                link.Receive())) ||
        FAILED(link->QueryInterface(IID_IPersistFile, file.Receive())))
        return false;

    const std::size_t mark = ArgumentMarkIn(targetAndArguments);
    const std::string path = targetAndArguments.substr(0, mark);
    const std::string arguments =
        mark == TextNotFound ? std::string() : targetAndArguments.substr(mark + 1);

    // Every property is set even after one has failed; any failure fails the whole.
    bool ok = SUCCEEDED(link->SetDescription(title.c_str()));
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
    bool converted = MultiByteToWideChar(CP_ACP, 0, linkFile.c_str(), -1, wideName, MAX_PATH) != 0;
    return converted && SUCCEEDED(file->Save(wideName, TRUE)) && ok;
}
