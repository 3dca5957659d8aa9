// Elements that change installed text files: WSetupRegFile merges a registry file through the
// registry editor, WSetupCustFile replaces a text in every line of a file, WSetupProfileString
// writes one key of a profile (INI) file and restores or deletes it at uninstall.
//
// Each finds its file as DestDir (replaced by its variable expansion) resolved with DestName,
// in short form when the install step's short-names flag is set. A file is there when it has
// attributes: a file that another program holds open is not taken for absent.
#pragma once

#include "setup/core/element.h"
#include "setup/core/element_fields.h"

// Codes of WSetupRegFile::InstallStep and Verify.
enum WSetupRegFileStatus : int {
    RegFileMerged = 0, // Verify: the file is there
    RegFileAbsent = 1,
    RegFileEditorFailed = 2, // the registry editor could not be started
};

// Codes of WSetupCustFile::InstallStep and Verify.
enum WSetupCustFileStatus : int {
    CustFileReplaced = 0, // Verify: the file is there
    CustFileAbsent = 1,
    CustFileNotPlain = 2,    // its attributes could not be made plain
    CustFileNotReplaced = 3, // the file is left as it was, its attributes included
};

// Codes of WSetupProfileString::InstallStep.
enum WSetupProfileWrite : int {
    ProfileWritten = 0,
    ProfileNotPlain = 1, // the existing file's attributes could not be made plain
    ProfileNotWritten = 2,
};

// Codes of WSetupProfileString::Uninstall. The failures leave the file's attributes as they were.
enum WSetupProfileRemoval : int {
    ProfileKeyDeleted = 0,     // also when the file is gone (it is not made again)
    ProfileNotToBeRemoved = 1, // RemoveOnUninstall 0
    ProfileRestored = 2,       // PreviousValue is back
    ProfileRemovalNotPlain = 3,
    ProfileDeleteFailed = 4,
    ProfileRestoreFailed = 5,
};

// Codes of WSetupProfileString::Verify.
enum WSetupProfileCheck : int {
    ProfileHasValue = 0,
    ProfileFileMissing = 1,
    ProfileKeyEmpty = 2, // the key is empty or missing
};

// What a status of InstallStep (Install), Uninstall (Undo) and Verify (Check) means. The merge
// of a registry file and the replacement in a text file are not undone: their Undo is nothing
// to do.
extern const StepMeaningTable WSetupRegFileMeanings;
extern const StepMeaningTable WSetupCustFileMeanings;
extern const StepMeaningTable WSetupProfileStringMeanings;

extern const ElementFieldTable WSetupRegFileFields;
extern const ElementFieldTable WSetupCustFileFields;
extern const ElementFieldTable WSetupProfileStringFields;

class WSetupRegFile : public WSetupElement {
    FW_DECLARE_DYNCREATE(WSetupRegFile)
public:
    WSetupRegFile();
    ~WSetupRegFile() = default;

    int Uninstall() override; // a merge is not undone: 0
    int Verify() override;
    FwString GetFullRecord() override;
    FwString GetShortRecord() override;

    // Merges the file with the system's registry editor and waits for it; the editor reports
    // no failure of its own.
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

    // A replaced file keeps plain attributes.
    virtual int InstallStep(int shortNames); // 26

    FwString SearchText = "Search";   // searched for literally, case-sensitive
    FwString ReplaceText = "Replace"; // expanded before use
};

class WSetupProfileString : public WSetupElement {
    FW_DECLARE_DYNCREATE(WSetupProfileString)
public:
    WSetupProfileString();
    ~WSetupProfileString() = default;

    // With RestoreOnUninstall, PreviousValue goes back as it was read (unexpanded); otherwise
    // the key is deleted.
    int Uninstall() override;
    int Verify() override;
    FwString GetFullRecord() override;
    FwString GetShortRecord() override;

    // Writes Key = the expansion of Value. Refused (not written) when the entry would change the
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
