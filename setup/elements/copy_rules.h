// The copy rules of the file elements: when a file from the medium may overwrite the one at its
// destination (always, only when absent, by version, by date, by streams, at the restart or
// never), what happens to a destination in use, and the outcome codes they answer.
#pragma once

#include <string>

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
    MediumDamaged = 28,      // install step only: the compressed medium file is damaged or short
    MediumNotInserted = 29,  // install step only: a diskette the file lies on was not inserted
};

// Copies `source` onto `destination` under the copy rule `copyMode` (WSetupCopyMode; unknown
// values copy plainly) and answers a WSetupCopyOutcome. A destination in use (the copy fails with
// a sharing violation) is replaced at the next restart when `restartAllowed`. The destination's
// folder tree is created. A destination that is neither copied nor scheduled keeps its
// attributes; one that is scheduled is left with plain attributes, so that the restart can
// replace it.
//
// A destination counts as existing (mode 1, mode 5) when the file system knows it, also when
// another process holds it open without sharing.
[[nodiscard]] int CopyWithRule(const std::string& source, const std::string& destination,
                               int copyMode, bool restartAllowed);

// The two halves of CopyWithRule, for a caller that checks the folder before it decides the
// rule: whether the destination's folder exists or was made (it is only looked at, never made
// the process's current folder), and the copy into a folder known to be usable (CopyNever
// answers KeptExisting there too).
[[nodiscard]] bool DestinationFolderUsable(const std::string& destination);
[[nodiscard]] int CopyIntoUsableFolder(const std::string& source, const std::string& destination,
                                       int copyMode, bool restartAllowed);

// The source of a copy as the copy rules see it. A plain medium file is used where it is; a
// compressed one (medium_file.h) is expanded, and verified, into a temporary file in the
// destination's folder, which is deleted when this goes (a replacement at the restart takes a
// copy of its own). Rules that cannot take the source (CopyNever, CopyIfAbsent onto an existing
// destination) expand nothing.
class RuleSource {
public:
    RuleSource() = default;
    ~RuleSource();
    RuleSource(const RuleSource&) = delete;
    RuleSource& operator=(const RuleSource&) = delete;

    // Readies `source` for a copy onto `destination` (whose folder is usable) under `copyMode`.
    // Answers -1 when the copy may run from Path(), or the outcome to answer instead:
    // MediumDamaged, MediumNotInserted (the user gave up waiting for a diskette of the set), or
    // the rule's copy failure when the expansion could not be written. A plain file of a
    // diskette set that lies on more than one diskette is joined into a temporary file as a
    // compressed one is expanded.
    int Prepare(const std::string& source, const std::string& destination, int copyMode);
    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
    std::string m_expanded; // the temporary file, when one was made
};

// Outcomes whose replacement waits for the restart.
bool IsScheduledOutcome(int outcome);

// The platform's copy with overwriting allowed (CopyFileA), as CopyWithRule calls it; it must
// leave the platform's error code set when it fails. Tests replace it to produce what only a
// race with another process produces (a destination created and locked between the existence
// test and the copy).
using PlatformCopyFunction = bool (*)(const std::string& source, const std::string& destination);
Seam<PlatformCopyFunction>& CopyFunctionForTesting();
