// File elements: WSetupFile copies one file from the medium under a copy rule (copy_rules.h),
// keeps the shared-DLL count (shared_count.h) and deletes the file at uninstall; WSetupRuntimeFile
// stands for a file that the installed product creates itself, and is only ever deleted.
#pragma once

#include <string>

#include "setup/core/element.h"
#include "setup/core/element_fields.h"
#include "setup/elements/copy_rules.h"
#include "setup/elements/shared_count.h"

// Codes of WSetupFile::UninstallStep.
enum WSetupFileRemoval : int {
    FileDeleted = 0,
    FileDeletionScheduled = 2, // the upper-cased path is added to the reboot list
    FileNotToBeRemoved = 3,    // RemoveOnUninstall 0
    FileGoneAnyway = 4,        // the deletion failed and the file is gone
    FileDeletionFailed = 5,    // also when it could not be scheduled
    FileNotResettable = 6,     // the file is absent or its attributes cannot be reset
};

// Codes of WSetupFile::Verify (and the first ones of WSetupTTFFile::Verify).
enum WSetupFileCheck : int {
    FileAsInstalled = 0, // present with the attributes of Attributes
    FileMissing = 1,
    FileAttributesDiffer = 2,
};

// Codes of WSetupFile::BindImage.
enum WSetupBindOutcome : int {
    ImageBound = 0, // ChecksumText holds the bound file's checksum
    ImageAbsent = 1,
    ImageBindFailed = 2,
    ImageHelperUnavailable = 4,
};

// Codes of WSetupRuntimeFile::Remove.
enum WSetupRuntimeFileRemoval : int {
    RuntimeFileDeleted = 0,
    RuntimeFileAbsent = 2,
    RuntimeFileDeletionScheduled = 3, // the path is added to the reboot list as it is
    RuntimeFileDeletionFailed = 4,    // also when it could not be scheduled
    RuntimeFileNotResettable = 5,     // its attributes cannot be reset
};

// What a status of each operation means: Install the copy outcome of InstallStep, Undo
// UninstallStep, Check Verify. A file the copy rule kept, or skipped on request, had nothing to
// do; a replacement waiting for the restart is done.
extern const StepMeaningTable WSetupFileMeanings;
// Undo is Remove; Install and Check do nothing (0).
extern const StepMeaningTable WSetupRuntimeFileMeanings;

// Whether the install step of `file` took a shared count when it answered `status` (a
// WSetupCopyOutcome): every outcome past the step's checks that is not a failed copy, a file the
// copy rule kept included, except under the never-copy rule. Removal gives such a count back.
class WSetupFile;
bool TookSharedCount(const WSetupFile& file, int status);

extern const ElementFieldTable WSetupFileFields;
extern const ElementFieldTable WSetupRuntimeFileFields;

class WSetupFile : public WSetupElement {
    FW_DECLARE_DYNCREATE(WSetupFile)
public:
    WSetupFile();
    ~WSetupFile() = default;

    FwString GetFullRecord() override;
    FwString GetShortRecord() override;

    int Verify() override; // a WSetupFileCheck

    // Slot 26: copies the file (a WSetupCopyOutcome). Paths whose replacement waits for the
    // restart are added upper-cased to `rebootList`; the element may add itself to `collected`.
    // `defaultDestination` installs to "<D>" and forbids restart replacement; `shortNames`
    // installs to the computed short (8.3) path, under which the shared count is also kept.
    // A file that is not copied keeps the attributes it had.
    virtual int InstallStep(FwStringArray& rebootList, FwPtrArray& collected, int skipRequest,
                            int defaultDestination, int shortNames);
    // Slot 27: deletes the file (a WSetupFileRemoval). The shared count is decremented under the
    // name that the install step counted: the path, or else its short form when only that one
    // is counted.
    virtual int UninstallStep(FwStringArray& rebootList);
    // Binds the installed image to the DLLs in its folder with the system's image helper
    // library (loaded from the system folder by full path, never through the search path); a
    // WSetupBindOutcome. The file keeps its attributes.
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

    // Slot 26: deletes the file (a WSetupRuntimeFileRemoval).
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
