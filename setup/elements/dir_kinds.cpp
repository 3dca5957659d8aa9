#include "setup/elements/dir_kinds.h"

#include <windows.h>

#include <string>
#include <vector>

#include "setup/core/attributes.h"
#include "setup/core/fileutil.h"
#include "setup/core/macros.h"
#include "setup/core/path.h"
#include "setup/core/record.h"
#include "setup/core/restart_ini.h"
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

// ---------------------------------------------------------------------------------------------
// WSetupDir

WSetupDir::WSetupDir() : WSetupElement(KindDir) {}

int WSetupDir::InstallStep(int shortNames) {
    std::string target = ElementPath(*this, false);
    if (shortNames)
        target = ComputeShortPath(target, "");
    target = WithoutTrailingBackslash(target);
    if (IsEmptyOrRoot(target) || !CreateFolder(target))
        return Status = 1;
    return Status = ApplyAttributes(target, Attributes) ? 0 : 2;
}

int WSetupDir::Uninstall() {
    ChangeMark = 0;
    if (!RemoveOnUninstall)
        return Status = 1;
    const std::string target = WithoutTrailingBackslash(ElementPath(*this, false));
    // Nothing to remove (a folder that is gone is not scheduled either), or not ours to remove.
    if (IsProtectedFolder(target))
        return Status = 1;
    const DWORD attributes = AttributesOfFolder(target);
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return Status = 1;
    if (!MakePlainForWriting(target, attributes))
        return Status = 4;
    if (RemoveDirectoryA(target.c_str())) {
        if (PruneParents)
            RemoveEmptyParents(target);
        return Status = 0;
    }
    if (!PruneParents && RemoveFolderAtRestart(target))
        return Status = 2;
    // The folder stays, and stays as it was.
    if (attributes != GetFileAttributesA(target.c_str()))
        SetFileAttributesA(target.c_str(), attributes);
    return Status = 3;
}

// The folder is looked at, never entered: a folder that is the process's current folder
// cannot be removed.
int WSetupDir::Verify() {
    const std::string target = WithoutTrailingBackslash(ElementPath(*this, false));
    if (AttributesOfFolder(target) == INVALID_FILE_ATTRIBUTES)
        return Status = 1;
    return Status = FolderHasAttributes(target, Attributes) ? 0 : 2;
}

FwString WSetupDir::GetFullRecord() {
    return RecordBuilder()
        .Text(Id)
        .Text(DestDir)
        .Text(DestName)
        .Text(OptionFlags)
        .Text(Attributes)
        .Flag(RemoveOnUninstall)
        .Flag(PruneParents)
        .Text(ExtraText)
        .Flag(RecordFlag)
        .Result();
}

// The short record ends with PruneParents and no "," after it.
FwString WSetupDir::GetShortRecord() {
    return RecordBuilder()
        .Text(Id)
        .Text(DestDir)
        .Text(DestName)
        .Text(OptionFlags)
        .Text(Attributes)
        .Flag(RemoveOnUninstall)
        .Raw(PruneParents ? "1" : "0")
        .Result();
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
        return Status = 1;
    if (!MakePlainForWriting(target, attributes))
        return Status = 3;
    if (!DeleteFileA(target.c_str())) {
        // The file stays, and stays as it was.
        SetFileAttributesA(target.c_str(), attributes);
        return Status = 2;
    }
    return Status = 0;
}

int WSetupDeleteFile::Uninstall() {
    return Status = 0;
}
int WSetupDeleteFile::Verify() {
    return Status = 0;
}

FwString WSetupDeleteFile::GetFullRecord() {
    return RecordBuilder()
        .Text(Id)
        .Text(DestDir)
        .Text(DestName)
        .Text(OptionFlags)
        .Flag(RemoveOnUninstall)
        .Text(ExtraText)
        .Flag(RecordFlag)
        .Result();
}

FwString WSetupDeleteFile::GetShortRecord() {
    return FwString();
}

// ---------------------------------------------------------------------------------------------
// WSetupBackupFile

WSetupBackupFile::WSetupBackupFile() : WSetupElement(KindBackupFile) {}

int WSetupBackupFile::InstallStep(int shortNames) {
    std::string target = ElementPath(*this, false);
    if (shortNames)
        target = ComputeShortPath(ParentOf(target), FileNameOf(target));
    if (FileAttributesOf(target) == INVALID_FILE_ATTRIBUTES)
        return Status = 1;
    const std::string backup =
        JoinPath(ParentOf(target), std::string(BackupFilePrefix) + FileNameOf(target), true);
    return Status = CopyFileA(target.c_str(), backup.c_str(), TRUE) ? 0 : 2;
}

int WSetupBackupFile::Uninstall() {
    return Status = 0;
}
int WSetupBackupFile::Verify() {
    return Status = 0;
}

FwString WSetupBackupFile::GetFullRecord() {
    return RecordBuilder()
        .Text(Id)
        .Text(DestDir)
        .Text(DestName)
        .Text(OptionFlags)
        .Text(ExtraText)
        .Flag(RecordFlag)
        .Result();
}

FwString WSetupBackupFile::GetShortRecord() {
    return FwString();
}
