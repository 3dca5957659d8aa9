// Elements that change installed text files: WSetupRegFile merges a registry file through the
// registry editor, WSetupCustFile replaces a text in every line of a file, WSetupProfileString
// writes one key of a profile (INI) file and restores or deletes it at uninstall.
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

    virtual int InstallStep(int shortNames); // 26
};

class WSetupCustFile : public WSetupElement {
    FW_DECLARE_DYNCREATE(WSetupCustFile)
public:
    WSetupCustFile();
    ~WSetupCustFile() = default;

    int Uninstall() override; // the replacement is not undone: 0
    int Verify() override;
    FwString GetFullRecord() override;
    FwString GetShortRecord() override;

    virtual int InstallStep(int shortNames); // 26

    FwString SearchText = "Search";   // searched for literally, case-sensitive
    FwString ReplaceText = "Replace"; // expanded before use
};

class WSetupProfileString : public WSetupElement {
    FW_DECLARE_DYNCREATE(WSetupProfileString)
public:
    WSetupProfileString();
    ~WSetupProfileString() = default;

    int Uninstall() override;
    int Verify() override;
    FwString GetFullRecord() override;
    FwString GetShortRecord() override;

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
