#include "setup/elements/file.h"

#include <windows.h>

#include <cstdint>
#include <string>
#include <utility>

#include "setup/core/attributes.h"
#include "setup/core/disk_set.h"
#include "setup/core/fileutil.h"
#include "setup/core/handles.h"
#include "setup/core/macros.h"
#include "setup/core/path.h"
#include "setup/core/restart_schedule.h"
#include "setup/core/text.h"
#include "setup/elements/element_paths.h"
#include "setup/elements/protected_folders.h"

FW_IMPLEMENT_DYNCREATE(WSetupFile, WSetupElement)
FW_IMPLEMENT_DYNCREATE(WSetupRuntimeFile, WSetupElement)

namespace {

// Schedules the file's folder and every folder above it, up to the path's root, for removal
// at the restart (the platform removes only those that are empty by then).
void ScheduleFolderRemoval(const std::string& path) {
    // The walk stops below the drive root and below the machine's well-known folders: an empty
    // Program Files or Fonts folder is not the product's to remove.
    const std::string root = PathRoot(path);
    for (std::string folder = ParentOf(path); !folder.empty(); folder = ParentOf(folder)) {
        if (EqualText(folder, root, false) || IsProtectedFolder(folder))
            break;
        (void)DeleteFileAtReboot(folder); // best effort: the file's own status is scheduled
    }
}

// How a deletion ended.
enum class Deletion { Deleted, Gone, Scheduled, NotResettable, Failed };

// Deletes the file at `path`: with plain attributes (a read-only file cannot be deleted), and,
// when it is in use (the platform denies access or reports a sharing violation) and still there,
// at the next restart. With `tryAsItIs` the first attempt comes before the attribute change: a
// file that deletes at once has no attributes worth resetting (only read-only stops a deletion),
// and the attempt saves the attribute change's own open and close, which under Wine are
// requests to its server. A file that cannot be given plain attributes (one that is absent, for
// instance) is NotResettable.
Deletion DeleteFileOrSchedule(const std::string& path, bool tryAsItIs) {
    if (tryAsItIs && DeleteFileA(path.c_str()))
        return Deletion::Deleted;
    if (!SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL))
        return Deletion::NotResettable;
    if (DeleteFileA(path.c_str()))
        return Deletion::Deleted;
    const DWORD error = GetLastError();
    if (error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION)
        return Deletion::Failed;
    if (WhatIsAt(path) == PathKind::Nothing)
        return Deletion::Gone;
    return DeleteFileAtReboot(path) ? Deletion::Scheduled : Deletion::Failed;
}

// Where WSetupFile::InstallStep copies to; sets SourceName as the record keeps it.
std::string InstallDestination(WSetupFile& file, bool defaultDestination, bool shortNames) {
    if (!defaultDestination)
        return ElementPath(file, shortNames);
    file.DestDir = TheSetupContext().ExpandVariables(file.DestDir);
    const bool namedInDestDir = ContainsText(file.DestDir, "<D", false);
    const std::string name = namedInDestDir ? file.DestName.str() : file.SourceName.str();
    std::string destination = TheSetupContext().ResolvePath("<D>", name);
    if (shortNames) {
        destination = ComputeShortPath(ParentOf(destination), FileNameOf(destination));
        file.SourceName = destination;
    } else if (namedInDestDir) {
        file.SourceName = file.DestName;
    }
    return destination;
}

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

namespace {

constexpr StatusMeaning FileMeaningRows[] = {
    {ElementStep::Install, CopiedPlain, StepMeaning::Done},
    {ElementStep::Install, CopiedHigherVersion, StepMeaning::Done},
    {ElementStep::Install, CopiedWasAbsent, StepMeaning::Done},
    {ElementStep::Install, CopiedNewer, StepMeaning::Done},
    {ElementStep::Install, CopiedByStreams, StepMeaning::Done},
    {ElementStep::Install, ScheduledPlain, StepMeaning::Done},
    {ElementStep::Install, ScheduledVersion, StepMeaning::Done},
    {ElementStep::Install, ScheduledIfAbsent, StepMeaning::Done},
    {ElementStep::Install, ScheduledDate, StepMeaning::Done},
    {ElementStep::Install, KeptVersion, StepMeaning::NothingToDo},
    {ElementStep::Install, KeptExisting, StepMeaning::NothingToDo},
    {ElementStep::Install, KeptDate, StepMeaning::NothingToDo},
    {ElementStep::Install, SkippedOnRequest, StepMeaning::NothingToDo},
    {ElementStep::Undo, FileDeleted, StepMeaning::Done},
    {ElementStep::Undo, FileDeletionScheduled, StepMeaning::Done},
    {ElementStep::Undo, FileNotToBeRemoved, StepMeaning::NothingToDo},
    {ElementStep::Undo, FileGoneAnyway, StepMeaning::NothingToDo},
    {ElementStep::Check, FileAsInstalled, StepMeaning::Done},
};

// The name of every code of each operation, for the lines that report it.
constexpr StatusName FileStatusNames[] = {
    {ElementStep::Install, CopiedPlain, "CopiedPlain"},
    {ElementStep::Install, CopiedHigherVersion, "CopiedHigherVersion"},
    {ElementStep::Install, KeptVersion, "KeptVersion"},
    {ElementStep::Install, CopiedWasAbsent, "CopiedWasAbsent"},
    {ElementStep::Install, KeptExisting, "KeptExisting"},
    {ElementStep::Install, CopiedNewer, "CopiedNewer"},
    {ElementStep::Install, KeptDate, "KeptDate"},
    {ElementStep::Install, CopiedByStreams, "CopiedByStreams"},
    {ElementStep::Install, SkippedOnRequest, "SkippedOnRequest"},
    {ElementStep::Install, ScheduledPlain, "ScheduledPlain"},
    {ElementStep::Install, ScheduledVersion, "ScheduledVersion"},
    {ElementStep::Install, ScheduledIfAbsent, "ScheduledIfAbsent"},
    {ElementStep::Install, ScheduledDate, "ScheduledDate"},
    {ElementStep::Install, CopyFailedPlain, "CopyFailedPlain"},
    {ElementStep::Install, SourceAbsent, "SourceAbsent"},
    {ElementStep::Install, FolderUnusable, "FolderUnusable"},
    {ElementStep::Install, AttributesFailed, "AttributesFailed"},
    {ElementStep::Install, InUsePlain, "InUsePlain"},
    {ElementStep::Install, CopyFailedIfAbsent, "CopyFailedIfAbsent"},
    {ElementStep::Install, CopyFailedVersion, "CopyFailedVersion"},
    {ElementStep::Install, InUseVersion, "InUseVersion"},
    {ElementStep::Install, CopyFailedDate, "CopyFailedDate"},
    {ElementStep::Install, InUseDate, "InUseDate"},
    {ElementStep::Install, StreamCopyFailed, "StreamCopyFailed"},
    {ElementStep::Install, MediumDamaged, "MediumDamaged"},
    {ElementStep::Install, MediumNotInserted, "MediumNotInserted"},
    {ElementStep::Install, ElementNotProcessed, "ElementNotProcessed"},
    {ElementStep::Install, ElementDone, "ElementDone"},
    {ElementStep::Install, ElementNothingDone, "ElementNothingDone"},
    {ElementStep::Undo, FileDeleted, "FileDeleted"},
    {ElementStep::Undo, FileDeletionScheduled, "FileDeletionScheduled"},
    {ElementStep::Undo, FileNotToBeRemoved, "FileNotToBeRemoved"},
    {ElementStep::Undo, FileGoneAnyway, "FileGoneAnyway"},
    {ElementStep::Undo, FileDeletionFailed, "FileDeletionFailed"},
    {ElementStep::Undo, FileNotResettable, "FileNotResettable"},
    {ElementStep::Undo, ElementNotProcessed, "ElementNotProcessed"},
    {ElementStep::Undo, ElementDone, "ElementDone"},
    {ElementStep::Undo, ElementNothingDone, "ElementNothingDone"},
    {ElementStep::Check, FileAsInstalled, "FileAsInstalled"},
    {ElementStep::Check, FileMissing, "FileMissing"},
    {ElementStep::Check, FileAttributesDiffer, "FileAttributesDiffer"},
    {ElementStep::Check, ElementNotProcessed, "ElementNotProcessed"},
    {ElementStep::Check, ElementDone, "ElementDone"},
    {ElementStep::Check, ElementNothingDone, "ElementNothingDone"},
};

constexpr StatusMeaning RuntimeFileMeaningRows[] = {
    {ElementStep::Install, ElementDone, StepMeaning::NothingToDo},
    {ElementStep::Undo, RuntimeFileDeleted, StepMeaning::Done},
    {ElementStep::Undo, RuntimeFileDeletionScheduled, StepMeaning::Done},
    {ElementStep::Undo, RuntimeFileAbsent, StepMeaning::NothingToDo},
    {ElementStep::Check, ElementDone, StepMeaning::Done},
};

// The name of every code of each operation, for the lines that report it.
constexpr StatusName RuntimeFileStatusNames[] = {
    {ElementStep::Install, ElementNotProcessed, "ElementNotProcessed"},
    {ElementStep::Install, ElementDone, "ElementDone"},
    {ElementStep::Install, ElementNothingDone, "ElementNothingDone"},
    {ElementStep::Undo, RuntimeFileDeleted, "RuntimeFileDeleted"},
    {ElementStep::Undo, RuntimeFileAbsent, "RuntimeFileAbsent"},
    {ElementStep::Undo, RuntimeFileDeletionScheduled, "RuntimeFileDeletionScheduled"},
    {ElementStep::Undo, RuntimeFileDeletionFailed, "RuntimeFileDeletionFailed"},
    {ElementStep::Undo, RuntimeFileNotResettable, "RuntimeFileNotResettable"},
    {ElementStep::Undo, ElementNotProcessed, "ElementNotProcessed"},
    {ElementStep::Undo, ElementDone, "ElementDone"},
    {ElementStep::Undo, ElementNothingDone, "ElementNothingDone"},
    {ElementStep::Check, ElementNotProcessed, "ElementNotProcessed"},
    {ElementStep::Check, ElementDone, "ElementDone"},
    {ElementStep::Check, ElementNothingDone, "ElementNothingDone"},
};

} // namespace

const StepMeaningTable WSetupFileMeanings = MakeMeaningTable(FileMeaningRows, FileStatusNames);
const StepMeaningTable WSetupRuntimeFileMeanings =
    MakeMeaningTable(RuntimeFileMeaningRows, RuntimeFileStatusNames);

bool TookSharedCount(const WSetupFile& file, int status) {
    if (!CountsAsShared(file.FileFlags) || file.CopyMode == CopyNever)
        return false;
    return (status < CopyFailedPlain && status != SkippedOnRequest) || status == AttributesFailed;
}

WSetupFile::WSetupFile() : WSetupElement(KindFile) {}
WSetupFile::WSetupFile(int kind) : WSetupElement(kind) {}

int WSetupFile::InstallStep(FwStringArray& rebootList, FwPtrArray& collected, int skipRequest,
                            int defaultDestination, int shortNames) {
    SetupContext& context = TheSetupContext();
    SourceDir = context.ExpandVariables(SourceDir);
    SourceName = MediaName;
    const std::string source = context.ResolvePath(SourceDir, SourceName);
    const std::string destination =
        InstallDestination(*this, defaultDestination != 0, shortNames != 0);

    const bool skip = SkipWhenAsked && skipRequest;
    if (skip)
        return Status = SkippedOnRequest;
    if (ReachMediumFile(source) == DiskAnswer::GaveUp)
        return Status = MediumNotInserted;
    if (!CanOpenForReading(source))
        return Status = SourceAbsent;
    if (!DestinationFolderUsable(destination))
        return Status = FolderUnusable;

    // The destination's attributes are remembered and made plain as the copy needs it; every
    // outcome that leaves the file in place (a failure, or the never-copy rule) puts them back.
    int mode = CopyMode;
    if (ChangeMark && mode != CopyNever)
        mode = CopyIfAbsent;
    if (defaultDestination && CopyMode == CopyNever)
        mode = CopyAlways;
    RuleSource from;
    const int prepared = from.Prepare(source, destination, mode);
    if (prepared >= 0)
        return Status = prepared;
    const int outcome = CopyIntoUsableFolder(from.Path(), destination, mode, !defaultDestination);
    Status = outcome;
    if (outcome >= CopyFailedPlain || (!defaultDestination && CopyMode == CopyNever))
        return Status;
    if (CollectAfterCopy && !defaultDestination && !skip && !ChangeMark)
        collected.Add(this);
    if (CountsAsShared(FileFlags) && !defaultDestination)
        // The kind's status codes have no place for a count that could not be kept: the copy's
        // outcome is what the step reports.
        (void)AdjustSharedCount(destination, +1);
    if (IsScheduledOutcome(outcome)) {
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
    const std::string path = ElementPath(*this, false);
    if (CountsAsShared(FileFlags))
        (void)AdjustSharedCount(SharedCountNameOf(path), -1); // as in InstallStep
    switch (DeleteFileOrSchedule(path, true)) {
    case Deletion::Deleted:
        Status = FileDeleted;
        break;
    case Deletion::Gone:
        Status = FileGoneAnyway;
        break;
    case Deletion::Scheduled:
        rebootList.Add(FwString(Uppercased(path)));
        Status = FileDeletionScheduled;
        break;
    case Deletion::NotResettable:
        return Status = FileNotResettable;
    case Deletion::Failed:
        Status = FileDeletionFailed;
        break;
    }
    if (RemoveEmptyFolders) {
        if (Status == FileDeleted || Status == FileGoneAnyway)
            (void)RemoveEmptyFoldersUpFrom(ParentOf(path)); // one that keeps files stays
        else if (Status == FileDeletionScheduled)
            ScheduleFolderRemoval(path);
    }
    return Status;
}

int WSetupFile::BindImage() {
    const std::string path = ElementPath(*this, false);
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
    SetFileAttributesA(path.c_str(), remembered);
    if (!bound)
        return Status = ImageBindFailed;
    std::uint32_t checksum = 0;
    if (FileChecksum(path, checksum))
        SetChecksumText(FwString(std::to_string(checksum)));
    return Status = ImageBound;
}

int WSetupFile::Verify() {
    const std::string path = ElementPath(*this, false);
    if (WhatIsAt(path) == PathKind::Nothing)
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
    const std::string path = ElementPath(*this, false);
    if (WhatIsAt(path) == PathKind::Nothing) {
        Status = RuntimeFileAbsent;
    } else {
        switch (DeleteFileOrSchedule(path, false)) {
        case Deletion::Deleted:
            Status = RuntimeFileDeleted;
            break;
        case Deletion::Gone:
            Status = RuntimeFileAbsent;
            break;
        case Deletion::Scheduled:
            rebootList.Add(FwString(path));
            Status = RuntimeFileDeletionScheduled;
            break;
        case Deletion::NotResettable:
            return Status = RuntimeFileNotResettable;
        case Deletion::Failed:
            Status = RuntimeFileDeletionFailed;
            break;
        }
    }
    if (RemoveEmptyFolders && (Status == RuntimeFileDeleted || Status == RuntimeFileAbsent))
        (void)RemoveEmptyFoldersUpFrom(ParentOf(path)); // one that keeps files stays
    return Status;
}

FwString WSetupRuntimeFile::GetFullRecord() {
    return WriteFullRecord(*this, WSetupRuntimeFileFields);
}

FwString WSetupRuntimeFile::GetShortRecord() {
    return WriteShortRecord(*this, WSetupRuntimeFileFields);
}
