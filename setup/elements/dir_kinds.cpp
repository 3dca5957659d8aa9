#include "setup/elements/dir_kinds.h"

#include <windows.h>

#include <string>
#include <vector>

#include "setup/core/attributes.h"
#include "setup/core/fileutil.h"
#include "setup/core/macros.h"
#include "setup/core/path.h"
#include "setup/core/restart_schedule.h"
#include "setup/core/sysfolders.h"
#include "setup/core/text.h"
#include "setup/elements/element_paths.h"
#include "setup/elements/protected_folders.h"

FW_IMPLEMENT_DYNCREATE(WSetupDir, WSetupElement)
FW_IMPLEMENT_DYNCREATE(WSetupDeleteFile, WSetupElement)
FW_IMPLEMENT_DYNCREATE(WSetupBackupFile, WSetupElement)

namespace {

// The folder's attributes; INVALID_FILE_ATTRIBUTES when there is no folder at the path.
DWORD AttributesOfFolder(const std::string& path) {
    const DWORD attributes =
        path.empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesA(path.c_str());
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? attributes : INVALID_FILE_ATTRIBUTES;
}

// CreateDirectoryTree, with one call for the usual case of a folder whose parent is there.
bool CreateFolder(const std::string& path) {
    return CreateDirectoryA(path.c_str(), nullptr) ||
           AttributesOfFolder(path) != INVALID_FILE_ATTRIBUTES || CreateDirectoryTree(path);
}

// Removes the empty folders above `folder`, up to the first one that is not empty or that an
// uninstall never removes.
void RemoveEmptyParents(const std::string& folder) {
    std::string current = folder;
    for (;;) {
        const std::string parent = ParentOf(current);
        if (parent.empty() || IsProtectedFolder(parent))
            return;
        if (!RemoveDirectoryA(parent.c_str()))
            return;
        current = parent;
    }
}

// Schedules the folder's removal at the next restart with the platform's delayed deletion,
// which removes a folder that is empty by then. A "NUL=" line of WININIT.INI would be accepted
// and then do nothing for a folder, so where the platform has no delayed deletion (the Windows
// 95/98 family) the removal is reported as failed rather than as scheduled.
bool RemoveFolderAtRestart(const std::string& folder) {
    return CurrentRestartPlatform().MoveAtRestart(folder, std::string());
}

// Whether the folder's attributes are those the attribute string gives a folder. Folders keep
// only some attributes (the hidden and system bits on every platform; read-only and archive
// only on some), so those two are compared besides the folder bit.
bool FolderHasAttributes(const std::string& folder, const std::string& attributes) {
    const DWORD actual = GetFileAttributesA(folder.c_str());
    if (actual == INVALID_FILE_ATTRIBUTES || !(actual & FILE_ATTRIBUTE_DIRECTORY))
        return false;
    DWORD expected = 0;
    const bool plain = attributes.size() < 6 || attributes[0] == '1';
    if (!plain) {
        if (attributes[2] == '1')
            expected |= FILE_ATTRIBUTE_HIDDEN;
        if (attributes[4] == '1')
            expected |= FILE_ATTRIBUTE_SYSTEM;
    }
    const DWORD compared = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    return (actual & compared) == expected;
}

} // namespace

namespace {

constexpr ElementField DirFields[] = {
    TextField("Id", &WSetupElement::Id, 1, ShortForm::Kept),
    TextField("DestDir", &WSetupElement::DestDir, 2, ShortForm::Kept),
    TextField("DestName", &WSetupElement::DestName, 3, ShortForm::Kept),
    TextField("OptionFlags", &WSetupElement::OptionFlags, 4, ShortForm::Kept),
    TextField("Attributes", &WSetupDir::Attributes, 5, ShortForm::Kept),
    FlagField("RemoveOnUninstall", &WSetupElement::RemoveOnUninstall, 6, ShortForm::Kept),
    FlagField("PruneParents", &WSetupDir::PruneParents, 7, ShortForm::Kept),
    TextField("ExtraText", &WSetupElement::ExtraText, 8),
    FlagField("RecordFlag", &WSetupElement::RecordFlag, 9),
    TextField("SecondAttributes", &WSetupDir::SecondAttributes),
};

constexpr ElementField DeleteFileFields[] = {
    TextField("Id", &WSetupElement::Id, 1),
    TextField("DestDir", &WSetupElement::DestDir, 2),
    TextField("DestName", &WSetupElement::DestName, 3),
    TextField("OptionFlags", &WSetupElement::OptionFlags, 4),
    FlagField("RemoveOnUninstall", &WSetupElement::RemoveOnUninstall, 5),
    TextField("ExtraText", &WSetupElement::ExtraText, 6),
    FlagField("RecordFlag", &WSetupElement::RecordFlag, 7),
};

constexpr ElementField BackupFileFields[] = {
    TextField("Id", &WSetupElement::Id, 1),
    TextField("DestDir", &WSetupElement::DestDir, 2),
    TextField("DestName", &WSetupElement::DestName, 3),
    TextField("OptionFlags", &WSetupElement::OptionFlags, 4),
    TextField("ExtraText", &WSetupElement::ExtraText, 5),
    FlagField("RecordFlag", &WSetupElement::RecordFlag, 6),
};

} // namespace

// The short record ends with PruneParents, without a "," after it.
const ElementFieldTable WSetupDirFields = MakeFieldTable(DirFields, nullptr, true, 0, true);
const ElementFieldTable WSetupDeleteFileFields = MakeFieldTable(DeleteFileFields);
const ElementFieldTable WSetupBackupFileFields = MakeFieldTable(BackupFileFields);

namespace {

constexpr StatusMeaning DirMeaningRows[] = {
    {ElementStep::Install, DirCreated, StepMeaning::Done},
    {ElementStep::Undo, DirRemoved, StepMeaning::Done},
    {ElementStep::Undo, DirRemovalScheduled, StepMeaning::Done},
    {ElementStep::Undo, DirNotToBeRemoved, StepMeaning::NothingToDo},
    {ElementStep::Check, DirAsInstalled, StepMeaning::Done},
};

// The name of every code of each operation, for the lines that report it.
constexpr StatusName DirStatusNames[] = {
    {ElementStep::Install, DirCreated, "DirCreated"},
    {ElementStep::Install, DirNotCreated, "DirNotCreated"},
    {ElementStep::Install, DirAttributesNotApplied, "DirAttributesNotApplied"},
    {ElementStep::Install, ElementNotProcessed, "ElementNotProcessed"},
    {ElementStep::Install, ElementDone, "ElementDone"},
    {ElementStep::Install, ElementNothingDone, "ElementNothingDone"},
    {ElementStep::Undo, DirRemoved, "DirRemoved"},
    {ElementStep::Undo, DirNotToBeRemoved, "DirNotToBeRemoved"},
    {ElementStep::Undo, DirRemovalScheduled, "DirRemovalScheduled"},
    {ElementStep::Undo, DirNotRemoved, "DirNotRemoved"},
    {ElementStep::Undo, DirAttributesNotReset, "DirAttributesNotReset"},
    {ElementStep::Undo, ElementNotProcessed, "ElementNotProcessed"},
    {ElementStep::Undo, ElementDone, "ElementDone"},
    {ElementStep::Undo, ElementNothingDone, "ElementNothingDone"},
    {ElementStep::Check, DirAsInstalled, "DirAsInstalled"},
    {ElementStep::Check, DirMissing, "DirMissing"},
    {ElementStep::Check, DirAttributesDiffer, "DirAttributesDiffer"},
    {ElementStep::Check, ElementNotProcessed, "ElementNotProcessed"},
    {ElementStep::Check, ElementDone, "ElementDone"},
    {ElementStep::Check, ElementNothingDone, "ElementNothingDone"},
};

constexpr StatusMeaning DeleteFileMeaningRows[] = {
    {ElementStep::Install, OldFileDeleted, StepMeaning::Done},
    {ElementStep::Install, OldFileLeft, StepMeaning::NothingToDo},
    {ElementStep::Undo, ElementDone, StepMeaning::NothingToDo},
    {ElementStep::Check, ElementDone, StepMeaning::Done},
};

// The name of every code of each operation, for the lines that report it.
constexpr StatusName DeleteFileStatusNames[] = {
    {ElementStep::Install, OldFileDeleted, "OldFileDeleted"},
    {ElementStep::Install, OldFileLeft, "OldFileLeft"},
    {ElementStep::Install, OldFileNotDeleted, "OldFileNotDeleted"},
    {ElementStep::Install, OldFileNotResettable, "OldFileNotResettable"},
    {ElementStep::Install, ElementNotProcessed, "ElementNotProcessed"},
    {ElementStep::Install, ElementDone, "ElementDone"},
    {ElementStep::Install, ElementNothingDone, "ElementNothingDone"},
    {ElementStep::Undo, ElementNotProcessed, "ElementNotProcessed"},
    {ElementStep::Undo, ElementDone, "ElementDone"},
    {ElementStep::Undo, ElementNothingDone, "ElementNothingDone"},
    {ElementStep::Check, ElementNotProcessed, "ElementNotProcessed"},
    {ElementStep::Check, ElementDone, "ElementDone"},
    {ElementStep::Check, ElementNothingDone, "ElementNothingDone"},
};

constexpr StatusMeaning BackupFileMeaningRows[] = {
    {ElementStep::Install, BackupMade, StepMeaning::Done},
    {ElementStep::Install, BackupSourceAbsent, StepMeaning::NothingToDo},
    {ElementStep::Undo, ElementDone, StepMeaning::NothingToDo},
    {ElementStep::Check, ElementDone, StepMeaning::Done},
};

// The name of every code of each operation, for the lines that report it.
constexpr StatusName BackupFileStatusNames[] = {
    {ElementStep::Install, BackupMade, "BackupMade"},
    {ElementStep::Install, BackupSourceAbsent, "BackupSourceAbsent"},
    {ElementStep::Install, BackupNotMade, "BackupNotMade"},
    {ElementStep::Install, ElementNotProcessed, "ElementNotProcessed"},
    {ElementStep::Install, ElementDone, "ElementDone"},
    {ElementStep::Install, ElementNothingDone, "ElementNothingDone"},
    {ElementStep::Undo, ElementNotProcessed, "ElementNotProcessed"},
    {ElementStep::Undo, ElementDone, "ElementDone"},
    {ElementStep::Undo, ElementNothingDone, "ElementNothingDone"},
    {ElementStep::Check, ElementNotProcessed, "ElementNotProcessed"},
    {ElementStep::Check, ElementDone, "ElementDone"},
    {ElementStep::Check, ElementNothingDone, "ElementNothingDone"},
};

} // namespace

const StepMeaningTable WSetupDirMeanings = MakeMeaningTable(DirMeaningRows, DirStatusNames);
const StepMeaningTable WSetupDeleteFileMeanings =
    MakeMeaningTable(DeleteFileMeaningRows, DeleteFileStatusNames);
const StepMeaningTable WSetupBackupFileMeanings =
    MakeMeaningTable(BackupFileMeaningRows, BackupFileStatusNames);

// ---------------------------------------------------------------------------------------------
// WSetupDir

WSetupDir::WSetupDir() : WSetupElement(KindDir) {}

int WSetupDir::InstallStep(int shortNames) {
    std::string target = ElementPath(*this, false);
    if (shortNames)
        target = ComputeShortPath(target, "");
    target = WithoutTrailingBackslash(target);
    if (IsEmptyOrRoot(target) || !CreateFolder(target))
        return Status = DirNotCreated;
    return Status = ApplyAttributes(target, Attributes) ? DirCreated : DirAttributesNotApplied;
}

int WSetupDir::Uninstall() {
    ChangeMark = 0;
    if (!RemoveOnUninstall)
        return Status = DirNotToBeRemoved;
    const std::string target = WithoutTrailingBackslash(ElementPath(*this, false));
    // Nothing to remove (a folder that is gone is not scheduled either), or not ours to remove.
    if (IsProtectedFolder(target))
        return Status = DirNotToBeRemoved;
    const DWORD attributes = AttributesOfFolder(target);
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return Status = DirNotToBeRemoved;
    if (!MakePlainForWriting(target, attributes))
        return Status = DirAttributesNotReset;
    if (RemoveDirectoryA(target.c_str())) {
        if (PruneParents)
            RemoveEmptyParents(target);
        return Status = DirRemoved;
    }
    if (!PruneParents && RemoveFolderAtRestart(target))
        return Status = DirRemovalScheduled;
    // The folder stays, and stays as it was.
    if (attributes != GetFileAttributesA(target.c_str()))
        SetFileAttributesA(target.c_str(), attributes);
    return Status = DirNotRemoved;
}

// The folder is looked at, never entered: a folder that is the process's current folder
// cannot be removed.
int WSetupDir::Verify() {
    const std::string target = WithoutTrailingBackslash(ElementPath(*this, false));
    if (AttributesOfFolder(target) == INVALID_FILE_ATTRIBUTES)
        return Status = DirMissing;
    return Status = FolderHasAttributes(target, Attributes) ? DirAsInstalled : DirAttributesDiffer;
}

FwString WSetupDir::GetFullRecord() {
    return WriteFullRecord(*this, WSetupDirFields);
}

FwString WSetupDir::GetShortRecord() {
    return WriteShortRecord(*this, WSetupDirFields);
}

// ---------------------------------------------------------------------------------------------
// WSetupDeleteFile

WSetupDeleteFile::WSetupDeleteFile() : WSetupElement(KindDeleteFile) {}

int WSetupDeleteFile::InstallStep(int shortNames) {
    std::string target = ElementPath(*this, false);
    if (shortNames)
        target = ComputeShortPath(ParentOf(target), FileNameOf(target));
    const DWORD attributes = FileAttributesOf(target);
    if (attributes == INVALID_FILE_ATTRIBUTES || ChangeMark)
        return Status = OldFileLeft;
    if (!MakePlainForWriting(target, attributes))
        return Status = OldFileNotResettable;
    if (!DeleteFileA(target.c_str())) {
        // The file stays, and stays as it was.
        SetFileAttributesA(target.c_str(), attributes);
        return Status = OldFileNotDeleted;
    }
    return Status = OldFileDeleted;
}

int WSetupDeleteFile::Uninstall() {
    return Status = ElementDone;
}
int WSetupDeleteFile::Verify() {
    return Status = ElementDone;
}

FwString WSetupDeleteFile::GetFullRecord() {
    return WriteFullRecord(*this, WSetupDeleteFileFields);
}

FwString WSetupDeleteFile::GetShortRecord() {
    return WriteShortRecord(*this, WSetupDeleteFileFields);
}

// ---------------------------------------------------------------------------------------------
// WSetupBackupFile

std::string BackupPathOf(const std::string& target) {
    return JoinPath(ParentOf(target), std::string(BackupFilePrefix) + FileNameOf(target), true);
}

WSetupBackupFile::WSetupBackupFile() : WSetupElement(KindBackupFile) {}

int WSetupBackupFile::InstallStep(int shortNames) {
    std::string target = ElementPath(*this, false);
    if (shortNames)
        target = ComputeShortPath(ParentOf(target), FileNameOf(target));
    if (FileAttributesOf(target) == INVALID_FILE_ATTRIBUTES)
        return Status = BackupSourceAbsent;
    const std::string backup = BackupPathOf(target);
    return Status = CopyFileA(target.c_str(), backup.c_str(), TRUE) ? BackupMade : BackupNotMade;
}

int WSetupBackupFile::Uninstall() {
    return Status = ElementDone;
}
int WSetupBackupFile::Verify() {
    return Status = ElementDone;
}

FwString WSetupBackupFile::GetFullRecord() {
    return WriteFullRecord(*this, WSetupBackupFileFields);
}

FwString WSetupBackupFile::GetShortRecord() {
    return WriteShortRecord(*this, WSetupBackupFileFields);
}
