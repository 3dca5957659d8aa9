// Registry utilities: values named by a root key and one path text whose last component is the
// value name. Every function opens (or creates) the key with full access, does one operation
// and closes the key again.
//
// Full access also for reads: on the NT family a user without administrator rights cannot open
// keys of HKEY_LOCAL_MACHINE (and other users' keys) that way, so every read there answers
// "absent" (empty, false or 0) for such a user even when the value exists.
#pragma once

#include <windows.h>

#include <string>

#include "setup/core/handles.h"
#include "setup/core/seam.h"
#include "setup/core/text.h"

[[nodiscard]] bool ParseRootKeyName(const std::string& name, HKEY& root);

// Opening a key with the access asked for. The answer is the platform's (ERROR_SUCCESS, or
// ERROR_FILE_NOT_FOUND for a key that is not there); `key` takes the handle only on success and
// keeps what it held otherwise. A root given by name is read as ParseRootKeyName reads it; a
// name that is no root answers ERROR_INVALID_HANDLE.
[[nodiscard]] LONG OpenRegKey(HKEY root, const std::string& path, REGSAM access, RegKey& key);
[[nodiscard]] LONG OpenRegKey(const std::string& rootName, const std::string& path, REGSAM access,
                              RegKey& key);
// The key opened, or created non-volatile with every missing parent when absent; as OpenRegKey.
[[nodiscard]] LONG CreateRegKey(HKEY root, const std::string& path, REGSAM access, RegKey& key);
// A value's stored type and bytes, whatever its size (a value that grows between two queries is
// asked for again, a few times). False when it is absent or cannot be read; `type` is then 0 and
// `bytes` empty.
[[nodiscard]] bool ReadRegValue(HKEY key, const std::string& valueName, DWORD& type,
                                std::string& bytes);

// On an open key.
// String reads go through a 255-byte buffer: a text longer than 254 characters reads as empty,
// not cut. White space is trimmed from both ends, and the value's type is not examined.
std::string ReadRegString(HKEY key, const std::string& valueName);
[[nodiscard]] bool ReadRegBinary(HKEY key, const std::string& valueName, BYTE* buffer, DWORD& size);
[[nodiscard]] bool ReadRegDword(HKEY key, const std::string& valueName, DWORD& number);
[[nodiscard]] bool WriteRegString(HKEY key, const std::string& valueName, const std::string& text);
[[nodiscard]] bool WriteRegBinary(HKEY key, const std::string& valueName, const BYTE* bytes,
                                  DWORD count);
[[nodiscard]] bool WriteRegDword(HKEY key, const std::string& valueName, DWORD number);
[[nodiscard]] LONG EnumSubkeyNames(HKEY key, TextList& names);

// By root and value path (key path, backslash, value name).
std::string ReadRegStringAt(HKEY root, const std::string& valuePath);
// The text of a value read through a buffer of `bufferSize` bytes, as it is stored (not
// trimmed): up to its first zero, or all of it when it was stored without one. Empty when the
// key cannot be opened or the value does not fit the buffer.
std::string ReadRegTextAt(HKEY root, const std::string& valuePath, DWORD bufferSize);
[[nodiscard]] bool ReadRegBinaryAt(HKEY root, const std::string& valuePath, BYTE* buffer,
                                   DWORD& size);
DWORD ReadRegDwordAt(HKEY root, const std::string& valuePath);
[[nodiscard]] bool WriteRegStringAt(HKEY root, const std::string& valuePath,
                                    const std::string& text);
[[nodiscard]] bool WriteRegBinaryAt(HKEY root, const std::string& valuePath, const BYTE* bytes,
                                    DWORD count);
[[nodiscard]] bool WriteRegDwordAt(HKEY root, const std::string& valuePath, DWORD number);
// The unnamed (default) value of the key named by the whole path.
[[nodiscard]] bool WriteRegKeyDefault(HKEY root, const std::string& keyPath,
                                      const std::string& text);
std::string ReadRegKeyDefault(HKEY root, const std::string& keyPath);

[[nodiscard]] bool DeleteRegValue(HKEY root, const std::string& valuePath);
[[nodiscard]] bool DeleteRegKey(HKEY root, const std::string& keyPath, bool withSubkeys);

// What DeleteRegKeyStatus did, by platform family. Below 7 the key is gone or was deliberately
// left alone because it has subkeys; 7 and above it could not be deleted. The values are
// stable: callers may store them.
enum DeleteRegKeyStatusCode : int {
    RegKeyDeleted = 0,               // other platform id: deleted
    RegKeyWin9xTreeDeleted = 1,      // Windows 95/98, with subkeys: deleted
    RegKeyWin9xHasSubkeys = 2,       // Windows 95/98, without subkeys: refused, nothing deleted
    RegKeyWin9xDeleted = 3,          // Windows 95/98, without subkeys: deleted
    RegKeyNtTreeDeleted = 4,         // NT, with subkeys: subkeys and key deleted
    RegKeyNtHasSubkeys = 5,          // NT, without subkeys: refused, nothing deleted
    RegKeyNtDeleted = 6,             // NT, without subkeys: deleted
    RegKeyWin9xTreeDeleteFailed = 7, // Windows 95/98, with subkeys: deletion failed
    RegKeyWin9xDeleteFailed = 8,     // Windows 95/98, without subkeys: deletion failed
    RegKeyNtTreeDeleteFailed = 9,    // NT, with subkeys: deletion of the key failed
    RegKeyNtDeleteFailed = 10,       // NT, without subkeys: deletion failed
    RegKeyDeleteFailed = 11,         // other platform id: deletion failed
};
[[nodiscard]] int DeleteRegKeyStatus(HKEY root, const std::string& keyPath, bool withSubkeys);
// DeleteRegKeyStatus for the given platform family (1 = Windows 95/98, 2 = NT, other values:
// plain deletion) instead of the running one's.
[[nodiscard]] int DeleteRegKeyStatusAs(DWORD platformId, HKEY root, const std::string& keyPath,
                                       bool withSubkeys);

// The subkey count that the Windows 95/98 deletion without subkeys asks for
// (RegQueryInfoKeyA); answers the platform's result code. Tests replace it to make the query
// fail.
using SubkeyCountQuery = LONG (*)(HKEY key, DWORD& subkeys);
Seam<SubkeyCountQuery>& SubkeyCountQueryForTesting();
