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
#include "setup/core/element_fields.h"

using ByteList = std::vector<BYTE>;

// A binary entry's data text: everything up to its last ":" (a "hex:" prefix) is dropped, the
// rest is read as HexLayout::Separated (setup/core/text.h), which writes it back. Any part that
// is not two digits (one digit, three, an empty part between two separators) fails the whole
// conversion and leaves `bytes` empty. With `printableOnly` every byte outside 0x20..0x7E
// becomes 0x20.
[[nodiscard]] bool HexTextToBytes(const std::string& text, ByteList& bytes,
                                  bool printableOnly = false);

// A key path or value name without leading and trailing backslashes and blanks, with every run
// of backslashes inside it made one (the platform reads "A\\\B" as "A\B"). Goes by characters,
// so a double-byte character ending in the byte 0x5C stays whole.
std::string NormalizeRegName(const std::string& name);
// Where an entry's key path and value name point, both normalised: the key that holds the value
// and the value's name ("" when the entry names a key and its default value), and the whole path
// that the protection test judges. The kind's install and removal and the engine's saved state
// all take the place from here, so what is saved before a step is what the step writes.
struct RegEntryPlace {
    std::string key;
    std::string name;
    std::string path;
};
RegEntryPlace RegEntryPlaceOf(const std::string& keyPath, const std::string& valueName);
// One of "HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE", "HKEY_USERS",
// "HKEY_CURRENT_CONFIG", "HKEY_DYN_DATA", without regard to case.
bool IsRegEntryRootName(const std::string& rootName);
// Whether the normalised key path is empty or one of the root's protected keys (whole texts,
// without regard to case; a subkey of a protected key is not protected).
bool IsProtectedRegKey(const std::string& rootName, const std::string& normalisedPath);

// Codes of WSetupRegEntry::Install.
enum WSetupRegEntryWrite : int {
    EntryDefaultWritten = 1,
    EntryStringWritten = 2,
    EntryBinaryWritten = 3,
    EntryKeyCreated = 4,
    EntryDwordWritten = 5,
    EntryRootRefused = 6,     // root not accepted or not resolved
    EntryDataWithoutName = 7, // no key and no value name, but data given
    EntryNothingNamed = 8,    // key, value name and data all empty
    EntryDefaultFailed = 9,   // writing the default value failed
    EntryStringFailed = 10,
    EntryBinaryFailed = 11,
    EntryKeyFailed = 12,        // creating the key failed
    EntryDefaultNotString = 13, // a default value with a type other than "STRING"
    EntryDwordFailed = 14,
    EntryDwordOutOfRange = 15, // the DWORD data converts to 0xFFFFFFFF
    EntryKeyCloseFailed = 16,  // closing the created key failed
};

// Codes of WSetupRegEntry::Uninstall. A key or value that is already absent counts as deleted.
enum WSetupRegEntryRemoval : int {
    EntryRemovalSkipped = 1,     // RemoveOnUninstall is 0
    EntryRemovalRootRefused = 2, // root not accepted or not resolved
    EntryRemovalProtected = 3,
    EntryValueGone = 4,      // value deleted, or nothing to restore
    EntryKeyTreeDeleted = 5, // key and subkeys deleted
    EntryKeyDeleted = 6,     // key deleted, or left alone because it has subkeys
    EntryPreviousRestored = 7,
    EntryValueNotDeleted = 8,
    EntryKeyTreeNotDeleted = 9,
    EntryKeyNotDeleted = 10,
    EntryRestoreFailed = 12,
};

// Codes of WSetupRegEntry::Verify, which makes no comparison with the registry.
enum WSetupRegEntryCheck : int {
    EntryCheckRootRefused = 1,     // a root name outside the six
    EntryCheckDataWithoutName = 2, // Install's EntryDataWithoutName case
    EntryCheckNothingNamed = 3,    // Install's EntryNothingNamed case
    EntryCheckReadable = 15,       // any other entry
};

// Codes of WSetupRuntimeRegEntry::Remove.
enum WSetupRuntimeRegRemoval : int {
    RuntimeRegValueGone = 0,
    RuntimeRegKeyDeleted = 1, // or left alone because it has subkeys
    RuntimeRegKeyTreeDeleted = 2,
    RuntimeRegRootRefused = 3, // root not accepted or not resolved
    RuntimeRegProtected = 4,
    RuntimeRegValueNotDeleted = 5,
    RuntimeRegKeyNotDeleted = 6,     // the element's record is appended to the list
    RuntimeRegKeyTreeNotDeleted = 7, // the element's record is appended to the list
};

// What a status of Install (Install), Uninstall (Undo) and Verify (Check) means. Skipping the
// removal on request is nothing to do. EntryValueGone is done: the code alone does not tell a
// deleted value from a restore that found nothing to put back (RestoreOnUninstall says which).
extern const StepMeaningTable WSetupRegEntryMeanings;
// Undo is Remove; Install and Check do nothing (0).
extern const StepMeaningTable WSetupRuntimeRegEntryMeanings;

extern const ElementFieldTable WSetupRegEntryFields;
extern const ElementFieldTable WSetupRuntimeRegEntryFields;

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
    [[nodiscard]] bool GetPreviousStored(DWORD& type, ByteList& bytes) const;
    void SetPreviousStored(DWORD type, const ByteList& bytes);
};

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
