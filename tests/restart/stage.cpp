#include "restart/stage.h"

#include <windows.h>

#include <algorithm>

#include "setup/core/handles.h"
#include "support/fixtures.h"

namespace stage {

std::string CaseFolder(const std::string& name) {
    return "C:\\restart-stage\\" + name;
}

std::string FreshCaseFolder(const std::string& name) {
    const std::string folder = CaseFolder(name);
    testsupport::RemoveTree(folder);
    CreateDirectoryA("C:\\restart-stage", nullptr);
    CreateDirectoryA(folder.c_str(), nullptr);
    return folder;
}

std::string ReadAll(const std::string& path, bool* ok) {
    KernelHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, 0, nullptr));
    if (ok)
        *ok = file.IsOpen();
    if (!file.IsOpen())
        return {};
    std::string bytes;
    char block[4096];
    DWORD got = 0;
    while (ReadFile(file.Get(), block, sizeof block, &got, nullptr) && got)
        bytes.append(block, got);
    return bytes;
}

bool WriteAll(const std::string& path, const std::string& bytes) {
    return testsupport::WriteFileBytes(path, bytes);
}

bool Exists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string WindowsFolder() {
    char folder[MAX_PATH];
    const UINT n = GetWindowsDirectoryA(folder, MAX_PATH);
    return n && n < MAX_PATH ? std::string(folder, n) : std::string("C:\\windows");
}

unsigned long PendingRenameBytes() {
    RegKey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Control\\Session Manager", 0,
                      KEY_QUERY_VALUE, key.Receive()) != ERROR_SUCCESS)
        return 0;
    DWORD size = 0;
    if (RegQueryValueExA(key.Get(), "PendingFileRenameOperations", nullptr, nullptr, nullptr,
                         &size) != ERROR_SUCCESS)
        size = 0;
    return size;
}

bool Win9xRun() {
    return testsupport::PlatformId() == 1;
}

} // namespace stage
