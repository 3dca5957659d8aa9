// Registry elements: WSetupRegEntry writes one key or value at install and deletes it (or puts
// the previous value back) at uninstall; WSetupRuntimeRegEntry stands for a key or value that
// the installed product creates itself, and is only ever removed.
//
// Both accept only the six root names below (any case at the first check; the root lookup
// afterwards wants capitals) and refuse to remove the operating system's own keys (the
// protected-key table in the implementation). Key and value names are normalised before any
// use, and the protection test judges the very path that is then deleted.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "setup/core/element.h"

using ByteList = std::vector<BYTE>;

// Binary value text form: two hexadecimal digits per byte. Reading upper-cases the text, drops
// everything up to its last ":", trims it and splits it at "," (or, without any comma, at
// single blanks); every trimmed part must be exactly two hexadecimal digits. An empty text gives
// zero bytes; any other part (one digit, three, an empty part between two separators) fails
// the whole conversion and leaves `bytes` empty. With `printableOnly` every byte outside
// 0x20..0x7E becomes 0x20.
bool HexTextToBytes(const std::string& text, ByteList& bytes, bool printableOnly = false);
// Each byte as two lower-case digits followed by one blank ("0a ff "); zero bytes give "".
std::string BytesToHexText(const BYTE* bytes, std::size_t count);
inline std::string BytesToHexText(const ByteList& bytes) {
    return BytesToHexText(bytes.data(), bytes.size());
}

// A key path or value name without leading and trailing backslashes and blanks, with every run
// of backslashes inside it made one (the platform reads "A\\\B" as "A\B"). Goes by characters,
// so a double-byte character ending in the byte 0x5C stays whole.
std::string NormalizeRegName(const std::string& name);
// One of "HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE", "HKEY_USERS",
// "HKEY_CURRENT_CONFIG", "HKEY_DYN_DATA", without regard to case.
bool IsRegEntryRootName(const std::string& rootName);
// Whether the normalised key path is empty or one of the root's protected keys (whole texts,
// without regard to case; a subkey of a protected key is not protected).
bool IsProtectedRegKey(const std::string& rootName, const std::string& normalisedPath);

// Codes of Install: 1 default value written, 2 string value written, 3 binary value written,
// 4 key created, 5 DWORD written, 6 root not accepted or not resolved, 7 no key and no value
// name but data given, 8 key, value name and data all empty, 9-12 writing the default, string
// or binary value or creating the key failed, 13 default value with a type other than "STRING",
// 14 writing the DWORD failed, 15 DWORD data converts to 0xFFFFFFFF, 16 closing the created key
// failed.
// Codes of Uninstall: 1 skipped (RemoveOnUninstall is 0), 2 root not accepted or not resolved,
// 3 protected, 4 value gone or nothing to restore, 5 key and subkeys deleted, 6 key deleted or
// left alone because it has subkeys, 7 previous value restored, 8 value not deleted, 9 deleting
// the key with its subkeys failed, 10 deleting the key failed, 12 restoring failed.
// A key or value that is already absent counts as deleted.
// Verify answers 1 for a root name outside the six, 2 and 3 for the empty cases of Install's 7
// and 8, and 15 otherwise: no comparison with the registry is made.
class WSetupRegEntry : public WSetupElement {
    FW_DECLARE_DYNCREATE(WSetupRegEntry)
public:
    WSetupRegEntry();
    ~WSetupRegEntry();

    int Install() override;
    int Uninstall() override;
    int Verify() override;
    FwString GetFullRecord() override;
    FwString GetShortRecord() override;

    FwString RootName;  // "HKEY_CLASSES_ROOT" ... "HKEY_DYN_DATA"
    FwString KeyPath;   // Install replaces it (and ValueName, ValueData) by its expanded form
    FwString ValueName; // empty: the key's default value, or the key alone
    FwString ValueData;
    FwString ValueType; // "STRING", "DWORD", "BINARY-RAW", "BINARY-STRING", "BINARY-WIDESTRING"
    int DeleteSubkeys = 0;
    // What the value held before Install, in text form: the text of a string of any string
    // type (of a multi-string, its first string), a DWORD (or four binary bytes) in unsigned
    // decimal, 0 for a DWORD entry over anything else or nothing, binary data in the binary text
    // form. Empty when a string or binary entry found nothing of its kind; Uninstall then has
    // nothing to restore.
    FwString PreviousValue;
    int RestoreOnUninstall = 0;

    // What Install found, as the registry stored it (type and bytes), kept in memory beside
    // PreviousValue (the records carry the text alone): while the entry names the same value
    // and PreviousValue is still the text taken from it, Uninstall puts the value back in that
    // form, so that an expandable or multi-string keeps its type and every string. False when
    // nothing was found, or the entry's names or PreviousValue have changed since. The setter
    // lets an engine that built the entry again from its record hand back what its own log
    // kept, for the entry's present names and PreviousValue.
    bool GetPreviousStored(DWORD& type, ByteList& bytes) const;
    void SetPreviousStored(DWORD type, const ByteList& bytes);
};

// Codes of Remove: 0 value gone, 1 key deleted or left alone because it has subkeys, 2 key and
// subkeys deleted, 3 root not accepted or not resolved, 4 protected, 5 value not deleted,
// 6 deleting the key failed, 7 deleting the key with its subkeys failed (for 6 and 7 the
// element's record is appended to the list).
class WSetupRuntimeRegEntry : public WSetupElement {
    FW_DECLARE_DYNCREATE(WSetupRuntimeRegEntry)
public:
    WSetupRuntimeRegEntry();
    ~WSetupRuntimeRegEntry() = default;

    int Install() override;   // nothing to write: 0
    int Uninstall() override; // removal is Remove's work: 1
    int Verify() override;    // nothing to check: 0
    FwString GetFullRecord() override;
    FwString GetShortRecord() override;

    // Slot 26: removes the key or value; a key that cannot be deleted adds its record to the list.
    virtual int Remove(FwStringArray& failedKeys);

    FwString RootName;
    FwString KeyPath;   // for a value: key path, backslash, value name
    FwString EntryKind; // "VALUE" (any case) for a value, anything else for a key
    int DeleteSubkeys = 0;
};

#if defined(__i386__)
FW_LAYOUT_CHECKS_BEGIN
static_assert(offsetof(WSetupRegEntry, RootName) == 88, "registry entry layout");
static_assert(offsetof(WSetupRegEntry, RestoreOnUninstall) == 116, "registry entry layout");
static_assert(sizeof(WSetupRegEntry) == 120, "registry entry layout");
static_assert(offsetof(WSetupRuntimeRegEntry, DeleteSubkeys) == 100, "runtime entry layout");
static_assert(sizeof(WSetupRuntimeRegEntry) == 104, "runtime entry layout");
FW_LAYOUT_CHECKS_END
#endif
