// Registry elements: WSetupRegEntry writes one key or value at install and deletes it (or puts
// the previous value back) at uninstall; WSetupRuntimeRegEntry stands for a key or value that
// the installed product creates itself, and is only ever removed.
#pragma once

#include "setup/core/element.h"

class WSetupRegEntry : public WSetupElement {
    FW_DECLARE_DYNCREATE(WSetupRegEntry)
public:
    WSetupRegEntry();
    ~WSetupRegEntry() = default;

    int Install() override;
    int Uninstall() override;
    int Verify() override;
    FwString GetFullRecord() override;
    FwString GetShortRecord() override;

    FwString RootName; // "HKEY_CLASSES_ROOT" ... "HKEY_DYN_DATA"
    FwString KeyPath;
    FwString ValueName; // empty: the key's default value, or the key alone
    FwString ValueData;
    FwString ValueType; // "STRING", "DWORD", "BINARY-RAW", "BINARY-STRING", "BINARY-WIDESTRING"
    int DeleteSubkeys = 0;
    FwString PreviousValue; // what the value held before Install, in text form
    int RestoreOnUninstall = 0;
};

class WSetupRuntimeRegEntry : public WSetupElement {
    FW_DECLARE_DYNCREATE(WSetupRuntimeRegEntry)
public:
    WSetupRuntimeRegEntry();
    ~WSetupRuntimeRegEntry() = default;

    int Install() override; // nothing to write: 0
    int Verify() override;  // nothing to check: 0
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
