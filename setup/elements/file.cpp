#include "setup/elements/file.h"

#include <windows.h>

#include <cstdint>
#include <ctime>
#include <string>
#include <utility>

#include "setup/core/attributes.h"
#include "setup/core/fileutil.h"
#include "setup/core/handles.h"
#include "setup/core/macros.h"
#include "setup/core/path.h"
#include "setup/core/registry.h"
#include "setup/core/restart_schedule.h"
#include "setup/core/text.h"
#include "setup/elements/protected_folders.h"
#include "setup/elements/version_info.h"

FW_IMPLEMENT_DYNCREATE(WSetupFile, WSetupElement)
FW_IMPLEMENT_DYNCREATE(WSetupRuntimeFile, WSetupElement)

namespace {

const char SharedDllsKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";

bool RealCopy(const std::string& source, const std::string& destination) {
    return CopyFileA(source.c_str(), destination.c_str(), FALSE) != FALSE;
}

Seam<PlatformCopyFunction> g_copy{&RealCopy};

// Present as far as the file system knows, also when another process holds the file open
// without sharing (opening it for reading would fail then).
bool IsPresent(const std::string& path) {
    return !path.empty() && GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void PutBackAttributes(const std::string& path, DWORD attributes) {
    if (attributes != INVALID_FILE_ATTRIBUTES)
        SetFileAttributesA(path.c_str(), attributes);
}

// The destination's folder exists or was made. The folder is only looked at, never made the
// process's current folder.
bool FolderUsable(const std::string& destination) {
    const std::string folder = ParentOf(destination);
    const DWORD attributes = GetFileAttributesA(folder.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return true;
    return CreateDirectoryTree(folder) || IsExistingDirectory(folder);
}

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
        if (m_known)
            PutBackAttributes(m_path, m_attributes);
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

bool IsScheduled(int outcome) {
    return outcome >= ScheduledPlain && outcome <= ScheduledDate;
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

// A copy under a rule into a folder that is known to be usable. A destination that is neither
// copied nor scheduled keeps the attributes it had.
int CopyIntoFolder(const std::string& source, Destination& destination, int copyMode,
                   bool restartAllowed) {
    const int outcome = ApplyRule(source, destination, copyMode, restartAllowed);
    if (!IsCopied(outcome) && !IsScheduled(outcome))
        destination.PutBack();
    return outcome;
}

bool HasSharedFlags(int fileFlags) {
    return (fileFlags & SharedFileFlags) != 0;
}

bool SharedCountExists(const std::string& name) {
    RegKey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, SharedDllsKey, 0, KEY_QUERY_VALUE, key.Receive()) !=
        ERROR_SUCCESS)
        return false;
    return RegQueryValueExA(key.Get(), name.c_str(), nullptr, nullptr, nullptr, nullptr) ==
           ERROR_SUCCESS;
}

// The value name under which the install step counted the file at `path`: the path itself, or
// else its short form (the platform's, or the one the install step computes) when only that
// one is counted. The path itself when none is counted.
std::string CountedNameOf(const std::string& path) {
    if (SharedCountExists(path))
        return path;
    const std::string candidates[] = {
        ShortPathOf(path),
        ComputeShortPath(ParentOf(path), FileNameOf(path)),
    };
    for (const std::string& candidate : candidates) {
        if (!candidate.empty() && SharedCountExists(candidate))
            return candidate;
    }
    return path;
}

// Schedules the file's folder and every folder above it, up to the path's root, for removal
// at the restart (the platform removes only those that are empty by then).
void ScheduleFolderRemoval(const std::string& path) {
    // The walk stops below the drive root and below the machine's well-known folders: an empty
    // Program Files or Fonts folder is not the product's to remove.
    const std::string root = PathRoot(path);
    for (std::string folder = ParentOf(path); !folder.empty(); folder = ParentOf(folder)) {
        if (EqualText(folder, root, false) || IsProtectedFolder(folder))
            break;
        DeleteFileAtReboot(folder);
    }
}

} // namespace

Seam<PlatformCopyFunction>& CopyFunctionForTesting() {
    return g_copy;
}

bool AdjustSharedCount(const std::string& path, long delta) {
    RegKey key;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, SharedDllsKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_ALL_ACCESS, nullptr, key.Receive(), nullptr) != ERROR_SUCCESS)
        return false;
    DWORD count = 0;
    if (!ReadRegDword(key.Get(), path, count))
        count = 0;
    const long long sum = static_cast<long long>(count) + delta;
    if (sum < 0 || sum > 0xFFFFFFFFLL)
        return false;
    return WriteRegDword(key.Get(), path, static_cast<DWORD>(sum));
}

int CopyWithRule(const std::string& source, const std::string& destination, int copyMode,
                 bool restartAllowed) {
    if (copyMode == CopyNever)
        return KeptExisting;
    if (!FolderUsable(destination))
        return FolderUnusable;
    Destination target(destination);
    return CopyIntoFolder(source, target, copyMode, restartAllowed);
}

namespace {

constexpr ElementField FileFields[] = {
    TextField("Id", &WSetupElement::Id, 1, ShortForm::Kept),
    TextField("SourceDir", &WSetupElement::SourceDir, 2, ShortForm::Blank),
    TextField("SourceName", &WSetupElement::SourceName, 3, ShortForm::Blank),
    TextField("DestDir", &WSetupElement::DestDir, 4, ShortForm::Kept),
    TextField("DestName", &WSetupElement::DestName, 5, ShortForm::Kept),
    DoubleField("Size", &WSetupElement::Size, 6, ShortForm::Kept, FieldForm::WholeDouble),
    TextField("Attributes", &WSetupFile::Attributes, 7, ShortForm::Kept),
    IntegerField("CopyMode", &WSetupFile::CopyMode, 8, ShortForm::Kept),
    TextField("OptionFlags", &WSetupElement::OptionFlags, 9, ShortForm::Kept),
    IntegerField("FileFlags", &WSetupFile::FileFlags, 10, ShortForm::Kept),
    TextField("ChecksumText", &WSetupFile::ChecksumText, 11, ShortForm::Kept),
    IntegerField("CarriedNumber", &WSetupFile::CarriedNumber, 12, ShortForm::Kept),
    FlagField("RemoveOnUninstall", &WSetupElement::RemoveOnUninstall, 13, ShortForm::Kept),
    FlagField("RemoveEmptyFolders", &WSetupFile::RemoveEmptyFolders, 14, ShortForm::Kept),
    TextField("ExtraText", &WSetupElement::ExtraText, 15, ShortForm::Blank),
    FlagField("RecordFlag", &WSetupElement::RecordFlag, 16, ShortForm::Blank),
    FlagField("CollectAfterCopy", &WSetupFile::CollectAfterCopy, 17, ShortForm::Blank),
    FlagField("CarriedFlag", &WSetupFile::CarriedFlag, 18, ShortForm::Kept),
    TextField("SpareAttributes", &WSetupFile::SpareAttributes),
    TextField("MediaName", &WSetupFile::MediaName),
    FlagField("SkipWhenAsked", &WSetupFile::SkipWhenAsked),
};

constexpr ElementField RuntimeFileFields[] = {
    TextField("Id", &WSetupElement::Id, 1, ShortForm::Kept),
    TextField("DestDir", &WSetupElement::DestDir, 2, ShortForm::Kept),
    TextField("DestName", &WSetupElement::DestName, 3, ShortForm::Kept),
    TextField("OptionFlags", &WSetupElement::OptionFlags, 4, ShortForm::Kept),
    FlagField("RemoveEmptyFolders", &WSetupRuntimeFile::RemoveEmptyFolders, 5, ShortForm::Kept),
    TextField("ExtraText", &WSetupElement::ExtraText, 6, ShortForm::Blank),
    FlagField("RecordFlag", &WSetupElement::RecordFlag, 7, ShortForm::Blank),
};

} // namespace

const ElementFieldTable WSetupFileFields = MakeFieldTable(FileFields, nullptr, true);
const ElementFieldTable WSetupRuntimeFileFields = MakeFieldTable(RuntimeFileFields, nullptr, true);

StepMeaning FileStepMeaning(ElementStep step, int status) {
    switch (step) {
    case ElementStep::Install:
        switch (status) {
        case CopiedPlain:
        case CopiedHigherVersion:
        case CopiedWasAbsent:
        case CopiedNewer:
        case CopiedByStreams:
        case ScheduledPlain:
        case ScheduledVersion:
        case ScheduledIfAbsent:
        case ScheduledDate:
            return StepMeaning::Done;
        case KeptVersion:
        case KeptExisting:
        case KeptDate:
        case SkippedOnRequest:
            return StepMeaning::NothingToDo;
        default:
            return StepMeaning::Failed;
        }
    case ElementStep::Undo:
        switch (status) {
        case FileDeleted:
        case FileDeletionScheduled:
            return StepMeaning::Done;
        case FileNotToBeRemoved:
        case FileGoneAnyway:
            return StepMeaning::NothingToDo;
        default:
            return StepMeaning::Failed;
        }
    case ElementStep::Check:
        return status == FileAsInstalled ? StepMeaning::Done : StepMeaning::Failed;
    }
    return StepMeaning::Failed;
}

StepMeaning RuntimeFileStepMeaning(ElementStep step, int status) {
    switch (step) {
    case ElementStep::Install:
        return status == ElementDone ? StepMeaning::NothingToDo : StepMeaning::Failed;
    case ElementStep::Undo:
        switch (status) {
        case RuntimeFileDeleted:
        case RuntimeFileDeletionScheduled:
            return StepMeaning::Done;
        case RuntimeFileAbsent:
            return StepMeaning::NothingToDo;
        default:
            return StepMeaning::Failed;
        }
    case ElementStep::Check:
        return status == ElementDone ? StepMeaning::Done : StepMeaning::Failed;
    }
    return StepMeaning::Failed;
}

WSetupFile::WSetupFile() : WSetupElement(KindFile) {}
WSetupFile::WSetupFile(int kind) : WSetupElement(kind) {}

int WSetupFile::InstallStep(FwStringArray& rebootList, FwPtrArray& collected, int skipRequest,
                            int defaultDestination, int shortNames) {
    SetupContext& context = TheSetupContext();
    SourceDir = context.ExpandVariables(SourceDir);
    SourceName = MediaName;
    const std::string source = context.ResolvePath(SourceDir, SourceName);
    DestDir = context.ExpandVariables(DestDir);

    std::string destination;
    if (!defaultDestination) {
        destination = context.ResolvePath(DestDir, DestName);
        if (shortNames)
            destination = ComputeShortPath(ParentOf(destination), FileNameOf(destination));
    } else {
        const bool namedInDestDir = ContainsText(DestDir, "<D", false);
        const std::string name = namedInDestDir ? DestName.str() : SourceName.str();
        destination = context.ResolvePath("<D>", name);
        if (shortNames) {
            destination = ComputeShortPath(ParentOf(destination), FileNameOf(destination));
            SourceName = destination;
        } else if (namedInDestDir) {
            SourceName = DestName;
        }
    }

    const bool skip = SkipWhenAsked && skipRequest;
    if (skip)
        return Status = SkippedOnRequest;
    if (!FileExists(source))
        return Status = SourceAbsent;
    if (!FolderUsable(destination))
        return Status = FolderUnusable;

    // The destination's attributes are remembered and made plain as the copy needs it; every
    // outcome that leaves the file in place (a failure, or the never-copy rule) puts them back.
    int mode = CopyMode;
    if (ChangeMark && mode != CopyNever)
        mode = CopyIfAbsent;
    if (defaultDestination && CopyMode == CopyNever)
        mode = CopyAlways;
    Destination target(destination);
    const int outcome = CopyIntoFolder(source, target, mode, !defaultDestination);
    Status = outcome;
    if (outcome >= CopyFailedPlain || (!defaultDestination && CopyMode == CopyNever))
        return Status;
    if (CollectAfterCopy && !defaultDestination && !skip && !ChangeMark)
        collected.Add(this);
    if (HasSharedFlags(FileFlags) && !defaultDestination)
        AdjustSharedCount(destination, +1);
    if (IsScheduled(outcome)) {
        rebootList.Add(FwString(Uppercased(destination)));
        return Status;
    }
    if (!ApplyAttributes(destination, Attributes) && !ApplyAttributes(destination, Attributes))
        Status = AttributesFailed;
    return Status;
}

int WSetupFile::UninstallStep(FwStringArray& rebootList) {
    ChangeMark = 0;
    if (!RemoveOnUninstall)
        return Status = FileNotToBeRemoved;
    SetupContext& context = TheSetupContext();
    DestDir = context.ExpandVariables(DestDir);
    const std::string path = context.ResolvePath(DestDir, DestName);

    if (HasSharedFlags(FileFlags))
        AdjustSharedCount(CountedNameOf(path), -1);
    // A file that deletes at once has no attributes worth resetting (only read-only stops a
    // deletion), and the attempt saves the attribute change's own open and close, which under
    // Wine are requests to its server. Any failure goes through the full sequence.
    if (DeleteFileA(path.c_str())) {
        Status = FileDeleted;
    } else if (!SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL)) {
        return Status = FileNotResettable;
    } else if (DeleteFileA(path.c_str())) {
        Status = FileDeleted;
    } else {
        const DWORD error = GetLastError();
        if (error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION)
            Status = FileDeletionFailed;
        else if (!IsPresent(path))
            Status = FileGoneAnyway;
        else if (DeleteFileAtReboot(path)) {
            rebootList.Add(FwString(Uppercased(path)));
            Status = FileDeletionScheduled;
        } else {
            Status = FileDeletionFailed;
        }
    }

    if (RemoveEmptyFolders) {
        if (Status == FileDeleted || Status == FileGoneAnyway)
            RemoveEmptyFoldersUpFrom(ParentOf(path));
        else if (Status == FileDeletionScheduled)
            ScheduleFolderRemoval(path);
    }
    return Status;
}

int WSetupFile::BindImage() {
    SetupContext& context = TheSetupContext();
    DestDir = context.ExpandVariables(DestDir);
    const std::string path = context.ResolvePath(DestDir, DestName);
    const std::string folder = ParentOf(path);
    const DWORD remembered = GetFileAttributesA(path.c_str());
    if (remembered == INVALID_FILE_ATTRIBUTES || (remembered & FILE_ATTRIBUTE_DIRECTORY))
        return Status = ImageAbsent;

    // The image helper comes from the system folder by its full path: the search path holds
    // the installation medium, where a library of that name could lie.
    char systemFolder[MAX_PATH + 1];
    const UINT length = GetSystemDirectoryA(systemFolder, sizeof systemFolder);
    if (length == 0 || length > MAX_PATH)
        return Status = ImageHelperUnavailable;
    LoadedModule helper(LoadLibraryA(JoinPath(systemFolder, "IMAGEHLP.DLL", true).c_str()));
    if (!helper)
        return Status = ImageHelperUnavailable;

    typedef BOOL(WINAPI * BindImageExFunction)(DWORD, PCSTR, PCSTR, PCSTR, FARPROC);
    const auto bindImageEx = reinterpret_cast<BindImageExFunction>(
        reinterpret_cast<void*>(GetProcAddress(helper.Get(), "BindImageEx")));
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    const bool bound =
        bindImageEx && bindImageEx(0, path.c_str(), folder.c_str(), folder.c_str(), nullptr);
    PutBackAttributes(path, remembered);
    if (!bound)
        return Status = ImageBindFailed;
    std::uint32_t checksum = 0;
    if (FileChecksum(path, checksum))
        SetChecksumText(FwString(std::to_string(checksum)));
    return Status = ImageBound;
}

int WSetupFile::Verify() {
    SetupContext& context = TheSetupContext();
    DestDir = context.ExpandVariables(DestDir);
    const std::string path = context.ResolvePath(DestDir, DestName);
    if (!IsPresent(path))
        return Status = FileMissing;
    return Status =
               CheckAttributes(path, Attributes, 0) == 1 ? FileAsInstalled : FileAttributesDiffer;
}

FwString WSetupFile::GetChecksumText() const {
    return ChecksumText;
}
void WSetupFile::SetChecksumText(FwString text) {
    ChecksumText = std::move(text);
}

FwString WSetupFile::GetFullRecord() {
    return WriteFullRecord(*this, WSetupFileFields);
}

FwString WSetupFile::GetShortRecord() {
    return WriteShortRecord(*this, WSetupFileFields);
}

WSetupRuntimeFile::WSetupRuntimeFile() : WSetupElement(KindRuntimeFile) {}

int WSetupRuntimeFile::Install() {
    return Status = ElementDone;
}
int WSetupRuntimeFile::Verify() {
    return Status = ElementDone;
}

int WSetupRuntimeFile::Remove(FwStringArray& rebootList) {
    ChangeMark = 0;
    SetupContext& context = TheSetupContext();
    DestDir = context.ExpandVariables(DestDir);
    const std::string path = context.ResolvePath(DestDir, DestName);
    if (!IsPresent(path))
        Status = RuntimeFileAbsent;
    else if (!SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL))
        return Status = RuntimeFileNotResettable;
    else if (DeleteFileA(path.c_str()))
        Status = RuntimeFileDeleted;
    else {
        const DWORD error = GetLastError();
        if (error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION)
            Status = RuntimeFileDeletionFailed;
        else if (!IsPresent(path))
            Status = RuntimeFileAbsent;
        else if (DeleteFileAtReboot(path)) {
            rebootList.Add(FwString(path));
            Status = RuntimeFileDeletionScheduled;
        } else {
            Status = RuntimeFileDeletionFailed;
        }
    }
    if (RemoveEmptyFolders && (Status == RuntimeFileDeleted || Status == RuntimeFileAbsent))
        RemoveEmptyFoldersUpFrom(ParentOf(path));
    return Status;
}

FwString WSetupRuntimeFile::GetFullRecord() {
    return WriteFullRecord(*this, WSetupRuntimeFileFields);
}

FwString WSetupRuntimeFile::GetShortRecord() {
    return WriteShortRecord(*this, WSetupRuntimeFileFields);
}
