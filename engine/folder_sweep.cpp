#include "folder_sweep.h"

#include "setup/core/path.h"
#include "setup/core/text.h"
#include "setup/elements/element_paths.h"
#include "setup/elements/file.h"
#include "setup/elements/protected_folders.h"

bool FolderSweep::Take(WSetupElement* element) {
    if (element->Kind != KindFile && element->Kind != KindTTFFile)
        return false;
    auto* file = static_cast<WSetupFile*>(element);
    if (!file->RemoveEmptyFolders)
        return false;
    file->RemoveEmptyFolders = 0;
    return true;
}

void FolderSweep::After(WSetupElement* element, int status) {
    auto* file = static_cast<WSetupFile*>(element);
    file->RemoveEmptyFolders = 1;
    const std::string path = ElementPath(*file, false);
    if (status == FileDeleted || status == FileGoneAnyway)
        m_folders.insert(ParentOf(path));
    else if (status == FileDeletionScheduled)
        ScheduleFolderRemoval(path);
}

void FolderSweep::Run() {
    // In the set's order a folder comes before its subfolders: walking it backwards empties
    // the subfolders first.
    for (auto folder = m_folders.rbegin(); folder != m_folders.rend(); ++folder)
        RemoveEmptyFoldersUpFrom(*folder);
    m_folders.clear();
}
