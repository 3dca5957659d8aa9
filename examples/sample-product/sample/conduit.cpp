// The sample product's conduit modules: each one, registered, takes an entry of the HotSync
// software's conduit table (the first "Application<n>" key whose "Creator" is missing or zero)
// with its creator code and its file name, as HotSync's own registration tool would. One source,
// built once per module and generation: TARVO_CONDUIT_FILE (the module's file name),
// TARVO_CONDUIT_CREATOR (its four-letter creator code) and TARVO_CONDUIT_GENERATION (1: the table
// of HotSync 1.x, 2: that of 2.x).
//
// An entry for the module's file name that is already there (left by an earlier installation of
// the product) is kept as it is and is not the module's to remove: an entry the module made
// carries "Owner" = "Tarvo Sample", and only such an entry is removed by DllUnregisterServer, so
// that a setup which rolls the registration back leaves the earlier entry alone.
#include <windows.h>

#include <string>

#include "setup/core/handles.h"
#include "setup/core/registry.h"

namespace {

#if TARVO_CONDUIT_GENERATION == 1
const char* const TableKey = "Software\\Palm Computing\\Pilot Desktop";
#else
const char* const TableKey = "Software\\U.S. Robotics\\Pilot Desktop";
#endif
const char* const ModuleFile = TARVO_CONDUIT_FILE;
const char* const OwnerName = "Tarvo Sample";

std::string EntryKey(int n) {
    return std::string(TableKey) + "\\Application" + std::to_string(n);
}

DWORD Creator(const RegKey& key) {
    DWORD value = 0, type = 0, size = sizeof value;
    if (RegQueryValueExA(key.Get(), "Creator", nullptr, &type, reinterpret_cast<BYTE*>(&value),
                         &size) != ERROR_SUCCESS ||
        type != REG_DWORD)
        return 0;
    return value;
}

std::string Text(const RegKey& key, const char* name) {
    char buffer[MAX_PATH + 1] = {};
    DWORD type = 0, size = MAX_PATH;
    if (RegQueryValueExA(key.Get(), name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) !=
            ERROR_SUCCESS ||
        type != REG_SZ)
        return "";
    return buffer;
}

bool SetText(const RegKey& key, const char* name, const std::string& text) {
    return RegSetValueExA(key.Get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                          static_cast<DWORD>(text.size() + 1)) == ERROR_SUCCESS;
}

// The table's entries in use, and the number of the module's own (-1: none).
int Scan(int& own) {
    own = -1;
    int n = 0;
    for (;; ++n) {
        RegKey key;
        if (OpenRegKey(HKEY_CURRENT_USER, EntryKey(n), KEY_READ, key) != ERROR_SUCCESS ||
            Creator(key) == 0)
            break;
        if (own < 0 && Text(key, "Conduit") == ModuleFile)
            own = n;
    }
    return n;
}

} // namespace

extern "C" __declspec(dllexport) HRESULT __stdcall DllRegisterServer() {
    int own = -1;
    const int used = Scan(own);
    if (own >= 0)
        return S_OK;
    RegKey key;
    if (CreateRegKey(HKEY_CURRENT_USER, EntryKey(used), KEY_ALL_ACCESS, key) != ERROR_SUCCESS)
        return E_FAIL;
    const DWORD creator = TARVO_CONDUIT_CREATOR;
    const bool written =
        SetText(key, "Conduit", ModuleFile) && SetText(key, "Owner", OwnerName) &&
        RegSetValueExA(key.Get(), "Creator", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&creator),
                       sizeof creator) == ERROR_SUCCESS;
    if (written)
        return S_OK;
    key.Reset();
    (void)RegDeleteKeyA(HKEY_CURRENT_USER, EntryKey(used).c_str());
    return E_FAIL;
}

extern "C" __declspec(dllexport) HRESULT __stdcall DllUnregisterServer() {
    int own = -1;
    (void)Scan(own);
    if (own < 0)
        return S_OK;
    {
        RegKey key;
        if (OpenRegKey(HKEY_CURRENT_USER, EntryKey(own), KEY_READ, key) != ERROR_SUCCESS ||
            Text(key, "Owner") != OwnerName)
            return S_OK;
    }
    const LONG deleted = RegDeleteKeyA(HKEY_CURRENT_USER, EntryKey(own).c_str());
    return deleted == ERROR_SUCCESS || deleted == ERROR_FILE_NOT_FOUND ? S_OK : E_FAIL;
}
