// Registry utilities: values named by a root key and one path text whose last component is the
// value name. Every function opens (or creates) the key with full access, does one operation
// and closes the key again.
#pragma once

#include <windows.h>

#include <string>

#include "setup/core/text.h"

bool ParseRootKeyName(const std::string& name, HKEY& root);

// On an open key.
std::string ReadRegString(HKEY key, const std::string& valueName);
bool ReadRegBinary(HKEY key, const std::string& valueName, BYTE* buffer, DWORD& size);
bool ReadRegDword(HKEY key, const std::string& valueName, DWORD& number);
bool WriteRegString(HKEY key, const std::string& valueName, const std::string& text);
bool WriteRegBinary(HKEY key, const std::string& valueName, const BYTE* bytes, DWORD count);
bool WriteRegDword(HKEY key, const std::string& valueName, DWORD number);
LONG EnumSubkeyNames(HKEY key, TextList& names);

// By root and value path (key path, backslash, value name).
std::string ReadRegStringAt(HKEY root, const std::string& valuePath);
bool ReadRegBinaryAt(HKEY root, const std::string& valuePath, BYTE* buffer, DWORD& size);
DWORD ReadRegDwordAt(HKEY root, const std::string& valuePath);
bool WriteRegStringAt(HKEY root, const std::string& valuePath, const std::string& text);
bool WriteRegBinaryAt(HKEY root, const std::string& valuePath, const BYTE* bytes, DWORD count);
bool WriteRegDwordAt(HKEY root, const std::string& valuePath, DWORD number);
// The unnamed (default) value of the key named by the whole path.
bool WriteRegKeyDefault(HKEY root, const std::string& keyPath, const std::string& text);
std::string ReadRegKeyDefault(HKEY root, const std::string& keyPath);

bool DeleteRegValue(HKEY root, const std::string& valuePath);
bool DeleteRegKey(HKEY root, const std::string& keyPath, bool withSubkeys);
// Status codes 0 to 11 (see the implementation for the table); below 7 the key is gone or was
// deliberately left alone because it has subkeys.
int DeleteRegKeyStatus(HKEY root, const std::string& keyPath, bool withSubkeys);
// DeleteRegKeyStatus for the given platform family (1 = Windows 95/98, 2 = NT, other values:
// plain deletion) instead of the running one's.
int DeleteRegKeyStatusAs(DWORD platformId, HKEY root, const std::string& keyPath, bool withSubkeys);

// The subkey count that the Windows 95/98 deletion without subkeys asks for
// (RegQueryInfoKeyA); answers the platform's result code. Tests replace it to make the query
// fail; null restores the real one. Returns the previous one.
using SubkeyCountQuery = LONG (*)(HKEY key, DWORD& subkeys);
SubkeyCountQuery SetSubkeyCountQuery(SubkeyCountQuery query);
