// File elements: WSetupFile copies one file from the medium under a copy rule, keeps the
// shared-DLL count and deletes the file at uninstall; WSetupRuntimeFile stands for a file that
// the installed product creates itself, and is only ever deleted.
#pragma once

#include "setup/core/element.h"

// Copy rules of WSetupFile::CopyMode.
enum WSetupCopyMode : int {
    CopyAlways = 0,   // overwrite (also every value not listed)
    CopyIfAbsent = 1, // only when the destination does not exist
    CopyIfNewerVersion = 2,
    CopyIfNewerDate = 3,
    CopyByStreams = 4,
    CopyAtRestart = 5, // an existing destination is replaced at the next restart
    CopyNever = 6,
};

// FileFlags bits that count the file in the shared-DLL table.
constexpr int SharedFileFlags = 0x64;

class WSetupFile : public WSetupElement {
    FW_DECLARE_DYNCREATE(WSetupFile)
public:
    WSetupFile();
    ~WSetupFile() = default;

    int Verify() override;
    FwString GetFullRecord() override;
    FwString GetShortRecord() override;

    // Slot 26: copies the file. Paths whose replacement waits for the restart are added
    // upper-cased to `rebootList`; the element may add itself to `collected`.
    virtual int InstallStep(FwStringArray& rebootList, FwPtrArray& collected, int skipRequest,
                            int defaultDestination, int shortNames);
    // Slot 27: deletes the file; a deletion that waits for the restart is added to the list.
    virtual int UninstallStep(FwStringArray& rebootList);
    virtual int BindImage();
    virtual FwString GetChecksumText() const;
    virtual void SetChecksumText(FwString text); // 30

    FwString Attributes = "100000";      // attribute string of the installed file
    FwString SpareAttributes = "100000"; // carried only
    FwString MediaName;                  // file name on the medium
    int RemoveEmptyFolders = 1;
    int CopyMode = CopyIfAbsent;
    int FileFlags = 0;
    FwString ChecksumText = "|||0";
    int CarriedNumber = 1;
    int SkipWhenAsked = 0;
    int CollectAfterCopy = 0;
    int CarriedFlag = 0;
    // Explicit end padding: the font element's own fields start after it, at the object size.
    int reserved132 = 0;

protected:
    explicit WSetupFile(int kind); // kinds that extend the file element
};

class WSetupRuntimeFile : public WSetupElement {
    FW_DECLARE_DYNCREATE(WSetupRuntimeFile)
public:
    WSetupRuntimeFile();
    ~WSetupRuntimeFile() = default;

    int Install() override; // nothing to copy: 0
    int Verify() override;  // nothing to check: 0
    FwString GetFullRecord() override;
    FwString GetShortRecord() override;

    // Slot 26: deletes the file; a deletion that waits for the restart is added to the list.
    virtual int Remove(FwStringArray& rebootList);

    int RemoveEmptyFolders = 1;
};

#if defined(__i386__)
FW_LAYOUT_CHECKS_BEGIN
static_assert(offsetof(WSetupFile, Attributes) == 88, "file layout");
static_assert(offsetof(WSetupFile, ChecksumText) == 112, "file layout");
static_assert(offsetof(WSetupFile, CarriedFlag) == 128, "file layout");
static_assert(offsetof(WSetupFile, reserved132) == 132, "file layout");
static_assert(sizeof(WSetupFile) == 136, "file layout");
static_assert(offsetof(WSetupRuntimeFile, RemoveEmptyFolders) == 88, "runtime file layout");
static_assert(sizeof(WSetupRuntimeFile) == 96, "runtime file layout");
FW_LAYOUT_CHECKS_END
#endif
