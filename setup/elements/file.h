// File elements: WSetupFile copies one file from the medium under a copy rule, keeps the
// shared-DLL count and deletes the file at uninstall; WSetupRuntimeFile stands for a file that
// the installed product creates itself, and is only ever deleted.
#pragma once

#include <string>

#include "setup/core/element.h"
#include "setup/core/element_fields.h"
#include "setup/core/seam.h"

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

// Outcomes of CopyWithRule (also the status of WSetupFile::InstallStep).
enum WSetupCopyOutcome : int {
    CopiedPlain = 0,         // modes 0 and 5
    CopiedHigherVersion = 1, // mode 2
    KeptVersion = 2,         // mode 2: the destination's version is as high or higher
    CopiedWasAbsent = 3,     // mode 1
    KeptExisting = 4,        // mode 1: the destination exists; also mode 6
    CopiedNewer = 5,         // mode 3
    KeptDate = 6,            // mode 3: the destination is as new or newer
    CopiedByStreams = 7,     // mode 4
    SkippedOnRequest = 8,    // install step only
    ScheduledPlain = 9,      // modes 0 and 5: replacement waits for the restart
    ScheduledVersion = 10,   // mode 2
    ScheduledIfAbsent = 11,  // mode 1
    ScheduledDate = 12,      // mode 3
    CopyFailedPlain = 13,    // modes 0 and 5
    SourceAbsent = 14,       // install step only
    FolderUnusable = 15,     // the destination's folder can neither be made nor found
    AttributesFailed = 16,   // install step only: copied, the attribute string not applied
    InUsePlain = 18,         // mode 0, restart replacement not allowed
    CopyFailedIfAbsent = 19, // mode 1
    CopyFailedVersion = 21,  // mode 2
    InUseVersion = 23,       // mode 2, restart replacement not allowed
    CopyFailedDate = 24,     // mode 3
    InUseDate = 26,          // mode 3, restart replacement not allowed
    StreamCopyFailed = 27,   // mode 4
};

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
StepMeaning FileStepMeaning(ElementStep step, int status);
// Undo is Remove; Install and Check do nothing (0).
StepMeaning RuntimeFileStepMeaning(ElementStep step, int status);

// Adds `delta` to the reference count of `path` in the shared-DLL table (HKEY_LOCAL_MACHINE
// "Software\Microsoft\Windows\CurrentVersion\SharedDLLs", one DWORD per full path; an absent
// value counts 0). The sum is written only when it lies within 0..0xFFFFFFFF, so a decrement from
// 0 writes nothing and the value is never deleted. True when the new count was written.
bool AdjustSharedCount(const std::string& path, long delta);

// Copies `source` onto `destination` under the copy rule `copyMode` (WSetupCopyMode; unknown
// values copy plainly) and answers a WSetupCopyOutcome. A destination in use (the copy fails with
// a sharing violation) is replaced at the next restart when `restartAllowed`. The destination's
// folder tree is created. A destination that is neither copied nor scheduled keeps its
// attributes; one that is scheduled is left with plain attributes, so that the restart can
// replace it.
//
// A destination counts as existing (mode 1, mode 5) when the file system knows it, also when
// another process holds it open without sharing.
int CopyWithRule(const std::string& source, const std::string& destination, int copyMode,
                 bool restartAllowed);

// The platform's copy with overwriting allowed (CopyFileA), as CopyWithRule calls it; it must
// leave the platform's error code set when it fails. Tests replace it to produce what only a
// race with another process produces (a destination created and locked between the existence
// test and the copy).
using PlatformCopyFunction = bool (*)(const std::string& source, const std::string& destination);
Seam<PlatformCopyFunction>& CopyFunctionForTesting();

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
