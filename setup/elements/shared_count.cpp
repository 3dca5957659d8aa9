#include "setup/elements/shared_count.h"

#include <windows.h>

#include "setup/core/fileutil.h"
#include "setup/core/handles.h"
#include "setup/core/path.h"
#include "setup/core/registry.h"

namespace {

bool SharedCountExists(const std::string& name) {
    RegKey key;
    if (OpenRegKey(HKEY_LOCAL_MACHINE, SharedDllsKey, KEY_QUERY_VALUE, key) != ERROR_SUCCESS)
        return false;
    return RegQueryValueExA(key.Get(), name.c_str(), nullptr, nullptr, nullptr, nullptr) ==
           ERROR_SUCCESS;
}

} // namespace

bool CountsAsShared(int fileFlags) {
    return (fileFlags & SharedFileFlags) != 0;
}

bool AdjustSharedCount(const std::string& path, long delta) {
    RegKey key;
    if (CreateRegKey(HKEY_LOCAL_MACHINE, SharedDllsKey, KEY_ALL_ACCESS, key) != ERROR_SUCCESS)
        return false;
    DWORD count = 0;
    if (!ReadRegDword(key.Get(), path, count))
        count = 0;
    const long long sum = static_cast<long long>(count) + delta;
    if (sum < 0 || sum > 0xFFFFFFFFLL)
        return false;
    return WriteRegDword(key.Get(), path, static_cast<DWORD>(sum));
}

bool ReadSharedCount(const std::string& name, unsigned long& count) {
    RegKey key;
    if (OpenRegKey(HKEY_LOCAL_MACHINE, SharedDllsKey, KEY_QUERY_VALUE, key) != ERROR_SUCCESS)
        return false;
    DWORD value = 0;
    if (!ReadRegDword(key.Get(), name, value))
        return false;
    count = value;
    return true;
}

bool RemoveUnusedSharedCount(const std::string& name) {
    RegKey key;
    if (OpenRegKey(HKEY_LOCAL_MACHINE, SharedDllsKey, KEY_QUERY_VALUE | KEY_SET_VALUE, key) !=
        ERROR_SUCCESS)
        return true;
    DWORD count = 0;
    if (!ReadRegDword(key.Get(), name, count))
        return true;
    if (count != 0)
        return false;
    const LONG result = RegDeleteValueA(key.Get(), name.c_str());
    return result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND;
}

std::string SharedCountNameOf(const std::string& path) {
    if (SharedCountExists(path))
        return path;
    const std::string candidates[] = {
        ShortPathOf(path),
        ComputeShortPath(ParentOf(path), FileNameOf(path)),
    };
    for (const std::string& candidate : candidates) {
        if (!candidate.empty() && SharedCountExists(candidate))
            return candidate;
    }
    return path;
}
