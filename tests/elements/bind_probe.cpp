// Binds one image through the file element after putting a folder on the DLL search path, and
// exits with BindImage's status:
//   bind_probe <search folder> <image folder> <image name>
// With "byname" as a fourth argument it instead loads the image helper by name, as a binding
// through the search path would, and exits 0 when that bound the image, 2 when not.
// file_test runs it with Wine told (for this program only) to prefer a library found on the
// search path over its own, so that the library in the search folder is what a load by name
// gets.
#include <windows.h>

#include <string>

#include "setup/elements/file.h"

int main(int argc, char** argv) {
    if (argc < 4)
        return 99;
    SetDllDirectoryA(argv[1]);
    const std::string image = std::string(argv[2]) + "\\" + argv[3];
    if (argc > 4) {
        HMODULE helper = LoadLibraryA("IMAGEHLP.DLL");
        typedef BOOL(WINAPI * BindFunction)(DWORD, PCSTR, PCSTR, PCSTR, FARPROC);
        const auto bind = helper ? reinterpret_cast<BindFunction>(reinterpret_cast<void*>(
                                       GetProcAddress(helper, "BindImageEx")))
                                 : nullptr;
        return bind && bind(0, image.c_str(), argv[2], argv[2], nullptr) ? 0 : 2;
    }
    WSetupFile file;
    file.DestDir = argv[2];
    file.DestName = argv[3];
    return file.BindImage();
}
