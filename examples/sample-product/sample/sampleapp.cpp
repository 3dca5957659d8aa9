// The sample product's program. Run plainly, it does what the installed product does on its first
// run: it creates its data file beside itself and records the run under the product's key (the
// run-time file and value that the installation lists for removal).
//   sampleapp                      first run
//   sampleapp /record <name> <text> records the text under the product's "Setup" key (the
//                                  programs the installation and the removal run)
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "setup/core/handles.h"

namespace {

const char* const ProductKey = "Software\\Tarvo Sample";

bool SetText(const std::string& keyPath, const std::string& name, const std::string& text) {
    RegKey key;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, keyPath.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        key.Receive(), nullptr) != ERROR_SUCCESS)
        return false;
    return RegSetValueExA(key.Get(), name.c_str(), 0, REG_SZ,
                          reinterpret_cast<const BYTE*>(text.c_str()),
                          static_cast<DWORD>(text.size() + 1)) == ERROR_SUCCESS;
}

} // namespace

int main(int argc, char** argv) {
    if (argc >= 3 && std::strcmp(argv[1], "/record") == 0) {
        std::string text;
        for (int i = 3; i < argc; ++i)
            text += (i > 3 ? " " : "") + std::string(argv[i]);
        return SetText(std::string(ProductKey) + "\\Setup", argv[2], text) ? 0 : 1;
    }
    char self[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string folder(self, n);
    folder = folder.substr(0, folder.find_last_of('\\'));
    KernelHandle data(CreateFileA((folder + "\\sample.dat").c_str(), GENERIC_WRITE, 0, nullptr,
                                  CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    const char text[] = "Tarvo Sample data\r\n";
    DWORD written = 0;
    if (!data || !WriteFile(data.Get(), text, sizeof text - 1, &written, nullptr))
        return 1;
    if (!SetText(std::string(ProductKey) + "\\Runtime", "LastRun", "first run"))
        return 1;
    std::printf("sample product ran in %s\n", folder.c_str());
    return 0;
}
