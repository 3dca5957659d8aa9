// Registry utilities. Values are named by a root key and one path text: the text before the last
// backslash is the key path, the text after it the value name. Keys are opened (or created) with
// full access for one operation and closed again before returning.
//
// Key deletion differs between the platform families: the Windows 95/98 family deletes a key
// with its whole subtree in one call, the NT family refuses a key that still has subkeys, so
// there the subtree is enumerated and deleted depth first. DeleteRegKeyStatus reports which case
// applied:
//
//   code  family          case
//   0     other platform  deleted
//   11    other platform  deletion failed
//   1     Windows 95/98   with subkeys: deleted
//   7     Windows 95/98   with subkeys: deletion failed
//   2     Windows 95/98   without subkeys: refused, the key has subkeys (nothing deleted)
//   3     Windows 95/98   without subkeys: deleted
//   8     Windows 95/98   without subkeys: deletion failed
//   4     NT              with subkeys: subkeys and key deleted
//   9     NT              with subkeys: deletion of the key failed
//   5     NT              without subkeys: refused, the key has subkeys (nothing deleted)
//   6     NT              without subkeys: deleted
//   10    NT              without subkeys: deletion failed
//
// Codes below 7 mean that the key is gone or was deliberately left alone.
#include "setup/core/registry.h"

#include <cstring>

#include "setup/core/fileutil.h"
#include "setup/core/handles.h"
#include "setup/core/path.h"

namespace {

// The buffer through which string values are read.
constexpr DWORD StringBufferSize = 255;
// Longest subkey name collected by EnumSubkeyNames (plus its terminating zero).
constexpr DWORD SubkeyNameSize = 260 + 1;

// The key at the path, opened with full access; empty when it cannot be opened.
RegKey OpenKey(HKEY root, const std::string& path) {
    RegKey key;
    (void)OpenRegKey(root, path, KEY_ALL_ACCESS, key); // an empty key tells the failure
    return key;
}

// The key at the path, created with every missing parent when absent; empty on failure.
RegKey CreateKey(HKEY root, const std::string& path) {
    RegKey key;
    (void)CreateRegKey(root, path, KEY_ALL_ACCESS, key); // an empty key tells the failure
    return key;
}

LONG PlatformSubkeyCount(HKEY key, DWORD& subkeys) {
    return RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr,
                            nullptr, nullptr, nullptr, nullptr);
}
Seam<SubkeyCountQuery> g_subkeyCount{&PlatformSubkeyCount};

bool HasKeyName(const std::string& keyPath) {
    return !Trimmed(FileNameOf(keyPath)).empty();
}

// Deletes the key named by the path from its parent.
bool DeleteKeyItself(HKEY root, const std::string& keyPath) {
    if (!HasKeyName(keyPath))
        return false;
    const RegKey parent = OpenKey(root, ParentOf(keyPath));
    if (!parent)
        return false;
    return RegDeleteKeyA(parent.Get(), FileNameOf(keyPath).c_str()) == ERROR_SUCCESS;
}

// The direct subkeys of the key at the path; empty when it cannot be opened.
TextList SubkeysOf(HKEY root, const std::string& keyPath) {
    TextList names;
    // A listing cut short leaves the subkeys it did not name; deleting the key itself then
    // fails, and that is what DeleteRegKeyStatus reports.
    if (const RegKey key = OpenKey(root, keyPath))
        (void)EnumSubkeyNames(key.Get(), names);
    return names;
}

} // namespace

bool ParseRootKeyName(const std::string& name, HKEY& root) {
    static const struct {
        const char* name;
        HKEY key;
    } roots[] = {
        {"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},
        {"HKEY_CURRENT_USER", HKEY_CURRENT_USER},
        {"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
        {"HKEY_USERS", HKEY_USERS},
        {"HKEY_PERFORMANCE_DATA", HKEY_PERFORMANCE_DATA},
        {"HKEY_CURRENT_CONFIG", HKEY_CURRENT_CONFIG},
        {"HKEY_DYN_DATA", HKEY_DYN_DATA},
    };
    const std::string trimmed = Trimmed(name);
    for (const auto& r : roots) {
        if (trimmed == r.name) {
            root = r.key;
            return true;
        }
    }
    root = nullptr;
    return false;
}

LONG OpenRegKey(HKEY root, const std::string& path, REGSAM access, RegKey& key) {
    HKEY h = nullptr;
    const LONG rc = RegOpenKeyExA(root, path.c_str(), 0, access, &h);
    if (rc == ERROR_SUCCESS)
        key.Reset(h);
    return rc;
}

LONG OpenRegKey(const std::string& rootName, const std::string& path, REGSAM access, RegKey& key) {
    HKEY root = nullptr;
    if (!ParseRootKeyName(rootName, root))
        return ERROR_INVALID_HANDLE;
    return OpenRegKey(root, path, access, key);
}

LONG CreateRegKey(HKEY root, const std::string& path, REGSAM access, RegKey& key) {
    HKEY h = nullptr;
    const LONG rc = RegCreateKeyExA(root, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, access,
                                    nullptr, &h, nullptr);
    if (rc == ERROR_SUCCESS)
        key.Reset(h);
    return rc;
}

bool ReadRegValue(HKEY key, const std::string& valueName, DWORD& type, std::string& bytes) {
    // Most values fit the first buffer, so one query usually does.
    bytes.assign(256, '\0');
    for (int attempt = 0; attempt < 8; ++attempt) {
        DWORD size = static_cast<DWORD>(bytes.size());
        const LONG rc = RegQueryValueExA(key, valueName.c_str(), nullptr, &type,
                                         reinterpret_cast<BYTE*>(&bytes[0]), &size);
        if (rc == ERROR_SUCCESS && size <= bytes.size()) {
            bytes.resize(size);
            return true;
        }
        if (rc != ERROR_SUCCESS && rc != ERROR_MORE_DATA)
            break;
        bytes.assign(size + 1, '\0'); // the value grew between two queries: ask again
    }
    type = 0;
    bytes.clear();
    return false;
}

std::string ReadRegString(HKEY key, const std::string& valueName) {
    // One byte more than the query may fill, so that the text always ends in a zero even when
    // the stored value has none.
    char buffer[StringBufferSize + 1];
    DWORD size = StringBufferSize;
    DWORD type = 0;
    if (RegQueryValueExA(key, valueName.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(buffer),
                         &size) != ERROR_SUCCESS)
        return {};
    if (size > StringBufferSize)
        size = StringBufferSize;
    const void* end = std::memchr(buffer, 0, size);
    // A value that fills the whole buffer without a terminating zero is longer than the longest
    // text the buffer holds (254 characters), and such values read as empty.
    if (!end)
        return size < StringBufferSize ? Trimmed(std::string(buffer, size)) : std::string();
    return Trimmed(std::string(buffer, static_cast<const char*>(end) - buffer));
}

bool ReadRegBinary(HKEY key, const std::string& valueName, BYTE* buffer, DWORD& size) {
    DWORD type = 0;
    LONG rc = RegQueryValueExA(key, valueName.c_str(), nullptr, &type, buffer, &size);
    if (rc == ERROR_SUCCESS && type == REG_BINARY)
        return true;
    if (rc != ERROR_MORE_DATA)
        size = 0;
    return false;
}

bool ReadRegDword(HKEY key, const std::string& valueName, DWORD& number) {
    BYTE bytes[sizeof(DWORD)];
    DWORD size = sizeof bytes;
    DWORD type = 0;
    if (RegQueryValueExA(key, valueName.c_str(), nullptr, &type, bytes, &size) != ERROR_SUCCESS)
        return false;
    if ((type != REG_DWORD && type != REG_BINARY) || size != sizeof bytes)
        return false;
    number = static_cast<DWORD>(bytes[0]) | static_cast<DWORD>(bytes[1]) << 8 |
             static_cast<DWORD>(bytes[2]) << 16 | static_cast<DWORD>(bytes[3]) << 24;
    return true;
}

bool WriteRegString(HKEY key, const std::string& valueName, const std::string& text) {
    return RegSetValueExA(key, valueName.c_str(), 0, REG_SZ,
                          reinterpret_cast<const BYTE*>(text.c_str()),
                          static_cast<DWORD>(text.size() + 1)) == ERROR_SUCCESS;
}

bool WriteRegBinary(HKEY key, const std::string& valueName, const BYTE* bytes, DWORD count) {
    if (count == 0)
        return false;
    return RegSetValueExA(key, valueName.c_str(), 0, REG_BINARY, bytes, count) == ERROR_SUCCESS;
}

bool WriteRegDword(HKEY key, const std::string& valueName, DWORD number) {
    const BYTE bytes[4] = {static_cast<BYTE>(number), static_cast<BYTE>(number >> 8),
                           static_cast<BYTE>(number >> 16), static_cast<BYTE>(number >> 24)};
    return RegSetValueExA(key, valueName.c_str(), 0, REG_DWORD, bytes, sizeof bytes) ==
           ERROR_SUCCESS;
}

LONG EnumSubkeyNames(HKEY key, TextList& names) {
    names.clear();
    char name[SubkeyNameSize];
    for (DWORD index = 0;; ++index) {
        DWORD length = SubkeyNameSize;
        LONG rc = RegEnumKeyExA(key, index, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (rc != ERROR_SUCCESS)
            return rc;
        names.emplace_back(name, length);
    }
}

std::string ReadRegStringAt(HKEY root, const std::string& valuePath) {
    const RegKey key = OpenKey(root, ParentOf(valuePath));
    if (!key)
        return {};
    return ReadRegString(key.Get(), FileNameOf(valuePath));
}

bool ReadRegBinaryAt(HKEY root, const std::string& valuePath, BYTE* buffer, DWORD& size) {
    const RegKey key = OpenKey(root, ParentOf(valuePath));
    if (!key) {
        size = 0;
        return false;
    }
    return ReadRegBinary(key.Get(), FileNameOf(valuePath), buffer, size);
}

DWORD ReadRegDwordAt(HKEY root, const std::string& valuePath) {
    const RegKey key = OpenKey(root, ParentOf(valuePath));
    DWORD number = 0;
    if (!key || !ReadRegDword(key.Get(), FileNameOf(valuePath), number))
        return 0;
    return number;
}

bool WriteRegStringAt(HKEY root, const std::string& valuePath, const std::string& text) {
    const RegKey key = CreateKey(root, ParentOf(valuePath));
    return key && WriteRegString(key.Get(), FileNameOf(valuePath), text);
}

bool WriteRegBinaryAt(HKEY root, const std::string& valuePath, const BYTE* bytes, DWORD count) {
    const RegKey key = CreateKey(root, ParentOf(valuePath));
    return key && WriteRegBinary(key.Get(), FileNameOf(valuePath), bytes, count);
}

bool WriteRegDwordAt(HKEY root, const std::string& valuePath, DWORD number) {
    const RegKey key = CreateKey(root, ParentOf(valuePath));
    return key && WriteRegDword(key.Get(), FileNameOf(valuePath), number);
}

bool WriteRegKeyDefault(HKEY root, const std::string& keyPath, const std::string& text) {
    const RegKey key = CreateKey(root, keyPath);
    return key && WriteRegString(key.Get(), "", text);
}

std::string ReadRegKeyDefault(HKEY root, const std::string& keyPath) {
    const RegKey key = OpenKey(root, keyPath);
    if (!key)
        return {};
    return ReadRegString(key.Get(), "");
}

bool DeleteRegValue(HKEY root, const std::string& valuePath) {
    const RegKey key = OpenKey(root, ParentOf(valuePath));
    const std::string name = FileNameOf(valuePath);
    if (key && RegDeleteValueA(key.Get(), name.c_str()) == ERROR_SUCCESS)
        return true;
    // Not deleted: fine when the value is not there (or its key is missing).
    return !key || RegQueryValueExA(key.Get(), name.c_str(), nullptr, nullptr, nullptr, nullptr) !=
                       ERROR_SUCCESS;
}

bool DeleteRegKey(HKEY root, const std::string& keyPath, bool withSubkeys) {
    switch (DeleteRegKeyStatusAs(ThePlatformVersion().PlatformId(), root, keyPath, withSubkeys)) {
    case 0:
    case 1:
    case 3:
    case 4:
    case 6:
        return true;
    default: // refused because of subkeys, or failed
        return false;
    }
}

int DeleteRegKeyStatus(HKEY root, const std::string& keyPath, bool withSubkeys) {
    return DeleteRegKeyStatusAs(ThePlatformVersion().PlatformId(), root, keyPath, withSubkeys);
}

int DeleteRegKeyStatusAs(DWORD platformId, HKEY root, const std::string& keyPath,
                         bool withSubkeys) {
    // A path without a last component names no subkey: the platform would take it as the
    // parent key itself (and on the Windows 95/98 family delete that whole tree). Nothing is
    // touched; the family's failure code is reported.
    if (!HasKeyName(keyPath)) {
        if (platformId == VER_PLATFORM_WIN32_WINDOWS)
            return withSubkeys ? 7 : 8;
        if (platformId == VER_PLATFORM_WIN32_NT)
            return withSubkeys ? 9 : 10;
        return 11;
    }
    if (platformId == VER_PLATFORM_WIN32_WINDOWS) {
        if (withSubkeys) // the platform removes the whole subtree
            return DeleteKeyItself(root, keyPath) ? 1 : 7;
        // The platform's deletion would take the whole tree: a key whose subkeys cannot be
        // counted is not deleted.
        DWORD subkeys = 0;
        {
            const RegKey key = OpenKey(root, keyPath);
            if (!key || g_subkeyCount.Get()(key.Get(), subkeys) != ERROR_SUCCESS)
                return 8;
        }
        if (subkeys > 0)
            return 2;
        return DeleteKeyItself(root, keyPath) ? 3 : 8;
    }
    if (platformId == VER_PLATFORM_WIN32_NT) {
        const TextList subkeys = SubkeysOf(root, keyPath);
        if (!withSubkeys) {
            if (!subkeys.empty())
                return 5;
            return DeleteKeyItself(root, keyPath) ? 6 : 10;
        }
        // Depth first: every subtree goes before the key itself. A subtree that cannot be
        // deleted leaves its key in place, and the final deletion then fails. Names are joined
        // as enumerated: key names may hold colons and blanks that path rules would change.
        for (const std::string& name : subkeys) {
            if (!Trimmed(name).empty())
                (void)DeleteRegKeyStatusAs(platformId, root, keyPath + "\\" + name, true);
        }
        return DeleteKeyItself(root, keyPath) ? 4 : 9;
    }
    return DeleteKeyItself(root, keyPath) ? 0 : 11;
}

Seam<SubkeyCountQuery>& SubkeyCountQueryForTesting() {
    return g_subkeyCount;
}
