// The copy rules: the version and date comparisons, the retry with plain attributes, restart
// replacement of a destination in use, and the destination's attributes put back when it is
// left in place.
#include "setup/elements/copy_rules.h"

#include <windows.h>

#include <cstdint>
#include <ctime>
#include <utility>

#include "setup/core/fileutil.h"
#include "setup/core/disk_set.h"
#include "setup/core/medium_file.h"
#include "setup/core/path.h"
#include "setup/core/restart_schedule.h"
#include "setup/elements/version_info.h"

namespace {

bool RealCopy(const std::string& source, const std::string& destination) {
    return CopyFileA(source.c_str(), destination.c_str(), FALSE) != FALSE;
}

Seam<PlatformCopyFunction> g_copy{&RealCopy};

// The destination of a copy and the attributes it had before the copy touched it. They are
// read when first needed: a plain copy onto a file that can be overwritten as it is never asks
// (on a large folder every look-up of an absent name is a costly search).
class Destination {
public:
    explicit Destination(std::string path) : m_path(std::move(path)) {}
    const std::string& Path() const { return m_path; }
    bool Present() { return Remembered() != INVALID_FILE_ATTRIBUTES; }
    // Gives an existing destination plain attributes, so that a read-only, hidden or system
    // file can be overwritten; what it had is remembered first.
    void MakePlain() {
        if (Present())
            SetFileAttributesA(m_path.c_str(), FILE_ATTRIBUTE_NORMAL);
    }
    // Puts the remembered attributes back (nothing when they were never read).
    void PutBack() {
        if (m_known && m_attributes != INVALID_FILE_ATTRIBUTES)
            SetFileAttributesA(m_path.c_str(), m_attributes);
    }

private:
    DWORD Remembered() {
        if (!m_known) {
            m_attributes = GetFileAttributesA(m_path.c_str());
            m_known = true;
        }
        return m_attributes;
    }
    std::string m_path;
    DWORD m_attributes = INVALID_FILE_ATTRIBUTES;
    bool m_known = false;
};

// One copy attempt: answers whether it copied and whether it failed because the destination is
// in use.
struct CopyAttempt {
    bool copied = false;
    bool inUse = false;
};

CopyAttempt TryCopy(const std::string& source, const std::string& destination) {
    CopyAttempt attempt;
    SetLastError(ERROR_SUCCESS);
    attempt.copied = g_copy.Get()(source, destination);
    attempt.inUse = !attempt.copied && GetLastError() == ERROR_SHARING_VIOLATION;
    return attempt;
}

// Copies; a destination that refuses the first attempt is given plain attributes and copied
// once more (that also tells a file in use apart from a protected one).
CopyAttempt CopyOver(const std::string& source, Destination& destination) {
    const CopyAttempt first = TryCopy(source, destination.Path());
    if (first.copied || !destination.Present())
        return first;
    destination.MakePlain();
    return TryCopy(source, destination.Path());
}

// The version rule: true when the source is to be copied over the destination.
bool SourceVersionWins(const std::string& source, const std::string& destination) {
    const std::uint64_t sourceVersion = FixedVersion(source);
    const std::uint64_t destinationVersion = FixedVersion(destination);
    if (sourceVersion > 0 && destinationVersion > 0) {
        if (sourceVersion < destinationVersion)
            return false;
        if (sourceVersion == destinationVersion) {
            std::uint32_t sourceSize = 0, destinationSize = 0;
            const bool sized =
                FileSize(source, sourceSize) && FileSize(destination, destinationSize);
            return !(sized && sourceSize == destinationSize);
        }
    }
    // Either version missing, or the source's higher: the version texts decide.
    const std::string sourceText = FileVersionText(source);
    const std::string destinationText = FileVersionText(destination);
    if (destinationText.empty())
        return true; // the source has a text and the destination none, or neither has one
    return !sourceText.empty() && CompareVersionTexts(sourceText, destinationText) > 0;
}

// The date rule: true when the source is to be copied over the destination.
bool SourceDateWins(const std::string& source, const std::string& destination) {
    std::time_t sourceTime = 0, destinationTime = 0;
    const bool sourceKnown = FileTime(source, sourceTime);
    const bool destinationKnown = FileTime(destination, destinationTime);
    if (!sourceKnown && !destinationKnown)
        return true;
    if (sourceTime != destinationTime)
        return sourceTime > destinationTime;
    std::uint32_t sourceSize = 0, destinationSize = 0;
    const bool sized = FileSize(source, sourceSize) && FileSize(destination, destinationSize);
    return !(sized && sourceSize == destinationSize);
}

// The outcome codes of one copy rule.
struct RuleCodes {
    int copied;
    int scheduled;
    int scheduleFailed;
    int inUseNoRestart;
    int failed;
};

// Copies and, when the destination is in use and restart replacement is allowed, schedules it.
int CopyOrSchedule(const std::string& source, Destination& destination, bool restartAllowed,
                   const RuleCodes& codes) {
    const CopyAttempt attempt = CopyOver(source, destination);
    if (attempt.copied)
        return codes.copied;
    if (!attempt.inUse)
        return codes.failed;
    if (!restartAllowed)
        return codes.inUseNoRestart;
    return ReplaceFileAtReboot(source, destination.Path()) ? codes.scheduled : codes.scheduleFailed;
}

int ApplyRule(const std::string& source, Destination& destination, int copyMode,
              bool restartAllowed) {
    const std::string& path = destination.Path();
    switch (copyMode) {
    case CopyNever:
        return KeptExisting;
    case CopyIfAbsent:
        if (destination.Present())
            return KeptExisting;
        return CopyOrSchedule(source, destination, restartAllowed,
                              {CopiedWasAbsent, ScheduledIfAbsent, CopyFailedIfAbsent,
                               CopyFailedIfAbsent, CopyFailedIfAbsent});
    case CopyIfNewerVersion:
        if (!SourceVersionWins(source, path))
            return KeptVersion;
        return CopyOrSchedule(source, destination, restartAllowed,
                              {CopiedHigherVersion, ScheduledVersion, CopyFailedVersion,
                               InUseVersion, CopyFailedVersion});
    case CopyIfNewerDate:
        if (!SourceDateWins(source, path))
            return KeptDate;
        return CopyOrSchedule(
            source, destination, restartAllowed,
            {CopiedNewer, ScheduledDate, CopyFailedDate, InUseDate, CopyFailedDate});
    case CopyByStreams:
        if (CopyFileByStreams(source, path))
            return CopiedByStreams;
        if (!destination.Present())
            return StreamCopyFailed;
        destination.MakePlain();
        return CopyFileByStreams(source, path) ? CopiedByStreams : StreamCopyFailed;
    case CopyAtRestart:
        // Without restart replacement the rule cannot do what it is for; it copies plainly.
        if (restartAllowed && destination.Present()) {
            destination.MakePlain();
            return ReplaceFileAtReboot(source, path) ? ScheduledPlain : CopyFailedPlain;
        }
        return CopyOrSchedule(
            source, destination, restartAllowed,
            {CopiedPlain, ScheduledPlain, CopyFailedPlain, InUsePlain, CopyFailedPlain});
    default:
        return CopyOrSchedule(
            source, destination, restartAllowed,
            {CopiedPlain, ScheduledPlain, CopyFailedPlain, InUsePlain, CopyFailedPlain});
    }
}

bool IsCopied(int outcome) {
    switch (outcome) {
    case CopiedPlain:
    case CopiedHigherVersion:
    case CopiedWasAbsent:
    case CopiedNewer:
    case CopiedByStreams:
        return true;
    default:
        return false;
    }
}

// The outcome of a copy that failed for a reason of its own, under each rule.
int CopyFailureOf(int copyMode) {
    switch (copyMode) {
    case CopyIfAbsent:
        return CopyFailedIfAbsent;
    case CopyIfNewerVersion:
        return CopyFailedVersion;
    case CopyIfNewerDate:
        return CopyFailedDate;
    case CopyByStreams:
        return StreamCopyFailed;
    default:
        return CopyFailedPlain;
    }
}

void DeleteTemporary(const std::string& path) {
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(path.c_str());
}

} // namespace

RuleSource::~RuleSource() {
    if (!m_expanded.empty()) {
        const DWORD error = GetLastError(); // the caller's report may still read it
        DeleteTemporary(m_expanded);
        SetLastError(error);
    }
}

int RuleSource::Prepare(const std::string& source, const std::string& destination, int copyMode) {
    m_path = source;
    if (copyMode == CopyNever ||
        (copyMode == CopyIfAbsent &&
         GetFileAttributesA(destination.c_str()) != INVALID_FILE_ATTRIBUTES))
        return -1;
    MediumHeader header;
    const DiskSetFile* listed = DiskSetFileOf(source);
    switch (ReadMediumHeader(source, header)) {
    case MediumForm::Plain:
        if (!listed || listed->parts.size() == 1)
            return ReachMediumFile(source) == DiskAnswer::GaveUp ? MediumNotInserted : -1;
        break;
    case MediumForm::Damaged:
        return MediumDamaged;
    case MediumForm::Unreadable:
        return CopyFailureOf(copyMode);
    case MediumForm::Compressed:
        break;
    }
    char name[MAX_PATH];
    const std::string folder = ParentOf(destination);
    if (!GetTempFileNameA(folder.empty() ? "." : folder.c_str(), "tvx", 0, name))
        return CopyFailureOf(copyMode);
    m_expanded = name;
    switch (ExpandMediumFile(source, m_expanded)) {
    case Expansion::Done:
        m_path = m_expanded;
        return -1;
    case Expansion::Damaged:
        return MediumDamaged;
    case Expansion::NotInserted:
        return MediumNotInserted;
    default:
        return CopyFailureOf(copyMode);
    }
}

Seam<PlatformCopyFunction>& CopyFunctionForTesting() {
    return g_copy;
}

bool IsScheduledOutcome(int outcome) {
    return outcome >= ScheduledPlain && outcome <= ScheduledDate;
}

bool DestinationFolderUsable(const std::string& destination) {
    const std::string folder = ParentOf(destination);
    return WhatIsAt(folder) == PathKind::Folder || CreateDirectoryTree(folder) ||
           WhatIsAt(folder) == PathKind::Folder;
}

// A destination that is neither copied nor scheduled keeps the attributes it had.
int CopyIntoUsableFolder(const std::string& source, const std::string& destination, int copyMode,
                         bool restartAllowed) {
    Destination target(destination);
    const int outcome = ApplyRule(source, target, copyMode, restartAllowed);
    if (!IsCopied(outcome) && !IsScheduledOutcome(outcome))
        target.PutBack();
    return outcome;
}

int CopyWithRule(const std::string& source, const std::string& destination, int copyMode,
                 bool restartAllowed) {
    if (copyMode == CopyNever)
        return KeptExisting;
    if (!DestinationFolderUsable(destination))
        return FolderUnusable;
    RuleSource from;
    const int prepared = from.Prepare(source, destination, copyMode);
    if (prepared >= 0)
        return prepared;
    return CopyIntoUsableFolder(from.Path(), destination, copyMode, restartAllowed);
}
