// Elements that change installed text files: WSetupRegFile merges a registry file through the
// registry editor, WSetupCustFile replaces a text in every line of a file, WSetupProfileString
// writes one key of a profile (INI) file and restores or deletes it at uninstall.
//
// Each finds its file as DestDir (replaced by its variable expansion) resolved with DestName,
// in short form when the install step's short-names flag is set. A file is there when it has
// attributes: a file that another program holds open is not taken for absent.
#pragma once

#include "setup/core/element.h"

class WSetupRegFile : public WSetupElement {
    FW_DECLARE_DYNCREATE(WSetupRegFile)
public:
    WSetupRegFile();
    ~WSetupRegFile() = default;

    int Uninstall() override; // a merge is not undone: 0
    int Verify() override;
    FwString GetFullRecord() override;
    FwString GetShortRecord() override;

    // 0 when the system's registry editor merged the file (the step waits for it), 1 file
    // absent, 2 the editor could not be started. The editor reports no failure of its own.
    virtual int InstallStep(int shortNames); // 26
};

// Like every kind, it stores each code it answers in Status.
class WSetupCustFile : public WSetupElement {
    FW_DECLARE_DYNCREATE(WSetupCustFile)
public:
    WSetupCustFile();
    ~WSetupCustFile() = default;

    int Uninstall() override; // the replacement is not undone: 0
    int Verify() override;
    FwString GetFullRecord() override;
    FwString GetShortRecord() override;

    // 0 replaced (the file keeps plain attributes), 1 file absent, 2 attributes not made plain,
    // 3 not replaced: the file is left as it was, its attributes included.
    virtual int InstallStep(int shortNames); // 26

    FwString SearchText = "Search";   // searched for literally, case-sensitive
    FwString ReplaceText = "Replace"; // expanded before use
};

class WSetupProfileString : public WSetupElement {
    FW_DECLARE_DYNCREATE(WSetupProfileString)
public:
    WSetupProfileString();
    ~WSetupProfileString() = default;

    // With RestoreOnUninstall, PreviousValue goes back as it was read (unexpanded): 2; otherwise
    // the key is deleted: 0. 0 also when the file is gone (it is not made again); 1 when
    // RemoveOnUninstall is 0; 3, 4, 5 failures (the file keeps its attributes).
    int Uninstall() override;
    // 0 the key has a value, 1 file absent, 2 the key is empty or missing.
    int Verify() override;
    FwString GetFullRecord() override;
    FwString GetShortRecord() override;

    // Writes Key = the expansion of Value: 0 written, 1 the existing file's attributes could not
    // be made plain, 2 not written. Refused (2, nothing written) when the entry would change the
    // file's structure: a line break in Section, Key or the expanded Value, an empty Section or
    // Key, a "]" in Section, an "=" in Key or a Key starting with "[" or ";". The key's value
    // before the step becomes PreviousValue unless it is empty or is this element's own value
    // (a second install keeps what was there before the first). Every write is flushed to disk.
    virtual int InstallStep(int shortNames); // 26

    FwString Section = "Section";
    FwString Key = "Key";
    FwString Value;
    FwString PreviousValue; // the key's value before the install step
    int RestoreOnUninstall = 1;
};

#if defined(__i386__)
FW_LAYOUT_CHECKS_BEGIN
static_assert(sizeof(WSetupRegFile) == 88, "registry file layout");
static_assert(offsetof(WSetupCustFile, ReplaceText) == 92, "customised file layout");
static_assert(sizeof(WSetupCustFile) == 96, "customised file layout");
static_assert(offsetof(WSetupProfileString, RestoreOnUninstall) == 104, "profile string layout");
static_assert(sizeof(WSetupProfileString) == 112, "profile string layout");
FW_LAYOUT_CHECKS_END
#endif
